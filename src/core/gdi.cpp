// SPDX-License-Identifier: MIT
//
// Images in and out of the two Windows bitmap forms: packed DIBs in global
// memory blocks and device-dependent bitmaps of the screen. Attach and detach
// hand the object over; copies leave it to the caller.
#include "core/detail.hpp"
#include "pixel/detail.hpp"

#include <algorithm>
#include <array>

using namespace pel::detail;

namespace {

constexpr int32_t kMovable = 2;
constexpr int32_t kFixedBlock = 3;

BITMAPINFOHEADER *lockedHeader(HGLOBAL block) {
  return static_cast<BITMAPINFOHEADER *>(os::GlobalLock(block));
}

// The bytes the header says its block holds, in 64 bits; the caller's block
// must hold them all before anything reads past the 40 bytes.
uint64_t claimedBytes(const BITMAPINFOHEADER &h) {
  return uint64_t{pelGetBiSize(&h)} + static_cast<uint32_t>(pelGetBitsSize(&h));
}

bool runLength(const BITMAPINFOHEADER &h) {
  return compression(h) == BI_RLE4 || compression(h) == BI_RLE8;
}

// The screen's device context, released at the end of the scope.
struct ScreenDc {
  os::HDC dc = os::GetDC(nullptr);
  ~ScreenDc() {
    if (dc) os::ReleaseDC(nullptr, dc);
  }
  ScreenDc() = default;
  ScreenDc(const ScreenDc &) = delete;
  ScreenDc &operator=(const ScreenDc &) = delete;
};

// A memory device context with one bitmap selected, put back at the end.
class SelectedBitmap {
public:
  SelectedBitmap(os::HDC screen, os::HGDIOBJ bitmap) : dc_(os::CreateCompatibleDC(screen)) {
    if (dc_) previous_ = os::SelectObject(dc_, bitmap);
  }
  ~SelectedBitmap() {
    if (previous_) os::SelectObject(dc_, previous_);
    if (dc_) os::DeleteDC(dc_);
  }
  SelectedBitmap(const SelectedBitmap &) = delete;
  SelectedBitmap &operator=(const SelectedBitmap &) = delete;
  bool ok() const { return dc_ && previous_; }
  os::HDC dc() const { return dc_; }

private:
  os::HDC dc_;
  os::HGDIOBJ previous_ = nullptr;
};

} // namespace

