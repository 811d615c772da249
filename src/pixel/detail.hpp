// SPDX-License-Identifier: MIT
// Routines the pixel folder shares with the converters: whole-run fills and
// the bit-string helpers of the scan-line transfers.
#pragma once
#include "core/detail.hpp"

#include <cstddef>
#include <cstdint>

namespace pel::detail {

// Stores `count` copies of the 16-bit value from dst on (dst may be unaligned).
void fillWords(void *dst, std::size_t count, std::uint16_t value) noexcept;
// Stores `count` 3-byte pixels b0 b1 b2 from dst on.
void fill3Bytes(void *dst, std::size_t count, std::uint8_t b0, std::uint8_t b1,
                std::uint8_t b2) noexcept;
// Stores `count` copies of the 32-bit value from dst on (dst may be unaligned).
void fillDwords(void *dst, std::size_t count, std::uint32_t value) noexcept;

// Shifts a packed bit string of `bytes` bytes left by `shift` bits (0 to 7).
void shiftBitsLeft(std::uint8_t *bits, std::size_t bytes, unsigned shift) noexcept;
// Reverses `count` packed pixels of `bitCount` bits from src into dst.
void reverseRun(std::uint8_t *dst, const std::uint8_t *src, std::size_t count,
                unsigned bitCount) noexcept;

} // namespace pel::detail
