// The Windows half of the language texts: the token values that come from the system (the
// Windows folder, the user's short date format) and the 8-bit variant of a text.
#include <windows.h>

#include "engine/language_texts.h"
#include "engine/product_settings.h"
#include "foundation/system_error_text.h"

namespace halberd::engine {

namespace {

std::u16string WindowsDirectory() {
  std::u16string folder(MAX_PATH, u'\0');
  UINT n = GetWindowsDirectoryW(reinterpret_cast<wchar_t*>(folder.data()), UINT(folder.size()));
  if (n >= folder.size()) {  // too small: n is the size needed, terminator included
    folder.assign(n, u'\0');
    n = GetWindowsDirectoryW(reinterpret_cast<wchar_t*>(folder.data()), UINT(folder.size()));
    if (n >= folder.size()) n = 0;
  }
  folder.resize(n);
  if (folder.size() > 3 && folder.back() == u'\\') folder.pop_back();
  return folder;
}

}  // namespace

std::u16string ShortDateText(const format::BuildDate& date) {
  // Checked here: not every GetDateFormatW refuses a day the month does not have.
  if (!IsCalendarDate(date)) return {};
  SYSTEMTIME st = {};
  st.wYear = date.year;
  st.wMonth = date.month;
  st.wDay = date.day;
  int n = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, nullptr, 0);
  if (n <= 0) return {};
  std::u16string text(size_t(n), u'\0');
  n = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, reinterpret_cast<wchar_t*>(text.data()), n);
  if (n <= 0) return {};
  text.resize(size_t(n) - 1);  // the count includes the terminator
  return text;
}

LanguageTokens RunLanguageTokens(const format::SetupScript& script) {
  const ProductSettings& settings = Settings();
  return {settings.DisplayName, settings.product_description, WindowsDirectory(), ShortDateText(script.build_date)};
}

std::string ToAnsiCodePage(std::u16string_view text) { return WideToAnsi(std::wstring(text.begin(), text.end())); }

std::string LanguageTextA(int n) { return ToAnsiCodePage(LanguageText16(n)); }

}  // namespace halberd::engine
