// The Uninstall key's values as an ordered list of writes and deletions (see the header).
#include "integration/uninstall_registration.h"

#include <cstdio>

#include "foundation/double_text.h"
#include "foundation/format/product_flags.h"
#include "foundation/text_convert.h"
#include "uninstall/uninstall_data.h"

namespace halberd::integration {

namespace {

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

// The leading decimal digits of a text, saturated at 32 bits.
uint32_t LeadingNumber(std::u16string_view text) {
  uint64_t n = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') break;
    n = n * 10 + (c - u'0');
    if (n > 0xFFFFFFFFu) return 0xFFFFFFFFu;
  }
  return uint32_t(n);
}

// Builds the list; each helper adds one row of the table.
class ValueList {
 public:
  std::vector<KeyValue> values;

  void Wide(std::u16string_view name, std::u16string_view text) { Add(name, ValueType::kWideText, text, 0); }
  void Ansi(std::u16string_view name, std::u16string_view text) { Add(name, ValueType::kAnsiText, text, 0); }
  // "empty deletes"
  void WideOrDelete(std::u16string_view name, std::u16string_view text) {
    text.empty() ? Delete(name) : Wide(name, text);
  }
  void AnsiOrDelete(std::u16string_view name, std::u16string_view text) {
    text.empty() ? Delete(name) : Ansi(name, text);
  }
  void Dword(std::u16string_view name, uint32_t n) { Add(name, ValueType::kDword, {}, n); }
  void Qword(std::u16string_view name, uint64_t n) { Add(name, ValueType::kQword, {}, n); }
  void Colour(std::u16string_view name, uint32_t colour) {
    std::optional<std::u16string> text = ColourText(colour);
    text ? Ansi(name, *text) : Delete(name);
  }
  void Delete(std::u16string_view name) { Add(name, ValueType::kDelete, {}, 0); }

 private:
  void Add(std::u16string_view name, ValueType type, std::u16string_view text, uint64_t number) {
    values.push_back({std::u16string(name), type, std::u16string(text), number});
  }
};

}  // namespace

std::u16string UninstallKeyPath(std::u16string_view key_name) {
  return std::u16string(kUninstallKeyRoot) + u"\\" + std::u16string(key_name);
}

std::u16string UninstallerArguments(std::u16string_view key_name) {
  return u"/u:\"" + std::u16string(key_name) + u"\"";
}

std::u16string UninstallCommand(std::u16string_view uninstaller_path, std::u16string_view key_name) {
  return u"\"" + std::u16string(uninstaller_path) + u"\" " + UninstallerArguments(key_name);
}

std::u16string QuietUninstallCommand(std::u16string_view uninstaller_path, std::u16string_view key_name) {
  return u"\"" + std::u16string(uninstaller_path) + u"\" /a " + UninstallerArguments(key_name);
}

std::optional<std::u16string> ColourText(uint32_t colour) {
  if (colour > 0xFFFFFF) return std::nullopt;
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
  return Ascii(text);
}

std::u16string InstallDateText(int year, int month, int day) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d%02d%02d", ((year % 100) + 100) % 100, month % 100, day % 100);
  return Ascii(text);
}

std::optional<VersionNumbers> VersionMajorMinor(std::u16string_view version) {
  size_t dot = version.find(u'.');
  if (dot == std::u16string_view::npos) return std::nullopt;
  return VersionNumbers{LeadingNumber(version.substr(0, dot)), LeadingNumber(version.substr(dot + 1))};
}

std::optional<uint32_t> EstimatedSizeKiB(uint64_t installed_bytes) {
  uint64_t kib = installed_bytes / 1024;
  if (kib < 1 || kib > 0xFFFFFFFFu) return std::nullopt;
  return uint32_t(kib);
}

