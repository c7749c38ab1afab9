// The checks of a chosen installation folder, in their order, with drive facts from a fixture;
// the closing of running programs (window patterns) and the restore point's description.
#include "engine/install_folder_checks.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/restore_point.h"
#include "engine/running_programs.h"
#include "foundation/text_convert.h"

using namespace halberd;
using namespace halberd::engine;

namespace {
std::u16string U(const char* s) { return Utf8ToUtf16(s); }
std::string N(std::u16string_view s) { return Utf16ToUtf8(s); }

// Drives: C: fixed, D: CD-ROM (read-only), E: removable, N: network; others missing.
DriveFacts FixtureDrives() {
  auto letter = [](std::u16string_view drive) { return char16_t(drive[0] & ~0x20); };
  DriveFacts f;
  f.available = [letter](std::u16string_view d) { return std::u16string(u"CDEN").find(letter(d)) != std::u16string::npos; };
  f.network = [letter](std::u16string_view d) { return letter(d) == u'N'; };
  f.read_only = [letter](std::u16string_view d) { return letter(d) == u'D'; };
  f.removable = [letter](std::u16string_view d) { return letter(d) == u'D' || letter(d) == u'E'; };
  return f;
}

std::u16string Texts(int n) {
  switch (n) {
    case 14: return u"T14";
    case 16: return u"T16 %s";
    case 17: return u"T17";
    case 18: return u"T18 %s";
    case 30: return u"T30";
    case 66: return u"T66";
    case 96: return u"T96 %s";
    default: return u"";
  }
}
}  // namespace

TEST(InstallFolderChecks, Table) {
  struct Case {
    const char* text;
    bool refuse_network, refuse_removable, ascii_only;
    FolderCheck check;
    const char* message;
    const char* folder;
  };
  const Case cases[] = {
      {"C:\\Apps\\Prod", false, false, false, FolderCheck::kPassed, "", "C:\\Apps\\Prod"},
      {"  \"C:\\Apps\\Prod\\\"  ", false, false, false, FolderCheck::kPassed, "", "C:\\Apps\\Prod"},
      {"", false, false, false, FolderCheck::kEmpty, "", ""},
      {" \"\" ", false, false, false, FolderCheck::kEmpty, "", ""},
      // Not a valid absolute path.
      {"Apps\\Prod", false, false, false, FolderCheck::kInvalid, "T14\r\n\r\nApps\\Prod", "Apps\\Prod"},
      {"C:\\Apps\\Pro*d", false, false, false, FolderCheck::kInvalid, "T14\r\n\r\nC:\\Apps\\Pro*d", "C:\\Apps\\Pro*d"},
      {"C:\\Apps\\\\Prod", false, false, false, FolderCheck::kInvalid, "T14\r\n\r\nC:\\Apps\\\\Prod", "C:\\Apps\\\\Prod"},
      {"1:\\Prod", false, false, false, FolderCheck::kInvalid, "T14\r\n\r\n1:\\Prod", "1:\\Prod"},
      // Special folders, letter case and a trailing backslash ignored.
      {"c:\\users\\me\\desktop", false, false, false, FolderCheck::kInvalid, "T14\r\n\r\nc:\\users\\me\\desktop",
       "c:\\users\\me\\desktop"},
      {"C:\\Users\\", false, false, false, FolderCheck::kInvalid, "T14\r\n\r\nC:\\Users", "C:\\Users"},
      {"C:\\Users\\me\\Desktop\\Prod", false, false, false, FolderCheck::kPassed, "", "C:\\Users\\me\\Desktop\\Prod"},
      // A missing drive.
      {"Q:\\Prod", false, false, false, FolderCheck::kDriveMissing, "T16 Q:", "Q:\\Prod"},
      // Network folders, refused only with the flag.
      {"\\\\server\\share\\Prod", true, false, false, FolderCheck::kNetwork, "T66", "\\\\server\\share\\Prod"},
      {"N:\\Prod", true, false, false, FolderCheck::kNetwork, "T66", "N:\\Prod"},
      {"N:\\Prod", false, false, false, FolderCheck::kPassed, "", "N:\\Prod"},
      {"\\\\server\\share\\Prod", false, false, false, FolderCheck::kPassed, "", "\\\\server\\share\\Prod"},
      // A drive root, with or without its backslash.
      {"C:\\", false, false, false, FolderCheck::kDriveRoot, "T17", "C:"},
      {"C:", false, false, false, FolderCheck::kDriveRoot, "T17", "C:"},
      // Program Files itself, but not a folder inside it.
      {"c:\\program files", false, false, false, FolderCheck::kProgramFiles, "T18 C:\\Program Files", "c:\\program files"},
      {"C:\\Program Files (x86)\\", false, false, false, FolderCheck::kProgramFiles, "T18 C:\\Program Files (x86)",
       "C:\\Program Files (x86)"},
      {"C:\\Program Files\\Prod", false, false, false, FolderCheck::kPassed, "", "C:\\Program Files\\Prod"},
      // A read-only volume always; a removable drive with the flag.
      {"D:\\Prod", false, false, false, FolderCheck::kReadOnlyDrive, "T96 D:", "D:\\Prod"},
      {"E:\\Prod", false, true, false, FolderCheck::kReadOnlyDrive, "T96 E:", "E:\\Prod"},
      {"E:\\Prod", false, false, false, FolderCheck::kPassed, "", "E:\\Prod"},
      // Letters outside ASCII, refused only with the flag.
      {"C:\\Apps\\Caf\xC3\xA9", false, false, true, FolderCheck::kNonAscii, "T30", "C:\\Apps\\Caf\xC3\xA9"},
      {"C:\\Apps\\Caf\xC3\xA9", false, false, false, FolderCheck::kPassed, "", "C:\\Apps\\Caf\xC3\xA9"},
      // The order: a missing drive is found before a drive root, an invalid path before all.
      {"Q:\\", false, false, false, FolderCheck::kDriveMissing, "T16 Q:", "Q:"},
      {"\\\\server\\share\\Caf\xC3\xA9", true, false, true, FolderCheck::kNetwork, "T66", "\\\\server\\share\\Caf\xC3\xA9"},
  };
  for (const Case& c : cases) {
    FolderRules rules;
    rules.special_folders = {u"C:\\Users\\Public\\Desktop", u"C:\\Users\\me\\Desktop",
                             u"C:\\ProgramData\\Start Menu", u"C:\\Users\\me\\Start Menu", u"C:\\Users"};
    rules.program_files_32 = u"C:\\Program Files (x86)";
    rules.program_files_64 = u"C:\\Program Files";
    rules.refuse_network = c.refuse_network;
    rules.refuse_removable = c.refuse_removable;
    rules.ascii_only = c.ascii_only;
    FolderCheckResult r = CheckInstallFolder(U(c.text), rules, FixtureDrives(), Texts);
    EXPECT_EQ(int(r.check), int(c.check)) << c.text;
    EXPECT_EQ(N(r.message), c.message) << c.text;
    EXPECT_EQ(N(r.folder), c.folder) << c.text;
  }
}

