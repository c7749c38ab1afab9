#include "engine/start_menu_folder.h"

#include <windows.h>

#include "engine/earlier_installation.h"
#include "engine/language_texts.h"
#include "engine/policy_messages.h"
#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/setup_script_state.h"
#include "engine/wizard.h"
#include "foundation/format/product_flags.h"

namespace halberd::engine {

void SettleStartMenuFolder() {
  const EarlierInstallation& earlier = Earlier();
  ProductSettings& settings = Settings();
  if (earlier.present && !earlier.start_menu.empty()) {
    settings.ProductStartMenu = earlier.start_menu;
    return;
  }
  settings.ProductStartMenu = ReplaceLanguageTokens(settings.ProductStartMenu, RunLanguageTokens(Script()));
  const RunState& run = Run();
  if (run.silent || run.automatic || !(run.ProductFlags & format::kFlagAskStartMenu)) return;
  // No Start-menu page for an installation on a removable drive when the script says so.
  if (run.ProductFlags2 & format::kFlags2NoStartMenuPageOnRemovable) {
    std::wstring root = run.install_folder.substr(0, 3);
    if (run.install_folder.size() >= 2 && run.install_folder[1] == L':' && GetDriveTypeW(root.c_str()) == DRIVE_REMOVABLE) return;
  }
  RunStartMenuPage(settings.ProductStartMenu);
}

}  // namespace halberd::engine
