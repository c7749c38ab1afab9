#include "engine/start_menu_folder.h"

#include <windows.h>

#include "engine/earlier_installation.h"
#include "engine/language_texts.h"
#include "engine/policy_messages.h"
#include "engine/product_settings.h"
#include "engine/run_state.h"
#include "engine/setup_script_state.h"

namespace halberd::engine {

void SettleStartMenuFolder() {
  const EarlierInstallation& earlier = Earlier();
  ProductSettings& settings = Settings();
  if (earlier.present && !earlier.start_menu.empty()) {
    settings.ProductStartMenu = earlier.start_menu;
    return;
  }
  settings.ProductStartMenu = ReplaceLanguageTokens(settings.ProductStartMenu, RunLanguageTokens(Script()));
  // The Start-menu page belongs to the wizard; until it exists the folder stays as settled here
  // (the page is skipped for a folder on a removable drive with ProductFlags2 bit 11).
}

}  // namespace halberd::engine
