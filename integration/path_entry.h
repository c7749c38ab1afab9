// The product's folder in the machine's PATH ("Path" of HKLM\SYSTEM\CurrentControlSet\Control\
// Session Manager\Environment): added in the closing phase, removed at the end of a successful
// uninstall.
#pragma once
#include <string>
#include <string_view>

namespace halberd::integration {

enum class PathChange { kAdd, kRemove };

// Windows only. Adds or removes the folder that `add_to_path_setting` names (empty: the
// installation folder; relative: joined to it; absolute: as it is) and tells the system.
void UpdatePath(PathChange change, const std::wstring& install_folder, std::u16string_view add_to_path_setting);

}  // namespace halberd::integration
