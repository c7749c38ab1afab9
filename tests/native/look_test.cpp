// The look record and the background window's arithmetic: colour texts, font lists, zoom, the
// banded gradient, picture placement and tiling, title fitting and the button shape.
#include "ui/look.h"

#include <gtest/gtest.h>

#include "foundation/format/product_flags.h"
#include "uninstall/uninstall_settings.h"

using namespace halberd;
using namespace halberd::ui;

TEST(Look, ColourTexts) {
  struct Case {
    const char16_t* text;
    uint32_t rgb;  // red in the low byte
  };
  const Case cases[] = {
      {u"#FF0000", 0x0000FF}, {u"00ff00", 0x00FF00}, {u"#0000FF", 0xFF0000},
      {u"#abc", 0xCCBBAA},    {u"aabbcc", 0xCCBBAA},  // three digits equal six doubled
      {u"#fff", 0xFFFFFF},    {u"1", 0x010000},       // fewer digits are right-aligned: 0x000001 is blue 1
      {u"#1234", 0x341200},   {u"", kUnset},          {u"#", kUnset},
      {u"1234567", kUnset},   {u"#12G", kUnset},      {u"##123", kUnset},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseColour(c.text), c.rgb);
  EXPECT_EQ(ParseColour(u"#abc"), ParseColour(u"#aabbcc"));
}

TEST(Look, FontListsAreSplitAndTrimmed) {
  EXPECT_EQ(FontNames(u"Cambria Bold Italic, Times New Roman Bold Italic"),
            (std::vector<std::u16string>{u"Cambria Bold Italic", u"Times New Roman Bold Italic"}));
  EXPECT_EQ(FontNames(u"  Arial ,, \tVerdana\t,"), (std::vector<std::u16string>{u"Arial", u"Verdana"}));
  EXPECT_TRUE(FontNames(u"").empty());
  EXPECT_TRUE(FontNames(u" , ").empty());
}

TEST(Look, PageFontAndMessageBoxSizeFollowTheZoom) {
  struct Case {
    int64_t zoom;
    int points;
    double box_size;
  };
  const Case cases[] = {
      {100, 10, 13}, {150, 15, 20}, {50, 5, 7},  {125, 13, 16}, {10, 4, 1},
      {0, 4, 0},     {300, 30, 39}, {1000, 30, 130},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DialogPointSize(c.zoom), c.points) << c.zoom;
    EXPECT_EQ(MessageBoxFontSize(c.zoom), c.box_size) << c.zoom;
  }
  // The uninstaller's stored zoom is clamped first: 200 behaves as 150, 10 as 50, 0 as 100.
  EXPECT_EQ(DialogPointSize(uninstall::ClampDialogZoom(200)), 15);
  EXPECT_EQ(DialogPointSize(uninstall::ClampDialogZoom(10)), 5);
  EXPECT_EQ(DialogPointSize(uninstall::ClampDialogZoom(0)), 10);
}

TEST(Look, GradientBands) {
  EXPECT_EQ(GradientBandHeight(100), 1);
  EXPECT_EQ(GradientBandHeight(448), 2);
  EXPECT_EQ(GradientBandHeight(1024), 3);
  EXPECT_EQ(GradientBandHeight(4000), 3);
  // From black at the top to 0x0000FF (red 255) at the bottom of a 256-pixel window.
  EXPECT_EQ(GradientBandColour(0x000000, 0x0000FF, 0, 256), 0x000000u);
  EXPECT_EQ(GradientBandColour(0x000000, 0x0000FF, 255, 256), 0x0000FFu);
  EXPECT_EQ(GradientBandColour(0x000000, 0x0000FF, 51, 256), 0x000033u);
  EXPECT_EQ(GradientBandColour(0x204060, 0x204060, 100, 256), 0x204060u);
  // Each channel on its own: blue falls while green rises.
  EXPECT_EQ(GradientBandColour(0xFF0000, 0x00FF00, 85, 256), 0xAA5500u);
}

