// SPDX-License-Identifier: MIT
//
// Stand-ins for the Windows facilities on POSIX systems.
//
// The global heap keeps a table of live blocks. A fixed block's handle is its
// data pointer, as on Windows; a movable block's handle is a record of its own,
// so code that confuses the two fails here as it would there. Unknown handles
// and pointers are refused, never freed. Blocks never move.
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

struct Block {
  void *data = nullptr;
  std::size_t size = 0;
  unsigned locks = 0;
  bool moveable = false;
};

struct Mapping {
  std::size_t length = 0;
};

// Handle records of movable blocks are told apart from data pointers by the
// table, not by their value.
struct Heap {
  std::mutex lock;
  std::unordered_map<const void *, Block *> byHandle;
  std::unordered_map<const void *, Block *> byData;
  std::unordered_map<const void *, Mapping> mappings;
};

Heap &heap() {
  static Heap *instance = new Heap; // never destroyed: blocks may outlive static destructors
  return *instance;
}

Block *findHandle(HGLOBAL handle) {
  auto &h = heap();
  auto it = h.byHandle.find(handle);
  return it == h.byHandle.end() ? nullptr : it->second;
}

} // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) noexcept {
  if (detail::refuseAllocation()) return nullptr;
  const std::size_t size = bytes ? bytes : 1;
  void *data = (flags & GMEM_ZEROINIT) ? std::calloc(1, size) : std::malloc(size);
  if (!data) return nullptr;
  auto *block = new (std::nothrow) Block{data, bytes, 0, (flags & GMEM_MOVEABLE) != 0};
  if (!block) {
    std::free(data);
    return nullptr;
  }
  HGLOBAL handle = block->moveable ? static_cast<HGLOBAL>(block) : data;
  try {
    std::lock_guard guard(heap().lock);
    heap().byHandle.emplace(handle, block);
    try {
      heap().byData.emplace(data, block);
    } catch (...) {
      heap().byHandle.erase(handle);
      throw;
    }
  } catch (...) {
    std::free(data);
    delete block;
    return nullptr;
  }
  detail::blockObtained();
  return handle;
}

HGLOBAL GlobalFree(HGLOBAL handle) noexcept {
  Block *block = nullptr;
  {
    std::lock_guard guard(heap().lock);
    block = findHandle(handle);
    if (!block) return handle;
    heap().byHandle.erase(handle);
    heap().byData.erase(block->data);
  }
  std::free(block->data);
  delete block;
  detail::blockReleased();
  return nullptr;
}

LPVOID GlobalLock(HGLOBAL handle) noexcept {
  std::lock_guard guard(heap().lock);
  Block *block = findHandle(handle);
  if (!block) return nullptr;
  if (block->moveable && block->locks < GMEM_LOCKCOUNT) ++block->locks;
  return block->data;
}

BOOL GlobalUnlock(HGLOBAL handle) noexcept {
  std::lock_guard guard(heap().lock);
  Block *block = findHandle(handle);
  if (!block || !block->moveable || block->locks == 0) return 0;
  --block->locks;
  return block->locks != 0;
}

HGLOBAL GlobalHandle(LPCVOID data) noexcept {
  std::lock_guard guard(heap().lock);
  auto it = heap().byData.find(data);
  if (it == heap().byData.end()) return nullptr;
  Block *block = it->second;
  return block->moveable ? static_cast<HGLOBAL>(block) : block->data;
}

SIZE_T GlobalSize(HGLOBAL handle) noexcept {
  std::lock_guard guard(heap().lock);
  Block *block = findHandle(handle);
  return block ? block->size : 0;
}

UINT GlobalFlags(HGLOBAL handle) noexcept {
  std::lock_guard guard(heap().lock);
  Block *block = findHandle(handle);
  return block ? block->locks : 0x8000; // GMEM_INVALID_HANDLE
}

LPVOID VirtualAlloc(LPVOID address, SIZE_T bytes, DWORD allocationType, DWORD protect) noexcept {
  // Only fresh committed read-write regions are asked for.
  if (address || bytes == 0 || !(allocationType & MEM_COMMIT) || protect != PAGE_READWRITE)
    return nullptr;
  if (detail::refuseAllocation()) return nullptr;
  void *data = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) return nullptr;
#if defined(MADV_HUGEPAGE)
  // Stores are written whole right after they are made; with 4 KiB pages the
  // first-touch faults of a large store cost more than most operations on it.
  // A hint only: where huge pages are off nothing changes.
  constexpr SIZE_T kHugePageBytes = SIZE_T{2} << 20;
  if (bytes >= kHugePageBytes) ::madvise(data, bytes, MADV_HUGEPAGE);
#endif
  try {
    std::lock_guard guard(heap().lock);
    heap().mappings.emplace(data, Mapping{bytes});
  } catch (...) {
    ::munmap(data, bytes);
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
  ::munmap(address, length);
  detail::blockReleased();
  return 1;
}

// A virtual screen: one desktop window, one device context, 96 DPI.
namespace {
WindowTag *const kDesktop = reinterpret_cast<WindowTag *>(std::uintptr_t{0x10010});
DeviceContextTag *const kScreenDc = reinterpret_cast<DeviceContextTag *>(std::uintptr_t{0x10020});
constexpr int kScreenDpi = 96;
} // namespace

HWND GetDesktopWindow() noexcept { return kDesktop; }
HWND GetActiveWindow() noexcept { return nullptr; }
HDC GetDC(HWND window) noexcept { return window == kDesktop || !window ? kScreenDc : nullptr; }
int ReleaseDC(HWND, HDC dc) noexcept { return dc == kScreenDc ? 1 : 0; }

int GetDeviceCaps(HDC dc, int index) noexcept {
  if (dc != kScreenDc) return 0;
  return index == LOGPIXELSX || index == LOGPIXELSY ? kScreenDpi : 0;
}

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

} // namespace pel::os
