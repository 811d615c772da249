// SPDX-License-Identifier: MIT
//
// The five standard colour tables: written into images and recognised in them.
#include "core/detail.hpp"

#include <array>

using namespace pel::detail;

namespace {

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

struct Palette {
  const RGBQUAD *entries;
  uint32_t count;
};

constexpr std::array<Palette, 5> kPalettes = {{
    {kBlackWhite.data(), kBlackWhite.size()},
    {kGrey16.data(), kGrey16.size()},
    {kGrey256.data(), kGrey256.size()},
    {kColor16.data(), kColor16.size()},
    {kColor256.data(), kColor256.size()},
}};
static_assert(kPalettes.size() == PEL_PAL_COLOR256 + 1);

} // namespace

extern "C" {

int32_t PELAPI pelCreateGDIColors(RGBQUAD *colors, uint32_t paletteKind) noexcept {
  if (paletteKind >= kPalettes.size()) return 0;
  const Palette &palette = kPalettes[paletteKind];
  const std::size_t bytes = palette.count * sizeof(RGBQUAD);
  // Entries up to an unwritable one are still written, as a guarded write
  // would leave them.
  const std::size_t writable = pel::os::writablePrefix(colors, bytes);
  const std::size_t entries = writable / sizeof(RGBQUAD);
  if (entries) std::memcpy(colors, palette.entries, entries * sizeof(RGBQUAD));
  return writable == bytes ? 1 : 0;
}

int32_t PELAPI pelIsGDIColors(const RGBQUAD *colors, uint32_t paletteKind) noexcept {
  if (!colors || paletteKind >= kPalettes.size()) return 0;
  const uint32_t count = kPalettes[paletteKind].count;
  auto reference = globalNew<RGBQUAD>(count * sizeof(RGBQUAD));
  if (!reference || !pelCreateGDIColors(reference.get(), paletteKind)) return 0;
  return std::memcmp(colors, reference.get(), count * sizeof(RGBQUAD)) == 0 ? 1 : 0;
}

} // extern "C"
