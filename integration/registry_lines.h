// The lines of the registry section, in portable form: a line's comma-separated quoted fields, its
// shape (a key to create, a value to write or delete), the action codes with what they do at
// install and at uninstall, the value data built from the type and data fields, the texts a failed
// line leaves in the log or the failure text, and the lines added for App Paths. The registry
// calls are in registry_entries_win32.cpp.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halberd::integration {

// Fields of one line: separated by commas; a field that begins with a double quote runs to the
// next single quote, where a doubled quote stands for one quote character (the uninstall data's
// CSV rule, so that a line reads the same in the setup script and in [Registry2]).
std::vector<std::u16string> SplitRegistryLine(std::u16string_view line);
// The reverse: a field that holds a comma or a quote, or begins or ends with a blank, is quoted.
std::u16string JoinRegistryLine(const std::vector<std::u16string>& fields);

// What an action code (the fifth field) does.
struct RegistryAction {
  bool delete_at_install = false;    // 4, 5: the value is deleted first
  bool write_at_install = false;     // 1, 3, 6, 7
  bool keep_existing = false;        // 6, 7: written only when the value does not exist
  bool delete_at_uninstall = false;  // 2, 3, 5, 7
};
RegistryAction ActionOf(int code);

enum class RegistryLineShape {
  kBlank,    // an empty line (or only blanks): nothing to do
  kKey,      // one field: a key to create
  kValue,    // five fields: a value to write or delete
  kIllegal,  // any other number of fields, or a type or action that is not a whole number
};

struct RegistryLine {
  RegistryLineShape shape = RegistryLineShape::kBlank;
  std::u16string key;         // as written ("\HKLM\Software\X", "\HKAU\Vendor")
  std::u16string value_name;  // empty: the key's default value
  uint32_t type = 0;
  std::u16string data;
  int action = 0;
};
RegistryLine ParseRegistryLine(std::u16string_view line);

// The lines of the section: separated by CR LF (a lone LF or CR also ends a line).
std::vector<std::u16string> SplitSectionLines(std::u16string_view section);

// Registry value types of the type field.
inline constexpr uint32_t kTypeText = 1;        // REG_SZ, path variables expanded
inline constexpr uint32_t kTypeExpandText = 2;  // REG_EXPAND_SZ, as written
inline constexpr uint32_t kTypeBinary = 3;      // REG_BINARY, pairs of hexadecimal digits
inline constexpr uint32_t kTypeNumber = 4;      // REG_DWORD, decimal
inline constexpr uint32_t kTypeNumber64 = 11;   // REG_QWORD, decimal

// A value's type and bytes as the registry takes them.
struct RegistryValueData {
  uint32_t type = 0;
  std::string bytes;
  bool operator==(const RegistryValueData&) const = default;
};
// The data of a value line. `text` is the data field, already expanded for type 1 by the caller.
// Texts are UTF-16LE with their terminating zero; numbers little-endian. A number may carry a
// minus sign (written as its two's complement) and blanks around it. Types 5 to 10 and any other
// type get no data. Returns nullopt when the field does not fit its type: a binary field that is
// not pairs of hexadecimal digits once spaces are removed, a number that is not a whole number or
// does not fit 32 (type 4) or 64 (type 11) bits.
std::optional<RegistryValueData> BuildValueData(uint32_t type, std::u16string_view text);

// Texts of a failed line.
// Failure text of a line with the wrong number of fields or a malformed field.
std::u16string IllegalEntryText(std::u16string_view line);
// Log lines of a key that cannot be created and of a value that cannot be written.
std::u16string KeyFailureLine(std::u16string_view key, std::u16string_view error_text);
std::u16string ValueFailureLine(std::u16string_view value_name, std::u16string_view error_text);
// Failure text of the product key that could not be created.
std::u16string ProductKeyFailureText(std::u16string_view product_registry, uint32_t error,
                                     std::u16string_view error_text);

// Keys the registry section creates get the registry layer's open access list (everyone full
// access) only at or below the product's own key, where the product's programs may write their
// settings; any other key, which may hold a command line or a program path that others run, gets
// the default security of its parent. `product_registry` is the key below Software.
bool KeyTakesOpenSecurity(std::u16string_view key, std::u16string_view product_registry);

// App Paths: the key of a program (its file name below App Paths, in root notation) and the
// [Registry2] lines that undo what was written: one five-field line with action 2 per value
// written (the default value has an empty name), and, when both were written, a one-field line
// for the key itself.
inline constexpr char16_t kAppPathsKey[] = u"\\HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
std::u16string AppPathsKeyOf(std::u16string_view program_path);
std::vector<std::u16string> AppPathsUndoLines(std::u16string_view key, bool default_written, bool path_written);
// Appends lines to the registry section, each ending in CR LF (a section that does not end with a
// line break gets one first).
void AppendSectionLines(std::u16string& section, const std::vector<std::u16string>& lines);

// The uninstaller's reading of one [Registry2] line (UTF-8).
struct RegistryUndo {
  enum class Kind { kNothing, kDeleteKeyIfEmpty, kDeleteValue };
  Kind kind = Kind::kNothing;
  bool all_users = false;     // a "\HKAU\" key: below Software in every user's hive
  std::u16string key;         // without "\HKAU\" when all_users
  std::u16string value_name;
  // A key below App Paths: the install run wrote it in the process's default view, so it is
  // undone there, whatever view the product's other entries use.
  bool default_view = false;
};
// One field: a key holding more than one backslash is deleted when empty. Five fields with action
// 2, 3, 5 or 7: the value is deleted. Anything else: nothing.
RegistryUndo UndoOfRegistry2Line(std::string_view line);

// The product key's parents within `product_registry` that the uninstaller tries to delete once
// empty, nearest first ("A\B\C" gives "A\B", "A"), at most `limit` of them.
std::vector<std::u16string> ProductKeyParents(std::u16string_view product_registry, size_t limit = 20);

}  // namespace halberd::integration
