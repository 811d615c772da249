// SPDX-License-Identifier: MIT
//
// Header arithmetic, the repairing and the strict validation, and the
// classification of a header into an image type.
#include "core/detail.hpp"

using namespace pel::detail;

namespace {

// Colour entries for a count and a bit count: the full table for 0, never more.
uint32_t clrUsedFor(uint32_t count, uint32_t bits) {
  if (bits > 8) return 0;
  const uint32_t full = 1u << bits;
  return count == 0 || count > full ? full : count;
}

// The compression rule both validations share; none of its refusals is flagged.
// Run-length stores beyond the size rule are refused like the others.
bool compressionFits(const BITMAPINFOHEADER &h) {
  const uint32_t comp = compression(h);
  const uint32_t bits = bitCount(h);
  switch (comp) {
  case BI_RGB: return true;
  case BI_RLE8: return bits == 8 && h.biSizeImage != 0 && h.biSizeImage <= kMaxStoreBytes;
  case BI_RLE4: return bits == 4 && h.biSizeImage != 0 && h.biSizeImage <= kMaxStoreBytes;
  case BI_BITFIELDS: return bits == 16 || bits == 32;
  default: return false;
  }
}

int32_t negated(int32_t v) { return static_cast<int32_t>(0u - static_cast<uint32_t>(v)); }

} // namespace

