// The message box's button sets, metrics, layout and placement, and its fallback flags.
#include "ui/message_box_layout.h"

#include <algorithm>
#include <cmath>

namespace halberd::ui {

namespace {
int Ceil(double v) { return int(std::ceil(v - 1e-9)); }
}  // namespace

std::vector<BoxButton> ButtonsFor(uint32_t flags, const std::vector<BoxButton>& custom) {
  std::vector<BoxButton> b;
  bool yes_all = flags & kMbYesToAll, no_all = flags & kMbNoToAll;
  auto yes_no = [&] {
    b.push_back({kIdYes, u"&Yes"});
    if (yes_all) b.push_back({kIdYesToAll, u"Yes to all"});
    b.push_back({kIdNo, u"&No"});
    if (no_all) b.push_back({kIdNoToAll, u"No to all"});
  };
  switch (flags & kMbButtonSetMask) {
    case 0:
      b = custom.empty() ? std::vector<BoxButton>{{kIdOk, u"&OK"}} : custom;
      break;
    case 1:
      b = {{kIdOk, u"&OK"}, {kIdCancel, u"&Cancel"}};
      break;
    case 2:
      b = {{kIdAbort, u"&Abort"}, {kIdRetry, u"&Retry"}, {kIdIgnore, u"&Ignore"}};
      break;
    case 3:
      yes_no();
      b.push_back({kIdCancel, u"&Cancel"});
      break;
    case 4:
      yes_no();
      break;
    case 5:
      b = {{kIdRetry, u"&Retry"}, {kIdCancel, u"&Cancel"}};
      break;
    case 6:
      b = {{kIdCancel, u"&Cancel"}, {kIdTryAgain, u"&Retry"}, {kIdContinue, u"Continue"}};
      break;
    case 7:
      b = {{kIdContinue, u"&Continue"}, {kIdAbort, u"&Abort"}};
      break;
    default:
      b = {{kIdOk, u"&OK"}};
      break;
  }
  if (flags & kMbHelp) b.push_back({kIdHelp, u"&Help"});
  return b;
}

size_t DefaultButtonIndex(uint32_t flags, size_t button_count) {
  size_t n = (flags & kMbDefaultMask) >> 8;
  if (n < 1 || n > 5 || n >= button_count) return 0;
  return n;
}

bool IsClosable(size_t button_count, bool caller_marks_closable) { return button_count <= 1 || caller_marks_closable; }

std::u16string WithoutAccessMarks(const std::u16string& caption) {
  std::u16string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    // "&x" shows x; "&&" shows one "&"; a trailing "&" shows nothing.
    if (caption[i] == u'&' && ++i >= caption.size()) break;
    out.push_back(caption[i]);
  }
  return out;
}

char16_t AccessKey(const std::u16string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != u'&') continue;
    char16_t c = caption[i + 1];
    if (c == u'&') {
      ++i;
      continue;
    }
    return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c;
  }
  return 0;
}

BoxMetrics MetricsFor(double s, int d) {
  BoxMetrics m;
  m.font_height = int(std::lround(s * d / 72));
  m.button_height = Ceil(s * d * 17 / 720);
  m.button_gap = Ceil(s * d / 180);
  m.margin = Ceil(1.2 * m.font_height);
  m.icon_gap = Ceil(2.4 * m.font_height);
  m.check_gap = Ceil(0.5 * m.font_height);
  return m;
}

int IconSide(int system_icon_side, double font_size) {
  return int(std::lround(system_icon_side * font_size / 10.833));
}

int TextColumnWidth(size_t characters, int font_height, uint32_t flags, int monitor_width, int icon_width) {
  int base = characters <= 250 ? 23 : characters <= 600 ? 29 : characters <= 1000 ? 36 : characters <= 2000 ? 43 : 50;
  double width = double(base) * font_height;
  if (flags & kMbNarrowText) width *= 0.75;
  width = std::min(width, monitor_width / 2.0);
  if (icon_width > 0) width -= icon_width + Ceil(2.4 * font_height);
  return std::max(font_height, int(width));
}

