// The registry's double text under the Windows C library: the same characters as std::to_chars.
#include "foundation/double_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>

TEST(DoubleTextWindows, MatchesToChars) {
  std::mt19937_64 rng(11);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = rng();
    double values[2];
    std::memcpy(&values[0], &bits, sizeof(double));
    values[1] = double(int64_t(rng() % 2000001) - 1000000) * std::pow(10.0, int(rng() % 50) - 25);
    for (double d : values) {
      if (std::isnan(d)) continue;
      char buffer[64];
      auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
      ASSERT_EQ(halberd::ShortestDoubleText(d), std::string(buffer, end)) << bits;
      double back = 0;
      ASSERT_TRUE(halberd::ParseDoubleText(buffer, end, back)) << std::string(buffer, end);
      ASSERT_EQ(back, d) << std::string(buffer, end);
    }
  }
  EXPECT_EQ(halberd::ShortestDoubleText(1e23), "1e+23");
  EXPECT_EQ(halberd::ShortestDoubleText(1.2345678901234567e21), "1234567890123456774144");
}
