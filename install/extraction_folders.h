// Folders of file extraction: creating a folder with its missing levels and recording for removal
// the levels this run made, the test for a file that takes a folder's name, and the preparation
// of the uninstall and shared-files folders. Windows only (extraction_folders_win32.cpp).
#pragma once
#include <windows.h>

#include <string>

namespace halberd::install {

// Creates `folder` and its missing parents. With `record`, each level that did not exist before
// is recorded for removal as a folder record, outermost first: a folder that was already there
// is never recorded here. Returns whether the folder exists afterwards.
bool CreateFolderRecorded(const std::wstring& folder, bool record);

// Whether a file (not a folder) occupies the name of `folder` or of one of its parents.
bool FileTakesFolderName(const std::wstring& folder);

// Preparation: the uninstall folder (created when UninstallSubdir is set), the loosening of the
// installation folder's security (ProductFlags bit 50) and the shared-files folder (ProductFlags
// bit 2). Sets the path variables' uninstall and shared folders. Failures are logged.
void PrepareExtractionFolders();

// The folders worked out by PrepareExtractionFolders.
const std::wstring& RunSharedFolder();
// %Portable% is "1": the installation folder is on a removable drive.
bool PortableInstallation();

}  // namespace halberd::install
