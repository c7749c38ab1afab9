// The Start-menu folder of the run (Windows only): an earlier installation's `ProductStartMenu`
// is reused; otherwise the script's, with the language text tokens replaced, offered on the
// Start-menu page when the run asks for it. The result is the `ProductStartMenu` setting.
#pragma once

namespace halberd::engine {

void SettleStartMenuFolder();

}  // namespace halberd::engine
