// The wizard pages' window-free rules (see the header).
#include "ui/wizard_layout.h"

#include <algorithm>
#include <cstdio>

namespace halberd::ui {

namespace {

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

std::u16string_view Trim(std::u16string_view text) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

int PageLayout(int32_t style) { return style == 0 || style == 1 || style == 3 ? style : 2; }

std::u16string TemplateName(Page page, int32_t style) {
  static const char16_t* const kNames[] = {u"Language", u"Greeting", u"License", u"Readme",
                                           u"ChooseDir", u"StartMenu", u"Progress", u"Summary"};
  static const char16_t* const kSuffixes[] = {u"Dlg2", u"Dlg", u"Dlg3", u"Dlg4"};
  return std::u16string(kNames[int(page)]) + kSuffixes[PageLayout(style)];
}

std::vector<ButtonSpan> ButtonRow(const std::vector<int>& caption_widths, int frame_width, int button_height, int left,
                                  int right) {
  std::vector<ButtonSpan> row(caption_widths.size());
  if (row.empty()) return row;
  const int gap = button_height / 3;
  const int padding = 2 * frame_width + 2 * button_height / 3;
  int total = gap * int(row.size() - 1);
  for (size_t i = 0; i < row.size(); ++i) {
    row[i].width = caption_widths[i] + padding;
    total += row[i].width;
  }
  if (total > right - left) {
    // Too wide: every button gives up the same share of the excess (rounded up).
    int count = int(row.size());
    int shrink = (total - (right - left) + count - 1) / count;
    for (ButtonSpan& button : row) button.width = std::max(1, button.width - shrink);
  }
  int x = right;
  for (size_t i = row.size(); i-- > 0;) {
    x -= row[i].width;
    row[i].left = x;
    x -= gap;
  }
  return row;
}

Rect CentredBlock(const Rect& control, int text_width, int text_height) {
  Rect block{control.left + (control.width - text_width) / 2, control.top + (control.height - text_height) / 2,
             text_width, text_height};
  block.left = std::max(block.left, control.left);
  block.top = std::max(block.top, control.top);
  return block;
}

Point CentreOn(const Rect& reference, int width, int height) {
  int right = reference.left + reference.width, bottom = reference.top + reference.height;
  return {(reference.left + right) / 2 - (width + 1) / 2, (reference.top + bottom) / 2 - (height + 1) / 2};
}

Point PlaceProgress(uint32_t placement, const Rect& area, Point at, int width, int height) {
  switch (placement & 3) {
    case 1: at.x = area.left; break;
    case 2: at.x = area.left + area.width - width; break;
    case 3: at.x = area.left + (area.width - width) / 2; break;
  }
  switch (placement & 24) {
    case 8: at.y = area.top; break;
    case 16: at.y = area.top + area.height - height; break;
    case 24: at.y = area.top + (area.height - height) / 2; break;
  }
  return at;
}

std::u16string SizeText(uint64_t bytes) {
  char text[64];
  if (bytes < 1024) {
    snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  } else {
    static const char* const kUnits[] = {" KB", " MB", " GB", " TB"};
    int unit = 0;
    double value = double(bytes) / 1024.0;
    while (unit < 3 && bytes >= (uint64_t(1) << (10 * (unit + 2)))) {
      ++unit;
      value /= 1024.0;
    }
    snprintf(text, sizeof text, "%.2f%s", value, kUnits[unit]);
  }
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

bool StartsWithDriveLetter(std::u16string_view folder) {
  return !folder.empty() && ((folder[0] >= u'A' && folder[0] <= u'Z') || (folder[0] >= u'a' && folder[0] <= u'z'));
}

bool StartMenuNameAllowed(std::u16string_view name) {
  if (name.find_first_of(u"/\"<>|*?:;") != std::u16string_view::npos) return false;
  if (!name.empty() && name[0] == u'\\') return false;
  return name.find(u"\\\\") == std::u16string_view::npos;
}

std::u16string GreetingLinkText(std::u16string_view line, std::u16string_view address) {
  if (line.empty() || address.empty()) return {};
  std::u16string text(line);
  size_t at = text.find(u"<a>");
  if (at != std::u16string::npos) text.replace(at, 3, u"<a href=\"" + std::u16string(address) + u"\">");
  return text;
}

std::vector<SummaryBox> SummaryBoxes(int32_t style, const SummaryChoices& shown) {
  const std::pair<int, bool> order[] = {{kIdStartProgram, shown.start_program},
                                        {kIdShowDocument, shown.show_document},
                                        {kIdSecondDocument, shown.second_document},
                                        {kIdViewLog, shown.view_log}};
  int absent = 0;
  for (const auto& [id, on] : order) absent += on ? 0 : 1;
  int left = 0, top = 0;
  switch (PageLayout(style)) {
    case 0: left = 12, top = 60 + 7 * absent; break;
    case 2: left = 20, top = 82; break;
    default: left = 98, top = 72; break;
  }
  std::vector<SummaryBox> boxes;
  for (const auto& [id, on] : order) {
    if (!on) continue;
    boxes.push_back({id, {left, top, 275 - left, 9}});
    top += 14;
  }
  return boxes;
}

bool PasswordMatches(std::u16string_view typed, std::u16string_view password) { return typed == password; }

size_t PreselectedLanguage(const std::vector<std::u16string>& names, std::u16string_view locale_name) {
  std::u16string_view wanted = locale_name.substr(0, locale_name.find(u'('));
  wanted = Trim(wanted);
  if (!wanted.empty())
    for (size_t i = 0; i < names.size(); ++i)
      if (StartsWithIgnoringCase(names[i], wanted)) return i;
  for (size_t i = 0; i < names.size(); ++i)
    if (StartsWithIgnoringCase(names[i], u"English") && names[i].size() == 7) return i;
  return 0;
}

}  // namespace halberd::ui
