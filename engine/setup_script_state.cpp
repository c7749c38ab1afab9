#include "engine/setup_script_state.h"

#include "engine/product_settings.h"
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
  // The product settings, with the defaults that follow from the display name (/n: first).
  ProductSettings& settings = Settings();
  settings = SettingsFromScript(script, std::u16string(run.display_name.begin(), run.display_name.end()), run.session);
  run.display_name.assign(settings.DisplayName.begin(), settings.DisplayName.end());
}

}  // namespace halberd::engine
