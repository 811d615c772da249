// SPDX-License-Identifier: MIT
//
// Scan-line transfers: a horizontal run of pixels out of an image, into it,
// and out of it right to left, in the image's own stored format.
#include "core/detail.hpp"
#include "pixel/detail.hpp"

namespace pel::detail {
namespace {

bool knownBitCount(uint32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Writes n 1-bit pixels from buffer into line from pixel x0 on; the other
// pixels of the first and last byte keep their values.
void setBits(uint8_t *line, const uint8_t *buffer, std::size_t x0, std::size_t n,
             uint8_t *scratch) {
  uint8_t *dst = line + (x0 >> 3);
  const unsigned lead = x0 & 7;
  const uint8_t *src = buffer;
  if (lead != 0) {
    // Put the run behind a byte of ones and shift it back into place, so that
    // its first pixel stands in the same bit as in the line.
    const std::size_t packed = (n + 7) >> 3;
    scratch[0] = 0xFF;
    std::memcpy(scratch + 1, buffer, packed);
    shiftBitsLeft(scratch, scratch, packed + 1, 8 - lead);
    scratch[0] &= static_cast<uint8_t>(dst[0] | (0xFFu >> lead));
    src = scratch;
  }
  const std::size_t whole = (n + lead) >> 3;
  const unsigned tail = (n + lead) & 7;
  std::memcpy(dst, src, whole);
  if (tail != 0) {
    const unsigned keep = 0xFFu >> tail;
    dst[whole] = static_cast<uint8_t>((src[whole] & ~keep) | (dst[whole] & keep));
  }
}

// Writes n 4-bit pixels from buffer into line from pixel x0 on.
void setNibbles(uint8_t *line, const uint8_t *buffer, std::size_t x0, std::size_t n,
                uint8_t *scratch) {
  uint8_t *dst = line + (x0 >> 1);
  const uint8_t *src = buffer;
  if (x0 & 1) {
    const std::size_t packed = (n + 1) >> 1;
    std::memcpy(scratch, buffer, packed);
    dst[0] = static_cast<uint8_t>((dst[0] & 0xF0) | (scratch[0] >> 4));
    if (--n == 0) return;
    shiftBitsLeft(scratch, scratch, packed, 4);
    ++dst;
    src = scratch;
  }
  std::memcpy(dst, src, n >> 1);
  if (n & 1) {
    const std::size_t last = n >> 1;
    dst[last] = static_cast<uint8_t>((src[last] & 0xF0) | (dst[last] & 0x0F));
  }
}

// Bytes from the one holding pixel x0 to the one holding pixel x1 - 1.
std::size_t packedSpan(uint32_t bitCount, std::size_t x0, std::size_t x1) {
  return bitCount == 1 ? ((x1 + 7) >> 3) - (x0 >> 3) : ((x1 + 1) >> 1) - (x0 >> 1);
}

using Reverser = void (*)(uint8_t *, const uint8_t *, std::size_t) noexcept;

Reverser wholeByteReverser(uint32_t bitCount) {
  switch (bitCount) {
  case 8: return reverseBytes;
  case 16: return reverseWords;
  case 24: return reverse3Bytes;
  default: return reverseDwords;
  }
}

} // namespace

bool plainLines(const PELIMAGE *image, PlainLines &out) noexcept {
  if (!image || !image->core || !image->core->header || !image->core->bits) return false;
  const BITMAPINFOHEADER &h = *image->core->header;
  const uint32_t comp = compression(h);
  if (!knownBitCount(bitCount(h)) || comp == BI_RLE4 || comp == BI_RLE8) return false;
  if (width(h) <= 0 || height(h) <= 0 || image->lineBytes <= 0) return false;
  out.bits = image->core->bits;
  out.lineBytes = static_cast<std::size_t>(image->lineBytes);
  out.width = static_cast<uint32_t>(width(h));
  out.height = static_cast<uint32_t>(height(h));
  out.bitCount = bitCount(h);
  // Every line must lie inside the store, whatever the header claims.
  return out.lineBytes * out.height <= image->core->bitsSize &&
         (uint64_t{out.width} * out.bitCount + 7) / 8 <= out.lineBytes;
}

std::size_t runBytesOut(uint32_t bitCount, uint32_t x0, uint32_t x1) noexcept {
  if (bitCount < 8) return packedSpan(bitCount, x0, x1);
  return std::size_t{x1 - x0} * (bitCount / 8);
}

std::size_t runScratchBytes(uint32_t bitCount, uint32_t x0, uint32_t x1) noexcept {
  if (bitCount >= 8) return 0;
  // The reversed reader's two blocks of span + 1 bytes; the writer needs at
  // most the packed run and one byte, which is never more.
  return 2 * (packedSpan(bitCount, x0, x1) + 1);
}

void getRun(uint8_t *buffer, const PlainLines &img, uint32_t x0, uint32_t x1, uint32_t y) noexcept {
  const uint8_t *line = img.line(y);
  switch (img.bitCount) {
  case 1: shiftBitsLeft(buffer, line + (x0 >> 3), packedSpan(1, x0, x1), x0 & 7); return;
  case 4: shiftBitsLeft(buffer, line + (x0 >> 1), packedSpan(4, x0, x1), (x0 & 1) * 4); return;
  default: {
    const std::size_t bytes = img.bitCount / 8;
    std::memcpy(buffer, line + x0 * bytes, (x1 - x0) * bytes);
  }
  }
}

void setRun(const PlainLines &img, const uint8_t *buffer, uint32_t x0, uint32_t x1, uint32_t y,
            uint8_t *scratch) noexcept {
  uint8_t *line = img.line(y);
  switch (img.bitCount) {
  case 1: setBits(line, buffer, x0, x1 - x0, scratch); return;
  case 4: setNibbles(line, buffer, x0, x1 - x0, scratch); return;
  default: {
    const std::size_t bytes = img.bitCount / 8;
    std::memcpy(line + x0 * bytes, buffer, (x1 - x0) * bytes);
  }
  }
}

void getReversedRun(uint8_t *buffer, const PlainLines &img, uint32_t x0, uint32_t x1, uint32_t y,
                    uint8_t *scratch) noexcept {
  const uint8_t *line = img.line(y);
  const std::size_t n = x1 - x0;
  if (img.bitCount >= 8) {
    const std::size_t bytes = img.bitCount / 8;
    wholeByteReverser(img.bitCount)(buffer, line + x0 * bytes, n);
    return;
  }
  // A zero byte in front puts the run's first pixel at a fixed place (bit 8
  // or nibble 2), so after reversal its last pixel starts the result.
  const bool bits = img.bitCount == 1;
  const std::size_t span = packedSpan(img.bitCount, x0, x1);
  uint8_t *staged = scratch;
  uint8_t *reversed = scratch + span + 1;
  staged[0] = 0;
  std::memcpy(staged + 1, line + (bits ? x0 >> 3 : x0 >> 1), span);
  shiftBitsLeft(staged, staged, span + 1, bits ? x0 & 7 : (x0 & 1) * 4);
  // The shift moved the pixels in front of the run into the leading byte;
  // clear it so that what follows the reversed run is always zero.
  staged[0] = 0;
  if (bits)
    reverseBits(reversed, staged, n + 8);
  else
    reverseNibbles(reversed, staged, n + 2);
  std::memcpy(buffer, reversed, span);
}

} // namespace pel::detail

using namespace pel::detail;

namespace {

// The checked image and run of a transfer, or false.
bool transferArgs(const PELIMAGE *image, const void *buffer, uint32_t x0, uint32_t x1, uint32_t y,
                  PlainLines &img) {
  return buffer && plainLines(image, img) && x0 < x1 && x1 <= img.width && y < img.height;
}

} // namespace

extern "C" {

int32_t PELAPI pelGetHorLine(void *buffer, const PELIMAGE *image, uint32_t x0, uint32_t x1,
                             uint32_t y) noexcept {
  PlainLines img;
  if (!transferArgs(image, buffer, x0, x1, y, img)) return 0;
  getRun(static_cast<uint8_t *>(buffer), img, x0, x1, y);
  return 1;
}

int32_t PELAPI pelSetHorLine(PELIMAGE *image, const void *buffer, uint32_t x0, uint32_t x1,
                             uint32_t y) noexcept {
  PlainLines img;
  if (!transferArgs(image, buffer, x0, x1, y, img)) return 0;
  GlobalPtr<uint8_t> scratch;
  if (img.bitCount < 8) {
    scratch = globalNew<uint8_t>(runScratchBytes(img.bitCount, x0, x1));
    if (!scratch) return 0;
  }
  setRun(img, static_cast<const uint8_t *>(buffer), x0, x1, y, scratch.get());
  return 1;
}

int32_t PELAPI pelGetRevHorLine(void *buffer, const PELIMAGE *image, uint32_t x0, uint32_t x1,
                                uint32_t y) noexcept {
  PlainLines img;
  if (!transferArgs(image, buffer, x0, x1, y, img)) return 0;
  GlobalPtr<uint8_t> scratch;
  if (img.bitCount < 8) {
    scratch = globalNew<uint8_t>(runScratchBytes(img.bitCount, x0, x1));
    if (!scratch) return 0;
  }
  getReversedRun(static_cast<uint8_t *>(buffer), img, x0, x1, y, scratch.get());
  return 1;
}

} // extern "C"
