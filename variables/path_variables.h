// Path variables: the percent-delimited references ("%InstallDir%") that every text naming a place
// is expanded with just before use, the environment pass that follows them, and the notification
// URL variables.
//
// The expansion is one ordered list of 60 replacements (kPathVariables). Each is matched without
// regard to case, except %OldVersionMajor% and %OldVersionMinor%, which match only as written.
// Values are taken from a PathVariableInputs record at the moment of the call; a value that itself
// holds a reference to a later entry is expanded by that entry, a reference to an earlier entry
// stays. What is left then goes through the environment pass (as the system's environment
// expansion does it), cut at 31,999 characters.
//
// The core is portable; the functions at the end fill the inputs from Windows and the run state
// (path_variables_win32.cpp).
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace halberd::variables {

// The 60 variables, in the order in which they are replaced.
enum class PathVariable {
  kAppDataAllDir, kAppDataDir, kAutomatic, kBits, kBootDrive, kCommonDir, kCommonDir32, kCommonDir64,
  kDesktopAllDir, kDesktopDir, kDesktopShortcuts, kDeviceDir, kDocumentAllDir, kDocumentDir, kExisting,
  kFavoritesAllDir, kFavoritesDir, kFontDir, kInetpub, kInstallDir, kInstallDrive, kInstallerDir,
  kInstallerDrive, kInstallerFilename, kInstallerFilepath, kUninstallerFilepath, kLanguage, kLogFilepath,
  kMediaDir, kNetworkInstall, kOldVersion, kOldVersionMajor, kOldVersionMinor, kPortable, kProductName,
  kCompanyName, kProgramsDir, kProgramsDir32, kProgramsDir64, kSharedDir, kSMProgramsAllDir, kSMProgramsDir,
  kStartMenuAllDir, kStartMenuChosen, kStartMenuDir, kStartupAllDir, kStartupDir, kSystemDir, kTemp,
  kUninstallDir, kWinDir, kVersion, kVersionMajor, kVersionMinor, kOS, kOSMajor, kOSMinor, kOSName,
  kOSDescription, kOSServer,
};
inline constexpr size_t kPathVariableCount = 60;

struct PathVariableEntry {
  PathVariable variable;
  std::u16string_view reference;  // with both percent signs
  bool case_sensitive;
};
extern const std::array<PathVariableEntry, kPathVariableCount> kPathVariables;

// The system folders the values are made of (special folders; kBootDrive is the "C:" form).
enum class PathFolder {
  kAppDataAll, kAppData, kBootDrive, kCommon32, kCommon64, kDesktopAll, kDesktop, kDevice, kDocumentsAll,
  kDocuments, kFavoritesAll, kFavorites, kFonts, kInetpub, kMedia, kPrograms32, kPrograms64, kSmProgramsAll,
  kSmPrograms, kStartMenuAll, kStartMenu, kStartupAll, kStartup, kSystem, kTemp, kWindows,
};

// How a drive letter's root counts: removable, CD-ROM and RAM drives are portable, remote drives
// network; fixed and all other drives neither.
enum class DriveKind { kOther, kPortable, kNetwork };

// The operating system as the system reports it.
struct OsVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  bool nt = true;               // Windows NT family
  uint8_t product_type = 1;     // 1 workstation, 2 domain controller, 3 server
  uint16_t suite_mask = 0;
  bool server_r2 = false;       // the server-R2 system metric
  uint32_t product_info = 0;    // the edition number of the system's product information (Vista and later)
  bool windows_64bit = false;
};

// Its code, numbers and names as the variables give them.
struct OsInfo {
  int code = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
  std::u16string name;         // "Windows 10"
  std::u16string description;  // "Windows 10 Pro x64"; under Wine "WINE 8.0 reporting as Windows 10 Pro x64"
  bool server = false;
};

// The operating-system code of %OS% (0 outside the NT family and for unknown versions).
int OsCode(const OsVersion& os);
// Code, numbers, short name and description; `wine_version` is empty outside Wine.
OsInfo DescribeOs(const OsVersion& os, std::u16string_view wine_version);

// Everything the values are made of. Folders and drive kinds are asked for only when a text holds
// a reference that needs them.
struct PathVariableInputs {
  std::function<std::u16string(PathFolder)> folder;
  std::function<DriveKind(char16_t letter)> drive_kind;
  bool windows_64bit = false;
  OsInfo os;
  std::u16string installer_path;     // the running installer's full path
  bool automatic = false;            // no user interaction (/a, /silent or the product setting)
  int existing = 0;                  // 0 none, 1 reinstall, 2 upgrade, 3 downgrade
  std::u16string install_folder;
  std::u16string uninstall_folder;   // empty until installation begins
  std::u16string uninstaller_name;   // file name of the uninstaller copy
  std::u16string uninstall_subdir;   // UninstallSubdir
  std::u16string language;
  std::u16string old_version;        // DisplayVersion of the installation being replaced
  std::u16string product_name;
  std::u16string company;            // Publisher
  std::u16string version;            // DisplayVersion
  uint8_t bitness = 0;               // 1: 64-bit product
  uint8_t shortcut_mode = 0;         // 1: shortcuts for all users
  std::u16string desktop_subfolder;  // DesktopFolder
  std::u16string start_menu_name;    // the product's Start-menu folder name
  bool has_uninstaller = false;      // ProductFlags bit 2
  std::u16string shared_folder;
};

