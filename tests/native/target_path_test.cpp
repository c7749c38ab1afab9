// Where a file entry goes: new names, expansion, relative resolution, the trailing backslash, the
// uninstall-folder flag, the kinds' base folders and the portable shared sub-folder.
#include "install/target_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/text_convert.h"

using namespace halberd;
using namespace halberd::install;

namespace {

std::u16string U(const char* s) { return Utf8ToUtf16(s); }
std::string N(const std::u16string& s) { return Utf16ToUtf8(s); }

TargetFolders Folders() {
  TargetFolders f;
  f.install = u"C:\\Program Files\\App";
  f.uninstall = u"C:\\Program Files\\App\\Uninstall";
  f.shared = u"C:\\Program Files\\Common Files\\Vendor";
  f.fonts = u"C:\\windows\\Fonts";
  f.system = u"C:\\windows\\system32";
  return f;
}

// Stands in for the path variables: %InstallDir% and %CommonDir% only.
void Expand(std::u16string& t) {
  for (auto [from, to] : {std::pair{u"%InstallDir%", u"C:\\Program Files\\App"},
                          std::pair{u"%CommonDir%", u"C:\\Program Files\\Common Files"}}) {
    std::u16string f(from);
    for (size_t at; (at = t.find(f)) != std::u16string::npos;) t.replace(at, f.size(), to);
  }
}

}  // namespace

TEST(TargetPath, FollowsTheTargetTextTheFlagsAndTheKind) {
  struct Case {
    const char* what;
    const char* name;
    const char* target;
    int kind;
    uint32_t flags;
    const char* path;
    const char* final_name;
    bool explicit_folder;
  };
  const Case cases[] = {
      {"no target: the kind's folder", "a.txt", "", 0, 0, "C:\\Program Files\\App\\a.txt", "a.txt", true},
      {"trailing backslash appends the name", "a.txt", "bin\\", 0, 0, "C:\\Program Files\\App\\bin\\a.txt", "a.txt", true},
      {"without a trailing backslash the text is the path", "a.txt", "bin\\b.txt", 0, 0,
       "C:\\Program Files\\App\\bin\\b.txt", "a.txt", true},
      {"no backslash: a new name", "a.txt", "renamed.txt", 0, 0, "C:\\Program Files\\App\\renamed.txt", "renamed.txt", true},
      {"a doubled trailing backslash counts once", "a.txt", "bin\\\\", 0, 0, "C:\\Program Files\\App\\bin\\a.txt", "a.txt",
       true},
      {"climbs with ..\\", "a.txt", "..\\Other\\", 0, 0, "C:\\Program Files\\Other\\a.txt", "a.txt", true},
      {"a leading backslash is on the base's drive", "a.txt", "\\Data\\", 0, 0, "C:\\Data\\a.txt", "a.txt", true},
      {"a full path stays", "a.txt", "D:\\Elsewhere\\", 0, 0, "D:\\Elsewhere\\a.txt", "a.txt", true},
      {"a network path stays", "a.txt", "\\\\server\\share\\", 0, 0, "\\\\server\\share\\a.txt", "a.txt", true},
      {"variables are expanded", "a.txt", "%CommonDir%\\Vendor\\", 0, 0, "C:\\Program Files\\Common Files\\Vendor\\a.txt",
       "a.txt", true},
      {"the uninstall-folder flag", "u.ico", "", 0, kFlagInUninstallFolder, "C:\\Program Files\\App\\Uninstall\\u.ico",
       "u.ico", false},
      {"kind 1: shared folder", "s.dll", "", 1, 0, "C:\\Program Files\\Common Files\\Vendor\\s.dll", "s.dll", false},
      {"kind 1: a target is resolved against the shared folder", "s.dll", "sub\\", 1, 0,
       "C:\\Program Files\\Common Files\\Vendor\\sub\\s.dll", "s.dll", true},
      {"kind 4: fonts", "f.ttf", "", 4, 0, "C:\\windows\\Fonts\\f.ttf", "f.ttf", false},
      {"kind 6: system folder", "x.dll", "", 6, 0, "C:\\windows\\system32\\x.dll", "x.dll", false},
      {"kind 9: installation folder", "n.dll", "", 9, 0, "C:\\Program Files\\App\\n.dll", "n.dll", true},
      {"kind 2 with a target is valid", "k.txt", "kept\\", 2, 0, "C:\\Program Files\\App\\kept\\k.txt", "k.txt", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TargetPath t = ResolveTargetPath(U(c.name), U(c.target), c.kind, c.flags, Folders(), Expand);
    EXPECT_EQ(t.corrupt, 0);
    EXPECT_EQ(N(t.path), c.path);
    EXPECT_EQ(N(t.name), c.final_name);
    EXPECT_EQ(t.explicit_folder, c.explicit_folder);
  }
}

TEST(TargetPath, KindsWithoutAFolderAreCorrupt) {
  for (int kind : {2, 3, 13, -1, 1000}) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(ResolveTargetPath(u"a.txt", u"", kind, 0, Folders(), Expand).corrupt, 110);
  }
  // A target text does not give an unknown kind a folder.
  EXPECT_EQ(ResolveTargetPath(u"a.txt", u"bin\\", 13, 0, Folders(), Expand).corrupt, 110);
}

