// The uninstall key's values as the uninstaller reads them: defaults for missing values, the
// dialog zoom clamp, colour texts and the flag words.
#include "uninstall/uninstall_settings.h"

#include <gtest/gtest.h>

#include <map>

using namespace halberd;
using namespace halberd::uninstall;

namespace {

UninstallKeyValues Key(const std::map<std::u16string, std::u16string>& texts,
                       const std::map<std::u16string, std::string>& bytes = {}) {
  return {[texts](std::u16string_view name) -> std::optional<std::u16string> {
            auto it = texts.find(std::u16string(name));
            if (it == texts.end()) return std::nullopt;
            return it->second;
          },
          [bytes](std::u16string_view name) -> std::optional<std::string> {
            auto it = bytes.find(std::u16string(name));
            if (it == bytes.end()) return std::nullopt;
            return it->second;
          }};
}

}  // namespace

TEST(UninstallSettings, MissingValuesTakeTheirDefaults) {
  UninstallSettings s = ReadUninstallSettings(Key({}), u"My App");
  EXPECT_EQ(s.DisplayName, u"My App");
  EXPECT_EQ(s.InstallLocation, u"");
  EXPECT_EQ(s.ProductFlags, 0u);
  EXPECT_EQ(s.ProductFlags2, 0u);
  EXPECT_EQ(s.TitleSize, 1.0);
  EXPECT_EQ(s.TitleColor, 0xFFFFFFFFu);  // the system colour
  EXPECT_EQ(s.TopColor, 0xFFFFFFFFu);
  EXPECT_EQ(s.TitleShadow, 1u);
  EXPECT_EQ(s.BottomColor, 0u);
  EXPECT_EQ(s.MonoColor, 1u);
  EXPECT_EQ(s.TaskbarText, u"Setup");
  EXPECT_EQ(s.ProgressStyle, 2u);
  EXPECT_EQ(s.UninstallFonts, 2u);
  EXPECT_EQ(s.UninstallShared, 2u);
  EXPECT_EQ(s.DialogZoom, 100u);
  EXPECT_EQ(s.BitmapTPI, -1);
  EXPECT_EQ(s.Session, 0u);
  EXPECT_EQ(s.CopyrightColor, 0xFFFFFFFFu);
  EXPECT_TRUE(s.SharedFiles.empty());
  EXPECT_TRUE(s.UninstallBatch1.empty());
}

TEST(UninstallSettings, StoredValuesAreRead) {
  UninstallSettings s = ReadUninstallSettings(
      Key({{u"DisplayName", u"Shown Name"},
           {u"InstallLocation", u"C:\\Program Files\\App"},
           {u"ProductFlags", u"-9223372036854775807"},  // signed 64-bit text: bit 63 and bit 0
           {u"ProductFlags2", u"4294967295"},
           {u"TitleSize", u"1.5"},
           {u"TaskbarText", u""},
           {u"UninstallFonts", u"0"},
           {u"Session", u"1234567890123"},
           {u"BitmapTPI", u"300"},
           {u"ProductStartMenu", u"Vendor\\App"}},
          {{u"SharedFiles", "\"C:\\x.dll^\""}, {u"UninstallBatch1", "echo \xE9"}}),
      u"App");
  EXPECT_EQ(s.DisplayName, u"Shown Name");
  EXPECT_EQ(s.InstallLocation, u"C:\\Program Files\\App");
  EXPECT_EQ(s.ProductFlags, 0x8000000000000001ull);
  EXPECT_EQ(s.ProductFlags2, 0xFFFFFFFFu);
  EXPECT_EQ(s.TitleSize, 1.5);
  EXPECT_EQ(s.TaskbarText, u"");  // present though empty: not the default
  EXPECT_EQ(s.UninstallFonts, 0u);
  EXPECT_EQ(s.Session, 1234567890123ull);
  EXPECT_EQ(s.BitmapTPI, 300);
  EXPECT_EQ(s.ProductStartMenu, u"Vendor\\App");
  EXPECT_EQ(s.SharedFiles, "\"C:\\x.dll^\"");
  EXPECT_EQ(s.UninstallBatch1, "echo \xE9");
}

