// The folder page of the wizard as the installation-folder step uses it: shown again with the
// typed text after every refused folder (Windows only).
#pragma once
#include <string>

namespace halberd::engine {

// Shows the page with `folder` (the user may change it). False when the page was cancelled.
bool ShowInstallFolderPage(std::wstring& folder, bool shown_before);

}  // namespace halberd::engine
