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

#if defined(PELC_X86_KERNELS)
#include <immintrin.h>
#endif

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

// The vector movers transpose square blocks of kBlock x kBlock pixels: block
// row i (pixel t at in + i * inStride + t * Unit) becomes block column i of
// the output (out + t * outStride + i * Unit). Strides carry the direction.
using BlockTranspose = void (*)(const uint8_t *in, ptrdiff_t inStride, uint8_t *out,
                                ptrdiff_t outStride);
constexpr int32_t kBlock = 16;
// Blocks are visited in groups of kGroup x kGroup pixels, whose source and
// result runs are whole cache lines and stay in the first-level cache.
constexpr int32_t kGroup = 64;

// The whole blocks through the kernel, in groups; the pixels of the last
// partial block rows and columns one at a time, as the byte mover does.
template <int Unit, bool Clockwise, BlockTranspose Transpose> void turnBlocks(const TurnArgs &a) {
  const int32_t fullRows = a.dstHeight / kBlock * kBlock;
  const int32_t fullCols = a.dstWidth / kBlock * kBlock;
  // Block row i is source row of result column c0 + i; block pixel t is
  // result row r0 + t counter-clockwise and r0 + 15 - t clockwise.
  const ptrdiff_t inStride = Clockwise ? a.srcLineBytes : -ptrdiff_t{a.srcLineBytes};
  const ptrdiff_t outStride = Clockwise ? -ptrdiff_t{a.dstLineBytes} : a.dstLineBytes;
  for (int32_t gr = 0; gr < fullRows; gr += kGroup) {
    const int32_t grEnd = std::min(fullRows, gr + kGroup);
    for (int32_t gc = 0; gc < fullCols; gc += kGroup) {
      const int32_t gcEnd = std::min(fullCols, gc + kGroup);
      // The next group's source runs lie a line stride apart each: ask for
      // them while this group is moved.
      const int32_t nextEnd = std::min(fullCols, gcEnd + kGroup);
      for (int32_t c = gcEnd; c < nextEnd; ++c) {
        const uint8_t *run = sourceOf<Clockwise>(a, Clockwise ? grEnd - 1 : gr, c, Unit);
        for (int32_t b = 0; b < (grEnd - gr) * Unit; b += 64) __builtin_prefetch(run + b);
        __builtin_prefetch(run + (grEnd - gr) * Unit - 1);
      }
      for (int32_t r0 = gr; r0 < grEnd; r0 += kBlock)
        for (int32_t c0 = gc; c0 < gcEnd; c0 += kBlock) {
          const uint8_t *in = sourceOf<Clockwise>(a, Clockwise ? r0 + kBlock - 1 : r0, c0, Unit);
          uint8_t *out = storedLine(a.dst, a.dstLineBytes, Clockwise ? r0 + kBlock - 1 : r0) +
                         static_cast<ptrdiff_t>(c0) * Unit;
          Transpose(in, inStride, out, outStride);
        }
    }
  }
  auto pixel = [&](int32_t r, int32_t c) {
    std::memcpy(storedLine(a.dst, a.dstLineBytes, r) + static_cast<ptrdiff_t>(c) * Unit,
                sourceOf<Clockwise>(a, r, c, Unit), Unit);
  };
  for (int32_t r = 0; r < fullRows; ++r)
    for (int32_t c = fullCols; c < a.dstWidth; ++c) pixel(r, c);
  for (int32_t r = fullRows; r < a.dstHeight; ++r)
    for (int32_t c = 0; c < a.dstWidth; ++c) pixel(r, c);
}

