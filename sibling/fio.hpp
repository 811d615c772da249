// SPDX-License-Identifier: MIT
//
// What the entry points and the per-format codecs share: format codes, the
// limits every decoder applies, and the two bridges between codec rows (top
// line first, tightly packed) and pelc images (bottom line first, padded).
#pragma once

#include "pelc.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fio {

enum Format : int { kUnknown = 0, kBmp = 1, kPng = 2, kJpeg = 3, kTiff = 4, kGif = 5, kWebp = 6 };

inline constexpr uint32_t kNoColour = 0xFFFFFFFF;
// pelc refuses pixel stores above this; decoders refuse such pictures before
// they allocate anything for them.
inline constexpr uint64_t kMaxStoreBytes = 0x7FFFFFFF;
// No side may exceed this, whatever its depth: keeps row arithmetic in 32 bits.
inline constexpr uint32_t kMaxSide = 1u << 17;
// Working memory a codec may take beside the image (progressive JPEG
// coefficients, a TIFF strip, ancillary PNG chunks).
inline constexpr uint64_t kMaxCodecBytes = 1ull << 30;
inline constexpr uint32_t kMaxChunkBytes = 8u << 20;

// Bits per pixel of an image type made by pelCreateImage, 0 for the others.
int bitCountOf(int32_t type);
// True when a picture of this size fits a pelc store of the bit count.
bool storeFits(uint64_t width, uint64_t height, uint32_t bitCount);
// RGBpack of three channels.
constexpr uint32_t pack(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }
// Pixels per metre from a density and its unit (1 inch, 2 centimetre).
int32_t perMetre(double density, int unit);

// Pixel layouts of codec rows: one index or level per byte, or interleaved
// channels in the order named.
enum class Row { Index, Rgb, Bgr, Rgba, Bgra };

struct Shape {
  int32_t type = PEL_TYPE_UNKNOWN;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<RGBQUAD> palette; // types 1, 2 and 5
  int32_t xPerMetre = 0;
  int32_t yPerMetre = 0;
  uint32_t transparent = kNoColour; // RGBpack
};

// A new image filled line by line; destroyed unless released.
class Builder {
public:
  Builder() = default;
  Builder(const Builder &) = delete;
  Builder &operator=(const Builder &) = delete;
  ~Builder() { pelDestroyImage(image_); }

  // Refuses shapes beyond the store limits or that pelc cannot make.
  bool begin(const Shape &shape, int32_t kind);
  // Stores picture line y (top first) from a row in the layout given:
  // Index for types up to 8 bits, Rgb/Bgr for 24 bits, Rgba/Bgra for 32 bits.
  void put(uint32_t y, const uint8_t *row, Row layout);
  // The stored bytes of picture line y.
  uint8_t *line(uint32_t y) const;
  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  PELIMAGE *release() {
    PELIMAGE *image = image_;
    image_ = nullptr;
    return image;
  }

private:
  PELIMAGE *image_ = nullptr;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  int bits_ = 0;
};

// Reads an image line by line for writers.
class Lines {
public:
  explicit Lines(const PELIMAGE *image);
  // False for images no writer takes (run-length, unknown or broken).
  bool valid() const { return bits_ != 0; }
  int32_t type() const { return type_; }
  int bits() const { return bits_; }
  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  int32_t xPerMetre() const { return header_->biXPelsPerMeter; }
  int32_t yPerMetre() const { return header_->biYPelsPerMeter; }
  bool hasPalette() const { return bits_ <= 8; }
  bool isGrey() const { return type_ == PEL_TYPE_GREY4 || type_ == PEL_TYPE_GREY8; }
  // The colour table (types up to 8 bits), at least as long as the largest
  // index the pixels use, padded with black.
  const std::vector<RGBQUAD> &palette() const { return palette_; }
  uint32_t transparent() const { return transparent_; }
  // First palette entry of the transparent colour, or -1.
  int transparentIndex() const;

  void indices(uint32_t y, uint8_t *out) const; // one index per byte
  void grey(uint32_t y, uint8_t *out) const;    // levels through the table
  void rgb(uint32_t y, uint8_t *out) const;
  void rgba(uint32_t y, uint8_t *out) const; // alpha 255 below 32 bits

private:
  const uint8_t *stored(uint32_t y) const;
  const BITMAPINFOHEADER *header_ = nullptr;
  const uint8_t *bits0_ = nullptr;
  uint32_t lineBytes_ = 0;
  int32_t type_ = 0;
  int bits_ = 0;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t transparent_ = kNoColour;
  std::vector<RGBQUAD> palette_;
};

// The per-format codecs. Loaders return null on any failure; savers write
// the whole file or return false (the caller removes what is left).
PELIMAGE *loadPng(const char *path, int32_t kind);
bool savePng(const PELIMAGE *image, const char *path);
PELIMAGE *loadJpeg(const char *path, int32_t kind);
bool saveJpeg(const PELIMAGE *image, const char *path, int quality);
PELIMAGE *loadTiff(const char *path, int32_t kind, uint32_t page);
bool saveTiff(const std::vector<const PELIMAGE *> &pages, const char *path);
uint32_t countTiff(const char *path);
PELIMAGE *loadGif(const char *path, int32_t kind, uint32_t page);
bool saveGif(const std::vector<const PELIMAGE *> &pages, const char *path);
uint32_t countGif(const char *path);
PELIMAGE *loadWebp(const char *path, int32_t kind);
bool saveWebp(const PELIMAGE *image, const char *path, int quality);

// The whole file in memory, refused above the limit; false when unreadable.
bool readWholeFile(const char *path, uint64_t limit, std::vector<uint8_t> &out);

} // namespace fio
