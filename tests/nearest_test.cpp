// SPDX-License-Identifier: MIT
#include "colour/detail.hpp"
#include "support.hpp"

#include <vector>

namespace {

// Independent model: full scan, first strictly smaller distance.
uint32_t modelNearest(const std::vector<RGBQUAD> &pal, int r, int g, int b) {
  int64_t best = int64_t{1} << 40;
  uint32_t idx = 0;
  for (uint32_t i = 0; i < pal.size(); ++i) {
    int64_t d = (r - pal[i].rgbRed) * (r - pal[i].rgbRed) +
                (g - pal[i].rgbGreen) * (g - pal[i].rgbGreen) +
                (b - pal[i].rgbBlue) * (b - pal[i].rgbBlue);
    if (d < best) best = d, idx = i;
  }
  return best < 3 * 255 * 255 ? idx : 0;
}

std::vector<RGBQUAD> somePalette() {
  std::vector<RGBQUAD> pal;
  for (int i = 0; i < 37; ++i)
    pal.push_back(RGBQUAD{static_cast<uint8_t>(i * 53 % 256), static_cast<uint8_t>(i * 97 % 256),
                          static_cast<uint8_t>(i * 31 % 256), 0});
  pal.push_back(pal[5]); // a duplicate: the lower index must win
  return pal;
}

} // namespace

TEST(NearestColour, MatchesModelAndPrefersLowestIndex) {
  const auto pal = somePalette();
  for (uint32_t c = 0; c < 0x1000000; c += 0x10307)
    EXPECT_EQ(pelGetNearestColorIndex(pal.data(), static_cast<uint32_t>(pal.size()), c),
              modelNearest(pal, c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
  EXPECT_EQ(pelGetNearestColorIndex(nullptr, 0, 0x123456), 0u);
  const RGBQUAD farAway{255, 255, 255, 0};
  EXPECT_EQ(pelGetNearestColorIndex(&farAway, 1, 0), 0u);
}

using NearestColourMap = pel::test::LeakCheck;

TEST_F(NearestColourMap, CellsHoldTheLowCornerSearch) {
  const auto pal = somePalette();
  uint8_t *map = pelCreate4096Map(pal.data(), static_cast<int32_t>(pal.size()));
  ASSERT_NE(map, nullptr);
  for (uint32_t n = 0; n < 4096; ++n)
    ASSERT_EQ(map[n], modelNearest(pal, ((n >> 8) & 15) * 16, ((n >> 4) & 15) * 16, (n & 15) * 16));
  EXPECT_EQ(map[pel::detail::colourMapCell(0x00F0E0D0)], map[0xDEF]);
  pelRelease4096Map(map);
  uint8_t *zero = pelCreate4096Map(pal.data(), 0);
  ASSERT_NE(zero, nullptr);
  for (uint32_t n = 0; n < 4096; ++n) ASSERT_EQ(zero[n], 0);
  pelRelease4096Map(zero);
  EXPECT_EQ(pel::test::sweepAllocationFailures([&] {
              uint8_t *m = pelCreate4096Map(pal.data(), 4);
              pelRelease4096Map(m);
              return m != nullptr;
            }),
            1);
}
