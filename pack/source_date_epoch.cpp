#include "pack/source_date_epoch.h"

#include <cstdlib>

namespace halberd::pack {

std::optional<int64_t> SourceDateEpoch(bool* valid) {
  if (valid) *valid = true;
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (!text || !*text) return std::nullopt;
  int64_t seconds = 0;
  for (const char* c = text; *c; ++c) {
    if (*c < '0' || *c > '9' || seconds > (INT64_MAX - 9) / 10) {
      if (valid) *valid = false;
      return std::nullopt;
    }
    seconds = seconds * 10 + (*c - '0');
  }
  return seconds;
}

}  // namespace halberd::pack
