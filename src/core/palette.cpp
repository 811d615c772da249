// SPDX-License-Identifier: MIT
//
// The five standard colour tables: written into images and recognised in them.
#include "core/detail.hpp"
#include "core/standard_palettes.hpp"

#include <array>

using namespace pel::detail;

namespace {

using namespace pel::palettes;

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
