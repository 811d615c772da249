// SPDX-License-Identifier: MIT
//
// Bit-string shifts, run reversal and run fills: the word-wide building blocks
// of the scan-line, flip, copy and fill operations and of the converters.
#include "core/detail.hpp"
#include "pixel/detail.hpp"

#include <array>

#if defined(PELC_X86_KERNELS)
#include <immintrin.h>
#endif

namespace pel::detail {
namespace {

// Entry v is v with its eight bits in reverse order. Built at compile time,
// so first use from several threads at once is harmless.
constexpr std::array<uint8_t, 256> kReversedBits = [] {
  std::array<uint8_t, 256> table{};
  for (unsigned v = 0; v < 256; ++v) {
    unsigned r = 0;
    for (unsigned bit = 0; bit < 8; ++bit)
      if (v & (1u << bit)) r |= 0x80u >> bit;
    table[v] = static_cast<uint8_t>(r);
  }
  return table;
}();
static_assert(kReversedBits[1] == 0x80 && kReversedBits[0x0F] == 0xF0);

// How much of a run the shift asks for ahead; further on the hardware's own
// prefetching has caught up.
constexpr std::size_t kPrefetchBytes = 4096;

// The portable shift: sixteen bytes a step, each byte joined with the next
// one's leading bits. A step reads the byte after its own before it writes,
// so the shift works in place. Returns where it stopped.
std::size_t shiftBytesPortable(uint8_t *dst, const uint8_t *src, std::size_t n, unsigned shift) {
  const unsigned back = 8 - shift;
  std::size_t i = 0;
  using Bytes16 = uint8_t __attribute__((vector_size(16)));
  for (; i + 16 < n; i += 16) {
    Bytes16 here, next;
    std::memcpy(&here, src + i, 16);
    std::memcpy(&next, src + i + 1, 16);
    const Bytes16 joined = (here << shift) | (next >> back);
    std::memcpy(dst + i, &joined, 16);
  }
  return i;
}

#if defined(PELC_X86_KERNELS)
// Each byte and the next one as a 16-bit word, shifted as a whole: its top
// byte is the result. Words are made, shifted and packed within each 128-bit
// lane, so the byte order comes out unchanged. The in-place rule holds as
// above: a step's loads reach one byte past the bytes it stores.
PELC_TARGET_SSE2 std::size_t shiftBytesSse2(uint8_t *dst, const uint8_t *src, std::size_t n,
                                            unsigned shift) {
  const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
  std::size_t i = 0;
  for (; i + 16 < n; i += 16) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i + 1));
    const __m128i lo = _mm_srli_epi16(_mm_sll_epi16(_mm_unpacklo_epi8(next, here), count), 8);
    const __m128i hi = _mm_srli_epi16(_mm_sll_epi16(_mm_unpackhi_epi8(next, here), count), 8);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), _mm_packus_epi16(lo, hi));
  }
  return i;
}

PELC_TARGET_AVX2 std::size_t shiftBytesAvx2(uint8_t *dst, const uint8_t *src, std::size_t n,
                                            unsigned shift) {
  const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
  std::size_t i = 0;
  for (; i + 32 < n; i += 32) {
    const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i + 1));
    const __m256i lo =
        _mm256_srli_epi16(_mm256_sll_epi16(_mm256_unpacklo_epi8(next, here), count), 8);
    const __m256i hi =
        _mm256_srli_epi16(_mm256_sll_epi16(_mm256_unpackhi_epi8(next, here), count), 8);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + i), _mm256_packus_epi16(lo, hi));
  }
  return i;
}
#endif

} // namespace

