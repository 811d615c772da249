// SPDX-License-Identifier: MIT
//
// A virtual 32-bit screen with bitmaps in memory. A bitmap is a record of its
// size and its top-down blue-green-red-x pixels; a memory device context
// holds at most one selected bitmap, and a bitmap is selected into one
// context at a time, so the failures of the real calls on selected bitmaps
// can be reproduced. DIBs go in and out in every layout the library makes.
#include "platform/winstub/detail.hpp"

#include "core/standard_palettes.hpp"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace pel::winstub {
namespace {

struct Dc;

struct Bitmap {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels; // top-down rows of 0x00RRGGBB
  Dc *selectedIn = nullptr;
};

struct Dc {
  Bitmap *selected = nullptr;
};

HWND const kDesktop = reinterpret_cast<HWND>(std::uintptr_t{0x10010});
HDC const kScreen = reinterpret_cast<HDC>(std::uintptr_t{0x10020});
// What a fresh memory context holds before a bitmap is selected into it.
HGDIOBJ const kStockBitmap = reinterpret_cast<HGDIOBJ>(std::uintptr_t{0x10030});
constexpr int kScreenDpi = 96;

struct Objects {
  std::unordered_set<const void *> bitmaps;
  std::unordered_set<const void *> dcs;
};

Objects &objects() {
  static Objects *instance = new Objects; // never destroyed, like the heap
  return *instance;
}

Bitmap *findBitmap(const void *handle) {
  return objects().bitmaps.count(handle) ? static_cast<Bitmap *>(const_cast<void *>(handle))
                                         : nullptr;
}
Dc *findDc(const void *handle) {
  return objects().dcs.count(handle) ? static_cast<Dc *>(const_cast<void *>(handle)) : nullptr;
}
bool anyDc(HDC dc) { return dc == kScreen || findDc(dc); }

// ---- DIB layouts ------------------------------------------------------------

struct Channel {
  uint32_t mask, shift, width;
};
Channel channelOf(uint32_t mask) {
  Channel c{mask, 0, 0};
  if (!mask) return c;
  while (!((mask >> c.shift) & 1)) ++c.shift;
  while (c.shift + c.width < 32 && ((mask >> (c.shift + c.width)) & 1)) ++c.width;
  return c;
}
// The field goes to the top of the byte, low bits zero, as the library itself
// expands 16-bit pixels.
uint32_t expandField(uint32_t v, const Channel &c) {
  if (!c.width) return 0;
  const uint32_t f = (v & c.mask) >> c.shift;
  return c.width >= 8 ? (f >> (c.width - 8)) & 0xFF : (f << (8 - c.width)) & 0xFF;
}
uint32_t packField(uint32_t channel8, const Channel &c) {
  if (!c.width) return 0;
  const uint32_t f = c.width >= 8 ? channel8 << (c.width - 8) : channel8 >> (8 - c.width);
  return (f << c.shift) & c.mask;
}

struct Layout {
  uint32_t bits = 0;
  int32_t width = 0, height = 0;
  std::size_t lineBytes = 0;
  Channel r{}, g{}, b{};
  const RGBQUAD *table = nullptr;
  uint32_t count = 0;
};

const RGBQUAD *colourTable(const BITMAPINFO *info) {
  return reinterpret_cast<const RGBQUAD *>(reinterpret_cast<const uint8_t *>(info) +
                                           info->bmiHeader.biSize);
}

bool layoutOf(const BITMAPINFO *info, Layout &l) {
  if (!info) return false;
  const BITMAPINFOHEADER &h = info->bmiHeader;
  l.bits = h.biBitCount;
  l.width = h.biWidth;
  l.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  if (l.width <= 0 || l.height <= 0) return false;
  l.lineBytes = ((std::size_t(l.width) * l.bits + 31) / 32) * 4;
  if (h.biSize < sizeof(BITMAPINFOHEADER)) return false;
  // Masks sit at byte 40 in every header version (inside the longer ones);
  // a colour table follows the header, however long biSize says it is.
  const auto *masks = reinterpret_cast<const uint32_t *>(info->bmiColors);
  switch (l.bits) {
  case 1:
  case 4:
  case 8:
    if (h.biCompression != BI_RGB) return false;
    l.table = colourTable(info);
    l.count = h.biClrUsed && h.biClrUsed < (1u << l.bits) ? h.biClrUsed : 1u << l.bits;
    return true;
  case 16:
  case 32: {
    const bool fields = h.biCompression == BI_BITFIELDS;
    if (!fields && h.biCompression != BI_RGB) return false;
    const uint32_t r = fields ? masks[0] : l.bits == 16 ? 0x7C00 : 0xFF0000;
    const uint32_t g = fields ? masks[1] : l.bits == 16 ? 0x03E0 : 0x00FF00;
    const uint32_t b = fields ? masks[2] : l.bits == 16 ? 0x001F : 0x0000FF;
    l.r = channelOf(r), l.g = channelOf(g), l.b = channelOf(b);
    return true;
  }
  case 24: return h.biCompression == BI_RGB;
  default: return false;
  }
}

uint32_t packed(const uint8_t *line, uint32_t bits, int32_t x) {
  const std::size_t ux = static_cast<std::size_t>(x);
  switch (bits) {
  case 1: return (line[ux >> 3] >> (7 - (ux & 7))) & 1;
  case 4: return (ux & 1) ? line[ux >> 1] & 15 : line[ux >> 1] >> 4;
  case 8: return line[ux];
  case 16: return line[2 * ux] | uint32_t{line[2 * ux + 1]} << 8;
  case 24: return line[3 * ux] | uint32_t{line[3 * ux + 1]} << 8 | uint32_t{line[3 * ux + 2]} << 16;
  default: {
    uint32_t v;
    std::memcpy(&v, line + 4 * ux, 4);
    return v;
  }
  }
}

void store(uint8_t *line, uint32_t bits, int32_t x, uint32_t v) {
  const std::size_t ux = static_cast<std::size_t>(x);
  switch (bits) {
  case 1: {
    const unsigned m = 0x80u >> (ux & 7);
    line[ux >> 3] = static_cast<uint8_t>(v ? line[ux >> 3] | m : line[ux >> 3] & ~m);
    return;
  }
  case 4:
    line[ux >> 1] = static_cast<uint8_t>((ux & 1) ? (line[ux >> 1] & 0xF0) | (v & 15)
                                                  : (line[ux >> 1] & 0x0F) | (v & 15) << 4);
    return;
  case 8: line[ux] = static_cast<uint8_t>(v); return;
  case 16: {
    const auto w = static_cast<uint16_t>(v);
    std::memcpy(line + 2 * ux, &w, 2);
    return;
  }
  case 24:
    line[3 * ux] = static_cast<uint8_t>(v);
    line[3 * ux + 1] = static_cast<uint8_t>(v >> 8);
    line[3 * ux + 2] = static_cast<uint8_t>(v >> 16);
    return;
  default: std::memcpy(line + 4 * ux, &v, 4); return;
  }
}

uint32_t toScreen(const Layout &l, uint32_t v) {
  if (l.bits <= 8) {
    const RGBQUAD &e = l.table[v < l.count ? v : 0];
    return uint32_t{e.rgbRed} << 16 | uint32_t{e.rgbGreen} << 8 | e.rgbBlue;
  }
  if (l.bits == 24) return v & 0xFFFFFF;
  return expandField(v, l.r) << 16 | expandField(v, l.g) << 8 | expandField(v, l.b);
}

// The standard table the screen writes for a palette DIB.
const RGBQUAD *standardTable(uint32_t bits) {
  using namespace pel::palettes;
  return bits == 1 ? kBlackWhite.data() : bits == 4 ? kColor16.data() : kColor256.data();
}

uint32_t nearest(const RGBQUAD *table, uint32_t count, uint32_t rgb) {
  const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  uint32_t best = 0;
  int bestDistance = 1 << 30;
  for (uint32_t i = 0; i < count; ++i) {
    const int dr = r - table[i].rgbRed, dg = g - table[i].rgbGreen, db = b - table[i].rgbBlue;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) bestDistance = d, best = i;
    if (d == 0) break;
  }
  return best;
}