TEST(UninstallSettings, EmptyDisplayNameFallsBackToTheUninstallName) {
  EXPECT_EQ(ReadUninstallSettings(Key({{u"DisplayName", u""}}), u"Key Name").DisplayName, u"Key Name");
}

TEST(UninstallSettings, DialogZoomIsClampedTo50Through150) {
  struct Case {
    const char16_t* stored;
    uint32_t used;
  };
  const Case cases[] = {{u"200", 150}, {u"151", 150}, {u"150", 150}, {u"100", 100}, {u"50", 50},
                        {u"49", 50},   {u"10", 50},   {u"1", 50},    {u"0", 100},   {u"-5", 100},
                        {u"zoom", 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.stored, c.stored + std::char_traits<char16_t>::length(c.stored)));
    EXPECT_EQ(ReadUninstallSettings(Key({{u"DialogZoom", c.stored}}), u"A").DialogZoom, c.used);
  }
}

TEST(UninstallSettings, ColourTextsWithOrWithoutHash) {
  struct Case {
    const char16_t* text;
    std::optional<uint32_t> rgb;  // red in the low byte
  };
  const Case cases[] = {
      {u"FF0000", 0x0000FFu}, {u"#FF0000", 0x0000FFu}, {u"00FF00", 0x00FF00u}, {u"#0000ff", 0xFF0000u},
      {u"123456", 0x563412u}, {u"", std::nullopt},      {u"#", std::nullopt},   {u"12345", std::nullopt},
      {u"1234567", std::nullopt}, {u"GG0000", std::nullopt}, {u"##FF0000", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseColourText(c.text), c.rgb);
  }
  UninstallSettings s = ReadUninstallSettings(
      Key({{u"BannerFG", u"#102030"}, {u"ButtonBG", u"A0B0C0"}, {u"CopyrightColor", u"nonsense"}}), u"A");
  EXPECT_EQ(s.BannerFG, 0x302010u);
  EXPECT_EQ(s.ButtonBG, 0xC0B0A0u);
  EXPECT_EQ(s.CopyrightColor, 0xFFFFFFFFu);
}

TEST(UninstallSettings, DialogColoursAreDroppedWhenTheyDoNotParse) {
  // Bit 4 asks for the dialog colours; both must parse.
  UninstallSettings good =
      ReadUninstallSettings(Key({{u"ProductFlags", u"16"}, {u"DialogBG", u"#FFFFFF"}, {u"DialogFG", u"000000"}}), u"A");
  EXPECT_EQ(good.ProductFlags, 16u);
  EXPECT_EQ(good.DialogBG, 0xFFFFFFu);
  EXPECT_EQ(good.DialogFG, 0u);
  UninstallSettings bad =
      ReadUninstallSettings(Key({{u"ProductFlags", u"17"}, {u"DialogBG", u"white"}, {u"DialogFG", u"000000"}}), u"A");
  EXPECT_EQ(bad.ProductFlags, 1u);
}

TEST(UninstallSettings, DecimalTexts) {
  EXPECT_EQ(ParseDecimal(u" 42 "), 42);
  EXPECT_EQ(ParseDecimal(u"-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(ParseDecimal(u"9223372036854775807"), INT64_MAX);
  EXPECT_EQ(ParseDecimal(u"9223372036854775808"), std::nullopt);
  EXPECT_EQ(ParseDecimal(u""), std::nullopt);
  EXPECT_EQ(ParseDecimal(u"-"), std::nullopt);
  EXPECT_EQ(ParseDecimal(u"12a"), std::nullopt);
  // A flag word that does not parse stays 0 rather than turning into some other bits.
  EXPECT_EQ(ReadUninstallSettings(Key({{u"ProductFlags", u"0x400"}}), u"A").ProductFlags, 0u);
}
