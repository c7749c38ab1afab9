// Shared-file marks and the SharedFiles value, the ProductFonts value, the regsvr32 command, the
// driver and package log lines and the applet keys; the values are read back with the
// uninstaller's own parser where it has one.
#include <gtest/gtest.h>

#include "install/component_registration.h"
#include "uninstall/shared_file_list.h"

namespace halberd::install {
namespace {

TEST(SharedFileMarkTest, PermanenceWinsOverTheComponentMark) {
  struct Case {
    int kind;
    bool permanent;
    char mark;
  } cases[] = {
      {1, false, 0},    {1, true, ' '},   {6, false, ' '}, {6, true, ' '},   {7, false, '^'},
      {7, true, ' '},   {8, false, '\xA9'}, {8, true, ' '}, {0, false, 0},    {4, false, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(SharedFileMark(c.kind, c.permanent), c.mark) << c.kind << " " << c.permanent;
}

// What the installer stores is what the uninstaller reads: each mark comes back as its meaning,
// also for a path outside the system code page (stored as UTF-8 after a bar).
TEST(SharedFileItemTest, TheUninstallerReadsTheItemsBack) {
  SharedFilesValue value;
  value.Append(SharedFileItemText(u"C:\\Common\\plain.dll", 0));
  value.Append(SharedFileItemText(u"C:\\Windows\\System32\\com.dll", '^'));
  value.Append(SharedFileItemText(u"C:\\Windows\\System32\\types.tlb", '\xA9'));
  value.Append(SharedFileItemText(u"C:\\Windows\\System32\\keep.dll", ' '));
  value.Append(SharedFileItemText(u"C:\\Common\\\u00e9t\u00e9.tlb", '\xA9'));
  EXPECT_TRUE(value.Text().starts_with("\"C:\\Common\\plain.dll\";\"C:\\Windows\\System32\\com.dll^\";\"C:\\Windows"))
      << value.Text();

  using uninstall::SharedFileItem;
  const std::vector<SharedFileItem> items = uninstall::ParseSharedFiles(value.Text());
  const std::vector<SharedFileItem> expected = {
      {"C:\\Common\\plain.dll", false, false, false},
      {"C:\\Windows\\System32\\com.dll", true, false, false},
      {"C:\\Windows\\System32\\types.tlb", false, false, true},
      {"C:\\Windows\\System32\\keep.dll", false, true, false},
      {"|C:\\Common\\\xC3\xA9t\xC3\xA9.tlb", false, false, true},
  };
  EXPECT_EQ(items, expected);
}

TEST(SharedFileItemTest, AReinstallationFindsItsItemsInTheEarlierValue) {
  SharedFilesValue value("\"C:\\Common\\a.dll\";\"C:\\Windows\\System32\\com.dll^\"");
  EXPECT_TRUE(value.Contains(SharedFileItemText(u"C:\\Common\\a.dll", 0)));
  EXPECT_TRUE(value.Contains(SharedFileItemText(u"C:\\Windows\\System32\\com.dll", '^')));
  // Another file whose name ends the same way, and the same path with another mark, are new.
  EXPECT_FALSE(value.Contains(SharedFileItemText(u"C:\\a.dll", 0)));
  EXPECT_FALSE(value.Contains(SharedFileItemText(u"C:\\Common\\a.dll", ' ')));
  value.Append(SharedFileItemText(u"C:\\Common\\b.dll", 0));
  EXPECT_EQ(value.Text(), "\"C:\\Common\\a.dll\";\"C:\\Windows\\System32\\com.dll^\";\"C:\\Common\\b.dll\"");

  SharedFilesValue fresh;
  fresh.Append("\"C:\\x.dll\"");
  EXPECT_EQ(fresh.Text(), "\"C:\\x.dll\"");
}

TEST(ProductFontsTest, NamesInUtf8AndFileNamesInTheUninstallEncoding) {
  const std::string value = ProductFontsValue({{u"DejaVu Sans (TrueType)", u"DejaVuSans.ttf"},
                                               {u"Caf\u00e9 Sans", u"caf\u00e9.ttf"}});
  EXPECT_EQ(value, "\"DejaVu Sans (TrueType)\" \"DejaVuSans.ttf\" \"Caf\xC3\xA9 Sans\" \"|caf\xC3\xA9.ttf\" ");
  const std::vector<uninstall::FontItem> expected = {{"DejaVu Sans (TrueType)", "DejaVuSans.ttf"},
                                                     {"Caf\xC3\xA9 Sans", "|caf\xC3\xA9.ttf"}};
  EXPECT_EQ(uninstall::ParseProductFonts(value), expected);
  EXPECT_EQ(ProductFontsValue({}), "");
}

TEST(FontsTest, KeyAndFileName) {
  EXPECT_EQ(FontsKeyPath(true), u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts");
  EXPECT_EQ(FontsKeyPath(false), u"Software\\Microsoft\\Windows\\CurrentVersion\\Fonts");
  EXPECT_EQ(FontFileName(u"C:\\Windows\\Fonts\\DejaVuSans.ttf"), u"DejaVuSans.ttf");
  EXPECT_EQ(FontFileName(u"plain.ttf"), u"plain.ttf");
}

TEST(ComRegistrationTest, Regsvr32IsStartedByItsFullPath) {
  const ProgramStart start = ComRegistrationStart(u"C:\\Windows\\system32", u"C:\\Program Files\\A\\server.dll");
  EXPECT_EQ(start.application, u"C:\\Windows\\system32\\regsvr32.exe");
  EXPECT_EQ(start.command_line, u"\"C:\\Windows\\system32\\regsvr32.exe\" /s \"C:\\Program Files\\A\\server.dll\"");
}

TEST(DriverResultTest, Lines) {
  struct Case {
    bool ok;
    uint32_t error;
    std::u16string system_text;
    std::u16string location;
    std::u16string line;
  } cases[] = {
      {true, 0, u"", u"C:\\Windows\\INF\\oem3.inf", u"OK\r\nFinal driver location: C:\\Windows\\INF\\oem3.inf\r\n"},
      {true, 0, u"", u"", u"OK, but resulting filepath is unknown\r\n"},
      // The error is an unsigned decimal number; the unsigned-driver error has a text of its own
      // only when the system gives none.
      {false, 0xE000022F, u"", u"", u"FAILED!  Code 3758096943: The INF does not contain digital signature information.\r\n"},
      {false, 0xE000022F, u"Unsigned.", u"", u"FAILED!  Code 3758096943: Unsigned.\r\n"},
      {false, 2, u"The system cannot find the file specified.", u"",
       u"FAILED!  Code 2: The system cannot find the file specified.\r\n"},
      {false, 5, u"", u"", u"FAILED!  Code 5: \r\n"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DriverResultLine(c.ok, c.error, c.system_text, c.location), c.line) << c.error;
}

TEST(PackageLogLineTest, SuccessAndRestartCodesAreInstalled) {
  EXPECT_EQ(PackageLogLine(u"C:\\A\\p.msi", 0, u""), u"Installing MSI package \"C:\\A\\p.msi\"...OK\r\n");
  EXPECT_EQ(PackageLogLine(u"C:\\A\\p.msi", 3010, u"restart"), u"Installing MSI package \"C:\\A\\p.msi\"...OK\r\n");
  EXPECT_EQ(PackageLogLine(u"C:\\A\\p.msi", 1603, u"Fatal error during installation."),
            u"Installing MSI package \"C:\\A\\p.msi\"...FAILED code 1603: Fatal error during installation.\r\n");
  EXPECT_EQ(PackageLogLine(u"C:\\A\\p.msi", 120, u"Not implemented."),
            u"Installing MSI package \"C:\\A\\p.msi\"...FAILED code 120: Not implemented.\r\n");
  EXPECT_TRUE(PackageInstalled(1641));
  EXPECT_FALSE(PackageInstalled(1602));
}

TEST(AppletTest, KeysAndCommand) {
  const std::u16string id = u"{12345678-1234-1234-1234-123456789ABC}";
  const std::vector<AppletKey> keys = AppletKeys(id, u"Demo Settings", u"C:\\P\\demo.cpl", u"");
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_EQ(keys[0].path, u"Software\\Classes\\CLSID\\" + id);
  EXPECT_EQ(keys[0].value, u"Demo Settings");
  EXPECT_TRUE(keys[0].recorded);
  EXPECT_EQ(keys[1].path, u"Software\\Classes\\CLSID\\" + id + u"\\DefaultIcon");
  EXPECT_EQ(keys[1].value, u"C:\\P\\demo.cpl");
  EXPECT_FALSE(keys[1].recorded);
  EXPECT_EQ(keys[2].path, u"Software\\Classes\\CLSID\\" + id + u"\\Shell\\Open\\Command");
  EXPECT_EQ(keys[2].value, u"\"C:\\P\\demo.cpl\"");
  EXPECT_FALSE(keys[2].recorded);
  EXPECT_EQ(keys[3].path, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\" + id);
  EXPECT_EQ(keys[3].value, u"Demo Settings");
  EXPECT_TRUE(keys[3].recorded);

  const std::vector<AppletKey> with_arguments = AppletKeys(id, u"Demo", u"C:\\P\\demo.cpl", u"/page 2");
  EXPECT_EQ(with_arguments[2].value, u"\"C:\\P\\demo.cpl\" /page 2");
}

TEST(AppletTest, MissingNameOrClassIdentifierIsACorruptInstaller) {
  EXPECT_EQ(AppletProblem(u"Demo", u"{1}"), 0);
  EXPECT_EQ(AppletProblem(u"", u"{1}"), 78);
  EXPECT_EQ(AppletProblem(u"", u""), 78);
  EXPECT_EQ(AppletProblem(u"Demo", u""), 79);
  // An identifier with a backslash would write below another key.
  EXPECT_EQ(AppletProblem(u"Demo", u"..\\..\\Classes\\exefile"), 79);
}

TEST(RegisteringStatusTest, FileTokenReplaced) {
  EXPECT_EQ(RegisteringStatus(u"Registering <file>...", u"C:\\a.dll"), u"Registering C:\\a.dll...");
  EXPECT_EQ(RegisteringStatus(u"Registering...", u"C:\\a.dll"), u"Registering...");
  // A file name that holds the token itself is not replaced again.
  EXPECT_EQ(RegisteringStatus(u"<file> and <file>", u"<file>"), u"<file> and <file>");
}

}  // namespace
}  // namespace halberd::install
