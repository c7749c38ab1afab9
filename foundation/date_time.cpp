#include "foundation/date_time.h"

#include <cstdint>
#include <cstdio>

namespace halberd {

namespace {

int Sign(int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

}  // namespace

int CompareDateTime(const DateTime& a, const DateTime& b) {
  // Dates.
  if (a.HasDate() != b.HasDate()) return a.HasDate() ? -1 : 1;
  if (a.HasDate()) {
    if (a.year != b.year) return a.year < b.year ? -1 : 1;
    if (a.month != b.month) return a.month < b.month ? -1 : 1;
    if (a.day != b.day) return a.day < b.day ? -1 : 1;
  }
  // Times of day, in 64 bits: the numbers may be any int.
  if (a.HasTime() != b.HasTime()) return a.HasTime() ? -1 : 1;
  if (!a.HasTime()) return 0;
  auto seconds = [](const DateTime& t) {
    return int64_t(t.hour) * 3600 + int64_t(t.minute) * 60 + int64_t(t.second);
  };
  int64_t difference = seconds(a) - seconds(b);
  if (difference > -2 && difference < 2) return 0;
  return Sign(difference);
}

std::string FormatDateTime(const DateTime& t) {
  char text[96];
  std::snprintf(text, sizeof text, "%d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

}  // namespace halberd
