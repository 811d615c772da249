// SPDX-License-Identifier: MIT
//
// Included first by every source file of the library: marks the build of the
// library itself, so the public header exports what it declares.
#pragma once

#define PELC_BUILDING 1
#include "pelc.h"

#include <bit>
#include <cstddef>

// Stored pixels, headers and files are little-endian and read in place.
static_assert(std::endian::native == std::endian::little);

static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(PELIMAGE) == (sizeof(void *) == 4 ? 20 : 24));
static_assert(sizeof(IMAGECORE) == (sizeof(void *) == 4 ? 24 : 32));
static_assert(sizeof(IMAGELIST) == (sizeof(void *) == 4 ? 12 : 16));
static_assert(offsetof(PELIMAGE, imageType) == sizeof(void *));
static_assert(offsetof(IMAGECORE, headerSize) == 2 * sizeof(void *));
static_assert(offsetof(IMAGELIST, images) == 8);
