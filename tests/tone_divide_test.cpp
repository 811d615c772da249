// SPDX-License-Identifier: MIT
// The multiply-and-shift divisions of the hue, saturation and lightness
// arithmetic against true division, for every operand pair the arithmetic
// can produce: the results of the operation rest on these being exact.
#include "tone/hsl_divide.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace {

using namespace pel::detail;

// By a variable divisor: every divisor 1..255 with every byte numerator,
// which covers every spread, sum and step a pair of channels can give.
TEST(HslDivide, VariableDivisorsForEveryByteNumerator) {
  struct Form {
    uint32_t factor;
    uint32_t (*divide)(uint32_t, uint32_t);
  };
  for (const Form form : {Form{100, hsl::hundredOver}, Form{60, hsl::sixtyOver}}) {
    int wrong = 0;
    for (uint32_t n = 1; n < 256; ++n)
      for (uint32_t a = 0; a < 256; ++a)
        if (form.divide(a, n) != form.factor * a / n && ++wrong <= 5)
          ADD_FAILURE() << form.factor << " * " << a << " / " << n;
    EXPECT_EQ(wrong, 0) << "factor " << form.factor;
  }
}

// The operands the saturation division sees: for every largest and smallest
// channel that differ, the divisor is 1..255 and never below the spread.
TEST(HslDivide, SaturationDivisorsStayInRange) {
  for (uint32_t big = 1; big < 256; ++big)
    for (uint32_t small = 0; small < big; ++small) {
      const uint32_t sum = big + small, d = big - small;
      const uint32_t divisor = sum / 2 < 128 ? sum : 510 - sum;
      ASSERT_TRUE(divisor >= d && divisor <= 255) << big << ", " << small;
      ASSERT_EQ(hsl::hundredOver(d, divisor), 100 * d / divisor) << big << ", " << small;
    }
}

// By the constant divisors: every numerator up to the largest the
// arithmetic reaches, and those limits checked against the arithmetic.
TEST(HslDivide, ConstantDivisorsUpToTheirLimits) {
  for (uint32_t v = 0; v <= hsl::kHundredLimit; ++v) ASSERT_EQ(hsl::byHundred(v), v / 100) << v;
  for (uint32_t v = 0; v <= hsl::kSixtyLimit; ++v) ASSERT_EQ(hsl::bySixty(v), v / 60) << v;

  uint32_t most = 0;
  for (uint32_t factor = 0; factor <= 200; ++factor) // saturation change + 100
    for (uint32_t s = 0; s <= 100; ++s) most = std::max(most, factor * s);
  for (uint32_t l = 0; l < 256; ++l)
    for (uint32_t s = 0; s <= 100; ++s) {
      const uint32_t v = l >= 128 ? (255 - l) * s : l * (100 + s);
      most = std::max(most, v);
      // The levels that meet the ramps: q <= l <= p <= 255, so p - q >= 0.
      const uint32_t p = l >= 128 ? l + hsl::byHundred(v) : hsl::byHundred(v);
      ASSERT_TRUE(p >= l && p <= 255 && 2 * l >= p) << l << ", " << s;
    }
  EXPECT_LE(most, hsl::kHundredLimit);
  EXPECT_LE(255u * 60, hsl::kSixtyLimit);
  // Multipliers and numerators fit signed 16-bit halves; products fit 31 bits.
  EXPECT_LT(hsl::kByHundred, 1u << 15);
  EXPECT_LT(hsl::kBySixty, 1u << 15);
  EXPECT_LT(hsl::kHundredLimit, 1u << 15);
  EXPECT_LT(uint64_t{hsl::kHundredLimit} * hsl::kByHundred, uint64_t{1} << 31);
  EXPECT_LT(uint64_t{hsl::kSixtyLimit} * hsl::kBySixty, uint64_t{1} << 31);
}

TEST(HslDivide, RampsOverTheCircle) {
  for (int32_t h = 0; h < 360; ++h)
    ASSERT_EQ(hsl::ramp(h), std::clamp(std::min(h, 240 - h), 0, 60)) << h;
}

} // namespace
