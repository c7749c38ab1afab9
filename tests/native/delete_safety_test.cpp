// What the uninstaller may delete: links planted in the installation folder, the whole-tree
// deletion of the installation folder, and the trust in the uninstall data file.
#include "uninstall/delete_safety.h"

#include <gtest/gtest.h>

#include <map>

using namespace halberd::uninstall;

namespace {

// A small file system: paths (upper case not needed: the check asks with the recorded text).
PathKindOf FileSystem(std::map<std::u16string, PathKind> entries) {
  return [entries](const std::u16string& path) {
    auto it = entries.find(path);
    return it == entries.end() ? PathKind::kMissing : it->second;
  };
}

}  // namespace

TEST(DeleteSafety, LinksInsideTheInstallationFolderAreNeverFollowed) {
  const std::u16string app = u"C:\\Program Files\\App";
  const PathKindOf fs = FileSystem({
      {app, PathKind::kFolder},
      {app + u"\\bin", PathKind::kFolder},
      {app + u"\\bin\\app.exe", PathKind::kFile},
      {app + u"\\data", PathKind::kLink},  // planted after installation, points elsewhere
      {app + u"\\data\\settings.ini", PathKind::kFile},
      {app + u"\\data\\sub", PathKind::kFolder},
      {app + u"\\data\\sub\\x.txt", PathKind::kFile},
      {app + u"\\shortcut.lnk", PathKind::kLink},  // a file link in its own right
      {u"C:\\Users\\Ann\\Desktop\\App.lnk", PathKind::kFile},
      {u"C:\\Users\\Ann\\Start Menu\\Programs\\App", PathKind::kLink},
  });
  struct Case {
    const char* what;
    std::u16string path;
    DeletionCheck check;
  };
  const Case cases[] = {
      {"an ordinary file", app + u"\\bin\\app.exe", DeletionCheck::kFollow},
      {"an ordinary folder", app + u"\\bin", DeletionCheck::kFollow},
      {"a folder record that is a link: the link alone", app + u"\\data", DeletionCheck::kLinkItself},
      {"trailing backslash of a folder record", app + u"\\data\\", DeletionCheck::kLinkItself},
      {"a file behind the link", app + u"\\data\\settings.ini", DeletionCheck::kRefused},
      {"a file two levels behind the link", app + u"\\data\\sub\\x.txt", DeletionCheck::kRefused},
      {"a folder behind the link", app + u"\\data\\sub", DeletionCheck::kRefused},
      {"a file link: the link alone", app + u"\\shortcut.lnk", DeletionCheck::kLinkItself},
      {"a missing file is no danger", app + u"\\bin\\gone.dll", DeletionCheck::kFollow},
      {"letter case of the installation folder", u"c:\\program files\\app\\DATA\\settings.ini", DeletionCheck::kFollow},
      {"outside the installation folder: only the path itself", u"C:\\Users\\Ann\\Desktop\\App.lnk",
       DeletionCheck::kFollow},
      {"a Start-menu folder that is a link", u"C:\\Users\\Ann\\Start Menu\\Programs\\App", DeletionCheck::kLinkItself},
      {"dot segments are refused", app + u"\\bin\\..\\..\\..\\Windows\\win.ini", DeletionCheck::kRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CheckDeletion(c.path, app, fs), c.check);
  }
}

TEST(DeleteSafety, LetterCaseOfTheRecordedPathIsCheckedAsTheSystemSeesIt) {
  // The lookup is the file system: it answers for any letter case.
  const PathKindOf fs = [](const std::u16string& path) {
    std::u16string upper;
    for (char16_t c : path) upper.push_back(c >= u'a' && c <= u'z' ? char16_t(c - 32) : c);
    return upper == u"C:\\APP\\DATA" ? PathKind::kLink : PathKind::kFile;
  };
  EXPECT_EQ(CheckDeletion(u"c:\\app\\data\\f.txt", u"C:\\App", fs), DeletionCheck::kRefused);
}

