// planted_dll.dll: a stand-in for a DLL planted beside a program under a system DLL's name. When
// loaded it creates "<its own file name>.loaded" in the folder that HALBERD_PROBE_MARKERS names (and
// nothing when that variable is unset), so that a test sees which planted names were loaded.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t folder[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"HALBERD_PROBE_MARKERS", folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  wchar_t module[MAX_PATH];
  DWORD m = GetModuleFileNameW(self, module, MAX_PATH);
  if (m == 0 || m >= MAX_PATH) return TRUE;
  const wchar_t* name = module;
  for (const wchar_t* p = module; *p; ++p)
    if (*p == L'\\' || *p == L'/') name = p + 1;
  wchar_t marker[2 * MAX_PATH + 16];
  lstrcpyW(marker, folder);
  lstrcatW(marker, L"\\");
  lstrcatW(marker, name);
  lstrcatW(marker, L".loaded");
  HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return TRUE;
}
