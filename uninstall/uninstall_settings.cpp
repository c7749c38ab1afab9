// Reading the uninstall key's values with their defaults.
#include "uninstall/uninstall_settings.h"

#include <cstdlib>
#include <limits>

#include "foundation/format/product_flags.h"
#include "foundation/text_convert.h"

namespace halberd::uninstall {

namespace {

std::u16string_view Trimmed(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

std::optional<int64_t> ParseDecimal(std::u16string_view text) {
  text = Trimmed(text);
  bool negative = false;
  if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulated as a negative number, so the most negative value fits.
  int64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    int digit = c - u'0';
    if (value < (std::numeric_limits<int64_t>::min() + digit) / 10) return std::nullopt;
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == std::numeric_limits<int64_t>::min()) return std::nullopt;
    value = -value;
  }
  return value;
}

uint32_t ClampDialogZoom(int64_t stored) {
  if (stored <= 0) return 100;
  if (stored < 50) return 50;
  if (stored > 150) return 150;
  return uint32_t(stored);
}

std::optional<uint32_t> ParseColourText(std::u16string_view text) {
  text = Trimmed(text);
  if (!text.empty() && text.front() == u'#') text.remove_prefix(1);
  if (text.size() != 6) return std::nullopt;
  uint32_t rgb[3];
  for (int i = 0; i < 3; ++i) {
    int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    rgb[i] = uint32_t(high * 16 + low);
  }
  return rgb[0] | (rgb[1] << 8) | (rgb[2] << 16);
}

UninstallSettings ReadUninstallSettings(const UninstallKeyValues& values, std::u16string_view uninstall_name) {
  UninstallSettings s;
  auto text = [&](std::u16string_view name, std::u16string& out) {
    if (auto v = values.text(name)) out = *v;
  };
  auto bytes = [&](std::u16string_view name, std::string& out) {
    if (auto v = values.bytes(name)) out = *v;
  };
  // A number that is missing or does not parse keeps its default.
  auto number = [&](std::u16string_view name) -> std::optional<int64_t> {
    auto v = values.text(name);
    return v ? ParseDecimal(*v) : std::nullopt;
  };
  auto u32 = [&](std::u16string_view name, uint32_t& out) {
    if (auto n = number(name)) out = uint32_t(*n);
  };
  auto real = [&](std::u16string_view name, double& out) {
    auto v = values.text(name);
    if (!v) return;
    std::string narrow = Utf16ToUtf8(Trimmed(*v));
    char* end = nullptr;
    double d = std::strtod(narrow.c_str(), &end);
    if (!narrow.empty() && end && *end == '\0') out = d;
  };
  auto colour = [&](std::u16string_view name, uint32_t& out) {
    if (auto v = values.text(name))
      if (auto c = ParseColourText(*v)) out = *c;
  };

  text(u"DisplayName", s.DisplayName);
  if (s.DisplayName.empty()) s.DisplayName = std::u16string(uninstall_name);
  text(u"InstallLocation", s.InstallLocation);
  if (auto n = number(u"ProductFlags")) s.ProductFlags = uint64_t(*n);
  if (auto n = number(u"ProductFlags2")) s.ProductFlags2 = uint32_t(*n);
  u32(u"Bitness", s.Bitness);
  text(u"DialogFont", s.DialogFont);
  text(u"DisplayTitle", s.DisplayTitle);
  text(u"TitleFont", s.TitleFont);
  text(u"CopyrightText", s.CopyrightText);
  text(u"CopyrightFont", s.CopyrightFont);
  real(u"TitleSize", s.TitleSize);
  u32(u"TitleColor", s.TitleColor);
  u32(u"TitleShadow", s.TitleShadow);
  u32(u"TopColor", s.TopColor);
  u32(u"BottomColor", s.BottomColor);
  u32(u"MonoColor", s.MonoColor);
  u32(u"TitlePosition", s.TitlePosition);
  u32(u"CopyrightPos", s.CopyrightPos);
  text(u"TaskbarText", s.TaskbarText);
  real(u"CopyrightSize", s.CopyrightSize);
  colour(u"CopyrightColor", s.CopyrightColor);
  colour(u"BannerFG", s.BannerFG);
  colour(u"DialogBG", s.DialogBG);
  colour(u"DialogFG", s.DialogFG);
  colour(u"ButtonBG", s.ButtonBG);
  colour(u"ButtonFG", s.ButtonFG);
  colour(u"ButtonBorder", s.ButtonBorder);
  // The dialog colours are used only when both parse.
  if ((s.ProductFlags & format::kFlagDialogColours) &&
      (s.DialogBG == format::kColourUnset || s.DialogFG == format::kColourUnset))
    s.ProductFlags &= ~format::kFlagDialogColours;
  u32(u"ProgressStyle", s.ProgressStyle);
  text(u"DisplayVersion", s.DisplayVersion);
  text(u"UninstallSubdir", s.UninstallSubdir);
  text(u"AddToPathSubfolder", s.AddToPathSubfolder);
  bytes(u"ProductFonts", s.ProductFonts);
  u32(u"UninstallFonts", s.UninstallFonts);
  u32(u"UninstallShared", s.UninstallShared);
  u32(u"ShortcutMode", s.ShortcutMode);
  text(u"NotifyURL", s.NotifyURL);
  text(u"Language", s.Language);
  if (auto n = number(u"Session")) s.Session = uint64_t(*n);
  if (auto n = number(u"DialogZoom")) s.DialogZoom = ClampDialogZoom(*n);
  text(u"DesktopFolder", s.DesktopFolder);
  if (auto n = number(u"BitmapTPI")) s.BitmapTPI = int32_t(*n);
  u32(u"StretchMode", s.StretchMode);
  u32(u"BitmapSize", s.BitmapSize);
  text(u"SupportOffer", s.SupportOffer);
  text(u"SharedPath", s.SharedPath);
  text(u"ProductStartMenu", s.ProductStartMenu);
  bytes(u"UninstallBatch1", s.UninstallBatch1);
  bytes(u"UninstallBatch2", s.UninstallBatch2);
  bytes(u"SharedFiles", s.SharedFiles);
  text(u"ProductRegistry", s.ProductRegistry);
  return s;
}

}  // namespace halberd::uninstall
