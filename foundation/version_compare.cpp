#include "foundation/version_compare.h"

#include <cstdint>

namespace halberd {

namespace {
// Next dot-separated part as a number: its leading digits (none: 0); the cursor moves past the dot.
uint64_t NextPart(std::string_view s, size_t& i) {
  uint64_t v = 0;
  bool digits = true;
  for (; i < s.size() && s[i] != '.'; ++i) {
    if (digits && s[i] >= '0' && s[i] <= '9') {
      if (v < UINT64_MAX / 10) v = v * 10 + uint64_t(s[i] - '0');
    } else {
      digits = false;
    }
  }
  if (i < s.size()) ++i;
  return v;
}
}  // namespace

int CompareVersions(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    uint64_t x = NextPart(a, i), y = NextPart(b, j);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

}  // namespace halberd
