// The setup script of this run, read once, and what it sets in the run state.
#pragma once
#include "foundation/format/setup_script.h"

namespace halberd::engine {

format::SetupScript& Script();

// ProductFlags, the run-mode byte (1: automatic on; 2: automatic off unless silent), the display
// name when no /n: gave one, and the product settings (product_settings.h).
void ApplyScriptToRun(const format::SetupScript& script);

}  // namespace halberd::engine
