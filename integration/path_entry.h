// The product's folder in the machine's PATH (the value "Path" of the key
// HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment): added in the closing
// phase, removed at the end of a successful uninstall.
//
// The text change is portable (path_entry.cpp) so that it is tested on its own: the PATH keeps
// every byte that is not ours, whatever its length; the Windows part reads and writes the value
// (path_entry_win32.cpp).
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace halberd::integration {

enum class PathChange { kAdd, kRemove };

// The folder the PATH entry names: `setting` (AddToPathSubfolder) empty gives the installation
// folder, a relative one is taken against it, a full one is used as it is; without a trailing
// backslash (a drive root keeps its own).
std::u16string PathEntryFolder(std::u16string_view install_folder, std::u16string_view setting);

// Whether `entry` (one ";"-separated element of a PATH) names `folder`: compared without regard to
// case and ignoring one trailing backslash on either side.
bool PathEntryNamesFolder(std::u16string_view entry, std::u16string_view folder);

// The PATH with `folder` added at its end, or nothing when the PATH is empty (an empty value is
// never filled) or some entry already names the folder. The new entry follows a ";" unless the
// PATH already ends with one.
std::optional<std::u16string> PathWithFolder(std::u16string_view path, std::u16string_view folder);

// The PATH without the entry that PathWithFolder added: the last entry that is exactly `folder`
// (byte for byte: an entry the user wrote in another case or with a trailing backslash is theirs
// and stays), with the one ";" that separated it. Nothing when there is no such entry.
std::optional<std::u16string> PathWithoutFolder(std::u16string_view path, std::u16string_view folder);

// Windows only. Adds or removes the folder that `add_to_path_setting` names (empty: the
// installation folder; relative: joined to it; absolute: as it is) and tells the system. The value
// keeps its type (REG_EXPAND_SZ or REG_SZ). Returns whether the PATH was changed.
bool UpdatePath(PathChange change, const std::wstring& install_folder, std::u16string_view add_to_path_setting);

}  // namespace halberd::integration
