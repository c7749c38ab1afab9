// The message box's rules: button sets and their order, the default button, closability, access
// keys, metrics at 96 and 144 dots per inch, the text column, button widths, layout, placement
// and the system fallback.
#include "ui/message_box_layout.h"

#include <gtest/gtest.h>

using namespace halberd::ui;

namespace {
std::vector<int> Ids(const std::vector<BoxButton>& buttons) {
  std::vector<int> ids;
  for (const BoxButton& b : buttons) ids.push_back(b.id);
  return ids;
}
}  // namespace

TEST(MessageBoxLayout, ButtonSets) {
  struct Case {
    uint32_t flags;
    std::vector<int> ids;
  };
  const Case cases[] = {
      {0x0, {1}},
      {0x1, {1, 2}},
      {0x2, {3, 4, 5}},
      {0x3, {6, 7, 2}},
      {0x4, {6, 7}},
      {0x5, {4, 2}},
      {0x6, {2, 10, 11}},
      {0x7, {11, 3}},
      {0x4 | kMbYesToAll | kMbNoToAll, {6, 19, 7, 20}},  // Yes, Yes to all, No, No to all
      {0x3 | kMbYesToAll, {6, 19, 7, 2}},
      {0x3 | kMbNoToAll, {6, 7, 20, 2}},
      {0x1 | kMbYesToAll, {1, 2}},  // the extensions belong to Yes/No sets only
      {0x1 | kMbHelp, {1, 2, 9}},
      {0xF, {1}},
  };
  for (const Case& c : cases) EXPECT_EQ(Ids(ButtonsFor(c.flags, {})), c.ids) << std::hex << c.flags;
  std::vector<BoxButton> own = {{6, u"&Ja"}, {7, u"&Nein"}};
  EXPECT_EQ(ButtonsFor(0, own), own);
  EXPECT_EQ(ButtonsFor(0x4 | kMbYesToAll, {})[1].caption, u"Yes to all");
}

TEST(MessageBoxLayout, DefaultButtonAndClosing) {
  EXPECT_EQ(DefaultButtonIndex(0x2 | 0x200, 3), 2u);  // 0x200 on Abort/Retry/Ignore: "&Ignore"
  EXPECT_EQ(DefaultButtonIndex(0x4 | 0x100, 2), 1u);
  EXPECT_EQ(DefaultButtonIndex(0x4 | 0x400, 4), 0u);  // a fifth button that is not there: the first
  EXPECT_EQ(DefaultButtonIndex(0x4 | 0x500, 6), 5u);
  EXPECT_EQ(DefaultButtonIndex(0x4 | 0x600, 7), 0u);  // 6 and above: the first
  EXPECT_EQ(DefaultButtonIndex(0x0, 3), 0u);
  EXPECT_TRUE(IsClosable(1, false));
  EXPECT_TRUE(IsClosable(0, false));
  EXPECT_FALSE(IsClosable(2, false));
  EXPECT_TRUE(IsClosable(3, true));
}

TEST(MessageBoxLayout, AccessMarks) {
  EXPECT_EQ(WithoutAccessMarks(u"&Yes"), u"Yes");
  EXPECT_EQ(WithoutAccessMarks(u"Save && &quit"), u"Save & quit");
  EXPECT_EQ(WithoutAccessMarks(u"End&"), u"End");
  EXPECT_EQ(AccessKey(u"&yes"), u'Y');
  EXPECT_EQ(AccessKey(u"Save && &quit"), u'Q');
  EXPECT_EQ(AccessKey(u"Yes to all"), 0);
  EXPECT_EQ(AccessKey(u"&&"), 0);
}

