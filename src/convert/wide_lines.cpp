// SPDX-License-Identifier: MIT
//
// AVX2 line heads: the true-colour pairs of vector_lines.cpp 32 bytes at a
// time, and 24-bit pixels through the colour map with one gather per eight
// pixels. Like the SSSE3 heads, each converts whole groups from the start of
// a line, reads and writes only the bytes of those pixels, and leaves the
// rest of the line to the generic kernel.
#include "core/detail.hpp"

#include "convert/detail.hpp"

#if defined(PELC_X86_KERNELS)
#include <immintrin.h>
#endif

namespace pel::detail {

#if defined(PELC_X86_KERNELS)

namespace {

constexpr int8_t kNo = -128; // a shuffle index that yields 0

// Eight BGR pixels (24 bytes) as one vector: the low lane holds bytes 0-15,
// the high lane bytes 8-23, so no byte past the eighth pixel is read. A
// shuffle then finds pixels 0-3 at byte 0 of the low lane and pixels 4-7 at
// byte 4 of the high lane.
PELC_TARGET_AVX2 inline __m256i loadBgr8(const uint8_t *p) {
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 8));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}
PELC_TARGET_AVX2 inline __m256i load(const uint8_t *p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}
PELC_TARGET_AVX2 inline void store(uint8_t *p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v);
}
PELC_TARGET_AVX2 inline void store(uint8_t *p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v);
}

// Each pixel of loadBgr8 as the 32-bit value 0x00RRGGBB.
PELC_TARGET_AVX2 inline __m256i bgrWords(const uint8_t *p) {
  const __m256i spread =
      _mm256_setr_epi8(0, 1, 2, kNo, 3, 4, 5, kNo, 6, 7, 8, kNo, 9, 10, 11, kNo, 4, 5, 6, kNo, 7, 8,
                       9, kNo, 10, 11, 12, kNo, 13, 14, 15, kNo);
  return _mm256_shuffle_epi8(loadBgr8(p), spread);
}

