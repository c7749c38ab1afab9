// The list of pending restart operations: reading and writing the multi-string value with its
// empty deletion targets, the comparison form, and the cleaning that takes out the operations
// which would destroy a file just installed.
#include "install/pending_operations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/text_convert.h"

using namespace halberd;
using namespace halberd::install;

namespace {
std::u16string U(const char* s) { return Utf8ToUtf16(s); }
std::vector<std::u16string> Us(std::initializer_list<const char*> list) {
  std::vector<std::u16string> out;
  for (const char* s : list) out.push_back(U(s));
  return out;
}
std::u16string Data(std::string_view with_nulls) {
  return Utf8ToUtf16(with_nulls);  // std::string_view keeps the embedded nulls
}
using namespace std::string_view_literals;
}  // namespace

TEST(PendingOperations, SplitsAndJoinsTheValueKeepingEmptyTargets) {
  struct Case {
    const char* name;
    std::string_view data;
    std::vector<std::u16string> entries;
  };
  const Case cases[] = {
      {"a move and a deletion", "\\??\\C:\\t.tmp\0!\\??\\C:\\a.dll\0\\??\\C:\\old.txt\0\0\0"sv,
       Us({"\\??\\C:\\t.tmp", "!\\??\\C:\\a.dll", "\\??\\C:\\old.txt", ""})},
      {"a deletion in the middle", "\\??\\C:\\x\0\0\\??\\C:\\s\0\\??\\C:\\d\0\0"sv,
       Us({"\\??\\C:\\x", "", "\\??\\C:\\s", "\\??\\C:\\d"})},
      {"empty value", ""sv, {}},
      {"only the closing null", "\0"sv, {}},
      {"last entry without its null", "\\??\\C:\\s\0\\??\\C:\\d"sv, Us({"\\??\\C:\\s", "\\??\\C:\\d"})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitPendingOperations(Data(c.data)), c.entries) << c.name;
  }
  // What is written reads back the same, empty targets included.
  auto entries = Us({"\\??\\C:\\x", "", "\\??\\C:\\s", "!\\??\\C:\\d", "\\??\\C:\\y", ""});
  std::u16string data = JoinPendingOperations(entries);
  EXPECT_EQ(data, Data("\\??\\C:\\x\0\0\\??\\C:\\s\0!\\??\\C:\\d\0\\??\\C:\\y\0\0\0"sv));
  EXPECT_EQ(SplitPendingOperations(data), entries);
  EXPECT_EQ(JoinPendingOperations({}), Data("\0"sv));
}

TEST(PendingOperations, ComparisonFormAndFilePaths) {
  struct Case {
    const char* path;
    const char* normalised;
    const char* file_path;
  };
  const Case cases[] = {
      {"\\??\\C:\\Program Files\\App\\A.DLL", "c:\\program files\\app\\a.dll", "C:\\Program Files\\App\\A.DLL"},
      {"!\\??\\C:\\App\\A.dll", "c:\\app\\a.dll", "C:\\App\\A.dll"},
      {"C:\\App\\A.dll", "c:\\app\\a.dll", "C:\\App\\A.dll"},
      {"\\\\?\\C:\\App\\A.dll", "c:\\app\\a.dll", "\\\\?\\C:\\App\\A.dll"},
      {"\\??\\UNC\\server\\share\\A.dll", "unc\\server\\share\\a.dll", "\\\\server\\share\\A.dll"},
      // Only A to Z are lowered.
      {"\\??\\C:\\ÄPFEL\\É.TXT", "c:\\Äpfel\\É.txt", "C:\\ÄPFEL\\É.TXT"},
      {"\\??\\", "", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormalisePendingPath(U(c.path)), U(c.normalised)) << c.path;
    EXPECT_EQ(PendingPathToFilePath(U(c.path)), U(c.file_path)) << c.path;
  }
}