uint32_t fromScreen(const Layout &l, uint32_t rgb) {
  if (l.bits <= 8) return nearest(l.table, l.count, rgb);
  if (l.bits == 24) return rgb & 0xFFFFFF;
  return packField((rgb >> 16) & 0xFF, l.r) | packField((rgb >> 8) & 0xFF, l.g) |
         packField(rgb & 0xFF, l.b);
}

// Rows of a DIB transfer, bottom-up for a positive height.
int32_t rowOf(const BITMAPINFO *info, int32_t height, UINT i) {
  return info->bmiHeader.biHeight > 0 ? height - 1 - static_cast<int32_t>(i)
                                      : static_cast<int32_t>(i);
}

template <typename T> T *record(bool ok, T *made) {
  if (!ok) {
    delete made;
    return nullptr;
  }
  return made;
}

} // namespace
} // namespace pel::winstub

using namespace pel::winstub;

extern "C" {

HWND GetDesktopWindow(void) { return kDesktop; }
HDC GetDC(HWND window) { return window == kDesktop || !window ? kScreen : nullptr; }
int ReleaseDC(HWND, HDC dc) { return dc == kScreen ? 1 : 0; }

int GetDeviceCaps(HDC dc, int index) {
  std::lock_guard guard(tableLock());
  if (!anyDc(dc)) return 0;
  switch (index) {
  case LOGPIXELSX:
  case LOGPIXELSY: return kScreenDpi;
  case BITSPIXEL: return 32;
  case PLANES: return 1;
  default: return 0;
  }
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  if (width <= 0 || height <= 0 ||
      std::size_t(width) * std::size_t(height) > (std::size_t{1} << 28))
    return nullptr;
  std::lock_guard guard(tableLock());
  if (!anyDc(dc)) return nullptr;
  try {
    auto *bitmap = new Bitmap{width, height, std::vector<uint32_t>(std::size_t(width) * height)};
    bool ok = false;
    try {
      ok = objects().bitmaps.insert(bitmap).second;
    } catch (...) {
    }
    return reinterpret_cast<HBITMAP>(record(ok, bitmap));
  } catch (...) {
    return nullptr;
  }
}

HDC CreateCompatibleDC(HDC dc) {
  std::lock_guard guard(tableLock());
  if (dc && !anyDc(dc)) return nullptr;
  try {
    auto *made = new Dc;
    bool ok = false;
    try {
      ok = objects().dcs.insert(made).second;
    } catch (...) {
    }
    return reinterpret_cast<HDC>(record(ok, made));
  } catch (...) {
    return nullptr;
  }
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  std::lock_guard guard(tableLock());
  Dc *target = findDc(dc);
  if (!target) return nullptr;
  Bitmap *bitmap = findBitmap(object);
  if (!bitmap && object != kStockBitmap) return nullptr;
  if (bitmap && bitmap->selectedIn && bitmap->selectedIn != target) return nullptr;
  Bitmap *previous = target->selected;
  if (previous) previous->selectedIn = nullptr;
  target->selected = bitmap;
  if (bitmap) bitmap->selectedIn = target;
  return previous ? static_cast<HGDIOBJ>(previous) : kStockBitmap;
}

BOOL DeleteDC(HDC dc) {
  std::lock_guard guard(tableLock());
  Dc *target = findDc(dc);
  if (!target) return 0;
  if (target->selected) target->selected->selectedIn = nullptr;
  objects().dcs.erase(target);
  delete target;
  return 1;
}

BOOL DeleteObject(HGDIOBJ object) {
  std::lock_guard guard(tableLock());
  if (object == kStockBitmap) return 1;
  Bitmap *bitmap = findBitmap(object);
  if (!bitmap || bitmap->selectedIn) return 0;
  objects().bitmaps.erase(bitmap);
  delete bitmap;
  return 1;
}

int GetObjectA(HGDIOBJ object, int bytes, LPVOID out) {
  std::lock_guard guard(tableLock());
  const Bitmap *bitmap = findBitmap(object);
  if (!bitmap) return 0;
  if (!out) return sizeof(BITMAP);
  if (bytes < static_cast<int>(sizeof(BITMAP))) return 0;
  BITMAP bm{};
  bm.bmWidth = bitmap->width;
  bm.bmHeight = bitmap->height;
  bm.bmWidthBytes = bitmap->width * 4;
  bm.bmPlanes = 1;
  bm.bmBitsPixel = 32;
  std::memcpy(out, &bm, sizeof bm);
  return sizeof(BITMAP);
}

int GetDIBits(HDC dc, HBITMAP handle, UINT start, UINT lines, LPVOID bits, BITMAPINFO *info,
              UINT usage) {
  std::lock_guard guard(tableLock());
  const Bitmap *bitmap = findBitmap(handle);
  Layout l;
  // A selected bitmap cannot be read, as on the real screen.
  if (!anyDc(dc) || !bitmap || bitmap->selectedIn || usage != DIB_RGB_COLORS ||
      !layoutOf(info, l) || l.width != bitmap->width || l.height != bitmap->height)
    return 0;
  if (l.bits <= 8) {
    l.count = 1u << l.bits;
    auto *table = reinterpret_cast<uint8_t *>(info) + info->bmiHeader.biSize;
    std::memcpy(table, standardTable(l.bits), l.count * sizeof(RGBQUAD));
    l.table = colourTable(info);
  }
  if (!bits) return static_cast<int>(std::min<UINT>(lines, static_cast<UINT>(l.height)));
  int done = 0;
  for (UINT i = start; i < start + lines && i < static_cast<UINT>(l.height); ++i, ++done) {
    auto *line = static_cast<uint8_t *>(bits) + (i - start) * l.lineBytes;
    const uint32_t *src =
        bitmap->pixels.data() + std::size_t(rowOf(info, l.height, i)) * bitmap->width;
    for (int32_t x = 0; x < l.width; ++x) store(line, l.bits, x, fromScreen(l, src[x]));
  }
  return done;
}

int SetDIBits(HDC dc, HBITMAP handle, UINT start, UINT lines, const void *bits,
              const BITMAPINFO *info, UINT usage) {
  std::lock_guard guard(tableLock());
  Bitmap *bitmap = findBitmap(handle);
  Layout l;
  if ((dc && !anyDc(dc)) || !bitmap || bitmap->selectedIn || !bits || usage != DIB_RGB_COLORS ||
      !layoutOf(info, l) || l.width != bitmap->width || l.height != bitmap->height)
    return 0;
  int done = 0;
  for (UINT i = start; i < start + lines && i < static_cast<UINT>(l.height); ++i, ++done) {
    const auto *line = static_cast<const uint8_t *>(bits) + (i - start) * l.lineBytes;
    uint32_t *dst = bitmap->pixels.data() + std::size_t(rowOf(info, l.height, i)) * bitmap->width;
    for (int32_t x = 0; x < l.width; ++x) dst[x] = toScreen(l, packed(line, l.bits, x));
  }
  return done;
}

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
  std::lock_guard guard(tableLock());
  const Dc *to = findDc(dst), *from = findDc(src);
  if (rop != SRCCOPY || !to || !from || !to->selected || !from->selected) return 0;
  const Bitmap &s = *from->selected;
  Bitmap &d = *to->selected;
  for (int j = 0; j < height; ++j) {
    const int sy = srcY + j, dy = y + j;
    if (sy < 0 || sy >= s.height || dy < 0 || dy >= d.height) continue;
    for (int i = 0; i < width; ++i) {
      const int sx = srcX + i, dx = x + i;
      if (sx < 0 || sx >= s.width || dx < 0 || dx >= d.width) continue;
      d.pixels[std::size_t(dy) * d.width + dx] = s.pixels[std::size_t(sy) * s.width + sx];
    }
  }
  return 1;
}

int pelcWinstubLiveObjects(void) {
  std::lock_guard guard(tableLock());
  return static_cast<int>(objects().bitmaps.size() + objects().dcs.size());
}

} // extern "C"
