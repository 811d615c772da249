// SPDX-License-Identifier: MIT
// The colour map the palette converters share: 4096 entries, one per colour
// quantised to 4 bits per channel, index (r >> 4) << 8 | (g >> 4) << 4 | (b >> 4).
#pragma once
#include "core/detail.hpp"

#include <cstdint>

namespace pel::detail {

using ColourMap = std::uint8_t *;
inline constexpr std::uint32_t kColourMapSize = 4096;

// Map cell of an RGBpack colour.
constexpr std::uint32_t colourMapCell(std::uint32_t rgb) noexcept {
  return ((rgb & 0xF0u) << 4) | ((rgb >> 8) & 0x0F0u) | ((rgb >> 20) & 0x00Fu);
}

} // namespace pel::detail
