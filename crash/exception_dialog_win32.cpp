// The crash dialog, from a dialog template built in memory (dialog units, "Arial" 10 points,
// 279 x 242), centred on the screen and shrunk to it when larger.
#include "crash/exception_dialog_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "crash/crash_report.h"

namespace halberd::crash {

namespace {

using namespace exception_dialog;

class Template {
 public:
  void Word(WORD w) { words_.push_back(w); }
  void DWord(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void Text(const wchar_t* text) {
    for (; *text; ++text) Word(WORD(*text));
    Word(0);
  }
  void AlignDWord() {
    if (words_.size() % 2) Word(0);
  }
  void Dialog(DWORD style, WORD count, short cx, short cy, const wchar_t* caption, WORD points, const wchar_t* face) {
    DWord(style);
    DWord(0);  // extended style
    Word(count);
    Word(0);
    Word(0);
    Word(WORD(cx));
    Word(WORD(cy));
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(caption);
    Word(points);
    Text(face);
  }
  void Control(WORD id, WORD atom, DWORD style, short x, short y, short cx, short cy, const wchar_t* text) {
    AlignDWord();
    DWord(style | WS_CHILD | WS_VISIBLE);
    DWord(0);
    Word(WORD(x));
    Word(WORD(y));
    Word(WORD(cx));
    Word(WORD(cy));
    Word(id);
    Word(0xFFFF);
    Word(atom);
    Text(text);
    Word(0);  // no creation data
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  std::vector<WORD> words_;
};

constexpr WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82;

std::wstring FromCp1252(const std::string& text) {
  int n = MultiByteToWideChar(1252, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(size_t(n), L'\0');
  if (n > 0) MultiByteToWideChar(1252, 0, text.data(), int(text.size()), out.data(), n);
  return out;
}

std::string To1252(const std::wstring& text) {
  int n = WideCharToMultiByte(1252, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  if (n > 0) WideCharToMultiByte(1252, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring ItemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  int n = GetWindowTextLengthW(item);
  std::wstring text(size_t(n) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(item, text.data(), n + 1)));
  return text;
}

struct DialogState {
  const std::string* report;
  bool can_inform;
  ExceptionDialogAnswer answer;
  HFONT report_font = nullptr;
};

void CopyReport(HWND dialog, const std::string& report) {
  if (!OpenClipboard(dialog)) return;
  EmptyClipboard();
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, report.size() + 1)) {
    if (void* bytes = GlobalLock(memory)) {
      std::memcpy(bytes, report.c_str(), report.size() + 1);
      GlobalUnlock(memory);
      if (!SetClipboardData(CF_TEXT, memory)) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

void PlaceOnScreen(HWND dialog) {
  RECT work{}, box{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(dialog, &box);
  const int width = std::min<int>(box.right - box.left, work.right - work.left);
  const int height = std::min<int>(box.bottom - box.top, work.bottom - work.top);
  SetWindowPos(dialog, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      state = reinterpret_cast<DialogState*>(lparam);
      SetWindowLongPtrW(dialog, DWLP_USER, LONG_PTR(state));
      std::string intro = std::string(
          "We apologize for the inconvenience, but the program has performed an illegal operation and must close.  "
          "Please report this problem to ") + kMakerName + " by clicking the \"Inform Us\" button below.";
      SetDlgItemTextW(dialog, kIntro, FromCp1252(intro).c_str());
      HDC dc = GetDC(dialog);
      const int height = -MulDiv(10, dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96, 72);
      if (dc) ReleaseDC(dialog, dc);
      state->report_font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                       FIXED_PITCH | FF_MODERN, L"Courier New");
      if (state->report_font) SendDlgItemMessageW(dialog, kReport, WM_SETFONT, WPARAM(state->report_font), FALSE);
      SetDlgItemTextW(dialog, kReport, FromCp1252(*state->report).c_str());
      EnableWindow(GetDlgItem(dialog, kInformUs), state->can_inform);
      PlaceOnScreen(dialog);
      SetForegroundWindow(dialog);
      SetFocus(GetDlgItem(dialog, state->can_inform ? kInformUs : kExit));
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case kInformUs:
          state->answer.inform = true;
          state->answer.email = To1252(ItemText(dialog, kEmail));
          state->answer.comments = To1252(ItemText(dialog, kComments));
          EndDialog(dialog, kInformUs);
          return TRUE;
        case kCopyReport:
          CopyReport(dialog, *state->report);
          return TRUE;
        case kExit:
        case IDCANCEL:  // Escape and the system menu's Close
          EndDialog(dialog, kExit);
          return TRUE;
      }
      break;
    case WM_CLOSE:
      EndDialog(dialog, kExit);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

ExceptionDialogAnswer ShowExceptionDialog(const std::string& report, bool can_inform) {
  Template t;
  t.Dialog(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 10, 279, 242, kCaption, 10, L"Arial");
  t.Control(kIntro, kStatic, SS_LEFT, 3, 2, 273, 24, L"");
  t.Control(kReport, kEdit,
            ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL | WS_BORDER |
                WS_TABSTOP,
            3, 28, 273, 100, L"");
  t.Control(kEmailPrompt, kStatic, SS_LEFT, 3, 133, 273, 16,
            L"Please enter your email address.  This is optional but recommended because reproducing the crash may "
            L"require a few questions.");
  t.Control(kEmail, kEdit, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 3, 150, 273, 12, L"");
  t.Control(kCommentsPrompt, kStatic, SS_LEFT, 3, 164, 273, 8, L"Comments / steps to reproduce:");
  t.Control(kComments, kEdit, ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 3,
            173, 273, 44, L"");
  t.Control(kSeparator, kStatic, SS_ETCHEDHORZ, 3, 222, 273, 2, L"");
  t.Control(kInformUs, kButton, BS_DEFPUSHBUTTON | WS_TABSTOP, 3, 227, 89, 12, L"Inform Us");
  t.Control(kCopyReport, kButton, BS_PUSHBUTTON | WS_TABSTOP, 95, 227, 89, 12, L"Copy Report");
  t.Control(kExit, kButton, BS_PUSHBUTTON | WS_TABSTOP, 188, 227, 89, 12, L"Exit");

  DialogState state{&report, can_inform, {}};
  INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.get(), nullptr, &DialogProc, LPARAM(&state));
  if (state.report_font) DeleteObject(state.report_font);
  if (result != kInformUs) return {};
  return state.answer;
}

}  // namespace halberd::crash
