// The common runner of the wizard pages (see the header).
#include "ui/page_runner_win32.h"

#include <string>

#include "foundation/format/text_numbers.h"
#include "ui/background_window_win32.h"
#include "ui/dialog_template.h"
#include "ui/gdi_handles_win32.h"
#include "ui/look_win32.h"
#include "ui/page_pictures.h"
#include "ui/page_pictures_win32.h"
#include "ui/themed_button_win32.h"
#include "ui/wizard_layout.h"

namespace halberd::ui {

namespace {

PageEnvironment g_environment;
HWND g_progress = nullptr;

// The page pictures: picture 2 at the side, picture 3 in the banner; loaded once for the run.
HBITMAP PagePicture(int layout) {
  static HBITMAP side = nullptr, banner = nullptr;
  HBITMAP& picture = layout == 2 ? banner : side;
  if (!picture)
    picture = LoadPagePicture(GetModuleHandleW(nullptr), layout == 2 ? kBannerPictureResource : kSidePictureResource);
  return picture;
}

HBRUSH DialogBrush() {
  static HBRUSH brush = nullptr;
  const Look& look = CurrentLook();
  if (!look.custom_colours || !IsSet(look.DialogBG)) return nullptr;
  if (!brush) brush = CreateSolidBrush(look.DialogBG);
  return brush;
}

COLORREF FaceColour() {
  const Look& look = CurrentLook();
  return look.custom_colours && IsSet(look.DialogBG) ? COLORREF(look.DialogBG) : GetSysColor(COLOR_BTNFACE);
}

// Whether a control lies on the white panel of layout 3.
bool OnPanel(const PageState& state, HWND control) {
  if (state.layout != 3) return false;
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  RECT panel{0, 0, 90, 180};
  MapDialogRect(GetParent(control), &panel);
  return r.left >= panel.right && r.top < panel.bottom;
}

std::wstring WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(size_t(length) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

void DrawPicture(const DRAWITEMSTRUCT& item, int layout) {
  HBITMAP picture = PagePicture(layout);
  if (!picture) return;
  BITMAP info{};
  GetObjectW(picture, sizeof info, &info);
  UniqueMemoryDc memory(CreateCompatibleDC(item.hDC));
  HGDIOBJ old = SelectObject(memory.get(), picture);
  SetStretchBltMode(item.hDC, HALFTONE);
  SetBrushOrgEx(item.hDC, 0, 0, nullptr);
  const RECT& r = item.rcItem;
  StretchBlt(item.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, memory.get(), 0, 0, info.bmWidth,
             info.bmHeight, SRCCOPY);
  SelectObject(memory.get(), old);
}

COLORREF StaticTextColour(const PageState& state, HWND control) {
  const Look& look = CurrentLook();
  if (state.layout == 3 && OnPanel(state, control)) return RGB(0, 0, 0);
  if (look.custom_colours && IsSet(look.DialogBG)) return look.DialogFG;
  return GetSysColor(COLOR_BTNTEXT);
}

// The owner-drawn prompt: word-wrapped, tabs expanded, no "&" processing, every line centred,
// the block centred in the control but never left of or above it.
void DrawPrompt(const DRAWITEMSTRUCT& item, const PageState& state) {
  HWND control = item.hwndItem;
  const RECT& r = item.rcItem;
  bool white = OnPanel(state, control);
  UniqueGdiObject fill(CreateSolidBrush(white ? RGB(255, 255, 255) : FaceColour()));
  FillRect(item.hDC, &r, static_cast<HBRUSH>(fill.get()));
  std::wstring text = WindowText(control);
  HGDIOBJ old = SelectObject(item.hDC, reinterpret_cast<HFONT>(SendMessageW(GetParent(control), WM_GETFONT, 0, 0)));
  const UINT format = DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX | DT_CENTER;
  RECT measure{0, 0, r.right - r.left, 0};
  DrawTextW(item.hDC, text.c_str(), int(text.size()), &measure, format | DT_CALCRECT);
  Rect block = CentredBlock({r.left, r.top, r.right - r.left, r.bottom - r.top}, measure.right, measure.bottom);
  RECT out{block.left, block.top, block.left + block.width, block.top + block.height};
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, StaticTextColour(state, control));
  DrawTextW(item.hDC, text.c_str(), int(text.size()), &out, format);
  SelectObject(item.hDC, old);
}

void CentreOnReference(HWND page) {
  RECT reference{};
  HWND background = BackgroundWindow();
  if (!background || !GetWindowRect(background, &reference)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &reference, 0);
  RECT own;
  GetWindowRect(page, &own);
  Point at = CentreOn({reference.left, reference.top, reference.right - reference.left, reference.bottom - reference.top},
                      own.right - own.left, own.bottom - own.top);
  SetWindowPos(page, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Lays one row of buttons out right to left from the right edge of the rightmost one.
void LayOutRow(HWND page, const std::vector<int>& ids, bool centre) {
  std::vector<HWND> buttons;
  std::vector<int> widths;
  HDC dc = GetDC(page);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(page, WM_GETFONT, 0, 0)));
  for (int id : ids) {
    HWND button = GetDlgItem(page, id);
    if (!button) continue;
    std::wstring caption = WithoutAmpersands(WindowText(button));
    SIZE size{};
    GetTextExtentPoint32W(dc, caption.c_str(), int(caption.size()), &size);
    buttons.push_back(button);
    widths.push_back(size.cx);
  }
  SelectObject(dc, old);
  ReleaseDC(page, dc);
  if (buttons.empty()) return;
  RECT last;
  GetWindowRect(buttons.back(), &last);
  MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&last), 2);
  RECT margin{4, 0, 0, 0};
  MapDialogRect(page, &margin);
  RECT client;
  GetClientRect(page, &client);
  int height = last.bottom - last.top;
  std::vector<ButtonSpan> row = ButtonRow(widths, GetSystemMetrics(SM_CXDLGFRAME), height, margin.left, last.right);
  if (centre && row.size() == 1) row[0].left = (client.right - row[0].width) / 2;
  for (size_t i = 0; i < buttons.size(); ++i) {
    RECT r;
    GetWindowRect(buttons[i], &r);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(buttons[i], nullptr, row[i].left, r.top, row[i].width, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

bool IsPushButton(HWND control) {
  wchar_t cls[16] = {};
  if (!GetClassNameW(control, cls, 16) || lstrcmpiW(cls, L"Button") != 0) return false;
  LONG_PTR type = GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_OWNERDRAW;
}

void CommonSetUp(HWND page, PageState& state) {
  state.window = page;
  if (!state.closable) EnableMenuItem(GetSystemMenu(page, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  if (g_environment.icon) {
    SendMessageW(page, WM_SETICON, ICON_SMALL, LPARAM(g_environment.icon));
    SendMessageW(page, WM_SETICON, ICON_BIG, LPARAM(g_environment.icon));
  }
  CentreOnReference(page);
  SetPageCaption(page, state);
  if (state.layout == 1)
    if (HWND picture = GetDlgItem(page, kIdSidePicture)) {
      SetWindowLongPtrW(picture, GWL_EXSTYLE, GetWindowLongPtrW(picture, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
      SetWindowPos(picture, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
  if (CurrentLook().owner_drawn_buttons) {
    state.default_id = MakeButtonsOwnerDrawn(page);
  } else {
    LRESULT def = SendMessageW(page, DM_GETDEFID, 0, 0);
    state.default_id = HIWORD(def) == DC_HASDEFID && GetDlgItem(page, LOWORD(def)) ? LOWORD(def) : 0;
  }
  if (state.default_id) SendMessageW(page, DM_SETDEFID, WPARAM(state.default_id), 0);
}

INT_PTR CALLBACK CommonProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<PageState*>(GetWindowLongPtrW(page, DWLP_USER));
  if (message == WM_INITDIALOG) {
    state = reinterpret_cast<PageState*>(lparam);
    SetWindowLongPtrW(page, DWLP_USER, LONG_PTR(state));
    CommonSetUp(page, *state);
    state->proc(page, message, wparam, lparam, *state);
    LayOutButtons(page, *state);
    PostMessageW(page, WM_COMMAND, kCommandActivate, 0);
    return FALSE;  // the focus is set by the posted command
  }
  if (!state) return FALSE;
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == kCommandActivate && lparam == 0) {
        SetForegroundWindow(page);
        if (HWND focus = GetDlgItem(page, state->focus_id)) SendMessageW(page, WM_NEXTDLGCTL, WPARAM(focus), TRUE);
        return TRUE;
      }
      if (lparam && HIWORD(wparam) != BN_CLICKED && IsPushButton(reinterpret_cast<HWND>(lparam))) {
        // A button's focus notifications (owner-drawn buttons send them) are no presses: the
        // default frame follows the focus, and the page never sees them.
        for (int id : state->button_row)
          if (HWND button = GetDlgItem(page, id)) InvalidateRect(button, nullptr, FALSE);
        return TRUE;
      }
      break;
    case WM_CTLCOLORDLG:
      if (HBRUSH brush = DialogBrush()) return INT_PTR(brush);
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HWND control = reinterpret_cast<HWND>(lparam);
      HDC dc = reinterpret_cast<HDC>(wparam);
      int id = GetDlgCtrlID(control);
      if (id == kIdBannerHeading || id == kIdBannerSubheading) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, CurrentLook().BannerFG);
        return INT_PTR(GetStockObject(NULL_BRUSH));
      }
      if (id == kIdDocument || id == kIdFolder) break;  // the edit fields keep the system's
      if (OnPanel(*state, control)) {
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkColor(dc, RGB(255, 255, 255));
        return INT_PTR(GetStockObject(WHITE_BRUSH));
      }
      if (HBRUSH brush = DialogBrush()) {
        SetTextColor(dc, CurrentLook().DialogFG);
        SetBkColor(dc, CurrentLook().DialogBG);
        return INT_PTR(brush);
      }
      break;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item.CtlType == ODT_BUTTON) {
        DrawThemedButton(item, LookButtonColours(), int(item.CtlID) == state->default_id);
        return TRUE;
      }
      if (item.CtlType == ODT_STATIC && (item.CtlID == kIdSidePicture || item.CtlID == kIdBanner)) {
        DrawPicture(item, state->layout);
        return TRUE;
      }
      if (item.CtlType == ODT_STATIC && item.CtlID == kIdPrompt) {
        DrawPrompt(item, *state);
        return TRUE;
      }
      break;
    }
  }
  return state->proc(page, message, wparam, lparam, *state);
}

// The page template from the resources, rebuilt with the look's font.
bool LoadTemplate(const std::wstring& name, std::string& out) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, name.c_str(), reinterpret_cast<LPCWSTR>(RT_DIALOG));
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return false;
  std::string_view original(static_cast<const char*>(bytes), SizeofResource(module, found));
  const std::wstring& face = DialogFace();
  auto rebuilt = WithDialogFont(original, std::u16string_view(reinterpret_cast<const char16_t*>(face.data()), face.size()),
                                DialogPointSize(CurrentLook().DialogZoom));
  out = rebuilt ? *rebuilt : std::string(original);
  return true;
}

}  // namespace