// The value of one variable now.
std::u16string PathVariableValue(PathVariable variable, const PathVariableInputs& inputs);

// Replace all: every non-overlapping occurrence of `find` in `text` from `start` on (at most
// `max_count` of them), scanning left to right; inserted text is not scanned again. An empty
// `find` replaces nothing. Returns the number replaced. Case is ignored with `ignore_case`
// (simple case folding of Latin, Greek and Cyrillic letters for the wide form, ASCII letters for
// the 8-bit form).
size_t ReplaceAll(std::u16string& text, std::u16string_view find, std::u16string_view replacement, bool ignore_case,
                  size_t start = 0, size_t max_count = SIZE_MAX);
size_t ReplaceAll(std::string& text, std::string_view find, std::string_view replacement, bool ignore_case,
                  size_t start = 0, size_t max_count = SIZE_MAX);

// Step 1: the 60 replacements in order. A replacement that would make the text longer than
// kMaxExpandedText code units is left out (the text is never valid as a path anyway).
inline constexpr size_t kMaxExpandedText = size_t(1) << 22;
void ReplacePathVariables(std::u16string& text, const PathVariableInputs& inputs);

// Step 2: environment references, as the system's expansion reads them. Each "%NAME%" whose name
// the lookup knows is replaced by the value; an unknown one (or "%%") is kept as it is, percent
// signs included, and the scan goes on after it; a "%" without a closing one is kept. The text ends
// at a NUL character; the result is cut at kEnvironmentPassLimit characters.
inline constexpr size_t kEnvironmentPassLimit = 31999;
using EnvironmentLookup = std::function<std::optional<std::u16string>(std::u16string_view name)>;
std::u16string ExpandEnvironmentReferences(std::u16string_view text, const EnvironmentLookup& lookup);

// Both steps.
void ExpandPathVariables(std::u16string& text, const PathVariableInputs& inputs, const EnvironmentLookup& lookup);

// The integer at the start of a version text: blanks, tabs and line breaks skipped, one optional
// sign, decimal digits (saturating at the 32-bit range); 0 without digits. %VersionMajor%.
int32_t LeadingInteger(std::u16string_view text);
// The same after the first "." (0 without one). %VersionMinor%.
int32_t IntegerAfterFirstDot(std::u16string_view text);

// ---------------------------------------------------------------------------------------------
// Notification URL variables (8-bit text).

struct NotificationUrlValues {
  std::string version;  // escaped when inserted
  uint64_t session = 0;
  int os_code = 0;
  uint32_t os_major = 0;
  uint32_t os_minor = 0;
  std::string os_name;         // escaped
  std::string os_description;  // escaped
  bool os_server = false;
};

// Every byte that is 0x20 or lower, 0x7F or higher, or one of / % ? & " # < > ( ) [ ] ; : @ = + \ | ~
// ^ ' * ! becomes "%" and two upper-case hexadecimal digits.
std::string PercentEscape(std::string_view value);
// %version%, %Session%, %OS%, %OSMajor%, %OSMinor%, %OSName%, %OSDescription%, %OSServer%, in
// that order, case ignored.
void ExpandNotificationUrl(std::string& url, const NotificationUrlValues& values);

// ---------------------------------------------------------------------------------------------
// Windows (path_variables_win32.cpp).

// What only later steps of a run decide; they set these as they go.
struct PathVariableRunValues {
  int existing = 0;
  std::u16string old_version;
  std::u16string uninstall_folder;
  std::u16string shared_folder;
  std::optional<std::u16string> start_menu_name;  // chosen in the wizard; unset: ProductStartMenu
};
PathVariableRunValues& PathVariableRun();

// The running system, worked out once per process.
const OsVersion& RunningOsVersion();
const OsInfo& RunningOs();
// A system folder now.
std::u16string SystemFolderValue(PathFolder folder);
DriveKind SystemDriveKind(char16_t letter);
// The process environment.
EnvironmentLookup SystemEnvironment();

// Inputs with the system's parts filled (folders, drive kinds, bitness, OS, installer path) and
// the run's parts empty: the uninstaller fills those from the uninstall key.
PathVariableInputs SystemPathVariableInputs();
// Inputs of the install run: the system's parts, the run state, the product settings (with their
// defaults; the language is the current one) and PathVariableRun().
PathVariableInputs CurrentPathVariableInputs();

// Expands in place with the install run's inputs, or with the given ones.
void ExpandPathVariables(std::wstring& text);
void ExpandPathVariables(std::wstring& text, const PathVariableInputs& inputs);

// The notification URL with the run's version, session and OS.
std::string ExpandNotificationUrl(std::string_view url);

}  // namespace halberd::variables
