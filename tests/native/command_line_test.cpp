// The installer's command line: atoms, every option and its value rules, usage errors, the atom
// limit, and the usage message byte for byte.
#include "engine/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace halberd::engine;

namespace {

// A single-byte stand-in for the system code page: Latin-1 maps to itself, the rest to "?".
std::string Latin1(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += (unsigned(c) < 0x100) ? char(c) : '?';
  return out;
}

// A double-byte stand-in shaped like code page 932, where the second byte of a character may
// be the byte of "`" (0x60) or "~" (0x7E).
std::string DoubleByte(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c == 0x301C) out += "\x81\x60";       // WAVE DASH
    else if (c == 0x00D7) out += "\x81\x7E";  // MULTIPLICATION SIGN
    else out += (unsigned(c) < 0x80) ? char(c) : '?';
  }
  return out;
}

void ExpectSame(const CommandLine& want, const CommandLine& got) {
  EXPECT_EQ(want.display_name, got.display_name);
  EXPECT_EQ(want.install_folder_override, got.install_folder_override);
  EXPECT_EQ(want.uninstall_product, got.uninstall_product);
  EXPECT_EQ(want.launch_after, got.launch_after);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(want.extra_batch[i], got.extra_batch[i]) << "batch " << i + 1;
  EXPECT_EQ(want.automatic, got.automatic);
  EXPECT_EQ(want.silent, got.silent);
  EXPECT_EQ(want.minimized, got.minimized);
  EXPECT_EQ(want.uninstall, got.uninstall);
  EXPECT_EQ(want.error, got.error);
}

std::string Narrow(const std::wstring& text) { return Latin1(text); }

}  // namespace

TEST(CommandLine, SplitsIntoAtoms) {
  struct Case {
    const wchar_t* line;
    std::vector<std::wstring> atoms;
  };
  const Case cases[] = {
      {L"", {}},
      {L"   \t ", {}},
      {L"setup.exe", {}},
      // The program path is dropped even when quoted with blanks inside.
      {L"\"C:\\Program Files\\setup.exe\" /a", {L"/a"}},
      // Every kind of white space separates; runs of it count once.
      {L"setup.exe\t/a \r\n/min\n\n-silent  ", {L"/a", L"/min", L"-silent"}},
      // A quoted run keeps its quotes and its blanks; it can start inside an atom.
      {L"s /d:\"C:\\My Apps\\\" /n:x", {L"/d:\"C:\\My Apps\\\"", L"/n:x"}},
      {L"s /r:\"a b\"c d", {L"/r:\"a b\"c", L"d"}},
      // A doubled quote inside a run stands for one and does not end the run.
      {L"s /n:\"say \"\"hi\"\" now\" x", {L"/n:\"say \"hi\" now\"", L"x"}},
      {L"s \"\" x", {L"\"\"", L"x"}},
      {L"s \"\"\"\" x", {L"\"\"\"", L"x"}},
      // An unclosed run takes the rest of the text, white space included.
      {L"s /n:\"open end\t", {L"/n:\"open end\t"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.line));
    EXPECT_EQ(c.atoms, SplitAtoms(c.line));
  }
}