void shiftBitsLeft(uint8_t *dst, const uint8_t *src, std::size_t n, unsigned shift) noexcept {
  if (n == 0) return;
  if (shift == 0) {
    if (dst != src) std::memmove(dst, src, n);
    return;
  }
  if (shift >= 8) {
    std::memmove(dst, src + 1, n - 1);
    dst[n - 1] = 0;
    return;
  }
  // A run is often one scan line of many read bottom to top, an order the
  // hardware does not foresee: ask for its first bytes at once, so that their
  // fetches overlap instead of following one another.
  for (std::size_t p = 0; p < n && p < kPrefetchBytes; p += 64) __builtin_prefetch(src + p);
  std::size_t i = 0;
#if defined(PELC_X86_KERNELS)
  const SimdLevel level = simdLevel();
  if (level >= SimdLevel::Avx2) {
    i = shiftBytesAvx2(dst, src, n, shift);
    // The narrower step finishes what the wider one left.
    i += shiftBytesSse2(dst + i, src + i, n - i, shift);
  } else if (level >= SimdLevel::Sse2) {
    i = shiftBytesSse2(dst, src, n, shift);
  } else {
    i = shiftBytesPortable(dst, src, n, shift);
  }
#else
  i = shiftBytesPortable(dst, src, n, shift);
#endif
  const unsigned back = 8 - shift;
  for (; i + 1 < n; ++i) dst[i] = static_cast<uint8_t>((src[i] << shift) | (src[i + 1] >> back));
  dst[n - 1] = static_cast<uint8_t>(src[n - 1] << shift);
}

#if defined(PELC_X86_KERNELS)
namespace {
// The cache lines of dst from `start` (64-aligned) to the last whole one;
// returns where it stopped.
PELC_TARGET_SSE2 std::size_t streamLinesSse2(uint8_t *dst, const uint8_t *src, std::size_t start,
                                             std::size_t n) {
  constexpr std::size_t kReadAhead = 1024;
  std::size_t i = start;
  for (; i + 64 <= n; i += 64) {
    _mm_prefetch(reinterpret_cast<const char *>(src + i + kReadAhead), _MM_HINT_T0);
    const auto *in = reinterpret_cast<const __m128i *>(src + i);
    auto *out = reinterpret_cast<__m128i *>(dst + i);
    const __m128i a = _mm_loadu_si128(in), b = _mm_loadu_si128(in + 1);
    const __m128i c = _mm_loadu_si128(in + 2), d = _mm_loadu_si128(in + 3);
    _mm_stream_si128(out, a);
    _mm_stream_si128(out + 1, b);
    _mm_stream_si128(out + 2, c);
    _mm_stream_si128(out + 3, d);
  }
  return i;
}

PELC_TARGET_SSE2 void fence() { _mm_sfence(); }
} // namespace
#endif

void streamBytes(uint8_t *dst, const uint8_t *src, std::size_t n) noexcept {
#if defined(PELC_X86_KERNELS)
  const std::size_t start = static_cast<std::size_t>(-reinterpret_cast<std::uintptr_t>(dst)) & 63;
  if (simdAtLeast(SimdLevel::Sse2) && n >= start + 64) {
    std::memcpy(dst, src, start);
    const std::size_t i = streamLinesSse2(dst, src, start, n);
    std::memcpy(dst + i, src + i, n - i);
    return;
  }
#endif
  std::memcpy(dst, src, n);
}

void endStreaming() noexcept {
#if defined(PELC_X86_KERNELS)
  if (simdAtLeast(SimdLevel::Sse2)) fence();
#endif
}

void reverseBits(uint8_t *dst, const uint8_t *src, std::size_t m) noexcept {
  const std::size_t outBytes = (m + 7) >> 3;
  const unsigned tail = m & 7;
  if (tail == 0) {
    for (std::size_t k = 0; k < outBytes; ++k) dst[k] = kReversedBits[src[outBytes - 1 - k]];
    return;
  }
  // Output byte k holds source bits m-1-8k down to m-8-8k, which straddle the
  // source bytes last-k-1 and last-k. The first source byte has no byte in
  // front; its missing neighbour counts as zero bits.
  const unsigned drop = 8 - tail;
  const std::size_t last = outBytes - 1;
  for (std::size_t k = 0; k < outBytes; ++k) {
    const std::size_t j = last - k;
    const unsigned high = j ? src[j - 1] : 0u;
    dst[k] = kReversedBits[((high << 8 | src[j]) >> drop) & 0xFF];
  }
}

