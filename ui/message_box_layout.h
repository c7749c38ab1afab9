// The message box's rules as pure functions: which buttons a flag word shows and in what order,
// which one has the focus, the box's metrics and layout from the font height, where it is
// placed, and the flag word of the system's own box when the custom one cannot be built.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace halberd::ui {

// The flag word: the system's message-box flags plus these extensions.
inline constexpr uint32_t kMbYesToAll = 0x8000000;       // "Yes to all" (19) after "&Yes"
inline constexpr uint32_t kMbNoToAll = 0x10000000;       // "No to all" (20) after "&No"
inline constexpr uint32_t kMbOwnButtonWidths = 0x1000000;  // each button its own width
inline constexpr uint32_t kMbNarrowText = 0x2000000;       // text column three quarters wide
inline constexpr uint32_t kMbButtonSetMask = 0xF;
inline constexpr uint32_t kMbIconMask = 0xF0;
inline constexpr uint32_t kMbDefaultMask = 0xF00;
inline constexpr uint32_t kMbHelp = 0x4000;

// Button ids: the system's, and the installer's own two.
inline constexpr int kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7,
                     kIdClose = 8, kIdHelp = 9, kIdTryAgain = 10, kIdContinue = 11, kIdYesToAll = 19,
                     kIdNoToAll = 20;

struct BoxButton {
  int id = 0;
  std::u16string caption;  // "&" marks the access key
  bool operator==(const BoxButton&) const = default;
};

// The buttons of a flag word, in order; `custom` are used when the button set is 0 (none: "&OK").
// The help flag adds "&Help" at the end.
std::vector<BoxButton> ButtonsFor(uint32_t flags, const std::vector<BoxButton>& custom);
// Index of the button that has the focus first: bits 8-11 = 1..5 pick the 2nd..6th button.
size_t DefaultButtonIndex(uint32_t flags, size_t button_count);
// Escape and the close box end a box only with at most one button (or when the caller says so).
bool IsClosable(size_t button_count, bool caller_marks_closable);
// A caption without its "&" markers ("&&" stands for one "&").
std::u16string WithoutAccessMarks(const std::u16string& caption);
// The access key of a caption, upper case; 0 when it has none.
char16_t AccessKey(const std::u16string& caption);

// Metrics from the font size S and the vertical dots per inch D.
struct BoxMetrics {
  int font_height = 0;    // F = S x D / 72, rounded
  int button_height = 0;  // ceil(S x D x 17 / 720)
  int button_gap = 0;     // ceil(S x D / 180)
  int margin = 0;         // ceil(1.2 x F), around the icon and the box
  int icon_gap = 0;       // ceil(2.4 x F), between the icon and the text
  int check_gap = 0;      // ceil(0.5 x F)
};
BoxMetrics MetricsFor(double font_size, int dpi);
// Icon side: the system icon size x S / 10.833, rounded.
int IconSide(int system_icon_side, double font_size);

// Width of the text column in pixels for a message of `characters` characters.
int TextColumnWidth(size_t characters, int font_height, uint32_t flags, int monitor_width, int icon_width);

// Width of each button: caption width + ceil(1.5 F) padding (three times that for a lone OK, twice
// with a picture), + picture width, at least ceil(3 F); the widest for all unless the flags ask
// for own widths.
std::vector<int> ButtonWidths(const std::vector<BoxButton>& buttons, const std::vector<int>& caption_widths,
                              int font_height, int picture_width, uint32_t flags);

struct Box {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Box&) const = default;
};

// Where the controls go in the client area; all in pixels.
struct BoxLayout {
  Box icon;                 // empty without an icon
  Box text;
  Box check;                // empty without a check box
  std::vector<Box> buttons;
  int client_width = 0, client_height = 0;
  int button_area_top = 0;  // where the button-area colour begins
};
struct LayoutInput {
  BoxMetrics metrics;
  int icon_side = 0;        // 0: no icon
  int text_width = 0, text_height = 0;  // the measured text
  int check_height = 0;     // 0: no check box
  std::vector<int> button_widths;
  char button_alignment = 'b';  // 'b' right, 'a' centred, '`' left
};
BoxLayout LayOut(const LayoutInput& in);

// The box centred on its owner, then moved to lie inside the work area.
Box PlaceBox(int width, int height, const Box& owner, const Box& work_area, bool has_position, int x, int y);

// The flag word for the system's message box when the custom one cannot be built: the button set
// derived from the custom ids when it was 0, set 7 shown as OK/Cancel.
uint32_t FallbackFlags(uint32_t flags, const std::vector<BoxButton>& custom);
// The system box's answer as this box's: for set 7, OK is Continue (11) and Cancel is Abort (3).
int FallbackResult(uint32_t flags, int system_result);

}  // namespace halberd::ui
