// SPDX-License-Identifier: MIT
//
// Stands in for palette_nearest.cpp until the single-pixel operations are
// part of the library: palette results are made but left as created (all
// zero). Replace this file by palette_nearest.cpp in the source list then.
#include "core/detail.hpp"
#include "geometry/detail.hpp"

namespace pel::detail {

void rotatePaletteNearest(const PELIMAGE &, PELIMAGE &, int64_t, int64_t, uint32_t) {}

void scalePaletteNearest(const PELIMAGE &, PELIMAGE &, uint64_t, uint64_t) {}

} // namespace pel::detail
