// The shortcut plan: entries from the script, from file extraction and from the product flags,
// their preparation, the places their links go to by ShortcutMode, what is recorded, and the
// root shortcut and taskbar pin rules.
#include "integration/shortcut_plan.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "foundation/format/product_flags.h"
#include "foundation/text_convert.h"

using namespace halberd;
using namespace halberd::integration;

namespace {

std::u16string U(const char* s) { return Utf8ToUtf16(s); }
std::string N(std::u16string_view s) { return Utf16ToUtf8(s); }

ShortcutRun SampleRun() {
  ShortcutRun r;
  r.install_folder = u"C:\\Program Files\\Acme";
  r.uninstall_folder = u"C:\\Program Files\\Acme\\uninstall";
  r.uninstaller_path = u"C:\\Program Files\\Acme\\uninstall\\uninstall.exe";
  r.uninstall_key_name = u"Acme Draw";
  r.uninstall_name = u"Uninstall Acme Draw";
  r.log_shortcut_name = u"Installation log";
  r.unnamed_format = u"%s";
  return r;
}

// Path variables: %InstallDir% and %AppDataDir% only; folders that exist: the install folder and
// C:\Work.
PrepareTools SampleTools() {
  return PrepareTools{
      [](std::u16string_view text) {
        std::u16string t(text);
        for (auto [from, to] : {std::pair<std::u16string, std::u16string>{u"%InstallDir%", u"C:\\Program Files\\Acme"},
                                {u"%AppDataDir%", u"C:\\Users\\ann\\AppData\\Roaming"}}) {
          for (size_t at; (at = t.find(from)) != std::u16string::npos;) t.replace(at, from.size(), to);
        }
        return t;
      },
      [](const std::u16string& folder) {
        static const std::set<std::u16string> existing = {u"C:\\Program Files\\Acme", u"C:\\Work", u"D:"};
        return existing.count(folder) > 0;
      },
  };
}

ShellFolders SampleFolders() {
  ShellFolders f;
  f.desktop = u"C:\\Users\\ann\\Desktop";
  f.all_users_desktop = u"C:\\Users\\Public\\Desktop";
  f.programs = u"C:\\Users\\ann\\Start Menu\\Programs";
  f.all_users_programs = u"C:\\ProgramData\\Start Menu\\Programs";
  f.startup = u"C:\\Users\\ann\\Start Menu\\Programs\\Startup";
  f.all_users_startup = u"C:\\ProgramData\\Start Menu\\Programs\\Startup";
  return f;
}

}  // namespace

TEST(ShortcutPlan, ScriptEntriesKeepTheirFieldsByPosition) {
  format::RegistrationEntry r;
  r.texts = {u"%InstallDir%\\draw.exe", u"Acme Draw", u"draw.ico", u"/new", u"C:\\Work"};
  r.options = {1, 0, 1};
  r.extra_text = u"%AppDataDir%\\Acme";
  r.flags = {uint8_t(1 | 4), 2};
  ShortcutEntry e = EntryFromScript(r);
  EXPECT_EQ(e.target, u"%InstallDir%\\draw.exe");
  EXPECT_EQ(e.name, u"Acme Draw");
  EXPECT_EQ(e.icon, u"draw.ico");
  EXPECT_EQ(e.arguments, u"/new");
  EXPECT_EQ(e.start_in, u"C:\\Work");
  EXPECT_TRUE(e.desktop);
  EXPECT_FALSE(e.start_menu);
  EXPECT_TRUE(e.startup);
  EXPECT_EQ(e.extra_folder, u"%AppDataDir%\\Acme");
  EXPECT_TRUE(e.keep_at_uninstall);
  EXPECT_FALSE(e.expand_target);
  EXPECT_TRUE(e.portable);
  EXPECT_EQ(e.show_command, kShowMaximized);

  r.flags = {2, 1};
  e = EntryFromScript(r);
  EXPECT_FALSE(e.keep_at_uninstall);
  EXPECT_TRUE(e.expand_target);
  EXPECT_FALSE(e.portable);
  EXPECT_EQ(e.show_command, kShowMinimizedNoFocus);
}

