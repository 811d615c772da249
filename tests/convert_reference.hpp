// SPDX-License-Identifier: MIT
// An independent per-pixel model of the conversions, written from the rules
// and sharing no code with the library: it decodes each source pixel to its
// colour and encodes the colour by the target's rule into a whole expected
// block, padding included.
#pragma once

#include "support.hpp"

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace pel::test::convert {

enum Op { Bit1, Bit4, Bit8, Bit555, Bit565, Bit24, Bit32, Bit4Grey, Bit8Grey, kOps };

inline const char *opName(int op) {
  static const char *names[] = {"Bit1",  "Bit4",  "Bit8",     "Bit555",  "Bit565",
                                "Bit24", "Bit32", "Bit4Grey", "Bit8Grey"};
  return names[op];
}

inline PELIMAGE *runOp(int op, const PELIMAGE *image, const RGBQUAD *palette = nullptr,
                       uint32_t count = 0) {
  switch (op) {
  case Bit1: return pelCvtoBit1(image);
  case Bit4: return pelCvtoBit4(image, palette, count);
  case Bit8: return pelCvtoBit8(image, palette, count);
  case Bit555: return pelCvtoBit555(image);
  case Bit565: return pelCvtoBit565(image);
  case Bit24: return pelCvtoBit24(image);
  case Bit32: return pelCvtoBit32(image);
  case Bit4Grey: return pelCvtoBit4Grey(image);
  default: return pelCvtoBit8Grey(image);
  }
}

// The image type each operation copies instead of converting.
inline bool copies(int op, int32_t type) {
  switch (op) {
  case Bit1: return type == 1;
  case Bit4: return type == 2 || type == 3;
  case Bit8: return type == 5 || type == 6;
  case Bit555: return type == 8;
  case Bit565: return type == 9;
  case Bit24: return type == 10;
  case Bit32: return type == 11;
  case Bit4Grey: return type == 3;
  default: return type == 6;
  }
}

struct Colour {
  int r, g, b;
  bool operator==(const Colour &) const = default;
};

inline int grey(Colour c) { return (77 * c.r + 150 * c.g + 29 * c.b) / 256; }
inline int grey4(Colour c) { return (77 * c.r + 150 * c.g + 29 * c.b) / 4096; }

inline const uint8_t *storedLine(const PELIMAGE *image, int y) {
  return image->core->bits + static_cast<std::ptrdiff_t>(y) * image->lineBytes;
}

// The palette index a palette-format pixel holds.
inline int indexAt(const PELIMAGE *image, int x, int y) {
  const uint8_t *line = storedLine(image, y);
  switch (image->core->header->biBitCount) {
  case 1: return (line[x / 8] & (0x80 >> (x % 8))) ? 1 : 0;
  case 4: return x % 2 == 0 ? line[x / 2] / 16 : line[x / 2] % 16;
  default: return line[x];
  }
}

inline Colour entry(const PELIMAGE *image, int index) {
  const BITMAPINFOHEADER *h = image->core->header;
  const auto *table = reinterpret_cast<const RGBQUAD *>(reinterpret_cast<const uint8_t *>(h) + 40);
  // Indices past the table stand for entry 0.
  const RGBQUAD &q = table[static_cast<uint32_t>(index) < h->biClrUsed ? index : 0];
  return {q.rgbRed, q.rgbGreen, q.rgbBlue};
}

// The colour of a source pixel by the reading rules.
inline Colour colourAt(const PELIMAGE *image, int x, int y) {
  const uint8_t *line = storedLine(image, y);
  switch (image->imageType) {
  case 1:
  case 2:
  case 5: return entry(image, indexAt(image, x, y));
  case 3: return {17 * indexAt(image, x, y), 17 * indexAt(image, x, y), 17 * indexAt(image, x, y)};
  case 6: return {line[x], line[x], line[x]};
  case 8: {
    const int w = line[2 * x] + 256 * line[2 * x + 1];
    return {((w >> 10) & 31) * 8, ((w >> 5) & 31) * 8, (w & 31) * 8};
  }
  case 9: {
    const int w = line[2 * x] + 256 * line[2 * x + 1];
    return {((w >> 11) & 31) * 8, ((w >> 5) & 63) * 4, (w & 31) * 8};
  }
  case 10: return {line[3 * x + 2], line[3 * x + 1], line[3 * x]};
  default: return {line[4 * x + 2], line[4 * x + 1], line[4 * x]};
  }
}

inline int nearest(const std::vector<RGBQUAD> &palette, Colour c) {
  int best = 0;
  int64_t bestDistance = 3 * 255 * 255;
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const int64_t dr = c.r - palette[i].rgbRed, dg = c.g - palette[i].rgbGreen,
                  db = c.b - palette[i].rgbBlue;
    const int64_t d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) bestDistance = d, best = static_cast<int>(i);
  }
  return best;
}

