// SPDX-License-Identifier: MIT
//
// Converters to 16 bits, 5-5-5 and 5-6-5: every source pixel's channels
// packed by truncation. Between the two layouts this moves the fields (green
// loses or gains its lowest bit) and is written as the same pack of the
// widened channels, which gives exactly those field moves.
#include "core/detail.hpp"

#include "convert/detail.hpp"

namespace pel::detail {

namespace {

// A 16-bit line is a whole number of 32-bit units, so the word fill paints
// every line completely, padding included.
template <typename Encode> void bit1To16(const Job &job, const RGBQUAD *srcPalette, Encode encode) {
  const std::size_t words =
      static_cast<std::size_t>(job.height) * static_cast<uint32_t>(job.dstLineBytes) / 2;
  fillWords16(job.dst, encode(colourOf(srcPalette[0])), words);
  paintSetBits<StoreWord>(job, encode(colourOf(srcPalette[1])));
}

} // namespace

void cvtBit1ToBit555(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  bit1To16(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), srcPalette, Encode555{});
}

void cvtBit4ToBit555(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  eachIndexedPixel<StoreWord, ReadBit4>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        srcPalette, Encode555{});
}

void cvtBit8ToBit555(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  eachIndexedPixel<StoreWord, ReadBit8>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        srcPalette, Encode555{});
}

void cvtBit4GreyToBit555(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                         int32_t srcLineBytes) {
  eachIndexedPixel<StoreWord, ReadBit4>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        kGrey16Colours.data(), Encode555{});
}

void cvtBit8GreyToBit555(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                         int32_t srcLineBytes) {
  eachIndexedPixel<StoreWord, ReadBit8>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        kGrey256Colours.data(), Encode555{});
}

void cvtBit565ToBit555(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                       int32_t srcLineBytes) {
  eachPixel<StoreWord, Read565>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                Encode555{});
}

void cvtBit24ToBit555(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                      int32_t srcLineBytes) {
  eachPixel<StoreWord, Read24>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                               Encode555{});
}

void cvtBit32ToBit555(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                      int32_t srcLineBytes) {
  eachPixel<StoreWord, Read32>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                               Encode555{});
}

void cvtBit1ToBit565(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  bit1To16(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), srcPalette, Encode565{});
}

void cvtBit4ToBit565(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  eachIndexedPixel<StoreWord, ReadBit4>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        srcPalette, Encode565{});
}

void cvtBit8ToBit565(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes, const RGBQUAD *srcPalette) {
  eachIndexedPixel<StoreWord, ReadBit8>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        srcPalette, Encode565{});
}

void cvtBit4GreyToBit565(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                         int32_t srcLineBytes) {
  eachIndexedPixel<StoreWord, ReadBit4>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        kGrey16Colours.data(), Encode565{});
}

void cvtBit8GreyToBit565(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                         int32_t srcLineBytes) {
  eachIndexedPixel<StoreWord, ReadBit8>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                        kGrey256Colours.data(), Encode565{});
}

void cvtBit555ToBit565(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                       int32_t srcLineBytes) {
  eachPixel<StoreWord, Read555>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                                Encode565{});
}

void cvtBit24ToBit565(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                      int32_t srcLineBytes) {
  eachPixel<StoreWord, Read24>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                               Encode565{}, VectorLine::BgrTo565);
}

void cvtBit32ToBit565(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                      int32_t srcLineBytes) {
  eachPixel<StoreWord, Read32>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                               Encode565{});
}

} // namespace pel::detail
