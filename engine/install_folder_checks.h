// The checks a chosen installation folder must pass before the run uses it, in their order. The
// checks on the text and the drive are portable (the drive facts come through a seam); the
// questions, the creation of the folder and its write test are the Windows loop's
// (SettleInstallFolder).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace halberd::engine {

// Facts about drives, asked only for the folder under test. `drive` is "C:" (letter and colon).
struct DriveFacts {
  std::function<bool(std::u16string_view drive)> available;   // the drive exists and is ready
  std::function<bool(std::u16string_view drive)> network;     // a mapped network drive
  std::function<bool(std::u16string_view drive)> read_only;   // the volume is read-only
  std::function<bool(std::u16string_view drive)> removable;   // removable, CD-ROM or RAM drive
};

struct FolderRules {
  // The user's and the all-users desktop and Start menu, and the folder of the user profiles.
  std::vector<std::u16string> special_folders;
  std::u16string program_files_32;
  std::u16string program_files_64;
  bool refuse_network = false;    // ProductFlags bit 37
  bool refuse_removable = false;  // ProductFlags bit 55
  bool ascii_only = false;        // ProductFlags2 bit 16
};

enum class FolderCheck {
  kPassed,
  kEmpty,          // nothing left after trimming: the page again, without a message
  kInvalid,        // text 14, a blank line, the folder
  kDriveMissing,   // text 16 with the drive
  kNetwork,        // text 66
  kDriveRoot,      // text 17
  kProgramFiles,   // text 18 with that folder
  kReadOnlyDrive,  // text 96 with the drive (read-only, or removable when refused)
  kNonAscii,       // text 30
};

struct FolderCheckResult {
  FolderCheck check = FolderCheck::kPassed;
  std::u16string folder;   // the folder as trimmed (what the later steps use)
  std::u16string message;  // the refusal's text, empty for kPassed and kEmpty
};

// The folder text as the page gives it: blanks and enclosing double quotes trimmed, one trailing
// backslash removed.
std::u16string CleanFolderText(std::u16string_view text);

// Whether two folders are the same: letter case and one trailing backslash ignored.
bool SameFolder(std::u16string_view a, std::u16string_view b);

// Runs the checks on a folder text in their order and returns the first that fails. `text`
// fetches language text n.
FolderCheckResult CheckInstallFolder(std::u16string_view folder_text, const FolderRules& rules, const DriveFacts& drives,
                                     const std::function<std::u16string(int)>& text);

// The installation folder step of the install run (Windows only): the earlier installation's
// folder, a registry value's folder, or the /d: or default folder with the folder page and its
// checks; the final folder goes to Run().install_folder.
void SettleInstallFolder();

}  // namespace halberd::engine
