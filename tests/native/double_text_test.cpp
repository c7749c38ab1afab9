// The registry's double text: the same characters as std::to_chars for every kind of double.
#include "foundation/double_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using halberd::ShortestDoubleText;

namespace {

std::string Reference(double value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end);
}

}  // namespace

TEST(DoubleText, MatchesToCharsForChosenValues) {
  using limits = std::numeric_limits<double>;
  const double cases[] = {0.0, -0.0, 0.1, -0.1, 1, 10, 100000, 1e15, 1e16, 1e20, 1e21, 1e22, 1e23, 123456789012345678.0,
                          1.2345678901234567e21, 0.3, 2.0 / 3, 1e-5, 1e-4, 0.001, 5e-324, 2.2250738585072014e-308,
                          limits::max(), limits::lowest(), limits::infinity(), -limits::infinity(), 4.35, 9.5,
                          0.000123, 1234.5678, 9007199254740993.0, 1e100, 1.5e-7};
  for (double d : cases) EXPECT_EQ(ShortestDoubleText(d), Reference(d)) << d;
  EXPECT_EQ(ShortestDoubleText(std::nan("")), "nan");
}

TEST(DoubleText, MatchesToCharsForManyValues) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 100000; ++i) {
    // Any bit pattern, and decimals with few digits as people type them.
    uint64_t bits = rng();
    double any;
    std::memcpy(&any, &bits, sizeof any);
    if (!std::isnan(any)) ASSERT_EQ(ShortestDoubleText(any), Reference(any)) << bits;
    double typed = double(int64_t(rng() % 2000001) - 1000000) * std::pow(10.0, int(rng() % 40) - 20);
    ASSERT_EQ(ShortestDoubleText(typed), Reference(typed)) << typed;
  }
}

TEST(DoubleText, ReadsWhatFromCharsReads) {
  const char* texts[] = {"0", "-0", "1", "-1.5", "0.1", ".5", "5.", "1e5", "1E-5", "1e+5", "1e", "1e+", "12abc",
                         "", "-", "+1", " 1", "1 ", "0x10", "-0x1p3", "inf", "-INF", "infinity", "nan", "NaN",
                         "1e400", "-1e400", "1e-400", "1.7976931348623157e308", "4.9e-324", "2.2250738585072014e-308",
                         "123456789012345678901234567890", "00012", "1..2", "--1", "e5", "."};
  for (const char* t : texts) {
    const char* last = t + std::strlen(t);
    double expected = 0;
    auto [end, ec] = std::from_chars(t, last, expected);
    bool reads = ec == std::errc() && end == last;
    double value = 0;
    EXPECT_EQ(halberd::ParseDoubleText(t, last, value), reads) << '"' << t << '"';
    if (reads && !std::isnan(expected)) EXPECT_EQ(value, expected) << t;
  }
  std::mt19937_64 rng(3);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isnan(d)) continue;
    std::string text = ShortestDoubleText(d);
    double back = 0;
    ASSERT_TRUE(halberd::ParseDoubleText(text.data(), text.data() + text.size(), back)) << text;
    ASSERT_EQ(back, d) << text;
  }
}