TEST(Look, PicturePlacement) {
  struct Case {
    uint32_t mode, size;
    int ww, wh, pw, ph;
    Rect expected;
  };
  const Case cases[] = {
      // Mode 0 stretches over the centred area: 50 % of 1000 x 800.
      {0, 50, 1000, 800, 10, 10, {250, 200, 500, 400}},
      {7, 50, 1000, 800, 10, 10, {250, 200, 500, 400}},  // any other value stretches too
      // Mode 1 fits with the aspect kept: a wide picture fills the width.
      {1, 50, 1000, 800, 200, 100, {250, 275, 500, 250}},
      {1, 100, 1000, 800, 100, 200, {300, 0, 400, 800}},
      // Mode 2: the area 500 x 400 and a picture a third of it is drawn exactly three times larger.
      {2, 50, 1000, 800, 166, 133, {251, 200, 498, 399}},
      // Mode 2 with a picture larger than the area fits it as mode 1 does.
      {2, 50, 1000, 800, 2000, 1000, {250, 275, 500, 250}},
      // Size 0: no picture at all.
      {0, 0, 1000, 800, 10, 10, {}},
      {1, 0, 1000, 800, 10, 10, {}},
      {2, 50, 1000, 800, 0, 10, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PicturePlacement(c.mode, c.size, c.ww, c.wh, c.pw, c.ph), c.expected) << c.mode << " " << c.size;
  }
  EXPECT_EQ(Tiles(1000, 800, 300, 200), (TileCount{4, 4}));
  EXPECT_EQ(Tiles(900, 801, 300, 200), (TileCount{3, 5}));
  EXPECT_EQ(Tiles(900, 800, 0, 200), (TileCount{}));
}

TEST(Look, TitleShrinksPointByPointButNotBelowSix) {
  // A text 200 pixels wide per pixel of height never fits 1000 pixels: it stops at 6 points.
  std::vector<int> tried;
  TextFit wide = FitBackgroundText(26, 1, 96, 1000, [&](int h) {
    tried.push_back(h);
    return 200 * h;
  });
  EXPECT_EQ(wide.pixel_height, 96 * 6 / 72);
  EXPECT_EQ(tried.front(), 96 * 26 / 72);
  EXPECT_EQ(tried.size(), size_t(26 - 6));  // 26 down to 7 measured, 6 taken unmeasured
  // A text 20 pixels wide per pixel of height first fits at 24 pixels (18 points: 480 + 0 + 2 < 500).
  TextFit fits = FitBackgroundText(26, 1, 96, 500, [](int h) { return 20 * h; });
  EXPECT_EQ(fits.pixel_height, 24);
  // The shadow offset: factor x height / 1300.
  TextFit deep = FitBackgroundText(26, 400, 96, 100000, [](int) { return 1; });
  EXPECT_EQ(deep.pixel_height, 34);
  EXPECT_EQ(deep.shadow_offset, 400 * 34 / 1300);
}

TEST(Look, BackgroundTextBoxes) {
  TextBox top_left = BackgroundTextBox(1, 1280, 1024, 40, 2);
  EXPECT_EQ(top_left.box, (Rect{6, 2, 1280 - 2 * (2 + 6), 40}));
  EXPECT_EQ(top_left.align, 0);
  TextBox bottom_right = BackgroundTextBox(6, 1280, 1024, 40, 2);
  EXPECT_EQ(bottom_right.box.top, 1024 - 40 - 2 - 2);
  EXPECT_EQ(bottom_right.align, 2);
  EXPECT_EQ(BackgroundTextBox(2, 1280, 1024, 40, 0).align, 1);
  EXPECT_EQ(BackgroundTextBox(5, 1280, 1024, 40, 0).align, 1);
}

