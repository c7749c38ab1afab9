#include "foundation/wininit_rename.h"

#include <cstddef>

namespace halberd {

namespace {

constexpr std::string_view kSection = "[rename]";

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
  }
  return true;
}

// The position just after the "[rename]" header, or npos. Only a header at the start of a line
// counts: the same letters inside a value must not split that line.
size_t EndOfSectionHeader(std::string_view ini) {
  size_t line = 0;
  while (line < ini.size()) {
    size_t p = line;
    while (p < ini.size() && (ini[p] == ' ' || ini[p] == '\t')) ++p;
    if (StartsWithIgnoreCase(ini.substr(p), kSection)) return p + kSection.size();
    size_t end = ini.find('\n', line);
    if (end == std::string_view::npos) break;
    line = end + 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::string AddWininitRename(std::string_view ini, std::string_view key, std::string_view value) {
  std::string line;
  line.reserve(key.size() + value.size() + 1);
  line.append(key).append("=").append(value);

  std::string out(ini);
  size_t header_end = EndOfSectionHeader(ini);
  if (header_end != std::string_view::npos) {
    out.insert(header_end, "\r\n" + line);
    return out;
  }
  if (!out.empty() && out.back() != '\n') out.append("\r\n");
  out.append(kSection).append("\r\n").append(line);
  return out;
}

}  // namespace halberd