TEST(ShortcutPlan, ProductFlagsAddUninstallerAndLogShortcuts) {
  struct Case {
    const char* what;
    uint64_t flags;
    uint32_t flags2;
    std::vector<std::string> places;  // "desktop", "menu", "folder:<folder>"
  };
  using namespace format;
  const Case cases[] = {
      {"no uninstaller: the uninstaller flags do nothing",
       kFlagUninstallShortcutInStartMenu | kFlagUninstallShortcutOnDesktop, kFlags2UninstallShortcutInInstallFolder, {}},
      {"Start menu", kFlagUninstaller | kFlagUninstallShortcutInStartMenu, 0, {"menu"}},
      {"desktop", kFlagUninstaller | kFlagUninstallShortcutOnDesktop, 0, {"desktop"}},
      {"uninstall folder", kFlagUninstaller | kFlagUninstallShortcutInUninstallFolder, 0,
       {"folder:C:\\Program Files\\Acme\\uninstall"}},
      {"installation folder", kFlagUninstaller, kFlags2UninstallShortcutInInstallFolder,
       {"folder:C:\\Program Files\\Acme"}},
      {"all four", kFlagUninstaller | kFlagUninstallShortcutInStartMenu | kFlagUninstallShortcutOnDesktop |
                       kFlagUninstallShortcutInUninstallFolder,
       kFlags2UninstallShortcutInInstallFolder,
       {"menu", "desktop", "folder:C:\\Program Files\\Acme\\uninstall", "folder:C:\\Program Files\\Acme"}},
      {"log", kFlagLogShortcutInStartMenu, 0, {"log"}},
  };
  for (const Case& c : cases) {
    ShortcutRun run = SampleRun();
    run.ProductFlags = c.flags;
    run.ProductFlags2 = c.flags2;
    std::vector<std::string> places;
    for (const ShortcutEntry& e : AddedShortcuts(run)) {
      if (e.target == u"C:\\Program Files\\Acme\\uninstall\\Install.log") {
        EXPECT_EQ(e.name, u"Installation log");
        EXPECT_TRUE(e.start_menu);
        places.push_back("log");
        continue;
      }
      EXPECT_EQ(e.target, run.uninstaller_path) << c.what;
      EXPECT_EQ(N(e.arguments), "/u:\"Acme Draw\"") << c.what;
      EXPECT_EQ(e.name, u"Uninstall Acme Draw") << c.what;
      EXPECT_TRUE(e.icon.empty()) << c.what;  // no uninstaller icon in this product
      if (e.start_menu) places.push_back("menu");
      if (e.desktop) places.push_back("desktop");
      if (!e.extra_folder.empty()) places.push_back("folder:" + N(e.extra_folder));
    }
    EXPECT_EQ(places, c.places) << c.what;
  }
  ShortcutRun run = SampleRun();
  run.ProductFlags = format::kFlagUninstaller | format::kFlagUninstallShortcutInStartMenu;
  run.has_uninstaller_icon = true;
  EXPECT_EQ(AddedShortcuts(run).at(0).icon, u"C:\\Program Files\\Acme\\uninstall\\uninstall.ico");
}

TEST(ShortcutPlan, PortableInstallationsLimitedToPortableEntries) {
  ShortcutEntry plain, portable;
  portable.portable = true;
  struct Case {
    bool limit, is_portable, plain_made, portable_made;
  };
  const Case cases[] = {
      {false, false, true, true}, {false, true, true, true}, {true, false, true, true}, {true, true, false, true}};
  for (const Case& c : cases) {
    ShortcutRun run = SampleRun();
    run.ProductFlags2 = c.limit ? format::kFlags2NoStartMenuPageOnRemovable : 0;
    run.portable = c.is_portable;
    EXPECT_EQ(EntryWanted(plain, run), c.plain_made) << c.limit << c.is_portable;
    EXPECT_EQ(EntryWanted(portable, run), c.portable_made) << c.limit << c.is_portable;
  }
}

