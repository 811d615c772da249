// SPDX-License-Identifier: MIT
//
// What the converters share: the job a frame hands to its converter, the
// per-format pixel readers and writers, the colour rules, and the line
// kernels that every converter instantiates. A kernel is picked at compile
// time per pair of formats, so no inner loop looks at a format code.
#pragma once

#include "colour/detail.hpp"
#include "core/detail.hpp"
#include "pixel/detail.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pel::detail {

// ---- Colour rules ----------------------------------------------------------

struct Rgb {
  uint32_t r, g, b;
};

// Weights summing to 256, so white stays 255 and no division is needed.
// The sum stays below 65536, which lets vector code work in 16-bit lanes.
constexpr uint32_t greySum(Rgb c) { return static_cast<uint16_t>(77 * c.r + 150 * c.g + 29 * c.b); }
constexpr uint32_t greyLevel(Rgb c) { return greySum(c) >> 8; }
constexpr uint32_t greyLevel4(Rgb c) { return greySum(c) >> 12; }

constexpr Rgb colourOf(const RGBQUAD &q) { return {q.rgbRed, q.rgbGreen, q.rgbBlue}; }

// 16-bit fields are packed by dropping low bits, never by rounding.
constexpr uint32_t pack555(Rgb c) { return (c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3; }
constexpr uint32_t pack565(Rgb c) { return (c.r >> 3) << 11 | (c.g >> 2) << 5 | c.b >> 3; }
// The stored byte order of a true-colour pixel read as one number: 0x00RRGGBB.
constexpr uint32_t pixelValue(Rgb c) { return c.r << 16 | c.g << 8 | c.b; }

// Grey sources stand for their grey whatever their table holds.
template <std::size_t N> constexpr std::array<RGBQUAD, N> greyColours() {
  std::array<RGBQUAD, N> table{};
  for (std::size_t i = 0; i < N; ++i) {
    const auto v = static_cast<BYTE>(i * (255 / (N - 1)));
    table[i] = RGBQUAD{v, v, v, 0};
  }
  return table;
}
inline constexpr std::array<RGBQUAD, 16> kGrey16Colours = greyColours<16>();
inline constexpr std::array<RGBQUAD, 256> kGrey256Colours = greyColours<256>();

// ---- The job ---------------------------------------------------------------

// Everything a converter may need; each converter reads its own fields.
struct Job {
  uint8_t *dst;
  const uint8_t *src;
  int32_t width;
  int32_t height;
  int32_t dstLineBytes;
  int32_t srcLineBytes;
  // The source's colour table widened to 256 entries (indices the table
  // does not hold read entry 0), so a pixel value can never index past it.
  const RGBQUAD *srcPalette;
  // The palette to reduce to, and its count (colour-map targets only).
  const RGBQUAD *palette;
  int32_t count;
};

// Converters report failure only when their colour map cannot be had.
using Converter = bool (*)(const Job &);

// ---- Source pixel readers --------------------------------------------------

// Palette and grey formats yield an index, the others a colour.
struct ReadBit1 {
  static constexpr std::size_t kEntries = 2;
  static uint32_t at(const uint8_t *line, int32_t x) {
    return (line[x >> 3] >> (7 - (x & 7))) & 1u;
  }
};
struct ReadBit4 {
  static constexpr std::size_t kEntries = 16;
  static uint32_t at(const uint8_t *line, int32_t x) {
    return (line[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0Fu;
  }
};
struct ReadBit8 {
  static constexpr std::size_t kEntries = 256;
  static uint32_t at(const uint8_t *line, int32_t x) { return line[x]; }
};

inline uint32_t wordAt(const uint8_t *line, int32_t x) {
  const std::size_t at = 2 * static_cast<std::size_t>(x);
  return line[at] | static_cast<uint32_t>(line[at + 1]) << 8;
}
// Fields are widened by shifting alone: the low bits of each channel stay 0.
struct Read555 {
  static Rgb at(const uint8_t *line, int32_t x) {
    const uint32_t w = wordAt(line, x);
    return {(w >> 7) & 0xF8, (w >> 2) & 0xF8, (w << 3) & 0xF8};
  }
};
struct Read565 {
  static Rgb at(const uint8_t *line, int32_t x) {
    const uint32_t w = wordAt(line, x);
    return {(w >> 8) & 0xF8, (w >> 3) & 0xFC, (w << 3) & 0xF8};
  }
};
struct Read24 {
  static Rgb at(const uint8_t *line, int32_t x) {
    const uint8_t *p = line + 3 * static_cast<std::size_t>(x);
    return {p[2], p[1], p[0]};
  }
};
// The fourth byte is never read.
struct Read32 {
  static Rgb at(const uint8_t *line, int32_t x) {
    const uint8_t *p = line + 4 * static_cast<std::size_t>(x);
    return {p[2], p[1], p[0]};
  }
};

// ---- Target value rules ----------------------------------------------------

struct EncodeGrey8 {
  uint32_t operator()(Rgb c) const { return greyLevel(c); }
};
struct EncodeGrey4 {
  uint32_t operator()(Rgb c) const { return greyLevel4(c); }
};
// A set bit for a grey level strictly above the threshold.
struct EncodeThreshold {
  uint32_t threshold;
  uint32_t operator()(Rgb c) const { return greyLevel(c) > threshold ? 1u : 0u; }
};
struct Encode555 {
  uint32_t operator()(Rgb c) const { return pack555(c); }
};
struct Encode565 {
  uint32_t operator()(Rgb c) const { return pack565(c); }
};
struct EncodeValue {
  uint32_t operator()(Rgb c) const { return pixelValue(c); }
};
// The cell of a colour is the top four bits of each channel: for 16-bit
// sources that equals the top four bits of each field.
struct EncodeMap {
  const uint8_t *map;
  uint32_t operator()(Rgb c) const { return map[(c.r & 0xF0) << 4 | (c.g & 0xF0) | c.b >> 4]; }
};
// Index sources: the target value of every index, worked out once.
struct EncodeTable {
  const uint32_t *table;
  uint32_t operator()(uint32_t index) const { return table[index]; }
};

template <typename Read, typename Encode>
std::array<uint32_t, 256> valuesOf(const RGBQUAD *colours, Encode encode) {
  std::array<uint32_t, 256> table{};
  for (std::size_t i = 0; i < Read::kEntries; ++i) table[i] = encode(colourOf(colours[i]));
  return table;
}

// ---- Target pixel writers --------------------------------------------------

struct StoreByte {
  static void at(uint8_t *line, int32_t x, uint32_t v) { line[x] = static_cast<uint8_t>(v); }
};
struct StoreWord {
  static void at(uint8_t *line, int32_t x, uint32_t v) {
    const auto w = static_cast<uint16_t>(v);
    std::memcpy(line + 2 * static_cast<std::size_t>(x), &w, 2);
  }
};
struct StoreBgr {
  static void at(uint8_t *line, int32_t x, uint32_t v) {
    uint8_t *p = line + 3 * static_cast<std::size_t>(x);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
  }
};
struct StoreBgrx {
  static void at(uint8_t *line, int32_t x, uint32_t v) {
    std::memcpy(line + 4 * static_cast<std::size_t>(x), &v, 4);
  }
};

// ---- Line kernels ----------------------------------------------------------

// Pixels of one line converted at a time before packing them into bits or
// nibbles: large enough to amortise the packing loop, small enough for the stack.
inline constexpr int32_t kChunk = 256;
// No pixel depends on another, so the order of lines is free: they are
// visited from the first stored line up, which streams through memory the way
// the processor prefetches (going down the block costs about twice the time).

inline uint8_t *dstLine(const Job &job, int32_t y) {
  return job.dst + static_cast<std::ptrdiff_t>(y) * job.dstLineBytes;
}
inline const uint8_t *srcLine(const Job &job, int32_t y) {
  return job.src + static_cast<std::ptrdiff_t>(y) * job.srcLineBytes;
}
// Zeros the padding after the pixel bytes of every target line, for
// kernels that write every pixel byte (bits and nibbles past the width as 0)
// but not the padding: the target then holds what clearing it all first
// would give, with each byte written once.
inline void clearPadding(const Job &job, uint32_t bitsPerPixel) {
  const std::size_t used = (static_cast<std::size_t>(job.width) * bitsPerPixel + 7) / 8;
  const std::size_t padding = static_cast<uint32_t>(job.dstLineBytes) - used;
  if (job.width <= 0 || padding == 0) return;
  for (int32_t y = 0; y < job.height; ++y) std::memset(dstLine(job, y) + used, 0, padding);
}

// The kernels are compiled twice: for the baseline instruction set and, on
// x86, for AVX2, whose copy runs where the processor has it. The loops are
// written so that the compiler can vectorise them; the choice is made once
// per conversion, never per line or pixel.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define PELC_WIDE __attribute__((target("avx2")))
inline bool wideVectors() { return simdAtLeast(SimdLevel::Avx2); }
#else
#define PELC_WIDE
inline bool wideVectors() { return false; }
#endif

// Target values of pixels [x, x + n) of a source line.
template <typename Read, typename Encode>
[[gnu::always_inline]] inline void valuesAt(uint8_t *out, const uint8_t *src, int32_t x, int32_t n,
                                            Encode encode) {
  for (int32_t k = 0; k < n; ++k) out[k] = static_cast<uint8_t>(encode(Read::at(src, x + k)));
}

template <typename Store, typename Read, typename Encode>
[[gnu::always_inline]] inline void pixelLines(const Job &job, Encode encode) {
  // A local bound: stores through dst could otherwise alias the job.
  const int32_t width = job.width;
  for (int32_t y = 0; y < job.height; ++y) {
    uint8_t *dst = dstLine(job, y);
    const uint8_t *src = srcLine(job, y);
    for (int32_t x = 0; x < width; ++x) Store::at(dst, x, encode(Read::at(src, x)));
  }
}

// Eight bit values (0 or 1), one per byte, as one byte with the first in the
// top bit: one multiplication moves byte k's bit to bit 63 - k, and no other
// partial product reaches the top byte or carries into it.
inline uint8_t packBits(const uint8_t *values) {
  uint64_t eight;
  std::memcpy(&eight, values, 8);
  return static_cast<uint8_t>((eight * 0x8040201008040201u) >> 56);
}
inline uint8_t packNibbles(const uint8_t *values) {
  uint16_t two;
  std::memcpy(&two, values, 2);
  return static_cast<uint8_t>((two & 0x0F) << 4 | two >> 8);
}

// Eight pixels to a byte, the first in the top bit; bits past the width are 0.
template <typename Read, typename Encode>
[[gnu::always_inline]] inline void bitLines(const Job &job, Encode encode) {
  alignas(32) uint8_t values[kChunk];
  const int32_t width = job.width;
  for (int32_t y = 0; y < job.height; ++y) {
    uint8_t *dst = dstLine(job, y);
    const uint8_t *src = srcLine(job, y);
    for (int32_t x = 0; x < width; x += kChunk) {
      const int32_t n = width - x < kChunk ? width - x : kChunk;
      valuesAt<Read>(values, src, x, n, encode);
      for (int32_t k = n; k < (n + 7) / 8 * 8; ++k) values[k] = 0;
      for (int32_t k = 0; k < n; k += 8) dst[(x + k) >> 3] = packBits(values + k);
    }
  }
}

// Two pixels to a byte, even x in the high nibble; an odd width leaves the
// last low nibble 0.
template <typename Read, typename Encode>
[[gnu::always_inline]] inline void nibbleLines(const Job &job, Encode encode) {
  alignas(32) uint8_t values[kChunk + 1]; // one more for the pad of an odd count
  const int32_t width = job.width;
  for (int32_t y = 0; y < job.height; ++y) {
    uint8_t *dst = dstLine(job, y);
    const uint8_t *src = srcLine(job, y);
    for (int32_t x = 0; x < width; x += kChunk) {
      const int32_t n = width - x < kChunk ? width - x : kChunk;
      valuesAt<Read>(values, src, x, n, encode);
      values[n] = 0;
      for (int32_t k = 0; k < n; k += 2) dst[(x + k) >> 1] = packNibbles(values + k);
    }
  }
}

template <typename Store, typename Read, typename Encode>
PELC_WIDE void pixelLinesWide(const Job &job, Encode encode) {
  pixelLines<Store, Read>(job, encode);
}
template <typename Read, typename Encode>
PELC_WIDE void bitLinesWide(const Job &job, Encode encode) {
  bitLines<Read>(job, encode);
}
template <typename Read, typename Encode>
PELC_WIDE void nibbleLinesWide(const Job &job, Encode encode) {
  nibbleLines<Read>(job, encode);
}

// One target pixel per byte, word or 3/4-byte group; padding is not written.
template <typename Store, typename Read, typename Encode>
void eachPixel(const Job &job, Encode encode) {
  if (wideVectors())
    pixelLinesWide<Store, Read>(job, encode);
  else
    pixelLines<Store, Read>(job, encode);
}
template <typename Read, typename Encode> void eachBit(const Job &job, Encode encode) {
  if (wideVectors())
    bitLinesWide<Read>(job, encode);
  else
    bitLines<Read>(job, encode);
}
template <typename Read, typename Encode> void eachNibble(const Job &job, Encode encode) {
  if (wideVectors())
    nibbleLinesWide<Read>(job, encode);
  else
    nibbleLines<Read>(job, encode);
}

// Hand-vectorised starts of a line for the most used true-colour pairs: a
// head converts whole groups of pixels from x = 0 and returns how many it did.
enum class VectorLine { BgrToGrey, BgrTo565, BgrToBgrx, BgrxToBgr };
using LineHead = int32_t (*)(uint8_t *dst, const uint8_t *src, int32_t width);
// The head for this processor, or null where it has none. `streaming` asks
// for one that writes the target with streaming stores where it has one.
LineHead vectorLineHead(VectorLine line, bool streaming);

// Targets far larger than the caches are stored streaming.
inline bool streamsTarget(const Job &job) {
  return static_cast<std::size_t>(job.dstLineBytes < 0 ? -job.dstLineBytes : job.dstLineBytes) *
             static_cast<std::size_t>(job.height) >=
         streamingBytes();
}
// The colour-map cells of 24-bit pixels, as 16-bit numbers.
using CellHead = int32_t (*)(uint16_t *cells, const uint8_t *src, int32_t width);
CellHead vectorCellHead();

// Heads that take 24-bit pixels through the colour map to their entries,
// stored as bytes or as nibbles (entries below 16, the even pixel high). The
// map is read 32 bits at a time, so 3 bytes past its last cell must be
// readable.
enum class MapTarget { Bytes, Nibbles };
using MapHead = int32_t (*)(uint8_t *dst, const uint8_t *src, int32_t width, const uint8_t *map);
MapHead vectorMapHead(MapTarget target);

#if defined(PELC_X86_KERNELS)
// The AVX2 heads (wide_lines.cpp), for the dispatch in vector_lines.cpp.
LineHead wideLineHead(VectorLine line, bool streaming);
MapHead wideMapHead(MapTarget target);
#endif

// 24-bit pixels through the colour map: each line begun by the map head
// where there is one, the rest a chunk of cells at a time, the cells from
// the vector head where there is one; `write(line, x, cells, n)` looks them
// up and stores them (for nibbles x stays even).
template <typename Write>
void mapBgrLines(const Job &job, const uint8_t *map, MapTarget target, Write write) {
  const MapHead lineHead = vectorMapHead(target);
  const CellHead head = vectorCellHead();
  // The map with room for the 32-bit reads of the line head.
  alignas(32) uint8_t padded[kColourMapSize + 4] = {};
  if (lineHead) std::memcpy(padded, map, kColourMapSize);
  alignas(32) uint16_t cells[kChunk];
  const int32_t width = job.width;
  for (int32_t y = 0; y < job.height; ++y) {
    uint8_t *dst = dstLine(job, y);
    const uint8_t *src = srcLine(job, y);
    for (int32_t x = lineHead ? lineHead(dst, src, width, padded) : 0; x < width; x += kChunk) {
      const int32_t n = width - x < kChunk ? width - x : kChunk;
      const uint8_t *in = src + 3 * static_cast<std::size_t>(x);
      int32_t k = head ? head(cells, in, n) : 0;
      for (; k < n; ++k) {
        const Rgb c = Read24::at(in, k);
        cells[k] = static_cast<uint16_t>((c.r & 0xF0) << 4 | (c.g & 0xF0) | c.b >> 4);
      }
      write(dst, x, cells, n);
    }
  }
}

// As eachPixel, each line begun by the head where there is one.
template <typename Store, typename Read, typename Encode>
void eachPixel(const Job &job, Encode encode, VectorLine line) {
  const bool streaming = streamsTarget(job);
  const LineHead head = vectorLineHead(line, streaming);
  if (!head) return eachPixel<Store, Read>(job, encode);
  const int32_t width = job.width;
  for (int32_t y = 0; y < job.height; ++y) {
    uint8_t *dst = dstLine(job, y);
    const uint8_t *src = srcLine(job, y);
    for (int32_t x = head(dst, src, width); x < width; ++x)
      Store::at(dst, x, encode(Read::at(src, x)));
  }
  if (streaming) endStreaming();
}

// Index sources through a table of target values.
template <typename Store, typename Read, typename Encode>
void eachIndexedPixel(const Job &job, const RGBQUAD *colours, Encode encode) {
  const auto values = valuesOf<Read>(colours, encode);
  eachPixel<Store, Read>(job, EncodeTable{values.data()});
}
template <typename Read, typename Encode>
void eachIndexedBit(const Job &job, const RGBQUAD *colours, Encode encode) {
  const auto values = valuesOf<Read>(colours, encode);
  eachBit<Read>(job, EncodeTable{values.data()});
}
template <typename Read, typename Encode>
void eachIndexedNibble(const Job &job, const RGBQUAD *colours, Encode encode) {
  const auto values = valuesOf<Read>(colours, encode);
  eachNibble<Read>(job, EncodeTable{values.data()});
}

// Runs `reduce(encode)` with the colour map of the palette; false when no map
// could be had.
template <typename Reduce>
bool withColourMap(const RGBQUAD *palette, int32_t count, Reduce reduce) {
  uint8_t *map = pelCreate4096Map(palette, count);
  if (!map) return false;
  reduce(EncodeMap{map});
  pelRelease4096Map(map);
  return true;
}

// The two colours of a 1-bit source become the darkest and brightest index
// of the target; a tie makes entry 0 the brighter one.
inline std::array<uint32_t, 256> twoLevelValues(const RGBQUAD *srcPalette, uint32_t bright) {
  std::array<uint32_t, 256> values{};
  const bool zeroBrighter =
      greyLevel(colourOf(srcPalette[0])) >= greyLevel(colourOf(srcPalette[1]));
  values[zeroBrighter ? 0 : 1] = bright;
  return values;
}

// ---- Fills ---------------------------------------------------------------

// The pixel folder's word-wide fills, under the converters' argument order.
inline void fillWords16(uint8_t *dst, uint32_t value, std::size_t count) {
  fillWords(dst, static_cast<uint16_t>(value), count);
}
inline void fillWords32(uint8_t *dst, uint32_t value, std::size_t count) {
  fillDwords(dst, value, count);
}
inline void fillBgr(uint8_t *dst, uint32_t value, std::size_t count) {
  fill3Bytes(dst, value, count);
}

// ---- The converters, by target ----------------------------------------------
// Arguments: target bits, source bits, width, height, target and source line
// bytes, then the source palette (palette sources), the threshold (1-bit
// targets) or the palette and count to reduce to (colour-map targets).

using Bits = uint8_t *;
using SrcBits = const uint8_t *;

void cvtBit4ToBit1(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *, uint8_t);
void cvtBit8ToBit1(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *, uint8_t);
void cvtBit4GreyToBit1(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, uint8_t);
void cvtBit8GreyToBit1(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, uint8_t);
void cvtBit555ToBit1(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, uint8_t);
void cvtBit565ToBit1(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, uint8_t);
void cvtBit24ToBit1(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, uint8_t);
void cvtBit32ToBit1(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, uint8_t);

bool cvtBit555ToBit4(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *, int32_t);
bool cvtBit565ToBit4(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *, int32_t);
bool cvtBit24ToBit4(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *, int32_t);
bool cvtBit32ToBit4(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *, int32_t);
void cvtBit1ToBit4(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit4ToBit4Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit8ToBit4Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit8GreyToBit4Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit555ToBit4Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit565ToBit4Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit24ToBit4Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit32ToBit4Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);

bool cvtBit555ToBit8(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *, int32_t);
bool cvtBit565ToBit8(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *, int32_t);
bool cvtBit24ToBit8(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *, int32_t);
bool cvtBit32ToBit8(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *, int32_t);
void cvtBit1ToBit8(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit4ToBit8Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit8ToBit8Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit4GreyToBit8Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit555ToBit8Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit565ToBit8Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit24ToBit8Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit32ToBit8Grey(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);

void cvtBit1ToBit555(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit4ToBit555(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit8ToBit555(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit4GreyToBit555(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit8GreyToBit555(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit565ToBit555(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit24ToBit555(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit32ToBit555(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit1ToBit565(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit4ToBit565(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit8ToBit565(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit4GreyToBit565(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit8GreyToBit565(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit555ToBit565(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit24ToBit565(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit32ToBit565(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);

void cvtBit1ToBit24(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit4ToBit24(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit8ToBit24(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit4GreyToBit24(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit8GreyToBit24(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit555ToBit24(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit565ToBit24(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit32ToBit24(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);

void cvtBit1ToBit32(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit4ToBit32(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit8ToBit32(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
void cvtBit4GreyToBit32(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit8GreyToBit32(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit555ToBit32(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit565ToBit32(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
void cvtBit24ToBit32(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);

// The job of the positional arguments; what a converter does not take stays
// unset.
inline Job jobOf(Bits dst, SrcBits src, int32_t width, int32_t height, int32_t dstLineBytes,
                 int32_t srcLineBytes, const RGBQUAD *srcPalette = nullptr,
                 const RGBQUAD *palette = nullptr, int32_t count = 0) {
  return Job{dst, src, width, height, dstLineBytes, srcLineBytes, srcPalette, palette, count};
}

// 1-bit sources into true colour: paint entry 0 everywhere the fill reaches,
// then store entry 1's value at the set bits only.
template <typename Store> void paintSetBits(const Job &job, uint32_t value) {
  for (int32_t y = 0; y < job.height; ++y) {
    uint8_t *dst = dstLine(job, y);
    const uint8_t *src = srcLine(job, y);
    for (int32_t x = 0; x < job.width; x += 8) {
      const uint32_t byte = src[x >> 3];
      if (!byte) continue;
      const int32_t end = job.width - x < 8 ? job.width - x : 8;
      for (int32_t k = 0; k < end; ++k)
        if (byte & (0x80u >> k)) Store::at(dst, x + k, value);
    }
  }
}

} // namespace pel::detail
