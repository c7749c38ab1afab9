// The six-number date-time of the installation data and of file times: year, month, day, hour,
// minute, second. Month 0 means "no date" and a negative hour "no time"; the other numbers are
// then meaningless. The file layer takes a date-time as UTC (file-system time), milliseconds 0.
//
// Comparison (the overwrite rules of file extraction use it):
//   1. Dates first. A time without a date counts as later than one with a date; two times
//      without a date have equal dates. Otherwise year, then month, then day decide.
//   2. Then the times of day, in seconds. A time without an hour counts as later than one with
//      an hour; two times without an hour are equal. Times of day less than 2 seconds apart are
//      equal (FAT keeps times in 2-second steps).
// Dates are compared before times of day, so 23:59:59 and 00:00:00 of the next day are not
// "less than 2 seconds apart": the next day is later.
//
// Portable: no system calls. Numbers come from untrusted data (file entries), so every value of
// int is handled without overflow.
#pragma once
#include <string>

namespace halberd {

struct DateTime {
  int year = 0;
  int month = 0;   // 0: no date
  int day = 0;
  int hour = -1;   // negative: no time
  int minute = 0;
  int second = 0;

  bool HasDate() const { return month != 0; }
  bool HasTime() const { return hour >= 0; }
};

// -1 when `a` is earlier than `b`, 0 when they count as equal, 1 when `a` is later.
int CompareDateTime(const DateTime& a, const DateTime& b);

inline bool IsLater(const DateTime& a, const DateTime& b) { return CompareDateTime(a, b) > 0; }

// "%d/%02d/%02d %02d:%02d:%02d": year/month/day hour:minute:second, the numbers as they are.
std::string FormatDateTime(const DateTime& time);

}  // namespace halberd