// Four vectors of eight 32-bit values below 256 as 32 bytes in pixel order:
// the packs interleave the lanes, one permutation puts them back.
PELC_TARGET_AVX2 inline __m256i bytesOf(__m256i a, __m256i b, __m256i c, __m256i d) {
  const __m256i packed = _mm256_packus_epi16(_mm256_packus_epi32(a, b), _mm256_packus_epi32(c, d));
  return _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// Grey sums of 24-bit pixels as b, g, g, r bytes against the weights
// 29, 99, 51, 77 (see vector_lines.cpp): exact in 16 bits and summed by one
// multiply-add, then shifted to the level.
PELC_TARGET_AVX2 inline __m256i greyLevels(const uint8_t *p) {
  const __m256i bggr = _mm256_setr_epi8(0, 1, 1, 2, 3, 4, 4, 5, 6, 7, 7, 8, 9, 10, 10, 11, 4, 5, 5,
                                        6, 7, 8, 8, 9, 10, 11, 11, 12, 13, 14, 14, 15);
  const __m256i weights = _mm256_set1_epi32(29 | 99 << 8 | 51 << 16 | 77 << 24);
  const __m256i pairs = _mm256_maddubs_epi16(_mm256_shuffle_epi8(loadBgr8(p), bggr), weights);
  return _mm256_srli_epi32(_mm256_madd_epi16(pairs, _mm256_set1_epi16(1)), 8);
}

// 0x00RRGGBB values to 5-6-5 words by dropping low bits.
PELC_TARGET_AVX2 inline __m256i pack565(__m256i v) {
  const __m256i red = _mm256_and_si256(_mm256_srli_epi32(v, 8), _mm256_set1_epi32(0xF800));
  const __m256i green = _mm256_and_si256(_mm256_srli_epi32(v, 5), _mm256_set1_epi32(0x07E0));
  const __m256i blue = _mm256_and_si256(_mm256_srli_epi32(v, 3), _mm256_set1_epi32(0x001F));
  return _mm256_or_si256(_mm256_or_si256(red, green), blue);
}

// Streaming stores write 32 aligned bytes without first reading the line
// into the cache.
PELC_TARGET_AVX2 inline void stream(uint8_t *p, __m256i v) {
  _mm256_stream_si256(reinterpret_cast<__m256i *>(p), v);
}

template <bool Streaming> PELC_TARGET_AVX2 inline void put(uint8_t *p, __m256i v) {
  if constexpr (Streaming)
    stream(p, v);
  else
    store(p, v);
}

// The pairs: kGroup pixels of kInBytes each to kGroup x kOutBytes bytes,
// stored at dst + x x kOutBytes, through the cache or streaming.

struct BgrToGrey {
  static constexpr int32_t kInBytes = 3, kOutBytes = 1, kGroup = 32;
  template <bool Streaming>
  PELC_TARGET_AVX2 static void group(uint8_t *dst, const uint8_t *src, int32_t x) {
    const uint8_t *in = src + 3 * static_cast<std::size_t>(x);
    put<Streaming>(dst + x, bytesOf(greyLevels(in), greyLevels(in + 24), greyLevels(in + 48),
                                    greyLevels(in + 72)));
  }
};

struct BgrTo565 {
  static constexpr int32_t kInBytes = 3, kOutBytes = 2, kGroup = 16;
  template <bool Streaming>
  PELC_TARGET_AVX2 static void group(uint8_t *dst, const uint8_t *src, int32_t x) {
    const uint8_t *in = src + 3 * static_cast<std::size_t>(x);
    const __m256i words = _mm256_packus_epi32(pack565(bgrWords(in)), pack565(bgrWords(in + 24)));
    put<Streaming>(dst + 2 * static_cast<std::size_t>(x), _mm256_permute4x64_epi64(words, 0xD8));
  }
};

struct BgrToBgrx {
  static constexpr int32_t kInBytes = 3, kOutBytes = 4, kGroup = 8;
  template <bool Streaming>
  PELC_TARGET_AVX2 static void group(uint8_t *dst, const uint8_t *src, int32_t x) {
    put<Streaming>(dst + 4 * static_cast<std::size_t>(x),
                   bgrWords(src + 3 * static_cast<std::size_t>(x)));
  }
};

// 32 pixels of four bytes to 96 bytes: each lane packs its four pixels into
// its low 12 bytes (32-bit units 0-2 and 4-6 of the vector then hold six
// units of output), and three permutations with blends join the four
// vectors' 24 units into three stores.
struct BgrxToBgr {
  static constexpr int32_t kInBytes = 4, kOutBytes = 3, kGroup = 32;
  template <bool Streaming>
  PELC_TARGET_AVX2 static void group(uint8_t *dst, const uint8_t *src, int32_t x) {
    const __m256i squeeze =
        _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, kNo, kNo, kNo, kNo, 0, 1, 2, 4, 5,
                         6, 8, 9, 10, 12, 13, 14, kNo, kNo, kNo, kNo);
    const __m256i first = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 0, 1);
    const __m256i second = _mm256_setr_epi32(2, 4, 5, 6, 0, 1, 2, 4);
    const __m256i third = _mm256_setr_epi32(5, 6, 0, 1, 2, 4, 5, 6);
    const uint8_t *in = src + 4 * static_cast<std::size_t>(x);
    uint8_t *out = dst + 3 * static_cast<std::size_t>(x);
    const __m256i a = _mm256_shuffle_epi8(load(in), squeeze);
    const __m256i b = _mm256_shuffle_epi8(load(in + 32), squeeze);
    const __m256i c = _mm256_shuffle_epi8(load(in + 64), squeeze);
    const __m256i d = _mm256_shuffle_epi8(load(in + 96), squeeze);
    put<Streaming>(out, _mm256_blend_epi32(_mm256_permutevar8x32_epi32(a, first),
                                           _mm256_permutevar8x32_epi32(b, first), 0xC0));
    put<Streaming>(out + 32, _mm256_blend_epi32(_mm256_permutevar8x32_epi32(b, second),
                                                _mm256_permutevar8x32_epi32(c, second), 0xF0));
    put<Streaming>(out + 64, _mm256_blend_epi32(_mm256_permutevar8x32_epi32(c, third),
                                                _mm256_permutevar8x32_epi32(d, third), 0xFC));
  }
};