extern "C" {

PELIMAGE *PELAPI pelAttachDIB(HGLOBAL block) noexcept {
  auto image = globalNew<PELIMAGE>();
  auto core = globalNew<IMAGECORE>();
  BITMAPINFOHEADER *header = image && core ? lockedHeader(block) : nullptr;
  if (!header) return nullptr;
  // Too short for the header, or for what the repaired header says (with the
  // colour table a true-colour block may carry): the block stays the
  // caller's, unlocked again and unchanged.
  const uint64_t size = os::GlobalSize(block);
  BITMAPINFOHEADER repaired;
  if (size >= kHeaderBytes) std::memcpy(&repaired, header, sizeof repaired);
  if (size < kHeaderBytes || !pelVerifyBIH(&repaired, nullptr) ||
      claimedBytes(repaired) + trueColourTableBytes(*header, repaired) > size) {
    os::GlobalUnlock(block);
    return nullptr;
  }
  // The block becomes a plain packed DIB: the repaired header, and the bits
  // moved down over a true-colour table the repair no longer counts.
  const auto table = static_cast<std::size_t>(trueColourTableBytes(*header, repaired));
  std::memcpy(header, &repaired, sizeof repaired);
  if (table) {
    uint8_t *bits = reinterpret_cast<uint8_t *>(header) + pelGetBiSize(header);
    std::memmove(bits, bits + table, static_cast<uint32_t>(pelGetBitsSize(header)));
  }
  core->header = header;
  core->headerSize = pelGetBiSize(header);
  core->bits = reinterpret_cast<uint8_t *>(header) + core->headerSize;
  core->bitsSize = static_cast<uint32_t>(pelGetBitsSize(header));
  core->memKind = kMovable;
  core->contiguous = 1;
  image->core = core.release();
  pelUpdateImageInfo(image.get(), 1, 1, 1);
  return image.release();
}

HGLOBAL PELAPI pelDetachDIB(PELIMAGE *image) noexcept {
  if (!image || !image->core || !image->core->header) return nullptr;
  IMAGECORE *core = image->core;
  if ((core->memKind == kMovable || core->memKind == kFixedBlock) && core->contiguous) {
    // The store is a packed DIB already: hand the block itself over.
    HGLOBAL block = os::GlobalHandle(core->header);
    if (!block) return nullptr;
    // The table follows at byte 40 whatever biSize the image kept; readers
    // of the block look for it where biSize says.
    core->header->biSize = kHeaderBytes;
    os::GlobalFree(core);
    os::GlobalFree(image);
    os::GlobalUnlock(block);
    return block;
  }
  const uint64_t bytes = uint64_t{core->headerSize} + core->bitsSize;
  if (bytes > kMaxStoreBytes) return nullptr;
  HGLOBAL block = os::GlobalAlloc(GHND, static_cast<std::size_t>(bytes));
  auto *target = block ? static_cast<uint8_t *>(os::GlobalLock(block)) : nullptr;
  if (!target) {
    if (block) os::GlobalFree(block);
    return nullptr;
  }
  std::memcpy(target, core->header, core->headerSize);
  reinterpret_cast<BITMAPINFOHEADER *>(target)->biSize = kHeaderBytes;
  std::memcpy(target + core->headerSize, core->bits, core->bitsSize);
  pelDestroyImage(image);
  os::GlobalUnlock(block);
  return block;
}

PELIMAGE *PELAPI pelAttachDDB(HBITMAP bitmap, int32_t bitCount, int32_t kind) noexcept {
  os::BITMAP bm{};
  if (!bitmap || !os::GetObjectA(bitmap, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0)
    return nullptr;
  const int32_t bits =
      bitCount ? bitCount : static_cast<int32_t>(uint32_t{bm.bmPlanes} * bm.bmBitsPixel);
  if (!pelCheckBitCount(bits)) return nullptr;
  BITMAPINFOHEADER h{};
  h.biSize = kHeaderBytes;
  h.biWidth = bm.bmWidth;
  h.biHeight = bm.bmHeight;
  h.biPlanes = 1;
  h.biBitCount = static_cast<uint16_t>(bits);
  ImagePtr image(pelCreateImageEx(&h, nullptr, kind));
  if (!image) return nullptr;
  int lines = 0;
  {
    ScreenDc screen;
    if (screen.dc)
      lines =
          os::GetDIBits(screen.dc, bitmap, 0, static_cast<UINT>(bm.bmHeight), image->core->bits,
                        reinterpret_cast<os::BITMAPINFO *>(image->core->header), DIB_RGB_COLORS);
  }
  // A bitmap that could not be read stays the caller's; no blank image.
  if (lines < bm.bmHeight) return nullptr;
  os::DeleteObject(bitmap);
  pelUpdateColors(image.get());
  return image.release();
}

HBITMAP PELAPI pelCreateDDB(const PELIMAGE *image) noexcept {
  if (!image || !image->core || !image->core->header || !image->core->bits) return nullptr;
  const BITMAPINFOHEADER &h = *image->core->header;
  // GDI reads the table where biSize says; the image's table follows at byte
  // 40 whatever biSize it kept, so GDI gets a header block that says 40.
  std::array<uint8_t, kHeaderBytes + 256 * sizeof(RGBQUAD)> info{};
  const std::size_t infoBytes = std::min<std::size_t>(image->core->headerSize, info.size());
  std::memcpy(info.data(), image->core->header, std::max<std::size_t>(infoBytes, kHeaderBytes));
  reinterpret_cast<BITMAPINFOHEADER *>(info.data())->biSize = kHeaderBytes;
  ScreenDc screen;
  if (!screen.dc) return nullptr;
  os::HBITMAP bitmap = os::CreateCompatibleBitmap(screen.dc, width(h), height(h));
  if (!bitmap) return nullptr;
  const int lines =
      os::SetDIBits(screen.dc, bitmap, 0, static_cast<UINT>(height(h)), image->core->bits,
                    reinterpret_cast<const os::BITMAPINFO *>(info.data()), DIB_RGB_COLORS);
  // A transfer that failed gives no blank bitmap.
  if (lines == 0) {
    os::DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

HBITMAP PELAPI pelDetachDDB(PELIMAGE *image) noexcept {
  HBITMAP bitmap = pelCreateDDB(image);
  pelDestroyImage(image);
  return bitmap;
}

PELIMAGE *PELAPI pelCopyDIB(HGLOBAL block, const int32_t *rect, int32_t, int32_t kind) noexcept {
  BITMAPINFOHEADER *header = lockedHeader(block);
  if (!header) return nullptr;
  PELIMAGE *result = nullptr;
  // The block must hold what its repaired header says before it is wrapped;
  // a rectangle of a run-length stream has no meaning.
  BITMAPINFOHEADER copy;
  const uint64_t size = os::GlobalSize(block);
  if (size >= kHeaderBytes) {
    std::memcpy(&copy, header, sizeof copy);
    if (pelVerifyBIH(&copy, nullptr) &&
        claimedBytes(copy) + trueColourTableBytes(*header, copy) <= size && !runLength(copy)) {
      if (PELIMAGE *temporary = pelGetTempPELIMAGE(header)) {
        // The copy keeps the block's masks and type, like any image copy.
        result = pelCopyImage(temporary, rect, kind);
        pelReleaseTempPELIMAGE(temporary);
      }
    }
  }
  os::GlobalUnlock(block);
  return result;
}

PELIMAGE *PELAPI pelCopyDDB(HBITMAP bitmap, const int32_t *rect, int32_t bitCount,
                            int32_t kind) noexcept {
  os::BITMAP bm{};
  if (!bitmap || !os::GetObjectA(bitmap, sizeof bm, &bm)) return nullptr;
  const CopyBounds r = clampCopyBounds(rect, bm.bmWidth, bm.bmHeight);
  if (r.empty()) return nullptr;
  const int w = r.right - r.left, h = r.bottom - r.top;
  os::HBITMAP made = nullptr;
  {
    ScreenDc screen;
    if (!screen.dc) return nullptr;
    made = os::CreateCompatibleBitmap(screen.dc, w, h);
    if (!made) return nullptr;
    bool copied = false;
    {
      SelectedBitmap from(screen.dc, bitmap), to(screen.dc, made);
      copied = from.ok() && to.ok() &&
               os::BitBlt(to.dc(), 0, 0, w, h, from.dc(), r.left, r.top, SRCCOPY);
    }
    if (!copied) {
      os::DeleteObject(made);
      return nullptr;
    }
  }
  PELIMAGE *image = pelAttachDDB(made, bitCount, kind);
  if (!image) os::DeleteObject(made);
  return image;
}

} // extern "C"