TEST(ShortcutPlan, PreparationOfAnEntry) {
  struct Case {
    const char* what;
    ShortcutEntry entry;
    uint8_t mode;
    PreparedShortcut expected;
  };
  auto entry = [](const char* target, const char* name, const char* icon, const char* args, const char* start,
                  bool expand, int show) {
    ShortcutEntry e;
    e.target = U(target);
    e.name = U(name);
    e.icon = U(icon);
    e.arguments = U(args);
    e.start_in = U(start);
    e.expand_target = expand;
    e.show_command = show;
    return e;
  };
  auto prepared = [](const char* target, const char* args, const char* icon, const char* start, const char* name,
                     uint32_t flags, const char* missing) {
    return PreparedShortcut{U(target), U(args), U(icon), U(start), U(name), flags, U(missing)};
  };
  const Case cases[] = {
      {"expanded target, relative icon, existing start-in",
       entry("%InstallDir%\\draw.exe", "Acme Draw", "icons\\draw.ico", "/new", "C:\\Work", true, kShowNormal), 0,
       prepared("C:\\Program Files\\Acme\\draw.exe", "/new", "C:\\Program Files\\Acme\\uninstall\\icons\\draw.ico",
                "C:\\Work", "Acme Draw", 0, "")},
      {"target not expanded when the entry does not ask",
       entry("%InstallDir%\\draw.exe", "Draw", "", "", "", false, kShowNormal), 0,
       prepared("C:\\Program Files\\Acme\\%InstallDir%\\draw.exe", "", "", "C:\\Program Files\\Acme", "Draw", 0, "")},
      {"relative target, empty name takes the file name, all users, minimised",
       entry("bin\\tool.exe", "  ", "", "", "", false, kShowMinimizedNoFocus), 1,
       prepared("C:\\Program Files\\Acme\\bin\\tool.exe", "", "", "C:\\Program Files\\Acme", "tool.exe",
                kLinkAllUsers | kLinkMinimized, "")},
      {"missing start-in folder is replaced by the installation folder",
       entry("C:\\x.exe", "X", "", "", " C:\\Nowhere ", false, kShowMaximized), 0,
       prepared("C:\\x.exe", "", "", "C:\\Program Files\\Acme", "X", kLinkMaximized, "C:\\Nowhere")},
      {"a bare drive as start-in gets its backslash",
       entry("C:\\x.exe", "X", "", "", "D:", false, kShowNormal), 0,
       prepared("C:\\x.exe", "", "", "D:\\", "X", 0, "")},
      {"a whole command line in the arguments",
       entry("ignored.exe", "Viewer", "C:\\v.ico", "~\"%InstallDir%\\view er.exe\"  --file a.txt", "", true, kShowNormal),
       0,
       prepared("C:\\Program Files\\Acme\\view er.exe", "--file a.txt", "C:\\v.ico", "C:\\Program Files\\Acme",
                "Viewer", 0, "")},
      {"a name that would climb out of its folder stays inside",
       entry("C:\\x.exe", "..\\..\\Windows\\evil", "", "", "", false, kShowNormal), 0,
       prepared("C:\\x.exe", "", "", "C:\\Program Files\\Acme", "Windows\\evil", 0, "")},
  };
  for (const Case& c : cases) {
    ShortcutRun run = SampleRun();
    run.ShortcutMode = c.mode;
    PreparedShortcut p = PrepareShortcut(c.entry, run, SampleTools());
    EXPECT_EQ(N(p.target), N(c.expected.target)) << c.what;
    EXPECT_EQ(N(p.arguments), N(c.expected.arguments)) << c.what;
    EXPECT_EQ(N(p.icon), N(c.expected.icon)) << c.what;
    EXPECT_EQ(N(p.start_in), N(c.expected.start_in)) << c.what;
    EXPECT_EQ(N(p.name), N(c.expected.name)) << c.what;
    EXPECT_EQ(p.link_flags, c.expected.link_flags) << c.what;
    EXPECT_EQ(N(p.missing_start_in), N(c.expected.missing_start_in)) << c.what;
  }
  EXPECT_EQ(N(MissingStartInLine(u"C:\\Nowhere")), "Shortcut \"Start In\" folder \"C:\\Nowhere\" doesn't exist.\r\n");
}

TEST(ShortcutPlan, UnnamedShortcutsUseTheLanguageText) {
  ShortcutRun run = SampleRun();
  run.unnamed_format = u"Start %s";
  ShortcutEntry e;
  e.target = u"C:\\Tools\\calc.exe";
  EXPECT_EQ(PrepareShortcut(e, run, SampleTools()).name, u"Start calc.exe");
  run.unnamed_format = u"";  // a language without the text
  EXPECT_EQ(PrepareShortcut(e, run, SampleTools()).name, u"calc.exe");
}

