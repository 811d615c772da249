// SPDX-License-Identifier: MIT
#pragma once

#include "core/detail.hpp"

#include <cstddef>

namespace pel::detail {

// Bytes the validation message may hold, not counting its terminator.
inline constexpr std::size_t kMessageBytes = 255;

// The text pelPopupVerifyBIHInfo shows for an error word; returns its length.
std::size_t composeVerifyMessage(const BITMAPINFOHEADER &header, uint32_t errorWord,
                                 char (&text)[kMessageBytes + 1]) noexcept;

} // namespace pel::detail
