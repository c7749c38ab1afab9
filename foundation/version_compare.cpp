#include "foundation/version_compare.h"

#include <cstdint>

namespace halberd {

namespace {

template <typename Char>
std::vector<std::basic_string_view<Char>> Split(std::basic_string_view<Char> version) {
  std::vector<std::basic_string_view<Char>> parts;
  size_t start = 0;
  while (start <= version.size()) {
    size_t dot = version.find(Char('.'), start);
    if (dot == std::basic_string_view<Char>::npos) dot = version.size();
    if (dot > start) parts.push_back(version.substr(start, dot - start));
    start = dot + 1;
  }
  return parts;
}

// A part's leading digits as a number (saturating).
template <typename Char>
uint64_t PartValue(std::basic_string_view<Char> part) {
  uint64_t v = 0;
  for (Char c : part) {
    if (c < Char('0') || c > Char('9')) break;
    uint64_t digit = uint64_t(c - Char('0'));
    v = v > (UINT64_MAX - digit) / 10 ? UINT64_MAX : v * 10 + digit;
  }
  return v;
}

template <typename Char>
int Compare(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  auto pa = Split(a), pb = Split(b);
  for (size_t i = 0; i < pa.size() || i < pb.size(); ++i) {
    uint64_t x = i < pa.size() ? PartValue(pa[i]) : 0;
    uint64_t y = i < pb.size() ? PartValue(pb[i]) : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

}  // namespace

std::vector<std::string_view> SplitVersion(std::string_view version) { return Split(version); }
std::vector<std::u16string_view> SplitVersion(std::u16string_view version) { return Split(version); }

int CompareVersions(std::string_view a, std::string_view b) { return Compare(a, b); }
int CompareVersions(std::u16string_view a, std::u16string_view b) { return Compare(a, b); }

}  // namespace halberd
