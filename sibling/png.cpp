// SPDX-License-Identifier: MIT
//
// PNG through libpng. libpng reports errors by long jump, so every step that
// can fail runs in a small function holding nothing that needs destroying;
// buffers live in the callers.
#include "fio.hpp"

#include <png.h>

#include <cstdio>
#include <memory>

namespace fio {
namespace {

[[noreturn]] void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngWarning(png_structp, png_const_charp) {}

struct ReadState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  FILE *file = nullptr;
  ~ReadState() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (file) std::fclose(file);
  }
};

// What the header says and how rows will arrive after the transformations.
struct Plan {
  Shape shape;
  Row layout = Row::Index;
  size_t rowBytes = 0;
  bool interlaced = false;
};

// Grey level of a sample of the given depth, widened to 8 bits.
uint32_t widenGrey(uint32_t v, int depth) {
  switch (depth) {
  case 1: return v ? 255 : 0;
  case 2: return v * 85;
  case 4: return v * 17;
  case 16: return v >> 8;
  default: return v;
  }
}

bool readHeader(ReadState &s, Plan &plan) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  png_init_io(s.png, s.file);
  png_set_user_limits(s.png, kMaxSide, kMaxSide);
  png_set_chunk_malloc_max(s.png, kMaxChunkBytes);
  png_read_info(s.png, s.info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colour = 0, interlace = 0;
  png_get_IHDR(s.png, s.info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
  Shape &shape = plan.shape;
  shape.width = width;
  shape.height = height;
  png_uint_32 xRes = 0, yRes = 0;
  int unit = 0;
  if (png_get_pHYs(s.png, s.info, &xRes, &yRes, &unit) && unit == PNG_RESOLUTION_METER &&
      xRes <= 0x7FFFFFFF && yRes <= 0x7FFFFFFF) {
    shape.xPerMetre = static_cast<int32_t>(xRes);
    shape.yPerMetre = static_cast<int32_t>(yRes);
  }
  png_bytep alphas = nullptr;
  int alphaCount = 0;
  png_color_16p key = nullptr;
  const bool trns = png_get_tRNS(s.png, s.info, &alphas, &alphaCount, &key) != 0;
  if (depth == 16) png_set_strip_16(s.png);

  if (colour == PNG_COLOR_TYPE_PALETTE) {
    png_colorp colours = nullptr;
    int count = 0;
    png_get_PLTE(s.png, s.info, &colours, &count);
    // One fully transparent entry and every other opaque is a transparent
    // colour; any other transparency needs an alpha channel.
    int clear = -1;
    bool simple = true;
    for (int i = 0; trns && i < alphaCount; ++i) {
      if (alphas[i] == 0 && clear < 0 && i < count)
        clear = i;
      else if (alphas[i] != 255)
        simple = false;
    }
    if (trns && !simple) {
      png_set_palette_to_rgb(s.png);
      png_set_tRNS_to_alpha(s.png);
      shape.type = PEL_TYPE_BIT32;
      plan.layout = Row::Bgra;
    } else {
      shape.type = depth == 1 ? PEL_TYPE_BIT1 : depth <= 4 ? PEL_TYPE_BIT4 : PEL_TYPE_BIT8;
      for (int i = 0; i < count; ++i)
        shape.palette.push_back(RGBQUAD{colours[i].blue, colours[i].green, colours[i].red, 0});
      if (clear >= 0)
        shape.transparent = pack(colours[clear].red, colours[clear].green, colours[clear].blue);
      if (depth < 8) png_set_packing(s.png);
    }
  } else if (colour == PNG_COLOR_TYPE_GRAY) {
    if (trns && key) {
      const uint32_t g = widenGrey(key->gray, depth);
      shape.transparent = pack(g, g, g);
    }
    if (depth == 1) {
      shape.type = PEL_TYPE_BIT1;
      shape.palette = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
      png_set_packing(s.png);
    } else if (depth == 4) {
      shape.type = PEL_TYPE_GREY4;
      png_set_packing(s.png);
    } else {
      shape.type = PEL_TYPE_GREY8;
      if (depth == 2) png_set_expand_gray_1_2_4_to_8(s.png);
    }
  } else if (colour == PNG_COLOR_TYPE_RGB) {
    if (trns && key)
      shape.transparent = pack(widenGrey(key->red, depth), widenGrey(key->green, depth),
                               widenGrey(key->blue, depth));
    shape.type = PEL_TYPE_BIT24;
    plan.layout = Row::Bgr;
  } else {
    // Grey with alpha and RGBA.
    if (colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(s.png);
    shape.type = PEL_TYPE_BIT32;
    plan.layout = Row::Bgra;
  }
  if (plan.layout != Row::Index) png_set_bgr(s.png);
  if (interlace != PNG_INTERLACE_NONE) {
    png_set_interlace_handling(s.png);
    plan.interlaced = true;
  }
  png_read_update_info(s.png, s.info);
  plan.rowBytes = png_get_rowbytes(s.png, s.info);
  return true;
}

bool readRows(ReadState &s, Builder &out, const Plan &plan, png_bytep buffer, png_bytepp table) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  const uint32_t height = out.height();
  if (plan.interlaced) {
    // Every pass revisits the lines, so the whole picture is decoded first.
    png_read_image(s.png, table);
    for (uint32_t y = 0; y < height; ++y) out.put(y, table[y], plan.layout);
  } else {
    for (uint32_t y = 0; y < height; ++y) {
      png_read_row(s.png, buffer, nullptr);
      out.put(y, buffer, plan.layout);
    }
  }
  png_read_end(s.png, nullptr);
  return true;
}

} // namespace

