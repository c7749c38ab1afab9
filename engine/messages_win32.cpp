#include "engine/messages.h"

#include "engine/language_texts.h"
#include "engine/running_log.h"
#include "foundation/format/text_numbers.h"
#include "foundation/system_error_text.h"

namespace halberd::engine {

namespace {
void WriteToStandardError(const std::wstring& caption, const std::wstring& text) {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
  std::string line = WideToUtf8(caption + L": " + text + L"\r\n");
  DWORD written;
  WriteFile(err, line.data(), DWORD(line.size()), &written, nullptr);
}
}  // namespace

int ShowMessage(const std::wstring& text, const std::wstring& caption, UINT flags) {
  // Silent runs show nothing; until the message box exists no run shows a window.
  WriteToStandardError(caption, text);
  switch (flags & MB_TYPEMASK) {
    case MB_YESNO:
    case MB_YESNOCANCEL:
      return (flags & MB_DEFMASK) == MB_DEFBUTTON2 ? IDNO : IDYES;
    case MB_RETRYCANCEL:
      return IDCANCEL;
    case MB_OKCANCEL:
      return (flags & MB_DEFMASK) == MB_DEFBUTTON2 ? IDCANCEL : IDOK;
    default:
      return IDOK;
  }
}

std::wstring ErrorCaption() {
  std::wstring caption = LanguageText(text::kErrorCaption);
  return caption.empty() ? L"Error" : caption;
}

}  // namespace halberd::engine
