// SPDX-License-Identifier: MIT
//
// The only door to the operating system. The image code calls the Windows
// functions it needs through this namespace with their Windows signatures:
// on Windows they forward to the real calls, elsewhere they are stood in for
// faithfully (handles distinct from pointers for movable blocks, counted
// locks, zero-fill on request, block sizes, a virtual 96-DPI screen).
//
// Every allocation the library makes passes through here, so tests can count
// live blocks and make the Nth allocation from now fail.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
// The stand-in library keeps the global heap, the screen and the bitmaps, so
// that blocks and bitmaps a caller makes with it are the library's too.
#include "pelc_winstub.h"
#endif

namespace pel::os {

#if defined(_WIN32)
using ::BITMAP;
using ::BITMAPINFO;
using ::BOOL;
using ::DWORD;
using ::HBITMAP;
using ::HDC;
using ::HGDIOBJ;
using ::HGLOBAL;
using ::HWND;
using ::LPCVOID;
using ::LPVOID;
using ::SIZE_T;
using ::UINT;
#else
using BOOL = int;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using SIZE_T = std::size_t;
using LPVOID = void *;
using LPCVOID = const void *;
using HGLOBAL = ::HGLOBAL;
using HWND = ::HWND;
using HDC = ::HDC;
using HBITMAP = ::HBITMAP;
using HGDIOBJ = ::HGDIOBJ;
using BITMAP = ::BITMAP;
using BITMAPINFO = ::BITMAPINFO;
using ::DIB_RGB_COLORS;
using ::SRCCOPY;

using ::GHND;
using ::GMEM_FIXED;
using ::GMEM_LOCKCOUNT;
using ::GMEM_MOVEABLE;
using ::GMEM_ZEROINIT;
using ::GPTR;
inline constexpr DWORD MEM_COMMIT = 0x1000;
inline constexpr DWORD MEM_RESERVE = 0x2000;
inline constexpr DWORD MEM_RELEASE = 0x8000;
inline constexpr DWORD PAGE_READWRITE = 0x04;
using ::LOGPIXELSX;
using ::LOGPIXELSY;
inline constexpr UINT MB_OK = 0x0000;
inline constexpr int IDOK = 1;
#endif

// Global heap.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) noexcept;
HGLOBAL GlobalFree(HGLOBAL block) noexcept;
LPVOID GlobalLock(HGLOBAL block) noexcept;
BOOL GlobalUnlock(HGLOBAL block) noexcept;
HGLOBAL GlobalHandle(LPCVOID data) noexcept;
SIZE_T GlobalSize(HGLOBAL block) noexcept;
UINT GlobalFlags(HGLOBAL block) noexcept;

// Virtual memory.
LPVOID VirtualAlloc(LPVOID address, SIZE_T bytes, DWORD allocationType, DWORD protect) noexcept;
BOOL VirtualFree(LPVOID address, SIZE_T bytes, DWORD freeType) noexcept;

// Screen and message box.
HWND GetDesktopWindow() noexcept;
HWND GetActiveWindow() noexcept;
HDC GetDC(HWND window) noexcept;
int ReleaseDC(HWND window, HDC dc) noexcept;
int GetDeviceCaps(HDC dc, int index) noexcept;
int MessageBoxA(HWND owner, const char *text, const char *caption, UINT type) noexcept;

// Device-dependent bitmaps and memory device contexts.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) noexcept;
HDC CreateCompatibleDC(HDC dc) noexcept;
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) noexcept;
BOOL DeleteDC(HDC dc) noexcept;
BOOL DeleteObject(HGDIOBJ object) noexcept;
int GetObjectA(HGDIOBJ object, int bytes, LPVOID out) noexcept;
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO *info,
              UINT usage) noexcept;
int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void *bits,
              const BITMAPINFO *info, UINT usage) noexcept;
BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
            DWORD rop) noexcept;

// How many bytes from `data` on can be written without a fault: the stand-in
// for guarding a write with structured exception handling.
std::size_t writablePrefix(void *data, std::size_t bytes) noexcept;

// While one lives on this thread, a large store may come from a mapping the
// POSIX stand-in kept from an earlier one without being cleared past its
// first page (where a header block starts): for an operation that writes
// every byte of its result's bits before anyone can read them. Windows
// always hands out cleared memory, and there it does nothing.
class UnclearedStores {
public:
  UnclearedStores() noexcept;
  ~UnclearedStores();
  UnclearedStores(const UnclearedStores &) = delete;
  UnclearedStores &operator=(const UnclearedStores &) = delete;

private:
  bool before_;
};

// Hooks for tests. They are part of the internal library only and never
// exported from the shared library.
namespace test {
// Makes the nth allocation from now fail (1: the next one); 0 disarms.
void failAllocation(unsigned nth) noexcept;
// Blocks obtained through this layer and not yet released.
long liveBlocks() noexcept;
// Replaces the message box: the sink receives caption and text as shown
// (code page 936 bytes). Null restores the real box.
using MessageSink = void (*)(const char *caption, const char *text);
void setMessageSink(MessageSink sink) noexcept;
} // namespace test

// Shared by the per-OS implementations.
namespace detail {
bool refuseAllocation() noexcept;
void blockObtained() noexcept;
void blockReleased() noexcept;
test::MessageSink messageSink() noexcept;
} // namespace detail

} // namespace pel::os