std::vector<KeyValue> UninstallKeyValues(const engine::ProductSettings& s, const format::SetupScript& script,
                                         const RegistrationFacts& f) {
  ValueList v;
  v.Wide(u"UninstallString", UninstallCommand(f.uninstaller_path, f.key_name));
  v.Wide(u"QuietUninstallString", QuietUninstallCommand(f.uninstaller_path, f.key_name));
  v.Wide(u"DisplayName", s.DisplayName);
  v.Wide(u"InstallSource", f.installer_path);
  v.WideOrDelete(u"Publisher", s.Publisher);
  v.Dword(u"Bitness", s.Bitness == 1 ? 1 : 0);
  v.AnsiOrDelete(u"DisplayVersion", s.DisplayVersion);
  v.AnsiOrDelete(u"NoDowngradeBelow", s.NoDowngradeBelow);
  if (f.product_icon_written) {
    std::u16string folder = f.uninstall_folder;
    if (!folder.empty() && folder.back() != u'\\' && folder.back() != u':') folder += u'\\';
    v.Wide(u"DisplayIcon", folder + kProductIconName);
  } else {
    v.Delete(u"DisplayIcon");
  }
  if (std::optional<VersionNumbers> version = VersionMajorMinor(s.DisplayVersion)) {
    v.Dword(u"VersionMajor", version->major);
    v.Dword(u"VersionMinor", version->minor);
  } else {
    v.Delete(u"VersionMajor");
    v.Delete(u"VersionMinor");
  }
  v.WideOrDelete(u"ProductRegistry", s.ProductRegistry);
  v.WideOrDelete(u"ProductStartMenu", s.ProductStartMenu);
  v.WideOrDelete(u"SharedPath", s.SharedPath);
  v.AnsiOrDelete(u"ProductFonts", f.product_fonts);
  v.Ansi(u"ProductFlags", Ascii(std::to_string(int64_t(f.ProductFlags))));
  v.Ansi(u"ProductFlags2", Ascii(std::to_string(f.ProductFlags2)));
  v.AnsiOrDelete(u"UninstallBatch1", format::Utf16FromCp1252(script.batches.UninstallBatch1));
  v.AnsiOrDelete(u"UninstallBatch2", format::Utf16FromCp1252(script.batches.UninstallBatch2));
  v.AnsiOrDelete(u"SharedFiles", f.shared_files);
  v.WideOrDelete(u"UninstallSubdir", s.UninstallSubdir);
  v.WideOrDelete(u"AddToPathSubfolder", s.AddToPathSubfolder);
  s.ShortcutMode == 0 ? v.Delete(u"ShortcutMode") : v.Dword(u"ShortcutMode", s.ShortcutMode);
  v.AnsiOrDelete(u"NotifyURL", s.NotifyURL);
  v.AnsiOrDelete(u"SupportOffer", s.SupportOffer);
  v.WideOrDelete(u"DesktopFolder", s.DesktopFolder);
  v.Dword(u"UninstallFonts", uint32_t(s.UninstallFonts));
  v.Dword(u"UninstallShared", uint32_t(s.UninstallShared));
  v.Qword(u"Session", s.Session);
  v.WideOrDelete(u"Language", s.Language);
  v.Dword(u"ProgressStyle", uint32_t(s.ProgressStyle));
  if (std::optional<uint32_t> size = EstimatedSizeKiB(f.installed_bytes)) v.Dword(u"EstimatedSize", *size);
  else v.Delete(u"EstimatedSize");
  v.Wide(u"TaskbarText", s.TaskbarText);
  v.Wide(u"DialogFont", s.DialogFont);
  v.Colour(u"BannerFG", s.BannerFG);
  if (f.ProductFlags & format::kFlagDialogColours) {
    v.Colour(u"DialogFG", s.DialogFG);
    v.Colour(u"DialogBG", s.DialogBG);
  } else {
    v.Delete(u"DialogFG");
    v.Delete(u"DialogBG");
  }
  if (f.ProductFlags2 & format::kFlags2ButtonColours) {
    v.Colour(u"ButtonBG", s.ButtonBG);
    v.Colour(u"ButtonFG", s.ButtonFG);
    v.Colour(u"ButtonBorder", s.ButtonBorder);
  } else {
    v.Delete(u"ButtonBG");
    v.Delete(u"ButtonFG");
    v.Delete(u"ButtonBorder");
  }
  v.Dword(u"DialogZoom", s.DialogZoom);
  if (!(f.ProductFlags & format::kFlagNoBackgroundWindow)) {
    v.Wide(u"DisplayTitle", s.DisplayTitle);
    v.Dword(u"TitleColor", s.TitleColor);
    v.Ansi(u"TitleSize", Ascii(ShortestDoubleText(s.TitleSize)));
    v.Dword(u"TopColor", s.TopColor);
    s.MonoColor ? v.Delete(u"BottomColor") : v.Dword(u"BottomColor", s.BottomColor);
    v.Dword(u"MonoColor", s.MonoColor ? 1 : 0);
    v.Dword(u"TitleShadow", s.TitleShadow);
    v.Dword(u"TitlePosition", s.TitlePosition);
    v.Wide(u"TitleFont", s.TitleFont);
    v.Wide(u"CopyrightText", s.CopyrightText);
    v.Wide(u"CopyrightFont", s.CopyrightFont);
    v.Ansi(u"CopyrightSize", Ascii(ShortestDoubleText(s.CopyrightSize)));
    v.Colour(u"CopyrightColor", s.CopyrightColor);
    v.Dword(u"CopyrightPos", s.CopyrightPos);
    if (f.background_image) {
      v.Dword(u"BitmapSize", s.BitmapSize);
      s.BitmapTPI >= 0 ? v.Dword(u"BitmapTPI", uint32_t(s.BitmapTPI)) : v.Delete(u"BitmapTPI");
      v.Dword(u"StretchMode", s.StretchMode);
    } else {
      v.Delete(u"BitmapSize");
      v.Delete(u"BitmapTPI");
      v.Delete(u"StretchMode");
    }
  }
  return std::move(v.values);
}