void SetPageEnvironment(const PageEnvironment& environment) { g_environment = environment; }
std::wstring PageText(int number) { return g_environment.text ? g_environment.text(number) : std::wstring(); }
std::wstring DialogCaption() { return g_environment.dialog_caption ? g_environment.dialog_caption() : std::wstring(); }

int PageMessage(const std::wstring& text, const std::wstring& caption, UINT flags) {
  return g_environment.message ? g_environment.message(text, caption, flags) : 0;
}

HWND PageOwner() { return g_progress ? g_progress : BackgroundWindow(); }
void SetProgressWindow(HWND window) { g_progress = window; }

INT_PTR RunPage(const std::wstring& template_name, PageState& state) {
  if (!g_environment.windows_allowed) return -1;
  std::string bytes;
  if (!LoadTemplate(template_name, bytes)) return -1;
  return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), PageOwner(),
                                 CommonProc, LPARAM(&state));
}

HWND CreatePage(const std::wstring& template_name, HWND owner, PageState& state) {
  if (!g_environment.windows_allowed) return nullptr;
  std::string bytes;
  if (!LoadTemplate(template_name, bytes)) return nullptr;
  return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), owner,
                                    CommonProc, LPARAM(&state));
}

void SetItemText(HWND page, int id, const std::wstring& text) { SetDlgItemTextW(page, id, text.c_str()); }