TEST(TargetPath, PortableSharedFilesGoStraightIntoTheSharedFolder) {
  TargetFolders f = Folders();
  f.shared = u"E:\\App\\Shared";
  f.portable_shared_subfolder = true;
  struct Case {
    const char* target;
    const char* path;
  };
  const Case cases[] = {
      {"", "E:\\App\\Shared\\s.dll"},
      {"new.dll", "E:\\App\\Shared\\new.dll"},           // the new name stays, the folder goes
      {"D:\\Full\\", "E:\\App\\Shared\\s.dll"},
      {"%CommonDir%\\V\\", "E:\\App\\Shared\\s.dll"},
      {"sub\\", "E:\\App\\Shared\\sub\\s.dll"},          // a relative folder is kept
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    EXPECT_EQ(N(ResolveTargetPath(u"s.dll", U(c.target), 1, 0, f, Expand).path), c.path);
  }
}

TEST(TargetPath, SharedFilesWithoutASharedFolderStayInTheInstallationFolder) {
  TargetFolders f = Folders();
  f.shared.clear();
  EXPECT_EQ(N(ResolveTargetPath(u"s.dll", u"", 1, 0, f, Expand).path), "C:\\Program Files\\App\\s.dll");
}

TEST(TargetPath, FoldersCompareWithoutCaseOrTrailingBackslash) {
  EXPECT_TRUE(SameFolder(u"C:\\Program Files\\App", u"c:\\program files\\app\\"));
  EXPECT_TRUE(SameFolder(u"C:/Program Files/App", u"C:\\Program Files\\App"));
  EXPECT_FALSE(SameFolder(u"C:\\Program Files\\App", u"C:\\Program Files\\App\\bin"));
}

// The levels looked at for planted links before a file is written: only those below the
// installation folder, outermost first.
TEST(TargetPath, FoldersBelowTheInstallationFolderAreTheLevelsBetween) {
  struct Case {
    const char* path;
    const char* install;
    std::vector<std::string> levels;
  };
  const Case cases[] = {
      {"C:\\App\\a.txt", "C:\\App", {}},
      {"C:\\App\\bin\\a.txt", "C:\\App", {"C:\\App\\bin"}},
      {"C:\\App\\bin\\deep\\a.txt", "c:\\app\\", {"C:\\App\\bin", "C:\\App\\bin\\deep"}},
      {"C:\\Windows\\system32\\a.dll", "C:\\App", {}},    // outside: not the product's folder
      {"C:\\Apple\\a.txt", "C:\\App", {}},                // a name that only begins alike
      {"C:\\App\\bin\\a.txt", "", {}},
      {"a.txt", "C:\\App", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::vector<std::string> got;
    for (const std::u16string& level : FoldersBelowInstallFolder(U(c.path), U(c.install))) got.push_back(N(level));
    EXPECT_EQ(got, c.levels);
  }
}
