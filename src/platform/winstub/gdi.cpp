// SPDX-License-Identifier: MIT
//
// The virtual screen, its compatible bitmaps and memory device contexts.
//
// Windows rules kept because code that breaks them fails there: a bitmap is
// selected into one memory context at a time, a selected bitmap can be
// neither deleted nor read or written with the DIB calls, and a new memory
// context holds the 1 x 1 stock bitmap, which SelectObject hands back.
#include "platform/winstub/detail.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>

namespace pel::winstub {

struct DeviceContext {
  Bitmap *selected = nullptr; // null: the stock bitmap
};

namespace {

HWND const kDesktop = reinterpret_cast<HWND>(std::uintptr_t{0x10010});
HDC const kScreenDc = reinterpret_cast<HDC>(std::uintptr_t{0x10020});
constexpr int kScreenBits = 32;
constexpr int kScreenDpi = 96;
// Every store stays addressable with 32-bit sizes, as the library's do.
constexpr uint64_t kMaxBitmapBytes = 0x7FFFFFFF;

// Never deleted, selectable into any number of contexts.
Bitmap &stockBitmap() {
  static Bitmap *stock = new Bitmap{1, 1, std::vector<uint32_t>(1, 0), nullptr};
  return *stock;
}

struct Objects {
  std::unordered_set<Bitmap *> bitmaps;
  std::unordered_set<DeviceContext *> dcs;
};

Objects &objects() {
  static Objects *instance = new Objects; // never destroyed: objects may outlive static destructors
  return *instance;
}

Bitmap *anyBitmap(HGDIOBJ handle) {
  auto *bitmap = static_cast<Bitmap *>(handle);
  if (bitmap == &stockBitmap()) return bitmap;
  return objects().bitmaps.count(bitmap) ? bitmap : nullptr;
}

DeviceContext *memoryDc(HDC dc) {
  auto *context = reinterpret_cast<DeviceContext *>(dc);
  return objects().dcs.count(context) ? context : nullptr;
}

HBITMAP handleOf(Bitmap *bitmap) { return reinterpret_cast<HBITMAP>(bitmap); }

// Copies the part of a w x h block at (sx, sy) of src that lands inside dst
// at (dx, dy) and lies inside src. Rows go through a buffer, since source and
// target may be one bitmap.
void copyClipped(Bitmap &dst, int32_t dx, int32_t dy, Bitmap &src, int32_t sx, int32_t sy,
                 int32_t w, int32_t h) {
  const int64_t i0 = std::max<int64_t>({0, -int64_t{dx}, -int64_t{sx}});
  const int64_t i1 = std::min<int64_t>({w, int64_t{dst.width} - dx, int64_t{src.width} - sx});
  const int64_t j0 = std::max<int64_t>({0, -int64_t{dy}, -int64_t{sy}});
  const int64_t j1 = std::min<int64_t>({h, int64_t{dst.height} - dy, int64_t{src.height} - sy});
  if (i0 >= i1 || j0 >= j1) return;
  const auto count = static_cast<std::size_t>(i1 - i0);
  std::vector<uint32_t> rows(count * static_cast<std::size_t>(j1 - j0));
  for (int64_t j = j0; j < j1; ++j)
    std::memcpy(&rows[count * static_cast<std::size_t>(j - j0)],
                src.row(static_cast<int32_t>(sy + j)) + sx + i0, count * 4);
  for (int64_t j = j0; j < j1; ++j)
    std::memcpy(dst.row(static_cast<int32_t>(dy + j)) + dx + i0,
                &rows[count * static_cast<std::size_t>(j - j0)], count * 4);
}

} // namespace

Bitmap *freeBitmap(HGDIOBJ handle) noexcept {
  auto *bitmap = static_cast<Bitmap *>(handle);
  if (!objects().bitmaps.count(bitmap) || bitmap->selectedInto) return nullptr;
  return bitmap;
}

bool knownDc(HDC dc) noexcept { return dc == kScreenDc || memoryDc(dc); }

} // namespace pel::winstub

using namespace pel::winstub;

