// SPDX-License-Identifier: MIT
// The standard colour tables.
#include "support.hpp"

#include <array>
#include <map>
#include <tuple>

namespace {

using Rgb = std::tuple<int, int, int>;
Rgb rgbOf(const RGBQUAD &q) { return {q.rgbRed, q.rgbGreen, q.rgbBlue}; }

TEST(StandardPalettes, Entries) {
  struct Case {
    uint32_t kind;
    uint32_t count;
    std::vector<std::pair<int, Rgb>> samples;
  };
  const Case cases[] = {
      {0, 2, {{0, {0, 0, 0}}, {1, {255, 255, 255}}}},
      {1, 16, {{0, {0, 0, 0}}, {1, {17, 17, 17}}, {2, {34, 34, 34}}, {15, {255, 255, 255}}}},
      {2, 256, {{0, {0, 0, 0}}, {77, {77, 77, 77}}, {255, {255, 255, 255}}}},
      {3,
       16,
       {{1, {128, 0, 0}},
        {7, {128, 128, 128}},
        {8, {192, 192, 192}},
        {9, {255, 0, 0}},
        {14, {0, 255, 255}},
        {15, {255, 255, 255}}}},
      {4,
       256,
       {{0, {0, 0, 0}},
        {7, {192, 192, 192}},
        {8, {192, 220, 192}},
        {9, {166, 202, 240}},
        {10, {64, 32, 0}},
        {63, {224, 224, 0}},
        {64, {0, 0, 64}},
        {245, {160, 192, 192}},
        {246, {255, 251, 240}},
        {247, {160, 160, 164}},
        {248, {128, 128, 128}},
        {255, {255, 255, 255}}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.kind);
    // One entry more than the table, to see that nothing is written past it.
    std::vector<RGBQUAD> table(c.count + 1, RGBQUAD{1, 2, 3, 4});
    ASSERT_EQ(pelCreateGDIColors(table.data(), c.kind), 1);
    for (const auto &[index, colour] : c.samples) EXPECT_EQ(rgbOf(table[index]), colour) << index;
    for (uint32_t i = 0; i < c.count; ++i) EXPECT_EQ(table[i].rgbReserved, 0) << i;
    EXPECT_EQ(table[c.count].rgbReserved, 4);
    EXPECT_EQ(pelIsGDIColors(table.data(), c.kind), 1);
  }
}

TEST(StandardPalettes, ColourCubeAndItsDuplicates) {
  auto table = pel::test::palette(PEL_PAL_COLOR256);
  for (int i = 10; i < 246; ++i)
    EXPECT_EQ(rgbOf(table[i]), Rgb(32 * (i % 8), 32 * ((i / 8) % 8), 64 * (i / 64))) << i;
  std::map<Rgb, std::vector<int>> seen;
  for (int i = 0; i < 256; ++i) seen[rgbOf(table[i])].push_back(i);
  std::map<Rgb, std::vector<int>> twice;
  for (auto &[colour, where] : seen)
    if (where.size() > 1) twice[colour] = where;
  // Position 0 is black in both the cube and the system colours.
  EXPECT_EQ(seen[Rgb(0, 0, 0)].size(), 1u);
  const std::map<Rgb, std::vector<int>> duplicates = {
      {{0, 128, 0}, {2, 32}},    {{128, 128, 0}, {3, 36}},  {{0, 0, 128}, {4, 128}},
      {{128, 0, 128}, {5, 132}}, {{0, 128, 128}, {6, 160}}, {{128, 128, 128}, {164, 248}},
  };
  EXPECT_EQ(twice, duplicates);
}

TEST(StandardPalettes, RefusesUnknownKindsAndNullTables) {
  std::array<RGBQUAD, 256> table;
  table.fill(RGBQUAD{9, 9, 9, 9});
  EXPECT_EQ(pelCreateGDIColors(table.data(), 5), 0);
  EXPECT_EQ(pelCreateGDIColors(table.data(), 0xFFFFFFFFu), 0);
  for (const RGBQUAD &q : table) EXPECT_EQ(q.rgbRed, 9);
  EXPECT_EQ(pelCreateGDIColors(nullptr, 2), 0);
  EXPECT_EQ(pelIsGDIColors(nullptr, 2), 0);
  EXPECT_EQ(pelIsGDIColors(table.data(), 5), 0);
}

TEST(StandardPalettes, RecognitionIsExact) {
  auto grey16 = pel::test::palette(PEL_PAL_GREY16);
  auto colour16 = pel::test::palette(PEL_PAL_COLOR16);
  EXPECT_EQ(pelIsGDIColors(grey16.data(), PEL_PAL_COLOR16), 0);
  EXPECT_EQ(pelIsGDIColors(colour16.data(), PEL_PAL_GREY16), 0);
  grey16[3].rgbReserved = 1;
  EXPECT_EQ(pelIsGDIColors(grey16.data(), PEL_PAL_GREY16), 0);

  RGBQUAD blackWhite[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  EXPECT_EQ(pelIsGDIColors(blackWhite, PEL_PAL_BLACKWHITE), 1);
  std::swap(blackWhite[0], blackWhite[1]);
  EXPECT_EQ(pelIsGDIColors(blackWhite, PEL_PAL_BLACKWHITE), 0);
}

TEST(StandardPalettes, RecognitionWithoutMemoryAnswersNo) {
  auto grey = pel::test::palette(PEL_PAL_GREY256);
  const int failures =
      pel::test::sweepAllocationFailures([&] { return pelIsGDIColors(grey.data(), 2) == 1; });
  EXPECT_EQ(failures, 1);
}

} // namespace