std::wstring ItemText(HWND page, int id) {
  HWND item = GetDlgItem(page, id);
  return item ? WindowText(item) : std::wstring();
}

void LayOutButtons(HWND page, PageState& state) {
  LayOutRow(page, state.button_row, state.centre_buttons);
  if (GetDlgItem(page, kIdBrowse)) LayOutRow(page, {kIdBrowse}, false);
}

void SetEditHeight(HWND page, int id) {
  HWND edit = GetDlgItem(page, id);
  if (!edit) return;
  HDC dc = GetDC(page);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(page, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(page, dc);
  RECT r;
  GetWindowRect(edit, &r);
  MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
  int height = int(metrics.tmHeight * 1.3 + 0.5);
  SetWindowPos(edit, nullptr, r.left, r.top, r.right - r.left, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetPageCaption(HWND page, PageState& state) {
  std::wstring title = state.title_text >= 0 ? PageText(state.title_text) : state.title;
  if (state.layout == 2) {
    SetWindowTextW(page, PageText(text::kPageCaption).c_str());
    SetItemText(page, kIdBannerSubheading, title);
    SetItemText(page, kIdBannerHeading, DialogCaption());
    if (HWND banner = GetDlgItem(page, kIdBanner)) InvalidateRect(banner, nullptr, TRUE);
  } else {
    SetWindowTextW(page, title.c_str());
  }
}

std::wstring WithoutAmpersands(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;
    else if (text[i] == L'&') continue;
    out += text[i];
  }
  return out;
}

}  // namespace halberd::ui
