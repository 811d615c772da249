// SPDX-License-Identifier: MIT
// The area average's multiply-and-shift quotient against true division, for
// every divisor 1 + blockW * blockH it can be given (2 up to its bound). An
// exhaustive sweep of every dividend is too slow for the emulated legs, so
// each divisor's constants are checked against the error bound that makes
// the quotient exact for all dividends below 2^28, and the dividends where a
// wrong quotient would first show (each side of the multiples at the ends of
// the range) are divided outright; small divisors are swept in full.
#include "support.hpp"

#include "geometry/detail.hpp"

#include <cstdint>

namespace {

using pel::detail::Divider;

TEST(AreaDivider, ExactForEveryDivisorAndDividend) {
  constexpr uint64_t kTop = Divider::kMaxDivisor;
  constexpr uint64_t kLimit = uint64_t{1} << Divider::kDividendBits; // dividends below
  int failures = 0;
  for (uint64_t d = 2; d <= kTop && failures < 10; ++d) {
    const Divider divide(d);
    const uint64_t r = divide.reciprocal;
    const int k = divide.shift;
    // Bound: r = ceil(2^k / d), so e = r * d - 2^k lies in [0, d); all
    // n < 2^28 give n * e < 2^k, and the largest product fits 64 bits.
    const bool bound = k < 64 && r != 0 && r * d >= (uint64_t{1} << k) &&
                       r * d - (uint64_t{1} << k) < d &&
                       (kLimit - 1) * (r * d - (uint64_t{1} << k)) < (uint64_t{1} << k) &&
                       r <= UINT64_MAX / (kLimit - 1);
    // The largest area sum is 255 * d (every sample 255), below 2^28.
    const uint64_t most = 255 * d;
    bool edges = most < kLimit;
    for (uint64_t n : {uint64_t{0}, uint64_t{1}, d - 1, d, d + 1, most - d - 1, most - d, most - 1,
                       most, kLimit - 1, (kLimit - 1) / d * d, (kLimit - 1) / d * d - 1})
      edges = edges && divide(n) == n / d;
    if (!bound || !edges) {
      ++failures;
      ADD_FAILURE() << "divisor " << d << (bound ? "" : ": bound") << (edges ? "" : ": quotient");
    }
  }
  // Every dividend of the area sums for the small divisors.
  for (uint64_t d = 2; d <= 96; ++d) {
    const Divider divide(d);
    for (uint64_t n = 0; n <= 255 * d; ++n) ASSERT_EQ(divide(n), n / d) << n << " / " << d;
  }
  // Past the bound the divider divides.
  const Divider large(kTop + 1);
  EXPECT_EQ(large(uint64_t{255} * (kTop + 1)), 255u);
  EXPECT_EQ(large(uint64_t{255} * (kTop + 1) - 1), 254u);
}

} // namespace
