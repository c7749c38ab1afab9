// The folder page of the wizard as the installation-folder step uses it. Until the wizard's page
// exists, the page takes the folder as it stands, as a user pressing Next would; asked again after
// a refusal it cancels, since nobody can choose another folder (Windows only).
#pragma once
#include <string>

namespace halberd::engine {

// Shows the page with `folder` (the user may change it). False when the page was cancelled.
bool ShowInstallFolderPage(std::wstring& folder, bool shown_before);

}  // namespace halberd::engine
