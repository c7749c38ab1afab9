// What the uninstaller may delete. It runs with an administrator's rights on a list that names
// paths, so it never follows a junction or symbolic link that someone placed inside the
// installation folder into another tree, never deletes a whole folder tree that is a drive root,
// a system folder or anything but the recorded installation folder, and refuses an uninstall
// data file that an ordinary user could have changed. Portable: the file system is seen through
// a path-kind lookup and a summary of the file's security, which the Windows part fills.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace halberd::uninstall {

// What is at a path, as the file system says without following a link at the path itself.
enum class PathKind {
  kMissing,
  kFile,
  kFolder,
  kLink,  // a junction or symbolic link (any reparse point), to a file or a folder
};
using PathKindOf = std::function<PathKind(const std::u16string& path)>;

enum class DeletionCheck {
  kFollow,        // an ordinary file or folder whose folder chain holds no link: delete it
  kLinkItself,    // the path is a link: remove the link alone, never what it points to
  kRefused,       // a folder between the installation folder and the path is a link: leave it
};

// The check for one recorded file or folder. Every folder from the one just below
// `install_folder` down to the path's parent must not be a link; the path itself may be one (it
// is then removed as a link). Outside the installation folder only the path itself is looked at
// (those are the shell's folders: the Start menu, the desktop).
DeletionCheck CheckDeletion(std::u16string_view path, std::u16string_view install_folder, const PathKindOf& kind_of);

// Deleting "the installation folder with everything left in it".
enum class TreeDeletionCheck {
  kAllowed,
  kNotRecorded,     // not the recorded installation folder (or not a plain full path)
  kDriveRoot,
  kSystemFolder,    // one of the system's own folders, or a folder that holds one
};
TreeDeletionCheck CheckTreeDeletion(std::u16string_view folder, std::u16string_view recorded_location,
                                    const std::vector<std::u16string>& system_folders);

// The security of the uninstall data file, summarised: its owner and the entries of its access
// list that are not inherit-only.
struct AccessEntry {
  bool allow = true;
  bool trusted = false;  // SYSTEM, Administrators, TrustedInstaller, the running (elevated) user
  uint32_t mask = 0;     // the access mask
};
struct FileSecurity {
  bool read = false;          // the descriptor could be read
  bool owner_trusted = false;
  bool has_acl = false;       // false: a null access list, which grants everyone everything
  std::vector<AccessEntry> entries;
};

// Access rights that let a holder change a file's contents or its security.
inline constexpr uint32_t kChangingRights = 0x2 /*write data*/ | 0x4 /*append*/ | 0x10 /*write EA*/ |
                                            0x10000 /*delete*/ | 0x40000 /*write DAC*/ |
                                            0x80000 /*write owner*/ | 0x10000000 /*generic all*/ |
                                            0x40000000 /*generic write*/ | 0x02000000 /*maximum allowed*/;

// Whether someone other than the trusted principals owns the file or may change it. An unread
// descriptor counts as changeable: an elevated run does not act on what it cannot vouch for.
bool OrdinaryUserMayChange(const FileSecurity& security);

}  // namespace halberd::uninstall
