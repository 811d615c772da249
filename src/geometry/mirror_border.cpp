// SPDX-License-Identifier: MIT
//
// Mirror and border repair: new images built a line at a time from the
// scan-line operations, so every depth moves whole runs in its own stored
// format.
#include "core/detail.hpp"
#include "geometry/detail.hpp"
#include "pixel/detail.hpp"

#include <algorithm>
#include <limits>
#include <optional>

using namespace pel::detail;

namespace {

// Picture line y of an image as a line buffer: its stored line.
uint8_t *pictureLine(PELIMAGE *image, int32_t y) {
  return storedLine(image->core->bits, image->lineBytes,
                    int64_t{height(*image->core->header)} - 1 - y);
}

// Each mode writes line k and line H-1-k of the result from the other end
// (or the same end) of the source, reversed or not. False when a line could
// not be moved (a reversed packed run needs a work block).
bool mirrorLines(PELIMAGE *src, PELIMAGE *dst, uint32_t mode) {
  const int32_t w = width(*src->core->header), h = height(*src->core->header);
  const auto xEnd = static_cast<uint32_t>(w);
  auto move = [&](int32_t to, int32_t from, bool reversed) {
    const auto y = static_cast<uint32_t>(from);
    return reversed ? pelGetRevHorLine(pictureLine(dst, to), src, 0, xEnd, y) != 0
                    : pelGetHorLine(pictureLine(dst, to), src, 0, xEnd, y) != 0;
  };
  if (mode == 0) {
    // Bottom picture line first: the stored lines in memory order.
    for (int32_t y = h - 1; y >= 0; --y)
      if (!move(y, y, true)) return false;
    return true;
  }
  const bool reversed = mode != 1;
  for (int32_t k = 0; k < (h + 1) / 2; ++k)
    if (!move(h - 1 - k, k, reversed) || !move(k, h - 1 - k, reversed)) return false;
  return true;
}

// A side and its margins, in 64 bits so that no margin can overflow: the
// kept source span, where it lands, and the new extent.
struct Span {
  int64_t srcBegin, srcEnd, dstBegin, extent;
};
bool spanOf(int64_t size, int64_t before, int64_t after, Span &span) {
  span.extent = size + before + after;
  if (size + before < 1 || size + after < 1 || span.extent < 1 ||
      span.extent > std::numeric_limits<int32_t>::max())
    return false;
  span.srcBegin = std::max<int64_t>(0, -before);
  span.srcEnd = size + std::min<int64_t>(0, after);
  span.dstBegin = std::max<int64_t>(0, before);
  return true;
}

// The result of a border repair between plain images of one depth, made a
// line at a time in store order: each byte is written once, the margins from
// one painted line (what the fill of the whole result would give), the kept
// run from the source line, the line's padding as 0 (the store may not have
// been cleared). Packed runs that start or end inside a byte are
// written over the painted line by the scan-line writer, as before.
bool borderLines(const PELIMAGE &result, const PlainLines &from, const PlainLines &to,
                 uint32_t color, const Span &across, const Span &down) {
  const auto sx0 = static_cast<uint32_t>(across.srcBegin);
  const auto sx1 = static_cast<uint32_t>(across.srcEnd);
  const auto dx0 = static_cast<uint32_t>(across.dstBegin);
  const uint32_t dx1 = dx0 + (sx1 - sx0);
  const std::size_t runBytes = runBytesOut(from.bitCount, sx0, sx1);
  const std::size_t scratchBytes = runScratchBytes(to.bitCount, dx0, dx1);
  auto work = globalNew<uint8_t>(to.lineBytes + runBytes + scratchBytes + 8);
  if (!work) return false;
  uint8_t *painted = work.get();
  uint8_t *run = painted + to.lineBytes;
  uint8_t *scratch = run + runBytes + 4;
  const std::size_t paintedBytes = fillLine(result, to, color, painted);
  const int64_t firstKept = down.dstBegin, endKept = down.dstBegin + (down.srcEnd - down.srcBegin);
  const std::size_t unit = to.bitCount / 8;
  uint8_t *d = to.bits;
  for (uint32_t s = 0; s < to.height; ++s, d += to.lineBytes) {
    const uint32_t y = to.height - 1 - s;
    std::memset(d + paintedBytes, 0, to.lineBytes - paintedBytes);
    if (y < firstKept || y >= endKept) {
      std::memcpy(d, painted, paintedBytes);
      continue;
    }
    const auto fromY = static_cast<uint32_t>(down.srcBegin + (y - firstKept));
    if (unit == 0) {
      std::memcpy(d, painted, paintedBytes);
      getRun(run, from, sx0, sx1, fromY);
      setRun(to, run, dx0, dx1, y, scratch);
      continue;
    }
    std::memcpy(d, painted, dx0 * unit);
    std::memcpy(d + dx0 * unit, from.line(fromY) + sx0 * unit, runBytes);
    std::memcpy(d + dx1 * unit, painted + dx1 * unit, paintedBytes - dx1 * unit);
  }
  return true;
}

} // namespace

