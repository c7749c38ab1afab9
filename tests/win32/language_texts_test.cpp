// The token values that come from Windows (the Windows folder, the build date in the user's short
// date format) and the 8-bit variant of a text, as the installer sees them.
#include "engine/language_texts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/product_settings.h"

using namespace halberd::engine;

namespace {

std::u16string U16(const std::wstring& w) { return std::u16string(w.begin(), w.end()); }

std::wstring SystemShortDate(WORD year, WORD month, WORD day) {
  SYSTEMTIME st = {};
  st.wYear = year;
  st.wMonth = month;
  st.wDay = day;
  wchar_t buffer[128];
  int n = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, 128);
  return n > 0 ? std::wstring(buffer, size_t(n) - 1) : std::wstring();
}

}  // namespace

TEST(LanguageTokensWin32, WindowsFolderIsTheSystemOne) {
  wchar_t buffer[MAX_PATH];
  UINT n = GetWindowsDirectoryW(buffer, MAX_PATH);
  ASSERT_GT(n, 0u);
  std::u16string folder = RunLanguageTokens(halberd::format::SetupScript{}).windows_folder;
  EXPECT_EQ(folder, U16(std::wstring(buffer, n)));
  ASSERT_GT(folder.size(), 3u);
  EXPECT_NE(folder.back(), u'\\');
  EXPECT_EQ(GetFileAttributesW(reinterpret_cast<const wchar_t*>(folder.c_str())) & FILE_ATTRIBUTE_DIRECTORY,
            DWORD(FILE_ATTRIBUTE_DIRECTORY));
}

TEST(LanguageTokensWin32, BuildDateInTheUsersShortFormat) {
  struct Case {
    halberd::format::BuildDate date;
    bool empty;
  };
  const Case cases[] = {
      {{2024, 2, 29}, false},
      {{1999, 12, 31}, false},
      {{2024, 0, 15}, true},   // month 0: unknown
      {{2023, 2, 29}, true},   // no such day
      {{2024, 13, 1}, true},   // no such month
  };
  for (const Case& c : cases) {
    std::u16string text = ShortDateText(c.date);
    if (c.empty) {
      EXPECT_EQ(text, u"") << c.date.year << "-" << int(c.date.month) << "-" << int(c.date.day);
    } else {
      EXPECT_EQ(text, U16(SystemShortDate(c.date.year, c.date.month, c.date.day)));
      // Whatever the format, the day of the month is in it.
      EXPECT_NE(text.find(U16(std::to_wstring(c.date.day))), std::u16string::npos);
    }
  }
}

// The tokens of a run, end to end: the table loaded with the values of this system.
TEST(LanguageTokensWin32, RunTokensInAText) {
  ProductSettings saved = Settings();
  halberd::format::SetupScript script = halberd::format::MinimalSetupScript(u"App");
  script.build_date = {2024, 2, 29};
  script.languages.rows = {{u"<product> for <OS>, built <lbdate>"}};
  Settings() = SettingsFromScript(script, u"", 0);
  LoadLanguageTable(script.languages, RunLanguageTokens(script), script.dialog_caption);
  const std::u16string windows = RunLanguageTokens(script).windows_folder;
  EXPECT_EQ(LanguageText16(0), u"App for " + windows + u", built " + U16(SystemShortDate(2024, 2, 29)));

  script.build_date = {2024, 0, 0};
  LoadLanguageTable(script.languages, RunLanguageTokens(script), script.dialog_caption);
  EXPECT_EQ(LanguageText16(0), u"App for " + windows + u", built ");
  SetLanguageTable(nullptr, 0);
  Settings() = saved;
}

TEST(LanguageTokensWin32, EightBitTextsUseTheAnsiCodePage) {
  const std::u16string text = u"caf\u00E9 \u4E2D\u6587 \U0001F600";  // the last is one character
  // What the system makes of the text with "?" for what its code page lacks.
  const UINT acp = GetACP();
  std::string expected;
  if (acp == 1252) {
    expected = "caf\xE9 ?? ?";
  } else {
    GTEST_SKIP() << "system code page " << acp;
  }
  EXPECT_EQ(ToAnsiCodePage(text), expected);

  std::vector<std::vector<std::u16string>> rows = {{u"\u00C4rger mit <product>"}};
  SetLanguageTable(&rows, 0);
  SetLanguageTokens({u"\u20AC-App", u"", u"", u""});
  EXPECT_EQ(LanguageTextA(0), "\xC4rger mit \x80-App");
  EXPECT_EQ(LanguageTextA(1), "");
  SetLanguageTokens({});
  SetLanguageTable(nullptr, 0);
}
