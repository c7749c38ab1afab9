// The product's uninstall registration: the values of its Uninstall key (HKLM
// "Software\Microsoft\Windows\CurrentVersion\Uninstall\<key name>", always the 32-bit view), in
// the order they are written, with the rule for each (written, or deleted because it is empty,
// zero or does not apply), and the script's additional values. The uninstaller and the next
// install run read these values back by name, so every name here is theirs too.
//
// The list is worked out here from the settings and the run's facts without system calls; the
// Windows part (uninstall_registration_win32.cpp) opens the key and writes the list.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/product_settings.h"
#include "foundation/format/setup_script.h"

namespace halberd::integration {

inline constexpr char16_t kUninstallKeyRoot[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char16_t kUninstallIconName[] = u"uninstall.ico";
inline constexpr char16_t kProductIconName[] = u"product.ico";

// The key below HKLM for an uninstall key name.
std::u16string UninstallKeyPath(std::u16string_view key_name);

// "/u:\"<key name>\"": the uninstaller's arguments, also those of its shortcuts.
std::u16string UninstallerArguments(std::u16string_view key_name);
// "\"<uninstaller>\" /u:\"<key name>\"" and "\"<uninstaller>\" /a /u:\"<key name>\"".
std::u16string UninstallCommand(std::u16string_view uninstaller_path, std::u16string_view key_name);
std::u16string QuietUninstallCommand(std::u16string_view uninstaller_path, std::u16string_view key_name);

// A colour as six upper-case hexadecimal digits, red first (red is the low byte); nothing for an
// unset colour (above 0xFFFFFF), which leaves the uninstaller with the system colour.
std::optional<std::u16string> ColourText(uint32_t colour);

// Today's date as the `InstallDate` text "yymmdd".
std::u16string InstallDateText(int year, int month, int day);

// The numbers before and after the first "." of a version text (their leading digits; none gives
// 0); nothing when the text holds no ".".
struct VersionNumbers {
  uint32_t major = 0;
  uint32_t minor = 0;
};
std::optional<VersionNumbers> VersionMajorMinor(std::u16string_view version);

// `EstimatedSize`: installed bytes in KiB, when that is from 1 to 4294967295.
std::optional<uint32_t> EstimatedSizeKiB(uint64_t installed_bytes);

// How a value is written. 8-bit texts are converted to the system code page by the writer.
enum class ValueType {
  kDelete,      // the value is deleted (a missing value is no failure)
  kWideText,    // REG_SZ through the wide API
  kAnsiText,    // REG_SZ through the 8-bit API
  kExpandText,  // REG_EXPAND_SZ, wide
  kDword,
  kQword,
};

struct KeyValue {
  std::u16string name;
  ValueType type = ValueType::kDelete;
  std::u16string text;  // the text types
  uint64_t number = 0;  // kDword (low 32 bits), kQword
  bool operator==(const KeyValue&) const = default;
};

// What the run knows besides the settings.
struct RegistrationFacts {
  std::u16string key_name;
  std::u16string uninstaller_path;
  std::u16string uninstall_folder;
  std::u16string install_folder;
  std::u16string installer_path;   // the running installer
  bool product_icon_written = false;  // "product.ico" in the uninstall folder
  uint64_t ProductFlags = 0;
  uint32_t ProductFlags2 = 0;
  std::u16string product_fonts;    // fonts installed by this run
  std::u16string shared_files;     // shared files counted by this run
  uint64_t installed_bytes = 0;
  bool background_image = false;   // ProductFlags bit 15 with a picture present
};

// The values of the key from `UninstallString` to `StretchMode`, in their order: the script's
// additional values, `InstallLocation` and `InstallDate` follow them. A value the table writes
// only in some cases is deleted in the others, so that a registration written over an earlier
// one keeps nothing of it that no longer applies.
std::vector<KeyValue> UninstallKeyValues(const engine::ProductSettings& settings, const format::SetupScript& script,
                                         const RegistrationFacts& facts);

// `InstallLocation` and `InstallDate`, the last two values.
std::vector<KeyValue> ClosingKeyValues(std::u16string_view install_folder, int year, int month, int day);

// One of the script's additional values, its text already expanded. A name with a backslash is
// a value elsewhere: `key_path` is the full key path (root notation) before the last backslash.
struct AdditionalValue {
  std::u16string key_path;  // empty: a value of the Uninstall key
  KeyValue value;
};
// Nothing for a kind other than text (1), expandable text (2) or number (4): the installation
// data is corrupt (format::corrupt::kUninstallValueType). A number is read as a decimal, optionally
// negative, or as hexadecimal after "0x"; what does not read as one gives 0.
std::optional<AdditionalValue> ParseAdditionalValue(const format::UninstallValue& value, std::u16string_view expanded);

// The registry-section line that has the uninstaller delete a value written elsewhere: key path,
// value name, "0", an empty field, "2", comma-separated with the section's quoting, ending in
// CR LF.
std::u16string Registry2DeleteLine(std::u16string_view key_path, std::u16string_view value_name);
// `section` with `line` appended, on a line of its own.
void AppendRegistryLine(std::u16string& section, std::u16string_view line);

}  // namespace halberd::integration

namespace halberd::integration {

// Windows only (uninstall_registration_win32.cpp). Opens or creates the Uninstall key in the
// 32-bit view with the parent's default security (it holds the uninstaller's command line, which
// ordinary users must not change), writes the values, the script's additional values,
// `InstallLocation` and `InstallDate`, reads `UninstallString` back and writes the install-path
// value the script names. A registration that did not succeed adds its two lines to the failure
// text. Returns whether it succeeded.
bool RegisterUninstall(const RegistrationFacts& facts);

}  // namespace halberd::integration
