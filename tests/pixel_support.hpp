// SPDX-License-Identifier: MIT
// Images with known pixels and an independent reader of stored pixels, for
// the pixel-access tests.
#pragma once

#include "support.hpp"

#include <memory>
#include <random>

namespace pel::test {

struct ImageDeleter {
  void operator()(PELIMAGE *image) const { pelDestroyImage(image); }
};
using Image = std::unique_ptr<PELIMAGE, ImageDeleter>;

// The six stored bit counts and one image type of each.
inline constexpr uint16_t kBitCounts[] = {1, 4, 8, 16, 24, 32};
inline int32_t typeOfBits(uint16_t bits) {
  switch (bits) {
  case 1: return PEL_TYPE_BIT1;
  case 4: return PEL_TYPE_BIT4;
  case 8: return PEL_TYPE_BIT8;
  case 16: return PEL_TYPE_BIT565;
  case 24: return PEL_TYPE_BIT24;
  default: return PEL_TYPE_BIT32;
  }
}

// 256 distinct colours.
inline std::vector<RGBQUAD> distinctColours() {
  std::vector<RGBQUAD> colours(256);
  for (uint32_t i = 0; i < 256; ++i)
    colours[i] = RGBQUAD{static_cast<uint8_t>(i * 37), static_cast<uint8_t>(i * 11 + 5),
                         static_cast<uint8_t>(255 - i), 0};
  return colours;
}

// Every byte of the store, padding included, random.
inline Image randomImage(int32_t type, int32_t w, int32_t h, std::mt19937 &rng) {
  const std::vector<RGBQUAD> colours = distinctColours();
  Image image(pelCreateImage(type, w, h, colours.data(), 256, 0, 0, 0));
  if (image)
    for (uint32_t i = 0; i < image->core->bitsSize; ++i)
      image->core->bits[i] = static_cast<uint8_t>(rng());
  return image;
}

inline std::vector<uint8_t> storeOf(const PELIMAGE &image) {
  return {image.core->bits, image.core->bits + image.core->bitsSize};
}

// Pixel i of a packed run: bit strings most significant bit first for 1 and
// 4 bits, bytes for 8, little-endian words above.
inline uint32_t packedPixel(const uint8_t *run, uint32_t bits, std::size_t i) {
  uint32_t v = 0;
  if (bits >= 8) {
    for (uint32_t k = 0; k < bits / 8; ++k) v |= uint32_t{run[i * (bits / 8) + k]} << (8 * k);
    return v;
  }
  for (uint32_t b = 0; b < bits; ++b) {
    const std::size_t bit = i * bits + b;
    v = v << 1 | ((run[bit / 8] >> (7 - bit % 8)) & 1);
  }
  return v;
}

inline const uint8_t *storedLine(const PELIMAGE &image, uint32_t y) {
  return image.core->bits + static_cast<std::size_t>(image.core->header->biHeight - 1 - y) *
                                static_cast<std::size_t>(image.lineBytes);
}

// Pixel value at (x, y), y from the top, read from the store.
inline uint32_t pixelAt(const PELIMAGE &image, uint32_t x, uint32_t y) {
  return packedPixel(storedLine(image, y), image.core->header->biBitCount, x);
}

} // namespace pel::test
