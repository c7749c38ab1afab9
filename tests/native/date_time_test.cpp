// The six-number date-time: comparison with its "no date", "no time" and 2-second rules, and the
// text form used in log lines.
#include "foundation/date_time.h"

#include <gtest/gtest.h>

#include <climits>

using halberd::CompareDateTime;
using halberd::DateTime;
using halberd::FormatDateTime;

TEST(DateTime, ComparesByTheRulesOfTheOverwriteModes) {
  struct Case {
    const char* what;
    DateTime a;
    DateTime b;
    int expected;  // CompareDateTime(a, b); the reverse order must give the opposite
  };
  const Case cases[] = {
      {"same time", {2021, 7, 4, 6, 5, 9}, {2021, 7, 4, 6, 5, 9}, 0},
      {"1 second apart is equal", {2021, 7, 4, 6, 5, 10}, {2021, 7, 4, 6, 5, 9}, 0},
      {"2 seconds apart is not", {2021, 7, 4, 6, 5, 11}, {2021, 7, 4, 6, 5, 9}, 1},
      {"1 second across a minute", {2021, 7, 4, 6, 6, 0}, {2021, 7, 4, 6, 5, 59}, 0},
      {"1 second across an hour", {2021, 7, 4, 7, 0, 0}, {2021, 7, 4, 6, 59, 59}, 0},
      {"2 seconds across an hour", {2021, 7, 4, 7, 0, 1}, {2021, 7, 4, 6, 59, 59}, 1},
      {"the date decides before the time", {2021, 7, 5, 0, 0, 0}, {2021, 7, 4, 23, 59, 59}, 1},
      {"year before month", {2021, 1, 1, 0, 0, 0}, {2020, 12, 31, 23, 59, 59}, 1},
      {"month before day", {2021, 2, 1, 0, 0, 0}, {2021, 1, 31, 0, 0, 0}, 1},
      {"month 0 is later than any date", {0, 0, 0, 0, 0, 0}, {9999, 12, 31, 23, 59, 59}, 1},
      {"two times without a date: their times decide", {2000, 0, 1, 12, 0, 5}, {1990, 0, 9, 12, 0, 0}, 1},
      {"two times without a date, 1 second apart", {2000, 0, 1, 12, 0, 1}, {1990, 0, 9, 12, 0, 0}, 0},
      {"negative hour is later than any time", {2021, 7, 4, -1, 0, 0}, {2021, 7, 4, 23, 59, 59}, 1},
      {"negative hour: the date still decides first", {2021, 7, 4, -1, 0, 0}, {2021, 7, 5, 0, 0, 0}, -1},
      {"two times without an hour are equal", {2021, 7, 4, -1, 0, 0}, {2021, 7, 4, -5, 30, 30}, 0},
      {"no date and no time against a full time", {0, 0, 0, -1, 0, 0}, {2021, 7, 4, 6, 5, 9}, 1},
      // Numbers from a damaged file entry: no overflow (UBSan would stop the test).
      {"extreme hours", {2021, 7, 4, INT_MAX, INT_MAX, INT_MAX}, {2021, 7, 4, 0, INT_MIN, INT_MIN}, 1},
      {"extreme years", {INT_MIN, 1, 1, 0, 0, 0}, {INT_MAX, 1, 1, 0, 0, 0}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CompareDateTime(c.a, c.b), c.expected);
    EXPECT_EQ(CompareDateTime(c.b, c.a), -c.expected);
  }
}

TEST(DateTime, DefaultIsNeitherDateNorTime) {
  DateTime none;
  EXPECT_FALSE(none.HasDate());
  EXPECT_FALSE(none.HasTime());
  EXPECT_EQ(CompareDateTime(none, DateTime{2021, 7, 4, 6, 5, 9}), 1);
}

TEST(DateTime, FormatsYearMonthDayAndTimeWithTwoDigitFields) {
  EXPECT_EQ(FormatDateTime({2021, 7, 4, 6, 5, 9}), "2021/07/04 06:05:09");
  EXPECT_EQ(FormatDateTime({1999, 12, 31, 23, 59, 58}), "1999/12/31 23:59:58");
  EXPECT_EQ(FormatDateTime({987, 1, 2, 3, 4, 5}), "987/01/02 03:04:05");
  // The numbers are shown as they are, also out of range: the text never runs short.
  EXPECT_EQ(FormatDateTime({INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN}),
            "-2147483648/-2147483648/-2147483648 -2147483648:-2147483648:-2147483648");
}
