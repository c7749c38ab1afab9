// The Uninstall key's values: the command lines, the order and type of every value, the rules that
// write or delete a value, colour, date and version texts, and the script's additional values.
#include "integration/uninstall_registration.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/text_convert.h"

#include "foundation/format/product_flags.h"

using namespace halberd;
using namespace halberd::integration;

namespace {

struct Product {
  engine::ProductSettings settings;
  format::SetupScript script;
  RegistrationFacts facts;
};

Product App() {
  Product p;
  engine::ProductSettings& s = p.settings;
  s.DisplayName = u"App";
  s.DisplayVersion = u"4.10";
  s.Publisher = u"Maker";
  s.ProductStartMenu = u"App";
  s.SharedPath = u"Maker";
  s.Language = u"English";
  s.Session = 0x123456789ABCDEFull;
  s.ShortcutMode = 1;
  s.TitleSize = 1.5;
  s.BannerFG = 0x00FF8040;  // red 0x40, green 0x80, blue 0xFF
  s.TopColor = 1;
  s.BottomColor = 2;
  RegistrationFacts& f = p.facts;
  f.key_name = u"App";
  f.uninstaller_path = u"C:\\App\\Uninstall.exe";
  f.uninstall_folder = u"C:\\App";
  f.installer_path = u"C:\\Downloads\\setup.exe";
  f.ProductFlags = format::kFlagUninstaller;
  f.installed_bytes = 10 * 1024;
  return p;
}

std::vector<KeyValue> Values(const Product& p) { return UninstallKeyValues(p.settings, p.script, p.facts); }

const KeyValue* Find(const std::vector<KeyValue>& values, std::u16string_view name) {
  auto it = std::find_if(values.begin(), values.end(), [&](const KeyValue& v) { return v.name == name; });
  return it == values.end() ? nullptr : &*it;
}

std::vector<std::u16string> Names(const std::vector<KeyValue>& values) {
  std::vector<std::u16string> names;
  for (const KeyValue& v : values) names.push_back(v.name);
  return names;
}

bool Written(const std::vector<KeyValue>& values, std::u16string_view name) {
  const KeyValue* v = Find(values, name);
  return v && v->type != ValueType::kDelete;
}

}  // namespace

