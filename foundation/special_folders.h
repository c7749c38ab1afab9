// The system's special folders. Each folder is found by a chain of sources tried in a fixed order
// (the shell's folder query by number, its known-folder query, a value of the shell's "Shell
// Folders" key or of the CurrentVersion key, an environment variable, a fixed fallback); the first
// that gives a non-empty text wins. Results carry no trailing backslash (a drive root keeps it)
// and are empty only when every source is. The look-ups keep no state beyond the shell functions,
// which are found once; they may be called from any thread.
//
// The folder functions are Windows-only (special_folders_win32.cpp); the text rules they apply are
// portable and declared at the end.
#pragma once
#include <string>
#include <string_view>

namespace halberd {

// Application data.
std::wstring AllUsersAppDataFolder();  // shell 35, "Common AppData", 32-bit Common Files
std::wstring AppDataFolder();          // shell 26, "AppData", 32-bit Common Files
// The boot drive, "C:" form: the first two characters of BootDir when they are a letter and a colon.
std::wstring BootDrive();
// Common Files and Program Files. The bitness argument: 1 and 3 the 32-bit folder, 2 and 4 the
// 64-bit one; on 32-bit Windows always the 32-bit one.
std::wstring CommonFiles32Folder();
std::wstring CommonFiles64Folder();
std::wstring CommonFilesFolder(int bitness);
std::wstring ProgramFiles32Folder();
std::wstring ProgramFiles64Folder();
std::wstring ProgramFilesFolder(int bitness);
// Desktop, documents, favorites, fonts.
std::wstring AllUsersDesktopFolder();
std::wstring DesktopFolder();
std::wstring AllUsersDocumentsFolder();
std::wstring DocumentsFolder();
std::wstring AllUsersFavoritesFolder();
std::wstring FavoritesFolder();
std::wstring FontsFolder();
// The driver search folder (DevicePath), the system media folder (MediaPath), and the parent of
// the web server's root folder (PathWWWRoot, "c:\Inetpub" by default).
std::wstring DriverSearchFolder();
std::wstring MediaFolder();
std::wstring WebRootParentFolder();
// Start menu, its Programs and Startup folders.
std::wstring AllUsersStartMenuFolder();
std::wstring StartMenuFolder();
std::wstring AllUsersProgramsFolder();
std::wstring ProgramsFolder();
std::wstring AllUsersStartupFolder();
std::wstring StartupFolder();
// System, 32-bit system (SysWOW64 on 64-bit Windows) and Windows folders.
std::wstring SystemFolder();
std::wstring System32BitFolder();
std::wstring WindowsFolder();
// The user's profile folder and the folder that holds the profiles.
std::wstring UserProfileFolder();
std::wstring ProfilesFolder();
// The temporary folder of the file layer (TempFolder), worked out once per process.
std::wstring TemporaryFolder();

// Whether this (32-bit) process runs on 64-bit Windows.
bool Is64BitWindows();

// Shell change notices: file associations changed; the desktop folder (all-users or the user's)
// was updated.
void NotifyAssociationsChanged();
void NotifyDesktopUpdated(bool all_users);

// ---------------------------------------------------------------------------------------------
// Portable rules.

// A folder value read from the registry: a trailing backslash is dropped unless the value has
// three characters or fewer ("C:\").
std::u16string TrimFolderValue(std::u16string_view value);
// The first " (x86)" removed ("C:\Program Files (x86)" gives "C:\Program Files").
std::u16string WithoutX86(std::u16string_view folder);
// "C:" from a BootDir value whose first two characters are a letter and a colon (the letter
// upper-cased); "C:" otherwise.
std::u16string BootDriveFromValue(std::u16string_view boot_dir);
// The driver search folder from a DevicePath value: cut at its first ";", with "%SystemRoot%" (any
// case) replaced by `system_root`; when that leaves nothing, the Windows folder's "INF" ("INF"
// without a Windows folder).
std::u16string DriverFolderFromDevicePath(std::u16string_view device_path, std::u16string_view system_root,
                                          std::u16string_view windows_folder);
// Whether a bitness argument asks for the 64-bit folder (2 or 4) on 64-bit Windows.
bool WantsSixtyFourBitFolder(int bitness, bool windows_64bit);
// The parent of the web root; a root that has no parent stays as it is.
std::u16string WebRootParent(std::u16string_view web_root);

}  // namespace halberd
