// SPDX-License-Identifier: MIT
//
// JPEG through libjpeg. Its errors end in a long jump back to the function
// that started the step; those functions keep their buffers in libjpeg's own
// pools or in their callers, so the jump skips no destructor.
#include "fio.hpp"

#include <csetjmp>
#include <cstdio>
// libjpeg's header needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace fio {
namespace {

struct ErrorTrap {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void jpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorTrap *>(info->err)->jump, 1);
}

// Quiet, except that a file ending early is an error, not grey padding.
void jpegMessage(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) jpegError(info);
}

void jpegOutput(j_common_ptr) {}

void installTrap(ErrorTrap &trap) {
  jpeg_std_error(&trap.base);
  trap.base.error_exit = jpegError;
  trap.base.emit_message = jpegMessage;
  trap.base.output_message = jpegOutput;
}

struct Decoder {
  jpeg_decompress_struct info{};
  ErrorTrap trap{};
  FILE *file = nullptr;
  bool created = false;
  ~Decoder() {
    if (created) jpeg_destroy_decompress(&info);
    if (file) std::fclose(file);
  }
};

uint8_t mul255(uint32_t a, uint32_t b) {
  const uint32_t t = a * b + 128;
  return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

bool startDecoding(Decoder &d, Shape &shape) {
  if (setjmp(d.trap.jump)) return false;
  jpeg_create_decompress(&d.info);
  d.created = true;
  d.info.mem->max_memory_to_use = static_cast<long>(kMaxCodecBytes);
  jpeg_stdio_src(&d.info, d.file);
  jpeg_read_header(&d.info, TRUE);
  const uint32_t width = d.info.image_width;
  const uint32_t height = d.info.image_height;
  shape.width = width;
  shape.height = height;
  switch (d.info.jpeg_color_space) {
  case JCS_GRAYSCALE:
    d.info.out_color_space = JCS_GRAYSCALE;
    shape.type = PEL_TYPE_GREY8;
    break;
  case JCS_CMYK:
  case JCS_YCCK:
    d.info.out_color_space = JCS_CMYK;
    shape.type = PEL_TYPE_BIT24;
    break;
  default:
    d.info.out_color_space = JCS_EXT_BGR;
    shape.type = PEL_TYPE_BIT24;
    break;
  }
  if (d.info.saw_JFIF_marker && d.info.X_density && d.info.Y_density) {
    shape.xPerMetre = perMetre(d.info.X_density, d.info.density_unit);
    shape.yPerMetre = perMetre(d.info.Y_density, d.info.density_unit);
  }
  // Refused before libjpeg sizes its buffers for the picture.
  if (!storeFits(width, height, shape.type == PEL_TYPE_GREY8 ? 8 : 24)) return false;
  jpeg_start_decompress(&d.info);
  return true;
}

bool readLines(Decoder &d, Builder &out) {
  if (setjmp(d.trap.jump)) return false;
  const uint32_t width = d.info.output_width;
  const int channels = d.info.output_components;
  JSAMPARRAY row = (*d.info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&d.info), JPOOL_IMAGE,
                                               width * channels, 1);
  const bool cmyk = d.info.out_color_space == JCS_CMYK;
  // Adobe's writers store CMYK inverted, and say so with their marker.
  const bool inverted = d.info.saw_Adobe_marker;
  while (d.info.output_scanline < d.info.output_height) {
    const uint32_t y = d.info.output_scanline;
    if (jpeg_read_scanlines(&d.info, row, 1) != 1) return false;
    uint8_t *line = row[0];
    if (cmyk) {
      // Converted in place, front to back: four bytes in, three out.
      for (uint32_t x = 0; x < width; ++x) {
        uint32_t c = line[4 * x], m = line[4 * x + 1], yel = line[4 * x + 2], k = line[4 * x + 3];
        if (!inverted) c = 255 - c, m = 255 - m, yel = 255 - yel, k = 255 - k;
        line[3 * x] = mul255(c, k);
        line[3 * x + 1] = mul255(m, k);
        line[3 * x + 2] = mul255(yel, k);
      }
      out.put(y, line, Row::Rgb);
    } else {
      out.put(y, line, channels == 1 ? Row::Index : Row::Bgr);
    }
  }
  jpeg_finish_decompress(&d.info);
  return true;
}

} // namespace

PELIMAGE *loadJpeg(const char *path, int32_t kind) {
  Decoder d;
  d.file = std::fopen(path, "rb");
  if (!d.file) return nullptr;
  installTrap(d.trap);
  d.info.err = &d.trap.base;
  Shape shape;
  if (!startDecoding(d, shape)) return nullptr;
  Builder out;
  if (!out.begin(shape, kind)) return nullptr;
  if (!readLines(d, out)) return nullptr;
  return out.release();
}

namespace {

struct Encoder {
  jpeg_compress_struct info{};
  ErrorTrap trap{};
  bool created = false;
  ~Encoder() {
    if (created) jpeg_destroy_compress(&info);
  }
};

bool encode(Encoder &e, FILE *file, const Lines &in, int quality, uint8_t *row) {
  if (setjmp(e.trap.jump)) return false;
  jpeg_create_compress(&e.info);
  e.created = true;
  jpeg_stdio_dest(&e.info, file);
  e.info.image_width = in.width();
  e.info.image_height = in.height();
  const bool grey = in.isGrey();
  e.info.input_components = grey ? 1 : 3;
  e.info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&e.info);
  jpeg_set_quality(&e.info, quality, TRUE);
  if (in.xPerMetre() > 0 && in.yPerMetre() > 0) {
    e.info.density_unit = 1;
    e.info.X_density = static_cast<UINT16>((in.xPerMetre() * 0.0254) + 0.5);
    e.info.Y_density = static_cast<UINT16>((in.yPerMetre() * 0.0254) + 0.5);
  }
  jpeg_start_compress(&e.info, TRUE);
  JSAMPROW rows[1] = {row};
  while (e.info.next_scanline < e.info.image_height) {
    const uint32_t y = e.info.next_scanline;
    if (grey)
      in.grey(y, row);
    else
      in.rgb(y, row);
    jpeg_write_scanlines(&e.info, rows, 1);
  }
  jpeg_finish_compress(&e.info);
  return true;
}

} // namespace

bool saveJpeg(const PELIMAGE *image, const char *path, int quality) {
  Lines in(image);
  if (!in.valid()) return false;
  std::vector<uint8_t> row(size_t{in.width()} * 3);
  FILE *file = std::fopen(path, "wb");
  if (!file) return false;
  Encoder e;
  installTrap(e.trap);
  e.info.err = &e.trap.base;
  bool ok = encode(e, file, in, quality, row.data());
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

} // namespace fio
