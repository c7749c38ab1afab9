// The installation-folder page as the folder step uses it (see the header).
#include "engine/install_folder_page.h"

#include "engine/installation_data.h"
#include "engine/setup_script_state.h"
#include "ui/wizard_pages_win32.h"

namespace halberd::engine {

bool ShowInstallFolderPage(std::wstring& folder, bool) {
  uint64_t needed = DiskSpaceNeededFor(Installation(), folder, Script().settings.ExtraDiskSpace());
  return ui::ShowFolderPage(Script().settings.folder_style, folder, true, needed) == ui::kIdForward;
}

}  // namespace halberd::engine
