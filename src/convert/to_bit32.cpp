// SPDX-License-Identifier: MIT
//
// Converters to 32 bits: as to 24 bits, each pixel stored as one 32-bit value
// whose fourth byte is 0 (a palette entry's reserved byte is never copied).
#include "core/detail.hpp"

#include "convert/detail.hpp"

namespace pel::detail {

void cvtBit1ToBit32(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                    int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  // A 32-bit line has no padding: width x height words are the whole block.
  fillWords32(dst, pixelValue(colourOf(srcPalette[0])),
              static_cast<std::size_t>(width) * static_cast<uint32_t>(height));
  paintSetBits<StoreBgrx>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                          pixelValue(colourOf(srcPalette[1])));
}

void cvtBit4ToBit32(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                    int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  eachIndexedPixel<StoreBgrx, ReadBit4>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        srcPalette, EncodeValue{});
}

void cvtBit8ToBit32(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                    int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  eachIndexedPixel<StoreBgrx, ReadBit8>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        srcPalette, EncodeValue{});
}

void cvtBit4GreyToBit32(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                        int32_t srcLineBytes) {
  eachIndexedPixel<StoreBgrx, ReadBit4>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        kGrey16Colours.data(), EncodeValue{});
}

void cvtBit8GreyToBit32(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                        int32_t srcLineBytes) {
  eachIndexedPixel<StoreBgrx, ReadBit8>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        kGrey256Colours.data(), EncodeValue{});
}

void cvtBit555ToBit32(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                      int32_t srcLineBytes) {
  eachPixel<StoreBgrx, Read555>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                EncodeValue{});
}

void cvtBit565ToBit32(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                      int32_t srcLineBytes) {
  eachPixel<StoreBgrx, Read565>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                EncodeValue{});
}

void cvtBit24ToBit32(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes) {
  // Storing the whole word writes the fourth byte as the 0 the new image holds.
  eachPixel<StoreBgrx, Read24>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                               EncodeValue{}, VectorLine::BgrToBgrx);
}

} // namespace pel::detail
