// SPDX-License-Identifier: MIT
//
// Converters to 4 bits: reduction of true colour through the colour map,
// 4-bit grey levels, and the two-level form of 1-bit sources.
#include "core/detail.hpp"

#include "convert/detail.hpp"

namespace pel::detail {

namespace {

template <typename Read> bool mapToBit4(const Job &job, const RGBQUAD *palette, int32_t count) {
  return withColourMap(palette, count, [&](EncodeMap encode) {
    clearPadding(job, 4);
    eachNibble<Read>(job, encode);
  });
}

} // namespace

bool cvtBit555ToBit4(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes, const RGBQUAD *palette, int32_t count) {
  return mapToBit4<Read555>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), palette,
                            count);
}

bool cvtBit565ToBit4(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes, const RGBQUAD *palette, int32_t count) {
  return mapToBit4<Read565>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), palette,
                            count);
}

bool cvtBit24ToBit4(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                    int32_t srcLineBytes, const RGBQUAD *palette, int32_t count) {
  const Job job = jobOf(dst, src, width, height, dstLineBytes, srcLineBytes);
  return withColourMap(palette, count, [&](EncodeMap encode) {
    clearPadding(job, 4);
    mapBgrLines(job, encode.map, MapTarget::Nibbles,
                [map = encode.map](uint8_t *line, int32_t x, const uint16_t *cells, int32_t n) {
                  uint8_t *out = line + (x >> 1);
                  int32_t k = 0;
                  for (; k + 2 <= n; k += 2)
                    *out++ = static_cast<uint8_t>(map[cells[k]] << 4 | map[cells[k + 1]]);
                  if (k < n) *out = static_cast<uint8_t>(map[cells[k]] << 4);
                });
  });
}

bool cvtBit32ToBit4(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                    int32_t srcLineBytes, const RGBQUAD *palette, int32_t count) {
  return mapToBit4<Read32>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), palette,
                           count);
}

void cvtBit1ToBit4(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                   int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  const Job job = jobOf(dst, src, width, height, dstLineBytes, srcLineBytes);
  clearPadding(job, 4);
  const auto values = twoLevelValues(srcPalette, 15);
  eachNibble<ReadBit1>(job, EncodeTable{values.data()});
}

void cvtBit4ToBit4Grey(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                       int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  eachIndexedNibble<ReadBit4>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                              srcPalette, EncodeGrey4{});
}

void cvtBit8ToBit4Grey(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                       int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  eachIndexedNibble<ReadBit8>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                              srcPalette, EncodeGrey4{});
}

void cvtBit8GreyToBit4Grey(Bits dst, SrcBits src, int32_t width, int32_t height,
                           int32_t dstLineBytes, int32_t srcLineBytes) {
  eachIndexedNibble<ReadBit8>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                              kGrey256Colours.data(), EncodeGrey4{});
}

void cvtBit555ToBit4Grey(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                         int32_t srcLineBytes) {
  eachNibble<Read555>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), EncodeGrey4{});
}

void cvtBit565ToBit4Grey(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                         int32_t srcLineBytes) {
  eachNibble<Read565>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), EncodeGrey4{});
}

void cvtBit24ToBit4Grey(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                        int32_t srcLineBytes) {
  eachNibble<Read24>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), EncodeGrey4{});
}

void cvtBit32ToBit4Grey(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                        int32_t srcLineBytes) {
  eachNibble<Read32>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), EncodeGrey4{});
}

} // namespace pel::detail
