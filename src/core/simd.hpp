// SPDX-License-Identifier: MIT
//
// The instruction-set level the vector kernels may use. It is detected once
// from the processor and can be lowered, never raised, by the environment
// variable PELC_SIMD (scalar, sse2, ssse3, sse4.1, avx2) or by a test, so that
// every kernel can be run against the portable scalar routine it stands in
// for. Operations read the level once per call and pick their routines from
// it; nothing is tested inside the pixel loops.
#pragma once

#include <cstddef>

namespace pel::detail {

enum class SimdLevel : int { Scalar = 0, Sse2 = 1, Ssse3 = 2, Sse41 = 3, Avx2 = 4 };

// The level in force: the processor's, capped by PELC_SIMD and the test cap.
SimdLevel simdLevel() noexcept;
// What the processor offers (Scalar off x86 or without the compiler's support).
SimdLevel detectedSimdLevel() noexcept;
// Caps the level for the rest of the process (tests); Avx2 lifts the cap.
void capSimdLevel(SimdLevel level) noexcept;
// The name PELC_SIMD uses for a level.
const char *simdLevelName(SimdLevel level) noexcept;

// Results from this many bytes up are far larger than the caches: the
// kernels that write them in one pass store them streaming, skipping the
// read of each target line that a store through the cache costs. Tests
// lower it to run the streaming kernels on small images.
std::size_t streamingBytes() noexcept;
void setStreamingBytes(std::size_t bytes) noexcept;
constexpr std::size_t kDefaultStreamingBytes = std::size_t{16} << 20;

inline bool simdAtLeast(SimdLevel level) noexcept {
  return static_cast<int>(simdLevel()) >= static_cast<int>(level);
}

} // namespace pel::detail

// Kernels for a level are compiled with the level's instruction set enabled
// for that function alone, so the library as a whole keeps its baseline.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define PELC_X86_KERNELS 1
#define PELC_TARGET_SSE2 [[gnu::target("sse2")]]
#define PELC_TARGET_SSSE3 [[gnu::target("ssse3")]]
#define PELC_TARGET_SSE41 [[gnu::target("sse4.1")]]
#define PELC_TARGET_AVX2 [[gnu::target("avx2")]]
#endif
