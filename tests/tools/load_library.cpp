// load_library.exe [--plain] NAME: loads the DLL NAME the way the installer loads its run-time
// DLLs (from the system folder, by full path), or with --plain by bare name through LoadLibraryW,
// the search a planted DLL beside the program wins. Exits with 0 when a DLL was loaded, 1 when not.
#include <windows.h>

#include "foundation/system_library.h"

int wmain(int argc, wchar_t** argv) {
  bool plain = argc == 3 && lstrcmpW(argv[1], L"--plain") == 0;
  if (argc != 2 && !plain) return 2;
  const wchar_t* name = argv[argc - 1];
  HMODULE module = plain ? LoadLibraryW(name) : halberd::LoadSystemLibrary(name);
  return module ? 0 : 1;
}
