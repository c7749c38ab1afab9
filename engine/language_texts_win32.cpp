// The Windows half of the language texts: the token values that come from the system (the
// Windows folder, the user's short date format) and the 8-bit variant of a text.
#include <windows.h>

#include "engine/language_texts.h"
#include "engine/product_settings.h"

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

std::string ToAnsiCodePage(std::u16string_view text) {
  if (text.empty()) return {};
  // A UTF-8 system code page holds every character, and WideCharToMultiByte refuses a default
  // character for it.
  const bool utf8 = GetACP() == CP_UTF8;
  const char* fallback = utf8 ? nullptr : "?";
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  // A character outside the basic plane is one character: one "?", not one per surrogate.
  std::u16string units(text);
  if (!utf8) {
    size_t out = 0;
    for (size_t i = 0; i < units.size(); ++i) {
      char16_t c = units[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
        c = u'?';
        ++i;
      }
      units[out++] = c;
    }
    units.resize(out);
  }
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(units.data());
  int n = WideCharToMultiByte(CP_ACP, flags, wide, int(units.size()), nullptr, 0, fallback, nullptr);
  if (n <= 0) return {};
  std::string out(size_t(n), '\0');
  n = WideCharToMultiByte(CP_ACP, flags, wide, int(units.size()), out.data(), n, fallback, nullptr);
  out.resize(n > 0 ? size_t(n) : 0);
  return out;
}

std::string LanguageTextA(int n) { return ToAnsiCodePage(LanguageText16(n)); }

}  // namespace halberd::engine
