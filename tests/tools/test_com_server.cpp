// test_com_server.dll: a tiny COM server for the end-to-end tests of the COM registration. Its
// DllRegisterServer writes the key of its class (HKLM "Software\Classes\CLSID\{...}" with the
// server's path below "InprocServer32") and DllUnregisterServer removes it. Built a second time as
// test_com_refusing.dll (HALBERD_REFUSING_SERVER), whose registration writes the key of another
// class but reports a failure: regsvr32 fails, the installer's own call of DllRegisterServer counts.
#include <windows.h>

namespace {

#ifdef HALBERD_REFUSING_SERVER
const wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{6E1D7C2A-3B4F-4A5E-9C8D-7F6A5B4C3D2F}";
const HRESULT kResult = E_FAIL;
#else
const wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{5A0C6B19-2A3E-4949-8B7C-6E5F4A3B2C1D}";
const HRESULT kResult = S_OK;
#endif

HMODULE self_module = nullptr;

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) self_module = self;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kClassKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return E_ACCESSDENIED;
  static const wchar_t name[] = L"Halberd test server";
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof name);
  HKEY server;
  if (RegCreateKeyExW(key, L"InprocServer32", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &server, nullptr) ==
      ERROR_SUCCESS) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(self_module, path, MAX_PATH);
    RegSetValueExW(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), (n + 1) * sizeof(wchar_t));
    RegCloseKey(server);
  }
  RegCloseKey(key);
  return kResult;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey);
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kClassKey);
  return S_OK;
}
