// record_command_line.exe OUTPUT [anything...]: writes its own complete command line, as the
// system gave it, to the file OUTPUT (UTF-8) and exits with 0. The end-to-end tests register it
// as an earlier version's uninstaller to see the command line the installer starts it with.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 1;
  std::wstring line = GetCommandLineW();
  int n = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), int(line.size()), nullptr, 0, nullptr, nullptr);
  std::string text(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, line.c_str(), int(line.size()), text.data(), n, nullptr, nullptr);
  HANDLE file = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok ? 0 : 3;
}
