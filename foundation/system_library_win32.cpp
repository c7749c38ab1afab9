#include "foundation/system_library.h"

#include <string>

#include "foundation/fs_redirection.h"

namespace halberd {

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  std::wstring path(folder, n);
  if (path.back() != L'\\') path += L'\\';
  path += name;
  // With the redirection of a 64-bit product off, the system folder's DLL would be the 64-bit
  // one: this 32-bit process loads it (and its dependencies) with redirection on.
  RedirectionOnScope redirection_on(ProcessFsRedirection());
  // Dependencies of the DLL are searched from its own folder (the system folder), not from ours.
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace halberd
