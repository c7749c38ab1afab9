// The corrupt-installer message as shown: the built-in text before the language table exists,
// the language's text 13 after, and the system error line when one is asked for.
#include <windows.h>

#include "engine/corrupt_installer.h"

#include <gtest/gtest.h>

#include "engine/language_texts.h"

using namespace halberd::engine;

TEST(CorruptInstaller, MessageForms) {
  SetLanguageTable(nullptr, 0);
  std::wstring builtin = CorruptInstallerMessage(61, 0);
  EXPECT_EQ(builtin.rfind(L"This installation program is corrupt.  ", 0), 0u);
  EXPECT_NE(builtin.find(L"\r\n\r\nError code: 61"), std::wstring::npos);
  EXPECT_EQ(builtin.find(L"System error"), std::wstring::npos);

  std::wstring with_error = CorruptInstallerMessage(35, ERROR_ACCESS_DENIED);
  EXPECT_NE(with_error.find(L"Error code: 35\r\nSystem error, code 5: "), std::wstring::npos) << with_error;

  std::vector<std::vector<std::u16string>> rows(14, std::vector<std::u16string>(1));
  rows[13][0] = u"Kaputt (%d) 100%";
  SetLanguageTable(&rows, 0);
  EXPECT_EQ(CorruptInstallerMessage(20, 0), L"Kaputt (20) 100%");
  SetLanguageTable(nullptr, 0);
}
