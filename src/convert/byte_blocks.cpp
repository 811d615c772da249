// SPDX-License-Identifier: MIT
//
// The two exported byte-block helpers of the conversions: a one-colour fill of
// a 24-bit block and a left shift of a byte run taken as one bit string.
#include "core/detail.hpp"

#include "convert/detail.hpp"

using namespace pel::detail;

extern "C" {

// An empty block (no pixels or no lines) is left alone: the line copy below
// would otherwise run over lines that do not exist.
void PELAPI pelFill24bitColor(uint8_t *bits, uint32_t color, uint32_t width,
                              uint32_t height) noexcept {
  if (!bits || width == 0 || height == 0) return;
  const uint32_t red = (color >> 16) & 0xFF, green = (color >> 8) & 0xFF, blue = color & 0xFF;
  const std::size_t lineBytes = ((uint64_t{width} * 24 + 31) >> 3) & ~uint64_t{3};
  if (red == green && green == blue) {
    std::memset(bits, static_cast<int>(red), lineBytes * height);
    return;
  }
  fillBgr(bits, color, width);
  for (uint32_t y = 1; y < height; ++y) std::memcpy(bits + y * lineBytes, bits, lineBytes);
}

// Whole bytes first, then bits: any shift gives the bit string moved left
// with zeros entering, and a target equal to the source is shifted in place.
void PELAPI pelShiftLeft(uint8_t *target, const uint8_t *source, uint32_t count,
                         uint8_t shift) noexcept {
  if (!target || !source || count == 0) return;
  if (shift <= 8) {
    shiftBitsLeft(target, source, count, shift);
    return;
  }
  const uint32_t skip = shift >> 3, bits = shift & 7u;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t j = uint64_t{i} + skip;
    const uint32_t high = j < count ? source[j] : 0u;
    const uint32_t low = j + 1 < count ? source[j + 1] : 0u;
    target[i] = static_cast<uint8_t>(high << bits | low >> (8 - bits));
  }
}

} // extern "C"