TEST(UninstallRegistration, CommandLines) {
  EXPECT_EQ(UninstallCommand(u"C:\\App\\Uninstall.exe", u"App"), u"\"C:\\App\\Uninstall.exe\" /u:\"App\"");
  EXPECT_EQ(QuietUninstallCommand(u"C:\\App\\Uninstall.exe", u"App"), u"\"C:\\App\\Uninstall.exe\" /a /u:\"App\"");
  EXPECT_EQ(UninstallerArguments(u"My App"), u"/u:\"My App\"");
  EXPECT_EQ(UninstallKeyPath(u"My App"), u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\My App");
}

TEST(UninstallRegistration, ValuesInTableOrderWithTheirTypes) {
  std::vector<KeyValue> values = Values(App());
  const std::vector<std::u16string> order = {
      u"UninstallString", u"QuietUninstallString", u"DisplayName", u"InstallSource", u"Publisher", u"Bitness",
      u"DisplayVersion", u"NoDowngradeBelow", u"DisplayIcon", u"VersionMajor", u"VersionMinor", u"ProductRegistry",
      u"ProductStartMenu", u"SharedPath", u"ProductFonts", u"ProductFlags", u"ProductFlags2", u"UninstallBatch1",
      u"UninstallBatch2", u"SharedFiles", u"UninstallSubdir", u"AddToPathSubfolder", u"ShortcutMode", u"NotifyURL",
      u"SupportOffer", u"DesktopFolder", u"UninstallFonts", u"UninstallShared", u"Session", u"Language",
      u"ProgressStyle", u"EstimatedSize", u"TaskbarText", u"DialogFont", u"BannerFG", u"DialogFG", u"DialogBG",
      u"ButtonBG", u"ButtonFG", u"ButtonBorder", u"DialogZoom", u"DisplayTitle", u"TitleColor", u"TitleSize",
      u"TopColor", u"BottomColor", u"MonoColor", u"TitleShadow", u"TitlePosition", u"TitleFont", u"CopyrightText",
      u"CopyrightFont", u"CopyrightSize", u"CopyrightColor", u"CopyrightPos", u"BitmapSize", u"BitmapTPI",
      u"StretchMode"};
  EXPECT_EQ(Names(values), order);

  struct Expected {
    std::u16string_view name;
    ValueType type;
    std::u16string_view text;
    uint64_t number;
  };
  const Expected expected[] = {
      {u"UninstallString", ValueType::kWideText, u"\"C:\\App\\Uninstall.exe\" /u:\"App\"", 0},
      {u"QuietUninstallString", ValueType::kWideText, u"\"C:\\App\\Uninstall.exe\" /a /u:\"App\"", 0},
      {u"DisplayName", ValueType::kWideText, u"App", 0},
      {u"InstallSource", ValueType::kWideText, u"C:\\Downloads\\setup.exe", 0},
      {u"Publisher", ValueType::kWideText, u"Maker", 0},
      {u"Bitness", ValueType::kDword, u"", 0},
      {u"DisplayVersion", ValueType::kAnsiText, u"4.10", 0},
      {u"NoDowngradeBelow", ValueType::kDelete, u"", 0},
      {u"DisplayIcon", ValueType::kDelete, u"", 0},
      {u"VersionMajor", ValueType::kDword, u"", 4},
      {u"VersionMinor", ValueType::kDword, u"", 10},
      {u"ProductFlags", ValueType::kAnsiText, u"4", 0},
      {u"ProductFlags2", ValueType::kAnsiText, u"0", 0},
      {u"ShortcutMode", ValueType::kDword, u"", 1},
      {u"Session", ValueType::kQword, u"", 0x123456789ABCDEFull},
      {u"Language", ValueType::kWideText, u"English", 0},
      {u"EstimatedSize", ValueType::kDword, u"", 10},
      {u"BannerFG", ValueType::kAnsiText, u"4080FF", 0},
      {u"DialogFG", ValueType::kDelete, u"", 0},
      {u"ButtonBG", ValueType::kDelete, u"", 0},
      {u"DialogZoom", ValueType::kDword, u"", 100},
      {u"TitleSize", ValueType::kAnsiText, u"1.5", 0},
      {u"BottomColor", ValueType::kDword, u"", 2},
      {u"MonoColor", ValueType::kDword, u"", 0},
      {u"CopyrightColor", ValueType::kAnsiText, u"000000", 0},
      {u"BitmapSize", ValueType::kDelete, u"", 0},
      {u"StretchMode", ValueType::kDelete, u"", 0},
  };
  for (const Expected& e : expected) {
    const KeyValue* v = Find(values, e.name);
    ASSERT_TRUE(v) << Utf16ToUtf8(e.name);
    EXPECT_EQ(v->type, e.type) << Utf16ToUtf8(e.name);
    EXPECT_EQ(v->text, e.text) << Utf16ToUtf8(e.name);
    EXPECT_EQ(v->number, e.number) << Utf16ToUtf8(e.name);
  }
}

TEST(UninstallRegistration, EmptyTextsAndZeroShortcutModeDelete) {
  Product p = App();
  p.settings.Publisher.clear();
  p.settings.DisplayVersion.clear();
  p.settings.Language.clear();
  p.settings.ShortcutMode = 0;
  p.script.batches.UninstallBatch1 = "del x\r\n";
  p.facts.shared_files = u"C:\\Shared\\a.dll";
  std::vector<KeyValue> v = Values(p);
  for (std::u16string_view name : {u"Publisher", u"DisplayVersion", u"Language", u"ShortcutMode", u"UninstallBatch2",
                                   u"NotifyURL", u"SupportOffer", u"ProductFonts"}) {
    ASSERT_TRUE(Find(v, name)) << Utf16ToUtf8(name);
    EXPECT_EQ(Find(v, name)->type, ValueType::kDelete) << Utf16ToUtf8(name);
  }
  EXPECT_EQ(Find(v, u"UninstallBatch1")->type, ValueType::kAnsiText);
  EXPECT_EQ(Find(v, u"UninstallBatch1")->text, u"del x\r\n");
  EXPECT_EQ(Find(v, u"SharedFiles")->type, ValueType::kAnsiText);
  // A text the table writes even when empty.
  EXPECT_EQ(Find(v, u"TaskbarText")->type, ValueType::kWideText);
}

TEST(UninstallRegistration, VersionNumbers) {
  struct Case {
    std::u16string_view version;
    bool present;
    uint32_t major, minor;
  } cases[] = {
      {u"4.10", true, 4, 10}, {u"4", false, 0, 0},  {u"1.2.3", true, 1, 2},
      {u"2.0 beta", true, 2, 0}, {u".5", true, 0, 5}, {u"", false, 0, 0},
  };
  for (const Case& c : cases) {
    std::optional<VersionNumbers> n = VersionMajorMinor(c.version);
    ASSERT_EQ(n.has_value(), c.present) << Utf16ToUtf8(c.version);
    if (n) {
      EXPECT_EQ(n->major, c.major) << Utf16ToUtf8(c.version);
      EXPECT_EQ(n->minor, c.minor) << Utf16ToUtf8(c.version);
    }
  }
  Product p = App();
  p.settings.DisplayVersion = u"4";
  std::vector<KeyValue> v = Values(p);
  EXPECT_EQ(Find(v, u"VersionMajor")->type, ValueType::kDelete);
  EXPECT_EQ(Find(v, u"VersionMinor")->type, ValueType::kDelete);
}

TEST(UninstallRegistration, EstimatedSizeAtItsLimits) {
  const uint64_t kFourTiB = uint64_t(0x100000000) * 1024;
  struct Case {
    uint64_t bytes;
    std::optional<uint32_t> kib;
  } cases[] = {
      {0, std::nullopt},          {1023, std::nullopt},        {1024, 1u},
      {2047, 1u},                 {kFourTiB - 1, 0xFFFFFFFFu}, {kFourTiB, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(EstimatedSizeKiB(c.bytes), c.kib) << c.bytes;
  Product p = App();
  p.facts.installed_bytes = 0;
  EXPECT_EQ(Find(Values(p), u"EstimatedSize")->type, ValueType::kDelete);
}

TEST(UninstallRegistration, DisplayIconOnlyWithTheIconWritten) {
  Product p = App();
  EXPECT_FALSE(Written(Values(p), u"DisplayIcon"));
  p.facts.product_icon_written = true;
  std::vector<KeyValue> values = Values(p);
  const KeyValue* icon = Find(values, u"DisplayIcon");
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->type, ValueType::kWideText);
  EXPECT_EQ(icon->text, u"C:\\App\\product.ico");
}

TEST(UninstallRegistration, ColourTexts) {
  EXPECT_EQ(ColourText(0x000000), u"000000");
  EXPECT_EQ(ColourText(0xFFFFFF), u"FFFFFF");
  EXPECT_EQ(ColourText(0x0A0B0C), u"0C0B0A");  // red is the low byte and comes first
  EXPECT_EQ(ColourText(0xABCDEF), u"EFCDAB");  // upper-case digits
  // An unset colour has no text: the uninstaller falls back to the system colour.
  EXPECT_EQ(ColourText(0x1000000), std::nullopt);
  EXPECT_EQ(ColourText(format::kColourUnset), std::nullopt);
}

TEST(UninstallRegistration, ColourValuesFollowTheirFlags) {
  Product p = App();
  p.settings.DialogFG = 0x112233;
  p.settings.DialogBG = format::kColourUnset;
  p.settings.ButtonBG = 0x0000FF;
  p.settings.ButtonFG = 0x00FF00;
  p.settings.ButtonBorder = 0xFF0000;
  EXPECT_FALSE(Written(Values(p), u"DialogFG"));
  EXPECT_FALSE(Written(Values(p), u"ButtonBG"));
  p.facts.ProductFlags |= format::kFlagDialogColours;
  p.facts.ProductFlags2 |= format::kFlags2ButtonColours;
  std::vector<KeyValue> v = Values(p);
  EXPECT_EQ(Find(v, u"DialogFG")->text, u"332211");
  EXPECT_EQ(Find(v, u"DialogBG")->type, ValueType::kDelete);
  EXPECT_EQ(Find(v, u"ButtonBG")->text, u"FF0000");
  EXPECT_EQ(Find(v, u"ButtonFG")->text, u"00FF00");
  EXPECT_EQ(Find(v, u"ButtonBorder")->text, u"0000FF");
}

TEST(UninstallRegistration, TitleValuesAbsentWithoutTitleSettings) {
  Product p = App();
  p.facts.ProductFlags |= format::kFlagNoBackgroundWindow;
  std::vector<KeyValue> v = Values(p);
  for (std::u16string_view name : {u"DisplayTitle", u"TitleColor", u"TitleSize", u"TopColor", u"BottomColor",
                                   u"MonoColor", u"CopyrightPos", u"BitmapSize", u"StretchMode"})
    EXPECT_FALSE(Find(v, name)) << Utf16ToUtf8(name);
  EXPECT_EQ(v.back().name, u"DialogZoom");
}

TEST(UninstallRegistration, BackgroundValues) {
  Product p = App();
  p.settings.TopColor = p.settings.BottomColor = 5;
  p.settings.MonoColor = true;
  p.facts.background_image = true;
  p.settings.BitmapSize = 80;
  p.settings.StretchMode = 2;
  p.settings.BitmapTPI = -1;
  std::vector<KeyValue> v = Values(p);
  EXPECT_EQ(Find(v, u"BottomColor")->type, ValueType::kDelete);
  EXPECT_EQ(Find(v, u"MonoColor")->number, 1u);
  EXPECT_EQ(Find(v, u"BitmapSize")->number, 80u);
  EXPECT_EQ(Find(v, u"BitmapTPI")->type, ValueType::kDelete);
  EXPECT_EQ(Find(v, u"StretchMode")->number, 2u);
  p.settings.BitmapTPI = 3;
  EXPECT_EQ(Find(Values(p), u"BitmapTPI")->number, 3u);
}

TEST(UninstallRegistration, FlagWordsAsDecimalTexts) {
  Product p = App();
  p.facts.ProductFlags = format::FlagBit(63) | format::kFlagUninstaller;
  p.facts.ProductFlags2 = 0x80000020u;
  std::vector<KeyValue> v = Values(p);
  EXPECT_EQ(Find(v, u"ProductFlags")->text, u"-9223372036854775804");  // signed
  EXPECT_EQ(Find(v, u"ProductFlags2")->text, u"2147483680");            // unsigned
  p.settings.Bitness = 1;
  EXPECT_EQ(Find(Values(p), u"Bitness")->number, 1u);
  p.settings.Bitness = 2;
  EXPECT_EQ(Find(Values(p), u"Bitness")->number, 0u);
}

TEST(UninstallRegistration, ClosingValues) {
  std::vector<KeyValue> v = ClosingKeyValues(u"C:\\App", 2026, 3, 7);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0], (KeyValue{u"InstallLocation", ValueType::kWideText, u"C:\\App", 0}));
  EXPECT_EQ(v[1], (KeyValue{u"InstallDate", ValueType::kAnsiText, u"260307", 0}));
  EXPECT_EQ(InstallDateText(2000, 12, 31), u"001231");
  EXPECT_EQ(InstallDateText(2105, 1, 2), u"050102");
}

