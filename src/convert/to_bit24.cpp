// SPDX-License-Identifier: MIT
//
// Converters to 24 bits: the exact colours of palette and grey sources, the
// widened fields of 16-bit sources, the first three bytes of 32-bit pixels.
#include "core/detail.hpp"

#include "convert/detail.hpp"

namespace pel::detail {

void cvtBit1ToBit24(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                    int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  pelFill24bitColor(dst, pixelValue(colourOf(srcPalette[0])), static_cast<uint32_t>(width),
                    static_cast<uint32_t>(height));
  paintSetBits<StoreBgr>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                         pixelValue(colourOf(srcPalette[1])));
}

void cvtBit4ToBit24(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                    int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  eachIndexedPixel<StoreBgr, ReadBit4>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                       srcPalette, EncodeValue{});
}

void cvtBit8ToBit24(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                    int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  eachIndexedPixel<StoreBgr, ReadBit8>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                       srcPalette, EncodeValue{});
}

void cvtBit4GreyToBit24(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                        int32_t srcLineBytes) {
  eachIndexedPixel<StoreBgr, ReadBit4>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                       kGrey16Colours.data(), EncodeValue{});
}

void cvtBit8GreyToBit24(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                        int32_t srcLineBytes) {
  eachIndexedPixel<StoreBgr, ReadBit8>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                       kGrey256Colours.data(), EncodeValue{});
}

void cvtBit555ToBit24(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                      int32_t srcLineBytes) {
  eachPixel<StoreBgr, Read555>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                               EncodeValue{});
}

void cvtBit565ToBit24(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                      int32_t srcLineBytes) {
  eachPixel<StoreBgr, Read565>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                               EncodeValue{});
}

void cvtBit32ToBit24(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes) {
  eachPixel<StoreBgr, Read32>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                              EncodeValue{}, VectorLine::BgrxToBgr);
}

} // namespace pel::detail
