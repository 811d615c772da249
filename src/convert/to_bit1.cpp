// SPDX-License-Identifier: MIT
//
// Converters to 1 bit: a fixed threshold on each pixel's grey level. Bits
// past the width and the padding are 0.
#include "core/detail.hpp"

#include "convert/detail.hpp"

namespace pel::detail {

namespace {

template <typename Read>
void indexedToBit1(const Job &job, const RGBQUAD *colours, uint8_t threshold) {
  clearPadding(job, 1);
  eachIndexedBit<Read>(job, colours, EncodeThreshold{threshold});
}

template <typename Read> void colourToBit1(const Job &job, uint8_t threshold) {
  clearPadding(job, 1);
  eachBit<Read>(job, EncodeThreshold{threshold});
}

} // namespace

void cvtBit4ToBit1(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                   int32_t srcLineBytes, const RGBQUAD *srcPalette, uint8_t threshold) {
  indexedToBit1<ReadBit4>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), srcPalette,
                          threshold);
}

void cvtBit8ToBit1(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                   int32_t srcLineBytes, const RGBQUAD *srcPalette, uint8_t threshold) {
  indexedToBit1<ReadBit8>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), srcPalette,
                          threshold);
}

void cvtBit4GreyToBit1(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                       int32_t srcLineBytes, uint8_t threshold) {
  indexedToBit1<ReadBit4>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                          kGrey16Colours.data(), threshold);
}

void cvtBit8GreyToBit1(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                       int32_t srcLineBytes, uint8_t threshold) {
  indexedToBit1<ReadBit8>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes),
                          kGrey256Colours.data(), threshold);
}

void cvtBit555ToBit1(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes, uint8_t threshold) {
  colourToBit1<Read555>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), threshold);
}

void cvtBit565ToBit1(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                     int32_t srcLineBytes, uint8_t threshold) {
  colourToBit1<Read565>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), threshold);
}

void cvtBit24ToBit1(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                    int32_t srcLineBytes, uint8_t threshold) {
  colourToBit1<Read24>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), threshold);
}

void cvtBit32ToBit1(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                    int32_t srcLineBytes, uint8_t threshold) {
  colourToBit1<Read32>(jobOf(dst, src, width, height, dstLineBytes, srcLineBytes), threshold);
}

} // namespace pel::detail
