// SPDX-License-Identifier: MIT
//
// File-mapped storage internals the memory kinds and the tests share.
#pragma once

#include "core/detail.hpp"

namespace pel::detail {

// Bytes in front of every mapped block holding the temporary file's path.
inline constexpr uint32_t kNameArea = 260;

// The free-space rule for a location: its type must be a local fixed one (or a
// RAM disk, or anything newer), and it must keep more than 100 whole MiB
// (system volume) or 10 whole MiB (any other) spare after the request. Both
// counts round down; the arithmetic is 64-bit so huge volumes do not wrap.
bool locationQualifies(uint32_t driveType, uint64_t freeBytes, uint32_t size, bool systemVolume);

} // namespace pel::detail
