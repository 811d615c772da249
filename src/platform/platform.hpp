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
#endif

namespace pel::os {

#if defined(_WIN32)
using ::BOOL;
using ::DWORD;
using ::HDC;
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
using HGLOBAL = void *;
struct WindowTag;
struct DeviceContextTag;
using HWND = WindowTag *;
using HDC = DeviceContextTag *;

inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
inline constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
inline constexpr UINT GMEM_LOCKCOUNT = 0x00FF;
inline constexpr DWORD MEM_COMMIT = 0x1000;
inline constexpr DWORD MEM_RESERVE = 0x2000;
inline constexpr DWORD MEM_RELEASE = 0x8000;
inline constexpr DWORD PAGE_READWRITE = 0x04;
inline constexpr int LOGPIXELSX = 88;
inline constexpr int LOGPIXELSY = 90;
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

// How many bytes from `data` on can be written without a fault: the stand-in
// for guarding a write with structured exception handling.
std::size_t writablePrefix(void *data, std::size_t bytes) noexcept;

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
