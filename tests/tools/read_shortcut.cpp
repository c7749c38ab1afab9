// read_shortcut.exe LINK: reads a shell link back through the shell's link object (IShellLinkW
// loaded with IPersistFile) and prints "target=", "arguments=", "start_in=", "icon=" (path, a comma
// and the index) and "show=" (the show command number), one line each, in UTF-8. Exits with 2 when
// the link cannot be loaded.
// read_shortcut.exe --folders: prints the shell folders shortcuts go to, "desktop=", "programs=",
// "startup=" and their all-users forms "common_desktop=", "common_programs=", "common_startup=".
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

namespace {

constexpr CLSID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

void Print(const char* name, const std::wstring& value) {
  int n = WideCharToMultiByte(CP_UTF8, 0, value.c_str(), int(value.size()), nullptr, 0, nullptr, nullptr);
  std::string text(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, value.c_str(), int(value.size()), text.data(), n, nullptr, nullptr);
  std::printf("%s=%s\n", name, text.c_str());
}

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = L"";
  SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
  return path;
}

int ReadLink(const wchar_t* file) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW),
                              reinterpret_cast<void**>(&link))))
    return 2;
  IPersistFile* persist = nullptr;
  int code = 2;
  if (SUCCEEDED(link->QueryInterface(__uuidof(IPersistFile), reinterpret_cast<void**>(&persist))) &&
      SUCCEEDED(persist->Load(file, STGM_READ))) {
    wchar_t buffer[4096];
    int index = 0, show = 0;
    buffer[0] = 0;
    link->GetPath(buffer, 4096, nullptr, SLGP_RAWPATH);
    Print("target", buffer);
    buffer[0] = 0;
    link->GetArguments(buffer, 4096);
    Print("arguments", buffer);
    buffer[0] = 0;
    link->GetWorkingDirectory(buffer, 4096);
    Print("start_in", buffer);
    buffer[0] = 0;
    link->GetIconLocation(buffer, 4096, &index);
    Print("icon", std::wstring(buffer) + L"," + std::to_wstring(index));
    link->GetShowCmd(&show);
    std::printf("show=%d\n", show);
    code = 0;
  }
  if (persist) persist->Release();
  link->Release();
  return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 1;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int code = 0;
  if (std::wstring(argv[1]) == L"--folders") {
    Print("desktop", ShellFolder(CSIDL_DESKTOPDIRECTORY));
    Print("programs", ShellFolder(CSIDL_PROGRAMS));
    Print("startup", ShellFolder(CSIDL_STARTUP));
    Print("common_desktop", ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY));
    Print("common_programs", ShellFolder(CSIDL_COMMON_PROGRAMS));
    Print("common_startup", ShellFolder(CSIDL_COMMON_STARTUP));
  } else {
    code = ReadLink(argv[1]);
  }
  std::fflush(stdout);
  CoUninitialize();
  return code;
}
