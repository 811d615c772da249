// SPDX-License-Identifier: MIT
//
// Fresh zeroed pages straight from the kernel, for the POSIX stand-ins of
// virtual memory and of large global blocks. Stores are written whole right
// after they are made, and with 4 KiB pages the first-touch faults of a large
// store cost more than most operations on it: large blocks start on a
// huge-page boundary and ask for huge pages. A hint only; where they are off
// nothing changes.
//
// Even with huge pages, a new mapping is cleared by the kernel one fault at a
// time, and that clearing costs as much as a whole pass of a conversion. So a
// few freed large mappings are kept as spares: a store of the same mapped
// length takes one and clears it in one sweep, which is well under half the
// cost of faulting in new pages. Spares are bounded (four, and by default
// 256 MiB in all, 64 MiB in a 32-bit process; PELC_SPARE_MB sets the bound,
// 0 keeps none) and handed out zeroed like new pages. Under AddressSanitizer a spare is poisoned
// while it waits, so a use after free is still caught.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
#define PELC_POISON_SPARES 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PELC_POISON_SPARES 1
#endif
#endif
#if defined(PELC_POISON_SPARES)
#include <sanitizer/asan_interface.h>
#endif

namespace pel::pages {

// The length a mapping of `bytes` occupies, for unmapFresh.
inline std::size_t mappedLength(std::size_t bytes) noexcept {
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) & ~(page - 1);
}

constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

namespace spare {

constexpr std::size_t kCount = 4;
// A 32-bit process has little address space to spare.
constexpr std::size_t kDefaultMiB = sizeof(void *) >= 8 ? 256 : 64;

struct Store {
  void *data = nullptr;
  std::size_t length = 0;
};

// Oldest first; empty slots at the end.
struct Stores {
  std::mutex lock;
  std::array<Store, kCount> kept{};
  std::size_t count = 0;
  std::size_t bytes = 0;
  std::size_t limit = 0;
};

inline std::size_t limitFromEnvironment() noexcept {
  const char *text = std::getenv("PELC_SPARE_MB");
  if (!text || !*text) return kDefaultMiB << 20;
  char *end = nullptr;
  const unsigned long long mib = std::strtoull(text, &end, 10);
  if (*end || mib > (SIZE_MAX >> 20)) return kDefaultMiB << 20;
  return static_cast<std::size_t>(mib) << 20;
}

inline Stores &stores() noexcept {
  // Never destroyed: images may be freed by other static destructors.
  static Stores *instance = [] {
    auto *s = new Stores;
    s->limit = limitFromEnvironment();
    return s;
  }();
  return *instance;
}

inline void poison(void *data, std::size_t length) noexcept {
#if defined(PELC_POISON_SPARES)
  ASAN_POISON_MEMORY_REGION(data, length);
#else
  (void)data, (void)length;
#endif
}
inline void unpoison(void *data, std::size_t length) noexcept {
#if defined(PELC_POISON_SPARES)
  ASAN_UNPOISON_MEMORY_REGION(data, length);
#else
  (void)data, (void)length;
#endif
}

inline void removeAt(Stores &s, std::size_t i) noexcept {
  s.bytes -= s.kept[i].length;
  for (std::size_t j = i + 1; j < s.count; ++j) s.kept[j - 1] = s.kept[j];
  s.kept[--s.count] = Store{};
}

// Set while the stores made on this thread are written whole by their maker
// (UnclearedStores): a kept mapping then needs clearing in its first page
// only, where a header block starts.
inline thread_local bool uncleared = false;
constexpr std::size_t kAlwaysCleared = 4096;

// A kept mapping of exactly `length` bytes, or null.
inline void *take(std::size_t length) noexcept {
  Stores &s = stores();
  void *data = nullptr;
  {
    std::lock_guard guard(s.lock);
    for (std::size_t i = s.count; i-- > 0;) {
      if (s.kept[i].length != length) continue;
      data = s.kept[i].data;
      removeAt(s, i);
      break;
    }
  }
  if (data) {
    unpoison(data, length);
    std::memset(data, 0, uncleared && length > kAlwaysCleared ? kAlwaysCleared : length);
  }
  return data;
}

// Keeps the mapping, unmapping the oldest to make room; false when it is not
// kept at all.
inline bool keep(void *data, std::size_t length) noexcept {
  Stores &s = stores();
  std::array<Store, kCount> dropped{};
  std::size_t drops = 0;
  {
    std::lock_guard guard(s.lock);
    if (length > s.limit) return false;
    while (s.count == kCount || s.bytes + length > s.limit) {
      dropped[drops++] = s.kept[0];
      removeAt(s, 0);
    }
    s.kept[s.count++] = Store{data, length};
    s.bytes += length;
  }
  poison(data, length);
  for (std::size_t i = 0; i < drops; ++i) {
    unpoison(dropped[i].data, dropped[i].length);
    ::munmap(dropped[i].data, dropped[i].length);
  }
  return true;
}

} // namespace spare

// `bytes` (at least 1) of zeroed read-write memory, or null.
inline void *mapFresh(std::size_t bytes) noexcept {
  constexpr int kProt = PROT_READ | PROT_WRITE;
  constexpr int kFlags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(MADV_HUGEPAGE)
  if (bytes >= kHugePageBytes && bytes <= SIZE_MAX - 2 * kHugePageBytes) {
    const std::size_t length = mappedLength(bytes);
    if (void *kept = spare::take(length)) return kept;
    const std::size_t span = bytes + kHugePageBytes;
    void *raw = ::mmap(nullptr, span, kProt, kFlags, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto base = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t start = (base + kHugePageBytes - 1) & ~std::uintptr_t{kHugePageBytes - 1};
    const std::uintptr_t end = start + length;
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
  const std::size_t length = mappedLength(bytes);
#if defined(MADV_HUGEPAGE)
  if (bytes >= kHugePageBytes && spare::keep(data, length)) return;
#endif
  ::munmap(data, length);
}

} // namespace pel::pages
