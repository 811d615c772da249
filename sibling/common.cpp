// SPDX-License-Identifier: MIT
//
// Limits and the row bridges between codecs and pelc images.
#include "fio.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace fio {

int bitCountOf(int32_t type) {
  switch (type) {
  case PEL_TYPE_BIT1: return 1;
  case PEL_TYPE_BIT4:
  case PEL_TYPE_GREY4: return 4;
  case PEL_TYPE_BIT8:
  case PEL_TYPE_GREY8: return 8;
  case PEL_TYPE_BIT555:
  case PEL_TYPE_BIT565: return 16;
  case PEL_TYPE_BIT24: return 24;
  case PEL_TYPE_BIT32: return 32;
  default: return 0;
  }
}

bool storeFits(uint64_t width, uint64_t height, uint32_t bitCount) {
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide || bitCount == 0)
    return false;
  const uint64_t lineBytes = ((width * bitCount + 31) >> 5) << 2;
  return lineBytes * height <= kMaxStoreBytes;
}

int32_t perMetre(double density, int unit) {
  double metre = 0;
  if (unit == 1)
    metre = density / 0.0254;
  else if (unit == 2)
    metre = density * 100.0;
  if (!(metre >= 1.0) || metre > 0x7FFFFFFF) return 0;
  return static_cast<int32_t>(std::lround(metre));
}

bool readWholeFile(const char *path, uint64_t limit, std::vector<uint8_t> &out) {
  FILE *file = std::fopen(path, "rb");
  if (!file) return false;
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long length = ok ? std::ftell(file) : -1;
  ok = ok && length > 0 && static_cast<uint64_t>(length) <= limit &&
       std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    out.resize(static_cast<size_t>(length));
    ok = std::fread(out.data(), 1, out.size(), file) == out.size();
  }
  std::fclose(file);
  return ok;
}

// ---- Builder ----------------------------------------------------------------

bool Builder::begin(const Shape &shape, int32_t kind) {
  bits_ = bitCountOf(shape.type);
  if (!storeFits(shape.width, shape.height, static_cast<uint32_t>(bits_))) return false;
  const bool table =
      shape.type == PEL_TYPE_BIT1 || shape.type == PEL_TYPE_BIT4 || shape.type == PEL_TYPE_BIT8;
  std::vector<RGBQUAD> palette = shape.palette;
  if (table) {
    // pelc keeps 2, at most 16 or at most 256 entries; a short 1-bit table is padded.
    const size_t most = size_t{1} << bits_;
    if (palette.empty() || palette.size() > most) return false;
    if (shape.type == PEL_TYPE_BIT1) palette.resize(2, RGBQUAD{0, 0, 0, 0});
  }
  image_ = pelCreateImage(shape.type, static_cast<int32_t>(shape.width),
                          static_cast<int32_t>(shape.height), table ? palette.data() : nullptr,
                          table ? static_cast<uint32_t>(palette.size()) : 0, shape.xPerMetre,
                          shape.yPerMetre, kind);
  if (!image_) return false;
  width_ = shape.width;
  height_ = shape.height;
  if (shape.transparent != kNoColour) pelSetTranspClr(image_, shape.transparent & 0xFFFFFF);
  return true;
}

uint8_t *Builder::line(uint32_t y) const {
  return image_->core->bits + static_cast<size_t>(height_ - 1 - y) * image_->lineBytes;
}