extern "C" {

PELIMAGE *PELAPI pelMirror(PELIMAGE *image, uint32_t mode) noexcept {
  if (!hasHeader(image)) return nullptr;
  const BITMAPINFOHEADER &h = *image->core->header;
  ImagePtr result = makeResultLike(*image, width(h), height(h));
  if (!result) return nullptr;
  // A result with lines missing is no result.
  if (!mirrorLines(image, result.get(), mode)) return nullptr;
  return result.release();
}

PELIMAGE *PELAPI pelFixBorder(PELIMAGE *image, int32_t left, int32_t top, int32_t right,
                              int32_t bottom, uint32_t color) noexcept {
  if (!hasHeader(image)) return nullptr;
  const BITMAPINFOHEADER &h = *image->core->header;
  Span across{}, down{};
  if (!spanOf(width(h), left, right, across) || !spanOf(height(h), top, bottom, down))
    return nullptr;
  PlainLines source, target;
  const bool plainSource = plainLines(image, source);
  ImagePtr result;
  {
    // Plain lines are written whole, padding included: the result's store
    // need not be cleared first.
    std::optional<os::UnclearedStores> uncleared;
    if (plainSource) uncleared.emplace();
    result = makeResultLike(*image, static_cast<int32_t>(across.extent),
                            static_cast<int32_t>(down.extent));
  }
  if (!result) return nullptr;
  const bool plainTarget = plainLines(result.get(), target);
  if (plainSource && plainTarget && source.bitCount == target.bitCount)
    return borderLines(*result, source, target, color, across, down) ? result.release() : nullptr;
  if (plainSource && result->core->bits)
    std::memset(result->core->bits, 0, result->core->bitsSize); // as a cleared store has it
  // Anything else goes through the checked scan-line calls, which refuse it.
  pelFillColor(result.get(), color);
  const std::size_t bufferBytes = static_cast<std::size_t>(
      uint64_t{bitCount(h)} * static_cast<uint64_t>(across.extent) / 8 + 4);
  auto buffer = globalNew<uint8_t>(bufferBytes);
  if (!buffer) return nullptr;
  const auto sx0 = static_cast<int32_t>(across.srcBegin), sx1 = static_cast<int32_t>(across.srcEnd);
  const auto dx0 = static_cast<int32_t>(across.dstBegin);
  const auto dx1 = static_cast<int32_t>(across.dstBegin + (across.srcEnd - across.srcBegin));
  const int64_t lines = down.srcEnd - down.srcBegin;
  for (int64_t k = 0; k < lines; ++k) {
    const auto from = static_cast<uint32_t>(down.srcBegin + k);
    const auto to = static_cast<uint32_t>(down.dstBegin + k);
    if (!pelGetHorLine(buffer.get(), image, static_cast<uint32_t>(sx0), static_cast<uint32_t>(sx1),
                       from) ||
        !pelSetHorLine(result.get(), buffer.get(), static_cast<uint32_t>(dx0),
                       static_cast<uint32_t>(dx1), to))
      return nullptr;
  }
  return result.release();
}

} // extern "C"
