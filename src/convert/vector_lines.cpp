// SPDX-License-Identifier: MIT
//
// Hand-vectorised line heads for the true-colour pairs that are converted
// most: 16 pixels per step with SSSE3 byte shuffles, chosen once per
// conversion where the processor has them. Each converts whole 16-pixel
// groups from the start of a line, reading and writing only bytes of those
// pixels, and returns how many pixels it did; the generic kernel finishes the
// line with the same rules. Where AVX2 is in force its heads (wide_lines.cpp)
// are handed out instead.
#include "core/detail.hpp"

#include "convert/detail.hpp"

#if defined(PELC_X86_KERNELS)
#include <tmmintrin.h>
#endif

namespace pel::detail {

#if defined(PELC_X86_KERNELS)

namespace {

constexpr int32_t kGroup = 16;
constexpr uint8_t kZero = 0x80; // a shuffle index that yields 0

struct Mask {
  alignas(16) uint8_t bytes[16];
};

// Picks channel `channel` of 16 BGR pixels out of the 16-byte part `part` of
// their 48 bytes.
constexpr Mask planeMask(int channel, int part) {
  Mask m{};
  for (int k = 0; k < 16; ++k) {
    const int at = 3 * k + channel - 16 * part;
    m.bytes[k] = at >= 0 && at < 16 ? static_cast<uint8_t>(at) : kZero;
  }
  return m;
}
// Four pixels of `from` bytes each into `to` bytes each, missing bytes 0.
constexpr Mask repackMask(int from, int to) {
  Mask m{};
  for (int k = 0; k < 16; ++k) {
    const int pixel = k / to, byte = k % to;
    m.bytes[k] =
        pixel < 4 && byte < 3 && byte < from ? static_cast<uint8_t>(from * pixel + byte) : kZero;
  }
  return m;
}

constexpr Mask kPlanes[3][3] = {{planeMask(0, 0), planeMask(0, 1), planeMask(0, 2)},
                                {planeMask(1, 0), planeMask(1, 1), planeMask(1, 2)},
                                {planeMask(2, 0), planeMask(2, 1), planeMask(2, 2)}};
constexpr Mask kBgrToBgrx = repackMask(3, 4);
constexpr Mask kBgrxToBgr = repackMask(4, 3);

[[gnu::target("ssse3")]] inline __m128i maskOf(const Mask &m) {
  return _mm_load_si128(reinterpret_cast<const __m128i *>(m.bytes));
}
[[gnu::target("ssse3")]] inline __m128i load(const uint8_t *p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}
[[gnu::target("ssse3")]] inline void store(uint8_t *p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v);
}

struct Planes {
  __m128i b, g, r;
};
[[gnu::target("ssse3")]] inline __m128i plane(const __m128i (&parts)[3], int channel) {
  return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(parts[0], maskOf(kPlanes[channel][0])),
                                   _mm_shuffle_epi8(parts[1], maskOf(kPlanes[channel][1]))),
                      _mm_shuffle_epi8(parts[2], maskOf(kPlanes[channel][2])));
}
[[gnu::target("ssse3")]] inline Planes planesOf(const uint8_t *src) {
  const __m128i parts[3] = {load(src), load(src + 16), load(src + 32)};
  return {plane(parts, 0), plane(parts, 1), plane(parts, 2)};
}

[[gnu::target("ssse3")]] inline __m128i pack565(__m128i b, __m128i g, __m128i r) {
  const __m128i red = _mm_slli_epi16(_mm_and_si128(r, _mm_set1_epi16(0xF8)), 8);
  const __m128i green = _mm_slli_epi16(_mm_and_si128(g, _mm_set1_epi16(0xFC)), 3);
  return _mm_or_si128(_mm_or_si128(red, green), _mm_srli_epi16(b, 3));
}

// Four pixels as b, g, g, r: one multiply-add of unsigned bytes by signed
// weights then gives 29 B + 99 G and 51 G + 77 R per pixel, each at most
// 128 x 255 and so exact in 16 bits, and a second one their exact sum.
constexpr Mask bggrMask() {
  Mask m{};
  constexpr int pick[4] = {0, 1, 1, 2};
  for (int k = 0; k < 16; ++k) m.bytes[k] = static_cast<uint8_t>(3 * (k / 4) + pick[k % 4]);
  return m;
}
constexpr Mask kBggr = bggrMask();

[[gnu::target("ssse3")]] inline __m128i greySums(__m128i bgr4, __m128i mask, __m128i weights) {
  const __m128i pairs = _mm_maddubs_epi16(_mm_shuffle_epi8(bgr4, mask), weights);
  return _mm_srli_epi32(_mm_madd_epi16(pairs, _mm_set1_epi16(1)), 8);
}

[[gnu::target("ssse3")]] int32_t bgrToGrey(uint8_t *dst, const uint8_t *src, int32_t width) {
  const __m128i mask = maskOf(kBggr);
  const __m128i weights = _mm_set1_epi32(29 | 99 << 8 | 51 << 16 | 77 << 24);
  int32_t x = 0;
  for (; x + kGroup <= width; x += kGroup) {
    const uint8_t *in = src + 3 * static_cast<std::size_t>(x);
    const __m128i a = load(in), b = load(in + 16), c = load(in + 32);
    const __m128i g0 = greySums(a, mask, weights);
    const __m128i g1 = greySums(_mm_alignr_epi8(b, a, 12), mask, weights);
    const __m128i g2 = greySums(_mm_alignr_epi8(c, b, 8), mask, weights);
    const __m128i g3 = greySums(_mm_srli_si128(c, 4), mask, weights);
    store(dst + x, _mm_packus_epi16(_mm_packs_epi32(g0, g1), _mm_packs_epi32(g2, g3)));
  }
  return x;
}

