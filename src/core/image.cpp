// SPDX-License-Identifier: MIT
//
// Image creation, destruction, re-synchronisation and the transparent colour.
#include "core/detail.hpp"

#include <array>

using namespace pel::detail;

namespace {

// What pelCreateImage writes into the header for each image type. A palette
// kind of -1 passes the caller's table on; a fixed count of -1 takes the
// caller's count made safe.
struct TypeLayout {
  uint16_t bitCount; // 0: the type is not made
  uint32_t compression;
  int32_t clrUsed;
  int32_t paletteKind;
};

constexpr int32_t kCallerCount = -1;
constexpr int32_t kCallerTable = -1;
constexpr int32_t kNoTable = -2;

constexpr std::array<TypeLayout, 12> kLayouts = {{
    {0, BI_RGB, 0, kNoTable},                // 0 unknown
    {1, BI_RGB, 2, kCallerTable},            // 1
    {4, BI_RGB, kCallerCount, kCallerTable}, // 2
    {4, BI_RGB, 16, PEL_PAL_GREY16},         // 3
    {0, BI_RLE4, 0, kNoTable},               // 4 run-length: not made
    {8, BI_RGB, kCallerCount, kCallerTable}, // 5
    {8, BI_RGB, 256, PEL_PAL_GREY256},       // 6
    {0, BI_RLE8, 0, kNoTable},               // 7 run-length: not made
    {16, BI_RGB, 0, kNoTable},               // 8
    {16, BI_BITFIELDS, 0, kNoTable},         // 9 masks come from creation
    {24, BI_RGB, 0, kNoTable},               // 10
    {32, BI_RGB, 0, kNoTable},               // 11
}};
static_assert(kLayouts.size() == PEL_TYPE_BIT32 + 1);

constexpr uint32_t kMasks565[3] = {0xF800, 0x07E0, 0x001F};
// A 32-bit bit-field header with nothing to copy gets the layout every 32-bit
// operation assumes rather than three zero masks no reader could use.
constexpr uint32_t kMasks888[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};

} // namespace

extern "C" {

PELIMAGE *PELAPI pelCreateImage(int32_t type, int32_t width, int32_t height, const RGBQUAD *colors,
                                uint32_t colorCount, int32_t xPelsPerMeter, int32_t yPelsPerMeter,
                                int32_t kind) noexcept {
  if (width == 0 || height == 0) return nullptr;
  if (type < 0 || type >= static_cast<int32_t>(kLayouts.size())) return nullptr;
  const TypeLayout &layout = kLayouts[static_cast<std::size_t>(type)];
  if (layout.bitCount == 0) return nullptr;

  BITMAPINFOHEADER header{};
  header.biSize = kHeaderBytes;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = layout.bitCount;
  header.biCompression = layout.compression;
  header.biXPelsPerMeter = xPelsPerMeter;
  header.biYPelsPerMeter = yPelsPerMeter;
  header.biClrUsed = layout.clrUsed == kCallerCount ? pelGetSafeClrUsed(colorCount, layout.bitCount)
                                                    : static_cast<uint32_t>(layout.clrUsed);

  std::array<RGBQUAD, 256> ramp{};
  const RGBQUAD *table = nullptr;
  if (layout.paletteKind == kCallerTable) {
    table = colors;
  } else if (layout.paletteKind >= 0) {
    pelCreateGDIColors(ramp.data(), static_cast<uint32_t>(layout.paletteKind));
    table = ramp.data();
  }
  return pelCreateImageEx(&header, table, kind);
}

PELIMAGE *PELAPI pelCreateImageEx(const BITMAPINFOHEADER *header, const RGBQUAD *colors,
                                  int32_t kind) noexcept {
  if (!header) return nullptr;
  BITMAPINFOHEADER copy;
  std::memcpy(&copy, header, sizeof copy);
  if (!pelVerifyBIH(&copy, nullptr)) return nullptr;

  auto image = globalNew<PELIMAGE>();
  if (!image) return nullptr;
  IMAGECORE *core =
      pelCoreAlloc(pelGetBiSize(&copy), static_cast<uint32_t>(pelGetBitsSize(&copy)), kind, 1);
  if (!core) return nullptr;
  image->core = core;

  std::memcpy(core->header, &copy, sizeof copy);
  uint8_t *behind = afterHeader(core->header);
  if (hasMasks(copy)) {
    std::memcpy(behind, bitCount(copy) == 16 ? kMasks565 : kMasks888, kMaskBytes);
  } else if (bitCount(copy) <= 8 && colors) {
    std::memcpy(behind, colors, copy.biClrUsed * sizeof(RGBQUAD));
  }

  pelUpdateImageInfo(image.get(), 0, 1, 1);
  // The table pointer doubles as the switch of the grey-ramp test: without a
  // table a palette image is never classified as grey.
  image->imageType = pelGetImageTypeEx(core->header, colors != nullptr);
  return image.release();
}

void PELAPI pelDestroyImage(PELIMAGE *image) noexcept {
  if (!image) return;
  if (image->core) pelCoreFree(image->core);
  os::GlobalFree(image);
}

void PELAPI pelUpdateImageInfo(PELIMAGE *image, int32_t updateType, int32_t updateLineBytes,
                               int32_t resetTransparency) noexcept {
  if (!image || !image->core || !image->core->header) return;
  const BITMAPINFOHEADER *header = image->core->header;
  if (updateType) image->imageType = pelGetImageType(header);
  if (updateLineBytes) image->lineBytes = pelGetLineBytes(header);
  image->transpValid = 1;
  if (resetTransparency) image->transpColor = kNoTransparency;
}

void PELAPI pelUpdateColors(PELIMAGE *image) noexcept {
  if (!image || !image->core || !image->core->header) return;
  image->imageType = pelGetImageType(image->core->header);
}

int32_t PELAPI pelIsTranspClr(const PELIMAGE *image) noexcept {
  return image && image->transpValid >= 1 && image->transpColor != kNoTransparency ? 1 : 0;
}

uint32_t PELAPI pelGetTranspClr(const PELIMAGE *image) noexcept {
  return image && image->transpValid >= 1 ? image->transpColor : kNoTransparency;
}

void PELAPI pelSetTranspClr(PELIMAGE *image, uint32_t color) noexcept {
  if (image && image->transpValid >= 1) image->transpColor = color;
}

void PELAPI pelSynchronization(PELIMAGE *target, const PELIMAGE *source) noexcept {
  if (target && source && target->transpValid >= 1 && source->transpValid >= 1)
    target->transpColor = source->transpColor;
}

} // extern "C"
