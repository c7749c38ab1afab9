// The file-system redirection switch of the running process, found in kernel32 at run time:
// Windows versions without WOW64 lack it.
#include <windows.h>

#include "foundation/fs_redirection.h"

namespace halberd {

namespace {

template <typename Fn>
Fn Kernel32Function(const char* name) {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (!kernel32) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel32, name)));
}

}  // namespace

FsRedirection& ProcessFsRedirection() {
  static FsRedirection redirection([] {
    using DisableFn = BOOL(WINAPI*)(PVOID*);
    using RevertFn = BOOL(WINAPI*)(PVOID);
    RedirectionSwitch system;
    system.disable = [](void** cookie) {
      static const auto disable = Kernel32Function<DisableFn>("Wow64DisableWow64FsRedirection");
      return disable && disable(cookie);
    };
    system.revert = [](void* cookie) {
      static const auto revert = Kernel32Function<RevertFn>("Wow64RevertWow64FsRedirection");
      return revert && revert(cookie);
    };
    system.current_thread = [] { return uint32_t(GetCurrentThreadId()); };
    return system;
  }());
  return redirection;
}

}  // namespace halberd