TEST(ShortcutPlan, FoldersFollowShortcutMode) {
  ShortcutTargets user = TargetsOf(SampleFolders(), 0, u"", u"Acme");
  EXPECT_EQ(N(user.desktop), "C:\\Users\\ann\\Desktop");
  EXPECT_EQ(N(user.desktop_folder), "");
  EXPECT_EQ(N(user.start_menu), "C:\\Users\\ann\\Start Menu\\Programs\\Acme");
  EXPECT_EQ(N(user.startup), "C:\\Users\\ann\\Start Menu\\Programs\\Startup");

  ShortcutTargets all = TargetsOf(SampleFolders(), 1, u"Acme Tools", u"Acme\\Draw");
  EXPECT_EQ(N(all.desktop), "C:\\Users\\Public\\Desktop");
  EXPECT_EQ(N(all.desktop_folder), "C:\\Users\\Public\\Desktop\\Acme Tools");
  EXPECT_EQ(N(all.start_menu), "C:\\ProgramData\\Start Menu\\Programs\\Acme\\Draw");
  EXPECT_EQ(N(all.startup), "C:\\ProgramData\\Start Menu\\Programs\\Startup");

  // Any mode other than 1 is the user's.
  EXPECT_EQ(TargetsOf(SampleFolders(), 2, u"", u"Acme").desktop, user.desktop);
}

TEST(ShortcutPlan, LinksOfAnEntryAndWhatIsRecorded) {
  struct Case {
    const char* what;
    bool desktop, start_menu, startup;
    const char* extra;
    const char* name;
    bool keep;
    const char* desktop_folder_name;
    std::vector<std::string> links;  // "<place>|<path>|<folder>"
  };
  const Case cases[] = {
      {"desktop only", true, false, false, "", "Draw", false, "",
       {"desktop|C:\\Users\\ann\\Desktop\\Draw.lnk|C:\\Users\\ann\\Desktop"}},
      {"desktop folder", true, false, false, "", "Draw", false, "Acme",
       {"desktop-folder|C:\\Users\\ann\\Desktop\\Acme\\Draw.lnk|C:\\Users\\ann\\Desktop\\Acme"}},
      {"Start menu with a sub-folder", false, true, false, "", "Tools\\App", false, "",
       {"menu|C:\\Users\\ann\\Start Menu\\Programs\\Acme\\Tools\\App.lnk|C:\\Users\\ann\\Start Menu\\Programs\\Acme\\Tools"}},
      {"everywhere, in order", true, true, true, "C:\\Users\\ann\\AppData\\Roaming\\Acme\\", "Draw", false, "",
       {"desktop|C:\\Users\\ann\\Desktop\\Draw.lnk|C:\\Users\\ann\\Desktop",
        "menu|C:\\Users\\ann\\Start Menu\\Programs\\Acme\\Draw.lnk|C:\\Users\\ann\\Start Menu\\Programs\\Acme",
        "startup|C:\\Users\\ann\\Start Menu\\Programs\\Startup\\Draw.lnk|C:\\Users\\ann\\Start Menu\\Programs\\Startup",
        "extra|C:\\Users\\ann\\AppData\\Roaming\\Acme\\Draw.lnk|C:\\Users\\ann\\AppData\\Roaming\\Acme"}},
      {"nowhere", false, false, false, "  ", "Draw", false, "", {}},
  };
  for (const Case& c : cases) {
    for (bool keep : {false, true}) {
      ShortcutEntry e;
      e.desktop = c.desktop;
      e.start_menu = c.start_menu;
      e.startup = c.startup;
      e.keep_at_uninstall = keep;
      PreparedShortcut p;
      p.name = U(c.name);
      ShortcutTargets t = TargetsOf(SampleFolders(), 0, U(c.desktop_folder_name), u"Acme");
      std::vector<std::string> links;
      for (const ShortcutLink& l : LinksOf(e, p, t, U(c.extra))) {
        static const char* kPlaces[] = {"desktop", "desktop-folder", "menu", "startup", "extra"};
        links.push_back(std::string(kPlaces[int(l.place)]) + "|" + N(l.path) + "|" + N(l.folder));
        EXPECT_EQ(l.record, !keep) << c.what;  // kept shortcuts are never recorded
      }
      EXPECT_EQ(links, c.links) << c.what;
    }
  }
}

TEST(ShortcutPlan, LogLines) {
  EXPECT_EQ(N(LinkLogLine(ShortcutPlace::kDesktop, u"Draw", u"C:\\D\\Draw.lnk")),
            "Desktop Shortcut(Draw) >>> C:\\D\\Draw.lnk\r\n");
  EXPECT_EQ(N(LinkLogLine(ShortcutPlace::kDesktopFolder, u"Draw", u"P")), "Desktop Folder Shortcut(Draw) >>> P\r\n");
  EXPECT_EQ(N(LinkLogLine(ShortcutPlace::kStartMenu, u"Draw", u"P")), "Start Menu Shortcut(Draw) >>> P\r\n");
  EXPECT_EQ(N(LinkLogLine(ShortcutPlace::kStartup, u"Draw", u"P")), "Startup Shortcut(Draw) >>> P\r\n");
  EXPECT_EQ(N(LinkLogLine(ShortcutPlace::kExtraFolder, u"Draw", u"P")), "Shortcut(Draw) >>> P\r\n");
}

