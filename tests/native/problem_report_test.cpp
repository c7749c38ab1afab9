#include "engine/problem_report.h"

#include <gtest/gtest.h>

namespace halberd::engine {
namespace {

struct Case {
  const char* what;
  ProblemReportFacts facts;
  std::string text;
};

TEST(ProblemReport, TextLayout) {
  const Case cases[] = {
      {"failures after the facts, UTF-8 throughout",
       {u"Acme Fl\u00fcgel", u"2.1 beta", "Windows 10 (10.0.19045) 64-bit", true, u"C:\\Users\\J\u00f6rg\\setup.exe",
        u"Cannot create file: C:\\Program Files\\Acme\\\U0001F600.txt\r\nCode 5: Access is denied.\r\n\r\n"},
       "Acme Fl\xc3\xbc" "gel 2.1 beta\r\nInstaller version: 48.0.11\r\nOS: Windows 10 (10.0.19045) 64-bit\r\n"
       "Admin rights: Yes\r\nFilename: C:\\Users\\J\xc3\xb6rg\\setup.exe\r\n\r\n"
       "Cannot create file: C:\\Program Files\\Acme\\\xf0\x9f\x98\x80.txt\r\nCode 5: Access is denied.\r\n\r\n"},
      {"no rights, no version, no failure text: the layout stays",
       {u"Tool", u"", "Windows 7 (6.1.7601)", false, u"D:\\s.exe", u""},
       "Tool \r\nInstaller version: 48.0.11\r\nOS: Windows 7 (6.1.7601)\r\nAdmin rights: No\r\n"
       "Filename: D:\\s.exe\r\n\r\n"},
      {"a broken surrogate in the failure text is replaced, not dropped",
       {u"P", u"1", "W", false, u"x", std::u16string(u"a") + char16_t(0xD800) + u"b"},
       "P 1\r\nInstaller version: 48.0.11\r\nOS: W\r\nAdmin rights: No\r\nFilename: x\r\n\r\na\xef\xbf\xbd" "b"},
  };
  for (const Case& c : cases) EXPECT_EQ(ProblemReportText(c.facts), c.text) << c.what;
}

}  // namespace
}  // namespace halberd::engine
