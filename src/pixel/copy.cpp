// SPDX-License-Identifier: MIT
//
// Turning an image upside down, and copying an image or a rectangle of it.
#include "core/detail.hpp"
#include "pixel/detail.hpp"

#include <algorithm>

using namespace pel::detail;

namespace {

bool runLength(const BITMAPINFOHEADER &h) {
  return compression(h) == BI_RLE4 || compression(h) == BI_RLE8;
}

// A run-length image has no lines to cut; only the whole of it is copied, as
// the bytes of its header block and its stream.
PELIMAGE *copyRunLength(const PELIMAGE &source, const CopyBounds &r, int32_t kind) {
  const IMAGECORE &core = *source.core;
  const BITMAPINFOHEADER &h = *core.header;
  if (r.left != 0 || r.top != 0 || r.right != width(h) || r.bottom != height(h)) return nullptr;
  const RGBQUAD *palette = reinterpret_cast<const RGBQUAD *>(afterHeader(core.header));
  ImagePtr copy(pelCreateImageEx(core.header, palette, kind));
  if (!copy || copy->core->headerSize != core.headerSize || copy->core->bitsSize != core.bitsSize)
    return nullptr;
  std::memcpy(copy->core->header, core.header, core.headerSize);
  std::memcpy(copy->core->bits, core.bits, core.bitsSize);
  pelUpdateImageInfo(copy.get(), 1, 1, 1);
  pelSynchronization(copy.get(), &source);
  return copy.release();
}

// The copy's pixel words are the source's, so only the source's masks
// describe them: carry them over and let the type follow.
void carryMasks(PELIMAGE &copy, const PELIMAGE &source) {
  if (!hasMasks(*source.core->header) || source.core->headerSize < kHeaderBytes + kMaskBytes ||
      !hasMasks(*copy.core->header) || copy.core->headerSize < kHeaderBytes + kMaskBytes)
    return;
  std::memcpy(afterHeader(copy.core->header), afterHeader(source.core->header), kMaskBytes);
  pelUpdateColors(&copy);
}

PELIMAGE *copyImage(const PELIMAGE *image, const int32_t *rect, int32_t kind, LineVisit visit,
                    void *context) {
  if (!image || !image->core || !image->core->header) return nullptr;
  const IMAGECORE &core = *image->core;
  const BITMAPINFOHEADER &source = *core.header;
  const CopyBounds r = clampCopyBounds(rect, width(source), height(source));
  if (r.empty()) return nullptr;
  if (runLength(source)) return core.bits ? copyRunLength(*image, r, kind) : nullptr;

  PlainLines from;
  if (!plainLines(image, from)) return nullptr;
  BITMAPINFOHEADER header = source;
  header.biWidth = r.right - r.left;
  header.biHeight = r.bottom - r.top;
  const RGBQUAD *palette =
      bitCount(source) <= 8 ? reinterpret_cast<const RGBQUAD *>(afterHeader(core.header)) : nullptr;
  ImagePtr copy(pelCreateImageEx(&header, palette, kind));
  PlainLines to;
  if (!copy || !plainLines(copy.get(), to) || to.bitCount != from.bitCount) return nullptr;
  carryMasks(*copy, *image);

  // Runs that start inside a byte come out one byte longer than a line of
  // the copy may be; the spare bytes take that byte.
  GlobalPtr<uint8_t> spare = globalNew<uint8_t>(to.lineBytes + 4);
  if (!spare) return nullptr;
  const uint32_t x0 = static_cast<uint32_t>(r.left), x1 = static_cast<uint32_t>(r.right);
  const std::size_t written = runBytesOut(from.bitCount, x0, x1);
  // Whole-byte pixels of a copy far larger than the caches are streamed.
  const bool streaming =
      !visit && from.bitCount >= 8 && to.lineBytes * to.height >= streamingBytes();
  const std::size_t pixelBytes = from.bitCount / 8;
  uint8_t *target = to.bits;
  for (int32_t y = r.bottom - 1; y >= r.top; --y, target += to.lineBytes) {
    // Straight into the copy's line where the run fits it; bytes after the
    // run are zero, as they would be coming from a zero-filled spare line.
    if (streaming) {
      streamBytes(target, from.line(static_cast<uint32_t>(y)) + x0 * pixelBytes, written);
      std::memset(target + written, 0, to.lineBytes - written);
    } else if (written <= to.lineBytes) {
      getRun(target, from, x0, x1, static_cast<uint32_t>(y));
      std::memset(target + written, 0, to.lineBytes - written);
    } else {
      getRun(spare.get(), from, x0, x1, static_cast<uint32_t>(y));
      std::memcpy(target, spare.get(), to.lineBytes);
    }
    if (visit) visit(context, target);
  }
  if (streaming) endStreaming();
  pelSynchronization(copy.get(), image);
  return copy.release();
}

} // namespace

PELIMAGE *pel::detail::copyImageVisiting(const PELIMAGE *image, int32_t kind, LineVisit visit,
                                         void *context) noexcept {
  return copyImage(image, nullptr, kind, visit, context);
}

extern "C" {

int32_t PELAPI pelSwapHeight(PELIMAGE *image) noexcept {
  PlainLines img;
  if (!plainLines(image, img)) return 0;
  // The bytes that hold a line's pixels; the padding bytes behind them stay.
  // Whole bytes trade places, so turning twice gives back every bit.
  const std::size_t bytes = runBytesOut(img.bitCount, 0, img.width);
  GlobalPtr<uint8_t> line = globalNew<uint8_t>(bytes);
  if (!line) return 0;
  for (uint32_t i = 0; i < img.height / 2; ++i) {
    uint8_t *top = img.line(i);
    uint8_t *bottom = img.line(img.height - 1 - i);
    std::memcpy(line.get(), bottom, bytes);
    std::memcpy(bottom, top, bytes);
    std::memcpy(top, line.get(), bytes);
  }
  return 1;
}

PELIMAGE *PELAPI pelCopyImage(const PELIMAGE *image, const int32_t *rect, int32_t kind) noexcept {
  return copyImage(image, rect, kind, nullptr, nullptr);
}

} // extern "C"