void Builder::put(uint32_t y, const uint8_t *row, Row layout) {
  uint8_t *out = line(y);
  const uint32_t w = width_;
  switch (bits_) {
  case 1:
    std::memset(out, 0, (w + 7) / 8);
    for (uint32_t x = 0; x < w; ++x)
      if (row[x] & 1) out[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    break;
  case 4:
    std::memset(out, 0, (w + 1) / 2);
    for (uint32_t x = 0; x < w; ++x)
      out[x >> 1] |= static_cast<uint8_t>((row[x] & 15) << ((x & 1) ? 0 : 4));
    break;
  case 8: std::memcpy(out, row, w); break;
  case 24:
    if (layout == Row::Bgr) {
      std::memcpy(out, row, size_t{w} * 3);
    } else {
      for (uint32_t x = 0; x < w; ++x, out += 3, row += 3) {
        out[0] = row[2];
        out[1] = row[1];
        out[2] = row[0];
      }
    }
    break;
  case 32:
    if (layout == Row::Bgra) {
      std::memcpy(out, row, size_t{w} * 4);
    } else {
      for (uint32_t x = 0; x < w; ++x, out += 4, row += 4) {
        out[0] = row[2];
        out[1] = row[1];
        out[2] = row[0];
        out[3] = row[3];
      }
    }
    break;
  default: break;
  }
}

// ---- Lines ------------------------------------------------------------------

Lines::Lines(const PELIMAGE *image) {
  if (!image || !image->core || !image->core->header || !image->core->bits) return;
  header_ = image->core->header;
  const int bits = bitCountOf(image->imageType);
  if (bits == 0 || bits != header_->biBitCount || header_->biWidth <= 0 || header_->biHeight <= 0 ||
      image->lineBytes <= 0)
    return;
  width_ = static_cast<uint32_t>(header_->biWidth);
  height_ = static_cast<uint32_t>(header_->biHeight);
  lineBytes_ = static_cast<uint32_t>(image->lineBytes);
  if (uint64_t{lineBytes_} * height_ > image->core->bitsSize) return;
  bits0_ = image->core->bits;
  type_ = image->imageType;
  if (pelIsTranspClr(image)) transparent_ = pelGetTranspClr(image) & 0xFFFFFF;
  if (bits <= 8) {
    const uint32_t entries = (image->core->headerSize - 40) / 4;
    const RGBQUAD *table =
        reinterpret_cast<const RGBQUAD *>(reinterpret_cast<const uint8_t *>(header_) + 40);
    palette_.assign(table, table + entries);
    // The writers need an entry for every index the pixels use.
    bits_ = bits;
    uint32_t top = 0;
    std::vector<uint8_t> row(width_);
    for (uint32_t y = 0; y < height_; ++y) {
      indices(y, row.data());
      for (uint8_t v : row) top = v > top ? v : top;
    }
    if (palette_.size() <= top) palette_.resize(top + 1, RGBQUAD{0, 0, 0, 0});
  }
  bits_ = bits;
}

const uint8_t *Lines::stored(uint32_t y) const {
  return bits0_ + static_cast<size_t>(height_ - 1 - y) * lineBytes_;
}

int Lines::transparentIndex() const {
  if (transparent_ == kNoColour) return -1;
  for (size_t i = 0; i < palette_.size(); ++i) {
    const RGBQUAD &c = palette_[i];
    if (pack(c.rgbRed, c.rgbGreen, c.rgbBlue) == transparent_) return static_cast<int>(i);
  }
  return -1;
}

void Lines::indices(uint32_t y, uint8_t *out) const {
  const uint8_t *in = stored(y);
  for (uint32_t x = 0; x < width_; ++x) {
    switch (bits_) {
    case 1: out[x] = (in[x >> 3] >> (7 - (x & 7))) & 1; break;
    case 4: out[x] = (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 15; break;
    default: out[x] = in[x]; break;
    }
  }
}

void Lines::grey(uint32_t y, uint8_t *out) const {
  indices(y, out);
  for (uint32_t x = 0; x < width_; ++x) out[x] = palette_[out[x]].rgbRed;
}

void Lines::rgb(uint32_t y, uint8_t *out) const {
  const uint8_t *in = stored(y);
  switch (bits_) {
  case 16:
    for (uint32_t x = 0; x < width_; ++x, out += 3) {
      const uint32_t v = in[2 * x] | (in[2 * x + 1] << 8);
      // Fields widen by shifting to the top of the byte, as pelc does.
      if (type_ == PEL_TYPE_BIT565) {
        out[0] = static_cast<uint8_t>(((v >> 11) & 31) << 3);
        out[1] = static_cast<uint8_t>(((v >> 5) & 63) << 2);
      } else {
        out[0] = static_cast<uint8_t>(((v >> 10) & 31) << 3);
        out[1] = static_cast<uint8_t>(((v >> 5) & 31) << 3);
      }
      out[2] = static_cast<uint8_t>((v & 31) << 3);
    }
    break;
  case 24:
  case 32: {
    const uint32_t step = static_cast<uint32_t>(bits_ / 8);
    for (uint32_t x = 0; x < width_; ++x, out += 3, in += step) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
    break;
  }
  default: {
    std::vector<uint8_t> index(width_);
    indices(y, index.data());
    for (uint32_t x = 0; x < width_; ++x, out += 3) {
      const RGBQUAD &c = palette_[index[x]];
      out[0] = c.rgbRed;
      out[1] = c.rgbGreen;
      out[2] = c.rgbBlue;
    }
    break;
  }
  }
}

void Lines::rgba(uint32_t y, uint8_t *out) const {
  if (bits_ == 32) {
    const uint8_t *in = stored(y);
    for (uint32_t x = 0; x < width_; ++x, out += 4, in += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = in[3];
    }
    return;
  }
  rgb(y, out);
  for (uint32_t x = width_; x-- > 0;) {
    out[4 * x + 3] = 255;
    out[4 * x + 2] = out[3 * x + 2];
    out[4 * x + 1] = out[3 * x + 1];
    out[4 * x + 0] = out[3 * x + 0];
  }
}

} // namespace fio
