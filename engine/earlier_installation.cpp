#include "engine/earlier_installation.h"

#include "foundation/version_compare.h"

namespace halberd::engine {

bool IsRegistryLocation(std::u16string_view text) {
  return text.starts_with(u"HKLM\\") || text.starts_with(u"HKCU\\");
}

std::optional<RegistryValueLocation> ParseRegistryLocation(std::u16string_view text) {
  if (!IsRegistryLocation(text)) return std::nullopt;
  RegistryValueLocation location;
  location.current_user = text.starts_with(u"HKCU\\");
  std::u16string_view rest = text.substr(5);
  size_t last = rest.rfind(u'\\');
  if (last == std::u16string_view::npos || last == 0) return std::nullopt;
  location.key = rest.substr(0, last);
  location.value = rest.substr(last + 1);
  return location;
}

bool MustUninstallFirst(bool rule_on, const EarlierInstallation& earlier, bool folder_from_registry,
                        std::u16string_view upgrade_minimum) {
  if (!rule_on || !earlier.present || folder_from_registry) return false;
  if (upgrade_minimum.empty()) return true;
  return earlier.version.empty() || CompareVersions(earlier.version, upgrade_minimum) < 0;
}

bool IsDowngradeRefused(std::u16string_view no_downgrade_below, std::u16string_view this_version) {
  return !no_downgrade_below.empty() && CompareVersions(this_version, no_downgrade_below) < 0;
}

EarlierUninstallerAction DecideEarlierUninstaller(bool automatic_or_silent, bool command_registered) {
  if (automatic_or_silent)
    return command_registered ? EarlierUninstallerAction::kStart : EarlierUninstallerAction::kRefuseNoCommand;
  return command_registered ? EarlierUninstallerAction::kAskThenStart : EarlierUninstallerAction::kRefuse;
}

std::u16string EarlierUninstallerCommand(std::u16string_view uninstall_command, std::u16string_view own_command_line,
                                         bool silent, bool automatic) {
  std::u16string command(uninstall_command);
  command += u" /r:\"";
  for (char16_t c : own_command_line) command += c == u'"' ? u'`' : c;
  command += u"\"";
  if (silent) command += u" /silent";
  if (automatic) command += u" /a";
  return command;
}

InstallTypeResult ClassifyInstall(bool earlier_present, bool compare_versions, std::u16string_view new_version,
                                  std::u16string_view earlier_version) {
  if (!earlier_present) return {kInstallNew, 0};
  if (compare_versions && !new_version.empty() && !earlier_version.empty()) {
    int order = CompareVersions(new_version, earlier_version);
    if (order == 0) return {kInstallReinstall, 4};
    return order > 0 ? InstallTypeResult{kInstallUpgrade, 5} : InstallTypeResult{kInstallDowngrade, 6};
  }
  return {kInstallReinstall, 3};
}

const char16_t* InstallTypeName(InstallType type) {
  switch (type) {
    case kInstallReinstall: return u"Reinstall";
    case kInstallUpgrade: return u"Upgrade";
    case kInstallDowngrade: return u"Downgrade";
    default: return u"New";
  }
}

EarlierInstallationValues ValuesOfEarlierInstallation(const EarlierInstallation& earlier, bool compare_versions,
                                                      std::u16string_view new_version) {
  EarlierInstallationValues values;
  if (!earlier.present) return values;
  values.type = ClassifyInstall(true, compare_versions, new_version, earlier.version).type;
  values.existing = int(values.type);
  values.old_version = earlier.version;
  values.folder = earlier.folder;
  return values;
}

bool AsksOverInstall(bool rule_on, std::u16string_view earlier_version, std::u16string_view confirm_minimum) {
  if (!rule_on || earlier_version.empty()) return false;
  return confirm_minimum.empty() || CompareVersions(earlier_version, confirm_minimum) < 0;
}

}  // namespace halberd::engine
