// The product settings: the defaults that follow from the display name, the /n: name taking its
// place, each setting taken from its own item of the script, and the hook that fills the
// process-wide record after the script is read.
#include "engine/product_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/run_state.h"
#include "engine/setup_script_state.h"
#include "foundation/format/product_flags.h"
#include "tests/native/setup_script_fixture.h"

using namespace halberd::engine;
using halberd::format::SetupScript;

namespace {

// A script whose texts the derived defaults may replace are all empty: the cases fill in what
// they need.
SetupScript Script(const std::u16string& name) {
  SetupScript s;
  s.DisplayName = name;
  return s;
}

}  // namespace

TEST(ProductSettings, DefaultsFollowTheDisplayName) {
  struct Case {
    const char* name;
    std::function<void(SetupScript&)> script;
    std::u16string name_override;
    std::function<std::u16string(const ProductSettings&)> setting;
    std::u16string expected;
  };
  auto description = [](const ProductSettings& p) { return p.product_description; };
  auto shared = [](const ProductSettings& p) { return p.SharedPath; };
  auto start_menu = [](const ProductSettings& p) { return p.ProductStartMenu; };
  auto key = [](const ProductSettings& p) { return p.uninstall_key_name; };
  auto desktop = [](const ProductSettings& p) { return p.DesktopFolder; };
  auto display = [](const ProductSettings& p) { return p.DisplayName; };
  auto nothing = [](SetupScript&) {};
  auto desktop_bit = [](SetupScript& s) { s.ProductFlags |= halberd::format::kFlagDesktopFolderDefault; };
  const Case cases[] = {
      {"display name from the script", nothing, u"", display, u"App"},
      {"display name from /n:", nothing, u"Other", display, u"Other"},
      {"description empty", nothing, u"", description, u"App"},
      {"description given", [](SetupScript& s) { s.product_description = u"Tool"; }, u"", description, u"Tool"},
      {"description empty, /n:", nothing, u"Other", description, u"Other"},
      {"shared path: the publisher", [](SetupScript& s) { s.Publisher = u"Vendor"; }, u"", shared, u"Vendor"},
      {"shared path: no publisher", nothing, u"", shared, u"App"},
      {"shared path: no publisher, /n:", nothing, u"Other", shared, u"Other"},
      {"shared path given",
       [](SetupScript& s) { s.Publisher = u"Vendor"; s.SharedPath = u"Common"; }, u"", shared, u"Common"},
      {"start menu empty", nothing, u"", start_menu, u"App"},
      {"start menu empty, /n:", nothing, u"Other", start_menu, u"Other"},
      {"start menu given", [](SetupScript& s) { s.ProductStartMenu = u"Vendor\\App"; }, u"", start_menu, u"Vendor\\App"},
      {"uninstall key empty", nothing, u"", key, u"App"},
      {"uninstall key empty, /n:", nothing, u"Other", key, u"Other"},
      {"uninstall key given", [](SetupScript& s) { s.uninstall_key_name = u"{GUID}"; }, u"Other", key, u"{GUID}"},
      {"desktop folder empty without bit 58", nothing, u"", desktop, u""},
      {"desktop folder empty with bit 58", desktop_bit, u"", desktop, u"App"},
      {"desktop folder empty with bit 58, /n:", desktop_bit, u"Other", desktop, u"Other"},
      {"desktop folder given with bit 58",
       [&](SetupScript& s) { desktop_bit(s); s.DesktopFolder = u"Tools"; }, u"", desktop, u"Tools"},
      {"desktop folder given without bit 58", [](SetupScript& s) { s.DesktopFolder = u"Tools"; }, u"", desktop,
       u"Tools"},
  };
  for (const Case& c : cases) {
    SetupScript s = Script(u"App");
    c.script(s);
    EXPECT_EQ(c.setting(SettingsFromScript(s, c.name_override, 0)), c.expected) << c.name;
  }
}