TEST(CommandLine, OptionsAndTheirValues) {
  struct Case {
    const wchar_t* line;
    CommandLine want;
  };
  const Case cases[] = {
      {L"setup.exe", {}},
      {L"setup.exe /a", {.automatic = true}},
      {L"setup.exe /silent", {.automatic = true, .silent = true}},
      {L"setup.exe /min", {.minimized = true}},
      // Letters match without regard to case; "-" serves as well as "/".
      {L"setup.exe -A /SiLeNt -Min", {.automatic = true, .silent = true, .minimized = true}},
      // An atom of "/" or "-" alone is ignored.
      {L"setup.exe / - /a", {.automatic = true}},

      // /d: loses one pair of quotes and one trailing backslash.
      {L"\"C:\\Program Files\\setup.exe\" /d:\"C:\\My Apps\\Product\\\"",
       {.install_folder_override = L"C:\\My Apps\\Product"}},
      {L"s /D:C:\\Apps", {.install_folder_override = L"C:\\Apps"}},
      {L"s /d:C:\\Apps\\\\", {.install_folder_override = L"C:\\Apps\\"}},
      {L"s /d:\"\"C:\\x\"\"", {.install_folder_override = L"\"C:\\x\""}},
      // A drive root keeps its backslash: "C:" alone would mean the current folder of drive C.
      {L"s /d:\"C:\\\"", {.install_folder_override = L"C:\\"}},
      {L"s /d:\\\\server\\share\\", {.install_folder_override = L"\\\\server\\share"}},
      {L"s /d:", {}},

      {L"s /n:\"My Product 2\"", {.display_name = L"My Product 2"}},
      {L"s /N:Plain", {.display_name = L"Plain"}},
      {L"s /n:\"say \"\"hi\"\"\"", {.display_name = L"say \"hi\""}},

      {L"s /u:\"My Product\"", {.uninstall_product = L"My Product", .uninstall = true}},
      {L"s -U:Name", {.uninstall_product = L"Name", .uninstall = true}},
      {L"s /u /u:X", {.uninstall_product = L"X", .uninstall = true}},

      // /r:" is a three-character prefix; one trailing quote goes, backquotes become quotes.
      {L"s /r:\"C:\\Tools\\app.exe\"", {.launch_after = L"C:\\Tools\\app.exe"}},
      {L"s /R:\"notepad.exe `C:\\a b.txt`\"", {.launch_after = L"notepad.exe \"C:\\a b.txt\""}},
      {L"s /r:\"x\"\"\"", {.launch_after = L"x\""}},

      // /b1:" /b2:" /b3:": backquoted phrase in double quotes, each tilde pair a line break.
      {L"s /b1:\"echo `hello world`~~del x.tmp\"",
       {.extra_batch = {"echo \"hello world\"\r\ndel x.tmp", "", ""}}},
      {L"s /B2:\"a~~~b\" /b3:\"~~\"", {.extra_batch = {"", "a\r\n~b", "\r\n"}}},
      // Converted to the ANSI code page; what does not map becomes "?".
      {L"s /b3:\"caf\u00e9 \u4e2d\"", {.extra_batch = {"", "", "caf\xe9 ?"}}},

      // Later atoms replace what earlier ones set.
      {L"s /n:A /n:B /d:C:\\1 /d:C:\\2", {.display_name = L"B", .install_folder_override = L"C:\\2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.line));
    CommandLine got;
    got.display_name = L"stale";
    EXPECT_TRUE(ParseCommandLine(c.line, Latin1, got));
    ExpectSame(c.want, got);
  }
}

TEST(CommandLine, UsageErrors) {
  struct Case {
    const wchar_t* line;
    const wchar_t* error;
    bool silent;
  };
  const Case cases[] = {
      {L"s /u", L"/u requires Product Name", false},
      {L"s /u:\"\" /a", L"/u requires Product Name", false},
      // Anything starting with U is the uninstall option; without ":" it carries no name.
      {L"s /update", L"/u requires Product Name", false},
      {L"s foo.txt", L"Unexpected command-line parameter:\r\nfoo.txt", false},
      {L"s /a \"/quoted\"", L"Unexpected command-line parameter:\r\n\"/quoted\"", false},
      {L"s /x", L"Illegal command-line atom:\r\n/x", false},
      {L"s -Q:1", L"Illegal command-line atom:\r\n-Q:1", false},
      // Whole-atom options do not match as prefixes.
      {L"s /ab", L"Illegal command-line atom:\r\n/ab", false},
      {L"s /silently", L"Illegal command-line atom:\r\n/silently", false},
      {L"s /minimized", L"Illegal command-line atom:\r\n/minimized", false},
      // /r: and /b1: to /b3: need the opening double quote.
      {L"s /r:C:\\app.exe", L"Illegal command-line atom:\r\n/r:C:\\app.exe", false},
      {L"s /b1:echo", L"Illegal command-line atom:\r\n/b1:echo", false},
      {L"s /b4:\"x\"", L"Illegal command-line atom:\r\n/b4:\"x\"", false},
      // The first bad atom is reported; /silent anywhere keeps the usage box away.
      {L"s /x /y", L"Illegal command-line atom:\r\n/x", false},
      {L"s /silent bad", L"Unexpected command-line parameter:\r\nbad", true},
      {L"s /x -SILENT", L"Illegal command-line atom:\r\n/x", true},
      {L"s /u /silent", L"/u requires Product Name", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.line));
    CommandLine got;
    EXPECT_FALSE(ParseCommandLine(c.line, Latin1, got));
    CommandLine want;
    want.error = c.error;
    want.silent = want.automatic = c.silent;
    ExpectSame(want, got);
  }
}

TEST(CommandLine, OnlyNineteenAtomsAreExamined) {
  std::wstring eighteen = L"setup.exe";
  for (int i = 0; i < 18; ++i) eighteen += L" /a";

  CommandLine got;
  EXPECT_FALSE(ParseCommandLine(eighteen + L" bad", Latin1, got)) << "19th atom is examined";
  EXPECT_EQ(L"Unexpected command-line parameter:\r\nbad", got.error);

  EXPECT_TRUE(ParseCommandLine(eighteen + L" /min bad /x", Latin1, got));
  EXPECT_TRUE(got.minimized);
  EXPECT_TRUE(ParseCommandLine(eighteen + L" /a /silent", Latin1, got));
  EXPECT_FALSE(got.silent) << "20th atom takes no effect";
  // A 20th atom that would fail the /u check is not looked at either.
  EXPECT_TRUE(ParseCommandLine(eighteen + L" /a /u", Latin1, got));
  EXPECT_FALSE(got.uninstall);
}

TEST(CommandLine, BatchSubstitutionsSpareDoubleByteCharacters) {
  CommandLine got;
  ASSERT_TRUE(ParseCommandLine(L"s /b1:\"echo \u301C\u00D7~ `x`~~ver\"", DoubleByte, got));
  EXPECT_EQ("echo \x81\x60\x81\x7E~ \"x\"\r\nver", got.extra_batch[0]);
}

TEST(CommandLine, UsageTextIsExact) {
  const std::wstring expected =
      L"/u requires Product Name\r\n"
      L"\r\n"
      L"Usage:\r\n"
      L"setup.exe [/a] [/b1:\"commands\"] [/b2:\"commands\"] [/b3:\"commands\"] [/d:\"dir\"] "
      L"[/n:\"name\"] [/u:\"name\"] [/r:\"program\"] [/silent]\r\n"
      L"\r\n"
      L"/a                  \tAutomatic mode.\r\n"
      L"/d:\"dir\"        \tOverride installation path.\r\n"
      L"/b1:\"commands\"\tAdd commands to the end of the Pre-Installation Batch.\r\n"
      L"/b2:\"commands\"\tAdd commands to the end of the Post-Installation Batch.\r\n"
      L"/b3:\"commands\"\tAdd commands to the end of the Installation-Exit Batch.\r\n"
      L"/n:\"name\"\tOverride product name.\r\n"
      L"/u:\"name\"\tUninstall product by name.\r\n"
      L"/r:\"program\"\tRun the specified program after a successful installation.\r\n"
      L"/silent\tDisplay no user interface.";
  EXPECT_EQ(expected, UsageText(L"/u requires Product Name", L"setup.exe"));

  // Both texts are taken as they are, never as format strings.
  std::wstring odd = UsageText(L"Illegal command-line atom:\r\n/%s", L"100%d.exe");
  EXPECT_EQ(0u, odd.find(L"Illegal command-line atom:\r\n/%s\r\n\r\nUsage:\r\n100%d.exe [/a] "));
}