[[gnu::target("ssse3")]] int32_t bgrTo565(uint8_t *dst, const uint8_t *src, int32_t width) {
  const __m128i zero = _mm_setzero_si128();
  int32_t x = 0;
  for (; x + kGroup <= width; x += kGroup) {
    const Planes p = planesOf(src + 3 * static_cast<std::size_t>(x));
    uint8_t *out = dst + 2 * static_cast<std::size_t>(x);
    store(out, pack565(_mm_unpacklo_epi8(p.b, zero), _mm_unpacklo_epi8(p.g, zero),
                       _mm_unpacklo_epi8(p.r, zero)));
    store(out + 16, pack565(_mm_unpackhi_epi8(p.b, zero), _mm_unpackhi_epi8(p.g, zero),
                            _mm_unpackhi_epi8(p.r, zero)));
  }
  return x;
}

[[gnu::target("ssse3")]] int32_t bgrToBgrx(uint8_t *dst, const uint8_t *src, int32_t width) {
  const __m128i mask = maskOf(kBgrToBgrx);
  int32_t x = 0;
  for (; x + kGroup <= width; x += kGroup) {
    const uint8_t *in = src + 3 * static_cast<std::size_t>(x);
    uint8_t *out = dst + 4 * static_cast<std::size_t>(x);
    const __m128i a = load(in), b = load(in + 16), c = load(in + 32);
    store(out, _mm_shuffle_epi8(a, mask));
    store(out + 16, _mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), mask));
    store(out + 32, _mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), mask));
    store(out + 48, _mm_shuffle_epi8(_mm_srli_si128(c, 4), mask));
  }
  return x;
}

[[gnu::target("ssse3")]] int32_t bgrxToBgr(uint8_t *dst, const uint8_t *src, int32_t width) {
  const __m128i mask = maskOf(kBgrxToBgr);
  int32_t x = 0;
  for (; x + kGroup <= width; x += kGroup) {
    const uint8_t *in = src + 4 * static_cast<std::size_t>(x);
    uint8_t *out = dst + 3 * static_cast<std::size_t>(x);
    const __m128i p0 = _mm_shuffle_epi8(load(in), mask);
    const __m128i p1 = _mm_shuffle_epi8(load(in + 16), mask);
    const __m128i p2 = _mm_shuffle_epi8(load(in + 32), mask);
    const __m128i p3 = _mm_shuffle_epi8(load(in + 48), mask);
    store(out, _mm_or_si128(p0, _mm_slli_si128(p1, 12)));
    store(out + 16, _mm_or_si128(_mm_srli_si128(p1, 4), _mm_slli_si128(p2, 8)));
    store(out + 32, _mm_or_si128(_mm_srli_si128(p2, 8), _mm_slli_si128(p3, 4)));
  }
  return x;
}

// Colour-map cells (R & 0xF0) << 4 | (G & 0xF0) | B >> 4 as 16-bit numbers.
[[gnu::target("ssse3")]] inline __m128i cells(__m128i b, __m128i g, __m128i r) {
  const __m128i top = _mm_set1_epi16(0xF0);
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(r, top), 4), _mm_and_si128(g, top)),
                      _mm_srli_epi16(b, 4));
}

[[gnu::target("ssse3")]] int32_t bgrToCells(uint16_t *dst, const uint8_t *src, int32_t width) {
  const __m128i zero = _mm_setzero_si128();
  int32_t x = 0;
  for (; x + kGroup <= width; x += kGroup) {
    const Planes p = planesOf(src + 3 * static_cast<std::size_t>(x));
    auto *out = reinterpret_cast<uint8_t *>(dst + x);
    store(out, cells(_mm_unpacklo_epi8(p.b, zero), _mm_unpacklo_epi8(p.g, zero),
                     _mm_unpacklo_epi8(p.r, zero)));
    store(out + 16, cells(_mm_unpackhi_epi8(p.b, zero), _mm_unpackhi_epi8(p.g, zero),
                          _mm_unpackhi_epi8(p.r, zero)));
  }
  return x;
}

bool hasShuffles() { return simdAtLeast(SimdLevel::Ssse3); }

} // namespace

CellHead vectorCellHead() { return hasShuffles() ? bgrToCells : nullptr; }

LineHead vectorLineHead(VectorLine line, bool streaming) {
  if (simdAtLeast(SimdLevel::Avx2)) return wideLineHead(line, streaming);
  if (!hasShuffles()) return nullptr;
  // In the order of VectorLine.
  constexpr LineHead kHeads[] = {bgrToGrey, bgrTo565, bgrToBgrx, bgrxToBgr};
  return kHeads[static_cast<int>(line)];
}

// Without gathers the map is read a cell at a time, after the cell head.
MapHead vectorMapHead(MapTarget target) {
  return simdAtLeast(SimdLevel::Avx2) ? wideMapHead(target) : nullptr;
}

#else

LineHead vectorLineHead(VectorLine, bool) { return nullptr; }
CellHead vectorCellHead() { return nullptr; }
MapHead vectorMapHead(MapTarget) { return nullptr; }

#endif

} // namespace pel::detail