template <typename Pair>
PELC_TARGET_AVX2 int32_t head(uint8_t *dst, const uint8_t *src, int32_t width) {
  int32_t x = 0;
  for (; x + Pair::kGroup <= width; x += Pair::kGroup) Pair::template group<false>(dst, src, x);
  return x;
}

// With the target bypassing the cache, the source's reads are all a
// streaming head waits for: it asks for them this far ahead.
constexpr std::size_t kReadAhead = 1024;

// The first pixel whose target byte starts a cache line. Target lines start
// on 4-byte boundaries; for 3 bytes a pixel, 3 x 43 = 1 modulo 64.
inline int32_t firstLineStart(const uint8_t *dst, int32_t pixelBytes) {
  const auto gap = static_cast<uint32_t>(-reinterpret_cast<std::uintptr_t>(dst)) & 63;
  return static_cast<int32_t>(pixelBytes == 3 ? (gap * 43) & 63 : gap / pixelBytes);
}

// As head, with the target's cache lines from the first whole one to the
// last streamed, two groups (whole lines) at a time: a line written partly
// by streaming stores costs a read and a write of its own in memory. The
// caller ends the job with endStreaming.
template <typename Pair>
PELC_TARGET_AVX2 int32_t streamingHead(uint8_t *dst, const uint8_t *src, int32_t width) {
  constexpr int32_t kGroup = Pair::kGroup;
  if (reinterpret_cast<std::uintptr_t>(dst) % 4) return head<Pair>(dst, src, width);
  const int32_t start = firstLineStart(dst, Pair::kOutBytes);
  if (start > 0) {
    // The pixels before the first whole cache line are made aside and only
    // their bytes stored: a streaming store to a line just written through
    // the cache waits for that line to leave the cache first.
    const int32_t groups = (start + kGroup - 1) / kGroup;
    if (groups * kGroup > width) return head<Pair>(dst, src, width);
    alignas(32) uint8_t aside[2 * kGroup * Pair::kOutBytes];
    for (int32_t g = 0; g < groups; ++g) Pair::template group<false>(aside, src, g * kGroup);
    std::memcpy(dst, aside, static_cast<std::size_t>(start) * Pair::kOutBytes);
  }
  int32_t x = start;
  for (; x + 2 * kGroup <= width; x += 2 * kGroup) {
    const uint8_t *ahead = src + Pair::kInBytes * static_cast<std::size_t>(x) + kReadAhead;
    for (int32_t b = 0; b < 2 * kGroup * Pair::kInBytes; b += 64)
      _mm_prefetch(reinterpret_cast<const char *>(ahead + b), _MM_HINT_T0);
    Pair::template group<true>(dst, src, x);
    Pair::template group<true>(dst, src, x + kGroup);
  }
  for (; x + kGroup <= width; x += kGroup) Pair::template group<false>(dst, src, x);
  return x;
}

// ---- The colour map ---------------------------------------------------------

// The map entries of eight pixels: their cells (R & 0xF0) << 4 | (G & 0xF0)
// | B >> 4 index the map, whose 32-bit reads the caller's padding allows, and
// the low byte of each read is the entry.
PELC_TARGET_AVX2 inline __m256i mapEntries(const uint8_t *p, const uint8_t *map) {
  const __m256i v = bgrWords(p);
  const __m256i blue = _mm256_and_si256(_mm256_srli_epi32(v, 4), _mm256_set1_epi32(0x00F));
  const __m256i green = _mm256_and_si256(_mm256_srli_epi32(v, 8), _mm256_set1_epi32(0x0F0));
  const __m256i red = _mm256_and_si256(_mm256_srli_epi32(v, 12), _mm256_set1_epi32(0xF00));
  const __m256i cells = _mm256_or_si256(_mm256_or_si256(red, green), blue);
  const __m256i read = _mm256_i32gather_epi32(reinterpret_cast<const int *>(map), cells, 1);
  return _mm256_and_si256(read, _mm256_set1_epi32(0xFF));
}

