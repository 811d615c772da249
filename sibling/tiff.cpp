// SPDX-License-Identifier: MIT
//
// TIFF through libtiff. Strips of the common layouts (palette, grey, RGB with
// or without alpha) are read line by line into the nearest image type; every
// other layout (tiles, planes, CMYK, YCbCr, odd depths) goes through
// libtiff's RGBA reader and becomes a 24- or 32-bit image.
#include "fio.hpp"

#include <tiffio.h>

#include <cstdarg>
#include <memory>

namespace fio {
namespace {

int quiet(TIFF *, void *, const char *, const char *, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF *tiff) const { TIFFClose(tiff); }
};
using Tiff = std::unique_ptr<TIFF, TiffCloser>;

Tiff open(const char *path, const char *mode) {
  TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kMaxCodecBytes));
  TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
  Tiff tiff(TIFFOpenExt(path, mode, options));
  TIFFOpenOptionsFree(options);
  return tiff;
}

template <typename T> T field(TIFF *tiff, ttag_t tag, T otherwise) {
  T value{};
  return TIFFGetField(tiff, tag, &value) ? value : otherwise;
}

uint16_t fieldDefaulted(TIFF *tiff, ttag_t tag) {
  uint16_t value = 0;
  TIFFGetFieldDefaulted(tiff, tag, &value);
  return value;
}

void resolution(TIFF *tiff, Shape &shape) {
  float x = 0, y = 0;
  const uint16_t unit = fieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT);
  const int perUnit = unit == RESUNIT_INCH ? 1 : unit == RESUNIT_CENTIMETER ? 2 : 0;
  if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x) && TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y)) {
    shape.xPerMetre = perMetre(x, perUnit);
    shape.yPerMetre = perMetre(y, perUnit);
  }
}

// One sample of the given depth from a packed line, widened or cut to 8 bits.
uint32_t sampleAt(const uint8_t *line, uint32_t index, int depth) {
  switch (depth) {
  case 1: return (line[index >> 3] >> (7 - (index & 7))) & 1;
  case 2: return (line[index >> 2] >> (6 - 2 * (index & 3))) & 3;
  case 4: return (line[index >> 1] >> ((index & 1) ? 0 : 4)) & 15;
  case 16: return reinterpret_cast<const uint16_t *>(line)[index] >> 8;
  default: return line[index];
  }
}

PELIMAGE *loadThroughRgba(TIFF *tiff, Shape &shape, int32_t kind) {
  const uint16_t extra = field<uint16_t>(tiff, TIFFTAG_EXTRASAMPLES, 0);
  shape.type = extra > 0 ? PEL_TYPE_BIT32 : PEL_TYPE_BIT24;
  if (!storeFits(shape.width, shape.height, 32)) return nullptr;
  char message[1024];
  if (!TIFFRGBAImageOK(tiff, message)) return nullptr;
  Builder out;
  if (!out.begin(shape, kind)) return nullptr;
  const size_t count = size_t{shape.width} * shape.height;
  std::unique_ptr<uint32_t[]> raster(new (std::nothrow) uint32_t[count]);
  if (!raster || !TIFFReadRGBAImageOriented(tiff, shape.width, shape.height, raster.get(),
                                            ORIENTATION_TOPLEFT, 0))
    return nullptr;
  std::vector<uint8_t> row(size_t{shape.width} * 4);
  for (uint32_t y = 0; y < shape.height; ++y) {
    const uint32_t *in = raster.get() + size_t{y} * shape.width;
    for (uint32_t x = 0; x < shape.width; ++x) {
      row[4 * x] = static_cast<uint8_t>(TIFFGetR(in[x]));
      row[4 * x + 1] = static_cast<uint8_t>(TIFFGetG(in[x]));
      row[4 * x + 2] = static_cast<uint8_t>(TIFFGetB(in[x]));
      row[4 * x + 3] = static_cast<uint8_t>(TIFFGetA(in[x]));
    }
    if (shape.type == PEL_TYPE_BIT24)
      for (uint32_t x = 0; x < shape.width; ++x)
        row[3 * x] = row[4 * x], row[3 * x + 1] = row[4 * x + 1], row[3 * x + 2] = row[4 * x + 2];
    out.put(y, row.data(), shape.type == PEL_TYPE_BIT24 ? Row::Rgb : Row::Rgba);
  }
  return out.release();
}

