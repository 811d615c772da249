// SPDX-License-Identifier: MIT
//
// Bilinear reads between pixel centres, in 10-bit fixed point per axis.
#include "core/detail.hpp"
#include "pixel/detail.hpp"

#include <array>

using namespace pel::detail;

namespace {

struct Neighbours {
  bool right, below;
};

// Which neighbours the edge rule uses, or false when (x, y) is not a pixel.
bool neighbours(const PELIMAGE *image, uint32_t x, uint32_t y, Neighbours &n) {
  if (!image || !image->core || !image->core->header) return false;
  const uint32_t w = static_cast<uint32_t>(width(*image->core->header));
  const uint32_t h = static_cast<uint32_t>(height(*image->core->header));
  if (x >= w || y >= h) return false;
  n.right = x + 1 < w;
  n.below = y + 1 < h;
  return true;
}

// Reads the needed samples in the order (x, y), (x + 1, y), (x, y + 1),
// (x + 1, y + 1) and blends each of the N channels. Unsigned 32-bit
// arithmetic with wrap-around, truncated.
template <std::size_t N, typename Read>
std::array<uint32_t, N> blend(const Neighbours &n, uint32_t x, uint32_t y, uint32_t fx, uint32_t fy,
                              Read read) {
  const std::array<uint32_t, N> a = read(x, y);
  std::array<uint32_t, N> top{}, bottom{}, out{};
  std::array<uint32_t, N> b{}, c = a, d{};
  if (n.right) b = read(x + 1, y);
  if (n.below) c = read(x, y + 1);
  if (n.right && n.below) d = read(x + 1, y + 1);
  for (std::size_t k = 0; k < N; ++k) {
    top[k] = n.right ? a[k] * 1024 + (b[k] - a[k]) * fx : a[k] * 1024;
    bottom[k] = n.right && n.below ? c[k] * 1024 + (d[k] - c[k]) * fx : c[k] * 1024;
    out[k] = (top[k] * 1024 + (bottom[k] - top[k]) * fy) >> 20;
  }
  return out;
}

std::array<uint32_t, 3> channels(uint32_t rgb) {
  return {rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF};
}

bool colourType(const PELIMAGE *image) {
  return image->imageType >= PEL_TYPE_BIT1 && image->imageType <= PEL_TYPE_BIT32 &&
         image->imageType != PEL_TYPE_RLE4 && image->imageType != PEL_TYPE_RLE8;
}

} // namespace

extern "C" {

uint32_t PELAPI pelGetMixPixel(const PELIMAGE *image, uint32_t x, uint32_t y, uint32_t fx,
                               uint32_t fy) noexcept {
  Neighbours n;
  if (!neighbours(image, x, y, n)) return 0;
  return blend<1>(n, x, y, fx, fy, [&](uint32_t px, uint32_t py) {
    return std::array<uint32_t, 1>{pelGetPixel(image, px, py)};
  })[0];
}

uint32_t PELAPI pelGetMixRGBpack(const PELIMAGE *image, uint32_t x, uint32_t y, uint32_t fx,
                                 uint32_t fy) noexcept {
  Neighbours n;
  if (!neighbours(image, x, y, n)) return 0;
  const auto v = blend<3>(n, x, y, fx, fy, [&](uint32_t px, uint32_t py) {
    return channels(pelGetRGBpack(image, px, py));
  });
  return (v[0] & 0xFF) | (v[1] & 0xFF) << 8 | (v[2] & 0xFF) << 16;
}

void PELAPI pelGetMixRGB(const PELIMAGE *image, uint8_t *out, uint32_t x, uint32_t y, uint32_t fx,
                         uint32_t fy) noexcept {
  Neighbours n;
  // Images whose colours cannot be read leave the caller's bytes as they
  // are: nothing was read, so there is nothing to blend.
  if (!out || !neighbours(image, x, y, n) || !colourType(image)) return;
  const auto v = blend<3>(n, x, y, fx, fy, [&](uint32_t px, uint32_t py) {
    uint8_t rgb[3] = {0, 0, 0};
    pelGetRGB(image, rgb, px, py);
    return std::array<uint32_t, 3>{rgb[0], rgb[1], rgb[2]};
  });
  for (std::size_t k = 0; k < 3; ++k) out[k] = static_cast<uint8_t>(v[k]);
}

} // extern "C"
