// SPDX-License-Identifier: MIT
//
// The nearest-pixel methods of palette images, through the single-pixel
// operations: pixel values are copied as they are, no colour is matched.
#include "core/detail.hpp"
#include "geometry/detail.hpp"

namespace pel::detail {

void rotatePaletteNearest(const PELIMAGE &src, PELIMAGE &dst, int64_t fc, int64_t fs,
                          uint32_t background) {
  PELIMAGE *s = const_cast<PELIMAGE *>(&src);
  const int64_t srcW = width(*src.core->header), srcH = height(*src.core->header);
  const int64_t dstW = width(*dst.core->header), dstH = height(*dst.core->header);
  const int64_t hw = dstW / 2, hh = dstH / 2;
  const uint32_t fill = pelRGBColor2DIBData(&dst, background);
  for (int64_t y = 0; y < dstH; ++y) {
    int64_t sx = -hw * fc + (y - hh) * fs + srcW * 512;
    int64_t sy = hw * fs + (y - hh) * fc + srcH * 512;
    for (int64_t x = 0; x < dstW; ++x, sx += fc, sy -= fs) {
      const int64_t sxi = sx >> kFracBits, syi = sy >> kFracBits;
      const bool covered = sxi >= 0 && sxi < srcW && syi >= 0 && syi < srcH;
      const uint32_t value =
          covered ? pelGetPixel(s, static_cast<int32_t>(sxi), static_cast<int32_t>(syi)) : fill;
      pelSetPixel(&dst, value, static_cast<int32_t>(x), static_cast<int32_t>(y));
    }
  }
}

void scalePaletteNearest(const PELIMAGE &src, PELIMAGE &dst, uint64_t stepX, uint64_t stepY) {
  PELIMAGE *s = const_cast<PELIMAGE *>(&src);
  const auto dstW = static_cast<uint32_t>(width(*dst.core->header));
  const auto dstH = static_cast<uint32_t>(height(*dst.core->header));
  uint64_t ay = 0;
  for (uint32_t y = 0; y < dstH; ++y, ay += stepY) {
    const auto sy = static_cast<int32_t>(ay >> kFracBits);
    uint64_t ax = 0;
    for (uint32_t x = 0; x < dstW; ++x, ax += stepX)
      pelSetPixel(&dst, pelGetPixel(s, static_cast<int32_t>(ax >> kFracBits), sy),
                  static_cast<int32_t>(x), static_cast<int32_t>(y));
  }
}

} // namespace pel::detail
