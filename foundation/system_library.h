// Loading DLLs at run time from the system folder only, by full path: a DLL of the same name
// beside the installer (a Downloads folder) is never picked up.
#pragma once
#include <windows.h>

namespace halberd {

// Loads `name` (for example L"wintrust.dll") from the system folder; nullptr on failure, with
// the system's last error kept. The load runs with file-system redirection on, also when a 64-bit
// product switched it off, so that the 32-bit DLL is loaded (foundation/fs_redirection.h).
HMODULE LoadSystemLibrary(const wchar_t* name);

// Resolves a function of a system library; nullptr when the library or the function is missing
// (older Windows, or a service Wine lacks).
template <typename Fn>
Fn SystemFunction(const wchar_t* library, const char* function) {
  HMODULE module = LoadSystemLibrary(library);
  if (!module) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, function)));
}

}  // namespace halberd
