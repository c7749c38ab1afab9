#include "engine/platform_checks.h"

#include "engine/message_text.h"
#include "foundation/version_compare.h"

namespace halberd::engine {

namespace {

std::u16string Number(uint32_t n) {
  std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

}  // namespace

int MissingBitness(uint8_t bitness, bool windows_64bit) {
  if (bitness == 1 && !windows_64bit) return 64;
  if (bitness == 2 && windows_64bit) return 32;
  return 0;
}

bool IsOlderThan(const WindowsVersion& running, const MinimumWindows& minimum) {
  if (!minimum.set()) return false;
  if (running.major != minimum.major) return running.major < minimum.major;
  if (running.minor != minimum.minor) return running.minor < minimum.minor;
  return running.build < minimum.build;
}

std::u16string MinimumWindowsText(const MinimumWindows& minimum) {
  std::u16string text = Number(minimum.major) + u"." + Number(minimum.minor);
  if (minimum.build != 0) text += u"." + Number(minimum.build);
  return text;
}

bool IsExcludedWindows(uint32_t excluded_mask, const WindowsVersion& running) {
  return (excluded_mask & WindowsBit(running)) != 0;
}

format::MasterProduct MasterWithDefaults(format::MasterProduct master, std::u16string_view own_display_name) {
  if (master.uninstall_key_name.empty()) master.uninstall_key_name = own_display_name;
  if (master.display_name.empty()) master.display_name = own_display_name;
  return master;
}

bool IsMasterFolder(std::u16string_view folder) {
  constexpr std::u16string_view kMaster = u"<master>";
  if (folder.size() != kMaster.size()) return false;
  for (size_t i = 0; i < folder.size(); ++i)
    if (Lower(folder[i]) != kMaster[i]) return false;
  return true;
}

MasterProductDecision DecideMasterProduct(const format::MasterProduct& master, bool folder_is_master,
                                          const MasterProductFacts& facts, const TextSource& text) {
  MasterProductDecision d;
  if (!facts.installed || (folder_is_master && facts.install_location.empty())) {
    d.refusal_text = 12;
    d.message = FillInText(text(12), {master.display_name});
    return d;
  }
  if (!master.minimum_version.empty() && CompareVersions(facts.version, master.minimum_version) < 0) {
    d.refusal_text = 112;
    d.message = FillInText(text(112), {master.minimum_version, master.display_name});
    return d;
  }
  if (folder_is_master) d.folder = facts.install_location;
  return d;
}

}  // namespace halberd::engine
