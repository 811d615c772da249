// SPDX-License-Identifier: MIT
//
// Fresh zeroed pages straight from the kernel, for the POSIX stand-ins of
// virtual memory and of large global blocks. Stores are written whole right
// after they are made, and with 4 KiB pages the first-touch faults of a large
// store cost more than most operations on it: large blocks start on a
// huge-page boundary and ask for huge pages. A hint only; where they are off
// nothing changes.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace pel::pages {

// The length a mapping of `bytes` occupies, for unmapFresh.
inline std::size_t mappedLength(std::size_t bytes) noexcept {
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) & ~(page - 1);
}

// `bytes` (at least 1) of zeroed read-write memory, or null.
inline void *mapFresh(std::size_t bytes) noexcept {
  constexpr int kProt = PROT_READ | PROT_WRITE;
  constexpr int kFlags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(MADV_HUGEPAGE)
  constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;
  if (bytes >= kHugePageBytes && bytes <= SIZE_MAX - 2 * kHugePageBytes) {
    const std::size_t span = bytes + kHugePageBytes;
    void *raw = ::mmap(nullptr, span, kProt, kFlags, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto base = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t start = (base + kHugePageBytes - 1) & ~std::uintptr_t{kHugePageBytes - 1};
    const std::uintptr_t end = start + mappedLength(bytes);
    if (start > base) ::munmap(raw, start - base);
    if (base + span > end) ::munmap(reinterpret_cast<void *>(end), base + span - end);
    ::madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
    return reinterpret_cast<void *>(start);
  }
#endif
  void *data = ::mmap(nullptr, bytes, kProt, kFlags, -1, 0);
  return data == MAP_FAILED ? nullptr : data;
}

inline void unmapFresh(void *data, std::size_t bytes) noexcept {
  ::munmap(data, mappedLength(bytes));
}

} // namespace pel::pages
