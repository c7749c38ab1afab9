// The owner-drawn rounded buttons of the pages and the message box.
#pragma once
#include <windows.h>

#include <cstdint>

namespace halberd::ui {

struct ButtonColours {
  uint32_t face;    // unset: the system button face
  uint32_t text;    // unset: the system button text
  uint32_t border;  // unset: black
};

// The look's button colours.
ButtonColours LookButtonColours();

// Switches every push button and default push button among `parent`'s children to owner-drawn;
// returns the id of the default push button (0 when none).
int MakeButtonsOwnerDrawn(HWND parent);

// Draws one button of a WM_DRAWITEM request. `is_default`: the parent's default button, drawn
// with the highlight border unless another button has the focus.
void DrawThemedButton(const DRAWITEMSTRUCT& item, const ButtonColours& colours, bool is_default);

}  // namespace halberd::ui
