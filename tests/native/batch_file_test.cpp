// The text of "SETUPBAT.BAT" from its inputs: the environment lines with their order and quoting,
// the PAUSE lines, the line breaks, the code-page line and encoding by content and Windows
// version, and which batches before installation apply.
#include "variables/batch_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/text_convert.h"

using namespace halberd;
using namespace halberd::variables;

namespace {

std::u16string U(const char* s) { return Utf8ToUtf16(s); }

// Each variable's value is its own reference without the percent signs, lower case, so a line
// shows which variable it took.
std::u16string ValueNamedAfter(PathVariable v) {
  for (const PathVariableEntry& e : kPathVariables) {
    if (e.variable != v) continue;
    std::u16string name(e.reference.substr(1, e.reference.size() - 2));
    for (char16_t& c : name)
      if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
    return name;
  }
  return u"?";
}

std::vector<std::string> Lines(const std::u16string& text) {
  std::vector<std::string> lines;
  std::string s = Utf16ToUtf8(text);
  size_t start = 0;
  for (size_t end; (end = s.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(s.substr(start, end - start));
  EXPECT_EQ(start, s.size()) << "text does not end with a line break";
  return lines;
}

const std::vector<std::string> kInstallRunLines = {
    "SET Automatic=automatic",
    "SET \"InstallDir=installdir\"",
    "SET \"Bits=bits\"",
    "SET \"UninstallDir=uninstalldir\"",
    "SET \"SharedDir=shareddir\"",
    "SET \"InstallerFilepath=installerfilepath\"",
    "SET \"InstallerDir=installerdir\"",
    "SET \"InstallerFilename=installerfilename\"",
    "SET \"InstallerDrive=installerdrive\"",
    "SET \"SystemDir=systemdir\"",
    "SET \"DeviceDir=devicedir\"",
    "SET \"MediaDir=mediadir\"",
    "SET \"FavoritesDir=favoritesdir\"",
    "SET \"FavoritesAllDir=favoritesalldir\"",
    "SET \"FontDir=fontdir\"",
    "SET \"DesktopDir=desktopdir\"",
    "SET \"DesktopAllDir=desktopalldir\"",
    "SET \"DesktopShortcuts=desktopshortcuts\"",
    "SET \"DocumentDir=documentdir\"",
    "SET \"DocumentAllDir=documentalldir\"",
    "SET \"ProductName=productname\"",
    "SET \"CompanyName=companyname\"",
    "SET \"ProgramsDir=programsdir\"",
    "SET \"ProgramsDir32=programsdir32\"",
    "SET \"ProgramsDir64=programsdir64\"",
    "SET \"StartMenuAllDir=startmenualldir\"",
    "SET \"StartMenuChosen=startmenuchosen\"",
    "SET \"StartMenuDir=startmenudir\"",
    "SET \"SMProgramsDir=smprogramsdir\"",
    "SET \"SMProgramsAllDir=smprogramsalldir\"",
    "SET \"StartupDir=startupdir\"",
    "SET \"StartupAllDir=startupalldir\"",
    "SET \"CommonDir=commondir\"",
    "SET \"CommonDir32=commondir32\"",
    "SET \"CommonDir64=commondir64\"",
    "SET \"Inetpub=inetpub\"",
    "SET \"AppDataDir=appdatadir\"",
    "SET \"AppDataAllDir=appdataalldir\"",
    "SET InstallDrive=installdrive",
    "SET BootDrive=bootdrive",
    "SET Version=version",
    "SET VersionMajor=versionmajor",
    "SET VersionMinor=versionminor",
    "SET OldVersion=oldversion",
    "SET OldVersionMajor=oldversionmajor",
    "SET OldVersionMinor=oldversionminor",
    "SET Portable=portable",
    "SET Existing=existing",
    "SET NetworkInstall=networkinstall",
    "SET Language=language",
    "SET \"LogFilepath=logfilepath\"",
    "SET \"UninstallerFilepath=uninstallerfilepath\"",
    "SET OS=os",
    "SET OSMajor=osmajor",
    "SET OSMinor=osminor",
    "SET OSName=osname",
    "SET OSDescription=osdescription",
    "SET OSServer=osserver",
};

TEST(BatchEnvironment, FiftyEightLinesInOrderWithTheirQuoting) {
  EXPECT_EQ(Lines(BatchEnvironmentText(ValueNamedAfter, false)), kInstallRunLines);
}

TEST(BatchEnvironment, UninstallRunLeavesOutExistingOnly) {
  std::vector<std::string> expected = kInstallRunLines;
  std::erase(expected, "SET Existing=existing");
  ASSERT_EQ(expected.size(), 57u);
  EXPECT_EQ(Lines(BatchEnvironmentText(ValueNamedAfter, true)), expected);
}

TEST(BatchEnvironment, PathWithAmpersandStaysInsideTheQuotes) {
  auto value = [](PathVariable v) {
    return v == PathVariable::kInstallDir || v == PathVariable::kLogFilepath ? U("C:\\Tom & Jerry") : U("x");
  };
  std::u16string text = BatchEnvironmentText(value, false);
  EXPECT_NE(text.find(u"SET \"InstallDir=C:\\Tom & Jerry\"\r\n"), std::u16string::npos);
  EXPECT_NE(text.find(u"SET \"LogFilepath=C:\\Tom & Jerry\"\r\n"), std::u16string::npos);
}

TEST(BatchText, BlankBatches) {
  EXPECT_TRUE(IsBlankBatch(""));
  EXPECT_TRUE(IsBlankBatch(" \r\n\t\r\n\n"));
  EXPECT_FALSE(IsBlankBatch("\r\n x"));
}

TEST(BatchText, CommandLineCommandsGoOnALineOfTheirOwn) {
  struct Case {
    const char* batch;
    const char* commands;
    const char* expected;
  } cases[] = {
      {"echo a", "", "echo a"},
      {"echo a", "echo b", "echo a\r\necho b"},
      {"echo a\n", "echo b", "echo a\necho b"},
      {"echo a\r", "echo b", "echo a\recho b"},
      {"", "echo b\r\necho c", "echo b\r\necho c"},
  };
  for (const Case& c : cases) EXPECT_EQ(AppendBatchCommands(c.batch, c.commands), c.expected) << c.batch;
}

TEST(BatchText, PauseLines) {
  struct Case {
    const char* line;
    bool pause;
  } cases[] = {
      {"pause", true},
      {"PAUSE\r\n", true},
      {"  @  PaUsE \t\r\n", true},
      {"\t@\tpause", true},
      {"@pause", true},
      {"pause now", false},
      {"pause.", false},
      {"echo pause", false},
      {"@@pause", false},
      {"rem pause", false},
      {"", false},
      {"@", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPauseLine(U(c.line)), c.pause) << c.line;
}

TEST(BatchText, PauseLinesAreDroppedWithTheirLineBreaks) {
  EXPECT_EQ(WithoutPauseLines(u"echo a\r\n pause \r\necho b\r\n@PAUSE"), u"echo a\r\necho b\r\n");
  EXPECT_EQ(WithoutPauseLines(u"pause\r\n\r\npause later\r\n"), u"\r\npause later\r\n");
}

constexpr char kHead1252[] = "@chcp 1252 >nul\r\n@echo off\r\n";
constexpr char kHeadUtf8[] = "@chcp 65001 >nul\r\n@echo off\r\n";

TEST(BatchFile, WholeText) {
  struct Case {
    const char* name;
    std::string batch;        // code page 1252
    std::u16string environment;
    bool drop_pause;
    bool windows7;
    std::string expected;
    bool utf8;
  } cases[] = {
      {"line breaks made CR LF, a final one added", "a\nb\rc\n\rd\r\ne", u"SET X=1\n", false, true,
       std::string(kHead1252) + "SET X=1\r\na\r\nb\r\nc\r\nd\r\ne\r\n", false},
      {"a final line break is not doubled", "echo a\r\n", u"", false, true, std::string(kHead1252) + "echo a\r\n",
       false},
      {"pause kept in a visible interactive run", "echo a\npause\n", u"", false, true,
       std::string(kHead1252) + "echo a\r\npause\r\n", false},
      {"pause dropped, other words after pause kept", "echo a\n @ pause \npause 5\nPAUSE", u"", true, true,
       std::string(kHead1252) + "echo a\r\npause 5\r\n", false},
      {"accented product name on Windows 10: UTF-8", "echo %ProductName%", u"SET \"ProductName=Caf\u00e9\"\r\n",
       false, true, std::string(kHeadUtf8) + "SET \"ProductName=Caf\xc3\xa9\"\r\necho %ProductName%\r\n", true},
      {"accented product name on Windows XP: code page 1252", "echo %ProductName%",
       u"SET \"ProductName=Caf\u00e9\"\r\n", false, false,
       std::string(kHead1252) + "SET \"ProductName=Caf\xe9\"\r\necho %ProductName%\r\n", false},
      {"an 8-bit batch character becomes UTF-8", "echo \xe9\x80", u"", false, true,
       std::string(kHeadUtf8) + "echo \xc3\xa9\xe2\x82\xac\r\n", true},
      {"what code page 1252 cannot hold becomes ?", "echo", u"SET \"InstallDir=C:\\\u03a9\u00e9\"\r\n", false, false,
       std::string(kHead1252) + "SET \"InstallDir=C:\\?\xe9\"\r\necho\r\n", false},
      {"plain ASCII on Windows 10 stays code page 1252", "echo a", u"SET \"InstallDir=C:\\A\"\r\n", false, true,
       std::string(kHead1252) + "SET \"InstallDir=C:\\A\"\r\necho a\r\n", false},
  };
  for (const Case& c : cases) {
    BatchFileInputs in;
    in.batch = c.batch;
    in.environment = c.environment;
    in.drop_pause = c.drop_pause;
    in.windows7_or_later = c.windows7;
    BatchFileText file = BuildBatchFile(in);
    EXPECT_EQ(file.bytes, c.expected) << c.name;
    EXPECT_EQ(file.utf8, c.utf8) << c.name;
  }
}

TEST(BatchSelection, UpgradeAndReinstall) {
  struct Case {
    int existing;
    bool earlier_folder_exists;
    bool same_version_only;
    bool upgrade;
    bool reinstall;
  } cases[] = {
      {0, false, false, false, false},
      {1, true, true, false, true},
      {1, false, false, false, false},  // no earlier folder: no reinstall batch
      {2, true, false, true, true},     // any earlier installation while only-same-version is off
      {2, true, true, true, false},
      {2, false, false, true, false},
      {3, true, false, false, true},
      {3, true, true, false, false},
  };
  for (const Case& c : cases) {
    BatchesBeforeInstallation b = SelectBatchesBeforeInstallation(c.existing, c.earlier_folder_exists,
                                                                  c.same_version_only);
    EXPECT_EQ(b.upgrade, c.upgrade) << c.existing << c.earlier_folder_exists << c.same_version_only;
    EXPECT_EQ(b.reinstall, c.reinstall) << c.existing << c.earlier_folder_exists << c.same_version_only;
  }
}

TEST(BatchSelection, ExistingFromInstallType) {
  EXPECT_EQ(ExistingFromInstallType(u"New"), 0);
  EXPECT_EQ(ExistingFromInstallType(u"Reinstall"), 1);
  EXPECT_EQ(ExistingFromInstallType(u"Upgrade"), 2);
  EXPECT_EQ(ExistingFromInstallType(u"Downgrade"), 3);
}

}  // namespace

// Values with the interpreter's special characters stay literal inside their own SET line. The
// exact bytes are written by hand; each line is also read back by a small model of how cmd.exe
// reads a batch line (percent expansion, then quotes and carets, then SET's own rule for a quoted
// argument), which must find one SET command and the value unchanged but for line breaks.
namespace {

struct ReadBack {
  bool ok = false;
  std::string why;
  std::string name;
  std::string value;
};

ReadBack Refused(std::string why) {
  ReadBack r;
  r.why = std::move(why);
  return r;
}

ReadBack ReadSetLineAsCmdDoes(const std::string& line) {
  ReadBack r;
  if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) return Refused("no CR LF at the end");
  std::string text = line.substr(0, line.size() - 2);
  if (text.find_first_of(std::string("\r\n\x1A\0", 4)) != std::string::npos) return Refused("a second line");
  // Percent expansion: "%%" is one percent; any other percent would expand something.
  std::string expanded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      expanded += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '%') {
      expanded += '%';
      ++i;
    } else {
      return Refused("a percent sign that expands");
    }
  }
  // Quotes and carets: outside quotes a caret takes the next character as text and & | < > end
  // the command or redirect it.
  std::string command;
  bool in_quotes = false;
  for (size_t i = 0; i < expanded.size(); ++i) {
    char c = expanded[i];
    if (c == '"') {
      in_quotes = !in_quotes;
      command += c;
    } else if (in_quotes) {
      command += c;
    } else if (c == '^') {
      if (i + 1 == expanded.size()) return Refused("a caret continues the line");
      command += expanded[++i];
    } else if (c == '&' || c == '|' || c == '<' || c == '>') {
      return Refused(std::string("an unescaped ") + c + " outside quotes");
    } else {
      command += c;
    }
  }
  if (command.rfind("SET ", 0) != 0) return Refused("not a SET command");
  std::string argument = command.substr(4);
  if (!argument.empty() && argument.front() == '"') {
    size_t last = argument.rfind('"');
    argument = argument.substr(1, last - 1);  // SET "a=b" takes up to the last quote
  }
  size_t equals = argument.find('=');
  if (equals == std::string::npos) return Refused("no equals sign");
  r.ok = true;
  r.name = argument.substr(0, equals);
  r.value = argument.substr(equals + 1);
  return r;
}

}  // namespace

