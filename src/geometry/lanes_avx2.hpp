// SPDX-License-Identifier: MIT
//
// AVX2 pieces the bilinear paths share: eight pixels' channels in 32-bit
// lanes, the gathering of a pixel and its right neighbour as (left, right)
// 16-bit pairs ready for one multiply-add with (1024 - fx, fx), and the
// packing of eight results into the stored form.
#pragma once

#include "geometry/detail.hpp"

#if defined(PELC_X86_KERNELS)
#include <immintrin.h>

namespace pel::detail {

struct Lanes8 {
  __m256i c[3];
};

// Four bytes at each of eight offsets. Plain loads, not the gather
// instruction: as fast on the processors measured, and emulators that
// mistranslate 32-bit gathers run it too.
PELC_TARGET_AVX2 inline __m256i gatherAt(const uint8_t *bits, __m256i off) {
  alignas(32) int32_t o[8];
  _mm256_store_si256(reinterpret_cast<__m256i *>(o), off);
  int32_t v[8];
  for (int k = 0; k < 8; ++k) std::memcpy(&v[k], bits + o[k], 4);
  return _mm256_setr_epi32(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
}
// A byte shuffle picking bytes b0..b3 (-1: zero) of every 32-bit lane.
PELC_TARGET_AVX2 inline __m256i byteMask(int b0, int b1, int b2, int b3) {
  int32_t v[4];
  for (int j = 0; j < 4; ++j) {
    const auto m = [j](int b) { return b < 0 ? 0x80 : 4 * j + b; };
    v[j] = m(b0) | m(b1) << 8 | m(b2) << 16 | m(b3) << 24;
  }
  return _mm256_setr_epi32(v[0], v[1], v[2], v[3], v[0], v[1], v[2], v[3]);
}
// Two bytes of each 32-bit lane as a (left, right) pair of 16-bit values.
PELC_TARGET_AVX2 inline __m256i pairOf(__m256i v, int left, int right) {
  return _mm256_shuffle_epi8(v, byteMask(left, -1, right, -1));
}
PELC_TARGET_AVX2 inline __m256i pairOf(__m256i lo, int left, __m256i hi, int right) {
  return _mm256_or_si256(_mm256_shuffle_epi8(lo, byteMask(left, -1, -1, -1)),
                         _mm256_shuffle_epi8(hi, byteMask(-1, -1, right, -1)));
}

// The channel pairs of the row at `off` (`upper`: the row whose line below
// is read too, so that bytes before a pixel are inside the store).
template <typename T> struct VectorPairs;

template <> struct VectorPairs<Bgr24> {
  // Bytes 0..3 and 2..5 of the two pixels: nothing past the right one.
  PELC_TARGET_AVX2 static Lanes8 at(const uint8_t *bits, __m256i off, bool) {
    const __m256i lo = gatherAt(bits, off);
    const __m256i hi = gatherAt(bits, _mm256_add_epi32(off, _mm256_set1_epi32(2)));
    return {{pairOf(lo, 0, 3), pairOf(lo, 1, hi, 2), pairOf(hi, 0, 3)}};
  }
};
template <> struct VectorPairs<Bgr32> {
  PELC_TARGET_AVX2 static Lanes8 at(const uint8_t *bits, __m256i off, bool) {
    const __m256i lo = gatherAt(bits, off);
    const __m256i hi = gatherAt(bits, _mm256_add_epi32(off, _mm256_set1_epi32(4)));
    return {{pairOf(lo, 0, hi, 0), pairOf(lo, 1, hi, 1), pairOf(lo, 2, hi, 2)}};
  }
};
template <> struct VectorPairs<Grey8> {
  // The upper row is read from two bytes before the pixel, the lower one
  // from the pixel on: neither read leaves the store.
  PELC_TARGET_AVX2 static Lanes8 at(const uint8_t *bits, __m256i off, bool upper) {
    if (upper) return {{pairOf(gatherAt(bits, _mm256_sub_epi32(off, _mm256_set1_epi32(2))), 2, 3)}};
    return {{pairOf(gatherAt(bits, off), 0, 1)}};
  }
};
// Both 16-bit pixels in one word; each channel is shifted into its byte and
// masked in both halves at once (what crosses from the right pixel into the
// left half lands outside the mask).
template <int G, int R, int GMask> struct VectorPairs16 {
  PELC_TARGET_AVX2 static Lanes8 at(const uint8_t *bits, __m256i off, bool) {
    const __m256i v = gatherAt(bits, off);
    const __m256i m = _mm256_set1_epi32(0x00F800F8);
    return {{_mm256_and_si256(_mm256_slli_epi32(v, 3), m),
             _mm256_and_si256(_mm256_srli_epi32(v, G), _mm256_set1_epi32(GMask * 0x10001)),
             _mm256_and_si256(_mm256_srli_epi32(v, R), m)}};
  }
};
template <> struct VectorPairs<Rgb555> : VectorPairs16<2, 7, 0xF8> {};
template <> struct VectorPairs<Rgb565> : VectorPairs16<3, 8, 0xFC> {};

// Stores eight results (channel values 0..255 in 32-bit lanes).
template <typename T> struct VectorStore;

template <> struct VectorStore<Bgr24> {
  PELC_TARGET_AVX2 static void at(uint8_t *d, const Lanes8 &v) {
    const __m256i bgr = _mm256_or_si256(
        v.c[0], _mm256_or_si256(_mm256_slli_epi32(v.c[1], 8), _mm256_slli_epi32(v.c[2], 16)));
    const __m256i packed = _mm256_shuffle_epi8(
        bgr, _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5,
                              6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
    const __m128i hi = _mm256_extracti128_si256(packed, 1);
    // The first four pixels' store runs four bytes into the next four's.
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d), _mm256_castsi256_si128(packed));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(d + 12), hi);
    const int32_t last = _mm_extract_epi32(hi, 2);
    std::memcpy(d + 20, &last, 4);
  }
};
template <> struct VectorStore<Bgr32> {
  // The fourth byte keeps what the store holds.
  PELC_TARGET_AVX2 static void at(uint8_t *d, const Lanes8 &v) {
    const __m256i bgr = _mm256_or_si256(
        v.c[0], _mm256_or_si256(_mm256_slli_epi32(v.c[1], 8), _mm256_slli_epi32(v.c[2], 16)));
    __m256i *p = reinterpret_cast<__m256i *>(d);
    const __m256i old = _mm256_and_si256(_mm256_loadu_si256(p), _mm256_set1_epi32(-0x1000000));
    _mm256_storeu_si256(p, _mm256_or_si256(old, bgr));
  }
};
template <> struct VectorStore<Grey8> {
  PELC_TARGET_AVX2 static void at(uint8_t *d, const Lanes8 &v) {
    const __m256i bytes = _mm256_shuffle_epi8(
        v.c[0], _mm256_setr_epi32(0x0C080400, -1, -1, -1, 0x0C080400, -1, -1, -1));
    const __m256i two =
        _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(d), _mm256_castsi256_si128(two));
  }
};
template <int G, int R, int GMask> struct VectorStore16 {
  PELC_TARGET_AVX2 static void at(uint8_t *d, const Lanes8 &v) {
    const __m256i m = _mm256_set1_epi32(0xF8);
    const __m256i words = _mm256_or_si256(
        _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(v.c[2], m), R + 1),
                        _mm256_slli_epi32(_mm256_and_si256(v.c[1], _mm256_set1_epi32(GMask)), G)),
        _mm256_srli_epi32(v.c[0], 3));
    const __m256i packed = _mm256_shuffle_epi8(
        words, _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 4,
                                5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1));
    const __m256i joined = _mm256_permute4x64_epi64(packed, 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d), _mm256_castsi256_si128(joined));
  }
};
template <> struct VectorStore<Rgb555> : VectorStore16<2, 6, 0xF8> {};
template <> struct VectorStore<Rgb565> : VectorStore16<3, 7, 0xFC> {};

} // namespace pel::detail

#endif
