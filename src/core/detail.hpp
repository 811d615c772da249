// SPDX-License-Identifier: MIT
//
// What the image-core files share: owners for global blocks, the one size
// rule for stores, and header field access in fixed-width types.
#pragma once

#include "api_build.hpp"
#include "core/simd.hpp"
#include "platform/platform.hpp"

#include <cstdint>
#include <cstring>
#include <memory>

namespace pel::detail {

namespace os = pel::os;

#if !defined(_WIN32)
using pel::os::GHND;
using pel::os::GMEM_FIXED;
using pel::os::GMEM_MOVEABLE;
using pel::os::GMEM_ZEROINIT;
using pel::os::GPTR;
using pel::os::LOGPIXELSX;
using pel::os::LOGPIXELSY;
using pel::os::MB_OK;
using pel::os::MEM_COMMIT;
using pel::os::MEM_RELEASE;
using pel::os::PAGE_READWRITE;
#endif

inline constexpr uint32_t kHeaderBytes = 40;
inline constexpr uint32_t kMaskBytes = 12;
// Stores below this many bytes of bits come from the global heap under the
// automatic choice; larger ones from virtual memory.
inline constexpr uint32_t kGlobalStoreLimit = 0x100000;
// Every line and every store must stay addressable with the signed 32-bit
// results of the header arithmetic.
inline constexpr uint64_t kMaxStoreBytes = 0x7FFFFFFF;
inline constexpr uint32_t kNoTransparency = 0xFFFFFFFF;

// Frees a GlobalAlloc(GPTR) block.
struct GlobalFreer {
  void operator()(void *block) const noexcept { os::GlobalFree(block); }
};
template <typename T> using GlobalPtr = std::unique_ptr<T, GlobalFreer>;

// A zero-filled record or buffer from the global heap, or null.
template <typename T> GlobalPtr<T> globalNew(std::size_t bytes = sizeof(T)) noexcept {
  return GlobalPtr<T>(static_cast<T *>(os::GlobalAlloc(GPTR, bytes)));
}

struct ImageDestroyer {
  void operator()(PELIMAGE *image) const noexcept { pelDestroyImage(image); }
};
using ImagePtr = std::unique_ptr<PELIMAGE, ImageDestroyer>;

// Header fields in fixed-width types (the Windows record uses long/DWORD).
inline uint32_t bitCount(const BITMAPINFOHEADER &h) { return h.biBitCount; }
inline uint32_t compression(const BITMAPINFOHEADER &h) {
  return static_cast<uint32_t>(h.biCompression);
}
inline int32_t width(const BITMAPINFOHEADER &h) { return static_cast<int32_t>(h.biWidth); }
inline int32_t height(const BITMAPINFOHEADER &h) { return static_cast<int32_t>(h.biHeight); }

// The colour table or masks stored directly behind the 40-byte header.
inline const uint8_t *afterHeader(const BITMAPINFOHEADER *h) {
  return reinterpret_cast<const uint8_t *>(h) + kHeaderBytes;
}
inline uint8_t *afterHeader(BITMAPINFOHEADER *h) {
  return reinterpret_cast<uint8_t *>(h) + kHeaderBytes;
}

// True when an uncompressed store of this header fits the size rule: the
// signed 32-bit line formula does not overflow and the store stays below
// 2 GiB, so every size the header arithmetic reports is exact.
inline bool storeFits(const BITMAPINFOHEADER &h) {
  const uint64_t bitsPerLine = uint64_t{static_cast<uint32_t>(width(h))} * bitCount(h) + 31;
  if (bitsPerLine > kMaxStoreBytes) return false;
  const uint64_t line = (bitsPerLine >> 3) & ~uint64_t{3};
  return line * static_cast<uint32_t>(height(h)) <= kMaxStoreBytes;
}

inline bool hasMasks(const BITMAPINFOHEADER &h) {
  return compression(h) == BI_BITFIELDS && (bitCount(h) == 16 || bitCount(h) == 32);
}

// Bytes of colour table a caller's true-colour DIB carries between its
// header (and masks) and its bits: validation zeroes biClrUsed above 8 bits,
// but the table the block really holds must still be stepped over. Taken from
// the raw header, judged by the repaired bit count.
inline uint64_t trueColourTableBytes(const BITMAPINFOHEADER &raw,
                                     const BITMAPINFOHEADER &repaired) {
  return bitCount(repaired) > 8 ? uint64_t{raw.biClrUsed} * 4 : 0;
}

} // namespace pel::detail
