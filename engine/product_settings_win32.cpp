// The Windows half of the product settings: the file-system redirection of a 64-bit product.
#include <windows.h>

#include "engine/product_settings.h"
#include "engine/run_state.h"

namespace halberd::engine {

namespace {

template <typename Fn>
Fn Kernel32Function(const char* name) {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (!kernel32) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel32, name)));
}

}  // namespace

void ApplyBitness(uint8_t bitness) {
  RunState& run = Run();
  if (bitness != 1 || run.fs_redirection_off) return;
  using DisableFn = BOOL(WINAPI*)(PVOID*);
  // Missing on Windows versions without WOW64; failing in a process that WOW64 does not run
  // (32-bit Windows). Either way a 64-bit product cannot be installed, which the platform check
  // reports.
  auto disable = Kernel32Function<DisableFn>("Wow64DisableWow64FsRedirection");
  PVOID cookie = nullptr;
  if (disable && disable(&cookie)) {
    run.fs_redirection_off = true;
    run.fs_redirection_failed = false;
    run.fs_redirection_cookie = cookie;
  } else {
    run.fs_redirection_failed = true;
  }
}

void RestoreFsRedirection() {
  RunState& run = Run();
  if (!run.fs_redirection_off) return;
  using RevertFn = BOOL(WINAPI*)(PVOID);
  auto revert = Kernel32Function<RevertFn>("Wow64RevertWow64FsRedirection");
  if (revert) revert(run.fs_redirection_cookie);
  run.fs_redirection_off = false;
  run.fs_redirection_cookie = nullptr;
}

}  // namespace halberd::engine