std::vector<int> ButtonWidths(const std::vector<BoxButton>& buttons, const std::vector<int>& caption_widths,
                              int f, int picture_width, uint32_t flags) {
  std::vector<int> widths;
  int padding = Ceil(1.5 * f);
  bool lone_ok = buttons.size() == 1 && buttons[0].id == kIdOk;
  for (size_t i = 0; i < buttons.size(); ++i) {
    int pad = lone_ok ? padding * (picture_width > 0 ? 2 : 3) : padding;
    int w = (i < caption_widths.size() ? caption_widths[i] : 0) + pad + picture_width;
    widths.push_back(std::max(w, Ceil(3.0 * f)));
  }
  if (!(flags & kMbOwnButtonWidths) && !widths.empty()) {
    int widest = *std::max_element(widths.begin(), widths.end());
    std::fill(widths.begin(), widths.end(), widest);
  }
  return widths;
}

BoxLayout LayOut(const LayoutInput& in) {
  const BoxMetrics& m = in.metrics;
  BoxLayout out;
  int text_x = m.margin, top = m.margin;
  int body_height = in.text_height;
  if (in.icon_side > 0) {
    out.icon = {m.margin, m.margin, in.icon_side, in.icon_side};
    text_x = m.margin + in.icon_side + m.icon_gap;
    body_height = std::max(body_height, in.icon_side);
  }
  // A text shorter than its icon is centred against it.
  int text_y = top + (in.icon_side > in.text_height ? (in.icon_side - in.text_height) / 2 : 0);
  out.text = {text_x, text_y, in.text_width, in.text_height};
  int bottom = top + body_height;
  int content_width = text_x + in.text_width;
  if (in.check_height > 0) {
    int h = std::max(in.check_height, m.font_height);
    out.check = {text_x, bottom + m.check_gap, in.text_width, h};
    bottom = out.check.y + h;
  }
  int row_width = 0;
  for (size_t i = 0; i < in.button_widths.size(); ++i) row_width += in.button_widths[i] + (i ? m.button_gap : 0);
  out.client_width = std::max(content_width, row_width + m.margin) + m.margin;
  out.button_area_top = bottom + m.margin;
  int row_y = out.button_area_top + m.margin;
  int x = in.button_alignment == 'a'   ? (out.client_width - row_width) / 2
          : in.button_alignment == '`' ? m.margin
                                       : out.client_width - m.margin - row_width;
  for (int w : in.button_widths) {
    out.buttons.push_back({x, row_y, w, m.button_height});
    x += w + m.button_gap;
  }
  out.client_height = row_y + m.button_height + m.margin;
  return out;
}

Box PlaceBox(int width, int height, const Box& owner, const Box& work, bool has_position, int x, int y) {
  Box b{x, y, width, height};
  if (!has_position) {
    int owner_right = owner.x + owner.width, owner_bottom = owner.y + owner.height;
    b.x = (owner.x + owner_right - width - 1) / 2;
    b.y = (owner.y + owner_bottom - height - 1) / 2;
  }
  b.x = std::max(work.x, std::min(b.x, work.x + work.width - width));
  b.y = std::max(work.y, std::min(b.y, work.y + work.height - height));
  return b;
}

uint32_t FallbackFlags(uint32_t flags, const std::vector<BoxButton>& custom) {
  uint32_t set = flags & kMbButtonSetMask;
  uint32_t rest = flags & ~kMbButtonSetMask & ~(kMbYesToAll | kMbNoToAll | kMbOwnButtonWidths | kMbNarrowText);
  if (set == 7) return rest | 1;
  if (set != 0) return rest | set;
  auto has = [&](int id) {
    return std::any_of(custom.begin(), custom.end(), [&](const BoxButton& b) { return b.id == id; });
  };
  if (has(kIdAbort) && has(kIdRetry) && has(kIdIgnore)) return rest | 2;
  if (has(kIdRetry) && has(kIdCancel)) return rest | 5;
  if (has(kIdYes) && has(kIdNo)) return rest | (has(kIdCancel) ? 3 : 4);
  if (has(kIdCancel) && custom.size() == 1) return rest | 1;
  return rest;
}

int FallbackResult(uint32_t flags, int system_result) {
  if ((flags & kMbButtonSetMask) != 7) return system_result;
  return system_result == kIdOk ? kIdContinue : kIdAbort;
}

}  // namespace halberd::ui