TEST(BatchEnvironment, SetLinesKeepHostileValuesLiteral) {
  struct Case { const char* value; bool quoted; const char* line; };
  const Case cases[] = {
      {"C:\\Tom & Jerry", true, "SET \"V=C:\\Tom & Jerry\"\r\n"},
      // A quote in the value leaves the quotes: what follows is escaped until the next quote.
      {"\"AT&T\" & del C:\\x", true, "SET \"V=\"AT^&T\" & del C:\\x\"\r\n"},
      {"one\"two & three", true, "SET \"V=one\"two ^& three\"\r\n"},
      {"50% off %PATH% %~dp0", true, "SET \"V=50%% off %%PATH%% %%~dp0\"\r\n"},
      {"a|b<c>d^e(f)", true, "SET \"V=a|b<c>d^e(f)\"\r\n"},
      {"a\"|\"b", true, "SET \"V=a\"^|\"b\"\r\n"},
      {"\"", true, "SET \"V=\"\"\r\n"},
      // Line breaks and Ctrl-Z each become one blank; CR LF is one break.
      {"a\r\nb\nc\rd", true, "SET \"V=a b c d\"\r\n"},
      {"x\r\n& del y", true, "SET \"V=x & del y\"\r\n"},
      {"a\x1A" "b", true, "SET \"V=a b\"\r\n"},
      {"", true, "SET \"V=\"\r\n"},
      // Lines without quotes: escaped from the start.
      {"1.0 & echo pwned > x", false, "SET V=1.0 ^& echo pwned ^> x\r\n"},
      {"^", false, "SET V=^^\r\n"},
      {"a|b<c", false, "SET V=a^|b^<c\r\n"},
      {"(1)", false, "SET V=^(1^)\r\n"},
      {"1\"&\"2", false, "SET V=1\"&\"2\r\n"},
      {"1\"&", false, "SET V=1\"&\r\n"},
      {"100%", false, "SET V=100%%\r\n"},
      {"2\n& calc", false, "SET V=2 ^& calc\r\n"},
  };
  for (const Case& c : cases) {
    std::string line = Utf16ToUtf8(BatchSetLine(u"V", U(c.value), c.quoted));
    EXPECT_EQ(line, c.line) << c.value;
    ReadBack back = ReadSetLineAsCmdDoes(line);
    ASSERT_TRUE(back.ok) << c.value << ": " << back.why;
    std::string expected = c.value;
    for (const char* brk : {"\r\n", "\r", "\n", "\x1A"})
      for (size_t at; (at = expected.find(brk)) != std::string::npos;) expected.replace(at, strlen(brk), " ");
    EXPECT_EQ(back.name, "V") << c.value;
    EXPECT_EQ(back.value, expected) << c.value;
  }
}

