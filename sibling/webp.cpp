// SPDX-License-Identifier: MIT
//
// WebP through libwebp: still pictures only (animations are refused).
// Quality 100 writes the lossless coding, anything lower the lossy one.
#include "fio.hpp"

#include <webp/decode.h>
#include <webp/encode.h>

#include <cstdio>

namespace fio {

PELIMAGE *loadWebp(const char *path, int32_t kind) {
  std::vector<uint8_t> data;
  if (!readWholeFile(path, kMaxStoreBytes, data)) return nullptr;
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return nullptr;
  if (WebPGetFeatures(data.data(), data.size(), &config.input) != VP8_STATUS_OK ||
      config.input.has_animation)
    return nullptr;
  Shape shape;
  shape.width = static_cast<uint32_t>(config.input.width);
  shape.height = static_cast<uint32_t>(config.input.height);
  shape.type = config.input.has_alpha ? PEL_TYPE_BIT32 : PEL_TYPE_BIT24;
  Builder out;
  if (!out.begin(shape, kind)) return nullptr;
  // Decoded straight into the image, bottom line first.
  PELIMAGE *image = out.release();
  config.options.flip = 1;
  config.output.colorspace = config.input.has_alpha ? MODE_BGRA : MODE_BGR;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = image->core->bits;
  config.output.u.RGBA.stride = image->lineBytes;
  config.output.u.RGBA.size = image->core->bitsSize;
  const bool ok = WebPDecode(data.data(), data.size(), &config) == VP8_STATUS_OK;
  WebPFreeDecBuffer(&config.output);
  if (!ok) {
    pelDestroyImage(image);
    return nullptr;
  }
  return image;
}

namespace {

int writeToFile(const uint8_t *data, size_t size, const WebPPicture *picture) {
  return std::fwrite(data, 1, size, static_cast<FILE *>(picture->custom_ptr)) == size;
}

} // namespace

bool saveWebp(const PELIMAGE *image, const char *path, int quality) {
  Lines in(image);
  if (!in.valid() || in.width() > WEBP_MAX_DIMENSION || in.height() > WEBP_MAX_DIMENSION)
    return false;
  const bool alpha = in.bits() == 32;
  const size_t channels = alpha ? 4 : 3;
  std::vector<uint8_t> pixels(size_t{in.width()} * in.height() * channels);
  for (uint32_t y = 0; y < in.height(); ++y) {
    uint8_t *row = pixels.data() + size_t{y} * in.width() * channels;
    if (alpha)
      in.rgba(y, row);
    else
      in.rgb(y, row);
  }
  WebPConfig config;
  WebPPicture picture;
  if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) return false;
  config.quality = static_cast<float>(quality);
  if (quality == 100) {
    config.lossless = 1;
    config.exact = 1; // keep the colour under transparent pixels
  }
  picture.use_argb = 1;
  picture.width = static_cast<int>(in.width());
  picture.height = static_cast<int>(in.height());
  const int stride = static_cast<int>(in.width() * channels);
  const bool imported = alpha ? WebPPictureImportRGBA(&picture, pixels.data(), stride)
                              : WebPPictureImportRGB(&picture, pixels.data(), stride);
  FILE *file = imported ? std::fopen(path, "wb") : nullptr;
  bool ok = false;
  if (file) {
    picture.writer = writeToFile;
    picture.custom_ptr = file;
    ok = WebPEncode(&config, &picture) != 0;
    ok = std::fclose(file) == 0 && ok;
  }
  WebPPictureFree(&picture);
  return ok;
}

} // namespace fio