std::vector<KeyValue> ClosingKeyValues(std::u16string_view install_folder, int year, int month, int day) {
  ValueList v;
  v.Wide(u"InstallLocation", install_folder);
  v.Ansi(u"InstallDate", InstallDateText(year, month, day));
  return std::move(v.values);
}

std::optional<AdditionalValue> ParseAdditionalValue(const format::UninstallValue& value, std::u16string_view expanded) {
  AdditionalValue out;
  switch (value.type) {
    case format::kUninstallValueText:
      out.value.type = ValueType::kWideText;
      out.value.text = expanded;
      break;
    case format::kUninstallValueExpandText:
      out.value.type = ValueType::kExpandText;
      out.value.text = expanded;
      break;
    case format::kUninstallValueNumber: {
      out.value.type = ValueType::kQword;
      std::u16string_view t = expanded;
      while (!t.empty() && (t.front() == u' ' || t.front() == u'\t')) t.remove_prefix(1);
      bool negative = !t.empty() && t.front() == u'-';
      if (negative) t.remove_prefix(1);
      int base = 10;
      if (t.size() > 2 && t[0] == u'0' && (t[1] == u'x' || t[1] == u'X')) {
        base = 16;
        t.remove_prefix(2);
      }
      uint64_t n = 0;
      for (char16_t c : t) {
        int digit = c >= u'0' && c <= u'9' ? c - u'0'
                    : base == 16 && c >= u'a' && c <= u'f' ? c - u'a' + 10
                    : base == 16 && c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                           : -1;
        if (digit < 0) break;
        n = n * base + digit;
      }
      out.value.number = negative ? uint64_t(0) - n : n;
      break;
    }
    default:
      return std::nullopt;
  }
  size_t slash = value.name.rfind(u'\\');
  if (slash == std::u16string::npos) {
    out.value.name = value.name;
  } else {
    out.key_path = value.name.substr(0, slash);
    out.value.name = value.name.substr(slash + 1);
  }
  return out;
}

std::u16string Registry2DeleteLine(std::u16string_view key_path, std::u16string_view value_name) {
  std::string line = uninstall::JoinCsvLine({Utf16ToUtf8(key_path), Utf16ToUtf8(value_name), "0", "", "2"});
  return Utf8ToUtf16(line) + u"\r\n";
}

void AppendRegistryLine(std::u16string& section, std::u16string_view line) {
  if (!section.empty() && section.back() != u'\n') section += u"\r\n";
  section += line;
}

}  // namespace halberd::integration