PELIMAGE *loadPng(const char *path, int32_t kind) {
  ReadState s;
  s.file = std::fopen(path, "rb");
  if (!s.file) return nullptr;
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  if (!s.png) return nullptr;
  s.info = png_create_info_struct(s.png);
  if (!s.info) return nullptr;
  Plan plan;
  if (!readHeader(s, plan)) return nullptr;
  Builder out;
  if (!out.begin(plan.shape, kind)) return nullptr;
  const uint64_t bufferBytes =
      plan.interlaced ? uint64_t{plan.rowBytes} * plan.shape.height : plan.rowBytes;
  if (bufferBytes > kMaxStoreBytes * 2) return nullptr;
  std::unique_ptr<png_byte[]> buffer(new (std::nothrow) png_byte[bufferBytes]);
  if (!buffer) return nullptr;
  std::vector<png_bytep> table;
  if (plan.interlaced) {
    table.resize(plan.shape.height);
    for (uint32_t y = 0; y < plan.shape.height; ++y) table[y] = buffer.get() + plan.rowBytes * y;
  }
  if (!readRows(s, out, plan, buffer.get(), table.data())) return nullptr;
  return out.release();
}

namespace {

struct WriteState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~WriteState() {
    if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
  }
};

struct WritePlan {
  int depth = 8;
  int colour = PNG_COLOR_TYPE_RGB;
  std::vector<png_color> palette;
  std::vector<png_byte> alphas;
  png_color_16 key{};
  bool hasKey = false;
  std::vector<uint8_t> row;
};

bool writeAll(WriteState &s, FILE *file, const Lines &in, WritePlan &plan) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  png_init_io(s.png, file);
  png_set_IHDR(s.png, s.info, in.width(), in.height(), plan.depth, plan.colour, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!plan.palette.empty())
    png_set_PLTE(s.png, s.info, plan.palette.data(), static_cast<int>(plan.palette.size()));
  if (!plan.alphas.empty())
    png_set_tRNS(s.png, s.info, plan.alphas.data(), static_cast<int>(plan.alphas.size()), nullptr);
  if (plan.hasKey) png_set_tRNS(s.png, s.info, nullptr, 0, &plan.key);
  if (in.xPerMetre() > 0 && in.yPerMetre() > 0)
    png_set_pHYs(s.png, s.info, static_cast<png_uint_32>(in.xPerMetre()),
                 static_cast<png_uint_32>(in.yPerMetre()), PNG_RESOLUTION_METER);
  png_write_info(s.png, s.info);
  if (plan.depth < 8) png_set_packing(s.png);
  uint8_t *row = plan.row.data();
  for (uint32_t y = 0; y < in.height(); ++y) {
    switch (plan.colour) {
    case PNG_COLOR_TYPE_PALETTE:
    case PNG_COLOR_TYPE_GRAY: in.indices(y, row); break;
    case PNG_COLOR_TYPE_RGB: in.rgb(y, row); break;
    default: in.rgba(y, row); break;
    }
    png_write_row(s.png, row);
  }
  png_write_end(s.png, nullptr);
  return true;
}

} // namespace

bool savePng(const PELIMAGE *image, const char *path) {
  Lines in(image);
  if (!in.valid()) return false;
  WritePlan plan;
  const uint32_t t = in.transparent();
  if (in.isGrey()) {
    plan.colour = PNG_COLOR_TYPE_GRAY;
    plan.depth = in.bits();
    const uint32_t g = t & 0xFF;
    if (t != kNoColour && t == pack(g, g, g) && (plan.depth == 8 || g % 17 == 0)) {
      plan.key.gray = static_cast<png_uint_16>(plan.depth == 8 ? g : g / 17);
      plan.hasKey = true;
    }
  } else if (in.hasPalette()) {
    plan.colour = PNG_COLOR_TYPE_PALETTE;
    plan.depth = in.bits();
    for (const RGBQUAD &c : in.palette()) plan.palette.push_back({c.rgbRed, c.rgbGreen, c.rgbBlue});
    if (plan.palette.size() > (size_t{1} << plan.depth))
      plan.palette.resize(size_t{1} << plan.depth);
    const int clear = in.transparentIndex();
    if (clear >= 0) {
      plan.alphas.assign(static_cast<size_t>(clear) + 1, 255);
      plan.alphas[static_cast<size_t>(clear)] = 0;
    }
  } else if (in.bits() == 32) {
    plan.colour = PNG_COLOR_TYPE_RGB_ALPHA;
  } else if (t != kNoColour) {
    plan.key.red = static_cast<png_uint_16>(t & 0xFF);
    plan.key.green = static_cast<png_uint_16>((t >> 8) & 0xFF);
    plan.key.blue = static_cast<png_uint_16>((t >> 16) & 0xFF);
    plan.hasKey = true;
  }
  plan.row.resize(size_t{in.width()} * 4);
  FILE *file = std::fopen(path, "wb");
  if (!file) return false;
  WriteState s;
  s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  s.info = s.png ? png_create_info_struct(s.png) : nullptr;
  bool ok = s.info && writeAll(s, file, in, plan);
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

} // namespace fio
