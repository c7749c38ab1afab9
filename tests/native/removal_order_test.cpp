// The uninstaller's folder order and parent climbing, the Start-menu climb and pinned lines.
#include "uninstall/removal_order.h"

#include <gtest/gtest.h>

using namespace halberd::uninstall;
using Paths = std::vector<std::u16string>;

TEST(FolderRemovalOrder, LongestFirstEqualLengthsKeepTheirOrder) {
  EXPECT_EQ(FolderRemovalOrder({u"C:\\A", u"C:\\A\\B", u"C:\\X\\Y", u"C:\\A\\B\\C", u"C:\\Z"}),
            (Paths{u"C:\\A\\B\\C", u"C:\\A\\B", u"C:\\X\\Y", u"C:\\A", u"C:\\Z"}));
  // The same folder recorded twice (case, trailing backslash) is tried once.
  EXPECT_EQ(FolderRemovalOrder({u"C:\\App\\Data\\", u"c:\\app\\data", u""}), (Paths{u"C:\\App\\Data"}));
}

TEST(FolderClimb, StopsAtTheInstallationFolderAndAtKeptFolders) {
  const Paths kept = {u"C:\\Program Files", u"C:\\Users\\Ann\\Desktop"};
  struct Case {
    const char* what;
    std::u16string folder;
    Paths chain;
  };
  const Case cases[] = {
      {"inside the installation folder: up to it, not including it", u"C:\\Program Files\\App\\Data\\Sub",
       {u"C:\\Program Files\\App\\Data\\Sub", u"C:\\Program Files\\App\\Data"}},
      {"the installation folder itself is never removed here", u"C:\\Program Files\\App", {}},
      {"letter case does not matter", u"c:\\PROGRAM FILES\\app\\x", {u"c:\\PROGRAM FILES\\app\\x"}},
      {"a parent of the installation folder climbs to Program Files, not into it", u"C:\\Program Files\\Vendor",
       {u"C:\\Program Files\\Vendor"}},
      {"a desktop subfolder: never the desktop itself", u"C:\\Users\\Ann\\Desktop\\App Links",
       {u"C:\\Users\\Ann\\Desktop\\App Links"}},
      {"elsewhere: up to, not including, the drive root", u"D:\\Data\\App", {u"D:\\Data\\App", u"D:\\Data"}},
      {"a drive root is never a step", u"D:\\", {}},
      {"a relative text is never a step", u"Data\\App", {}},
      {"dot segments are never followed", u"C:\\Program Files\\App\\..\\..\\Windows", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(FolderClimb(c.folder, u"C:\\Program Files\\App", kept), c.chain);
  }
}

TEST(FolderClimb, AtMostFiftySteps) {
  std::u16string deep = u"D:";
  for (int i = 0; i < 60; ++i) deep += u"\\d";
  Paths chain = FolderClimb(deep, u"C:\\App", {});
  ASSERT_EQ(chain.size(), 50u);
  EXPECT_EQ(chain.front(), deep);
}

TEST(StartMenuClimb, OnlyWithinTheProductsPart) {
  const std::u16string programs = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
  EXPECT_EQ(StartMenuClimb(programs, u"Vendor\\App"), (Paths{programs + u"\\Vendor\\App", programs + u"\\Vendor"}));
  EXPECT_EQ(StartMenuClimb(programs, u"App\\"), (Paths{programs + u"\\App"}));
  EXPECT_TRUE(StartMenuClimb(programs, u"").empty());
  // Nothing outside the Programs folder: not a full path, not a climb out of it.
  EXPECT_TRUE(StartMenuClimb(programs, u"C:\\Windows").empty());
  EXPECT_TRUE(StartMenuClimb(programs, u"..\\..").empty());
  EXPECT_TRUE(StartMenuClimb(programs, u"App\\..\\..\\Startup").empty());
  std::u16string deep = u"a";
  for (int i = 0; i < 30; ++i) deep += u"\\a";
  EXPECT_EQ(StartMenuClimb(programs, deep).size(), 20u);
}

TEST(RemovalOrder, TaskbarPinsAndPathComparisons) {
  EXPECT_TRUE(IsTaskbarPin("C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\User "
                           "Pinned\\TaskBar\\App.lnk"));
  EXPECT_FALSE(IsTaskbarPin("C:\\Program Files\\App\\User Pinned.txt"));
  EXPECT_FALSE(IsTaskbarPin("~C:\\x\\User Pinned\\TaskBar"));  // a folder record is no pin
  EXPECT_TRUE(IsSameOrBelow(u"C:\\App\\x", u"c:\\app\\"));
  EXPECT_TRUE(IsSameOrBelow(u"C:\\App", u"C:\\App"));
  EXPECT_FALSE(IsSameOrBelow(u"C:\\Apple", u"C:\\App"));
  EXPECT_TRUE(IsSamePath(u"C:\\App\\", u"c:\\APP"));
}
