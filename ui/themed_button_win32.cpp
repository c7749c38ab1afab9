// Owner-drawn buttons: a rounded face outlined in the border colour (the highlight colour for the
// default or focused button), a dashed inner frame for the focus, the caption centred with its
// access key underlined, and greyed colours when disabled.
#include "ui/themed_button_win32.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "ui/gdi_handles_win32.h"
#include "ui/look.h"
#include "ui/look_win32.h"

namespace halberd::ui {

ButtonColours LookButtonColours() {
  const Look& look = CurrentLook();
  if (!look.owner_drawn_buttons) return {kUnset, kUnset, kUnset};
  return {look.ButtonBG, look.ButtonFG, look.ButtonBorder};
}

int MakeButtonsOwnerDrawn(HWND parent) {
  int default_id = 0;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t cls[16];
    if (!GetClassNameW(child, cls, 16) || lstrcmpiW(cls, L"Button") != 0) continue;
    LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    LONG_PTR type = style & BS_TYPEMASK;
    if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON) continue;
    if (type == BS_DEFPUSHBUTTON) default_id = GetDlgCtrlID(child);
    SetWindowLongPtrW(child, GWL_STYLE, (style & ~BS_TYPEMASK) | BS_OWNERDRAW | BS_NOTIFY);
    InvalidateRect(child, nullptr, TRUE);
  }
  return default_id;
}

namespace {

// The focus is on an owner-drawn button other than `button` in the same parent.
bool AnotherButtonHasFocus(HWND button) {
  HWND focus = GetFocus();
  if (!focus || focus == button || GetParent(focus) != GetParent(button)) return false;
  return (GetWindowLongPtrW(focus, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW;
}

}  // namespace

void DrawThemedButton(const DRAWITEMSTRUCT& item, const ButtonColours& colours, bool is_default) {
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  const int height = r.bottom - r.top;
  const bool disabled = item.itemState & ODS_DISABLED;
  const bool pressed = item.itemState & ODS_SELECTED;
  const bool focused = item.itemState & ODS_FOCUS;
  uint32_t face = IsSet(colours.face) ? colours.face : GetSysColor(COLOR_BTNFACE);
  uint32_t text = IsSet(colours.text) ? colours.text : GetSysColor(COLOR_BTNTEXT);
  uint32_t border = IsSet(colours.border) ? colours.border : 0;
  if (pressed) face = PressedFace(face);
  if (disabled) {
    face = DisabledFace(face);
    text = DisabledText(text);
  }
  if (!disabled && (focused || (is_default && !AnotherButtonHasFocus(item.hwndItem)))) border = GetSysColor(COLOR_HIGHLIGHT);

  // The parent's background shows in the corners.
  HWND parent = GetParent(item.hwndItem);
  HBRUSH back = reinterpret_cast<HBRUSH>(SendMessageW(parent, WM_CTLCOLORBTN, WPARAM(dc), LPARAM(item.hwndItem)));
  FillRect(dc, &r, back ? back : GetSysColorBrush(COLOR_BTNFACE));

  ButtonShape shape = ButtonShapeFor(height);
  int pen_width = std::max(1, int(std::lround(shape.pen)));
  int inset = int(std::lround(shape.inset));
  int diameter = int(std::lround(2 * shape.radius));
  UniqueGdiObject face_brush(CreateSolidBrush(face));
  UniqueGdiObject border_pen(CreatePen(PS_SOLID, pen_width, border));
  {
    Selected b(dc, face_brush.get()), p(dc, border_pen.get());
    RoundRect(dc, r.left + inset, r.top + inset, r.right - inset, r.bottom - inset, diameter, diameter);
  }
  if (focused) {
    // The focus frame: a dashed rounded rectangle in the text colour, further inside.
    int f = inset + int(std::lround(shape.focus_inset)) + pen_width;
    LOGBRUSH lb{BS_SOLID, text, 0};
    DWORD dashes[2] = {DWORD(std::max(1L, std::lround(shape.dash))), DWORD(std::max(1L, std::lround(shape.gap)))};
    UniqueGdiObject dash_pen(ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE, 1, &lb, 2, dashes));
    Selected b(dc, GetStockObject(NULL_BRUSH)), p(dc, dash_pen.get());
    RoundRect(dc, r.left + f, r.top + f, r.right - f, r.bottom - f, std::max(2, diameter - 2 * f),
              std::max(2, diameter - 2 * f));
  }

  wchar_t caption[256];
  int n = GetWindowTextW(item.hwndItem, caption, 256);
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
  if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  Selected f(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, text);
  RECT text_rect = r;
  if (pressed) OffsetRect(&text_rect, 1, 1);
  DrawTextW(dc, caption, n, &text_rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

}  // namespace halberd::ui
