// SPDX-License-Identifier: MIT
//
// Windows: forward to the real calls, counting blocks and honouring the
// allocation-failure hook on the way.
#include "platform/platform.hpp"

namespace pel::os {

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
  if (detail::refuseAllocation()) return nullptr;
  LPVOID block = ::VirtualAlloc(address, bytes, allocationType, protect);
  if (block) detail::blockObtained();
  return block;
}

BOOL VirtualFree(LPVOID address, SIZE_T bytes, DWORD freeType) noexcept {
  BOOL done = ::VirtualFree(address, bytes, freeType);
  if (done && (freeType & MEM_RELEASE)) detail::blockReleased();
  return done;
}

HWND GetDesktopWindow() noexcept { return ::GetDesktopWindow(); }
HWND GetActiveWindow() noexcept { return ::GetActiveWindow(); }
HDC GetDC(HWND window) noexcept { return ::GetDC(window); }
int ReleaseDC(HWND window, HDC dc) noexcept { return ::ReleaseDC(window, dc); }
int GetDeviceCaps(HDC dc, int index) noexcept { return ::GetDeviceCaps(dc, index); }

int MessageBoxA(HWND owner, const char *text, const char *caption, UINT type) noexcept {
  if (auto sink = detail::messageSink()) {
    sink(caption, text);
    return IDOK;
  }
  return ::MessageBoxA(owner, text, caption, type);
}

UnclearedStores::UnclearedStores() noexcept : before_(false) {}
UnclearedStores::~UnclearedStores() = default;

std::size_t writablePrefix(void *data, std::size_t bytes) noexcept {
  constexpr DWORD kWritable =
      PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  auto *at = static_cast<unsigned char *>(data);
  std::size_t done = 0;
  while (done < bytes) {
    MEMORY_BASIC_INFORMATION info{};
    if (!at || ::VirtualQuery(at + done, &info, sizeof info) == 0) break;
    if (info.State != MEM_COMMIT || !(info.Protect & kWritable) || (info.Protect & PAGE_GUARD))
      break;
    auto *regionEnd = static_cast<unsigned char *>(info.BaseAddress) + info.RegionSize;
    done = static_cast<std::size_t>(regionEnd - at);
  }
  return done < bytes ? done : bytes;
}

} // namespace pel::os
