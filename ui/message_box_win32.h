// The installer's own message box: a modal dialog built in memory with the look's font, zoom and
// colours, owner-drawn buttons, "Yes to all" and "No to all", and keyboard use; the system's box
// when it cannot be built.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "ui/look.h"
#include "ui/message_box_layout.h"

namespace halberd::ui {

// Control ids of the box besides its buttons (a driver finds the message and the check box by them).
inline constexpr int kMessageTextId = 0x400;
inline constexpr int kCheckBoxId = 0x401;

struct MessageBoxRequest {
  HWND owner = nullptr;
  std::wstring text;
  std::wstring caption;
  uint32_t flags = 0;
  std::vector<BoxButton> buttons;  // used when the button set is 0
  std::wstring check_text;         // empty: no check box
  bool check_state = false;        // in: initial; out: as left by a button other than Cancel
  std::wstring font_face;          // empty: the system message font
  double font_size = 13.0;
  uint32_t text_colour = kUnset, background_colour = kUnset, button_area_colour = kUnset;
  char button_alignment = 'b';     // 'b' right, 'a' centred, '`' left
  bool has_position = false;
  int x = 0, y = 0;
  HICON icon = nullptr;            // replaces the icon of the flags
  bool owner_drawn = false;
  bool closable = false;           // Escape and the close box end it with 2 whatever its buttons
  bool system_box = false;         // show the system's box straight away
};

// Shows the box and returns the id of the pressed button.
int ShowMessageBox(MessageBoxRequest& request);

}  // namespace halberd::ui