extern "C" {

HWND GetDesktopWindow(void) { return kDesktop; }

HDC GetDC(HWND window) { return window == kDesktop || !window ? kScreenDc : nullptr; }

int ReleaseDC(HWND, HDC dc) { return dc == kScreenDc ? 1 : 0; }

int GetDeviceCaps(HDC dc, int index) {
  std::lock_guard guard(tableLock());
  if (!knownDc(dc)) return 0;
  switch (index) {
  case BITSPIXEL: return kScreenBits;
  case PLANES: return 1;
  case LOGPIXELSX:
  case LOGPIXELSY: return kScreenDpi;
  default: return 0;
  }
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  if (uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) * 4 > kMaxBitmapBytes)
    return nullptr;
  std::lock_guard guard(tableLock());
  if (!knownDc(dc)) return nullptr;
  try {
    auto *bitmap = new Bitmap{width, height, {}, nullptr};
    try {
      bitmap->pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
      objects().bitmaps.insert(bitmap);
    } catch (...) {
      delete bitmap;
      throw;
    }
    return handleOf(bitmap);
  } catch (...) {
    return nullptr;
  }
}

HDC CreateCompatibleDC(HDC dc) {
  std::lock_guard guard(tableLock());
  if (dc && !knownDc(dc)) return nullptr;
  auto *context = new (std::nothrow) DeviceContext;
  if (!context) return nullptr;
  try {
    objects().dcs.insert(context);
  } catch (...) {
    delete context;
    return nullptr;
  }
  return reinterpret_cast<HDC>(context);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  std::lock_guard guard(tableLock());
  DeviceContext *context = memoryDc(dc);
  Bitmap *bitmap = anyBitmap(object);
  if (!context || !bitmap) return nullptr;
  Bitmap *previous = context->selected ? context->selected : &stockBitmap();
  if (bitmap == previous) return previous;
  if (bitmap != &stockBitmap()) {
    if (bitmap->selectedInto) return nullptr; // in another context
    bitmap->selectedInto = context;
  }
  if (context->selected) context->selected->selectedInto = nullptr;
  context->selected = bitmap == &stockBitmap() ? nullptr : bitmap;
  return handleOf(previous);
}

BOOL DeleteDC(HDC dc) {
  DeviceContext *context = nullptr;
  {
    std::lock_guard guard(tableLock());
    context = memoryDc(dc);
    if (!context) return 0;
    if (context->selected) context->selected->selectedInto = nullptr;
    objects().dcs.erase(context);
  }
  delete context;
  return 1;
}

BOOL DeleteObject(HGDIOBJ object) {
  Bitmap *bitmap = nullptr;
  {
    std::lock_guard guard(tableLock());
    bitmap = anyBitmap(object);
    if (!bitmap || bitmap->selectedInto) return 0;
    if (bitmap == &stockBitmap()) return 1; // stock objects survive deletion
    objects().bitmaps.erase(bitmap);
  }
  delete bitmap;
  return 1;
}

int GetObjectA(HGDIOBJ object, int bytes, LPVOID out) {
  std::lock_guard guard(tableLock());
  Bitmap *bitmap = anyBitmap(object);
  if (!bitmap) return 0;
  constexpr int kSize = sizeof(BITMAP);
  if (!out) return kSize;
  if (bytes < kSize) return 0;
  const bool stock = bitmap == &stockBitmap();
  BITMAP info{};
  info.bmWidth = bitmap->width;
  info.bmHeight = bitmap->height;
  info.bmPlanes = 1;
  info.bmBitsPixel = stock ? 1 : kScreenBits;
  info.bmWidthBytes = stock ? 2 : bitmap->width * 4;
  std::memcpy(out, &info, sizeof info);
  return kSize;
}

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
  if (rop != SRCCOPY) return 0;
  std::lock_guard guard(tableLock());
  DeviceContext *to = memoryDc(dst);
  DeviceContext *from = memoryDc(src);
  if (!to || !from || !to->selected || !from->selected) return 0;
  copyClipped(*to->selected, x, y, *from->selected, srcX, srcY, width, height);
  return 1;
}

} // extern "C"
