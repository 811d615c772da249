// SPDX-License-Identifier: MIT
//
// What the geometry operations share: making the result image from its
// source, the fixed-point unit, and the per-format channel access of the
// interpolating paths.
#pragma once

#include "core/detail.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pel::detail {

// Positions and weights carry ten fractional bits.
inline constexpr int kFracBits = 10;
inline constexpr int32_t kOne = 1 << kFracBits;
inline constexpr int32_t kFracMask = kOne - 1;

// True when the handle reaches a header.
inline bool hasHeader(const PELIMAGE *image) { return image && image->core && image->core->header; }

// Makes a geometry result of the given size from the source: its type, colour
// table, resolutions and memory kind. The table is passed through a zeroed
// local copy of the full size so that a source holding fewer entries than
// creation reads (a one-entry bilevel table) is never read past its end.
inline ImagePtr makeResultLike(const PELIMAGE &src, int32_t width, int32_t height) {
  const BITMAPINFOHEADER &h = *src.core->header;
  std::array<RGBQUAD, 256> table{};
  const RGBQUAD *colors = nullptr;
  if (bitCount(h) <= 8) {
    uint32_t count = pelGetClrUsed(&h);
    if (count > table.size()) count = static_cast<uint32_t>(table.size());
    std::memcpy(table.data(), afterHeader(&h), count * sizeof(RGBQUAD));
    colors = table.data();
  }
  return ImagePtr(pelCreateImage(src.imageType, width, height, colors, h.biClrUsed,
                                 h.biXPelsPerMeter, h.biYPelsPerMeter, src.core->memKind));
}

// Address of stored line `row` (0 is the bottom line of the picture).
inline uint8_t *storedLine(uint8_t *bits, int32_t lineBytes, int64_t row) {
  return bits + static_cast<ptrdiff_t>(row) * lineBytes;
}
inline const uint8_t *storedLine(const uint8_t *bits, int32_t lineBytes, int64_t row) {
  return bits + static_cast<ptrdiff_t>(row) * lineBytes;
}

// Whole-image byte count of a store (padding included).
inline std::size_t storeBytes(const PELIMAGE &image) {
  return static_cast<std::size_t>(static_cast<uint32_t>(image.lineBytes)) *
         static_cast<uint32_t>(height(*image.core->header));
}

// Channel access for the interpolating paths. Channels are 8-bit values;
// the 16-bit formats unpack to the top bits of each byte and pack back by
// truncation. `kChannels` of 1 is grey, 3 is blue, green, red order.
struct Grey8 {
  static constexpr int kChannels = 1;
  static constexpr int kBytes = 1;
  static void load(const uint8_t *p, int32_t *c) { c[0] = p[0]; }
  static void store(uint8_t *p, const int32_t *c) { p[0] = static_cast<uint8_t>(c[0]); }
};

struct Rgb555 {
  static constexpr int kChannels = 3;
  static constexpr int kBytes = 2;
  static void load(const uint8_t *p, int32_t *c) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    c[0] = (v << 3) & 0xF8;
    c[1] = (v >> 2) & 0xF8;
    c[2] = (v >> 7) & 0xF8;
  }
  static uint16_t pack(const int32_t *c) {
    return static_cast<uint16_t>(((c[2] & 0xF8) << 7) | ((c[1] & 0xF8) << 2) | (c[0] >> 3));
  }
  static void store(uint8_t *p, const int32_t *c) {
    const uint16_t v = pack(c);
    std::memcpy(p, &v, 2);
  }
};

struct Rgb565 {
  static constexpr int kChannels = 3;
  static constexpr int kBytes = 2;
  static void load(const uint8_t *p, int32_t *c) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    c[0] = (v << 3) & 0xF8;
    c[1] = (v >> 3) & 0xFC;
    c[2] = (v >> 8) & 0xF8;
  }
  static uint16_t pack(const int32_t *c) {
    return static_cast<uint16_t>(((c[2] & 0xF8) << 8) | ((c[1] & 0xFC) << 3) | (c[0] >> 3));
  }
  static void store(uint8_t *p, const int32_t *c) {
    const uint16_t v = pack(c);
    std::memcpy(p, &v, 2);
  }
};

// 24 and 32 bits: bytes 0, 1, 2 are blue, green, red; a fourth byte is never
// written.
template <int Bytes> struct Bgr {
  static constexpr int kChannels = 3;
  static constexpr int kBytes = Bytes;
  static void load(const uint8_t *p, int32_t *c) {
    c[0] = p[0];
    c[1] = p[1];
    c[2] = p[2];
  }
  static void store(uint8_t *p, const int32_t *c) {
    p[0] = static_cast<uint8_t>(c[0]);
    p[1] = static_cast<uint8_t>(c[1]);
    p[2] = static_cast<uint8_t>(c[2]);
  }
};
using Bgr24 = Bgr<3>;
using Bgr32 = Bgr<4>;

// Exact quotient by a fixed divisor d for dividends below 2^28: the product
// with r = ceil(2^k / d), shifted right by k, where 2^k >= 2^28 * d. With
// e = r * d - 2^k < d, n * r / 2^k = n / d + n * e / (d * 2^k), and
// n * e < 2^28 * d <= 2^k keeps the extra part below 1 / d, too little to
// reach the next whole number from n / d's fraction of at most (d - 1) / d.
// r < 2^29 + 1 keeps the product inside 64 bits. Larger divisors divide.
struct Divider {
  static constexpr uint64_t kMaxDivisor = uint64_t{1} << 20;
  static constexpr uint64_t kDividendBits = 28;
  uint64_t divisor, reciprocal;
  int shift;
  explicit Divider(uint64_t d) : divisor(d), reciprocal(0), shift(0) {
    if (d == 0 || d > kMaxDivisor) return;
    int bits = 0;
    while ((uint64_t{1} << bits) < d) ++bits;
    shift = static_cast<int>(kDividendBits) + bits;
    reciprocal = ((uint64_t{1} << shift) + d - 1) / d;
  }
  uint64_t operator()(uint64_t n) const {
    return reciprocal ? (n * reciprocal) >> shift : n / divisor;
  }
};

// Bit masks of the bilevel paths, most significant bit first.
inline constexpr uint8_t bitMask(int64_t x) { return static_cast<uint8_t>(0x80u >> (x & 7)); }

// The nearest-pixel methods of palette images (types 2, 3, 5), through the
// single-pixel operations; the result has the source's bit count.
void rotatePaletteNearest(const PELIMAGE &src, PELIMAGE &dst, int64_t fc, int64_t fs,
                          uint32_t background);
void scalePaletteNearest(const PELIMAGE &src, PELIMAGE &dst, uint64_t stepX, uint64_t stepY);

} // namespace pel::detail
