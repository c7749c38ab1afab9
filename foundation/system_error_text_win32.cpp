#include "foundation/system_error_text.h"

namespace halberd {

std::wstring SystemErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = n && buffer ? std::wstring(buffer, n) : L"Unknown error " + std::to_wstring(error) + L".";
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
  return text;
}

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring CodePageToWide(const std::string& text, UINT code_page) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(code_page, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), int(text.size()), out.data(), n);
  return out;
}

std::wstring Utf8ToWide(const std::string& text) { return CodePageToWide(text, CP_UTF8); }

std::string WideToAnsi(const std::wstring& text) {
  if (text.empty()) return {};
  // A UTF-8 system code page holds every character, and WideCharToMultiByte refuses a default
  // character for it.
  const bool utf8 = GetACP() == CP_UTF8;
  const char* fallback = utf8 ? nullptr : "?";
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  // A character outside the basic plane is one character: one "?", not one per surrogate.
  std::wstring units(text);
  if (!utf8) {
    size_t out = 0;
    for (size_t i = 0; i < units.size(); ++i) {
      wchar_t c = units[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
        c = L'?';
        ++i;
      }
      units[out++] = c;
    }
    units.resize(out);
  }
  int n = WideCharToMultiByte(CP_ACP, flags, units.data(), int(units.size()), nullptr, 0, fallback, nullptr);
  if (n <= 0) return {};
  std::string out(size_t(n), '\0');
  n = WideCharToMultiByte(CP_ACP, flags, units.data(), int(units.size()), out.data(), n, fallback, nullptr);
  out.resize(n > 0 ? size_t(n) : 0);
  return out;
}

}  // namespace halberd