TEST(BatchEnvironment, EveryLineOfTheTableEscapesItsValue) {
  // The publisher, a version from the registry and a /d: folder all reach the SET lines; each
  // line, quoted or not, keeps a hostile value to itself.
  const std::u16string hostile = U("\"x\" & calc | y > z %PATH% ^\r\nnext");
  std::u16string text = BatchEnvironmentText([&](PathVariable) { return hostile; }, false);
  std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), kBatchEnvironmentLineCount);
  for (size_t i = 0; i < lines.size(); ++i) {
    ReadBack back = ReadSetLineAsCmdDoes(lines[i] + "\r\n");
    ASSERT_TRUE(back.ok) << lines[i] << ": " << back.why;
    EXPECT_EQ(back.name, Utf16ToUtf8(std::u16string(kBatchEnvironmentLines[i].name)));
    EXPECT_EQ(back.value, "\"x\" & calc | y > z %PATH% ^ next") << lines[i];
  }
}

TEST(BatchCommand, PathsWithTheInterpreterSpecialCharactersAreQuoted) {
  struct Case {
    const char16_t* path;
    bool quoted;
  };
  const Case cases[] = {
      {u"C:\\APP\\SETUPBAT.BAT", false},       {u"C:\\PROGRA~1\\APP\\SETUPBAT.BAT", false},
      {u"C:\\My App\\SETUPBAT.BAT", true},     {u"C:\\a&b^c(1)\\SETUPBAT.BAT", true},
      {u"C:\\x|y\\SETUPBAT.BAT", true},        {u"C:\\x@y\\SETUPBAT.BAT", true},
      {u"C:\\x,y;z=w\\SETUPBAT.BAT", true},    {u"C:\\tab\there\\SETUPBAT.BAT", true},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(NeedsInterpreterQuotes(cases[i].path), cases[i].quoted) << "case " << i;
}
