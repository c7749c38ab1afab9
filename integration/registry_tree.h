// Deletion of a registry key tree that never follows a registry link: every key is opened as
// itself (REG_OPTION_OPEN_LINK), and a key that is a link is deleted as the link, so a link planted
// below a key the uninstaller removes cannot make it delete the tree the link points to.
// Windows only (registry_tree_win32.cpp).
#pragma once
#include <windows.h>

#include <string>

namespace halberd::integration {

// Deletes `parent`\`name` with everything below it (with `only_if_empty`, only a key without
// subkeys and values). `view` is KEY_WOW64_64KEY, KEY_WOW64_32KEY or 0. Returns a
// reg_result value (tl_registry.h), the system error set on failure.
int DeleteKeyTreeNoLinks(HKEY parent, const std::wstring& name, REGSAM view, bool only_if_empty = false);

}  // namespace halberd::integration
