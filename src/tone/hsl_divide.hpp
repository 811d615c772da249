// SPDX-License-Identifier: MIT
//
// The divisions of the integer hue, saturation and lightness arithmetic as
// multiplications and shifts, exact for every operand the arithmetic can
// produce (the tests go through all of them). Every quotient there is of
// non-negative integers, so truncation is the floor.
//
// By a variable divisor 1 <= n <= 255: c * a / n for 0 <= a <= 255 is
// a * ceil(c * 2^16 / n) >> 16. The rounding up adds less than a / 2^16 <
// 1 / 256 to the quotient, and a quotient that is not whole lies at least
// 1 / n below the next integer, so the floor never moves. The products stay
// below 2^23, which leaves room in 32-bit lanes.
#pragma once

#include <array>
#include <cstdint>

namespace pel::detail::hsl {

inline constexpr uint32_t kReciprocalShift = 16;

// ceil(c * 2^16 / n) for n = 1..255; entry 0 is never used for a quotient.
template <uint32_t C> constexpr std::array<uint32_t, 256> reciprocals() {
  std::array<uint32_t, 256> t{};
  for (uint32_t n = 1; n < 256; ++n) t[n] = ((C << kReciprocalShift) + n - 1) / n;
  return t;
}

// 100 * spread / (sum or 510 - sum): the saturation.
inline constexpr std::array<uint32_t, 256> kHundredOver = reciprocals<100>();
// 60 * step / spread: the hue within its sextant.
inline constexpr std::array<uint32_t, 256> kSixtyOver = reciprocals<60>();

constexpr uint32_t hundredOver(uint32_t a, uint32_t n) {
  return a * kHundredOver[n] >> kReciprocalShift;
}
constexpr uint32_t sixtyOver(uint32_t a, uint32_t n) {
  return a * kSixtyOver[n] >> kReciprocalShift;
}

// By the constant divisors, for the numerators the arithmetic reaches: at
// most 200 * 100 and 127 * 200 for 100, 255 * 60 for 60. Multipliers and
// numerators stay below 2^15 and products below 2^31, so vector code can
// multiply 16-bit halves into 32-bit lanes.
inline constexpr uint32_t kHundredLimit = 25400, kSixtyLimit = 15300;
inline constexpr uint32_t kByHundred = 5243, kByHundredShift = 19; // exact below 43690
inline constexpr uint32_t kBySixty = 17477, kBySixtyShift = 20;    // exact below 23831
constexpr uint32_t byHundred(uint32_t v) { return v * kByHundred >> kByHundredShift; }
constexpr uint32_t bySixty(uint32_t v) { return v * kBySixty >> kBySixtyShift; }

// How far towards the upper level a channel goes at hue angle 0 <= h < 360,
// in sixtieths: up over 0..60, full to 180, down to 240, none after.
constexpr int32_t ramp(int32_t h) { return h < 60 ? h : h < 180 ? 60 : h < 240 ? 240 - h : 0; }

} // namespace pel::detail::hsl
