// Path variables on made-up inputs: the replace-all primitive, the order and match modes of the
// 60 replacements, the values made from the run state, the environment pass with its limit, the
// version texts, the operating-system codes and names, and the notification URL.
#include "variables/path_variables.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "foundation/text_convert.h"
#include "foundation/version_compare.h"

using namespace halberd;
using namespace halberd::variables;

namespace {

std::u16string U(const char* s) { return Utf8ToUtf16(s); }
std::string N(std::u16string_view s) { return Utf16ToUtf8(s); }

// Every folder is named after itself, so a test can see which one a variable took.
std::u16string FakeFolder(PathFolder f) {
  switch (f) {
    case PathFolder::kAppDataAll: return u"C:\\ProgramData";
    case PathFolder::kAppData: return u"C:\\Users\\u\\AppData\\Roaming";
    case PathFolder::kBootDrive: return u"C:";
    case PathFolder::kCommon32: return u"C:\\PF32\\Common Files";
    case PathFolder::kCommon64: return u"C:\\PF64\\Common Files";
    case PathFolder::kDesktopAll: return u"C:\\Users\\Public\\Desktop";
    case PathFolder::kDesktop: return u"C:\\Users\\u\\Desktop";
    case PathFolder::kSmProgramsAll: return u"C:\\SM\\All\\Programs";
    case PathFolder::kSmPrograms: return u"C:\\SM\\User\\Programs";
    case PathFolder::kPrograms32: return u"C:\\PF32";
    case PathFolder::kPrograms64: return u"C:\\PF64";
    case PathFolder::kTemp: return u"C:\\Tmp";
    case PathFolder::kWindows: return u"C:\\Windows";
    case PathFolder::kSystem: return u"C:\\Windows\\system32";
    default: return u"C:\\Other";
  }
}

DriveKind FakeDriveKind(char16_t letter) {
  if (letter == u'D') return DriveKind::kPortable;
  if (letter == u'N') return DriveKind::kNetwork;
  return DriveKind::kOther;
}

class PathVariables : public testing::Test {
 protected:
  PathVariables() {
    in.folder = FakeFolder;
    in.drive_kind = FakeDriveKind;
    in.os.code = 48;
    in.os.major = 10;
    in.os.minor = 0;
    in.os.name = u"Windows 10";
    in.os.description = u"Windows 10 Professional x64";
    in.installer_path = u"E:\\Downloads\\prod-setup.exe";
    in.install_folder = u"C:\\PF32\\Prod";
    in.product_name = u"Prod";
    in.company = u"Acme";
    in.version = u"2.10.3";
    in.uninstaller_name = u"uninstall.exe";
    env = {{u"PATH", u"C:\\bin;C:\\tools"}, {u"TEMP", u"C:\\EnvTemp"}, {u"EMPTY", u""}};
  }

  EnvironmentLookup Lookup() const {
    return [this](std::u16string_view name) -> std::optional<std::u16string> {
      auto it = env.find(std::u16string(name));
      if (it == env.end()) return std::nullopt;
      return it->second;
    };
  }

  std::string Expand(const char* text) const {
    std::u16string t = U(text);
    ExpandPathVariables(t, in, Lookup());
    return N(t);
  }

