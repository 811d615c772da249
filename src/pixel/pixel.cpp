// SPDX-License-Identifier: MIT
//
// Single-pixel access: pixel values by bit count, colours by image type, and
// the translations between the two forms.
#include "core/detail.hpp"
#include "pixel/detail.hpp"

#include <algorithm>

using namespace pel::detail;

namespace {

// ---- Pixel values by bit count ----------------------------------------------

uint32_t readValue(const uint8_t *line, uint32_t bits, uint32_t x) {
  switch (bits) {
  case 1: return (line[x >> 3] >> (7 - (x & 7))) & 1u;
  case 4: return (x & 1) ? line[x >> 1] & 0x0Fu : line[x >> 1] >> 4;
  case 8: return line[x];
  case 16: return line[2 * std::size_t{x}] | uint32_t{line[2 * std::size_t{x} + 1]} << 8;
  case 24: {
    const uint8_t *p = line + 3 * std::size_t{x};
    return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
  }
  default: {
    uint32_t v;
    std::memcpy(&v, line + 4 * std::size_t{x}, 4);
    return v;
  }
  }
}

void writeValue(uint8_t *line, uint32_t bits, uint32_t x, uint32_t v) {
  switch (bits) {
  case 1: {
    const unsigned mask = 0x80u >> (x & 7);
    uint8_t &b = line[x >> 3];
    b = static_cast<uint8_t>((v & 1) ? b | mask : b & ~mask);
    return;
  }
  case 4: {
    uint8_t &b = line[x >> 1];
    b = static_cast<uint8_t>((x & 1) ? (b & 0xF0) | (v & 0x0F) : (b & 0x0F) | (v & 0x0F) << 4);
    return;
  }
  case 8: line[x] = static_cast<uint8_t>(v); return;
  case 16: {
    const auto w = static_cast<uint16_t>(v);
    std::memcpy(line + 2 * std::size_t{x}, &w, 2);
    return;
  }
  case 24: {
    uint8_t *p = line + 3 * std::size_t{x};
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    return;
  }
  default: std::memcpy(line + 4 * std::size_t{x}, &v, 4); return;
  }
}

// The stored line of (x, y) in a plain-line image, or null.
uint8_t *pixelLine(const PELIMAGE *image, uint32_t x, uint32_t y, PlainLines &img) {
  if (!plainLines(image, img) || x >= img.width || y >= img.height) return nullptr;
  return img.line(y);
}

// ---- Colours by image type --------------------------------------------------

uint32_t red(uint32_t rgb) { return rgb & 0xFF; }
uint32_t green(uint32_t rgb) { return (rgb >> 8) & 0xFF; }
uint32_t blue(uint32_t rgb) { return (rgb >> 16) & 0xFF; }
uint32_t pack(uint32_t r, uint32_t g, uint32_t b) { return r | g << 8 | b << 16; }

uint32_t pack555(uint32_t rgb) {
  return (red(rgb) >> 3) << 10 | (green(rgb) >> 3) << 5 | blue(rgb) >> 3;
}
uint32_t pack565(uint32_t rgb) {
  return (red(rgb) >> 3) << 11 | (green(rgb) >> 2) << 5 | blue(rgb) >> 3;
}
uint32_t expand555(uint32_t w) {
  return pack(((w >> 10) & 31) * 8, ((w >> 5) & 31) * 8, (w & 31) * 8);
}
uint32_t expand565(uint32_t w) {
  return pack(((w >> 11) & 31) * 8, ((w >> 5) & 63) * 4, (w & 31) * 8);
}
// A true-colour pixel value 0x00RRGGBB and an RGBpack are each other's mirror.
uint32_t mirrorChannels(uint32_t v) { return pack((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF); }

enum class Kind { Refused, Palette, Bits555, Bits565, True };

struct TypeInfo {
  Kind kind;
  uint32_t bits;
};
// Indexed by image type 0 to 11.
constexpr TypeInfo kTypes[] = {
    {Kind::Refused, 0},  {Kind::Palette, 1},  {Kind::Palette, 4}, {Kind::Palette, 4},
    {Kind::Refused, 4},  {Kind::Palette, 8},  {Kind::Palette, 8}, {Kind::Refused, 8},
    {Kind::Bits555, 16}, {Kind::Bits565, 16}, {Kind::True, 24},   {Kind::True, 32},
};
static_assert(std::size(kTypes) == PEL_TYPE_BIT32 + 1);

// What the colour operations need of an image: its kind and, for palette
// types, the entries actually present behind the header.
struct Colours {
  Kind kind = Kind::Refused;
  const RGBQUAD *table = nullptr;
  uint32_t count = 0; // entries counted by biClrUsed that lie inside the block
  bool hasEntry0 = false;
};

Colours coloursOf(const PELIMAGE *image) {
  Colours c;
  if (!image || !image->core || !image->core->header || image->imageType < 0 ||
      image->imageType > PEL_TYPE_BIT32)
    return c;
  const TypeInfo &t = kTypes[image->imageType];
  const BITMAPINFOHEADER &h = *image->core->header;
  if (t.kind == Kind::Refused || bitCount(h) != t.bits) return c;
  c.kind = t.kind;
  if (t.kind == Kind::Palette) {
    const uint32_t block = image->core->headerSize;
    const uint32_t room = block > kHeaderBytes ? (block - kHeaderBytes) / sizeof(RGBQUAD) : 0;
    c.table = reinterpret_cast<const RGBQUAD *>(afterHeader(image->core->header));
    c.count = std::min<uint32_t>(h.biClrUsed, room);
    c.hasEntry0 = room > 0;
  }
  return c;
}

uint32_t entryColour(const Colours &c, uint32_t index) {
  // An index past the table reads entry 0, as the translation does.
  if (index >= c.count) index = 0;
  if (!c.hasEntry0) return 0;
  const RGBQUAD &e = c.table[index];
  return pack(e.rgbRed, e.rgbGreen, e.rgbBlue);
}

uint32_t colourOfValue(const Colours &c, uint32_t v) {
  switch (c.kind) {
  case Kind::Palette: return entryColour(c, v);
  case Kind::Bits555: return expand555(v & 0xFFFF);
  case Kind::Bits565: return expand565(v & 0xFFFF);
  case Kind::True: return mirrorChannels(v);
  default: return 0xFFFFFFFF;
  }
}

uint32_t valueOfColour(const Colours &c, uint32_t rgb) {
  switch (c.kind) {
  case Kind::Palette: return pelGetNearestColorIndex(c.table, c.count, rgb);
  case Kind::Bits555: return pack555(rgb);
  case Kind::Bits565: return pack565(rgb);
  case Kind::True: return mirrorChannels(rgb);
  default: return 0xFFFFFFFF;
  }
}

uint32_t greyLevel(const uint8_t *in) { return 77u * in[0] + 150u * in[1] + 29u * in[2]; }

} // namespace

extern "C" {

uint32_t PELAPI pelGetPixel(const PELIMAGE *image, uint32_t x, uint32_t y) noexcept {
  PlainLines img;
  const uint8_t *line = pixelLine(image, x, y, img);
  return line ? readValue(line, img.bitCount, x) : 0;
}

void PELAPI pelSetPixel(PELIMAGE *image, uint32_t value, uint32_t x, uint32_t y) noexcept {
  PlainLines img;
  if (uint8_t *line = pixelLine(image, x, y, img)) writeValue(line, img.bitCount, x, value);
}

uint32_t PELAPI pelGetRGBpack(const PELIMAGE *image, uint32_t x, uint32_t y) noexcept {
  const Colours c = coloursOf(image);
  PlainLines img;
  const uint8_t *line = c.kind == Kind::Refused ? nullptr : pixelLine(image, x, y, img);
  return line ? colourOfValue(c, readValue(line, img.bitCount, x)) : 0;
}

uint32_t PELAPI pelSetRGBpack(PELIMAGE *image, uint32_t color, uint32_t x, uint32_t y) noexcept {
  const Colours c = coloursOf(image);
  PlainLines img;
  uint8_t *line = c.kind == Kind::Refused ? nullptr : pixelLine(image, x, y, img);
  if (!line) return 0;
  const uint32_t value = valueOfColour(c, color);
  // The fourth byte of a 32-bit pixel becomes 0 here (pelSetRGB keeps it).
  writeValue(line, img.bitCount, x, value);
  // True colour hands the argument back untouched, bits 24 to 31 included.
  return c.kind == Kind::True ? color : colourOfValue(c, value);
}

void PELAPI pelGetRGB(const PELIMAGE *image, uint8_t *out, uint32_t x, uint32_t y) noexcept {
  const Colours c = coloursOf(image);
  PlainLines img;
  const uint8_t *line = c.kind == Kind::Refused || !out ? nullptr : pixelLine(image, x, y, img);
  if (!line) return;
  const uint32_t rgb = colourOfValue(c, readValue(line, img.bitCount, x));
  out[0] = static_cast<uint8_t>(red(rgb));
  out[1] = static_cast<uint8_t>(green(rgb));
  out[2] = static_cast<uint8_t>(blue(rgb));
}

void PELAPI pelSetRGB(PELIMAGE *image, const uint8_t *in, uint32_t x, uint32_t y) noexcept {
  const Colours c = coloursOf(image);
  PlainLines img;
  uint8_t *line = c.kind == Kind::Refused || !in ? nullptr : pixelLine(image, x, y, img);
  if (!line) return;
  const uint32_t rgb = pack(in[0], in[1], in[2]);
  switch (image->imageType) {
  // The grey types take the weighted grey level itself, without a search.
  case PEL_TYPE_GREY4: writeValue(line, 4, x, greyLevel(in) >> 12); return;
  case PEL_TYPE_GREY8: writeValue(line, 8, x, greyLevel(in) >> 8); return;
  case PEL_TYPE_BIT32: {
    // Bytes 0 to 2 only: the fourth byte keeps its value.
    uint8_t *p = line + 4 * std::size_t{x};
    p[0] = in[2];
    p[1] = in[1];
    p[2] = in[0];
    return;
  }
  default: writeValue(line, img.bitCount, x, valueOfColour(c, rgb)); return;
  }
}

uint32_t PELAPI pelRGBColor2DIBData(const PELIMAGE *image, uint32_t color) noexcept {
  return valueOfColour(coloursOf(image), color);
}

uint32_t PELAPI pelDIBData2RGBColor(const PELIMAGE *image, uint32_t value) noexcept {
  return colourOfValue(coloursOf(image), value);
}

} // extern "C"
