// Parsing the shared-file and font lists of the uninstall key, and the reference-count decision.
#include "uninstall/shared_file_list.h"

namespace halberd::uninstall {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Whether `text` is well-formed UTF-8 (no check for over-long forms: a mark is only ever told
// apart from the last byte of a character).
bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    uint8_t b = uint8_t(text[i]);
    size_t extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 99;
    if (extra == 99 || i + extra >= text.size()) return false;
    for (size_t k = 1; k <= extra; ++k)
      if ((uint8_t(text[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

SharedFileItem ReadItem(std::string_view item) {
  SharedFileItem out;
  std::string path(item);
  if (!path.empty() && path.back() == '^') {
    out.com_server = true;
    path.pop_back();
  }
  if (!path.empty() && path.back() == ' ') {
    out.never_delete = true;
    path.pop_back();
  }
  if (!path.empty() && uint8_t(path.back()) == 0xA9) {
    // In a UTF-8 path the byte may be the last of a character of the name itself.
    const bool utf8 = path.front() == '|';
    if (!utf8 || !IsUtf8(std::string_view(path).substr(1))) {
      out.type_library = true;
      path.pop_back();
    }
  }
  out.path = std::move(path);
  return out;
}

}  // namespace

std::vector<SharedFileItem> ParseSharedFiles(std::string_view value) {
  std::vector<SharedFileItem> items;
  size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && (value[i] == ';' || IsBlank(value[i]))) ++i;
    if (i >= value.size()) break;
    std::string_view item;
    if (value[i] == '"') {
      // A path holds no double quote; a ";" inside the quotes belongs to the path.
      size_t close = value.find('"', i + 1);
      if (close == std::string_view::npos) close = value.size();
      item = value.substr(i + 1, close - i - 1);
      i = close + 1;
      while (i < value.size() && value[i] != ';') ++i;
    } else {
      size_t end = value.find(';', i);
      if (end == std::string_view::npos) end = value.size();
      item = value.substr(i, end - i);
      while (!item.empty() && (item.back() == '\r' || item.back() == '\n' || item.back() == '\t')) item.remove_suffix(1);
      i = end;
    }
    SharedFileItem parsed = ReadItem(item);
    if (!parsed.path.empty()) items.push_back(std::move(parsed));
  }
  return items;
}

std::vector<FontItem> ParseProductFonts(std::string_view value) {
  std::vector<std::string> texts;
  size_t i = 0;
  while (i < value.size()) {
    size_t open = value.find('"', i);
    if (open == std::string_view::npos) break;
    size_t close = value.find('"', open + 1);
    if (close == std::string_view::npos) break;
    texts.emplace_back(value.substr(open + 1, close - open - 1));
    i = close + 1;
  }
  std::vector<FontItem> fonts;
  for (size_t k = 0; k + 1 < texts.size(); k += 2)
    if (!texts[k].empty() && !texts[k + 1].empty()) fonts.push_back({texts[k], texts[k + 1]});
  return fonts;
}

SharedFileDecision DecideSharedFile(const SharedFileItem& item, bool count_exists, uint32_t count) {
  SharedFileDecision d;
  if (!count_exists) {
    d.skip = true;
    return d;
  }
  if (count > 0) {
    d.write_count = true;
    d.new_count = count - 1;
  }
  if (count >= 2 || item.never_delete) return d;
  d.stays = false;
  d.unregister_com = item.com_server;
  d.unregister_type_library = item.type_library;
  return d;
}

}  // namespace halberd::uninstall
