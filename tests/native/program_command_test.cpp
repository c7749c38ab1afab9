// Programs are started by full path: the command that opens the install log with notepad, and the
// program an earlier uninstaller's command names.
#include "foundation/program_command.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "foundation/text_convert.h"

using namespace halberd;

namespace {
std::u16string U(const char* s) { return Utf8ToUtf16(s); }
std::string N(const std::u16string& s) { return Utf16ToUtf8(s); }
}  // namespace

TEST(ProgramCommand, NotepadIsNamedByItsSystemFolderPath) {
  ProgramStart start = SystemProgramStart(u"C:\\Windows\\system32", u"notepad.exe", u"C:\\Program Files\\App\\uninst\\Install.log");
  EXPECT_EQ(N(start.application), "C:\\Windows\\system32\\notepad.exe");
  EXPECT_EQ(N(start.command_line), "\"C:\\Windows\\system32\\notepad.exe\" \"C:\\Program Files\\App\\uninst\\Install.log\"");
  // A folder given with its trailing backslash gets no second one.
  EXPECT_EQ(N(SystemProgramStart(u"C:\\Windows\\system32\\", u"notepad.exe", u"x").application),
            "C:\\Windows\\system32\\notepad.exe");
}

TEST(ProgramCommand, TheProgramOfACommand) {
  struct Case { const char* command; std::optional<const char*> program; };
  const Case cases[] = {
      {"\"C:\\Program Files\\App\\uninstall.exe\" /u:\"App\"", "C:\\Program Files\\App\\uninstall.exe"},
      {"  \"C:\\a b\\u.exe\"", "C:\\a b\\u.exe"},
      // Unquoted with blanks in the path: the path ends with its ".exe", not at the first blank.
      {"C:\\Program Files\\App\\uninstall.exe /u:`App` /r:\"x\"", "C:\\Program Files\\App\\uninstall.exe"},
      {"C:\\Program Files\\App\\UNINSTALL.EXE", "C:\\Program Files\\App\\UNINSTALL.EXE"},
      {"C:\\record_command_line.exe rec.txt /u:`App`", "C:\\record_command_line.exe"},
      // ".exe" inside a folder name does not end the path.
      {"C:\\a.exe.d\\u.exe /x", "C:\\a.exe.d\\u.exe"},
      {"\\\\server\\share\\u.exe /u", "\\\\server\\share\\u.exe"},
      // Unquoted without ".exe": up to the first blank.
      {"C:\\tools\\uninst /u", "C:\\tools\\uninst"},
      // Bare names and relative paths would be searched for: refused.
      {"uninstall.exe /u:\"App\"", std::nullopt},
      {"\"uninstall.exe\" /u", std::nullopt},
      {"..\\uninstall.exe", std::nullopt},
      {"", std::nullopt},
      {"\"C:\\unterminated.exe /u", std::nullopt},
  };
  for (const Case& c : cases) {
    std::optional<std::u16string> got = ProgramOfCommand(U(c.command));
    ASSERT_EQ(got.has_value(), c.program.has_value()) << c.command;
    if (got) {
      EXPECT_EQ(N(*got), *c.program) << c.command;
    }
  }
}
