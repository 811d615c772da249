// SPDX-License-Identifier: MIT
//
// Converters to 8 bits: reduction of true colour through the colour map,
// grey levels, and the two-level form of 1-bit sources. Line padding is
// never written and keeps the zeros of the new image.
#include "core/detail.hpp"

#include "convert/detail.hpp"

namespace pel::detail {

namespace {

template <typename Read> bool mapToBit8(const Job &job, const RGBQUAD *palette, int32_t count) {
  return withColourMap(palette, count,
                       [&](EncodeMap encode) { eachPixel<StoreByte, Read>(job, encode); });
}

} // namespace

bool cvtBit555ToBit8(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes, const RGBQUAD *palette, int32_t count) {
  return mapToBit8<Read555>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), palette,
                            count);
}

bool cvtBit565ToBit8(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes, const RGBQUAD *palette, int32_t count) {
  return mapToBit8<Read565>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), palette,
                            count);
}

bool cvtBit24ToBit8(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                    int32_t srcLineBytes, const RGBQUAD *palette, int32_t count) {
  const Job job = jobOf(dst, src, width, height, dstLineBytes, srcLineBytes);
  return withColourMap(palette, count, [&](EncodeMap encode) {
    mapBgrLines(job, encode.map, MapTarget::Bytes,
                [map = encode.map](uint8_t *line, int32_t x, const uint16_t *cells, int32_t n) {
                  for (int32_t k = 0; k < n; ++k) line[x + k] = map[cells[k]];
                });
  });
}

bool cvtBit32ToBit8(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                    int32_t srcLineBytes, const RGBQUAD *palette, int32_t count) {
  return mapToBit8<Read32>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), palette,
                           count);
}

void cvtBit1ToBit8(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                   int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  const Job job = jobOf(dst, src, width, height, dstLineBytes, srcLineBytes);
  clearPadding(job, 8);
  const auto values = twoLevelValues(srcPalette, 255);
  eachPixel<StoreByte, ReadBit1>(job, EncodeTable{values.data()});
}

void cvtBit4ToBit8Grey(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                       int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  eachIndexedPixel<StoreByte, ReadBit4>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        srcPalette, EncodeGrey8{});
}

void cvtBit8ToBit8Grey(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                       int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  eachIndexedPixel<StoreByte, ReadBit8>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        srcPalette, EncodeGrey8{});
}

void cvtBit4GreyToBit8Grey(Bits dst, SrcBits src, int32_t width, int32_t height,
                           int32_t dstLineBytes, int32_t srcLineBytes) {
  eachIndexedPixel<StoreByte, ReadBit4>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        kGrey16Colours.data(), EncodeGrey8{});
}

void cvtBit555ToBit8Grey(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                         int32_t srcLineBytes) {
  eachPixel<StoreByte, Read555>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                EncodeGrey8{});
}

void cvtBit565ToBit8Grey(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                         int32_t srcLineBytes) {
  eachPixel<StoreByte, Read565>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                EncodeGrey8{});
}

void cvtBit24ToBit8Grey(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                        int32_t srcLineBytes) {
  eachPixel<StoreByte, Read24>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                               EncodeGrey8{}, VectorLine::BgrToGrey);
}

void cvtBit32ToBit8Grey(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                        int32_t srcLineBytes) {
  eachPixel<StoreByte, Read32>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                               EncodeGrey8{});
}

} // namespace pel::detail
