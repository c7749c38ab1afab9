// The Windows half of the product settings: the file-system redirection of a 64-bit product
// (its bookkeeping is foundation/fs_redirection).
#include <windows.h>

#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "foundation/fs_redirection.h"

namespace halberd::engine {

void ApplyBitness(uint8_t bitness) {
  RunState& run = Run();
  if (bitness != 1 || run.fs_redirection_off) return;
  // Refused on Windows versions without WOW64 and in a process that WOW64 does not run (32-bit
  // Windows). Either way a 64-bit product cannot be installed, which the platform check reports.
  run.fs_redirection_off = ProcessFsRedirection().SwitchOff();
  run.fs_redirection_failed = !run.fs_redirection_off;
}

void RestoreFsRedirection() {
  RunState& run = Run();
  if (!run.fs_redirection_off) return;
  ProcessFsRedirection().Restore();
  run.fs_redirection_off = false;
}

}  // namespace halberd::engine
