// DLL search hardening. The program imports only DLLs that Windows always takes from the system
// folder (KnownDLLs); everything else is loaded at run time through LoadSystemLibrary, by full
// path in the system folder.
#include <windows.h>

#include "engine/startup.h"

namespace halberd::engine {

void HardenDllSearch() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Removes the current folder from the search order of older systems too.
  SetDllDirectoryW(L"");
}

}  // namespace halberd::engine
