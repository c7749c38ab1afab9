// The install run's uninstall data: one UninstallData for the whole run, filled by every step at
// the moment it creates something, and written as "Uninstall.dat" in the uninstall folder by the
// closing phase when the product gets an uninstaller. Windows only (run_uninstall_data_win32.cpp).
#pragma once
#include <string>

#include "uninstall/uninstall_data.h"

namespace halberd::uninstall {

UninstallData& RunUninstallData();

// Records `text` in the run's uninstall data, 8-bit texts in the system code page. Returns
// whether a line was added.
bool RecordRemoval(const std::wstring& text, RemovalKind kind);

// The folder that holds "Uninstall.dat" (and "Install.log"); set when extraction begins.
void SetUninstallFolder(const std::wstring& folder);
const std::wstring& UninstallFolder();

// Takes the [Strings] texts from the run's language and the caption, the setup script's registry
// section and its conditional deletions (those for uninstall time are written), then writes "Uninstall.dat" into the uninstall folder. A failure goes into
// the failure text (text 31, the path, the system error); a full disk sets the run's disk-full
// flag. Returns success.
bool WriteUninstallData();

}  // namespace halberd::uninstall