TEST(MessageBoxLayout, MetricsAt96And144Dpi) {
  struct Case {
    double size;
    int dpi;
    BoxMetrics m;
  };
  const Case cases[] = {
      // F = 13 x 96 / 72 = 17.33 -> 17; button = ceil(13 x 96 x 17 / 720) = ceil(29.47) = 30;
      // gap = ceil(13 x 96 / 180) = ceil(6.93) = 7; margin ceil(20.4) = 21; icon gap ceil(40.8) = 41.
      {13, 96, {17, 30, 7, 21, 41, 9}},
      // At 144: F = 26, button = ceil(44.2) = 45, gap = ceil(10.4) = 11.
      {13, 144, {26, 45, 11, 32, 63, 13}},
      {20, 96, {27, 46, 11, 33, 65, 14}},
  };
  for (const Case& c : cases) {
    BoxMetrics m = MetricsFor(c.size, c.dpi);
    EXPECT_EQ(m.font_height, c.m.font_height) << c.size << "@" << c.dpi;
    EXPECT_EQ(m.button_height, c.m.button_height) << c.size << "@" << c.dpi;
    EXPECT_EQ(m.button_gap, c.m.button_gap) << c.size << "@" << c.dpi;
    EXPECT_EQ(m.margin, c.m.margin) << c.size << "@" << c.dpi;
    EXPECT_EQ(m.icon_gap, c.m.icon_gap) << c.size << "@" << c.dpi;
    EXPECT_EQ(m.check_gap, c.m.check_gap) << c.size << "@" << c.dpi;
  }
  EXPECT_EQ(IconSide(32, 13), 38);  // 1.2 x the system size at the default size
  EXPECT_EQ(IconSide(48, 13), 58);
}

TEST(MessageBoxLayout, TextColumnGrowsWithTheMessage) {
  struct Case {
    size_t chars;
    uint32_t flags;
    int monitor, icon;
    int width;
  };
  const Case cases[] = {
      {10, 0, 4000, 0, 23 * 17},    {250, 0, 4000, 0, 23 * 17},   {251, 0, 4000, 0, 29 * 17},
      {600, 0, 4000, 0, 29 * 17},   {1000, 0, 4000, 0, 36 * 17},  {2000, 0, 4000, 0, 43 * 17},
      {5000, 0, 4000, 0, 50 * 17},  {10, kMbNarrowText, 4000, 0, int(23 * 17 * 0.75)},
      {5000, 0, 1000, 0, 500},      // capped at half the monitor
      {10, 0, 4000, 38, 23 * 17 - 38 - 41},  // the icon and its gap come off the column
  };
  for (const Case& c : cases) EXPECT_EQ(TextColumnWidth(c.chars, 17, c.flags, c.monitor, c.icon), c.width) << c.chars;
}

TEST(MessageBoxLayout, ButtonWidths) {
  std::vector<BoxButton> yes_no = {{6, u"&Yes"}, {7, u"&No"}};
  // Padding ceil(1.5 x 17) = 26, minimum ceil(3 x 17) = 51: "Yes" 30 -> 56, "No" 20 -> 51; common width 56.
  EXPECT_EQ(ButtonWidths(yes_no, {30, 20}, 17, 0, 0), (std::vector<int>{56, 56}));
  EXPECT_EQ(ButtonWidths(yes_no, {30, 20}, 17, 0, kMbOwnButtonWidths), (std::vector<int>{56, 51}));
  // A lone OK gets three times the padding, twice with a picture (then plus the picture).
  std::vector<BoxButton> ok = {{1, u"OK"}};
  EXPECT_EQ(ButtonWidths(ok, {20}, 17, 0, 0), (std::vector<int>{20 + 78}));
  EXPECT_EQ(ButtonWidths(ok, {20}, 17, 16, 0), (std::vector<int>{20 + 52 + 16}));
  std::vector<BoxButton> cancel = {{2, u"Cancel"}};
  EXPECT_EQ(ButtonWidths(cancel, {40}, 17, 0, 0), (std::vector<int>{66}));
}