TEST(PendingOperations, CleaningTakesOutWhatWouldDestroyAnInstalledFile) {
  struct Case {
    const char* name;
    std::vector<std::u16string> entries;
    std::vector<std::u16string> kept;
    std::vector<PendingRemoval> removed;
  };
  const auto installed = Us({"C:\\Program Files\\App\\app.exe", "C:\\Program Files\\App\\Lib.dll"});
  const Case cases[] = {
      {"a move over an installed file (target with the replace mark)",
       Us({"\\??\\C:\\Program Files\\App\\TLT1.tmp", "!\\??\\C:\\PROGRAM FILES\\APP\\APP.EXE"}), {},
       {{true, U("C:\\Program Files\\App\\app.exe"), U("\\??\\C:\\Program Files\\App\\TLT1.tmp")}}},
      {"a deletion of an installed file", Us({"\\??\\c:\\program files\\app\\lib.dll", ""}), {},
       {{false, U("C:\\Program Files\\App\\Lib.dll"), U("\\??\\c:\\program files\\app\\lib.dll")}}},
      {"other pairs stay, in order",
       Us({"\\??\\C:\\other\\a.txt", "", "\\??\\C:\\Program Files\\App\\app.exe", "", "\\??\\C:\\t.tmp",
           "!\\??\\C:\\other\\b.txt"}),
       Us({"\\??\\C:\\other\\a.txt", "", "\\??\\C:\\t.tmp", "!\\??\\C:\\other\\b.txt"}),
       {{false, U("C:\\Program Files\\App\\app.exe"), U("\\??\\C:\\Program Files\\App\\app.exe")}}},
      // Moving an installed file away is not what the cleaning is about: its target decides.
      {"an installed file as the source of a move stays",
       Us({"\\??\\C:\\Program Files\\App\\app.exe", "\\??\\C:\\elsewhere.exe"}),
       Us({"\\??\\C:\\Program Files\\App\\app.exe", "\\??\\C:\\elsewhere.exe"}), {}},
      {"a file in another folder with the same name stays", Us({"\\??\\C:\\Other\\app.exe", ""}),
       Us({"\\??\\C:\\Other\\app.exe", ""}), {}},
      {"an odd last entry is dropped", Us({"\\??\\C:\\other\\a.txt", "", "\\??\\C:\\dangling.txt"}),
       Us({"\\??\\C:\\other\\a.txt", ""}), {}},
      {"an odd last entry that names an installed file is dropped too",
       Us({"\\??\\C:\\Program Files\\App\\app.exe"}), {}, {}},
      {"empty list", {}, {}, {}},
  };
  for (const Case& c : cases) {
    CleanedPendingOperations cleaned = CleanPendingList(c.entries, installed);
    EXPECT_EQ(cleaned.entries, c.kept) << c.name;
    ASSERT_EQ(cleaned.removed.size(), c.removed.size()) << c.name;
    for (size_t i = 0; i < c.removed.size(); ++i) {
      EXPECT_EQ(cleaned.removed[i].is_move, c.removed[i].is_move) << c.name;
      EXPECT_EQ(cleaned.removed[i].installed_file, c.removed[i].installed_file) << c.name;
      EXPECT_EQ(cleaned.removed[i].source, c.removed[i].source) << c.name;
    }
  }
}

TEST(PendingOperations, NoInstalledFilesTakesNothingOut) {
  auto entries = Us({"\\??\\C:\\a.txt", "", "\\??\\C:\\t.tmp", "!\\??\\C:\\b.txt"});
  CleanedPendingOperations cleaned = CleanPendingList(entries, {});
  EXPECT_EQ(cleaned.entries, entries);
  EXPECT_TRUE(cleaned.removed.empty());
  // An installed file that normalises to nothing matches no entry.
  cleaned = CleanPendingList(Us({"\\??\\", ""}), Us({"\\??\\"}));
  EXPECT_TRUE(cleaned.removed.empty());
}