// The settings of an installer whose script was laid out by hand from the item table: each
// setting shows the value its own item holds in those bytes (a setting taken from a neighbouring
// item, or an item read in the wrong place, shows a value of the wrong item).
TEST(ProductSettings, SettingsOfAHandWrittenScript) {
  const halberd::format::Bytes bytes = halberd::test::HandWrittenScript();
  halberd::format::ByteReader in(bytes);
  SetupScript s;
  ASSERT_EQ(halberd::format::ReadScriptHead(in, false, s), 0);
  ASSERT_EQ(halberd::format::ReadScriptBody(in, s), 0);

  const ProductSettings p = SettingsFromScript(s, u"", 0x1234567890ABCDEF);
  struct Text { const char* item; std::u16string got; std::u16string expected; };
  const Text texts[] = {
      {"3 taskbar text", p.TaskbarText, u"Bar"},
      {"4 display title", p.DisplayTitle, u"Title"},
      {"10 publisher", p.Publisher, u"Vendor"},
      {"11 display name", p.DisplayName, u"App"},
      {"12 description", p.product_description, std::u16string(150, u'd')},
      {"15 shared path", p.SharedPath, u"Shared"},
      {"17 Start menu", p.ProductStartMenu, u"Menu"},
      {"18 display version", p.DisplayVersion, u"1.2.3"},
      {"20 product registry", p.ProductRegistry, u"Vendor\\App"},
      {"31 uninstall subfolder", p.UninstallSubdir, u"uninst"},
      {"32 uninstaller file name", p.uninstaller_file_name, u"uninstall.exe"},
      {"33 uninstall key name", p.uninstall_key_name, u"AppKey"},
      {"35 dialog font", p.DialogFont, u"Tahoma"},
      {"37 dialog caption", p.dialog_caption, u"<product> Setup"},
      {"43 title font", p.TitleFont, u"Serif"},
      {"47 copyright text", p.CopyrightText, u"(c) Vendor"},
      {"47 copyright font", p.CopyrightFont, u"Arial"},
      {"54 desktop folder", p.DesktopFolder, u"Desk"},
      {"60 NotifyURL", p.NotifyURL, u"https://example.com/u"},
      {"62 no downgrade below", p.NoDowngradeBelow, u"0.9"},
      {"66 PATH subfolder", p.AddToPathSubfolder, u"bin"},
      {"74 support offer", p.SupportOffer, u"Help"},
  };
  for (const Text& t : texts) EXPECT_EQ(t.got, t.expected) << "item " << t.item;
  struct Number { const char* item; double got; double expected; };
  const Number numbers[] = {
      {"5 title size", p.TitleSize, 1.5},
      {"8 shortcut mode", double(p.ShortcutMode), 1},
      {"13 bitness", double(p.Bitness), 2},
      {"24 bitmap size", double(p.BitmapSize), 40},
      {"25 stretch mode", double(p.StretchMode), 1},
      {"26 uninstall fonts", double(p.UninstallFonts), -1},
      {"27 uninstall shared", double(p.UninstallShared), 2},
      {"36 dialog zoom", double(p.DialogZoom), 125},
      {"38 banner colour", double(p.BannerFG), 0x010203},
      {"40 title colour", double(p.TitleColor), 0x040506},
      {"41 title shadow", double(p.TitleShadow), 0},
      {"42 title position", double(p.TitlePosition), 1},
      {"44 top colour", double(p.TopColor), 0x070809},
      {"45 bottom colour", double(p.BottomColor), 0x0A0B0C},
      {"46 transparent index", double(p.BitmapTPI), 5},
      {"47 copyright position", double(p.CopyrightPos), 2},
      {"47 copyright colour", double(p.CopyrightColor), 0x0D0E0F},
      {"47 copyright size", p.CopyrightSize, 0.75},
      {"48 dialog background", double(p.DialogBG), 0x101112},
      {"48 dialog text", double(p.DialogFG), 0x131415},
      {"49 button background (absent)", double(p.ButtonBG), double(halberd::format::kColourUnset)},
      {"67 progress style", double(p.ProgressStyle), 2},
  };
  for (const Number& n : numbers) EXPECT_EQ(n.got, n.expected) << "item " << n.item;
  EXPECT_FALSE(p.MonoColor);
  EXPECT_EQ(p.Session, 0x1234567890ABCDEFu);

  s.BottomColor = s.TopColor;
  EXPECT_TRUE(SettingsFromScript(s, u"", 0).MonoColor);
}

// The uninstaller is written by this name into the uninstall folder: only a plain file name is
// taken, anything else gives the default.
TEST(ProductSettings, UninstallerFileNameIsAPlainFileName) {
  struct Case {
    std::u16string script_name;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"remove.exe", u"remove.exe"},
      {u"", u"uninstall.exe"},
      {u"..\\..\\Windows\\evil.exe", u"uninstall.exe"},
      {u"C:\\evil.exe", u"uninstall.exe"},
      {u"sub/evil.exe", u"uninstall.exe"},
  };
  for (const Case& c : cases) {
    SetupScript s = halberd::format::MinimalSetupScript(u"App");
    s.uninstaller_file_name = c.script_name;
    EXPECT_EQ(SettingsFromScript(s, u"", 0).uninstaller_file_name, c.expected);
  }
}

// The hook after reading: the /n: name wins over the script's, the run keeps the name that
// counts, and the process-wide record holds the derived values.
TEST(ProductSettings, ApplyingTheScriptFillsTheRunAndTheRecord) {
  struct Case {
    std::wstring command_line_name;
    std::u16string expected;
  };
  const Case cases[] = {{L"", u"App"}, {L"Renamed", u"Renamed"}};
  for (const Case& c : cases) {
    RunState& run = halberd::engine::Run();
    RunState saved = run;
    run.display_name = c.command_line_name;
    run.session = 77;
    SetupScript s = halberd::format::MinimalSetupScript(u"App");
    s.Publisher = u"";
    ApplyScriptToRun(s);
    EXPECT_EQ(run.display_name, std::wstring(c.expected.begin(), c.expected.end()));
    EXPECT_EQ(Settings().DisplayName, c.expected);
    EXPECT_EQ(Settings().SharedPath, c.expected);
    EXPECT_EQ(Settings().uninstall_key_name, c.expected);
    EXPECT_EQ(Settings().Session, 77u);
    run = saved;
    Settings() = ProductSettings{};
  }
}