PELIMAGE *loadPage(TIFF *tiff, int32_t kind) {
  Shape shape;
  shape.width = field<uint32_t>(tiff, TIFFTAG_IMAGEWIDTH, 0);
  shape.height = field<uint32_t>(tiff, TIFFTAG_IMAGELENGTH, 0);
  if (!storeFits(shape.width, shape.height, 1)) return nullptr;
  resolution(tiff, shape);
  const uint16_t depth = fieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE);
  const uint16_t samples = fieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL);
  const uint16_t planes = fieldDefaulted(tiff, TIFFTAG_PLANARCONFIG);
  const uint16_t photometric = field<uint16_t>(tiff, TIFFTAG_PHOTOMETRIC, 0xFFFF);
  const uint16_t format = fieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT);
  uint16_t extraCount = 0;
  uint16_t *extraKinds = nullptr;
  TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
  const bool unassociated = extraCount == 1 && extraKinds[0] == EXTRASAMPLE_UNASSALPHA;
  const bool plainDepth = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
  const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
  const bool simple = !TIFFIsTiled(tiff) && plainDepth && format == SAMPLEFORMAT_UINT &&
                      (planes == PLANARCONFIG_CONTIG || samples == 1) &&
                      ((photometric == PHOTOMETRIC_PALETTE && samples == 1 && depth <= 8) ||
                       (grey && samples == 1) ||
                       (photometric == PHOTOMETRIC_RGB && depth >= 8 &&
                        (samples == 3 || (samples == 4 && unassociated))));
  if (!simple) return loadThroughRgba(tiff, shape, kind);

  const bool inverted = photometric == PHOTOMETRIC_MINISWHITE;
  Row layout = Row::Index;
  if (photometric == PHOTOMETRIC_PALETTE) {
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue)) return nullptr;
    shape.type = depth == 1 ? PEL_TYPE_BIT1 : depth <= 4 ? PEL_TYPE_BIT4 : PEL_TYPE_BIT8;
    for (uint32_t i = 0; i < (1u << depth); ++i)
      shape.palette.push_back(RGBQUAD{static_cast<BYTE>(blue[i] >> 8),
                                      static_cast<BYTE>(green[i] >> 8),
                                      static_cast<BYTE>(red[i] >> 8), 0});
  } else if (grey) {
    if (depth == 1) {
      shape.type = PEL_TYPE_BIT1;
      const BYTE dark = inverted ? 255 : 0;
      shape.palette = {RGBQUAD{dark, dark, dark, 0},
                       RGBQUAD{static_cast<BYTE>(255 - dark), static_cast<BYTE>(255 - dark),
                               static_cast<BYTE>(255 - dark), 0}};
    } else {
      shape.type = depth == 4 ? PEL_TYPE_GREY4 : PEL_TYPE_GREY8;
    }
  } else {
    shape.type = samples == 4 ? PEL_TYPE_BIT32 : PEL_TYPE_BIT24;
    layout = samples == 4 ? Row::Rgba : Row::Rgb;
  }
  Builder out;
  if (!out.begin(shape, kind)) return nullptr;
  const tmsize_t lineBytes = TIFFScanlineSize(tiff);
  if (lineBytes <= 0) return nullptr;
  std::vector<uint8_t> line(static_cast<size_t>(lineBytes) + 8);
  std::vector<uint8_t> row(size_t{shape.width} * 4);
  const uint32_t perPixel = layout == Row::Index ? 1 : samples;
  for (uint32_t y = 0; y < shape.height; ++y) {
    if (TIFFReadScanline(tiff, line.data(), y, 0) < 0) return nullptr;
    const uint32_t n = shape.width * perPixel;
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t v = sampleAt(line.data(), i, depth);
      if (grey && depth > 1) {
        const uint32_t top = depth == 4 ? 15 : depth == 2 ? 3 : 255;
        if (inverted) v = top - v;
        if (depth == 2) v *= 85;
      }
      row[i] = static_cast<uint8_t>(v);
    }
    out.put(y, row.data(), layout);
  }
  return out.release();
}

} // namespace

