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

// Each setting comes from its own item: every item gets a value no other item has, so a setting
// wired to a neighbouring item shows.
TEST(ProductSettings, EachSettingComesFromItsItem) {
  SetupScript s = halberd::format::MinimalSetupScript(u"App");
  s.DisplayVersion = u"1.2.3";
  s.Publisher = u"Vendor";
  s.product_description = u"Description";
  s.UninstallSubdir = u"uninst";
  s.SharedPath = u"Shared";
  s.portable_shared_subfolder = u"Portable";
  s.ProductStartMenu = u"Menu";
  s.ProductRegistry = u"Vendor\\App";
  s.DesktopFolder = u"Desk";
  s.AddToPathSubfolder = u"bin";
  s.uninstall_key_name = u"Key";
  s.uninstaller_file_name = u"uninstall.exe";
  s.ShortcutMode = 1;
  s.Bitness = 2;
  s.UninstallFonts = 3;
  s.UninstallShared = 4;
  s.NoDowngradeBelow = u"0.9";
  s.addresses.new_install_notify_url = u"https://example.com/new";
  s.addresses.NotifyURL = u"https://example.com/uninstalled";
  s.addresses.cancel_notify_url = u"https://example.com/cancel";
  s.SupportOffer = u"Support";
  s.TaskbarText = u"Taskbar";
  s.DisplayTitle = u"Title";
  s.TitleSize = 1.5;
  s.DialogFont = u"Dialog font";
  s.DialogZoom = 125;
  s.BannerFG = 0x010203;
  s.TitleColor = 0x040506;
  s.TitleShadow = 7;
  s.TitlePosition = 8;
  s.TitleFont = u"Title font";
  s.TopColor = 0x0A0B0C;
  s.BottomColor = 0x0D0E0F;
  s.BitmapSize = 90;
  s.background_picture = "BM";
  s.BitmapTPI = 11;
  s.StretchMode = 12;
  s.CopyrightPos = 13;
  s.CopyrightColor = 0x141516;
  s.CopyrightSize = 0.5;
  s.CopyrightText = u"(c)";
  s.CopyrightFont = u"Copyright font";
  s.DialogBG = 0x171819;
  s.DialogFG = 0x1A1B1C;
  s.ButtonBG = 0x1D1E1F;
  s.ButtonFG = 0x202122;
  s.ButtonBorder = 0x232425;
  s.settings.ProgressStyle = 3;
  s.settings.summary_style = 4;
  s.dialog_caption = u"<product> Setup";

  const ProductSettings p = SettingsFromScript(s, u"", 0x1234567890ABCDEF);
  EXPECT_EQ(p.DisplayName, u"App");
  EXPECT_EQ(p.DisplayVersion, u"1.2.3");
  EXPECT_EQ(p.Publisher, u"Vendor");
  EXPECT_EQ(p.product_description, u"Description");
  EXPECT_EQ(p.UninstallSubdir, u"uninst");
  EXPECT_EQ(p.SharedPath, u"Shared");
  EXPECT_EQ(p.ProductStartMenu, u"Menu");
  EXPECT_EQ(p.ProductRegistry, u"Vendor\\App");
  EXPECT_EQ(p.DesktopFolder, u"Desk");
  EXPECT_EQ(p.AddToPathSubfolder, u"bin");
  EXPECT_EQ(p.uninstall_key_name, u"Key");
  EXPECT_EQ(p.uninstaller_file_name, u"uninstall.exe");
  EXPECT_EQ(p.ShortcutMode, 1);
  EXPECT_EQ(p.Bitness, 2);
  EXPECT_EQ(p.UninstallFonts, 3);
  EXPECT_EQ(p.UninstallShared, 4);
  EXPECT_EQ(p.NoDowngradeBelow, u"0.9");
  EXPECT_EQ(p.NotifyURL, u"https://example.com/uninstalled");
  EXPECT_EQ(p.SupportOffer, u"Support");
  EXPECT_EQ(p.Session, 0x1234567890ABCDEFu);
  EXPECT_EQ(p.TaskbarText, u"Taskbar");
  EXPECT_EQ(p.DisplayTitle, u"Title");
  EXPECT_EQ(p.TitleSize, 1.5);
  EXPECT_EQ(p.DialogFont, u"Dialog font");
  EXPECT_EQ(p.DialogZoom, 125u);
  EXPECT_EQ(p.BannerFG, 0x010203u);
  EXPECT_EQ(p.TitleColor, 0x040506u);
  EXPECT_EQ(p.TitleShadow, 7);
  EXPECT_EQ(p.TitlePosition, 8);
  EXPECT_EQ(p.TitleFont, u"Title font");
  EXPECT_EQ(p.TopColor, 0x0A0B0Cu);
  EXPECT_EQ(p.BottomColor, 0x0D0E0Fu);
  EXPECT_FALSE(p.MonoColor);
  EXPECT_EQ(p.BitmapSize, 90u);
  EXPECT_EQ(p.BitmapTPI, 11);
  EXPECT_EQ(p.StretchMode, 12u);
  EXPECT_EQ(p.CopyrightPos, 13);
  EXPECT_EQ(p.CopyrightColor, 0x141516u);
  EXPECT_EQ(p.CopyrightSize, 0.5);
  EXPECT_EQ(p.CopyrightText, u"(c)");
  EXPECT_EQ(p.CopyrightFont, u"Copyright font");
  EXPECT_EQ(p.DialogBG, 0x171819u);
  EXPECT_EQ(p.DialogFG, 0x1A1B1Cu);
  EXPECT_EQ(p.ButtonBG, 0x1D1E1Fu);
  EXPECT_EQ(p.ButtonFG, 0x202122u);
  EXPECT_EQ(p.ButtonBorder, 0x232425u);
  EXPECT_EQ(p.ProgressStyle, 3);
  // Before the language table is loaded the caption is the script's, tokens and all.
  EXPECT_EQ(p.dialog_caption, u"<product> Setup");

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