// Expected target bytes, line by line with padding; `palette` is the target
// table an index target reduces to.
struct Expected {
  int bits = 0;
  int lineBytes = 0;
  std::vector<uint8_t> bytes;
  void put(int x, int y, uint32_t value) {
    uint8_t *line = bytes.data() + static_cast<std::size_t>(y) * lineBytes;
    switch (bits) {
    case 1: line[x / 8] |= static_cast<uint8_t>(value << (7 - x % 8)); break;
    case 4: line[x / 2] |= static_cast<uint8_t>(x % 2 == 0 ? value << 4 : value); break;
    default:
      for (int k = 0; k < bits / 8; ++k)
        line[x * bits / 8 + k] = static_cast<uint8_t>(value >> 8 * k);
    }
  }
};

inline int targetBits(int op) {
  static const int bits[] = {1, 4, 8, 16, 16, 24, 32, 4, 8};
  return bits[op];
}

inline uint32_t encode(int op, Colour c, const std::vector<RGBQUAD> &palette) {
  switch (op) {
  case Bit1: return grey(c) > 128 ? 1 : 0;
  case Bit4:
  case Bit8:
    return static_cast<uint32_t>(nearest(palette, {c.r / 16 * 16, c.g / 16 * 16, c.b / 16 * 16}));
  case Bit555: return static_cast<uint32_t>((c.r / 8) << 10 | (c.g / 8) << 5 | c.b / 8);
  case Bit565: return static_cast<uint32_t>((c.r / 8) << 11 | (c.g / 4) << 5 | c.b / 8);
  case Bit24:
  case Bit32: return static_cast<uint32_t>(c.r << 16 | c.g << 8 | c.b);
  case Bit4Grey: return static_cast<uint32_t>(grey4(c));
  default: return static_cast<uint32_t>(grey(c));
  }
}

inline Expected expectedBlock(int op, const PELIMAGE *source, const std::vector<RGBQUAD> &palette) {
  const int width = source->core->header->biWidth, height = source->core->header->biHeight;
  Expected e;
  e.bits = targetBits(op);
  e.lineBytes = ((width * e.bits + 31) / 32) * 4;
  e.bytes.assign(static_cast<std::size_t>(e.lineBytes) * height, 0);
  const int type = source->imageType;
  const bool twoLevel = type == 1 && (op == Bit4 || op == Bit8 || op == Bit4Grey || op == Bit8Grey);
  const bool greyOf8 = op == Bit4 && (type == 5 || type == 6);
  const bool greyOf4 = op == Bit8 && (type == 2 || type == 3);
  if (type == 1 && (op == Bit555 || op == Bit565)) {
    // Painted with entry 0 first, padding included.
    const uint32_t p0 = encode(op, entry(source, 0), palette);
    for (std::size_t i = 0; i + 1 < e.bytes.size(); i += 2) {
      e.bytes[i] = static_cast<uint8_t>(p0);
      e.bytes[i + 1] = static_cast<uint8_t>(p0 >> 8);
    }
  }
  if (type == 1 && op == Bit24) {
    const Colour c0 = entry(source, 0);
    if (c0.r == c0.g && c0.g == c0.b) e.bytes.assign(e.bytes.size(), static_cast<uint8_t>(c0.r));
  }
  const bool zeroBrighter = grey(entry(source, 0)) >= grey(entry(source, 1));
  const uint32_t top = (op == Bit4 || op == Bit4Grey) ? 15 : 255;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Colour c = colourAt(source, x, y);
      uint32_t value;
      if (twoLevel)
        value = (indexAt(source, x, y) == 0) == zeroBrighter ? top : 0;
      else if (greyOf8)
        value = static_cast<uint32_t>(grey4(c));
      else if (greyOf4)
        value = static_cast<uint32_t>(grey(c));
      else
        value = encode(op, c, palette);
      e.put(x, y, value);
    }
  return e;
}

// Random sources of every convertible type: random pixels and padding,
// random palettes, and (for 4 and 8 bits) short tables whose count the
// pixels exceed.
struct Random {
  std::mt19937 engine;
  explicit Random(uint32_t seed) : engine(seed) {}
  uint32_t next(uint32_t bound) {
    return std::uniform_int_distribution<uint32_t>(0, bound - 1)(engine);
  }
  std::vector<RGBQUAD> colours(uint32_t count) {
    std::vector<RGBQUAD> table(count);
    for (RGBQUAD &q : table)
      q = {static_cast<BYTE>(next(256)), static_cast<BYTE>(next(256)), static_cast<BYTE>(next(256)),
           static_cast<BYTE>(next(256))};
    return table;
  }
  PELIMAGE *image(int32_t type, int32_t width, int32_t height,
                  int32_t kind = PEL_MEM_GLOBAL_FIXED) {
    const uint32_t full = type <= 3 ? (type == 1 ? 2u : 16u) : 256u;
    const uint32_t count = type == 2 || type == 5 ? 1 + next(full) : full;
    const auto table = colours(full);
    PELIMAGE *made = pelCreateImage(type, width, height, table.data(), count, 2835, 3780, kind);
    if (!made) return nullptr;
    for (uint32_t i = 0; i < made->core->bitsSize; ++i)
      made->core->bits[i] = static_cast<uint8_t>(next(256));
    return made;
  }
};

} // namespace pel::test::convert