TEST(DeleteSafety, TheWholeInstallationFolderOnlyWhenItIsTheRecordedOne) {
  const std::vector<std::u16string> system = {u"C:\\Windows",
                                              u"C:\\Windows\\System32",
                                              u"C:\\Windows\\SysWOW64",
                                              u"C:\\Program Files",
                                              u"C:\\Program Files (x86)",
                                              u"C:\\Program Files\\Common Files",
                                              u"C:\\Program Files (x86)\\Common Files"};
  struct Case {
    const char* what;
    std::u16string folder;
    std::u16string recorded;
    TreeDeletionCheck check;
  };
  const Case cases[] = {
      {"the recorded folder", u"C:\\Program Files\\App", u"C:\\Program Files\\App", TreeDeletionCheck::kAllowed},
      {"the recorded folder, other case and backslash", u"C:\\Program Files\\App\\", u"c:\\program files\\app",
       TreeDeletionCheck::kAllowed},
      {"a drive root", u"C:\\", u"C:\\", TreeDeletionCheck::kDriveRoot},
      {"a drive without backslash", u"D:", u"D:", TreeDeletionCheck::kDriveRoot},
      {"a network share's root", u"\\\\server\\share", u"\\\\server\\share", TreeDeletionCheck::kDriveRoot},
      {"a folder on a share", u"\\\\server\\share\\App", u"\\\\server\\share\\App", TreeDeletionCheck::kAllowed},
      {"Windows", u"C:\\Windows", u"C:\\Windows", TreeDeletionCheck::kSystemFolder},
      {"the system folder", u"c:\\windows\\system32", u"C:\\Windows\\System32", TreeDeletionCheck::kSystemFolder},
      {"Program Files", u"C:\\Program Files", u"C:\\Program Files", TreeDeletionCheck::kSystemFolder},
      {"Common Files of the 32-bit view", u"C:\\Program Files (x86)\\Common Files",
       u"C:\\Program Files (x86)\\Common Files", TreeDeletionCheck::kSystemFolder},
      {"a folder that holds a system folder", u"C:\\Program Files (x86)\\..\\Windows\\..", u"C:\\Program Files (x86)\\..\\Windows\\..",
       TreeDeletionCheck::kNotRecorded},
      {"a folder that holds Windows", u"C:\\Windows\\..", u"C:\\Windows\\..", TreeDeletionCheck::kNotRecorded},
      {"not the recorded folder", u"C:\\Program Files\\Other", u"C:\\Program Files\\App", TreeDeletionCheck::kNotRecorded},
      {"a folder below the recorded one", u"C:\\Program Files\\App\\bin", u"C:\\Program Files\\App",
       TreeDeletionCheck::kNotRecorded},
      {"nothing recorded", u"C:\\Program Files\\App", u"", TreeDeletionCheck::kNotRecorded},
      {"a relative folder", u"App", u"App", TreeDeletionCheck::kNotRecorded},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CheckTreeDeletion(c.folder, c.recorded, system), c.check);
  }
  // A parent of a system folder is refused even when it is the recorded one.
  EXPECT_EQ(CheckTreeDeletion(u"C:\\Users", u"C:\\Users", {u"C:\\Users\\Public\\Desktop"}),
            TreeDeletionCheck::kSystemFolder);
}

TEST(DeleteSafety, TheDataFileIsTrustedOnlyWhenNoOrdinaryUserCanChangeIt) {
  constexpr uint32_t kRead = 0x120089;      // FILE_GENERIC_READ
  constexpr uint32_t kWrite = 0x120116;     // FILE_GENERIC_WRITE
  constexpr uint32_t kFull = 0x1F01FF;      // FILE_ALL_ACCESS
  constexpr uint32_t kModify = 0x1301BF;    // read, write, execute, delete
  struct Case {
    const char* what;
    FileSecurity security;
    bool changeable;
  };
  const Case cases[] = {
      {"admins and SYSTEM full, users read", {true, true, true, {{true, true, kFull}, {true, true, kFull}, {true, false, kRead}}}, false},
      {"users may write", {true, true, true, {{true, true, kFull}, {true, false, kWrite}}}, true},
      {"users may modify (inherited from a loosened folder)", {true, true, true, {{true, false, kModify}}}, true},
      {"everyone generic all", {true, true, true, {{true, false, 0x10000000}}}, true},
      {"a user may change the access list alone", {true, true, true, {{true, false, 0x40000 | kRead}}}, true},
      {"a user may take ownership", {true, true, true, {{true, false, 0x80000}}}, true},
      {"a user may delete it (and put another in its place)", {true, true, true, {{true, false, 0x10000}}}, true},
      {"a deny entry for users grants nothing", {true, true, true, {{false, false, kFull}, {true, true, kFull}}}, false},
      {"an ordinary user owns it", {true, false, true, {{true, true, kFull}}}, true},
      {"a null access list", {true, true, false, {}}, true},
      {"an empty access list: nobody may do anything", {true, true, true, {}}, false},
      {"the descriptor could not be read", {false, true, true, {}}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(OrdinaryUserMayChange(c.security), c.changeable);
  }
}
