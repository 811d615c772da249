// SPDX-License-Identifier: MIT
//
// Matching a true colour to a palette: one linear search per colour, and a
// 4096-cell map that pays for the search once per quantised colour.
#include "colour/detail.hpp"

using namespace pel::detail;

namespace {

// Lowest index at the strictly smallest squared distance; an exact match ends the search.
uint32_t nearestIndex(const RGBQUAD *palette, uint32_t count, int r, int g, int b) noexcept {
  uint32_t best = 3 * 255 * 255;
  uint32_t bestIndex = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const int dr = r - palette[i].rgbRed;
    const int dg = g - palette[i].rgbGreen;
    const int db = b - palette[i].rgbBlue;
    const auto d = static_cast<uint32_t>(dr * dr + dg * dg + db * db);
    if (d < best) {
      best = d;
      bestIndex = i;
      if (d == 0) break;
    }
  }
  return bestIndex;
}

} // namespace

extern "C" {

uint32_t PELAPI pelGetNearestColorIndex(const RGBQUAD *palette, uint32_t count,
                                        uint32_t color) noexcept {
  if (count == 0) return 0;
  return nearestIndex(palette, count, static_cast<int>(color & 0xFF),
                      static_cast<int>((color >> 8) & 0xFF),
                      static_cast<int>((color >> 16) & 0xFF));
}

uint8_t *PELAPI pelCreate4096Map(const RGBQUAD *palette, int32_t count) noexcept {
  auto *map = static_cast<uint8_t *>(os::GlobalAlloc(GPTR, kColourMapSize));
  if (!map || count <= 0) return map; // a zeroed map answers index 0 everywhere
  for (uint32_t n = 0; n < kColourMapSize; ++n) {
    const auto r = static_cast<int>(((n >> 8) & 15) * 16);
    const auto g = static_cast<int>(((n >> 4) & 15) * 16);
    const auto b = static_cast<int>((n & 15) * 16);
    map[n] = static_cast<uint8_t>(nearestIndex(palette, static_cast<uint32_t>(count), r, g, b));
  }
  return map;
}

void PELAPI pelRelease4096Map(uint8_t *map) noexcept {
  if (map) os::GlobalFree(map);
}

} // extern "C"
