// The uninstaller's removal of what the product installed beside its files: fonts, shared files
// with their COM and type-library registrations, Windows Installer packages and driver packages,
// and the deletion of the installation folder's remaining contents. Windows only
// (component_removal_win32.cpp); the list parsing and count decisions are portable
// (shared_file_list.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace halberd::uninstall {

// `ProductFonts` as stored; `setting` 0 keep, 1 ask (unless automatic), 2 remove.
void RemoveFonts(const std::string& product_fonts, uint32_t setting, bool automatic);

// `SharedFiles` as stored: counts taken down, components no longer shared unregistered and, as
// `setting` says, deleted.
void ReleaseSharedFiles(const std::string& shared_files, uint32_t setting, bool automatic);

// Removes the [MSI] packages; returns the lines of those that could not be removed.
std::vector<std::string> RemovePackages(const std::vector<std::string>& lines);

// Removes the [INF] driver packages from the driver store.
void RemoveDriverPackages(const std::vector<std::string>& lines);

// Deletes everything inside `folder` and then the folder, without ever following a junction or
// symbolic link (a link is removed as itself). What cannot be deleted stays, silently.
void DeleteFolderContents(const std::wstring& folder);

}  // namespace halberd::uninstall