TEST(MessageBoxLayout, LayOut) {
  LayoutInput in;
  in.metrics = MetricsFor(13, 96);  // F 17, margin 21, icon gap 41, button 30, gap 7
  in.icon_side = 38;
  in.text_width = 300;
  in.text_height = 17;
  in.button_widths = {60, 60};
  BoxLayout l = LayOut(in);
  EXPECT_EQ(l.icon, (Box{21, 21, 38, 38}));
  EXPECT_EQ(l.text, (Box{21 + 38 + 41, 21 + (38 - 17) / 2, 300, 17}));  // centred against the taller icon
  EXPECT_EQ(l.client_width, 21 + 38 + 41 + 300 + 21);
  ASSERT_EQ(l.buttons.size(), 2u);
  // Right-aligned row below the body: body ends at 21 + 38, the button area starts a margin below.
  EXPECT_EQ(l.button_area_top, 59 + 21);
  EXPECT_EQ(l.buttons[1], (Box{l.client_width - 21 - 60, 80 + 21, 60, 30}));
  EXPECT_EQ(l.buttons[0].x, l.buttons[1].x - 7 - 60);
  EXPECT_EQ(l.client_height, 101 + 30 + 21);
  // Centred and left rows; a check box goes between the text and the buttons.
  in.button_alignment = 'a';
  in.check_height = 12;
  l = LayOut(in);
  int row = 60 + 7 + 60;
  EXPECT_EQ(l.buttons[0].x, (l.client_width - row) / 2);
  EXPECT_EQ(l.check, (Box{100, 59 + 9, 300, 17}));  // as tall as F at least
  EXPECT_EQ(l.button_area_top, 59 + 9 + 17 + 21);
  in.button_alignment = '`';
  EXPECT_EQ(LayOut(in).buttons[0].x, 21);
  // A button row wider than the text widens the box.
  in.icon_side = 0;
  in.text_width = 50;
  in.button_widths = {100, 100, 100};
  l = LayOut(in);
  EXPECT_EQ(l.client_width, 21 + (300 + 14) + 21);  // margins either side of the row
  for (const Box& b : l.buttons) {
    EXPECT_GE(b.x, 21);
    EXPECT_LE(b.x + b.width, l.client_width - 21);
  }
}

TEST(MessageBoxLayout, PlacementOnTheOwnerAndInsideTheWorkArea) {
  Box work{0, 0, 1280, 1000};
  // Centred on the owner: x = (left + right - width - 1) / 2.
  EXPECT_EQ(PlaceBox(400, 200, {100, 100, 800, 600}, work, false, 0, 0), (Box{(100 + 900 - 400 - 1) / 2, (100 + 700 - 200 - 1) / 2, 400, 200}));
  // An owner near the edge: the box is moved inside.
  EXPECT_EQ(PlaceBox(400, 200, {1200, 950, 100, 100}, work, false, 0, 0), (Box{880, 800, 400, 200}));
  EXPECT_EQ(PlaceBox(400, 200, {-300, -300, 100, 100}, work, false, 0, 0), (Box{0, 0, 400, 200}));
  // An explicit position is kept when it fits, and moved inside when not.
  EXPECT_EQ(PlaceBox(400, 200, {0, 0, 10, 10}, work, true, 30, 40), (Box{30, 40, 400, 200}));
  EXPECT_EQ(PlaceBox(400, 200, {0, 0, 10, 10}, work, true, 1000, 40), (Box{880, 40, 400, 200}));
}

TEST(MessageBoxLayout, SystemFallback) {
  struct Case {
    uint32_t flags;
    std::vector<BoxButton> custom;
    uint32_t system;
  };
  const Case cases[] = {
      {0x10, {{3, u""}, {4, u""}, {5, u""}}, 0x12},
      {0x10, {{4, u""}, {2, u""}}, 0x15},
      {0x20, {{6, u""}, {7, u""}, {2, u""}}, 0x23},
      {0x20, {{6, u""}, {19, u""}, {7, u""}, {20, u""}}, 0x24},
      {0x00, {{2, u""}}, 0x01},
      {0x00, {{1, u""}}, 0x00},
      {0x00, {}, 0x00},
      {0x07 | 0x30, {}, 0x31},                               // Continue/Abort as OK/Cancel
      {0x04 | kMbYesToAll | kMbNoToAll | 0x100, {}, 0x104},  // extensions dropped
  };
  for (const Case& c : cases) EXPECT_EQ(FallbackFlags(c.flags, c.custom), c.system) << std::hex << c.flags;
  EXPECT_EQ(FallbackResult(0x7, 1), kIdContinue);
  EXPECT_EQ(FallbackResult(0x7, 2), kIdAbort);
  EXPECT_EQ(FallbackResult(0x4, 7), 7);
}
