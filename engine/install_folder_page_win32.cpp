#include "engine/install_folder_page.h"

namespace halberd::engine {

bool ShowInstallFolderPage(std::wstring& folder, bool shown_before) { return !shown_before; }

}  // namespace halberd::engine
