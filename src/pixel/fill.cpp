// SPDX-License-Identifier: MIT
//
// Whole-image fill with one colour, and the red-blue exchange in place.
#include "core/detail.hpp"
#include "pixel/detail.hpp"

#include <algorithm>

using namespace pel::detail;

namespace {

// Palette entries actually present behind the header, at most `wanted`.
uint32_t tableEntries(const PELIMAGE &image, uint32_t wanted) {
  const uint32_t room = image.core->headerSize > kHeaderBytes
                            ? (image.core->headerSize - kHeaderBytes) / sizeof(RGBQUAD)
                            : 0;
  return std::min(wanted, room);
}

const RGBQUAD *table(const PELIMAGE &image) {
  return reinterpret_cast<const RGBQUAD *>(afterHeader(image.core->header));
}

uint32_t nearestIndex(const PELIMAGE &image, uint32_t color, uint32_t bits) {
  const uint32_t count =
      tableEntries(image, std::min<uint32_t>(image.core->header->biClrUsed, 1u << bits));
  return pelGetNearestColorIndex(table(image), count, color);
}

uint32_t red(uint32_t rgb) { return rgb & 0xFF; }
uint32_t green(uint32_t rgb) { return (rgb >> 8) & 0xFF; }
uint32_t blue(uint32_t rgb) { return (rgb >> 16) & 0xFF; }

template <typename Step> void eachWord(const PlainLines &img, Step step) {
  for (uint32_t y = 0; y < img.height; ++y) {
    uint8_t *p = img.bits + static_cast<std::size_t>(y) * img.lineBytes;
    for (uint32_t x = 0; x < img.width; ++x, p += 2) {
      uint16_t v;
      std::memcpy(&v, p, 2);
      v = step(v);
      std::memcpy(p, &v, 2);
    }
  }
}

void exchangeBytes02(const PlainLines &img, std::size_t pixelBytes) {
  for (uint32_t y = 0; y < img.height; ++y) {
    uint8_t *p = img.bits + static_cast<std::size_t>(y) * img.lineBytes;
    for (uint32_t x = 0; x < img.width; ++x, p += pixelBytes) std::swap(p[0], p[2]);
  }
}

// The byte of a fill of a 1, 4 or 8-bit image: the nearest entry, repeated.
uint8_t fillByte(const PELIMAGE &image, uint32_t color, uint32_t bits) {
  const uint32_t i = nearestIndex(image, color, bits);
  switch (bits) {
  case 1: return i ? 0xFF : 0x00;
  case 4: return static_cast<uint8_t>((i & 0x0F) << 4 | (i & 0x0F));
  default: return static_cast<uint8_t>(i);
  }
}

uint16_t fillWord(const PELIMAGE &image, uint32_t color) {
  return static_cast<uint16_t>(
      image.imageType == PEL_TYPE_BIT555
          ? (red(color) >> 3) << 10 | (green(color) >> 3) << 5 | blue(color) >> 3
          : (red(color) >> 3) << 11 | (green(color) >> 2) << 5 | blue(color) >> 3);
}

} // namespace

namespace pel::detail {

std::size_t fillLine(const PELIMAGE &image, const PlainLines &img, uint32_t color,
                     uint8_t *line) noexcept {
  // Every line of a fill is the same: the padding of the whole-store fills
  // is a whole number of their units, as lines hold whole 4-byte words.
  switch (img.bitCount) {
  case 1:
  case 4:
  case 8:
    fillBytes(line, fillByte(image, color, img.bitCount), img.lineBytes);
    return img.lineBytes;
  case 16: fillWords(line, fillWord(image, color), img.lineBytes / 2); return img.lineBytes;
  case 24:
    fill3Bytes(line, blue(color) | green(color) << 8 | red(color) << 16, img.width);
    return std::size_t{img.width} * 3;
  default:
    fillDwords(line, blue(color) | green(color) << 8 | red(color) << 16, img.width);
    return std::size_t{img.width} * 4;
  }
}

} // namespace pel::detail

extern "C" {

int32_t PELAPI pelFillColor(PELIMAGE *image, uint32_t color) noexcept {
  PlainLines img;
  if (!plainLines(image, img)) return 0;
  const std::size_t store = img.lineBytes * img.height;
  const uint32_t bgr = blue(color) | green(color) << 8 | red(color) << 16;
  switch (img.bitCount) {
  case 1: fillBytes(img.bits, fillByte(*image, color, 1), store); break;
  case 4: fillBytes(img.bits, fillByte(*image, color, 4), store); break;
  case 8: fillBytes(img.bits, fillByte(*image, color, 8), store); break;
  case 16: fillWords(img.bits, fillWord(*image, color), store / 2); break;
  case 24:
    for (uint32_t y = 0; y < img.height; ++y)
      fill3Bytes(img.bits + static_cast<std::size_t>(y) * img.lineBytes, bgr, img.width);
    break;
  default: fillDwords(img.bits, bgr, std::size_t{img.width} * img.height); break;
  }
  return 1;
}

int32_t PELAPI pelSwapColor(PELIMAGE *image) noexcept {
  if (!image || !image->core || !image->core->header) return 0;
  switch (image->imageType) {
  case PEL_TYPE_BIT1:
  case PEL_TYPE_BIT4:
  case PEL_TYPE_GREY4:
  case PEL_TYPE_BIT8:
  case PEL_TYPE_GREY8: {
    auto *entries = reinterpret_cast<RGBQUAD *>(afterHeader(image->core->header));
    const uint32_t count = tableEntries(*image, image->core->header->biClrUsed);
    for (uint32_t i = 0; i < count; ++i) std::swap(entries[i].rgbBlue, entries[i].rgbRed);
    return 1;
  }
  default: break;
  }
  PlainLines img;
  if (image->imageType < PEL_TYPE_BIT555 || image->imageType > PEL_TYPE_BIT32 ||
      !plainLines(image, img))
    return 0;
  static constexpr uint32_t kBitsOfType[] = {16, 16, 24, 32};
  if (img.bitCount != kBitsOfType[image->imageType - PEL_TYPE_BIT555]) return 0;
  switch (image->imageType) {
  case PEL_TYPE_BIT555:
    eachWord(img, [](uint16_t v) {
      return static_cast<uint16_t>((v & 0x1F) << 10 | (v & 0x3E0) | (v >> 10 & 0x1F));
    });
    break;
  case PEL_TYPE_BIT565:
    eachWord(img, [](uint16_t v) {
      return static_cast<uint16_t>((v & 0x1F) << 11 | (v & 0x7E0) | (v >> 11 & 0x1F));
    });
    break;
  case PEL_TYPE_BIT24: exchangeBytes02(img, 3); break;
  default: exchangeBytes02(img, 4); break;
  }
  return 1;
}

} // extern "C"