TEST(ShortcutPlan, CommandLinesSplitIntoProgramAndArguments) {
  struct Case {
    const char* command;
    const char* program;
    const char* arguments;
  };
  const Case cases[] = {
      {"\"C:\\Program Files\\Acme\\draw.exe\" /portable", "C:\\Program Files\\Acme\\draw.exe", "/portable"},
      {"C:\\draw.exe /a /b", "C:\\draw.exe", "/a /b"},
      {"  \"C:\\a b.exe\"", "C:\\a b.exe", ""},
      {"C:\\draw.exe", "C:\\draw.exe", ""},
      {"\"C:\\unclosed.exe /x", "C:\\unclosed.exe /x", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SplitCommand s = SplitCommandLine(U(c.command));
    EXPECT_EQ(N(s.program), c.program) << c.command;
    EXPECT_EQ(N(s.arguments), c.arguments) << c.command;
  }
}

TEST(ShortcutPlan, RootShortcutOnTheInstallationDrive) {
  EXPECT_EQ(RootShortcutPath(u"E:\\Apps\\Acme", u"Run Acme"), std::optional<std::u16string>(u"E:\\Run Acme.lnk"));
  EXPECT_EQ(RootShortcutPath(u"f:", u" Acme "), std::optional<std::u16string>(u"f:\\Acme.lnk"));
  EXPECT_FALSE(RootShortcutPath(u"\\\\server\\share\\Acme", u"Acme").has_value());
  EXPECT_FALSE(RootShortcutPath(u"E:\\Acme", u"").has_value());
  EXPECT_FALSE(RootShortcutPath(u"E:\\Acme", u"Sub\\Acme").has_value());
}

TEST(ShortcutPlan, TaskbarPinOnlyOnWindows7To81) {
  struct Case {
    uint32_t major, minor;
    bool pin;
  };
  const Case cases[] = {{5, 1, false}, {6, 0, false}, {6, 1, true}, {6, 2, true},
                        {6, 3, true},  {6, 4, false}, {10, 0, false}};
  for (const Case& c : cases) EXPECT_EQ(PinSupported(c.major, c.minor), c.pin) << c.major << "." << c.minor;

  const std::u16string pinned = PinnedCopyPath(u"C:\\Users\\ann\\AppData\\Roaming", u"Acme Draw");
  EXPECT_EQ(N(pinned),
            "C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\Acme "
            "Draw.lnk");
  EXPECT_TRUE(IsPinnedShortcut(pinned));
  EXPECT_TRUE(IsPinnedShortcut(u"c:\\x\\USER PINNED\\TaskBar\\a.lnk"));
  EXPECT_FALSE(IsPinnedShortcut(u"C:\\Users\\ann\\Desktop\\User Pinned.lnk"));
  EXPECT_FALSE(IsPinnedShortcut(u"C:\\Program Files\\Acme\\draw.exe"));
}

TEST(ShortcutPlan, LinkNamesStayInsideTheirFolder) {
  struct Case {
    const char* name;
    const char* safe;
  };
  const Case cases[] = {
      {"Acme Draw", "Acme Draw"},
      {"Tools\\App", "Tools\\App"},
      {"Tools/App", "Tools\\App"},
      {"..\\..\\x", "x"},
      {"a\\.\\b", "a\\b"},
      {"\\lead\\trail\\", "lead\\trail"},
      {"C:\\Windows\\x", "C_\\Windows\\x"},
      {"What? <now>|\"", "What_ _now___"},
      {"dots...", "dots"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(N(SafeLinkName(U(c.name))), c.safe) << c.name;
}

TEST(ShortcutPlan, DesktopIniTurnsUnicodeForAccentedIconPaths) {
  EXPECT_FALSE(NeedsUnicodeDesktopIni(u"C:\\Acme\\Desktop Icon.ico"));
  EXPECT_TRUE(NeedsUnicodeDesktopIni(u"C:\\Caf\u00e9\\Desktop Icon.ico"));
  EXPECT_TRUE(NeedsUnicodeDesktopIni(u"C:\\\u0080"));
}
