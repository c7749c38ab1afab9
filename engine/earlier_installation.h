// An earlier installation of the product and the version policy applied to it: where it is found
// (the uninstall key's `InstallLocation`, else the script's registry location), whether it must be
// uninstalled first (the uninstall-first rule, `NoDowngradeBelow`), how the earlier uninstaller is
// started, and the install type ("New", "Reinstall", "Upgrade", "Downgrade"). The decisions are
// portable; the Windows part reads the registry, asks, and starts the earlier uninstaller.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halberd::engine {

// ---- Registry locations --------------------------------------------------------------------

// A registry value named by a text that begins with "HKLM\" or "HKCU\": the key below that root
// and the value's name (the last part).
struct RegistryValueLocation {
  bool current_user = false;  // HKCU, else HKLM
  std::u16string key;
  std::u16string value;
};
// Whether the text names a registry value ("HKLM\" or "HKCU\" at its start, exact case).
bool IsRegistryLocation(std::u16string_view text);
// The key and value of a registry location; nothing when the text is not one, or names no key
// and value below its root.
std::optional<RegistryValueLocation> ParseRegistryLocation(std::u16string_view text);

// ---- What was found ------------------------------------------------------------------------

struct EarlierInstallation {
  std::u16string folder;           // InstallLocation, or the folder at the registry location
  bool present = false;            // the folder exists
  std::u16string version;          // DisplayVersion (the overwriting version); empty: unknown
  std::u16string shared_files;     // SharedFiles
  std::u16string start_menu;       // ProductStartMenu
  std::u16string no_downgrade_below;  // NoDowngradeBelow
};

// ---- Version policy ------------------------------------------------------------------------

// The uninstall-first rule: with the rule on and an earlier installation present (its folder
// not taken from a registry value), the earlier version must be removed when no minimum is given
// or its version is below the minimum. An unknown earlier version is below every minimum.
bool MustUninstallFirst(bool rule_on, const EarlierInstallation& earlier, bool folder_from_registry,
                        std::u16string_view upgrade_minimum);

// `NoDowngradeBelow` of the earlier installation: this version may not replace it when it is
// below that version (an equal version is allowed; no value allows everything).
bool IsDowngradeRefused(std::u16string_view no_downgrade_below, std::u16string_view this_version);

// How the earlier uninstaller is run in the uninstall-first and downgrade steps.
enum class EarlierUninstallerAction {
  kStart,          // automatic or silent: started without a question
  kAskThenStart,   // the message with Continue / Cancel, then started
  kRefuse,         // interactive, no command registered: the message, then the step's exit code
  kRefuseNoCommand // automatic or silent, no command registered: nothing to start; the step's code
};
EarlierUninstallerAction DecideEarlierUninstaller(bool automatic_or_silent, bool command_registered);

// The command that starts the earlier uninstaller: the registered command, then
// ` /r:"<this installer's command line, double quotes as backquotes>"`, then " /silent" and
// " /a" as the run has them. The earlier uninstaller starts this installer again afterwards.
std::u16string EarlierUninstallerCommand(std::u16string_view uninstall_command, std::u16string_view own_command_line,
                                         bool silent, bool automatic);

// ---- Install type --------------------------------------------------------------------------

enum InstallType { kInstallNew = 0, kInstallReinstall = 1, kInstallUpgrade = 2, kInstallDowngrade = 3 };

struct InstallTypeResult {
  InstallType type = kInstallNew;
  int text = 0;  // the confirmation's text: 3 (no comparison), 4, 5, 6; 0 for a new installation
};
// With no earlier installation: New. With `compare_versions` and both versions known: equal is a
// reinstallation (text 4), a higher new version an upgrade (5), a lower one a downgrade (6).
// Otherwise a reinstallation (text 3).
InstallTypeResult ClassifyInstall(bool earlier_present, bool compare_versions, std::u16string_view new_version,
                                  std::u16string_view earlier_version);
// The log name of a type: "New", "Reinstall", "Upgrade", "Downgrade".
const char16_t* InstallTypeName(InstallType type);

// What the rest of the run learns of the earlier installation as soon as it is found, before the
// wizard: %Existing% (the install type as a number), %OldVersion% and the folder whose existence
// lets the Reinstall batch run. All empty (and New) when no earlier installation is present.
struct EarlierInstallationValues {
  InstallType type = kInstallNew;
  int existing = 0;            // %Existing%: 0 none, 1 reinstall, 2 upgrade, 3 downgrade
  std::u16string old_version;  // %OldVersion%: DisplayVersion of the installation being replaced
  std::u16string folder;       // its installation folder
};
EarlierInstallationValues ValuesOfEarlierInstallation(const EarlierInstallation& earlier, bool compare_versions,
                                                      std::u16string_view new_version);

// The over-installation question: asked when the rule is on and the earlier version is known,
// unless it is at least the confirmation minimum.
bool AsksOverInstall(bool rule_on, std::u16string_view earlier_version, std::u16string_view confirm_minimum);

// ---- Steps of the install run (Windows only) ----------------------------------------------

// The text of a registry location ("HKLM\Software\X\Path"); empty when it names nothing.
std::wstring ReadRegistryLocationText(std::u16string_view location);
// What the run found (filled by FindEarlierInstallation).
const EarlierInstallation& Earlier();
// Reads the uninstall key (and the registry location) of the product and hands what it found to
// the path variables (%Existing%, %OldVersion%, ...) and the run state (install type, the earlier
// installation folder of the Reinstall batch).
void FindEarlierInstallation();
// The uninstall-first rule, NoDowngradeBelow, the install type with its confirmation and the
// over-installation question; run only when the earlier installation gives the folder.
void ApplyVersionPolicy();

}  // namespace halberd::engine
