// SPDX-License-Identifier: MIT
//
// Included first by every source of the stand-in library: marks its build, so
// the header exports what it declares. The stand-in keeps one lock for all
// its tables, as the system keeps its own; it is never observable.
#pragma once

#define PELC_WINSTUB_BUILDING 1
#include "pelc_winstub.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace pel::winstub {

std::mutex &tableLock() noexcept;

struct DeviceContext;

// A bitmap compatible with the virtual 32-bit screen: top-down rows of
// 0x00RRGGBB words (bytes blue, green, red, 0).
struct Bitmap {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
  DeviceContext *selectedInto = nullptr;

  uint32_t *row(int32_t y) { return pixels.data() + static_cast<std::size_t>(y) * width; }
};

// The bitmap of a handle that may be read or written: known, not the stock
// bitmap, not selected into a device context. Call with tableLock() held.
Bitmap *freeBitmap(HGDIOBJ handle) noexcept;
// True for the screen's device context and for live memory contexts.
bool knownDc(HDC dc) noexcept;

} // namespace pel::winstub
