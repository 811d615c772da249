// SPDX-License-Identifier: MIT
//
// Temporary handles over a caller's DIB: the header is validated in a copy of
// the handle's own, the bits are shared, never copied and never freed.
#include "core/detail.hpp"

using namespace pel::detail;

extern "C" {

PELIMAGE *PELAPI pelGetTempPELIMAGEx(const BITMAPINFOHEADER *header, void *bits) noexcept {
  if (!header || !bits) return nullptr;
  BITMAPINFOHEADER copy;
  std::memcpy(&copy, header, sizeof copy);
  if (!pelVerifyBIH(&copy, nullptr)) return nullptr;
  // A repaired bit count would describe more bytes than the caller's bits
  // hold; only a private store could take that repair.
  if (copy.biBitCount != header->biBitCount) return nullptr;

  auto image = globalNew<PELIMAGE>();
  if (!image) return nullptr;
  auto core = globalNew<IMAGECORE>();
  if (!core) return nullptr;
  const uint32_t headerSize = pelGetBiSize(&copy);
  auto block = globalNew<BITMAPINFOHEADER>(headerSize);
  if (!block) return nullptr;

  std::memcpy(block.get(), &copy, sizeof copy);
  // Masks are the caller's too: they describe the caller's pixel words.
  if (hasMasks(copy)) {
    std::memcpy(afterHeader(block.get()), afterHeader(header), kMaskBytes);
  } else if (bitCount(copy) <= 8) {
    std::memcpy(afterHeader(block.get()), afterHeader(header), copy.biClrUsed * sizeof(RGBQUAD));
  }

  core->header = block.release();
  core->bits = static_cast<uint8_t *>(bits);
  core->headerSize = headerSize;
  core->bitsSize = static_cast<uint32_t>(pelGetBitsSize(&copy));
  core->memKind = 0;
  core->contiguous = 0;
  image->core = core.release();
  pelUpdateImageInfo(image.get(), 1, 1, 1);
  return image.release();
}

PELIMAGE *PELAPI pelGetTempPELIMAGE(void *dib) noexcept {
  if (!dib) return nullptr;
  auto *header = static_cast<BITMAPINFOHEADER *>(dib);
  BITMAPINFOHEADER repaired;
  std::memcpy(&repaired, header, sizeof repaired);
  if (!pelVerifyBIH(&repaired, nullptr)) return nullptr;
  // A true-colour DIB may carry a colour table; its bits follow it.
  const uint64_t table = trueColourTableBytes(*header, repaired);
  if (table > kMaxStoreBytes) return nullptr;
  return pelGetTempPELIMAGEx(header, static_cast<uint8_t *>(dib) + pelGetBiSize(header) +
                                         static_cast<std::size_t>(table));
}

void PELAPI pelReleaseTempPELIMAGE(PELIMAGE *image) noexcept {
  if (!image) return;
  IMAGECORE *core = image->core;
  if (core && core->memKind == 0 && core->contiguous == 0) {
    os::GlobalFree(core->header);
    os::GlobalFree(core);
  } else if (core) {
    pelCoreFree(core);
  }
  os::GlobalFree(image);
}

} // extern "C"
