#include "engine/run_state.h"

namespace halberd::engine {

RunState& Run() {
  static RunState state;
  return state;
}

int FinishedExitCode(const RunState& run) {
  if (run.restart_required()) return exit_code::kRestartRequired;
  if (run.disk_full) return exit_code::kDiskFull;
  return exit_code::kFinished;
}

}  // namespace halberd::engine
