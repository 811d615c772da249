// SPDX-License-Identifier: MIT
//
// Quarter turns on the stored bits. In storage coordinates (row 0 at the
// bottom) a clockwise turn takes result pixel (r, c) from source row c,
// column W-1-r; a counter-clockwise turn from row H-1-c, column r. The byte
// movers work in square tiles so that source and result lines both stay in
// cache; the bilevel movers transpose 8 x 8 bit blocks.
#include "core/detail.hpp"
#include "geometry/detail.hpp"

#include <algorithm>

using namespace pel::detail;

namespace {

struct TurnArgs {
  uint8_t *dst;
  const uint8_t *src;
  int32_t dstWidth;  // source height
  int32_t dstHeight; // source width
  int32_t dstLineBytes;
  int32_t srcLineBytes;
};

using Mover = void (*)(const TurnArgs &);

// Tile side in pixels. A tile is gathered from the source rows into a small
// local block, transposed on the way, and written out as contiguous runs of
// the result rows: both images are then read and written along their lines,
// whatever their strides (a multiple of 4096 bytes would otherwise make every
// column step hit the same cache set).
constexpr int32_t kTile = 32;

// Result pixel (r, c) of a clockwise turn comes from source row c, column
// dstHeight-1-r; counter-clockwise from row dstWidth-1-c, column r.
template <bool Clockwise>
const uint8_t *sourceOf(const TurnArgs &a, int32_t r, int32_t c, int unit) {
  const int64_t row = Clockwise ? c : int64_t{a.dstWidth} - 1 - c;
  const int64_t col = Clockwise ? int64_t{a.dstHeight} - 1 - r : r;
  return storedLine(a.src, a.srcLineBytes, row) + static_cast<ptrdiff_t>(col) * unit;
}

// Whole pixels of Unit bytes; line padding untouched.
template <int Unit, bool Clockwise> void turnBytes(const TurnArgs &a) {
  alignas(64) uint8_t block[kTile * kTile * Unit];
  constexpr ptrdiff_t kStep = Clockwise ? -Unit : Unit; // along a source row as r grows
  for (int32_t r0 = 0; r0 < a.dstHeight; r0 += kTile) {
    const int32_t rows = std::min(kTile, a.dstHeight - r0);
    for (int32_t c0 = 0; c0 < a.dstWidth; c0 += kTile) {
      const int32_t cols = std::min(kTile, a.dstWidth - c0);
      // The source runs of the next tile lie a whole line stride apart, too
      // far for the hardware to foresee: ask for them while this one is moved.
      const int32_t nextCols = std::min(kTile, a.dstWidth - c0 - kTile);
      for (int32_t c = 0; c < nextCols; ++c) {
        const uint8_t *run =
            sourceOf<Clockwise>(a, r0 + (Clockwise ? rows - 1 : 0), c0 + kTile + c, Unit);
        for (int32_t b = 0; b < rows * Unit; b += 64) __builtin_prefetch(run + b);
        __builtin_prefetch(run + rows * Unit - 1);
      }
      for (int32_t c = 0; c < cols; ++c) {
        const uint8_t *s = sourceOf<Clockwise>(a, r0, c0 + c, Unit);
        uint8_t *b = block + c * Unit;
        for (int32_t r = 0; r < rows; ++r, s += kStep, b += kTile * Unit) std::memcpy(b, s, Unit);
      }
      for (int32_t r = 0; r < rows; ++r)
        std::memcpy(storedLine(a.dst, a.dstLineBytes, r0 + r) + static_cast<ptrdiff_t>(c0) * Unit,
                    block + r * kTile * Unit, static_cast<std::size_t>(cols) * Unit);
    }
  }
}

uint8_t nibbleAt(const uint8_t *line, int64_t x) {
  const uint8_t byte = line[x >> 1];
  return (x & 1) ? byte & 0x0F : byte >> 4;
}

// Nibble pairs: an even column writes its byte with 0xF in the low half, the
// odd column after it replaces that half; an odd width leaves 0xF in the
// last byte. The pair is composed in a register, which gives those bytes.
template <bool Clockwise> void turnNibbles(const TurnArgs &a) {
  const int32_t pairs = (a.dstWidth + 1) / 2;
  for (int32_t r0 = 0; r0 < a.dstHeight; r0 += kTile) {
    const int32_t r1 = std::min(a.dstHeight, r0 + kTile);
    for (int32_t p0 = 0; p0 < pairs; p0 += kTile / 2) {
      const int32_t p1 = std::min(pairs, p0 + kTile / 2);
      for (int32_t r = r0; r < r1; ++r) {
        uint8_t *d = storedLine(a.dst, a.dstLineBytes, r);
        const int64_t x = Clockwise ? int64_t{a.dstHeight} - 1 - r : r;
        for (int32_t p = p0; p < p1; ++p) {
          const int32_t c = 2 * p;
          const int64_t row0 = Clockwise ? c : int64_t{a.dstWidth} - 1 - c;
          const uint8_t hi = nibbleAt(storedLine(a.src, a.srcLineBytes, row0), x);
          uint8_t lo = 0x0F;
          if (c + 1 < a.dstWidth) {
            const int64_t row1 = Clockwise ? row0 + 1 : row0 - 1;
            lo = nibbleAt(storedLine(a.src, a.srcLineBytes, row1), x);
          }
          d[p] = static_cast<uint8_t>((hi << 4) | lo);
        }
      }
    }
  }
}

// Transposes an 8 x 8 bit block held one row per byte, row 0 in the top
// byte and column 0 in each byte's top bit.
uint64_t transpose8(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
  x = x ^ t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
  x = x ^ t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
  return x ^ t ^ (t << 28);
}

// Bilevel: the result starts all ones and only zero source bits are cleared,
// so padding bits stay 1. Eight result columns come from eight source rows
// at one source byte; rows past the source's end count as ones.
template <bool Clockwise> void turnBits(const TurnArgs &a) {
  std::memset(a.dst, 0xFF, static_cast<std::size_t>(a.dstLineBytes) * uint32_t(a.dstHeight));
  const int32_t srcWidth = a.dstHeight;
  const int32_t srcHeight = a.dstWidth;
  const int32_t srcBytes = (srcWidth + 7) / 8;
  const int32_t groups = (srcHeight + 7) / 8;
  constexpr int32_t kChunk = 8; // source bytes per pass: one 64-byte cache line of 8 lines
  for (int32_t b0 = 0; b0 < srcBytes; b0 += kChunk) {
    const int32_t b1 = std::min(srcBytes, b0 + kChunk);
    for (int32_t k = 0; k < groups; ++k) {
      const uint8_t *rows[8];
      for (int i = 0; i < 8; ++i) {
        const int64_t row = Clockwise ? int64_t{8} * k + i : int64_t{srcHeight} - 1 - 8 * k - i;
        rows[i] = row >= 0 && row < srcHeight ? storedLine(a.src, a.srcLineBytes, row) : nullptr;
      }
      for (int32_t bx = b0; bx < b1; ++bx) {
        uint64_t block = 0;
        for (int i = 0; i < 8; ++i) block = (block << 8) | (rows[i] ? rows[i][bx] : 0xFFu);
        block = transpose8(block);
        const int32_t xEnd = std::min(8, srcWidth - 8 * bx);
        for (int j = 0; j < xEnd; ++j) {
          const int64_t x = int64_t{8} * bx + j;
          const int64_t r = Clockwise ? int64_t{srcWidth} - 1 - x : x;
          storedLine(a.dst, a.dstLineBytes, r)[k] = static_cast<uint8_t>(block >> (56 - 8 * j));
        }
      }
    }
  }
}

// Index: depth slot * 2 + (0 clockwise, 1 counter-clockwise).
constexpr std::array<Mover, 12> kMovers = {
    turnBits<true>,     turnBits<false>,     // 1 bit
    turnNibbles<true>,  turnNibbles<false>,  // 4 bits
    turnBytes<1, true>, turnBytes<1, false>, // 8 bits
    turnBytes<2, true>, turnBytes<2, false>, // 16 bits
    turnBytes<3, true>, turnBytes<3, false>, // 24 bits
    turnBytes<4, true>, turnBytes<4, false>, // 32 bits
};

int depthSlot(uint32_t bits) {
  switch (bits) {
  case 1: return 0;
  case 4: return 1;
  case 8: return 2;
  case 16: return 3;
  case 24: return 4;
  case 32: return 5;
  default: return -1;
  }
}

} // namespace

extern "C" {

PELIMAGE *PELAPI pelRotationEx(PELIMAGE *image, int32_t direction) noexcept {
  if (!hasHeader(image)) return nullptr;
  const BITMAPINFOHEADER &h = *image->core->header;
  const int slot = depthSlot(bitCount(h));
  if (slot < 0 || width(h) <= 0 || height(h) <= 0) return nullptr;
  ImagePtr result = makeResultLike(*image, height(h), width(h));
  if (!result) return nullptr;
  // A handle whose type disagrees with its header's depth would make lines
  // of another size than the mover writes.
  if (bitCount(*result->core->header) != bitCount(h)) return nullptr;
  const TurnArgs args{result->core->bits, image->core->bits, height(h),
                      width(h),           result->lineBytes, image->lineBytes};
  kMovers[static_cast<std::size_t>(slot * 2 + (direction != 0))](args);
  return result.release();
}

} // extern "C"
