#include "engine/setup_script_state.h"

#include "engine/run_state.h"

namespace halberd::engine {

format::SetupScript& Script() {
  static format::SetupScript script;
  return script;
}

void ApplyScriptToRun(const format::SetupScript& script) {
  RunState& run = Run();
  run.ProductFlags = script.ProductFlags;
  if (script.run_mode == 1) run.automatic = true;
  else if (script.run_mode == 2 && !run.silent) run.automatic = false;
  if (run.display_name.empty()) run.display_name.assign(script.DisplayName.begin(), script.DisplayName.end());
}

}  // namespace halberd::engine