void reverseNibbles(uint8_t *dst, const uint8_t *src, std::size_t m) noexcept {
  const std::size_t outBytes = m >> 1;
  if ((m & 1) == 0) {
    for (std::size_t k = 0; k < outBytes; ++k) {
      const unsigned v = src[outBytes - 1 - k];
      dst[k] = static_cast<uint8_t>((v << 4 | v >> 4) & 0xFF);
    }
    return;
  }
  // Odd count: each output byte joins the high nibble of one source byte
  // with the low nibble of the byte in front of it.
  const std::size_t top = (m - 1) >> 1;
  for (std::size_t k = 0; k < outBytes; ++k)
    dst[k] = static_cast<uint8_t>((src[top - k] & 0xF0) | (src[top - k - 1] & 0x0F));
}

namespace {

// The portable reversals of whole-byte pixels, from pixel k on; the vector
// kernels below do the first pixels and return where they stopped.
void reverseBytesFrom(uint8_t *dst, const uint8_t *src, std::size_t m, std::size_t k) {
  for (; k < m; ++k) dst[k] = src[m - 1 - k];
}

void reverseWordsFrom(uint8_t *dst, const uint8_t *src, std::size_t m, std::size_t k) {
  for (; k < m; ++k) std::memcpy(dst + 2 * k, src + 2 * (m - 1 - k), 2);
}

void reverse3BytesFrom(uint8_t *dst, const uint8_t *src, std::size_t m, std::size_t k) {
  for (; k < m; ++k) {
    const uint8_t *p = src + 3 * (m - 1 - k);
    dst[3 * k] = p[0];
    dst[3 * k + 1] = p[1];
    dst[3 * k + 2] = p[2];
  }
}

void reverseDwordsFrom(uint8_t *dst, const uint8_t *src, std::size_t m, std::size_t k) {
  for (; k < m; ++k) std::memcpy(dst + 4 * k, src + 4 * (m - 1 - k), 4);
}

#if defined(PELC_X86_KERNELS)
// Each step loads the source block that ends where the previous one began and
// stores its pixels in reverse order after the previous store.
PELC_TARGET_SSSE3 std::size_t reverseBytesSsse3(uint8_t *dst, const uint8_t *src, std::size_t m) {
  const __m128i order = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  std::size_t k = 0;
  for (; k + 16 <= m; k += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + m - 16 - k));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + k), _mm_shuffle_epi8(v, order));
  }
  return k;
}

PELC_TARGET_AVX2 std::size_t reverseBytesAvx2(uint8_t *dst, const uint8_t *src, std::size_t m) {
  const __m256i order = _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15,
                                         14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  std::size_t k = 0;
  for (; k + 32 <= m; k += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + m - 32 - k));
    // Bytes reversed within each half, then the halves exchanged.
    const __m256i r = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, order), 0x4E);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + k), r);
  }
  return k;
}

PELC_TARGET_SSE2 std::size_t reverseWordsSse2(uint8_t *dst, const uint8_t *src, std::size_t m) {
  std::size_t k = 0;
  for (; k + 8 <= m; k += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 2 * (m - 8 - k)));
    v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0x1B), 0x1B);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 2 * k), _mm_shuffle_epi32(v, 0x4E));
  }
  return k;
}

// Five pixels (15 bytes) a step. The load ends on the last byte of the step's
// last source pixel (so it takes one byte in front, never one behind), and
// the store's sixteenth byte is written again by the next step: the loop
// stops while a whole pixel is left, so no store reaches past the run.
PELC_TARGET_SSSE3 std::size_t reverse3BytesSsse3(uint8_t *dst, const uint8_t *src, std::size_t m) {
  const __m128i order = _mm_setr_epi8(13, 14, 15, 10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3, 0);
  std::size_t k = 0;
  for (; k + 6 <= m; k += 5) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 3 * (m - 5 - k) - 1));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 3 * k), _mm_shuffle_epi8(v, order));
  }
  return k;
}

