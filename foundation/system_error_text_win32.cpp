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
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()), nullptr, 0, "?", nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()), out.data(), n, "?", nullptr);
  return out;
}

}  // namespace halberd
