// The installer's look: the process-wide look record (colours, fonts, zoom, pictures, title
// settings), filled once from the setup script or, in the uninstaller, from the uninstall key, and
// the arithmetic of the background window, the owner-drawn buttons and the page font. Portable:
// every number the windows use is worked out here, and the Windows files only draw it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/format/setup_script.h"

namespace halberd::uninstall {
struct UninstallSettings;
}

namespace halberd::ui {

inline constexpr uint32_t kUnset = format::kColourUnset;
constexpr bool IsSet(uint32_t colour) { return colour <= 0xFFFFFF; }
// RGB with red in the low byte, as the system's colour values.
constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }
constexpr uint32_t Red(uint32_t c) { return c & 0xFF; }
constexpr uint32_t Green(uint32_t c) { return (c >> 8) & 0xFF; }
constexpr uint32_t Blue(uint32_t c) { return (c >> 16) & 0xFF; }

struct Look {
  std::u16string DisplayTitle;  // empty or blank: text 0 of the current language
  std::u16string TitleFont = u"Cambria Bold Italic, Times New Roman Bold Italic";
  double TitleSize = 1.0;
  uint32_t TitleColor = Rgb(0xF7, 0xFE, 0xFF);
  uint8_t TitleShadow = 1;
  uint8_t TitlePosition = 0;
  uint32_t TopColor = kUnset;
  uint32_t BottomColor = kUnset;
  bool MonoColor = false;
  std::u16string CopyrightText;
  std::u16string CopyrightFont = u"Calibri Bold Italic, Verdana Bold Italic, Arial Bold Italic";
  double CopyrightSize = 1.0;
  uint32_t CopyrightColor = Rgb(0xEC, 0xFC, 0xFE);
  uint8_t CopyrightPos = 0;
  std::u16string TaskbarText;
  bool full_screen = true;
  bool background_window = true;  // false: the script switches the backdrop off
  std::string background_picture;  // BMP file bytes; empty: none
  int32_t BitmapTPI = -1;
  uint32_t StretchMode = 2;
  uint32_t BitmapSize = 0;
  std::u16string DialogFont;  // the list as given; resolved on Windows to one installed face
  uint32_t DialogZoom = 100;
  bool custom_colours = false;  // DialogBG/DialogFG apply
  uint32_t DialogBG = kUnset;
  uint32_t DialogFG = 0;
  bool owner_drawn_buttons = true;
  uint32_t ButtonBG = kUnset;
  uint32_t ButtonFG = kUnset;
  uint32_t ButtonBorder = 0;
  uint32_t BannerFG = 0;
  uint32_t ProgressStyle = 2;
  bool centred_buttons = false;  // message box buttons centred
};

// The look of an install run, from its script (taskbar text, title, colours, picture, fonts, zoom).
Look LookFromScript(const format::SetupScript& script);
// The look of an uninstall run, from the values of the uninstall key (zoom already clamped there).
Look LookFromUninstallSettings(const uninstall::UninstallSettings& settings);

// A colour given as text: an optional "#", then up to 6 hexadecimal digits; 6 are RRGGBB, 3 are
// RGB with each digit doubled, fewer are right-aligned with leading zeros. No digit, a seventh
// digit or any other character: unset.
uint32_t ParseColour(std::u16string_view text);

// The names of a comma-separated font list, each trimmed; empty names dropped.
std::vector<std::u16string> FontNames(std::u16string_view list);

// Page font size in points for a zoom percent: round(zoom / 10), within 4-30.
int DialogPointSize(int64_t zoom);
// Size factor of the message box for a zoom percent: round(zoom x 0.13).
double MessageBoxFontSize(int64_t zoom);

// ---- Background window ----------------------------------------------------------------------

// Height of one band of the banded gradient (when the system's gradient fill is missing): window
// height / 224, within 1-3 pixels.
int GradientBandHeight(int window_height);
// Colour of the band that starts at `y` in a window `height` high: the channels step evenly from
// the top colour to the bottom colour.
uint32_t GradientBandColour(uint32_t top, uint32_t bottom, int y, int height);

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

// Where the picture is drawn, for stretch modes 0-2 (mode 3 tiles): a centred area of
// `size_percent` of the window's width and height; mode 1 fits the picture keeping its aspect,
// mode 2 draws it at the largest whole multiple that fits (fits as mode 1 when none does), any
// other mode stretches it over the area. An empty rectangle when nothing is drawn.
Rect PicturePlacement(uint32_t stretch_mode, uint32_t size_percent, int window_width, int window_height,
                      int picture_width, int picture_height);
// Columns and rows of tiles that cover the window (mode 3).
struct TileCount {
  int columns = 0, rows = 0;
  bool operator==(const TileCount&) const = default;
};
TileCount Tiles(int window_width, int window_height, int picture_width, int picture_height);

// One text of the background (title or copyright line) fitted to the window.
struct TextFit {
  int pixel_height = 0;   // font height
  int shadow_offset = 0;  // 0: no shadow
};
// The first font size, from `start_points` down by one point, whose text is narrow enough:
// `measure(pixel_height)` gives the text's width in that font. Stops at 6 points.
template <typename Measure>
TextFit FitBackgroundText(double start_points, int shadow_factor, int dpi_y, int client_right, Measure measure) {
  TextFit fit;
  int margin = client_right / 200;
  for (int points = int(start_points);; --points) {
    fit.pixel_height = dpi_y * points / 72;
    fit.shadow_offset = shadow_factor * fit.pixel_height / 1300;
    if (points <= 6) break;
    if (measure(fit.pixel_height) + fit.shadow_offset + margin < client_right) break;
  }
  return fit;
}
// The box the text is drawn in, and its alignment (0 left, 1 centre, 2 right).
struct TextBox {
  Rect box;
  int align = 0;
};
TextBox BackgroundTextBox(int position, int client_width, int client_height, int text_height, int shadow_offset);

// ---- Owner-drawn buttons --------------------------------------------------------------------

// The rounded shape of a button `height` pixels high.
struct ButtonShape {
  double pen = 0, inset = 0, radius = 0;  // outline width, inset from the edge, corner radius
  double focus_inset = 0;                 // further inset of the dashed focus frame
  double dash = 0, gap = 0;
  int plain_border = 0;                   // border width without antialiased drawing
  double picture = 0;                     // side of a button picture
};
ButtonShape ButtonShapeFor(int height);

// A disabled button's face and text: each channel 80 % of the way toward grey 0x787878 (face) or
// light grey 0xDCDCDC (text), rounded.
uint32_t DisabledFace(uint32_t face);
uint32_t DisabledText(uint32_t text);
// A pressed button's face: darker in proportion to its brightness.
uint32_t PressedFace(uint32_t face);

}  // namespace halberd::ui