PELC_TARGET_SSE2 std::size_t reverseDwordsSse2(uint8_t *dst, const uint8_t *src, std::size_t m) {
  std::size_t k = 0;
  for (; k + 4 <= m; k += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 4 * (m - 4 - k)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 4 * k), _mm_shuffle_epi32(v, 0x1B));
  }
  return k;
}
#endif

} // namespace

void reverseBytes(uint8_t *dst, const uint8_t *src, std::size_t m) noexcept {
  std::size_t k = 0;
#if defined(PELC_X86_KERNELS)
  const SimdLevel level = simdLevel();
  if (level >= SimdLevel::Avx2) k = reverseBytesAvx2(dst, src, m);
  if (level >= SimdLevel::Ssse3) k += reverseBytesSsse3(dst + k, src, m - k);
#endif
  reverseBytesFrom(dst, src, m, k);
}

void reverseWords(uint8_t *dst, const uint8_t *src, std::size_t m) noexcept {
  std::size_t k = 0;
#if defined(PELC_X86_KERNELS)
  if (simdAtLeast(SimdLevel::Sse2)) k = reverseWordsSse2(dst, src, m);
#endif
  reverseWordsFrom(dst, src, m, k);
}

void reverse3Bytes(uint8_t *dst, const uint8_t *src, std::size_t m) noexcept {
  std::size_t k = 0;
#if defined(PELC_X86_KERNELS)
  if (simdAtLeast(SimdLevel::Ssse3)) k = reverse3BytesSsse3(dst, src, m);
#endif
  reverse3BytesFrom(dst, src, m, k);
}

void reverseDwords(uint8_t *dst, const uint8_t *src, std::size_t m) noexcept {
  std::size_t k = 0;
#if defined(PELC_X86_KERNELS)
  if (simdAtLeast(SimdLevel::Sse2)) k = reverseDwordsSse2(dst, src, m);
#endif
  reverseDwordsFrom(dst, src, m, k);
}

void fillBytes(void *dst, uint8_t value, std::size_t count) noexcept {
  std::memset(dst, value, count);
}

void fillWords(void *dst, uint16_t value, std::size_t count) noexcept {
  auto *p = static_cast<uint8_t *>(dst);
  const uint32_t pair = uint32_t{value} | uint32_t{value} << 16;
  for (std::size_t i = 0; i < count / 2; ++i) std::memcpy(p + 4 * i, &pair, 4);
  if (count & 1) std::memcpy(p + 4 * (count / 2), &value, 2);
}

void fill3Bytes(void *dst, uint32_t value, std::size_t count) noexcept {
  auto *p = static_cast<uint8_t *>(dst);
  const uint32_t b0 = value & 0xFF, b1 = (value >> 8) & 0xFF, b2 = (value >> 16) & 0xFF;
  // Four pixels are three words: 0 1 2 0 | 1 2 0 1 | 2 0 1 2.
  const uint32_t w0 = b0 | b1 << 8 | b2 << 16 | b0 << 24;
  const uint32_t w1 = b1 | b2 << 8 | b0 << 16 | b1 << 24;
  const uint32_t w2 = b2 | b0 << 8 | b1 << 16 | b2 << 24;
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4, p += 12) {
    std::memcpy(p, &w0, 4);
    std::memcpy(p + 4, &w1, 4);
    std::memcpy(p + 8, &w2, 4);
  }
  for (; i < count; ++i, p += 3) {
    p[0] = static_cast<uint8_t>(b0);
    p[1] = static_cast<uint8_t>(b1);
    p[2] = static_cast<uint8_t>(b2);
  }
}

void fillDwords(void *dst, uint32_t value, std::size_t count) noexcept {
  auto *p = static_cast<uint8_t *>(dst);
  for (std::size_t i = 0; i < count; ++i) std::memcpy(p + 4 * i, &value, 4);
}

} // namespace pel::detail