PELC_TARGET_AVX2 inline __m256i mapBytes(const uint8_t *p, const uint8_t *map) {
  return bytesOf(mapEntries(p, map), mapEntries(p + 24, map), mapEntries(p + 48, map),
                 mapEntries(p + 72, map));
}

// Eight pixels' entries as 8 bytes.
PELC_TARGET_AVX2 inline __m128i mapBytes8(const uint8_t *p, const uint8_t *map) {
  const __m256i lowBytes =
      _mm256_setr_epi8(0, 4, 8, 12, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo, 0,
                       4, 8, 12, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo);
  const __m256i lows = _mm256_shuffle_epi8(mapEntries(p, map), lowBytes);
  return _mm256_castsi256_si128(
      _mm256_permutevar8x32_epi32(lows, _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0)));
}

// Entries below 16, two to a byte with the even pixel high: one multiply-add
// of each byte pair by 16 and 1, then a pack of the sums.
PELC_TARGET_AVX2 inline __m256i nibblePairs(__m256i bytes) {
  const __m256i sums = _mm256_maddubs_epi16(bytes, _mm256_set1_epi16(16 | 1 << 8));
  return _mm256_packus_epi16(sums, sums);
}
// Thirty-two pixels' nibbles as 16 bytes.
PELC_TARGET_AVX2 inline __m128i mapNibbles(const uint8_t *p, const uint8_t *map) {
  return _mm256_castsi256_si128(_mm256_permute4x64_epi64(nibblePairs(mapBytes(p, map)), 0x08));
}
// Sixteen pixels' nibbles as 8 bytes.
PELC_TARGET_AVX2 inline __m128i mapNibbles16(const uint8_t *p, const uint8_t *map) {
  const __m256i none = _mm256_setzero_si256();
  return _mm256_castsi256_si128(
      nibblePairs(bytesOf(mapEntries(p, map), mapEntries(p + 24, map), none, none)));
}

PELC_TARGET_AVX2 inline void storeLow(uint8_t *p, __m128i v) {
  _mm_storel_epi64(reinterpret_cast<__m128i *>(p), v);
}

// The map heads step by 32 pixels and finish with 8 (bytes) or 16 (nibbles)
// at a time, 8 target bytes each.
PELC_TARGET_AVX2 int32_t bgrToIndices(uint8_t *dst, const uint8_t *src, int32_t width,
                                      const uint8_t *map) {
  const auto in = [src](int32_t x) { return src + 3 * static_cast<std::size_t>(x); };
  int32_t x = 0;
  for (; x + 32 <= width; x += 32) store(dst + x, mapBytes(in(x), map));
  for (; x + 8 <= width; x += 8) storeLow(dst + x, mapBytes8(in(x), map));
  return x;
}

PELC_TARGET_AVX2 int32_t bgrToNibbles(uint8_t *dst, const uint8_t *src, int32_t width,
                                      const uint8_t *map) {
  const auto in = [src](int32_t x) { return src + 3 * static_cast<std::size_t>(x); };
  int32_t x = 0;
  for (; x + 32 <= width; x += 32) store(dst + x / 2, mapNibbles(in(x), map));
  for (; x + 16 <= width; x += 16) storeLow(dst + x / 2, mapNibbles16(in(x), map));
  return x;
}

} // namespace

LineHead wideLineHead(VectorLine line, bool streaming) {
  // In the order of VectorLine.
  constexpr LineHead kHeads[] = {head<BgrToGrey>, head<BgrTo565>, head<BgrToBgrx>, head<BgrxToBgr>};
  constexpr LineHead kStreamingHeads[] = {streamingHead<BgrToGrey>, streamingHead<BgrTo565>,
                                          streamingHead<BgrToBgrx>, streamingHead<BgrxToBgr>};
  return (streaming ? kStreamingHeads : kHeads)[static_cast<int>(line)];
}

MapHead wideMapHead(MapTarget target) {
  return target == MapTarget::Nibbles ? bgrToNibbles : bgrToIndices;
}

#endif

} // namespace pel::detail
