// SPDX-License-Identifier: MIT
//
// Device-dependent bitmaps: the real calls on Windows, the stand-in library's
// elsewhere, under the same names.
#include "platform/platform.hpp"

namespace pel::os {

// Bitmaps and memory contexts are obtained like memory: the failure hook can
// refuse them, so that tests reach the paths where the system has none left.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) noexcept {
  if (detail::refuseAllocation()) return nullptr;
  return ::CreateCompatibleBitmap(dc, width, height);
}
HDC CreateCompatibleDC(HDC dc) noexcept {
  if (detail::refuseAllocation()) return nullptr;
  return ::CreateCompatibleDC(dc);
}
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) noexcept { return ::SelectObject(dc, object); }
BOOL DeleteDC(HDC dc) noexcept { return ::DeleteDC(dc); }
BOOL DeleteObject(HGDIOBJ object) noexcept { return ::DeleteObject(object); }
int GetObjectA(HGDIOBJ object, int bytes, LPVOID out) noexcept {
  return ::GetObjectA(object, bytes, out);
}
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO *info,
              UINT usage) noexcept {
  return ::GetDIBits(dc, bitmap, start, lines, bits, info, usage);
}
int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void *bits,
              const BITMAPINFO *info, UINT usage) noexcept {
  return ::SetDIBits(dc, bitmap, start, lines, bits, info, usage);
}
BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
            DWORD rop) noexcept {
  return ::BitBlt(dst, x, y, width, height, src, srcX, srcY, rop);
}

} // namespace pel::os
