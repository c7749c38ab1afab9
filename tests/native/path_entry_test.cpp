// The PATH entry: which folder it names, adding it once, and removing exactly what was added so
// that a PATH goes back byte for byte to what it was.
#include "integration/path_entry.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "foundation/text_convert.h"

using namespace halberd;
using namespace halberd::integration;

namespace {

std::u16string U(std::string_view s) { return Utf8ToUtf16(s); }
std::string N(std::u16string_view s) { return Utf16ToUtf8(s); }

// "=" for no change, else the new text.
std::string Show(const std::optional<std::u16string>& text) { return text ? N(*text) : "="; }

// A PATH of `length` characters made of distinct folders, none of them C:\App.
std::string LongPath(size_t length) {
  std::string path;
  for (int i = 0; path.size() < length; ++i) path += (path.empty() ? "" : ";") + ("C:\\Tools\\Folder" + std::to_string(i));
  path.resize(length);
  if (path.back() == ';' || path.back() == '\\') path.back() = 'x';
  return path;
}

}  // namespace

TEST(PathEntry, FolderFromTheSetting) {
  struct Case {
    const char* install_folder;
    const char* setting;
    const char* folder;
  };
  const Case cases[] = {
      {"C:\\Program Files\\App", "", "C:\\Program Files\\App"},
      {"C:\\Program Files\\App", "bin", "C:\\Program Files\\App\\bin"},
      {"C:\\Program Files\\App", "bin\\", "C:\\Program Files\\App\\bin"},
      {"C:\\Program Files\\App", "..\\Shared", "C:\\Program Files\\Shared"},
      {"C:\\Program Files\\App", "D:\\Tools", "D:\\Tools"},
      {"C:\\Program Files\\App", "\\\\server\\share\\bin", "\\\\server\\share\\bin"},
      {"C:\\", "", "C:\\"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(N(PathEntryFolder(U(c.install_folder), U(c.setting))), c.folder) << c.install_folder << " + " << c.setting;
}

TEST(PathEntry, AddsOnceAtTheEnd) {
  struct Case {
    const char* path;
    const char* folder;
    const char* result;  // "=": unchanged
  };
  const Case cases[] = {
      {"X", "C:\\App", "X;C:\\App"},
      {"X;", "C:\\App", "X;C:\\App"},
      {"X;C:\\app", "C:\\App", "="},
      {"C:\\APP;X", "C:\\App", "="},
      {"X;C:\\App\\;Y", "C:\\App", "="},   // a trailing backslash names the same folder
      {"X;C:\\App;Y", "C:\\App\\", "="},
      {"X;C:\\Apps", "C:\\App", "X;C:\\Apps;C:\\App"},  // a longer name is another folder
      {"X;C:\\App\\bin", "C:\\App", "X;C:\\App\\bin;C:\\App"},
      {"C:\\App2;X", "C:\\App", "C:\\App2;X;C:\\App"},
      {"", "C:\\App", "="},  // an empty PATH is never filled
      {"X;;Y", "C:\\App", "X;;Y;C:\\App"},
      {"%SystemRoot%\\system32;%SystemRoot%", "C:\\App", "%SystemRoot%\\system32;%SystemRoot%;C:\\App"},
      {"X;C:\\Müller", "C:\\MÜLLER", "="},  // case beyond ASCII
  };
  for (const Case& c : cases) EXPECT_EQ(Show(PathWithFolder(U(c.path), U(c.folder))), c.result) << c.path;
}

TEST(PathEntry, RemovesExactlyTheAddedEntry) {
  struct Case {
    const char* path;
    const char* folder;
    const char* result;
  };
  const Case cases[] = {
      {"X;C:\\App;Y", "C:\\App", "X;Y"},
      {"X;C:\\App", "C:\\App", "X"},
      {"C:\\App;X", "C:\\App", "X"},
      {"C:\\App", "C:\\App", ""},
      {"X;C:\\App;Y;C:\\App", "C:\\App", "X;C:\\App;Y"},  // the last one, which the installer appended
      {"X;C:\\Apps;Y", "C:\\App", "="},                   // never a part of another entry
      {"X;C:\\App\\bin", "C:\\App", "="},
      {"X;c:\\app;Y", "C:\\App", "="},                    // the user's own spelling stays
      {"X;C:\\App\\", "C:\\App", "="},
      {"", "C:\\App", "="},
      {"X", "C:\\App", "="},
  };
  for (const Case& c : cases) EXPECT_EQ(Show(PathWithoutFolder(U(c.path), U(c.folder))), c.result) << c.path;
}

// Added at installation and removed at uninstallation, each PATH ends as it began, byte for byte,
// and nothing of it is cut whatever its length.
TEST(PathEntry, AddThenRemoveGivesTheSamePath) {
  const std::string long_path = LongPath(4000);
  const std::string very_long_path = LongPath(40000);
  struct Case {
    std::string name;
    std::string path;
    bool adds;
  };
  const Case cases[] = {
      {"empty", "", false},
      {"4,000 characters", long_path, true},
      {"40,000 characters", very_long_path, true},
      {"already there in another case", "C:\\Windows;c:\\APP\\;C:\\Tools", false},
      {"expandable entries",
       "%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem;%SYSTEMROOT%\\System32\\WindowsPowerShell\\v1.0\\",
       true},
      {"one entry", "C:\\Windows", true},
  };
  const std::u16string folder = u"C:\\App";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::u16string before = U(c.path);
    std::optional<std::u16string> added = PathWithFolder(before, folder);
    ASSERT_EQ(added.has_value(), c.adds);
    if (!added) {
      // Nothing was added, so the uninstaller finds no entry of ours to take out.
      EXPECT_FALSE(PathWithoutFolder(before, folder).has_value());
      continue;
    }
    ASSERT_EQ(added->size(), before.size() + 1 + folder.size());
    EXPECT_EQ(added->substr(0, before.size()), before);
    EXPECT_EQ(added->substr(before.size()), u";C:\\App");
    std::optional<std::u16string> removed = PathWithoutFolder(*added, folder);
    ASSERT_TRUE(removed.has_value());
    EXPECT_EQ(*removed, before);
  }
}
