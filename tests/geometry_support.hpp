// SPDX-License-Identifier: MIT
// Helpers of the geometry tests: random images of every creatable type and
// a per-pixel view of the stored bits that shares no code with the library.
#pragma once

#include "support.hpp"

#include <array>
#include <memory>
#include <random>
#include <vector>

namespace pel::test {

struct Destroy {
  void operator()(PELIMAGE *image) const { pelDestroyImage(image); }
};
using Image = std::unique_ptr<PELIMAGE, Destroy>;

inline constexpr std::array<int32_t, 9> kCreatableTypes = {
    PEL_TYPE_BIT1,   PEL_TYPE_BIT4,   PEL_TYPE_GREY4, PEL_TYPE_BIT8, PEL_TYPE_GREY8,
    PEL_TYPE_BIT555, PEL_TYPE_BIT565, PEL_TYPE_BIT24, PEL_TYPE_BIT32};

inline int32_t widthOf(const PELIMAGE *image) { return image->core->header->biWidth; }
inline int32_t heightOf(const PELIMAGE *image) { return image->core->header->biHeight; }
inline uint32_t bitsOf(const PELIMAGE *image) { return image->core->header->biBitCount; }

inline uint8_t *rowPtr(const PELIMAGE *image, int32_t row) {
  return image->core->bits + static_cast<ptrdiff_t>(row) * image->lineBytes;
}

// Pixel value at column x of stored row `row` (row 0 at the bottom).
inline uint32_t rawAt(const PELIMAGE *image, int32_t x, int32_t row) {
  const uint8_t *p = rowPtr(image, row);
  switch (bitsOf(image)) {
  case 1: return (p[x / 8] >> (7 - x % 8)) & 1u;
  case 4: return (p[x / 2] >> (x % 2 ? 0 : 4)) & 0xFu;
  case 8: return p[x];
  case 16: return p[2 * x] | uint32_t(p[2 * x + 1]) << 8;
  case 24: return p[3 * x] | uint32_t(p[3 * x + 1]) << 8 | uint32_t(p[3 * x + 2]) << 16;
  default:
    return p[4 * x] | uint32_t(p[4 * x + 1]) << 8 | uint32_t(p[4 * x + 2]) << 16 |
           uint32_t(p[4 * x + 3]) << 24;
  }
}
// The same with y counted from the top of the picture.
inline uint32_t pixelAt(const PELIMAGE *image, int32_t x, int32_t y) {
  return rawAt(image, x, heightOf(image) - 1 - y);
}

inline void setRawAt(PELIMAGE *image, int32_t x, int32_t row, uint32_t v) {
  uint8_t *p = rowPtr(image, row);
  switch (bitsOf(image)) {
  case 1: {
    const uint8_t m = static_cast<uint8_t>(0x80 >> (x % 8));
    p[x / 8] = static_cast<uint8_t>(v & 1 ? p[x / 8] | m : p[x / 8] & ~m);
    break;
  }
  case 4: {
    const int shift = x % 2 ? 0 : 4;
    p[x / 2] = static_cast<uint8_t>((p[x / 2] & ~(0xF << shift)) | (v & 0xF) << shift);
    break;
  }
  default:
    for (uint32_t b = 0; b < bitsOf(image) / 8; ++b)
      p[uint32_t(x) * bitsOf(image) / 8 + b] = static_cast<uint8_t>(v >> (8 * b));
  }
}

// A palette of distinct, non-grey colours.
inline std::vector<RGBQUAD> colourfulPalette(uint32_t count) {
  std::vector<RGBQUAD> table(count);
  for (uint32_t i = 0; i < count; ++i)
    table[i] = {static_cast<BYTE>(i * 7 + 1), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 3),
                0};
  return table;
}

// An image of the type whose every stored byte, padding included, is random.
inline Image randomPicture(int32_t type, int32_t w, int32_t h, uint32_t seed) {
  std::vector<RGBQUAD> table;
  if (type == PEL_TYPE_BIT4) table = colourfulPalette(16);
  if (type == PEL_TYPE_BIT8) table = colourfulPalette(256);
  if (type == PEL_TYPE_BIT1) table = palette(PEL_PAL_BLACKWHITE);
  Image image(pelCreateImage(type, w, h, table.empty() ? nullptr : table.data(),
                             static_cast<uint32_t>(table.size()), 2835, 3780, PEL_MEM_AUTO));
  if (!image) return image;
  std::mt19937 rng(seed);
  for (uint32_t i = 0; i < image->core->bitsSize; ++i)
    image->core->bits[i] = static_cast<uint8_t>(rng());
  return image;
}

// True when both images have the same size and pixel values (padding aside).
inline ::testing::AssertionResult samePixels(const PELIMAGE *a, const PELIMAGE *b) {
  if (!a || !b) return ::testing::AssertionFailure() << "null image";
  if (widthOf(a) != widthOf(b) || heightOf(a) != heightOf(b) || bitsOf(a) != bitsOf(b))
    return ::testing::AssertionFailure() << "sizes differ: " << widthOf(a) << "x" << heightOf(a)
                                         << " vs " << widthOf(b) << "x" << heightOf(b);
  for (int32_t y = 0; y < heightOf(a); ++y)
    for (int32_t x = 0; x < widthOf(a); ++x)
      if (rawAt(a, x, y) != rawAt(b, x, y))
        return ::testing::AssertionFailure() << "pixel (" << x << ", row " << y << ") "
                                             << rawAt(a, x, y) << " vs " << rawAt(b, x, y);
  return ::testing::AssertionSuccess();
}

// Channels of a pixel value as the interpolating paths see them: blue,
// green, red (or the one grey byte), 16-bit fields shifted to the byte top.
inline std::array<int32_t, 3> channelsOf(int32_t type, uint32_t v) {
  switch (type) {
  case PEL_TYPE_GREY8: return {int32_t(v), 0, 0};
  case PEL_TYPE_BIT555:
    return {int32_t(v & 0x1F) << 3, int32_t((v >> 5) & 0x1F) << 3, int32_t((v >> 10) & 0x1F) << 3};
  case PEL_TYPE_BIT565:
    return {int32_t(v & 0x1F) << 3, int32_t((v >> 5) & 0x3F) << 2, int32_t((v >> 11) & 0x1F) << 3};
  default: return {int32_t(v & 0xFF), int32_t((v >> 8) & 0xFF), int32_t((v >> 16) & 0xFF)};
  }
}
inline int channelCount(int32_t type) { return type == PEL_TYPE_GREY8 ? 1 : 3; }

// Pixel value of channels, truncating to the stored field widths.
inline uint32_t valueOf(int32_t type, const std::array<int32_t, 3> &c) {
  switch (type) {
  case PEL_TYPE_GREY8: return uint32_t(c[0]);
  case PEL_TYPE_BIT555:
    return uint32_t(c[2] >> 3) << 10 | uint32_t(c[1] >> 3) << 5 | uint32_t(c[0] >> 3);
  case PEL_TYPE_BIT565:
    return uint32_t(c[2] >> 3) << 11 | uint32_t(c[1] >> 2) << 5 | uint32_t(c[0] >> 3);
  default: return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16;
  }
}

} // namespace pel::test
