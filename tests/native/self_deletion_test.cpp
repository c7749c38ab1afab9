// The text of the self-deletion batch "delunins.bat".
#include "uninstall/self_deletion.h"

#include <gtest/gtest.h>

using namespace halberd::uninstall;

TEST(SelfDeletionBatch, ExactLines) {
  struct Case {
    const char* what;
    std::u16string subdir;
    std::string rd_lines;
  };
  const Case cases[] = {
      {"no uninstall subfolder: the installation folder", u"",
       "rd \"C:\\Program Files\\App\"\r\n"
       "rd \"C:\\Program Files\\App\"\r\n"},
      {"one level", u"Uninstall",
       "rd \"C:\\Program Files\\App\\Uninstall\"\r\n"
       "rd \"C:\\Program Files\\App\"\r\n"},
      {"three levels: each shorter prefix", u"a\\b\\c\\",
       "rd \"C:\\Program Files\\App\\a\\b\\c\"\r\n"
       "rd \"C:\\Program Files\\App\\a\\b\"\r\n"
       "rd \"C:\\Program Files\\App\\a\"\r\n"
       "rd \"C:\\Program Files\\App\"\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(SelfDeletionBatch(u"C:\\Program Files\\App\\uninstall.exe", u"C:\\Program Files\\App", c.subdir,
                                u"C:\\Temp\\delunins.bat"),
              ":Repeat\r\n"
              "del \"C:\\Program Files\\App\\uninstall.exe\"\r\n"
              "if exist \"C:\\Program Files\\App\\uninstall.exe\" goto Repeat\r\n"
              "CHOICE /T 3 /D Y\r\n" +
                  c.rd_lines + "del \"C:\\Temp\\delunins.bat\"\r\n");
  }
}

TEST(SelfDeletionBatch, AtMostFiftyPrefixes) {
  std::u16string subdir = u"d";
  for (int i = 0; i < 60; ++i) subdir += u"\\d";
  std::string text = SelfDeletionBatch(u"C:\\A\\u.exe", u"C:\\A", subdir, u"C:\\T\\delunins.bat");
  size_t rd = 0;
  for (size_t at = text.find("\nrd "); at != std::string::npos; at = text.find("\nrd ", at + 1)) ++rd;
  EXPECT_EQ(rd, 1u + 50u + 1u);  // the folder itself, fifty prefixes, the installation folder
}

TEST(SelfDeletionBatch, PathsStayLiteral) {
  // "%" would be expanded by the interpreter even inside quotes; "&" is safe inside them.
  std::string text = SelfDeletionBatch(u"C:\\100%\\A&B\\u.exe", u"C:\\100%\\A&B", u"", u"C:\\T\\delunins.bat");
  EXPECT_EQ(text.substr(0, text.find("CHOICE")),
            ":Repeat\r\ndel \"C:\\100%%\\A&B\\u.exe\"\r\nif exist \"C:\\100%%\\A&B\\u.exe\" goto Repeat\r\n");
  EXPECT_NE(text.find("rd \"C:\\100%%\\A&B\"\r\n"), std::string::npos);
}

TEST(SelfDeletionBatch, PathsOutsideAsciiAreWrittenInUtf8) {
  std::string text = SelfDeletionBatch(u"C:\\Caf\u00e9\\u.exe", u"C:\\Caf\u00e9", u"", u"C:\\T\\delunins.bat");
  EXPECT_EQ(text.substr(0, 40), std::string("@chcp 65001 >nul\r\n:Repeat\r\ndel \"C:\\Caf\xC3\xA9\\").substr(0, 40));
}
