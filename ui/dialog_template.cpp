// Rebuilding a page template with the look's font (see the header).
#include "ui/dialog_template.h"

namespace halberd::ui {

namespace {

constexpr uint32_t kSetFont = 0x40;     // DS_SETFONT
constexpr uint32_t kShellFont = 0x48;   // DS_SHELLFONT includes it

uint16_t Word(std::string_view bytes, size_t at) {
  return uint16_t(uint8_t(bytes[at]) | (uint8_t(bytes[at + 1]) << 8));
}

// Skips a name-or-ordinal field (0: none, 0xFFFF: an ordinal follows, else a text); false when
// the bytes end first.
bool SkipNameOrOrdinal(std::string_view bytes, size_t& at) {
  if (at + 2 > bytes.size()) return false;
  uint16_t first = Word(bytes, at);
  if (first == 0) return (at += 2), true;
  if (first == 0xFFFF) return (at += 4) <= bytes.size();
  while (at + 2 <= bytes.size()) {
    uint16_t c = Word(bytes, at);
    at += 2;
    if (c == 0) return true;
  }
  return false;
}

size_t AlignUp(size_t at) { return (at + 3) & ~size_t(3); }

}  // namespace

std::optional<std::string> WithDialogFont(std::string_view bytes, std::u16string_view face, int point_size) {
  // dlgVer 1, signature 0xFFFF, helpID, exStyle, style, cDlgItems, x, y, cx, cy.
  constexpr size_t kFixedHead = 26;
  if (bytes.size() < kFixedHead || Word(bytes, 0) != 1 || Word(bytes, 2) != 0xFFFF) return std::nullopt;
  uint32_t style = uint32_t(Word(bytes, 12)) | (uint32_t(Word(bytes, 14)) << 16);
  if ((style & kShellFont) == 0 || (style & kSetFont) == 0) return std::nullopt;
  size_t at = kFixedHead;
  if (!SkipNameOrOrdinal(bytes, at) || !SkipNameOrOrdinal(bytes, at) || !SkipNameOrOrdinal(bytes, at))
    return std::nullopt;  // menu, class, title
  const size_t size_at = at;
  // pointsize, weight, italic, charset, then the face.
  size_t face_at = at + 6;
  size_t face_end = face_at;
  if (!SkipNameOrOrdinal(bytes, face_end)) return std::nullopt;
  std::string out(bytes.substr(0, size_at));
  out.push_back(char(point_size & 0xFF));
  out.push_back(char((point_size >> 8) & 0xFF));
  out.append(bytes.substr(size_at + 2, 4));
  if (face.empty()) {
    out.append(bytes.substr(face_at, face_end - face_at));
  } else {
    for (char16_t c : face) {
      out.push_back(char(c & 0xFF));
      out.push_back(char(c >> 8));
    }
    out.append(2, '\0');
  }
  // The controls start on a DWORD boundary; moved by a multiple of four, they keep their own.
  size_t items = AlignUp(face_end);
  if (items > bytes.size()) items = bytes.size();
  out.resize(AlignUp(out.size()), '\0');
  out.append(bytes.substr(items));
  return out;
}

}  // namespace halberd::ui
