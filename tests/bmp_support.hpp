// SPDX-License-Identifier: MIT
// BMP test helpers: crafted files and a per-pixel reference decoder.
#pragma once

#include "file_support.hpp"

#include <cstdio>
#include <fstream>
#include <random>
#include <vector>

namespace pel::test {

using Bytes = std::vector<uint8_t>;

inline void put32(Bytes &b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t get32(const Bytes &b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Appends with one copy (GCC 12 at -O3 warns falsely on vector::insert).
inline void append(Bytes &to, const Bytes &from) {
  const std::size_t at = to.size();
  to.resize(at + from.size());
  if (!from.empty()) std::memcpy(to.data() + at, from.data(), from.size());
}

// A BMP file: file header, then `header` (any length, biSize as given), then
// `rest` (table, masks, bits).
inline Bytes bmpFile(const Bytes &header, const Bytes &rest) {
  Bytes file(14);
  file[0] = 'B';
  file[1] = 'M';
  append(file, header);
  append(file, rest);
  put32(file, 2, static_cast<uint32_t>(file.size()));
  put32(file, 10, static_cast<uint32_t>(14 + header.size()));
  return file;
}

// The 40-byte header as bytes, padded with zeros to its biSize.
inline Bytes headerBytes(const BITMAPINFOHEADER &h, std::size_t length = 40) {
  Bytes b(length < 40 ? 40 : length);
  std::memcpy(b.data(), &h, 40);
  return b;
}

inline void writeFile(const std::string &path, const Bytes &bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The colour of picture pixel (x, y) as 0xRRGGBB, decoded straight from the
// stored bits by the documented layout rules.
inline uint32_t colourAt(const PELIMAGE *image, int32_t x, int32_t y) {
  const BITMAPINFOHEADER &h = *image->core->header;
  const uint8_t *line =
      image->core->bits + static_cast<std::size_t>(h.biHeight - 1 - y) * image->lineBytes;
  const auto *table = reinterpret_cast<const uint8_t *>(&h) + 40;
  auto entry = [&](uint32_t i) {
    const uint8_t *q = table + 4 * (i < h.biClrUsed ? i : 0);
    return uint32_t{q[2]} << 16 | uint32_t{q[1]} << 8 | q[0];
  };
  auto expand = [](uint32_t v, int bits) { return (v << (8 - bits)) & 0xFF; };
  switch (h.biBitCount) {
  case 1: return entry((line[x / 8] >> (7 - x % 8)) & 1);
  case 4: return entry((line[x / 2] >> (x % 2 ? 0 : 4)) & 15);
  case 8: return entry(line[x]);
  case 16: {
    const uint32_t v = line[2 * x] | line[2 * x + 1] << 8;
    if (image->imageType == PEL_TYPE_BIT565)
      return expand(v >> 11, 5) << 16 | expand((v >> 5) & 63, 6) << 8 | expand(v & 31, 5);
    return expand((v >> 10) & 31, 5) << 16 | expand((v >> 5) & 31, 5) << 8 | expand(v & 31, 5);
  }
  case 24:
  case 32: {
    const uint8_t *p = line + x * (h.biBitCount / 8);
    return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
  }
  default: return 0xFFFFFFFF;
  }
}

// Every creatable image type.
inline constexpr int32_t kCreatableTypes[] = {1, 2, 3, 5, 6, 8, 9, 10, 11};

// An image of the type with a seeded random table (palette types) and bits
// whose palette indices stay inside the table.
inline PELIMAGE *randomImage(int32_t type, int32_t width, int32_t height, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<RGBQUAD> table(256);
  for (RGBQUAD &q : table) {
    const uint32_t v = rng();
    q = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16), 0};
  }
  const uint32_t count = type == 2 ? 11 : type == 5 ? 200 : 0;
  PELIMAGE *image = pelCreateImage(type, width, height, table.data(), count, 2835, 2835, 0);
  if (!image) return nullptr;
  const BITMAPINFOHEADER &h = *image->core->header;
  for (uint32_t i = 0; i < image->core->bitsSize; ++i)
    image->core->bits[i] = static_cast<uint8_t>(rng());
  if (h.biBitCount <= 8 && h.biClrUsed < (1u << h.biBitCount)) {
    // Keep indices inside a short table.
    for (int32_t y = 0; y < height; ++y) {
      uint8_t *line = image->core->bits + static_cast<std::size_t>(y) * image->lineBytes;
      for (int32_t x = 0; x < width; ++x) {
        if (h.biBitCount == 8) {
          line[x] = static_cast<uint8_t>(line[x] % h.biClrUsed);
        } else {
          const int shift = x % 2 ? 0 : 4;
          const uint8_t v = static_cast<uint8_t>(((line[x / 2] >> shift) & 15) % h.biClrUsed);
          line[x / 2] = static_cast<uint8_t>((line[x / 2] & ~(15 << shift)) | v << shift);
        }
      }
    }
  }
  return image;
}

} // namespace pel::test
