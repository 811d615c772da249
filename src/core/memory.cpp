// SPDX-License-Identifier: MIT
//
// Memory kinds and the pixel store (IMAGECORE).
#include "core/detail.hpp"

#include <array>
#include <utility>

using namespace pel::detail;

namespace {

void *globalFixed(uint32_t size) { return os::GlobalAlloc(GPTR, size); }

// The caller gets the locked pointer; the handle is found again from it.
void *globalMoveable(uint32_t size) {
  os::HGLOBAL handle = os::GlobalAlloc(GHND, size);
  if (!handle) return nullptr;
  void *data = os::GlobalLock(handle);
  if (!data) os::GlobalFree(handle);
  return data;
}

void *virtualCommitted(uint32_t size) {
  return os::VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE);
}

void *fileMapped(uint32_t size) { return pelAllocFileMapping(size); }

void freeGlobalFixed(void *data) { os::GlobalFree(data); }

void freeGlobalMoveable(void *data) {
  if (os::HGLOBAL handle = os::GlobalHandle(data)) {
    os::GlobalUnlock(handle);
    os::GlobalFree(handle);
  }
}

void freeVirtual(void *data) { os::VirtualFree(data, 0, MEM_RELEASE); }

void freeFileMapped(void *data) { pelFreeFileMapping(data); }

struct Kind {
  void *(*alloc)(uint32_t);
  void (*release)(void *);
};

// Indexed by memory kind; kind 0 owns nothing.
constexpr std::array<Kind, 6> kKinds = {{
    {nullptr, nullptr},
    {globalFixed, freeGlobalFixed},
    {globalMoveable, freeGlobalMoveable},
    {globalFixed, freeGlobalFixed},
    {virtualCommitted, freeVirtual},
    {fileMapped, freeFileMapped},
}};
static_assert(kKinds.size() == PEL_MEM_FILE + 1);

const Kind *kindOf(int32_t kind) {
  if (kind <= 0 || kind >= static_cast<int32_t>(kKinds.size())) return nullptr;
  return &kKinds[static_cast<std::size_t>(kind)];
}

// A nonzero kind alone, or the automatic choice. The 1 MiB test looks at the
// bits alone, also when the block holds the header too.
std::pair<void *, int32_t> obtainStore(uint32_t size, uint32_t bitsSize, int32_t kind) {
  if (kind != PEL_MEM_AUTO) return {pelMemAlloc(size, kind), kind};
  if (bitsSize < kGlobalStoreLimit) {
    if (void *p = pelMemAlloc(size, PEL_MEM_GLOBAL)) return {p, PEL_MEM_GLOBAL};
  }
  if (void *p = pelMemAlloc(size, PEL_MEM_VIRTUAL)) return {p, PEL_MEM_VIRTUAL};
  return {pelMemAlloc(size, PEL_MEM_FILE), PEL_MEM_FILE};
}

} // namespace

extern "C" {

void *PELAPI pelMemAlloc(uint32_t size, int32_t kind) noexcept {
  const Kind *k = kindOf(kind);
  return k ? k->alloc(size) : nullptr;
}

void PELAPI pelMemFree(void *ptr, int32_t kind) noexcept {
  const Kind *k = kindOf(kind);
  if (ptr && k) k->release(ptr);
}

IMAGECORE *PELAPI pelCoreAlloc(uint32_t headerSize, uint32_t bitsSize, int32_t kind,
                               int32_t contiguous) noexcept {
  // One block for both must not wrap around.
  if (contiguous && bitsSize > UINT32_MAX - headerSize) return nullptr;
  auto core = globalNew<IMAGECORE>();
  if (!core) return nullptr;
  core->headerSize = headerSize;
  core->bitsSize = bitsSize;
  core->contiguous = contiguous;

  if (contiguous) {
    auto [block, used] = obtainStore(headerSize + bitsSize, bitsSize, kind);
    if (!block) return nullptr;
    core->header = static_cast<BITMAPINFOHEADER *>(block);
    core->bits = static_cast<uint8_t *>(block) + headerSize;
    core->memKind = used;
    return core.release();
  }

  auto header = globalNew<BITMAPINFOHEADER>(headerSize);
  if (!header) return nullptr;
  auto [bits, used] = obtainStore(bitsSize, bitsSize, kind);
  if (!bits) return nullptr;
  core->header = header.release();
  core->bits = static_cast<uint8_t *>(bits);
  core->memKind = used;
  return core.release();
}

void PELAPI pelCoreFree(IMAGECORE *core) noexcept {
  if (!core) return;
  if (core->contiguous) {
    pelMemFree(core->header, core->memKind);
  } else {
    os::GlobalFree(core->header);
    pelMemFree(core->bits, core->memKind);
  }
  os::GlobalFree(core);
}

} // extern "C"