  PathVariableInputs in;
  std::map<std::u16string, std::u16string> env;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// The primitive.

TEST(ReplaceAll, ScansLeftToRightWithoutRescanning) {
  struct Case {
    const char* text;
    const char* find;
    const char* replacement;
    bool ignore_case;
    size_t start;
    size_t max_count;
    const char* result;
    size_t count;
  };
  const Case cases[] = {
      {"aXbxc", "x", "-", true, 0, SIZE_MAX, "a-b-c", 2},
      {"aXbxc", "x", "-", false, 0, SIZE_MAX, "aXb-c", 1},
      {"aaaa", "aa", "b", false, 0, SIZE_MAX, "bb", 2},               // not overlapping
      {"aaa", "aa", "b", false, 0, SIZE_MAX, "ba", 1},
      {"%a%", "%a%", "%a%%a%", false, 0, SIZE_MAX, "%a%%a%", 1},      // inserted text is not scanned again
      {"xyx", "x", "xx", false, 0, SIZE_MAX, "xxyxx", 2},
      {"abc", "", "-", false, 0, SIZE_MAX, "abc", 0},                 // an empty find replaces nothing
      {"abc", "d", "-", false, 0, SIZE_MAX, "abc", 0},
      {"xxxx", "x", "y", false, 1, 2, "xyyx", 2},                      // start position and count
      {"xxxx", "x", "y", false, 9, SIZE_MAX, "xxxx", 0},
      {"Ünïcode ÄBÇ", "äbç", "ok", true, 0, SIZE_MAX, "Ünïcode ok", 1},  // Latin-1 letters fold too
      {"ПРОДУКТ", "продукт", "ok", true, 0, SIZE_MAX, "ok", 1},
      {"ÄBÇ", "äbç", "ok", false, 0, SIZE_MAX, "ÄBÇ", 0},
  };
  for (const Case& c : cases) {
    std::u16string text = U(c.text);
    EXPECT_EQ(ReplaceAll(text, U(c.find), U(c.replacement), c.ignore_case, c.start, c.max_count), c.count) << c.text;
    EXPECT_EQ(N(text), c.result) << c.text << " / " << c.find;
  }
  // The 8-bit form (notification URLs): ASCII letters fold, other bytes match only as they are.
  std::string url = "a=%VERSION%&b=%version%&c=%Vérsion%";
  EXPECT_EQ(ReplaceAll(url, "%version%", "1", true), 2u);
  EXPECT_EQ(url, "a=1&b=1&c=%Vérsion%");
}

// ---------------------------------------------------------------------------------------------
// Expansion.

TEST_F(PathVariables, MatchModesAndOrder) {
  in.old_version = u"3.4";
  struct Case { const char* text; const char* expanded; };
  const Case cases[] = {
      // Case is ignored...
      {"%installdir%\\bin", "C:\\PF32\\Prod\\bin"},
      {"%INSTALLDIR%\\bin", "C:\\PF32\\Prod\\bin"},
      {"%InstallDir%\\bin", "C:\\PF32\\Prod\\bin"},
      // ...except for the two old-version parts, which reach the environment pass unchanged.
      {"%OldVersionMajor%.%OldVersionMinor%", "3.4"},
      {"%OLDVERSIONMAJOR%", "%OLDVERSIONMAJOR%"},
      {"%oldversionminor%", "%oldversionminor%"},
      {"%oldversion%", "3.4"},
      // Names that are neither variables nor environment variables stay, percent signs included.
      {"%NoSuchThing%\\x", "%NoSuchThing%\\x"},
      {"100% sure", "100% sure"},
      // The environment is reached only after the path variables: %Temp% is the path variable.
      {"%PATH%", "C:\\bin;C:\\tools"},
      {"%temp%\\x", "C:\\Tmp\\x"},
      {"[%EMPTY%]", "[]"},
      // %OS% is replaced before %OSMajor% without touching it.
      {"%OS%-%OSMajor%.%OSMinor% %OSName% (%OSDescription%) %OSServer%",
       "48-10.0 Windows 10 (Windows 10 Professional x64) 0"},
      {"%Bits% %Automatic% %Existing%", "32 0 0"},
      {"%ProgramsDir%|%ProgramsDir32%|%ProgramsDir64%", "C:\\PF32|C:\\PF32|C:\\PF64"},
      {"%CommonDir%|%CommonDir64%", "C:\\PF32\\Common Files|C:\\PF64\\Common Files"},
      {"%InstallerDir%|%InstallerDrive%|%InstallerFilename%|%InstallerFilepath%",
       "E:\\Downloads|E:|prod-setup.exe|E:\\Downloads\\prod-setup.exe"},
      {"%ProductName% by %CompanyName% %Version% %VersionMajor%.%VersionMinor%", "Prod by Acme 2.10.3 2.10"},
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(c.text), c.expanded) << c.text;
}

TEST_F(PathVariables, ValuesHoldingReferences) {
  struct Case { const char* product_name; const char* expanded; };
  const Case cases[] = {
      // A later entry expands inside the value...
      {"Prod %Version%", "Prod 2.10.3"},
      {"Prod %windir%", "Prod C:\\Windows"},
      // ...an earlier entry, or the entry itself, stays; the environment does not know them either.
      {"Prod %AppDataDir%", "Prod %AppDataDir%"},
      {"Prod %ProductName%", "Prod %ProductName%"},
      // What the environment knows is expanded by the second pass.
      {"Prod %PATH%", "Prod C:\\bin;C:\\tools"},
  };
  for (const Case& c : cases) {
    in.product_name = U(c.product_name);
    EXPECT_EQ(Expand("%ProductName%"), c.expanded) << c.product_name;
  }
}

TEST_F(PathVariables, VersionValues) {
  struct Case { const char* version; const char* major_minor; };
  const Case cases[] = {
      {"2.10.3", "2.10"},
      {"abc", "0.0"},
      {"", "0.0"},
      {" \t\r\n7.1", "7.1"},
      {"+5.-2", "5.-2"},
      {"-3", "-3.0"},
      {"3.x", "3.0"},
      {"007.0010", "7.10"},
      {"99999999999.1", "2147483647.1"},
  };
  for (const Case& c : cases) {
    in.version = U(c.version);
    EXPECT_EQ(Expand("%VersionMajor%.%VersionMinor%"), c.major_minor) << c.version;
  }

  struct OldCase { const char* old_version; const char* parts; };
  const OldCase old_cases[] = {
      {"1..5", "[1][5]"},
      {"2.10.3", "[2][10]"},
      {".7", "[7][]"},
      {"8", "[8][]"},
      {"", "[][]"},
  };
  for (const OldCase& c : old_cases) {
    in.old_version = U(c.old_version);
    EXPECT_EQ(Expand("[%OldVersionMajor%][%OldVersionMinor%]"), c.parts) << c.old_version;
  }
  // No earlier installation.
  in.old_version.clear();
  EXPECT_EQ(Expand("[%OldVersion%][%OldVersionMajor%][%OldVersionMinor%][%Existing%]"), "[][][][0]");
}

TEST_F(PathVariables, InstallationFolderValues) {
  struct Case { const char* folder; const char* drive; const char* network; const char* portable; };
  const Case cases[] = {
      {"C:\\PF32\\Prod", "C:", "0", "0"},
      {"c:\\x", "C:", "0", "0"},
      {"\\\\server\\share\\Prod", "", "1", "0"},
      {"d:\\Prod", "D:", "0", "1"},    // removable
      {"N:\\Prod", "N:", "1", "0"},    // remote
      {"Prod", "", "0", "0"},
      {"", "", "0", "0"},
  };
  for (const Case& c : cases) {
    in.install_folder = U(c.folder);
    EXPECT_EQ(Expand("%InstallDrive%|%NetworkInstall%|%Portable%"),
              std::string(c.drive) + "|" + c.network + "|" + c.portable)
        << c.folder;
  }
}

TEST_F(PathVariables, RunStateValues) {
  // Before installation begins the uninstall folder is unknown.
  EXPECT_EQ(Expand("[%UninstallDir%][%UninstallerFilepath%]"), "[][]");
  in.uninstall_folder = u"C:\\PF32\\Prod\\uninst";
  EXPECT_EQ(Expand("%UninstallerFilepath%"), "C:\\PF32\\Prod\\uninst\\uninstall.exe");

  EXPECT_EQ(Expand("%LogFilepath%"), "C:\\PF32\\Prod\\Install.log");
  in.uninstall_subdir = u"uninst";
  EXPECT_EQ(Expand("%LogFilepath%"), "C:\\PF32\\Prod\\uninst\\Install.log");

  // A product without an uninstaller has no shared folder.
  in.shared_folder = u"C:\\PF32\\Common Files\\Acme";
  EXPECT_EQ(Expand("[%SharedDir%]"), "[]");
  in.has_uninstaller = true;
  EXPECT_EQ(Expand("[%SharedDir%]"), "[C:\\PF32\\Common Files\\Acme]");

  // Shortcut folders follow the shortcut mode and the chosen names.
  EXPECT_EQ(Expand("%DesktopShortcuts%|%StartMenuChosen%"), "C:\\Users\\u\\Desktop|C:\\SM\\User\\Programs");
  in.shortcut_mode = 1;
  in.desktop_subfolder = u"Prod Tools";
  in.start_menu_name = u"Acme\\Prod";
  EXPECT_EQ(Expand("%DesktopShortcuts%|%StartMenuChosen%"),
            "C:\\Users\\Public\\Desktop\\Prod Tools|C:\\SM\\All\\Programs\\Acme\\Prod");

  // A 64-bit product takes the 64-bit folders.
  in.bitness = 1;
  in.windows_64bit = true;
  in.automatic = true;
  in.existing = 2;
  EXPECT_EQ(Expand("%ProgramsDir%|%CommonDir%|%Bits%|%Automatic%|%Existing%"),
            "C:\\PF64|C:\\PF64\\Common Files|64|1|2");
}

// ---------------------------------------------------------------------------------------------
// Environment pass.

TEST_F(PathVariables, EnvironmentPass) {
  env[u"A"] = u"1";
  env[u"B"] = u"%A%";
  struct Case { const char* text; const char* expanded; };
  const Case cases[] = {
      {"%A%%A%", "11"},
      {"%X%A%", "%X%A%"},      // an unknown name is kept whole; the scan goes on after it
      {"%X%%A%", "%X%1"},
      {"%%A%", "%%A%"},
      {"%A", "%A"},
      {"x%", "x%"},
      {"%B%", "%A%"},          // values are not expanded again
      {"%EMPTY%", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(N(ExpandEnvironmentReferences(U(c.text), Lookup())), c.expanded) << c.text;

  // The system's expansion ends at a NUL character.
  std::u16string with_nul = u"%A%x";
  with_nul += u'\0';
  with_nul += u"%A%";
  EXPECT_EQ(N(ExpandEnvironmentReferences(with_nul, Lookup())), "1x");
}

TEST_F(PathVariables, EnvironmentPassLimit) {
  std::u16string long_text(40000, u'a');
  EXPECT_EQ(ExpandEnvironmentReferences(long_text, Lookup()).size(), kEnvironmentPassLimit);
  // Reached through a value.
  env[u"BIG"] = std::u16string(20000, u'b');
  std::u16string result = ExpandEnvironmentReferences(u"x%BIG%%BIG%", Lookup());
  ASSERT_EQ(result.size(), kEnvironmentPassLimit);
  EXPECT_EQ(result.front(), u'x');
  EXPECT_EQ(result.back(), u'b');
  // A cut never leaves half a surrogate pair.
  std::u16string pairs = std::u16string(kEnvironmentPassLimit - 1, u'a') + u"\U0001F600";
  std::u16string cut = ExpandEnvironmentReferences(pairs, Lookup());
  EXPECT_EQ(cut.size(), kEnvironmentPassLimit - 1);
  // Through both steps: the installation folder referenced many times.
  in.install_folder = std::u16string(1000, u'f');
  std::u16string text;
  for (int i = 0; i < 40; ++i) text += u"%InstallDir%";
  ExpandPathVariables(text, in, Lookup());
  EXPECT_EQ(text, std::u16string(kEnvironmentPassLimit, u'f'));
}

TEST_F(PathVariables, ExpansionDoesNotGrowWithoutBound) {
  // 5,000 references to a 1,000-character name would need 5 million characters.
  in.product_name = std::u16string(1000, u'p');
  std::u16string text;
  for (int i = 0; i < 5000; ++i) text += u"%ProductName%";
  ReplacePathVariables(text, in);
  EXPECT_LE(text.size(), kMaxExpandedText);
  EXPECT_EQ(text.substr(0, 13), u"%ProductName%");
}

// ---------------------------------------------------------------------------------------------
// Version texts.

TEST(VersionText, SplitAndCompare) {
  struct SplitCase { const char* version; std::vector<std::string> parts; };
  const SplitCase splits[] = {
      {"2.10.3", {"2", "10", "3"}},
      {"1..5", {"1", "5"}},
      {".1.", {"1"}},
      {"...", {}},
      {"", {}},
      {"1.0 beta", {"1", "0 beta"}},
  };
  for (const SplitCase& c : splits) {
    std::vector<std::string> got;
    for (std::string_view p : SplitVersion(std::string_view(c.version))) got.emplace_back(p);
    EXPECT_EQ(got, c.parts) << c.version;
    std::vector<std::string> wide;
    std::u16string u = U(c.version);
    for (std::u16string_view p : SplitVersion(std::u16string_view(u))) wide.push_back(N(p));
    EXPECT_EQ(wide, c.parts) << c.version;
  }

  struct CompareCase { const char* a; const char* b; int sign; };
  const CompareCase compares[] = {
      {"2.10.3", "2.9.9", 1},
      {"2.10", "2.10.0", 0},
      {"1..5", "1.5", 0},
      {"1..5", "1.4", 1},
      {"48.0.11", "48.0.11", 0},
      {"48.0.1", "48.0.11", -1},
      {"3.0b", "3.0a", 0},   // only the leading digits of a part count
      {"", "0", 0},
      {"10", "9.99", 1},
      {"99999999999999999999999", "1", 1},
  };
  for (const CompareCase& c : compares) {
    auto sign = [](int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; };
    EXPECT_EQ(sign(CompareVersions(std::string_view(c.a), std::string_view(c.b))), c.sign) << c.a << " " << c.b;
    EXPECT_EQ(sign(CompareVersions(std::string_view(c.b), std::string_view(c.a))), -c.sign) << c.b << " " << c.a;
    EXPECT_EQ(sign(CompareVersions(std::u16string_view(U(c.a)), std::u16string_view(U(c.b)))), c.sign) << c.a;
  }
}

// ---------------------------------------------------------------------------------------------
// Operating system.

TEST(OperatingSystem, CodesNamesAndDescriptions) {
  struct Case {
    uint32_t major, minor, build;
    uint8_t product_type;
    uint16_t suite;
    bool r2;
    uint32_t edition;
    bool x64;
    int code;
    const char* name;
    const char* description;
  };
  const Case cases[] = {
      {5, 1, 2600, 1, 0x0200, false, 0, false, 20, "Windows XP", "Windows XP Home"},
      {5, 1, 2600, 1, 0, false, 0, false, 20, "Windows XP", "Windows XP Professional"},
      {5, 2, 3790, 3, 0x8000, false, 0, false, 28, "Windows Home Server", "Windows Home Server"},
      {5, 2, 3790, 1, 0, false, 0, true, 24, "Windows XP", "Windows XP Professional x64"},
      {5, 2, 3790, 1, 0, false, 0, false, 20, "Windows XP", "Windows XP Professional"},
      {5, 2, 3790, 3, 0x0002, true, 0, false, 26, "Windows 2003", "Windows Server 2003 R2 Enterprise"},
      {5, 2, 3790, 3, 0, false, 0, false, 22, "Windows 2003", "Windows Server 2003 Standard"},
      {6, 0, 6002, 1, 0, false, 0x03, false, 30, "Windows Vista", "Windows Vista Home Premium"},
      {6, 0, 6002, 3, 0, false, 0x08, true, 32, "Windows 2008", "Windows Server 2008 Datacenter x64"},
      {6, 1, 7601, 3, 0, false, 0x22, true, 38, "Windows Home Server 2011", "Windows Home Server 2011 x64"},
      {6, 1, 7601, 1, 0, false, 0x01, true, 36, "Windows 7", "Windows 7 Ultimate x64"},
      {6, 1, 7601, 2, 0, false, 0x0A, true, 34, "Windows 2008", "Windows Server 2008 R2 Enterprise x64"},
      {6, 2, 9200, 1, 0, false, 0x30, true, 40, "Windows 8", "Windows 8 Professional x64"},
      {6, 2, 9200, 3, 0, false, 0x07, true, 42, "Windows 2012", "Windows Server 2012 Standard x64"},
      {6, 3, 9600, 1, 0, false, 0x65, false, 44, "Windows 8", "Windows 8.1 Home"},
      {6, 3, 9600, 3, 0, false, 0x08, true, 46, "Windows 2012", "Windows Server 2012 R2 Datacenter x64"},
      {6, 4, 9841, 1, 0, false, 0x30, true, 48, "Windows 10", "Windows 10 Professional x64"},
      {10, 0, 19045, 1, 0, false, 0x30, true, 48, "Windows 10", "Windows 10 Professional x64"},
      {10, 0, 21326, 1, 0, false, 0x04, true, 48, "Windows 10", "Windows 10 Enterprise x64"},
      {10, 0, 21327, 1, 0, false, 0x04, true, 56, "Windows 11", "Windows 11 Enterprise x64"},
      {10, 0, 22631, 1, 0, false, 0x79, true, 56, "Windows 11", "Windows 11 Education x64"},
      {10, 0, 14393, 3, 0, false, 0x07, true, 50, "Windows 2016", "Windows Server 2016 Standard x64"},
      {10, 0, 17599, 3, 0, false, 0x07, true, 50, "Windows 2016", "Windows Server 2016 Standard x64"},
      {10, 0, 17600, 3, 0, false, 0x07, true, 52, "Windows 2019", "Windows Server 2019 Standard x64"},
      {10, 0, 19503, 2, 0, false, 0x08, true, 52, "Windows 2019", "Windows Server 2019 Datacenter x64"},
      {10, 0, 19504, 3, 0, false, 0x07, true, 60, "Windows 2022", "Windows Server 2022 Standard x64"},
      {10, 0, 25920, 3, 0, false, 0x07, true, 60, "Windows 2022", "Windows Server 2022 Standard x64"},
      {10, 0, 25921, 3, 0, false, 0x07, true, 64, "Windows 2025", "Windows Server 2025 Standard x64"},
      {5, 0, 2195, 1, 0, false, 0, false, 0, "Windows 2000", "Windows 2000 Professional"},
      {11, 0, 30000, 1, 0, false, 0, true, 0, "Windows NT 11.0", "Windows NT 11.0 x64"},
  };
  for (const Case& c : cases) {
    OsVersion v;
    v.major = c.major;
    v.minor = c.minor;
    v.build = c.build;
    v.product_type = c.product_type;
    v.suite_mask = c.suite;
    v.server_r2 = c.r2;
    v.product_info = c.edition;
    v.windows_64bit = c.x64;
    OsInfo info = DescribeOs(v, u"");
    std::string label = std::to_string(c.major) + "." + std::to_string(c.minor) + "." + std::to_string(c.build);
    EXPECT_EQ(info.code, c.code) << label;
    EXPECT_EQ(N(info.name), c.name) << label;
    EXPECT_EQ(N(info.description), c.description) << label;
    EXPECT_EQ(info.server, c.product_type != 1) << label;
  }
  // Outside the NT family every code is 0.
  OsVersion win98;
  win98.nt = false;
  win98.major = 4;
  win98.minor = 10;
  EXPECT_EQ(DescribeOs(win98, u"").code, 0);
  EXPECT_EQ(N(DescribeOs(win98, u"").name), "Windows 98");
  // Under Wine the description says so.
  OsVersion wine;
  wine.major = 10;
  wine.build = 19043;
  wine.product_info = 0x30;
  EXPECT_EQ(N(DescribeOs(wine, u"8.0").description), "WINE 8.0 reporting as Windows 10 Professional");
}

// ---------------------------------------------------------------------------------------------
// Notification URL.

TEST(NotificationUrl, PercentEscaping) {
  EXPECT_EQ(PercentEscape("a &b"), "a%20%26b");
  // Every reserved character, control characters, DEL and bytes above 0x7F.
  EXPECT_EQ(PercentEscape("/%?&\"#<>()[];:@=+\\|~^'*!"),
            "%2F%25%3F%26%22%23%3C%3E%28%29%5B%5D%3B%3A%40%3D%2B%5C%7C%7E%5E%27%2A%21");
  EXPECT_EQ(PercentEscape(std::string("\x01\t\x7F\x80\xE9\xFF", 6)), "%01%09%7F%80%E9%FF");
  // Letters, digits and the unreserved marks pass.
  EXPECT_EQ(PercentEscape("AZaz09-._,$`{}"), "AZaz09-._,$`{}");
}

TEST(NotificationUrl, Variables) {
  NotificationUrlValues v;
  v.version = "2.1 beta&1";
  v.session = 9223372036854775807ull;
  v.os_code = 48;
  v.os_major = 10;
  v.os_minor = 0;
  v.os_name = "Windows 10";
  v.os_description = "WINE 8.0 reporting as Windows 10 Professional";
  v.os_server = false;
  std::string url =
      "https://x.example/n?v=%VERSION%&s=%session%&os=%OS%&maj=%OSMajor%&min=%osminor%&n=%OSName%&d=%OSDescription%"
      "&srv=%OSServer%&keep=%InstallDir%";
  ExpandNotificationUrl(url, v);
  EXPECT_EQ(url,
            "https://x.example/n?v=2.1%20beta%261&s=9223372036854775807&os=48&maj=10&min=0&n=Windows%2010"
            "&d=WINE%208.0%20reporting%20as%20Windows%2010%20Professional&srv=0&keep=%InstallDir%");
}
