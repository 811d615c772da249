// SPDX-License-Identifier: MIT
//
// The global heap keeps a table of live blocks. A fixed block's handle is its
// data pointer, as on Windows; a movable block's handle is a record of its own,
// so code that confuses the two fails here as it would there. Unknown handles
// and pointers are refused, never freed. Blocks never move.
//
// Large blocks are mapped fresh from the kernel, as virtual memory is: a
// general-purpose allocator hands back recycled memory it must clear page by
// page, and its blocks do not start on huge-page boundaries.
#include "platform/winstub/detail.hpp"

#include "platform/fresh_pages.hpp"

#include <cstdlib>
#include <new>
#include <unordered_map>

namespace pel::winstub {

std::mutex &tableLock() noexcept {
  static std::mutex *lock = new std::mutex; // never destroyed: used until the process ends
  return *lock;
}

namespace {

struct Block {
  void *data = nullptr;
  std::size_t size = 0;
  unsigned locks = 0;
  bool moveable = false;
  bool mapped = false; // from mapFresh, else from malloc
};

// Blocks from this size up are mapped.
constexpr std::size_t kMappedBlockBytes = std::size_t{1} << 20;

void *obtain(std::size_t size, bool zeroed, bool mapped) {
  if (mapped) return pel::pages::mapFresh(size);
  return zeroed ? std::calloc(1, size) : std::malloc(size);
}

void release(const Block &block) {
  if (block.mapped)
    pel::pages::unmapFresh(block.data, block.size ? block.size : 1);
  else
    std::free(block.data);
}

// Handle records of movable blocks are told apart from data pointers by the
// table, not by their value.
struct Heap {
  std::unordered_map<const void *, Block *> byHandle;
  std::unordered_map<const void *, Block *> byData;
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
} // namespace pel::winstub

using namespace pel::winstub;

extern "C" {

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  const std::size_t size = bytes ? bytes : 1;
  const bool mapped = size >= kMappedBlockBytes;
  void *data = obtain(size, (flags & GMEM_ZEROINIT) != 0, mapped);
  if (!data) return nullptr;
  auto *block = new (std::nothrow) Block{data, bytes, 0, (flags & GMEM_MOVEABLE) != 0, mapped};
  if (!block) {
    release(Block{data, bytes, 0, false, mapped});
    return nullptr;
  }
  HGLOBAL handle = block->moveable ? static_cast<HGLOBAL>(block) : data;
  try {
    std::lock_guard guard(tableLock());
    heap().byHandle.emplace(handle, block);
    try {
      heap().byData.emplace(data, block);
    } catch (...) {
      heap().byHandle.erase(handle);
      throw;
    }
  } catch (...) {
    release(*block);
    delete block;
    return nullptr;
  }
  return handle;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
  Block *block = nullptr;
  {
    std::lock_guard guard(tableLock());
    block = findHandle(handle);
    if (!block) return handle;
    heap().byHandle.erase(handle);
    heap().byData.erase(block->data);
  }
  release(*block);
  delete block;
  return nullptr;
}

LPVOID GlobalLock(HGLOBAL handle) {
  std::lock_guard guard(tableLock());
  Block *block = findHandle(handle);
  if (!block) return nullptr;
  if (block->moveable && block->locks < GMEM_LOCKCOUNT) ++block->locks;
  return block->data;
}

BOOL GlobalUnlock(HGLOBAL handle) {
  std::lock_guard guard(tableLock());
  Block *block = findHandle(handle);
  if (!block || !block->moveable || block->locks == 0) return 0;
  --block->locks;
  return block->locks != 0;
}

HGLOBAL GlobalHandle(LPCVOID data) {
  std::lock_guard guard(tableLock());
  auto it = heap().byData.find(data);
  if (it == heap().byData.end()) return nullptr;
  Block *block = it->second;
  return block->moveable ? static_cast<HGLOBAL>(block) : block->data;
}

SIZE_T GlobalSize(HGLOBAL handle) {
  std::lock_guard guard(tableLock());
  Block *block = findHandle(handle);
  return block ? block->size : 0;
}

UINT GlobalFlags(HGLOBAL handle) {
  std::lock_guard guard(tableLock());
  Block *block = findHandle(handle);
  return block ? block->locks : static_cast<UINT>(GMEM_INVALID_HANDLE);
}

} // extern "C"