TEST(UninstallRegistration, AdditionalValues) {
  struct Case {
    const char* what;
    format::UninstallValue value;
    std::u16string expanded;
    std::u16string key_path;
    KeyValue result;
  } cases[] = {
      {"text", {u"Comments", 1, u"%x%"}, u"hello", u"", {u"Comments", ValueType::kWideText, u"hello", 0}},
      {"expandable", {u"Help", 2, u""}, u"%windir%\\a", u"", {u"Help", ValueType::kExpandText, u"%windir%\\a", 0}},
      {"number", {u"Count", 4, u""}, u"1234567890123", u"", {u"Count", ValueType::kQword, u"", 1234567890123ull}},
      {"negative number", {u"N", 4, u""}, u"-1", u"", {u"N", ValueType::kQword, u"", ~uint64_t(0)}},
      {"hexadecimal number", {u"H", 4, u""}, u"0x1F", u"", {u"H", ValueType::kQword, u"", 31}},
      {"not a number", {u"Z", 4, u""}, u"abc", u"", {u"Z", ValueType::kQword, u"", 0}},
      {"elsewhere", {u"\\HKLM\\Software\\Maker\\App\\Path", 1, u""}, u"C:\\App", u"\\HKLM\\Software\\Maker\\App",
       {u"Path", ValueType::kWideText, u"C:\\App", 0}},
  };
  for (const Case& c : cases) {
    std::optional<AdditionalValue> a = ParseAdditionalValue(c.value, c.expanded);
    ASSERT_TRUE(a) << c.what;
    EXPECT_EQ(a->key_path, c.key_path) << c.what;
    EXPECT_EQ(a->value, c.result) << c.what;
  }
  for (uint8_t kind : {0, 3, 5, 7, 255}) EXPECT_FALSE(ParseAdditionalValue({u"X", kind, u""}, u"1")) << int(kind);
}

TEST(UninstallRegistration, Registry2LineDeletesTheValueAtUninstall) {
  EXPECT_EQ(Registry2DeleteLine(u"\\HKLM\\Software\\Maker", u"Path"), u"\\HKLM\\Software\\Maker,Path,0,,2\r\n");
  // A field with a comma is quoted, as the uninstaller's reader expects.
  EXPECT_EQ(Registry2DeleteLine(u"\\HKCU\\Software\\A,B", u"V"), u"\"\\HKCU\\Software\\A,B\",V,0,,2\r\n");
  std::u16string section = u"\\HKLM\\Software\\Maker";  // a last line without its line end
  AppendRegistryLine(section, Registry2DeleteLine(u"\\HKLM\\X", u"V"));
  EXPECT_EQ(section, u"\\HKLM\\Software\\Maker\r\n\\HKLM\\X,V,0,,2\r\n");
  std::u16string empty;
  AppendRegistryLine(empty, u"a\r\n");
  EXPECT_EQ(empty, u"a\r\n");
}