TEST(Look, ButtonShapeAndColours) {
  ButtonShape s = ButtonShapeFor(50);
  EXPECT_DOUBLE_EQ(s.pen, 1.0);
  EXPECT_DOUBLE_EQ(s.inset, 1.3);
  EXPECT_DOUBLE_EQ(s.radius, 9.0);
  EXPECT_DOUBLE_EQ(s.focus_inset, 2.7);
  EXPECT_DOUBLE_EQ(s.dash, 3.5);
  EXPECT_DOUBLE_EQ(s.gap, 2.5);
  EXPECT_EQ(s.plain_border, 1);
  EXPECT_DOUBLE_EQ(s.picture, 27.5);
  // 80 % toward the greys, rounded: 0 -> 0x60 (96), 255 -> 0x93 (147) for the face.
  EXPECT_EQ(DisabledFace(0x000000), 0x606060u);
  EXPECT_EQ(DisabledFace(0xFFFFFF), 0x939393u);
  EXPECT_EQ(DisabledText(0x000000), 0xB0B0B0u);
  EXPECT_EQ(DisabledText(0x0000FF), Rgb(0xE3, 0xB0, 0xB0));
  // Pressed faces are darker, and a light face darkens more than a dark one.
  uint32_t light = PressedFace(0xF0F0F0), dark = PressedFace(0x202020);
  EXPECT_LT(Red(light), 0xF0u);
  EXPECT_LT(Red(dark), 0x20u);
  EXPECT_GT(0xF0 - Red(light), 0x20 - Red(dark));
}

TEST(Look, FromScriptAndFromUninstallKey) {
  format::SetupScript script;
  script.ProductFlags = format::kFlagFullScreenBackground | format::kFlagDialogColours;
  script.TaskbarText = u"Demo Setup";
  script.TopColor = 0x800000;
  script.BottomColor = 0x000000;
  script.DialogBG = 0xEEEEEE;
  script.DialogFG = 0x111111;
  script.ButtonBG = 0x123456;  // without ProductFlags2 bit 25 the button colours do not apply
  script.BitmapSize = 140;
  script.background_picture = "BM..";
  Look look = LookFromScript(script);
  EXPECT_TRUE(look.full_screen);
  EXPECT_TRUE(look.background_window);
  EXPECT_FALSE(look.MonoColor);
  EXPECT_EQ(look.TaskbarText, u"Demo Setup");
  EXPECT_EQ(look.DialogBG, 0xEEEEEEu);
  EXPECT_EQ(look.ButtonBG, kUnset);
  EXPECT_EQ(look.BitmapSize, 100u);
  EXPECT_TRUE(look.background_picture.empty());  // bit 15 carries no picture
  script.ProductFlags = format::kFlagNoBackgroundWindow | format::kFlagBackgroundImage;
  script.ProductFlags2 = format::kFlags2ButtonColours;
  script.BottomColor = script.TopColor;
  look = LookFromScript(script);
  EXPECT_FALSE(look.background_window);
  EXPECT_FALSE(look.full_screen);
  EXPECT_TRUE(look.MonoColor);
  EXPECT_EQ(look.ButtonBG, 0x123456u);
  EXPECT_EQ(look.DialogBG, kUnset);  // bit 4 off: no page colours
  EXPECT_EQ(look.background_picture, "BM..");

  uninstall::UninstallSettings key;
  key.TaskbarText = u"Setup";
  key.DialogZoom = 150;
  key.TitlePosition = 9;  // out of range: none
  key.DialogBG = 0x00FF00;
  Look back = LookFromUninstallSettings(key);
  EXPECT_EQ(back.TaskbarText, u"Setup");
  EXPECT_EQ(back.DialogZoom, 150u);
  EXPECT_EQ(back.TitlePosition, 0);
  EXPECT_TRUE(back.custom_colours);
  EXPECT_EQ(back.TitleFont, u"Cambria Bold Italic, Times New Roman Bold Italic");
}
