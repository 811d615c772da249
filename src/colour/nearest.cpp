// SPDX-License-Identifier: MIT
//
// Matching a true colour to a palette: one linear search per colour, and a
// 4096-cell map that pays for the search once per quantised colour, where
// the processor allows many cells searched at once.
#include "colour/detail.hpp"

#if defined(PELC_X86_KERNELS)
#include <immintrin.h>
#endif

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

// The colour of a map cell: the low corner of its 16-wide cube.
constexpr int cellRed(uint32_t n) { return static_cast<int>(((n >> 8) & 15) * 16); }
constexpr int cellGreen(uint32_t n) { return static_cast<int>(((n >> 4) & 15) * 16); }
constexpr int cellBlue(uint32_t n) { return static_cast<int>((n & 15) * 16); }

void fillMapScalar(uint8_t *map, const RGBQUAD *palette, uint32_t count) {
  for (uint32_t n = 0; n < kColourMapSize; ++n)
    map[n] =
        static_cast<uint8_t>(nearestIndex(palette, count, cellRed(n), cellGreen(n), cellBlue(n)));
}

#if defined(PELC_X86_KERNELS)

// The vector searches run over cells, not entries: each lane keeps its
// smallest distance so far and the entry that gave it, and takes a later
// entry only when it is strictly closer, which leaves the lowest index of a
// tie as the scalar search does (its stop at an exact match changes nothing,
// as no later entry can be strictly closer). A lane holds red and green as
// two 16-bit numbers, so one multiply-add squares and sums their differences
// (each at most 2 x 255^2, exact in 32 bits); blue sits alone in the low half
// of a second one.

// The red-green and blue lanes of an entry, for a broadcast.
inline int32_t redGreenOf(const RGBQUAD &q) { return q.rgbRed | q.rgbGreen << 16; }

PELC_TARGET_SSE2 inline __m128i squaredDistances(__m128i rg, __m128i b, __m128i entryRg,
                                                 __m128i entryB) {
  const __m128i drg = _mm_sub_epi16(rg, entryRg), db = _mm_sub_epi16(b, entryB);
  return _mm_add_epi32(_mm_madd_epi16(drg, drg), _mm_madd_epi16(db, db));
}
PELC_TARGET_SSE2 inline __m128i select(__m128i mask, __m128i taken, __m128i kept) {
  return _mm_or_si128(_mm_and_si128(mask, taken), _mm_andnot_si128(mask, kept));
}

// Sixteen cells (one red-green pair, every blue) at a time, in four vectors.
PELC_TARGET_SSE2 void fillMapSse2(uint8_t *map, const RGBQUAD *palette, uint32_t count) {
  for (uint32_t n = 0; n < kColourMapSize; n += 16) {
    const __m128i rg = _mm_set1_epi32(cellRed(n) | cellGreen(n) << 16);
    __m128i blue[4], best[4], index[4];
    for (int v = 0; v < 4; ++v) {
      blue[v] = _mm_setr_epi32(64 * v, 64 * v + 16, 64 * v + 32, 64 * v + 48);
      best[v] = _mm_set1_epi32(3 * 255 * 255);
      index[v] = _mm_setzero_si128();
    }
    for (uint32_t i = 0; i < count; ++i) {
      const __m128i entryRg = _mm_set1_epi32(redGreenOf(palette[i]));
      const __m128i entryB = _mm_set1_epi32(palette[i].rgbBlue);
      const __m128i entry = _mm_set1_epi32(static_cast<int32_t>(i));
      for (int v = 0; v < 4; ++v) {
        const __m128i d = squaredDistances(rg, blue[v], entryRg, entryB);
        const __m128i closer = _mm_cmpgt_epi32(best[v], d);
        best[v] = select(closer, d, best[v]);
        index[v] = select(closer, entry, index[v]);
      }
    }
    alignas(16) uint32_t found[16];
    for (int v = 0; v < 4; ++v)
      _mm_store_si128(reinterpret_cast<__m128i *>(found + 4 * v), index[v]);
    for (int k = 0; k < 16; ++k) map[n + static_cast<uint32_t>(k)] = static_cast<uint8_t>(found[k]);
  }
}

// Thirty-two cells (two red-green pairs) at a time, in four vectors.
PELC_TARGET_AVX2 void fillMapAvx2(uint8_t *map, const RGBQUAD *palette, uint32_t count) {
  for (uint32_t n = 0; n < kColourMapSize; n += 32) {
    const __m256i rg[2] = {_mm256_set1_epi32(cellRed(n) | cellGreen(n) << 16),
                           _mm256_set1_epi32(cellRed(n + 16) | cellGreen(n + 16) << 16)};
    const __m256i blue[2] = {_mm256_setr_epi32(0, 16, 32, 48, 64, 80, 96, 112),
                             _mm256_setr_epi32(128, 144, 160, 176, 192, 208, 224, 240)};
    __m256i best[4], index[4];
    for (int v = 0; v < 4; ++v) {
      best[v] = _mm256_set1_epi32(3 * 255 * 255);
      index[v] = _mm256_setzero_si256();
    }
    for (uint32_t i = 0; i < count; ++i) {
      const __m256i entryRg = _mm256_set1_epi32(redGreenOf(palette[i]));
      const __m256i entryB = _mm256_set1_epi32(palette[i].rgbBlue);
      const __m256i entry = _mm256_set1_epi32(static_cast<int32_t>(i));
      for (int v = 0; v < 4; ++v) {
        const __m256i drg = _mm256_sub_epi16(rg[v / 2], entryRg);
        const __m256i db = _mm256_sub_epi16(blue[v % 2], entryB);
        const __m256i d = _mm256_add_epi32(_mm256_madd_epi16(drg, drg), _mm256_madd_epi16(db, db));
        const __m256i closer = _mm256_cmpgt_epi32(best[v], d);
        best[v] = _mm256_min_epi32(best[v], d);
        index[v] = _mm256_blendv_epi8(index[v], entry, closer);
      }
    }
    uint32_t found[32];
    for (int v = 0; v < 4; ++v)
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(found + 8 * v), index[v]);
    for (int k = 0; k < 32; ++k) map[n + static_cast<uint32_t>(k)] = static_cast<uint8_t>(found[k]);
  }
}

#endif

// The search of every cell, by the routine of the level in force.
void fillMap(uint8_t *map, const RGBQUAD *palette, uint32_t count) {
#if defined(PELC_X86_KERNELS)
  if (simdAtLeast(SimdLevel::Avx2)) return fillMapAvx2(map, palette, count);
  if (simdAtLeast(SimdLevel::Sse2)) return fillMapSse2(map, palette, count);
#endif
  fillMapScalar(map, palette, count);
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
  fillMap(map, palette, static_cast<uint32_t>(count));
  return map;
}

void PELAPI pelRelease4096Map(uint8_t *map) noexcept {
  if (map) os::GlobalFree(map);
}

} // extern "C"
