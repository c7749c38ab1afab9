#include "engine/messages.h"

#include "engine/language_texts.h"
#include "engine/run_state.h"
#include "engine/running_log.h"
#include "foundation/format/product_flags.h"
#include "foundation/format/text_numbers.h"
#include "foundation/system_error_text.h"
#include "ui/page_runner_win32.h"
#include "ui/background_window_win32.h"
#include "ui/look_win32.h"
#include "ui/message_box_win32.h"

namespace halberd::engine {

namespace {
void WriteToStandardError(const std::wstring& caption, const std::wstring& text) {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
  std::string line = WideToUtf8(caption + L": " + text + L"\r\n");
  DWORD written;
  WriteFile(err, line.data(), DWORD(line.size()), &written, nullptr);
}

// The answer of a box that is not shown: its default button's.
int DefaultAnswer(UINT flags) {
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

// Silent runs show nothing. Automatic runs show errors only when ProductFlags bit 35 asks for
// them; a question reaches here in an automatic run only when its step asks it there on purpose
// (the restart question with bit 41), so it is shown.
bool Shown(UINT flags) {
  const RunState& run = Run();
  if (run.silent) return false;
  if (!run.automatic || (flags & MB_ICONMASK) != MB_ICONERROR) return true;
  return (run.ProductFlags & format::kFlagErrorsWhenAutomatic) != 0;
}

std::u16string Caption(int number, const char16_t* fallback) {
  std::u16string text = LanguageText16(number);
  return text.empty() ? fallback : text;
}

// The buttons in the current language: Yes/No with the extra ones, Retry/Cancel; other sets keep
// the box's own captions.
std::vector<ui::BoxButton> LanguageButtons(UINT flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_YESNO: {
      std::vector<ui::BoxButton> b{{IDYES, Caption(text::kYes, u"&Yes")}};
      if (flags & ui::kMbYesToAll) b.push_back({ui::kIdYesToAll, Caption(text::kYesToAll, u"Yes to all")});
      b.push_back({IDNO, Caption(text::kNo, u"&No")});
      if (flags & ui::kMbNoToAll) b.push_back({ui::kIdNoToAll, Caption(text::kNoToAll, u"No to all")});
      return b;
    }
    case MB_RETRYCANCEL:
      return {{IDRETRY, Caption(text::kRetry, u"&Retry")}, {IDCANCEL, Caption(text::kCancel, u"&Cancel")}};
    default:
      return {};
  }
}

}  // namespace

int ShowMessage(const std::wstring& text, const std::wstring& caption, UINT flags) {
  WriteToStandardError(caption, text);
  if (!Shown(flags)) return DefaultAnswer(flags);
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  const ui::Look& look = ui::CurrentLook();
  ui::MessageBoxRequest request;
  request.owner = ui::PageOwner();
  request.text = text;
  request.caption = caption;
  request.buttons = LanguageButtons(flags);
  // Language buttons replace the set; the default button and icon bits stay.
  request.flags = request.buttons.empty() ? flags : (flags & ~MB_TYPEMASK);
  request.font_face = ui::DialogFace();
  request.font_size = ui::MessageBoxFontSize(look.DialogZoom);
  if (look.custom_colours) {
    request.background_colour = look.DialogBG;
    request.text_colour = look.DialogFG;
  }
  request.owner_drawn = look.owner_drawn_buttons;
  if (look.centred_buttons) request.button_alignment = 'a';
  return ui::ShowMessageBox(request);
}

std::wstring ErrorCaption() {
  std::wstring caption = LanguageText(text::kErrorCaption);
  return caption.empty() ? L"Error" : caption;
}

}  // namespace halberd::engine
