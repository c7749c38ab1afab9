// The default installation folder of the setup script, settled right after the script is read:
//   1. an empty script folder gives the display name;
//   2. otherwise every "<os>" becomes the Windows folder and the path variables are expanded;
//   3. unless the result is "<master>" (case ignored) or begins with "HKLM\" or "HKCU\" (a master
//      product's folder or a registry value, settled later), a relative result is placed inside
//      Program Files (the 64-bit one for a 64-bit product, Bitness 1), an absolute one stays;
//   4. a folder given on the command line (/d:) replaces the result, except a registry value's:
//      the folder read from the registry takes precedence over /d:.
// Folder results carry no trailing backslash (a drive root keeps it). A /d: folder is taken as it
// is here; like every chosen folder it is expanded once when it is settled (ExpandChosenFolder).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace halberd::engine {

struct DefaultInstallFolderInputs {
  std::u16string script_folder;         // the setup script's default installation folder
  std::u16string display_name;
  std::u16string windows_folder;
  uint8_t bitness = 0;                  // 1: 64-bit product
  std::u16string command_line_folder;   // /d:, empty when none was given
  // The Program Files folder, 64-bit when asked for; called only for a relative folder.
  std::function<std::u16string(bool sixty_four_bit)> program_files;
  // The path-variable expansion.
  std::function<void(std::u16string&)> expand;
};

// The installation folder before the user or the earlier installation changes it. A folder that
// is still blank after expansion falls back to the display name; with no display name either the
// result is empty (never Program Files itself).
std::u16string DefaultInstallFolder(const DefaultInstallFolderInputs& inputs);

// Whether a folder value names a folder to be settled later: "<master>" or a registry value.
bool IsDeferredInstallFolder(std::u16string_view folder);

// The folder the run settled on (the /d: folder, the default or the one typed into the folder
// page) as the run uses it: its path variables expanded once, one trailing backslash removed.
std::u16string ExpandChosenFolder(std::u16string_view chosen, const std::function<void(std::u16string&)>& expand);

// Computes the default installation folder of the install run from the setup script, the run
// state and the system, and stores it in Run().install_folder (Windows only).
void SetDefaultInstallFolder();

}  // namespace halberd::engine
