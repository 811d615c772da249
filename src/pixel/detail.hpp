// SPDX-License-Identifier: MIT
// Routines the pixel folder shares with the converters and the geometry code:
// whole-run fills, the bit-string helpers and the scan-line transfers on
// checked images.
#pragma once
#include "core/detail.hpp"

#include <cstddef>
#include <cstdint>

namespace pel::detail {

// Stores `count` copies of the 16-bit value from dst on (dst may be unaligned).
void fillWords(void *dst, std::uint16_t value, std::size_t count) noexcept;
// Stores `count` 3-byte pixels of the low 24 bits of value (byte 0 first).
void fill3Bytes(void *dst, std::uint32_t value, std::size_t count) noexcept;
// Stores `count` copies of the 32-bit value from dst on (dst may be unaligned).
void fillDwords(void *dst, std::uint32_t value, std::size_t count) noexcept;
// Stores `count` copies of a byte, as words where it can.
void fillBytes(void *dst, std::uint8_t value, std::size_t count) noexcept;

// Treats the n bytes at src as one bit string (most significant bit first),
// shifts it towards the start by `shift` bits (0 to 8) and writes n bytes to
// dst; the vacated bits become 0. dst may equal src; no byte past n is read.
void shiftBitsLeft(std::uint8_t *dst, const std::uint8_t *src, std::size_t n,
                   unsigned shift) noexcept;

// Copies n bytes to dst (not overlapping src). The whole 64-byte cache lines
// of dst are written with streaming stores where the processor has them, so
// they are not first read into the cache: for results far larger than the
// caches (streamingBytes()). A job of such copies ends with endStreaming.
void streamBytes(std::uint8_t *dst, const std::uint8_t *src, std::size_t n) noexcept;
// Orders the streaming stores of a job before whatever follows it.
void endStreaming() noexcept;

// Writes the m elements of src in reverse order from the start of dst. For
// bits, the bits after the m-th in the last byte are 0; for nibbles only
// m / 2 whole bytes are written.
void reverseBits(std::uint8_t *dst, const std::uint8_t *src, std::size_t m) noexcept;
void reverseNibbles(std::uint8_t *dst, const std::uint8_t *src, std::size_t m) noexcept;
void reverseBytes(std::uint8_t *dst, const std::uint8_t *src, std::size_t m) noexcept;
void reverseWords(std::uint8_t *dst, const std::uint8_t *src, std::size_t m) noexcept;
void reverse3Bytes(std::uint8_t *dst, const std::uint8_t *src, std::size_t m) noexcept;
void reverseDwords(std::uint8_t *dst, const std::uint8_t *src, std::size_t m) noexcept;

// An image whose bits are plain scan lines: a known bit count, no run-length
// coding, a store holding every line. Null when the image has none of that.
struct PlainLines {
  std::uint8_t *bits;
  std::size_t lineBytes;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t bitCount;

  std::uint8_t *line(std::uint32_t y) const noexcept {
    return bits + static_cast<std::size_t>(height - 1 - y) * lineBytes;
  }
};
bool plainLines(const PELIMAGE *image, PlainLines &out) noexcept;

// One line of what pelFillColor paints, written from `line` on; the bytes
// written (a 24-bit fill leaves the padding alone).
std::size_t fillLine(const PELIMAGE &image, const PlainLines &img, std::uint32_t color,
                     std::uint8_t *line) noexcept;

// Bytes the readers write for the run x0..x1-1.
std::size_t runBytesOut(std::uint32_t bitCount, std::uint32_t x0, std::uint32_t x1) noexcept;
// Bytes of scratch the packed writers and the reversed reader need.
std::size_t runScratchBytes(std::uint32_t bitCount, std::uint32_t x0, std::uint32_t x1) noexcept;

// The transfers on checked arguments (x0 < x1 <= width, y < height). The
// packed formats stage through `scratch` of runScratchBytes bytes.
void getRun(std::uint8_t *buffer, const PlainLines &img, std::uint32_t x0, std::uint32_t x1,
            std::uint32_t y) noexcept;
void setRun(const PlainLines &img, const std::uint8_t *buffer, std::uint32_t x0, std::uint32_t x1,
            std::uint32_t y, std::uint8_t *scratch) noexcept;
void getReversedRun(std::uint8_t *buffer, const PlainLines &img, std::uint32_t x0, std::uint32_t x1,
                    std::uint32_t y, std::uint8_t *scratch) noexcept;

// pelCopyImage of the whole picture that hands each line of the copy to
// `visit(context, line)` as soon as it is written, while it is still in the
// cache: an operation on a copy then reads and writes memory once, not
// after a second pass. Null when pelCopyImage would give null.
using LineVisit = void (*)(void *context, std::uint8_t *line);
PELIMAGE *copyImageVisiting(const PELIMAGE *image, std::int32_t kind, LineVisit visit,
                            void *context) noexcept;

// A copy rectangle (left, top, right, bottom; right and bottom exclusive)
// clamped to a width and height, each bound against the one before; null
// stands for the whole picture.
struct CopyBounds {
  std::int32_t left, top, right, bottom;
  bool empty() const noexcept { return right == left || bottom == top; }
};
inline CopyBounds clampCopyBounds(const std::int32_t *rect, std::int32_t w,
                                  std::int32_t h) noexcept {
  if (!rect) return {0, 0, w, h};
  CopyBounds r{};
  r.right = rect[2] < 0 ? 0 : rect[2] > w ? w : rect[2];
  r.left = rect[0] < 0 ? 0 : rect[0] > r.right ? r.right : rect[0];
  r.bottom = rect[3] < 0 ? 0 : rect[3] > h ? h : rect[3];
  r.top = rect[1] < 0 ? 0 : rect[1] > r.bottom ? r.bottom : rect[1];
  return r;
}

} // namespace pel::detail
