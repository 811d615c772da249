// SPDX-License-Identifier: MIT
// pelc from C++ (pelc.hpp): paints a gradient through typed line views, makes
// an 8-bit and a grey version, turns and frames them, keeps them in a list and
// reports what it holds. Every owner frees its image; nothing is freed by hand.
#include "pelc.hpp"

#include <cstdio>

namespace {

const char *typeName(std::int32_t type) {
  static const char *const names[] = {"unknown",       "1 bit",         "4 bits",     "4-bit grey",
                                      "4-bit RLE",     "8 bits",        "8-bit grey", "8-bit RLE",
                                      "16 bits 5-5-5", "16 bits 5-6-5", "24 bits",    "32 bits"};
  return type >= 0 && type <= PEL_TYPE_BIT32 ? names[type] : "?";
}

pel::Image gradient(std::int32_t width, std::int32_t height) {
  pel::Image image = pel::create(PEL_TYPE_BIT24, width, height);
  if (!image) return image;
  for (std::int32_t y = 0; y < height; ++y) {
    pel::Span<pel::Bgr> line = image.pixels<pel::Bgr>(static_cast<std::uint32_t>(y));
    for (std::size_t x = 0; x < line.size(); ++x)
      line[x] = pel::Bgr{static_cast<std::uint8_t>(255 * y / (height - 1)), 64,
                         static_cast<std::uint8_t>(255 * x / (line.size() - 1))};
  }
  return image;
}

} // namespace

int main() {
  pel::Image picture = gradient(160, 120);
  if (!picture) {
    std::fprintf(stderr, "cpp_images: no memory for the picture\n");
    return 1;
  }
  pel::ImageList list;
  pel::Image made[] = {picture.toBit8(), picture.toGrey8(), picture.rotatedQuarter(),
                       picture.withBorder(4, 4, 4, 4, pel::rgbPack(255, 255, 255))};
  for (pel::Image &image : made) {
    if (!image || list.add(std::move(image)) < 0) {
      std::fprintf(stderr, "cpp_images: an image was not made\n");
      return 1;
    }
  }
  list.add(std::move(picture));

  std::printf("pelc %s from C++: %u images\n", pel::kVersion, list.size());
  for (PELIMAGE *entry : list) {
    const BITMAPINFOHEADER &h = *entry->core->header;
    std::printf("  %4d x %-4d %-12s top left %06X\n", static_cast<int>(h.biWidth),
                static_cast<int>(h.biHeight), typeName(entry->imageType),
                static_cast<unsigned>(pelGetRGBpack(entry, 0, 0)));
  }
  return 0;
}
