// SPDX-License-Identifier: MIT
#include "core/simd.hpp"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace pel::detail {

namespace {

constexpr const char *kNames[] = {"scalar", "sse2", "ssse3", "sse4.1", "avx2"};

SimdLevel detect() noexcept {
#if defined(PELC_X86_KERNELS)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return SimdLevel::Avx2;
  if (__builtin_cpu_supports("sse4.1")) return SimdLevel::Sse41;
  if (__builtin_cpu_supports("ssse3")) return SimdLevel::Ssse3;
  if (__builtin_cpu_supports("sse2")) return SimdLevel::Sse2;
#endif
  return SimdLevel::Scalar;
}

// The environment's cap; an unknown name leaves the level alone.
SimdLevel environmentCap() noexcept {
  const char *text = std::getenv("PELC_SIMD");
  if (text)
    for (int level = 0; level <= static_cast<int>(SimdLevel::Avx2); ++level)
      if (std::strcmp(text, kNames[level]) == 0) return static_cast<SimdLevel>(level);
  return SimdLevel::Avx2;
}

SimdLevel lower(SimdLevel a, SimdLevel b) {
  return static_cast<int>(a) < static_cast<int>(b) ? a : b;
}

std::atomic<int> testCap{static_cast<int>(SimdLevel::Avx2)};

} // namespace

SimdLevel detectedSimdLevel() noexcept {
  static const SimdLevel detected = detect();
  return detected;
}

SimdLevel simdLevel() noexcept {
  static const SimdLevel allowed = lower(detectedSimdLevel(), environmentCap());
  return lower(allowed, static_cast<SimdLevel>(testCap.load(std::memory_order_relaxed)));
}

void capSimdLevel(SimdLevel level) noexcept {
  testCap.store(static_cast<int>(level), std::memory_order_relaxed);
}

namespace {
std::atomic<std::size_t> streamingFrom{kDefaultStreamingBytes};
}

std::size_t streamingBytes() noexcept { return streamingFrom.load(std::memory_order_relaxed); }

void setStreamingBytes(std::size_t bytes) noexcept {
  streamingFrom.store(bytes, std::memory_order_relaxed);
}

const char *simdLevelName(SimdLevel level) noexcept {
  const int index = static_cast<int>(level);
  return index >= 0 && index <= static_cast<int>(SimdLevel::Avx2) ? kNames[index] : "scalar";
}

} // namespace pel::detail
