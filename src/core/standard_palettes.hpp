// SPDX-License-Identifier: MIT
//
// The standard colour tables as compile-time data, shared by the palette
// functions and the stand-in screen, which writes them into the DIBs it
// makes.
#pragma once

#include "pelc.h"

#include <array>
#include <cstddef>

namespace pel::palettes {

constexpr RGBQUAD rgb(int r, int g, int b) {
  return RGBQUAD{static_cast<BYTE>(b), static_cast<BYTE>(g), static_cast<BYTE>(r), 0};
}

constexpr std::array<RGBQUAD, 2> kBlackWhite = {rgb(0, 0, 0), rgb(255, 255, 255)};

template <std::size_t N> constexpr std::array<RGBQUAD, N> greyRamp() {
  std::array<RGBQUAD, N> table{};
  constexpr int step = 255 / static_cast<int>(N - 1);
  for (std::size_t i = 0; i < N; ++i) {
    const int v = static_cast<int>(i) * step;
    table[i] = rgb(v, v, v);
  }
  return table;
}

// Index 7 is the darker grey and 8 the lighter one.
constexpr std::array<RGBQUAD, 16> kColor16 = {
    rgb(0, 0, 0),       rgb(128, 0, 0),   rgb(0, 128, 0),   rgb(128, 128, 0),
    rgb(0, 0, 128),     rgb(128, 0, 128), rgb(0, 128, 128), rgb(128, 128, 128),
    rgb(192, 192, 192), rgb(255, 0, 0),   rgb(0, 255, 0),   rgb(255, 255, 0),
    rgb(0, 0, 255),     rgb(255, 0, 255), rgb(0, 255, 255), rgb(255, 255, 255)};

// The twenty static colours of the system palette: ten at each end.
constexpr std::array<RGBQUAD, 10> kSystemLow = {
    rgb(0, 0, 0),     rgb(128, 0, 0),   rgb(0, 128, 0),     rgb(128, 128, 0),   rgb(0, 0, 128),
    rgb(128, 0, 128), rgb(0, 128, 128), rgb(192, 192, 192), rgb(192, 220, 192), rgb(166, 202, 240)};
constexpr std::array<RGBQUAD, 10> kSystemHigh = {
    rgb(255, 251, 240), rgb(160, 160, 164), rgb(128, 128, 128), rgb(255, 0, 0),
    rgb(0, 255, 0),     rgb(255, 255, 0),   rgb(0, 0, 255),     rgb(255, 0, 255),
    rgb(0, 255, 255),   rgb(255, 255, 255)};

// An 8 x 8 x 4 colour cube with the system colours over both ends.
constexpr std::array<RGBQUAD, 256> color256() {
  std::array<RGBQUAD, 256> table{};
  for (int i = 0; i < 256; ++i) table[i] = rgb(32 * (i % 8), 32 * ((i / 8) % 8), 64 * (i / 64));
  for (std::size_t i = 0; i < kSystemLow.size(); ++i) table[i] = kSystemLow[i];
  for (std::size_t i = 0; i < kSystemHigh.size(); ++i) table[246 + i] = kSystemHigh[i];
  return table;
}

constexpr auto kGrey16 = greyRamp<16>();
constexpr auto kGrey256 = greyRamp<256>();
constexpr auto kColor256 = color256();

} // namespace pel::palettes
