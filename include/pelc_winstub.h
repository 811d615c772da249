/* SPDX-License-Identifier: MIT */
/*
 * pelc_winstub: the Windows facilities that the GDI interop family of pelc
 * exchanges, stood in for on systems without them (libpelc_winstub).
 *
 * The library itself keeps its global-memory blocks, its screen and its
 * bitmaps here, so a caller that makes a block or a bitmap with these calls
 * can hand it to pelAttachDIB, pelCopyDIB, pelAttachDDB or pelCopyDDB, and
 * can read and free what pelDetachDIB, pelDetachDDB and pelCreateDDB return.
 * The calls keep their Windows names, signatures and documented results:
 *
 * - Global heap: a fixed block (GMEM_FIXED, GPTR) is its own handle; a
 *   movable block (GMEM_MOVEABLE, GHND) has a handle distinct from its data,
 *   which GlobalLock returns while counting locks. Blocks never move.
 *   Unknown handles are refused, never freed.
 * - Screen: one virtual screen of 32 bits per pixel and 96 dots per inch;
 *   GetDC(NULL) or GetDC(GetDesktopWindow()) gives its device context.
 * - Bitmaps: every bitmap is compatible with that screen (one plane, 32 bits
 *   per pixel). SetDIBits takes and GetDIBits makes DIBs of 1, 4, 8, 16, 24
 *   and 32 bits (colour table, 5-5-5, or BI_BITFIELDS masks). GetDIBits writes
 *   the standard 2-, 16- and 256-colour tables for 1, 4 and 8 bits and stores
 *   each pixel as its nearest table entry. A bitmap selected into a memory
 *   device context can be neither read, written nor deleted, and is
 *   selected into one context at a time.
 * - BitBlt copies the clipped rectangle with SRCCOPY; other raster
 *   operations fail.
 *
 * On Windows this header includes <windows.h> and declares nothing else.
 */
#ifndef PELC_WINSTUB_H
#define PELC_WINSTUB_H

#include "pelc.h"

#if defined(_WIN32)
#include <windows.h>
#else

#if defined(PELC_WINSTUB_BUILDING)
#define PELC_WINSTUB_FN(ret) __attribute__((visibility("default"))) ret
#else
#define PELC_WINSTUB_FN(ret) ret
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int BOOL;
typedef uint32_t UINT;
typedef size_t SIZE_T;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef void *HGDIOBJ;
typedef struct HDC__ *HDC;
typedef struct HWND__ *HWND;

/* What GetObjectA fills for a bitmap. */
typedef struct tagBITMAP {
  int32_t bmType;
  int32_t bmWidth;
  int32_t bmHeight;
  int32_t bmWidthBytes;
  uint16_t bmPlanes;
  uint16_t bmBitsPixel;
  void *bmBits;
} BITMAP;

/* A header followed by its colour table or masks. */
typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO;

enum {
  GMEM_FIXED = 0x0000,
  GMEM_MOVEABLE = 0x0002,
  GMEM_ZEROINIT = 0x0040,
  GPTR = GMEM_FIXED | GMEM_ZEROINIT,
  GHND = GMEM_MOVEABLE | GMEM_ZEROINIT,
  GMEM_LOCKCOUNT = 0x00FF,
  GMEM_INVALID_HANDLE = 0x8000,
  DIB_RGB_COLORS = 0,
  SRCCOPY = 0x00CC0020,
  BITSPIXEL = 12,
  PLANES = 14,
  LOGPIXELSX = 88,
  LOGPIXELSY = 90
};

/* Global heap. */
PELC_WINSTUB_FN(HGLOBAL) GlobalAlloc(UINT flags, SIZE_T bytes);
PELC_WINSTUB_FN(HGLOBAL) GlobalFree(HGLOBAL block);
PELC_WINSTUB_FN(LPVOID) GlobalLock(HGLOBAL block);
PELC_WINSTUB_FN(BOOL) GlobalUnlock(HGLOBAL block);
PELC_WINSTUB_FN(HGLOBAL) GlobalHandle(LPCVOID data);
PELC_WINSTUB_FN(SIZE_T) GlobalSize(HGLOBAL block);
PELC_WINSTUB_FN(UINT) GlobalFlags(HGLOBAL block);

/* Screen. */
PELC_WINSTUB_FN(HWND) GetDesktopWindow(void);
PELC_WINSTUB_FN(HDC) GetDC(HWND window);
PELC_WINSTUB_FN(int) ReleaseDC(HWND window, HDC dc);
PELC_WINSTUB_FN(int) GetDeviceCaps(HDC dc, int index);

/* Bitmaps and memory device contexts. */
PELC_WINSTUB_FN(HBITMAP) CreateCompatibleBitmap(HDC dc, int width, int height);
PELC_WINSTUB_FN(HDC) CreateCompatibleDC(HDC dc);
PELC_WINSTUB_FN(HGDIOBJ) SelectObject(HDC dc, HGDIOBJ object);
PELC_WINSTUB_FN(BOOL) DeleteDC(HDC dc);
PELC_WINSTUB_FN(BOOL) DeleteObject(HGDIOBJ object);
PELC_WINSTUB_FN(int) GetObjectA(HGDIOBJ object, int bytes, LPVOID out);
PELC_WINSTUB_FN(int)
GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO *info,
          UINT usage);
PELC_WINSTUB_FN(int)
SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void *bits, const BITMAPINFO *info,
          UINT usage);
PELC_WINSTUB_FN(BOOL)
BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);

/* Bitmaps and memory device contexts alive now: lets tests prove nothing leaks. */
PELC_WINSTUB_FN(int) pelcWinstubLiveObjects(void);

#ifdef __cplusplus
}
#endif

#endif /* !_WIN32 */
#endif /* PELC_WINSTUB_H */
