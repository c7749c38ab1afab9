// The order in which the uninstaller takes the recorded folders away, and how far it climbs from
// each: folders longest first, each followed by its parents while they can be removed, never the
// installation folder (the self-deletion batch removes it last) and never a folder the system or
// the user owns (drive roots, Program Files, the Start menu's Programs folder, the desktop ...).
// The Start-menu folder climbs only within the product's own part of the path. Portable; the
// removals are the Windows part's.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace halberd::uninstall {

// Most parent steps from one recorded folder, and from the Start-menu folder.
inline constexpr int kFolderClimbLimit = 50;
inline constexpr int kStartMenuClimbLimit = 20;

// The folder records in the order they are removed: longest text first; records of equal length
// keep their recorded order. Duplicates (letter case and a trailing backslash ignored) are left
// out.
std::vector<std::u16string> FolderRemovalOrder(const std::vector<std::u16string>& folders);

// The folders to try, in order, for one folder record: the folder, then each parent, at most
// kFolderClimbLimit of them, stopping before the installation folder, before any of `kept`
// (compared without regard to case), before a drive root and before a path that is not a full
// path. The caller stops at the first folder that cannot be removed.
std::vector<std::u16string> FolderClimb(std::u16string_view folder, std::u16string_view install_folder,
                                        const std::vector<std::u16string>& kept);

// The Start-menu folders to try, in order: `programs` joined with `product_start_menu`, then each
// parent that is still inside `product_start_menu`, at most kStartMenuClimbLimit of them. Empty
// when the product has no Start-menu folder or names one outside the Programs folder.
std::vector<std::u16string> StartMenuClimb(std::u16string_view programs, std::u16string_view product_start_menu);

// Whether a body line is a taskbar pin: a file record that holds "\User Pinned\" (the shell's own
// folder name).
bool IsTaskbarPin(std::string_view body_line);

// Whether `path` is `folder` or lies below it (letter case ignored, trailing backslashes of the
// folder ignored).
bool IsSameOrBelow(std::u16string_view path, std::u16string_view folder);
bool IsSamePath(std::u16string_view a, std::u16string_view b);
// Whether a path has a "." or ".." part, which could lead it out of the folder it seems to lie in.
bool HasDotSegment(std::u16string_view path);

}  // namespace halberd::uninstall
