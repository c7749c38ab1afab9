// The default installation folder of the setup script: display-name default, "<os>" and the path
// variables, Program Files of the product's bitness, absolute and deferred folders, and /d:.
#include "engine/default_install_folder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "foundation/text_convert.h"
#include "variables/path_variables.h"

using namespace halberd;
using namespace halberd::engine;

namespace {
std::u16string U(const char* s) { return Utf8ToUtf16(s); }
std::string N(std::u16string_view s) { return Utf16ToUtf8(s); }
}  // namespace

TEST(DefaultInstallFolder, Rules) {
  struct Case {
    const char* script_folder;
    const char* display_name;
    uint8_t bitness;
    const char* command_line;
    const char* result;
  };
  const Case cases[] = {
      // An empty script folder: the display name, in Program Files of the product's bitness.
      {"", "Prod", 0, "", "C:\\PF32\\Prod"},
      {"", "Prod", 2, "", "C:\\PF32\\Prod"},
      {"", "Prod", 1, "", "C:\\PF64\\Prod"},
      // The display name is taken as it is, without expansion.
      {"", "Prod %Version%", 0, "", "C:\\PF32\\Prod %Version%"},
      // Relative folders go into Program Files after expansion.
      {"Acme\\%ProductName%", "Prod", 0, "", "C:\\PF32\\Acme\\Prod"},
      {"Acme\\%productname% %Version%\\", "Prod", 1, "", "C:\\PF64\\Acme\\Prod 2.1"},
      {"\\Acme\\Prod", "Prod", 0, "", "C:\\PF32\\Acme\\Prod"},
      // "<os>" (any case) is the Windows folder, which makes the folder absolute.
      {"<os>\\Tools", "Prod", 0, "", "C:\\Windows\\Tools"},
      {"<OS>\\Tools\\<os>", "Prod", 0, "", "C:\\Windows\\Tools\\C:\\Windows"},
      // A folder that expands to an absolute one is not put into Program Files again.
      {"%ProgramsDir%\\Acme", "Prod", 0, "", "C:\\PF32\\Acme"},
      {"D:\\Apps\\Prod\\", "Prod", 1, "", "D:\\Apps\\Prod"},
      {"d:Prod", "Prod", 0, "", "d:Prod"},
      {"\\\\server\\share\\Prod", "Prod", 0, "", "\\\\server\\share\\Prod"},
      {"D:\\", "Prod", 0, "", "D:\\"},
      // Folders settled later: the master product's, or a registry value.
      {"<master>", "Prod", 0, "", "<master>"},
      {"<MASTER>", "Prod", 0, "", "<MASTER>"},
      {"HKLM\\Software\\Acme\\Path", "Prod", 0, "", "HKLM\\Software\\Acme\\Path"},
      {"HKCU\\Software\\Acme\\Path", "Prod", 1, "", "HKCU\\Software\\Acme\\Path"},
      {"hklm\\Software\\Acme", "Prod", 0, "", "C:\\PF32\\hklm\\Software\\Acme"},  // the prefix is exact
      {"<master>\\x", "Prod", 0, "", "C:\\PF32\\<master>\\x"},
      // A folder that expands to nothing falls back to the display name, never to Program Files.
      {"%Language%", "Prod", 0, "", "C:\\PF32\\Prod"},
      {"", "", 0, "", ""},
      {"%Language%", "", 0, "", ""},
      // /d: replaces the result, taken as it is (it is expanded when the folder is settled).
      {"Acme\\Prod", "Prod", 0, "E:\\Custom\\", "E:\\Custom"},
      {"<master>", "Prod", 0, "E:\\Custom", "E:\\Custom"},
      {"Acme\\Prod", "Prod", 0, "%ProgramFiles%\\Acme", "%ProgramFiles%\\Acme"},
      // ... but a folder the script reads from the registry takes precedence over /d:.
      {"HKLM\\Software\\Acme\\Path", "Prod", 0, "E:\\Custom", "HKLM\\Software\\Acme\\Path"},
      {"HKCU\\Software\\Acme\\Path", "Prod", 1, "E:\\Custom\\", "HKCU\\Software\\Acme\\Path"},
      {"hklm\\Software\\Acme", "Prod", 0, "E:\\Custom", "E:\\Custom"},
  };
  for (const Case& c : cases) {
    DefaultInstallFolderInputs in;
    in.script_folder = U(c.script_folder);
    in.display_name = U(c.display_name);
    in.windows_folder = u"C:\\Windows";
    in.bitness = c.bitness;
    in.command_line_folder = U(c.command_line);
    in.program_files = [](bool sixty_four_bit) { return sixty_four_bit ? u"C:\\PF64" : u"C:\\PF32"; };
    in.expand = [&in](std::u16string& text) {
      variables::ReplaceAll(text, u"%ProductName%", in.display_name, true);
      variables::ReplaceAll(text, u"%Version%", u"2.1", true);
      variables::ReplaceAll(text, u"%ProgramsDir%", u"C:\\PF32", true);
      variables::ReplaceAll(text, u"%Language%", u"", true);
    };
    EXPECT_EQ(N(DefaultInstallFolder(in)), c.result) << c.script_folder << " / " << c.display_name;
  }
}

// The chosen folder is expanded once with the path variables and the environment: a /d: folder
// such as "%ProgramFiles%\\Acme" names the real folder, and what a value brings in is not
// expanded again.
TEST(DefaultInstallFolder, ChosenFolderIsExpandedOnce) {
  variables::PathVariableInputs inputs;
  inputs.product_name = u"Prod";
  inputs.version = u"2.1";
  const variables::EnvironmentLookup environment = [](std::u16string_view name) -> std::optional<std::u16string> {
    if (name == u"ProgramFiles") return u"C:\\Program Files (x86)";
    if (name == u"Tricky") return u"%ProgramFiles%";
    return std::nullopt;
  };
  auto expand = [&](std::u16string& text) { variables::ExpandPathVariables(text, inputs, environment); };
  struct Case { const char* chosen; const char* result; };
  for (Case c : {Case{"%ProgramFiles%\\Acme", "C:\\Program Files (x86)\\Acme"},
                 Case{"D:\\%ProductName% %Version%", "D:\\Prod 2.1"},
                 Case{"D:\\%Tricky%", "D:\\%ProgramFiles%"},
                 Case{"D:\\100% sure", "D:\\100% sure"},
                 Case{"D:\\", "D:\\"}}) {
    EXPECT_EQ(N(ExpandChosenFolder(U(c.chosen), expand)), c.result) << c.chosen;
  }
}