#if defined(PELC_X86_KERNELS)
// Sixteen rows of sixteen bytes: pairs of rows interleaved by bytes, then by
// 16, 32 and 64 bits, leave column t of the block in vector t.
PELC_TARGET_SSE2 void transposeBytesSse2(const uint8_t *in, ptrdiff_t inStride, uint8_t *out,
                                         ptrdiff_t outStride) {
  __m128i r[16], t[16];
  for (int i = 0; i < 16; ++i)
    r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i * inStride));
  for (int i = 0; i < 8; ++i) {
    t[2 * i] = _mm_unpacklo_epi8(r[2 * i], r[2 * i + 1]);
    t[2 * i + 1] = _mm_unpackhi_epi8(r[2 * i], r[2 * i + 1]);
  }
  // t[4q + 0..3]: rows 4q .. 4q + 3 in byte pairs.
  for (int q = 0; q < 4; ++q) {
    r[4 * q + 0] = _mm_unpacklo_epi16(t[4 * q + 0], t[4 * q + 2]); // columns 0-3
    r[4 * q + 1] = _mm_unpackhi_epi16(t[4 * q + 0], t[4 * q + 2]); // 4-7
    r[4 * q + 2] = _mm_unpacklo_epi16(t[4 * q + 1], t[4 * q + 3]); // 8-11
    r[4 * q + 3] = _mm_unpackhi_epi16(t[4 * q + 1], t[4 * q + 3]); // 12-15
  }
  // r[4q + g]: rows 4q .. 4q + 3, columns 4g .. 4g + 3, four bytes a column.
  for (int h = 0; h < 2; ++h)
    for (int g = 0; g < 4; ++g) {
      t[8 * h + 2 * g] = _mm_unpacklo_epi32(r[8 * h + g], r[8 * h + 4 + g]);     // 4g, 4g + 1
      t[8 * h + 2 * g + 1] = _mm_unpackhi_epi32(r[8 * h + g], r[8 * h + 4 + g]); // 4g + 2, + 3
    }
  // t[8h + k]: rows 8h .. 8h + 7 of columns 2k and 2k + 1.
  for (int k = 0; k < 8; ++k) {
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * k * outStride),
                     _mm_unpacklo_epi64(t[k], t[8 + k]));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + (2 * k + 1) * outStride),
                     _mm_unpackhi_epi64(t[k], t[8 + k]));
  }
}

// Sixteen rows of sixteen 3-byte pixels. Four pixels at a time are widened
// to 32-bit lanes, transposed as 4 x 4 lanes and narrowed again. The loads
// and stores of a 48-byte run stay inside it: the last four pixels are
// loaded from byte 32, and the stores overlap forwards, each fixing the four
// bytes the one before left zero.
PELC_TARGET_SSSE3 void transposePixels24Ssse3(const uint8_t *in, ptrdiff_t inStride, uint8_t *out,
                                              ptrdiff_t outStride) {
  const __m128i widen = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i widenLast = _mm_setr_epi8(4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
  const __m128i narrow = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m128i narrowLast = _mm_setr_epi8(-1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14);
  for (int tg = 0; tg < 4; ++tg) { // output rows 4tg .. 4tg + 3 = input pixels of group tg
    const ptrdiff_t at = tg < 3 ? 12 * tg : 32;
    const __m128i shape = tg < 3 ? widen : widenLast;
    __m128i o[4][4]; // [output row][pixel group]
    for (int ig = 0; ig < 4; ++ig) {
      __m128i v[4];
      for (int k = 0; k < 4; ++k)
        v[k] = _mm_shuffle_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + (4 * ig + k) * inStride + at)),
            shape);
      const __m128i t0 = _mm_unpacklo_epi32(v[0], v[1]), t1 = _mm_unpackhi_epi32(v[0], v[1]);
      const __m128i t2 = _mm_unpacklo_epi32(v[2], v[3]), t3 = _mm_unpackhi_epi32(v[2], v[3]);
      o[0][ig] = _mm_unpacklo_epi64(t0, t2);
      o[1][ig] = _mm_unpackhi_epi64(t0, t2);
      o[2][ig] = _mm_unpacklo_epi64(t1, t3);
      o[3][ig] = _mm_unpackhi_epi64(t1, t3);
    }
    for (int k = 0; k < 4; ++k) {
      uint8_t *row = out + (4 * tg + k) * outStride;
      const __m128i g2 = _mm_shuffle_epi8(o[k][2], narrow);
      _mm_storeu_si128(reinterpret_cast<__m128i *>(row), _mm_shuffle_epi8(o[k][0], narrow));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(row + 12), _mm_shuffle_epi8(o[k][1], narrow));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(row + 24), g2);
      _mm_storeu_si128(reinterpret_cast<__m128i *>(row + 32),
                       _mm_or_si128(_mm_srli_si128(g2, 8), _mm_shuffle_epi8(o[k][3], narrowLast)));
    }
  }
}
#endif

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
  Mover mover = kMovers[static_cast<std::size_t>(slot * 2 + (direction != 0))];
#if defined(PELC_X86_KERNELS)
  if (slot == 2 && simdAtLeast(SimdLevel::Sse2))
    mover = direction != 0 ? turnBlocks<1, false, transposeBytesSse2>
                           : turnBlocks<1, true, transposeBytesSse2>;
  else if (slot == 4 && simdAtLeast(SimdLevel::Ssse3))
    mover = direction != 0 ? turnBlocks<3, false, transposePixels24Ssse3>
                           : turnBlocks<3, true, transposePixels24Ssse3>;
#endif
  mover(args);
  return result.release();
}

} // extern "C"
