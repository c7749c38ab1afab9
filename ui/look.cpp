// The look record from the setup script or the uninstall key, colour texts, font lists, zoom,
// and the geometry of the background window and of the owner-drawn buttons.
#include "ui/look.h"

#include <algorithm>
#include <cmath>

#include "foundation/format/product_flags.h"
#include "uninstall/uninstall_settings.h"

namespace halberd::ui {

Look LookFromScript(const format::SetupScript& s) {
  Look look;
  look.DisplayTitle = s.DisplayTitle;
  look.TitleFont = s.TitleFont;
  look.TitleSize = s.TitleSize;
  look.TitleColor = s.TitleColor;
  look.TitleShadow = s.TitleShadow;
  look.TitlePosition = s.TitlePosition;
  look.TopColor = s.TopColor;
  look.BottomColor = s.BottomColor;
  look.MonoColor = s.MonoColor();
  look.CopyrightPos = s.CopyrightPos;
  if (s.CopyrightPos != 0) {
    look.CopyrightText = s.CopyrightText;
    look.CopyrightFont = s.CopyrightFont;
    look.CopyrightSize = s.CopyrightSize;
    look.CopyrightColor = s.CopyrightColor;
  }
  look.TaskbarText = s.TaskbarText;
  look.full_screen = (s.ProductFlags & format::kFlagFullScreenBackground) != 0;
  look.background_window = (s.ProductFlags & format::kFlagNoBackgroundWindow) == 0;
  if (s.ProductFlags & format::kFlagBackgroundImage) look.background_picture = s.background_picture;
  look.BitmapTPI = s.BitmapTPI;
  look.StretchMode = s.StretchMode;
  look.BitmapSize = std::min<uint32_t>(s.BitmapSize, 100);
  look.DialogFont = s.DialogFont;
  look.DialogZoom = s.DialogZoom;
  look.custom_colours = (s.ProductFlags & format::kFlagDialogColours) != 0;
  if (look.custom_colours) {
    look.DialogBG = s.DialogBG;
    look.DialogFG = s.DialogFG;
  }
  if (s.ProductFlags2 & format::kFlags2ButtonColours) {
    look.ButtonBG = s.ButtonBG;
    look.ButtonFG = s.ButtonFG;
    look.ButtonBorder = s.ButtonBorder;
  }
  look.BannerFG = s.BannerFG;
  look.ProgressStyle = uint32_t(s.settings.ProgressStyle);
  return look;
}

Look LookFromUninstallSettings(const uninstall::UninstallSettings& s) {
  Look look;
  look.DisplayTitle = s.DisplayTitle;
  if (!s.TitleFont.empty()) look.TitleFont = s.TitleFont;
  look.TitleSize = s.TitleSize;
  look.TitleColor = s.TitleColor;
  look.TitleShadow = uint8_t(std::min<uint32_t>(s.TitleShadow, 255));
  look.TitlePosition = uint8_t(s.TitlePosition <= 6 ? s.TitlePosition : 0);
  look.TopColor = s.TopColor;
  look.BottomColor = s.BottomColor;
  look.MonoColor = s.MonoColor != 0 || s.TopColor == s.BottomColor;
  look.CopyrightPos = uint8_t(s.CopyrightPos <= 6 ? s.CopyrightPos : 0);
  look.CopyrightText = s.CopyrightText;
  if (!s.CopyrightFont.empty()) look.CopyrightFont = s.CopyrightFont;
  look.CopyrightSize = s.CopyrightSize > 0 ? s.CopyrightSize : 1.0;
  look.CopyrightColor = s.CopyrightColor;
  look.TaskbarText = s.TaskbarText;
  look.full_screen = (s.ProductFlags & format::kFlagFullScreenBackground) != 0;
  look.background_window = (s.ProductFlags & format::kFlagNoBackgroundWindow) == 0;
  look.BitmapTPI = s.BitmapTPI;
  look.StretchMode = s.StretchMode;
  look.BitmapSize = std::min<uint32_t>(s.BitmapSize, 100);
  look.DialogFont = s.DialogFont;
  look.DialogZoom = s.DialogZoom;
  look.custom_colours = IsSet(s.DialogBG);
  look.DialogBG = s.DialogBG;
  look.DialogFG = IsSet(s.DialogFG) ? s.DialogFG : 0;
  look.ButtonBG = s.ButtonBG;
  look.ButtonFG = s.ButtonFG;
  look.ButtonBorder = IsSet(s.ButtonBorder) ? s.ButtonBorder : 0;
  look.BannerFG = IsSet(s.BannerFG) ? s.BannerFG : 0;
  look.ProgressStyle = s.ProgressStyle;
  return look;
}

uint32_t ParseColour(std::u16string_view text) {
  if (!text.empty() && text.front() == u'#') text.remove_prefix(1);
  if (text.empty() || text.size() > 6) return kUnset;
  uint32_t value = 0;
  for (char16_t c : text) {
    int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                : c >= u'a' && c <= u'f' ? c - u'a' + 10
                : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                         : -1;
    if (digit < 0) return kUnset;
    value = value << 4 | uint32_t(digit);
  }
  if (text.size() == 3) {  // RGB: each digit doubled
    uint32_t r = (value >> 8) & 0xF, g = (value >> 4) & 0xF, b = value & 0xF;
    return Rgb(r * 17, g * 17, b * 17);
  }
  // RRGGBB as written, red first; the record keeps red in the low byte.
  return Rgb((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

std::vector<std::u16string> FontNames(std::u16string_view list) {
  std::vector<std::u16string> names;
  while (true) {
    size_t comma = list.find(u',');
    std::u16string_view name = list.substr(0, comma);
    while (!name.empty() && (name.front() == u' ' || name.front() == u'\t')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == u' ' || name.back() == u'\t')) name.remove_suffix(1);
    if (!name.empty()) names.emplace_back(name);
    if (comma == std::u16string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return names;
}

int DialogPointSize(int64_t zoom) {
  int64_t points = int64_t(std::llround(double(zoom) * 10 * 0.01));
  return int(std::clamp<int64_t>(points, 4, 30));
}

double MessageBoxFontSize(int64_t zoom) { return double(std::llround(double(zoom) * 0.13)); }

int GradientBandHeight(int window_height) { return std::clamp(window_height / 224, 1, 3); }

uint32_t GradientBandColour(uint32_t top, uint32_t bottom, int y, int height) {
  if (height <= 1) return top & 0xFFFFFF;
  y = std::clamp(y, 0, height - 1);
  auto channel = [&](uint32_t a, uint32_t b) {
    return uint32_t(std::lround(double(a) + (double(b) - double(a)) * y / (height - 1)));
  };
  return Rgb(channel(Red(top), Red(bottom)), channel(Green(top), Green(bottom)), channel(Blue(top), Blue(bottom)));
}

Rect PicturePlacement(uint32_t mode, uint32_t size_percent, int window_width, int window_height, int picture_width,
                      int picture_height) {
  if (size_percent == 0 || picture_width <= 0 || picture_height <= 0 || window_width <= 0 || window_height <= 0)
    return {};
  size_percent = std::min<uint32_t>(size_percent, 100);
  int area_w = int(std::lround(window_width * double(size_percent) / 100));
  int area_h = int(std::lround(window_height * double(size_percent) / 100));
  int area_x = (window_width - area_w) / 2, area_y = (window_height - area_h) / 2;
  auto centred = [&](int w, int h) { return Rect{area_x + (area_w - w) / 2, area_y + (area_h - h) / 2, w, h}; };
  auto fit = [&] {
    // The side that limits the scale keeps the area's size; the other follows the aspect ratio.
    if (int64_t(area_w) * picture_height <= int64_t(area_h) * picture_width)
      return centred(area_w, int(std::lround(double(area_w) * picture_height / picture_width)));
    return centred(int(std::lround(double(area_h) * picture_width / picture_height)), area_h);
  };
  switch (mode) {
    case 1:
      return fit();
    case 2: {
      int k = std::min(area_w / picture_width, area_h / picture_height);
      return k == 0 ? fit() : centred(k * picture_width, k * picture_height);
    }
    default:
      return Rect{area_x, area_y, area_w, area_h};
  }
}

TileCount Tiles(int window_width, int window_height, int picture_width, int picture_height) {
  if (picture_width <= 0 || picture_height <= 0 || window_width <= 0 || window_height <= 0) return {};
  return {(window_width + picture_width - 1) / picture_width, (window_height + picture_height - 1) / picture_height};
}

TextBox BackgroundTextBox(int position, int client_width, int client_height, int text_height, int shadow_offset) {
  TextBox out;
  int margin_x = client_width / 200, margin_y = client_height / 400;
  out.box.left = margin_x;
  out.box.width = std::max(0, client_width - 2 * (shadow_offset + margin_x));
  out.box.top = position >= 4 ? client_height - text_height - shadow_offset - margin_y : margin_y;
  out.box.height = text_height;
  out.align = (position - 1) % 3;
  return out;
}

ButtonShape ButtonShapeFor(int height) {
  ButtonShape s;
  s.pen = 0.02 * height;
  s.inset = s.pen / 2 + 0.8;
  s.radius = 0.18 * height;
  s.focus_inset = 2.7 * s.pen;
  s.dash = 0.07 * height;
  s.gap = 0.05 * height;
  s.plain_border = std::max(1, int(std::lround(0.02 * height)));
  s.picture = 0.55 * height;
  return s;
}

namespace {
uint32_t TowardGrey(uint32_t colour, uint32_t grey) {
  auto step = [](uint32_t from, uint32_t to) {
    return uint32_t(std::lround(double(from) + (double(to) - double(from)) * 0.8));
  };
  return Rgb(step(Red(colour), Red(grey)), step(Green(colour), Green(grey)), step(Blue(colour), Blue(grey)));
}
}  // namespace

uint32_t DisabledFace(uint32_t face) { return TowardGrey(face, 0x787878); }
uint32_t DisabledText(uint32_t text) { return TowardGrey(text, 0xDCDCDC); }

uint32_t PressedFace(uint32_t face) {
  // Lightness falls by a share that grows with brightness: light faces darken visibly, dark ones
  // are not driven to black.
  double brightness = (Red(face) * 299 + Green(face) * 587 + Blue(face) * 114) / 255000.0;
  double keep = 1.0 - 0.25 * brightness;
  auto scale = [&](uint32_t c) { return uint32_t(std::lround(c * keep)); };
  return Rgb(scale(Red(face)), scale(Green(face)), scale(Blue(face)));
}

}  // namespace halberd::ui
