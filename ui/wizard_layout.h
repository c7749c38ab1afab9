// The wizard pages' rules that need no window: which dialog template a page style picks, the
// button row, the owner-drawn prompt's text block, centring and placement of a page, the
// disk-space lines of the folder page, the Start-menu name rule, the greeting's link line and the
// summary check boxes. The Windows files only apply these numbers.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/look.h"

namespace halberd::ui {

enum class Page { kLanguage, kGreeting, kLicense, kReadme, kChooseDir, kStartMenu, kProgress, kSummary };

// Control ids shared by the templates.
inline constexpr int kIdForward = 1001;
inline constexpr int kIdBack = 1003;  // cancel / disagree
inline constexpr int kIdDocument = 1005;
inline constexpr int kIdProgressBar = 1007;
inline constexpr int kIdPrompt = 1009;
inline constexpr int kIdStatus = 1011;
inline constexpr int kIdBrowse = 1013;
inline constexpr int kIdFolder = 1015;
inline constexpr int kIdLanguageList = 1017;
inline constexpr int kIdPassword = 1019;
inline constexpr int kIdSidePicture = 1021;
inline constexpr int kIdShowDocument = 1023;
inline constexpr int kIdStartProgram = 1025;
inline constexpr int kIdViewLog = 1027;
inline constexpr int kIdSecondDocument = 1029;
inline constexpr int kIdBanner = 1032;
inline constexpr int kIdBannerHeading = 1034;
inline constexpr int kIdBannerSubheading = 1035;
inline constexpr int kIdSpaceNeeded = 1036;
inline constexpr int kIdSpaceAvailable = 1037;
inline constexpr int kIdPasswordLabel = 1039;
inline constexpr int kIdLink = 1040;
inline constexpr int kIdPanel = 1042;
inline constexpr int kCommandActivate = 1044;  // posted to itself: foreground and focus
inline constexpr int kTimerReadToEnd = 1045;
inline constexpr int kTimerHideCaret = 1047;

// The layout a page style value picks: 0 plain, 1 small picture, 3 tall picture with a white
// panel, and the banner (2) for every other value.
int PageLayout(int32_t style);
// The template of a page in a style: the page name and "Dlg2", "Dlg", "Dlg3" or "Dlg4".
std::u16string TemplateName(Page page, int32_t style);

// The button row: each button as wide as its caption plus two frame widths plus two thirds of
// the button height, placed right to left from `right` with a gap of a third of the height; when
// the row would start left of `left`, every width shrinks by the same amount. Results are the
// buttons' left edges and widths, in the order of `caption_widths` (rightmost last).
struct ButtonSpan {
  int left = 0, width = 0;
  bool operator==(const ButtonSpan&) const = default;
};
std::vector<ButtonSpan> ButtonRow(const std::vector<int>& caption_widths, int frame_width, int button_height, int left,
                                  int right);

// Where the owner-drawn prompt draws a text block `text_width` x `text_height` in `control`:
// centred both ways, never left of or above the control.
Rect CentredBlock(const Rect& control, int text_width, int text_height);

// The top-left of a page `width` x `height` centred on `reference`: (a + b) / 2 - (size + 1) / 2
// with integer halving, as the system's own centring does.
struct Point {
  int x = 0, y = 0;
  bool operator==(const Point&) const = default;
};
Point CentreOn(const Rect& reference, int width, int height);
// The progress window moved by the script's placement value inside `area`: bits 0-1 horizontal
// (1 left, 2 right, 3 centre), bits 3-4 vertical (8 top, 16 bottom, 24 centre); other bits and
// 0 keep `at`.
Point PlaceProgress(uint32_t placement, const Rect& area, Point at, int width, int height);

// A size as the folder page writes it: below 1024 "N bytes", else two decimals and the largest
// unit (KB, MB, GB, TB) not above the value.
std::u16string SizeText(uint64_t bytes);
// The space-available line is shown only for a folder that begins with a drive letter.
bool StartsWithDriveLetter(std::u16string_view folder);

// Whether a Start-menu folder name may be used: none of / " < > | * ? : ; no leading backslash
// and no two backslashes in a row.
bool StartMenuNameAllowed(std::u16string_view name);

// The greeting's link line: the first "<a>" of `line` becomes an opening anchor with `address`
// in double quotes. Empty (no link control) when the address or the line is empty.
std::u16string GreetingLinkText(std::u16string_view line, std::u16string_view address);

// The summary check boxes in their stacking order (start program, show document, second
// document, view log) with the dialog-unit rectangle of each one shown.
struct SummaryBox {
  int id = 0;
  Rect rect;  // dialog units
  bool operator==(const SummaryBox&) const = default;
};
struct SummaryChoices {
  bool start_program = false, show_document = false, second_document = false, view_log = false;
};
std::vector<SummaryBox> SummaryBoxes(int32_t style, const SummaryChoices& shown);

// The password page: the typed text must equal the script's password exactly.
bool PasswordMatches(std::u16string_view typed, std::u16string_view password);

// The language the page preselects: the first name that begins (ASCII case ignored) with the
// user's locale language name cut before "(" and trimmed; else "English"; else 0.
size_t PreselectedLanguage(const std::vector<std::u16string>& names, std::u16string_view locale_name);

}  // namespace halberd::ui
