// SPDX-License-Identifier: MIT
//
// Temporary stand-ins (see standin.hpp): a whole-image copy that keeps the
// source's masks and transparent colour, and the 4096-cell colour map by
// the nearest-entry rule. Not exported; removed when the real ones land.
#include "core/detail.hpp"

#include "convert/standin.hpp"

using namespace pel::detail;

extern "C" {

PELIMAGE *pelCopyImage(PELIMAGE *image, const int32_t *, int32_t kind) noexcept {
  const BITMAPINFOHEADER *h = image->core->header;
  const auto *table =
      bitCount(*h) <= 8 ? reinterpret_cast<const RGBQUAD *>(afterHeader(h)) : nullptr;
  PELIMAGE *copy = pelCreateImageEx(h, table, kind);
  if (!copy) return nullptr;
  if (hasMasks(*h)) {
    std::memcpy(afterHeader(copy->core->header), afterHeader(h), kMaskBytes);
    pelUpdateColors(copy);
  }
  std::memcpy(copy->core->bits, image->core->bits, copy->core->bitsSize);
  pelSynchronization(copy, image);
  return copy;
}

uint8_t *pelCreate4096Map(const RGBQUAD *palette, int32_t count) noexcept {
  auto *map = static_cast<uint8_t *>(os::GlobalAlloc(GPTR, 4096));
  if (!map) return nullptr;
  for (int n = 0; n < 4096; ++n) {
    const int r = ((n >> 8) & 15) * 16, g = ((n >> 4) & 15) * 16, b = (n & 15) * 16;
    int best = 195075, index = 0;
    for (int i = 0; i < count; ++i) {
      const int dr = r - palette[i].rgbRed, dg = g - palette[i].rgbGreen,
                db = b - palette[i].rgbBlue;
      const int d = dr * dr + dg * dg + db * db;
      if (d < best) {
        best = d;
        index = i;
        if (d == 0) break;
      }
    }
    map[n] = static_cast<uint8_t>(index);
  }
  return map;
}

void pelRelease4096Map(uint8_t *map) noexcept { os::GlobalFree(map); }

} // extern "C"
