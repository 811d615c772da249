// SPDX-License-Identifier: MIT
//
// Stand-ins for the Windows facilities on POSIX systems.
//
// The global heap, the screen and the bitmaps live in the stand-in library
// (pelc_winstub), which callers use to make and free the blocks and bitmaps
// they exchange with the library; here they pass the test hooks. Virtual
// memory, the message box and the rest are stood in for here.
#include "platform/fresh_pages.hpp"
#include "platform/platform.hpp"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <mutex>
#include <new>
#include <string>
#include <unistd.h>
#include <unordered_map>

namespace pel::os {
namespace {

struct Mapping {
  std::size_t length = 0;
};

// Handle records of movable blocks are told apart from data pointers by the
// table, not by their value.
struct Heap {
  std::mutex lock;
  std::unordered_map<const void *, Mapping> mappings;
};

Heap &heap() {
  static Heap *instance = new Heap; // never destroyed: blocks may outlive static destructors
  return *instance;
}

} // namespace

// The global heap is the stand-in library's; the hooks count and refuse on
// the way, as on Windows.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) noexcept {
  if (detail::refuseAllocation()) return nullptr;
  HGLOBAL block = ::GlobalAlloc(flags, bytes);
  if (block) detail::blockObtained();
  return block;
}

HGLOBAL GlobalFree(HGLOBAL block) noexcept {
  HGLOBAL rest = ::GlobalFree(block);
  if (block && !rest) detail::blockReleased();
  return rest;
}

LPVOID GlobalLock(HGLOBAL block) noexcept { return ::GlobalLock(block); }
BOOL GlobalUnlock(HGLOBAL block) noexcept { return ::GlobalUnlock(block); }
HGLOBAL GlobalHandle(LPCVOID data) noexcept { return ::GlobalHandle(data); }
SIZE_T GlobalSize(HGLOBAL block) noexcept { return ::GlobalSize(block); }
UINT GlobalFlags(HGLOBAL block) noexcept { return ::GlobalFlags(block); }

LPVOID VirtualAlloc(LPVOID address, SIZE_T bytes, DWORD allocationType, DWORD protect) noexcept {
  // Only fresh committed read-write regions are asked for.
  if (address || bytes == 0 || !(allocationType & MEM_COMMIT) || protect != PAGE_READWRITE)
    return nullptr;
  if (detail::refuseAllocation()) return nullptr;
  void *data = pages::mapFresh(bytes);
  if (!data) return nullptr;
  try {
    std::lock_guard guard(heap().lock);
    heap().mappings.emplace(data, Mapping{bytes});
  } catch (...) {
    pages::unmapFresh(data, bytes);
    return nullptr;
  }
  detail::blockObtained();
  return data;
}

BOOL VirtualFree(LPVOID address, SIZE_T bytes, DWORD freeType) noexcept {
  if (freeType != MEM_RELEASE || bytes != 0) return 0;
  std::size_t length = 0;
  {
    std::lock_guard guard(heap().lock);
    auto it = heap().mappings.find(address);
    if (it == heap().mappings.end()) return 0;
    length = it->second.length;
    heap().mappings.erase(it);
  }
  pages::unmapFresh(address, length);
  detail::blockReleased();
  return 1;
}

HWND GetDesktopWindow() noexcept { return ::GetDesktopWindow(); }
HWND GetActiveWindow() noexcept { return nullptr; }
HDC GetDC(HWND window) noexcept { return ::GetDC(window); }
int ReleaseDC(HWND window, HDC dc) noexcept { return ::ReleaseDC(window, dc); }
int GetDeviceCaps(HDC dc, int index) noexcept { return ::GetDeviceCaps(dc, index); }

namespace {
// The texts are code page 936; the terminal expects UTF-8.
std::string toUtf8(const char *gbk) {
  std::string out;
  iconv_t cd = ::iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) return gbk;
  std::string in = gbk;
  out.resize(in.size() * 2 + 1);
  char *src = in.data();
  char *dst = out.data();
  std::size_t srcLeft = in.size();
  std::size_t dstLeft = out.size();
  const bool ok = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1);
  ::iconv_close(cd);
  if (!ok) return gbk;
  out.resize(out.size() - dstLeft);
  return out;
}
} // namespace

int MessageBoxA(HWND, const char *text, const char *caption, UINT) noexcept {
  if (auto sink = detail::messageSink()) {
    sink(caption, text);
    return IDOK;
  }
  try {
    std::string shown(1, '[');
    shown.append(toUtf8(caption ? caption : "")).append("]\n").append(toUtf8(text ? text : ""));
    if (shown.back() != '\n') shown.push_back('\n');
    // One write, so that concurrent output does not interleave with the box.
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, shown.data(), shown.size());
  } catch (...) {
  }
  return IDOK;
}

// Without structured exceptions only the null table can be told apart.
std::size_t writablePrefix(void *data, std::size_t bytes) noexcept { return data ? bytes : 0; }

UnclearedStores::UnclearedStores() noexcept : before_(pages::spare::uncleared) {
  pages::spare::uncleared = true;
}
UnclearedStores::~UnclearedStores() { pages::spare::uncleared = before_; }

} // namespace pel::os
