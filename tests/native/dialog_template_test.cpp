// Rebuilding a page template with the look's font, against hand-written template bytes.
#include "ui/dialog_template.h"

#include <gtest/gtest.h>

namespace halberd::ui {
namespace {

struct Bytes {
  std::string data;
  Bytes& w(uint16_t v) { data.push_back(char(v & 0xFF)), data.push_back(char(v >> 8)); return *this; }
  Bytes& d(uint32_t v) { return w(uint16_t(v)).w(uint16_t(v >> 16)); }
  Bytes& text(std::u16string_view t) { for (char16_t c : t) w(c); return w(0); }
  Bytes& align() { while (data.size() % 4) data.push_back('\0'); return *this; }
};

// Head of an extended template with style `style`, one control, title "T", face `face`.
Bytes Head(uint32_t style, std::u16string_view face) {
  Bytes b;
  b.w(1).w(0xFFFF).d(0).d(0).d(style).w(1).w(6).w(15).w(280).w(202);
  b.w(0).w(0).text(u"T");             // no menu, the default class, the title
  b.w(10).w(400).w(0);                 // 10 points, normal weight, italic 0 and charset 0
  b.text(face).align();
  return b;
}
// One control: helpID, exStyle, style, x, y, cx, cy, id, class ordinal 0x80, text "OK", no data.
std::string Control() {
  Bytes c;
  c.d(0).d(0).d(0x50010000).w(116).w(185).w(78).w(13).d(1001).w(0xFFFF).w(0x80).text(u"OK").w(0);
  return c.data;
}

TEST(DialogTemplate, FaceAndSizeReplacedControlsKept) {
  std::string original = Head(0x40 | 0x80C80000, u"MS Shell Dlg 2").data + Control();
  auto rebuilt = WithDialogFont(original, u"Tahoma", 14);
  ASSERT_TRUE(rebuilt);
  // The size is the first word after the title "T\0" (offset 26 + 2 + 2 + 4).
  Bytes want = Head(0x40 | 0x80C80000, u"Tahoma");
  want.data[34] = char(14);
  EXPECT_EQ(*rebuilt, want.data + Control());
}

TEST(DialogTemplate, EmptyFaceKeepsTheTemplatesOwn) {
  std::string original = Head(0x40, u"MS Shell Dlg 2").data + Control();
  Bytes want = Head(0x40, u"MS Shell Dlg 2");
  want.data[34] = char(12);
  EXPECT_EQ(*WithDialogFont(original, u"", 12), want.data + Control());
}

TEST(DialogTemplate, TemplatesWithoutAFontOrCutShortAreLeftAlone) {
  std::string no_font = Head(0x80C80000, u"X").data + Control();
  EXPECT_FALSE(WithDialogFont(no_font, u"Tahoma", 10));
  std::string whole = Head(0x40, u"MS Shell Dlg 2").data;
  EXPECT_FALSE(WithDialogFont(whole.substr(0, 40), u"Tahoma", 10));
  std::string classic = whole;
  classic[2] = 0;  // not the extended signature
  EXPECT_FALSE(WithDialogFont(classic, u"Tahoma", 10));
}

}  // namespace
}  // namespace halberd::ui