TEST(RunningPrograms, WindowPatterns) {
  struct Case {
    const char* pattern;
    const char* text;
    bool matches;
  };
  const Case cases[] = {
      {"", "anything", true},         {"Notepad", "notepad", true},  {"Notepad", "Notepad2", false},
      {"*pad", "Notepad - x.txt", true}, {"*PAD", "notepad", true},  {"*pad", "Note", false},
      {"*", "", true},                {"x", "", false},
  };
  for (const Case& c : cases) EXPECT_EQ(WindowPatternMatches(U(c.pattern), U(c.text)), c.matches) << c.pattern << " " << c.text;
}

TEST(RunningPrograms, FirstInstallEntryMatches) {
  std::vector<format::AutoCloseEntry> entries = {
      {u"Viewer", u"", u"uninstall only", kCloseByMessage, kCloseWhileUninstalling},
      {u"Viewer", u"*report", u"Viewer", kCloseTerminate, kCloseWhileInstalling | kCloseWhileUninstalling},
      {u"", u"", u"anything else", kCloseAskUser, kCloseWhileInstalling},
  };
  const format::AutoCloseEntry* e = FindCloseEntry(entries, u"viewer", u"Monthly Report");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(N(e->program_name), "Viewer");
  e = FindCloseEntry(entries, u"Viewer", u"Other");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(N(e->program_name), "anything else");
  EXPECT_EQ(FindCloseEntry({entries[0]}, u"Viewer", u""), nullptr);  // not for installing

  std::vector<format::AutoCloseEntry> kept = EntriesForUninstall(entries);
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(N(kept[0].program_name), "uninstall only");
  EXPECT_EQ(N(kept[1].program_name), "Viewer");
}

TEST(RestorePoint, Description) {
  EXPECT_EQ(N(RestorePointDescription(u"Prod", u"2.1")), "Prod 2.1");
  EXPECT_EQ(N(RestorePointDescription(u"Prod", u"")), "Prod");
  std::u16string long_name(300, u'n');
  EXPECT_EQ(RestorePointDescription(long_name, u"1.0").size(), 255u);
}