uint32_t countTiff(const char *path) {
  Tiff tiff = open(path, "r");
  if (!tiff) return 0;
  const tdir_t count = TIFFNumberOfDirectories(tiff.get());
  return count;
}

PELIMAGE *loadTiff(const char *path, int32_t kind, uint32_t page) {
  Tiff tiff = open(path, "r");
  if (!tiff || page > 0xFFFF || !TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(page)))
    return nullptr;
  return loadPage(tiff.get(), kind);
}

namespace {

bool writePage(TIFF *tiff, const Lines &in, uint16_t pageNumber, uint16_t pages) {
  const bool palette = in.hasPalette() && !in.isGrey();
  const int depth = in.hasPalette() ? in.bits() : 8;
  const uint16_t samples = in.hasPalette() ? 1 : in.bits() == 32 ? 4 : 3;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, in.width());
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, in.height());
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, depth);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
  if (pages > 1) {
    TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tiff, TIFFTAG_PAGENUMBER, pageNumber, pages);
  }
  if (in.xPerMetre() > 0 && in.yPerMetre() > 0) {
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<float>(in.xPerMetre() / 100.0));
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<float>(in.yPerMetre() / 100.0));
  }
  std::vector<uint16_t> map;
  if (palette) {
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
    const size_t size = size_t{1} << depth;
    map.assign(size * 3, 0);
    const std::vector<RGBQUAD> &table = in.palette();
    for (size_t i = 0; i < table.size() && i < size; ++i) {
      map[i] = static_cast<uint16_t>(table[i].rgbRed * 257);
      map[size + i] = static_cast<uint16_t>(table[i].rgbGreen * 257);
      map[2 * size + i] = static_cast<uint16_t>(table[i].rgbBlue * 257);
    }
    TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data() + size, map.data() + 2 * size);
  } else if (in.isGrey()) {
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  } else {
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    if (samples == 4) {
      const uint16_t kinds[] = {EXTRASAMPLE_UNASSALPHA};
      TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, kinds);
    }
  }
  std::vector<uint8_t> pixels(size_t{in.width()} * 4);
  std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize(tiff)) + 4);
  for (uint32_t y = 0; y < in.height(); ++y) {
    if (samples == 4) {
      in.rgba(y, line.data());
    } else if (samples == 3) {
      in.rgb(y, line.data());
    } else {
      in.indices(y, pixels.data());
      std::fill(line.begin(), line.end(), 0);
      for (uint32_t x = 0; x < in.width(); ++x) {
        if (depth == 1)
          line[x >> 3] |= static_cast<uint8_t>((pixels[x] & 1) << (7 - (x & 7)));
        else if (depth == 4)
          line[x >> 1] |= static_cast<uint8_t>((pixels[x] & 15) << ((x & 1) ? 0 : 4));
        else
          line[x] = pixels[x];
      }
    }
    if (TIFFWriteScanline(tiff, line.data(), y, 0) < 0) return false;
  }
  return TIFFWriteDirectory(tiff) != 0;
}

} // namespace

bool saveTiff(const std::vector<const PELIMAGE *> &pages, const char *path) {
  if (pages.size() > 0xFFFF) return false;
  std::vector<Lines> lines;
  for (const PELIMAGE *page : pages) {
    lines.emplace_back(page);
    if (!lines.back().valid()) return false;
  }
  Tiff tiff = open(path, "w");
  if (!tiff) return false;
  for (size_t i = 0; i < lines.size(); ++i)
    if (!writePage(tiff.get(), lines[i], static_cast<uint16_t>(i),
                   static_cast<uint16_t>(lines.size())))
      return false;
  return true;
}

} // namespace fio
