// SPDX-License-Identifier: MIT
//
// Bit-string shifts, run reversal and run fills: the word-wide building blocks
// of the scan-line, flip, copy and fill operations and of the converters.
#include "core/detail.hpp"
#include "pixel/detail.hpp"

#include <array>

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
  const unsigned back = 8 - shift;
  std::size_t i = 0;
  // Sixteen bytes a step, each byte joined with the next one's leading bits.
  // A step reads the byte after its own before it writes, so the shift works
  // in place.
  using Bytes16 = uint8_t __attribute__((vector_size(16)));
  for (; i + 16 < n; i += 16) {
    Bytes16 here, next;
    std::memcpy(&here, src + i, 16);
    std::memcpy(&next, src + i + 1, 16);
    const Bytes16 joined = (here << shift) | (next >> back);
    std::memcpy(dst + i, &joined, 16);
  }
  for (; i + 1 < n; ++i) dst[i] = static_cast<uint8_t>((src[i] << shift) | (src[i + 1] >> back));
  dst[n - 1] = static_cast<uint8_t>(src[n - 1] << shift);
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

void reverseBytes(uint8_t *dst, const uint8_t *src, std::size_t m) noexcept {
  for (std::size_t k = 0; k < m; ++k) dst[k] = src[m - 1 - k];
}

void reverseWords(uint8_t *dst, const uint8_t *src, std::size_t m) noexcept {
  for (std::size_t k = 0; k < m; ++k) std::memcpy(dst + 2 * k, src + 2 * (m - 1 - k), 2);
}

void reverse3Bytes(uint8_t *dst, const uint8_t *src, std::size_t m) noexcept {
  for (std::size_t k = 0; k < m; ++k) {
    const uint8_t *p = src + 3 * (m - 1 - k);
    dst[3 * k] = p[0];
    dst[3 * k + 1] = p[1];
    dst[3 * k + 2] = p[2];
  }
}

void reverseDwords(uint8_t *dst, const uint8_t *src, std::size_t m) noexcept {
  for (std::size_t k = 0; k < m; ++k) std::memcpy(dst + 4 * k, src + 4 * (m - 1 - k), 4);
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
