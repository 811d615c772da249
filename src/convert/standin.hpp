// SPDX-License-Identifier: MIT
//
// Temporary: the image copy and the colour map that the conversions use come
// with the pixel and colour subsystems, which are not on this branch yet.
// These declarations and src/convert/standin.cpp go when those land.
#pragma once

#include "pelc.h"

extern "C" {
PELIMAGE *pelCopyImage(PELIMAGE *image, const int32_t *rect, int32_t kind) noexcept;
uint8_t *pelCreate4096Map(const RGBQUAD *palette, int32_t count) noexcept;
void pelRelease4096Map(uint8_t *map) noexcept;
}
