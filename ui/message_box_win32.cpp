// The message box: measured with the box font at the screen's dots per inch, laid out by
// message_box_layout.h, built as an in-memory dialog whose controls are placed in pixels, and
// run in a modal loop of its own so that Escape, Enter, access keys and Ctrl+C follow its rules.
#include "ui/message_box_win32.h"

#include <algorithm>
#include <cmath>

#include "ui/gdi_handles_win32.h"
#include "ui/look_win32.h"
#include "ui/themed_button_win32.h"

namespace halberd::ui {

namespace {

struct BoxState {
  MessageBoxRequest* request = nullptr;
  std::vector<BoxButton> buttons;
  size_t default_index = 0;
  bool closable = false;
  BoxLayout layout;
  bool scrolled_text = false;  // the message is taller than the screen allows: a scrolling field
  HFONT font = nullptr;
  HICON icon = nullptr;
  int icon_side = 0;
  UniqueGdiObject background_brush, button_area_brush;
  COLORREF text_colour = 0;
  COLORREF background_colour = 0;
  bool done = false;
  int result = 0;
};

std::wstring W(const std::u16string& u) { return std::wstring(u.begin(), u.end()); }

HICON FlagIcon(uint32_t flags) {
  switch (flags & kMbIconMask) {
    case 0x10: return LoadIconW(nullptr, IDI_HAND);
    case 0x20: return LoadIconW(nullptr, IDI_QUESTION);
    case 0x30: return LoadIconW(nullptr, IDI_EXCLAMATION);
    case 0x40: return LoadIconW(nullptr, IDI_ASTERISK);
    default: return nullptr;
  }
}

// The box font: the system's message font (else "MS Shell Dlg 2") at height F, in the request's face.
HFONT CreateBoxFont(const MessageBoxRequest& request, int font_height) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTW font{};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    font = metrics.lfMessageFont;
  } else {
    lstrcpynW(font.lfFaceName, L"MS Shell Dlg 2", LF_FACESIZE);
    font.lfHeight = -MulDiv(8, ScreenDpi(), 72);
    font.lfCharSet = DEFAULT_CHARSET;
  }
  if (font_height >= 1) font.lfHeight = -font_height;
  if (!request.font_face.empty()) lstrcpynW(font.lfFaceName, request.font_face.c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

void End(HWND box, BoxState& s, int id) {
  if (s.done) return;
  if (!s.request->check_text.empty() && id != kIdCancel)
    s.request->check_state = IsDlgButtonChecked(box, kCheckBoxId) == BST_CHECKED;
  s.result = id;
  s.done = true;
}

void CopyTextToClipboard(HWND box, const std::wstring& text) {
  if (!OpenClipboard(box)) return;
  EmptyClipboard();
  size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* p = GlobalLock(memory)) {
      memcpy(p, text.c_str(), bytes);
      GlobalUnlock(memory);
      if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

HWND AddControl(HWND box, const wchar_t* cls, const std::wstring& text, DWORD style, const Box& at, int id,
                HFONT font) {
  HWND control = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, at.x, at.y, at.width,
                                 at.height, box, reinterpret_cast<HMENU>(intptr_t(id)), GetModuleHandleW(nullptr),
                                 nullptr);
  if (control) SendMessageW(control, WM_SETFONT, WPARAM(font), FALSE);
  return control;
}

BOOL OnInit(HWND box, BoxState& s) {
  SetWindowLongPtrW(box, DWLP_USER, reinterpret_cast<LONG_PTR>(&s));
  const MessageBoxRequest& r = *s.request;
  SetWindowTextW(box, r.caption.c_str());
  // The client area as laid out, the frame around it, placed on the owner inside its monitor.
  RECT frame{0, 0, s.layout.client_width, s.layout.client_height};
  AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrW(box, GWL_STYLE)), FALSE, DWORD(GetWindowLongPtrW(box, GWL_EXSTYLE)));
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  HWND anchor = r.owner && IsWindow(r.owner) ? r.owner : nullptr;
  HMONITOR monitor = MonitorFromWindow(anchor ? anchor : box, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (GetMonitorInfoW(monitor, &info)) work = info.rcWork;
  RECT owner_rect = work;
  if (anchor) GetWindowRect(anchor, &owner_rect);
  Box placed = PlaceBox(width, height, {owner_rect.left, owner_rect.top, owner_rect.right - owner_rect.left, owner_rect.bottom - owner_rect.top},
                        {work.left, work.top, work.right - work.left, work.bottom - work.top}, r.has_position, r.x, r.y);
  SetWindowPos(box, (r.flags & MB_TOPMOST) ? HWND_TOPMOST : nullptr, placed.x, placed.y, width, height,
               (r.flags & MB_TOPMOST) ? 0 : SWP_NOZORDER);

  if (s.scrolled_text) {
    std::wstring text;  // an edit field breaks lines only at CR LF
    for (size_t i = 0; i < r.text.size(); ++i) {
      if (r.text[i] == L'\n' && (i == 0 || r.text[i - 1] != L'\r')) text += L'\r';
      text += r.text[i];
    }
    AddControl(box, L"Edit", text, ES_MULTILINE | ES_READONLY | WS_VSCROLL, s.layout.text, kMessageTextId, s.font);
  } else {
    AddControl(box, L"Static", r.text, SS_LEFT | SS_NOPREFIX, s.layout.text, kMessageTextId, s.font);
  }
  if (!r.check_text.empty()) {
    HWND check = AddControl(box, L"Button", r.check_text, BS_AUTOCHECKBOX | WS_TABSTOP, s.layout.check, kCheckBoxId, s.font);
    SendMessageW(check, BM_SETCHECK, r.check_state ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  HWND focus = nullptr;
  for (size_t i = 0; i < s.buttons.size(); ++i) {
    DWORD type = r.owner_drawn ? BS_OWNERDRAW : (i == s.default_index ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    HWND button = AddControl(box, L"Button", W(s.buttons[i].caption), type | WS_TABSTOP | (i == 0 ? WS_GROUP : 0),
                             s.layout.buttons[i], s.buttons[i].id, s.font);
    if (i == s.default_index) focus = button;
  }
  if (s.icon) SendMessageW(box, WM_SETICON, ICON_SMALL, LPARAM(s.icon));
  if (!s.closable) EnableMenuItem(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  if (focus) {
    SendMessageW(box, DM_SETDEFID, WPARAM(GetDlgCtrlID(focus)), 0);
    SetFocus(focus);
  }
  SetForegroundWindow(box);
  return FALSE;  // the focus is set
}

void Paint(HWND box, BoxState& s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(box, &ps);
  RECT client;
  GetClientRect(box, &client);
  RECT top = client, bottom = client;
  top.bottom = bottom.top = s.layout.button_area_top;
  FillRect(dc, &top, static_cast<HBRUSH>(s.background_brush.get()));
  FillRect(dc, &bottom, static_cast<HBRUSH>(s.button_area_brush.get()));
  if (s.icon)
    DrawIconEx(dc, s.layout.icon.x, s.layout.icon.y, s.icon, s.layout.icon.width, s.layout.icon.height, 0, nullptr, DI_NORMAL);
  EndPaint(box, &ps);
}

INT_PTR CALLBACK BoxProc(HWND box, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_INITDIALOG) return OnInit(box, *reinterpret_cast<BoxState*>(l));
  auto* s = reinterpret_cast<BoxState*>(GetWindowLongPtrW(box, DWLP_USER));
  if (!s) return FALSE;
  switch (message) {
    case WM_ERASEBKGND:
      return TRUE;  // painted whole in WM_PAINT
    case WM_PAINT:
      Paint(box, *s);
      return TRUE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(w);
      SetTextColor(dc, s->text_colour);
      SetBkMode(dc, TRANSPARENT);
      if (s->scrolled_text && GetDlgCtrlID(reinterpret_cast<HWND>(l)) == kMessageTextId) {
        SetBkMode(dc, OPAQUE);  // a scrolling field repaints its own background
        SetBkColor(dc, s->background_colour);
      }
      bool in_button_area = GetDlgCtrlID(reinterpret_cast<HWND>(l)) != kMessageTextId &&
                            GetDlgCtrlID(reinterpret_cast<HWND>(l)) != kCheckBoxId;
      return reinterpret_cast<INT_PTR>(in_button_area ? s->button_area_brush.get() : s->background_brush.get());
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(l);
      bool is_default = s->default_index < s->buttons.size() && int(item.CtlID) == s->buttons[s->default_index].id;
      DrawThemedButton(item, LookButtonColours(), is_default);
      return TRUE;
    }
    case WM_COMMAND: {
      int id = LOWORD(w);
      if (HIWORD(w) == BN_SETFOCUS || HIWORD(w) == BN_KILLFOCUS) {
        // The default frame follows the focus.
        for (const BoxButton& b : s->buttons) InvalidateRect(GetDlgItem(box, b.id), nullptr, FALSE);
        return TRUE;
      }
      if (HIWORD(w) != BN_CLICKED) return TRUE;
      if (id == kCheckBoxId || id == kIdClose || id == kIdHelp) return TRUE;
      // A command without a control is the dialog manager's Escape or the close box.
      if (l == 0 && id == kIdCancel) {
        if (s->closable) End(box, *s, kIdCancel);
        return TRUE;
      }
      for (const BoxButton& b : s->buttons)
        if (b.id == id) End(box, *s, id);
      return TRUE;
    }
    case WM_SYSCOMMAND:
      if ((w & 0xFFF0) == SC_CLOSE) {
        if (s->closable) End(box, *s, kIdCancel);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// Keys the box handles itself before the dialog manager: true when the message is used.
bool HandleKey(HWND box, BoxState& s, const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  if (msg.hwnd != box && !IsChild(box, msg.hwnd)) return false;
  bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0, alt = GetKeyState(VK_MENU) < 0;
  switch (msg.wParam) {
    case VK_ESCAPE:
      if (!ctrl && !shift && !alt && s.closable) End(box, s, kIdCancel);
      return true;
    case VK_RETURN: {
      HWND focus = GetFocus();
      int id = focus && IsChild(box, focus) ? GetDlgCtrlID(focus) : 0;
      for (const BoxButton& b : s.buttons)
        if (b.id == id) {
          End(box, s, id);
          return true;
        }
      if (s.default_index < s.buttons.size()) End(box, s, s.buttons[s.default_index].id);
      return true;
    }
    default:
      break;
  }
  if (msg.wParam == 'C' && ctrl && !shift && !alt) {
    CopyTextToClipboard(box, s.request->text);
    return true;
  }
  if (!ctrl && msg.wParam >= 'A' && msg.wParam <= 'Z') {
    for (const BoxButton& b : s.buttons)
      if (AccessKey(b.caption) == char16_t(msg.wParam)) {
        End(box, s, b.id);
        return true;
      }
  }
  return false;
}

// The template: a popup with caption, system menu and modal frame, without controls; they are
// placed in pixels when the box opens.
std::vector<WORD> BoxTemplate(bool system_modal) {
  std::vector<WORD> t(sizeof(DLGTEMPLATE) / sizeof(WORD) + 3, 0);
  auto* d = reinterpret_cast<DLGTEMPLATE*>(t.data());
  d->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | (system_modal ? DS_SYSMODAL : 0);
  d->cx = 100;
  d->cy = 50;
  return t;  // menu, class and title words stay 0
}

int SystemBox(const MessageBoxRequest& r) {
  int answer = MessageBoxW(r.owner, r.text.c_str(), r.caption.c_str(), FallbackFlags(r.flags, r.buttons));
  return FallbackResult(r.flags, answer);
}

}  // namespace

int ShowMessageBox(MessageBoxRequest& r) {
  if (r.system_box) return SystemBox(r);
  BoxState s;
  s.request = &r;
  s.buttons = ButtonsFor(r.flags, r.buttons);
  s.default_index = DefaultButtonIndex(r.flags, s.buttons.size());
  s.closable = IsClosable(s.buttons.size(), r.closable);

  const int dpi = ScreenDpi();
  LayoutInput in;
  in.metrics = MetricsFor(r.font_size, dpi);
  UniqueGdiObject font(CreateBoxFont(r, in.metrics.font_height));
  s.font = static_cast<HFONT>(font.get());
  s.icon = r.icon ? r.icon : FlagIcon(r.flags);
  if (s.icon) in.icon_side = IconSide(GetSystemMetrics(SM_CXICON), r.font_size);
  in.button_alignment = r.button_alignment;
  {
    HDC screen = GetDC(nullptr);
    Selected selected(screen, font.get());
    HMONITOR monitor = MonitorFromWindow(r.owner, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    int monitor_width = GetMonitorInfoW(monitor, &info) ? info.rcWork.right - info.rcWork.left : GetSystemMetrics(SM_CXSCREEN);
    RECT text{0, 0, TextColumnWidth(r.text.size(), in.metrics.font_height, r.flags, monitor_width, in.icon_side), 0};
    DrawTextW(screen, r.text.c_str(), int(r.text.size()), &text, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    in.text_width = text.right;
    in.text_height = text.bottom;
    // A message taller than the work area leaves room for the rest of the box and scrolls, so
    // that the buttons stay on the screen.
    int work_height = GetMonitorInfoW(monitor, &info) ? info.rcWork.bottom - info.rcWork.top : GetSystemMetrics(SM_CYSCREEN);
    int room = work_height - GetSystemMetrics(SM_CYCAPTION) - 2 * GetSystemMetrics(SM_CYFIXEDFRAME) -
               4 * in.metrics.margin - in.metrics.button_height - 4 * in.metrics.font_height;
    if (in.text_height > room && room > in.metrics.font_height) {
      s.scrolled_text = true;
      in.text_height = room;
      in.text_width += GetSystemMetrics(SM_CXVSCROLL);
    }
    if (!r.check_text.empty()) {
      RECT check{0, 0, in.text_width, 0};
      DrawTextW(screen, r.check_text.c_str(), -1, &check, DT_CALCRECT | DT_WORDBREAK);
      in.check_height = std::max<int>(check.bottom, 1);
      in.text_width = std::max<int>(in.text_width, check.right + GetSystemMetrics(SM_CXMENUCHECK) + 4);
    }
    std::vector<int> caption_widths;
    for (const BoxButton& b : s.buttons) {
      std::wstring shown = W(WithoutAccessMarks(b.caption));
      SIZE size{};
      GetTextExtentPoint32W(screen, shown.c_str(), int(shown.size()), &size);
      caption_widths.push_back(size.cx);
    }
    in.button_widths = ButtonWidths(s.buttons, caption_widths, in.metrics.font_height, 0, r.flags);
    ReleaseDC(nullptr, screen);
  }
  s.layout = LayOut(in);
  s.text_colour = ColourOr(r.text_colour, COLOR_WINDOWTEXT);
  s.background_colour = ColourOr(r.background_colour, COLOR_WINDOW);
  s.background_brush.reset(CreateSolidBrush(s.background_colour));
  uint32_t button_area = IsSet(r.button_area_colour) ? r.button_area_colour : GetSysColor(COLOR_BTNFACE);
  s.button_area_brush.reset(CreateSolidBrush(button_area));

  std::vector<WORD> box_template = BoxTemplate(r.flags & MB_SYSTEMMODAL);
  HWND box = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(box_template.data()),
                                        r.owner, BoxProc, reinterpret_cast<LPARAM>(&s));
  if (!box) return SystemBox(r);
  const bool owner_was_enabled = r.owner && IsWindowEnabled(r.owner);
  if (owner_was_enabled) EnableWindow(r.owner, FALSE);
  ShowWindow(box, SW_SHOW);
  MSG msg;
  while (!s.done) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(int(msg.wParam));  // the quit belongs to the caller's loop
      if (!s.done) s.result = s.default_index < s.buttons.size() ? s.buttons[s.default_index].id : kIdOk;
      break;
    }
    if (HandleKey(box, s, msg)) continue;
    if (IsDialogMessageW(box, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (owner_was_enabled) EnableWindow(r.owner, TRUE);
  DestroyWindow(box);
  if (r.owner && IsWindow(r.owner)) SetActiveWindow(r.owner);
  return s.result;
}

}  // namespace halberd::ui