extern "C" {

uint32_t PELAPI pelCalcClrUsed(uint32_t bitCount) noexcept {
  return bitCount <= 8 ? 1u << bitCount : 0;
}

uint32_t PELAPI pelGetClrUsed(const BITMAPINFOHEADER *header) noexcept {
  if (!header) return 0;
  return clrUsedFor(header->biClrUsed, bitCount(*header));
}

uint32_t PELAPI pelGetSafeClrUsed(uint32_t colorCount, uint32_t bitCount) noexcept {
  return clrUsedFor(colorCount, bitCount);
}

uint32_t PELAPI pelCalcBiSize(uint32_t bitCount) noexcept {
  return bitCount > 8 ? kHeaderBytes : kHeaderBytes + 4 * pelCalcClrUsed(bitCount);
}

uint32_t PELAPI pelGetBiSize(const BITMAPINFOHEADER *header) noexcept {
  if (!header) return 0;
  if (bitCount(*header) <= 8) return kHeaderBytes + 4 * pelGetClrUsed(header);
  return compression(*header) == BI_BITFIELDS ? kHeaderBytes + kMaskBytes : kHeaderBytes;
}

// The documented 32-bit formulas; they wrap for absurd widths, which only the
// validations refuse.
uint32_t PELAPI pelCalcLineBytes(int32_t width, uint32_t bitCount) noexcept {
  return ((static_cast<uint32_t>(width) * bitCount + 31) >> 3) & ~3u;
}

int32_t PELAPI pelGetLineBytes(const BITMAPINFOHEADER *header) noexcept {
  if (!header) return 0;
  const auto sum =
      static_cast<int32_t>(static_cast<uint32_t>(width(*header)) * bitCount(*header) + 31);
  return (sum >> 3) & ~3;
}

uint32_t PELAPI pelCalcDDBLineBytes(int32_t width, uint32_t bitCount) noexcept {
  return ((static_cast<uint32_t>(width) * bitCount + 15) >> 3) & ~1u;
}

uint32_t PELAPI pelCalcOCRLineBytes(int32_t width, uint32_t bitCount) noexcept {
  return (static_cast<uint32_t>(width) * bitCount + 7) >> 3;
}

uint32_t PELAPI pelCalcBitsSize(int32_t width, int32_t height, uint32_t bitCount) noexcept {
  return pelCalcLineBytes(width, bitCount) * static_cast<uint32_t>(height);
}

int32_t PELAPI pelGetBitsSize(const BITMAPINFOHEADER *header) noexcept {
  if (!header) return 0;
  const uint32_t comp = compression(*header);
  if (comp != BI_RGB && comp != BI_BITFIELDS) return static_cast<int32_t>(header->biSizeImage);
  const auto line = static_cast<uint32_t>(pelGetLineBytes(header));
  return static_cast<int32_t>(line * static_cast<uint32_t>(height(*header)));
}

int32_t PELAPI pelCheckBitCount(int32_t bitCount) noexcept {
  switch (bitCount) {
  case 1:
  case 4:
  case 8:
  case 16:
  case 24:
  case 32: return 1;
  default: return 0;
  }
}

int32_t PELAPI pelVerifyBIH(BITMAPINFOHEADER *header, uint32_t *errorWord) noexcept {
  uint32_t flags = 0;
  auto finish = [&](int32_t result) {
    if (errorWord) *errorWord = flags;
    return result;
  };
  if (!header) return finish(0);
  BITMAPINFOHEADER &h = *header;

  if (h.biSize != kHeaderBytes) {
    flags |= PEL_BIH_SIZE;
    if (h.biSize < kHeaderBytes) return finish(0);
  }
  if (width(h) == 0 || height(h) == 0) {
    flags |= PEL_BIH_DIMENSION;
    return finish(0);
  }
  if (width(h) < 0) {
    flags |= PEL_BIH_DIMENSION;
    h.biWidth = negated(width(h));
  }
  if (height(h) < 0) {
    flags |= PEL_BIH_HEIGHT;
    h.biHeight = negated(height(h));
  }
  // The most negative value has no positive counterpart.
  if (width(h) <= 0 || height(h) <= 0) return finish(0);

  if (h.biPlanes != 1) {
    flags |= PEL_BIH_PLANES;
    // The product is kept to 16 bits, as the field holds; computed unsigned,
    // since two 16-bit factors overflow a signed int.
    if (h.biPlanes != 0)
      h.biBitCount = static_cast<uint16_t>(uint32_t{h.biBitCount} * uint32_t{h.biPlanes});
    h.biPlanes = 1;
  }

  const uint32_t bits = bitCount(h);
  if (bits == 0) {
    flags |= PEL_BIH_BITCOUNT;
    return finish(0);
  }
  if (bits > 8) {
    if (bits != 16 && bits != 24 && bits != 32) {
      flags |= PEL_BIH_BITCOUNT;
      return finish(0);
    }
    if (h.biClrUsed != 0) {
      flags |= PEL_BIH_CLRUSED;
      h.biClrUsed = 0;
    }
  } else if (bits == 1 || bits == 4 || bits == 8) {
    const uint32_t count = pelGetClrUsed(&h);
    if (h.biClrUsed != count) {
      flags |= PEL_BIH_CLRUSED;
      h.biClrUsed = count;
    }
  } else {
    // 2, 3, 5, 6 and 7 bits become the next supported depth with a full table
    // of the old depth.
    flags |= PEL_BIH_BITCOUNT;
    const uint32_t full = 1u << bits;
    if (h.biClrUsed != full) {
      flags |= PEL_BIH_CLRUSED;
      h.biClrUsed = full;
    }
    h.biBitCount = bits > 4 ? 8 : 4;
  }

  if (!compressionFits(h)) return finish(0);

  const uint32_t comp = compression(h);
  const bool plain = comp == BI_RGB || comp == BI_BITFIELDS;
  if (plain && !storeFits(h)) {
    flags |= PEL_BIH_SIZEIMAGE;
    return finish(0);
  }
  const auto size = static_cast<uint32_t>(pelGetBitsSize(&h));
  if (h.biSizeImage == 0 || (h.biSizeImage != size && plain)) {
    flags |= PEL_BIH_SIZEIMAGE;
    h.biSizeImage = size;
    if (size == 0) return finish(0);
  }

  if (h.biXPelsPerMeter == 0 || h.biYPelsPerMeter == 0) {
    flags |= PEL_BIH_RESOLUTION;
    if (h.biXPelsPerMeter != 0)
      h.biYPelsPerMeter = h.biXPelsPerMeter;
    else if (h.biYPelsPerMeter != 0)
      h.biXPelsPerMeter = h.biYPelsPerMeter;
  }
  return finish(1);
}

int32_t PELAPI pelCheckBIH(const BITMAPINFOHEADER *header, uint32_t *errorWord) noexcept {
  uint32_t flags = 0;
  auto fail = [&](uint32_t flag) {
    flags |= flag;
    if (errorWord) *errorWord = flags;
    return 0;
  };
  if (errorWord) *errorWord = 0;
  if (!header) return 0;
  const BITMAPINFOHEADER &h = *header;

  if (h.biSize < kHeaderBytes) return fail(PEL_BIH_SIZE);
  if (width(h) <= 0 || height(h) <= 0) return fail(PEL_BIH_DIMENSION);
  if (h.biPlanes != 1) return fail(PEL_BIH_PLANES);
  if (!pelCheckBitCount(h.biBitCount)) return fail(PEL_BIH_BITCOUNT);
  if (bitCount(h) > 8 ? h.biClrUsed != 0 : h.biClrUsed != pelGetClrUsed(&h))
    return fail(PEL_BIH_CLRUSED);
  if (!compressionFits(h)) return 0;
  const uint32_t comp = compression(h);
  const bool plain = comp == BI_RGB || comp == BI_BITFIELDS;
  if (plain && !storeFits(h)) return fail(PEL_BIH_SIZEIMAGE);
  if (h.biSizeImage == 0 || h.biSizeImage != static_cast<uint32_t>(pelGetBitsSize(&h)))
    return fail(PEL_BIH_SIZEIMAGE);
  return 1;
}

int32_t PELAPI pelGetImageTypeEx(const BITMAPINFOHEADER *header, int32_t greyTest) noexcept {
  if (!header) return PEL_TYPE_UNKNOWN;
  const uint32_t comp = compression(*header);
  // A table shorter than the ramp cannot be the ramp, and the bytes behind it
  // are not the header's to read.
  auto isRamp = [&](uint32_t entries, uint32_t kind) {
    return greyTest && pelGetClrUsed(header) >= entries &&
           pelIsGDIColors(reinterpret_cast<const RGBQUAD *>(afterHeader(header)), kind);
  };
  switch (bitCount(*header)) {
  case 1: return PEL_TYPE_BIT1;
  case 4:
    if (comp == BI_RLE4) return PEL_TYPE_RLE4;
    return isRamp(16, PEL_PAL_GREY16) ? PEL_TYPE_GREY4 : PEL_TYPE_BIT4;
  case 8:
    if (comp == BI_RLE8) return PEL_TYPE_RLE8;
    return isRamp(256, PEL_PAL_GREY256) ? PEL_TYPE_GREY8 : PEL_TYPE_BIT8;
  case 16: {
    if (comp != BI_BITFIELDS) return PEL_TYPE_BIT555;
    uint32_t redMask = 0;
    std::memcpy(&redMask, afterHeader(header), sizeof redMask);
    return redMask == 0xF800 ? PEL_TYPE_BIT565 : PEL_TYPE_BIT555;
  }
  case 24: return PEL_TYPE_BIT24;
  case 32: return PEL_TYPE_BIT32;
  default: return PEL_TYPE_UNKNOWN;
  }
}

int32_t PELAPI pelGetImageType(const BITMAPINFOHEADER *header) noexcept {
  return pelGetImageTypeEx(header, 1);
}

} // extern "C"
