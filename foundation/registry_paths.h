// Registry key paths in root notation, in portable form (UTF-16 text, no system calls): the root
// table with its long, short and bracketed names, the two root parsers (the strict one of key
// opens and the lenient one of the path deletions), the all-users prefix "\HKAU\", the path text
// of an open key, and the filter for the user hives listed under HKEY_USERS. The Windows registry
// layer (tl_registry) maps the roots to the system's handles.
#pragma once
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace halberd {

// The six roots, in table order.
enum class RegistryRoot { kLocalMachine, kCurrentUser, kClassesRoot, kUsers, kCurrentConfig, kDynData };

struct RegistryRootNames {
  RegistryRoot root;
  std::u16string_view long_name;   // "HKEY_LOCAL_MACHINE"
  std::u16string_view short_name;  // "HKLM"
  std::u16string_view bracketed;   // "\HKLM\"
};

extern const std::array<RegistryRootNames, 6> kRegistryRoots;

const RegistryRootNames& RootNames(RegistryRoot root);

// A path split into its root and the subkey below it (no leading backslash).
struct RegistryKeyPath {
  RegistryRoot root;
  std::u16string subkey;
};

// The root parse of key opens (case ignored): a bracketed form ("\HKLM\Software\X"); or the
// bracketed form without its last backslash when nothing follows ("\HKLM"); or a backslash and a
// long name followed by the end or a backslash ("\HKEY_LOCAL_MACHINE\Software\X"). Anything else,
// a short or long name without the leading backslash among it, is a bad path: nullopt.
std::optional<RegistryKeyPath> ParseKeyPath(std::u16string_view path);

// The root parse of the value and key path deletions (case ignored): an optional leading
// backslash, then a long or a short name followed by a backslash or the end of the text.
std::optional<RegistryKeyPath> ParseDeletionPath(std::u16string_view path);

// "\HKAU\" marks a path that the all-users operations apply below every user's hive. Returns what
// follows the prefix (case ignored), or nullopt when the path does not begin with it.
std::optional<std::u16string_view> StripAllUsersPrefix(std::u16string_view path);

// Splits "a\b\c" at its last backslash into the parent "a\b" and the name "c"; a parent of ""
// when there is no backslash.
struct SplitKeyPath {
  std::u16string_view parent;
  std::u16string_view name;
};
SplitKeyPath SplitAtLastBackslash(std::u16string_view path);

// The path text of an open key, used in messages: the root's long name, a backslash, the subkey
// and a trailing backslash ("HKEY_LOCAL_MACHINE\Software\X\"); the root alone keeps one
// backslash.
std::u16string KeyPathText(RegistryRoot root, std::u16string_view subkey);
// The text of a key opened below a key whose path text is `parent_text`.
std::u16string SubkeyPathText(std::u16string_view parent_text, std::u16string_view subkey);

// Whether a subkey name of HKEY_USERS names a user's hive for the all-users operations: not
// ".DEFAULT" and not ending in "_Classes" (case ignored), and not empty.
bool IsUserHiveName(std::u16string_view name);

// ASCII case-insensitive equality and prefix test of the registry notation.
bool RegistryNameEquals(std::u16string_view a, std::u16string_view b);
bool RegistryNameStartsWith(std::u16string_view text, std::u16string_view prefix);

}  // namespace halberd
