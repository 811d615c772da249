// SPDX-License-Identifier: MIT
// Tone operations on whole lines, where pixels go through in groups, against
// the same pixels one to a line: every line width around the group sizes,
// 24- and 32-bit, with and without a transparent colour.
#include "support.hpp"

#include <functional>
#include <random>

namespace {

using pel::test::LeakCheck;

class ToneLines : public LeakCheck {};

const int32_t kOffsets[3] = {-40, 3, 200}, kBright[3] = {20, -5, 0}, kContrast[3] = {-70, 45, 90};

TEST_F(ToneLines, GroupsAgreeWithSinglePixels) {
  const struct {
    const char *what;
    std::function<PELIMAGE *(PELIMAGE *)> apply;
  } ops[] = {
      {"gamma", [](PELIMAGE *i) { return pelGammaCorrect(i, 2.2f, 0.6f, 1.3f, 0); }},
      {"luminance", [](PELIMAGE *i) { return pelLuminance(i, kOffsets, 0); }},
      {"contrast", [](PELIMAGE *i) { return pelContrast(i, kBright, kContrast, 0); }},
      {"hsl", [](PELIMAGE *i) { return pelSaturation(i, 200, -30, 70, 0); }},
      {"hsl dim", [](PELIMAGE *i) { return pelSaturation(i, -90, 60, -55, 0); }},
  };
  std::mt19937 rng(5);
  for (const auto &op : ops)
    for (int32_t type : {PEL_TYPE_BIT24, PEL_TYPE_BIT32})
      for (int32_t w = 1; w <= 19; ++w)
        for (bool keyed : {false, true}) {
          SCOPED_TRACE(testing::Message() << op.what << ", type " << type << ", width " << w
                                          << (keyed ? ", keyed" : ""));
          const std::size_t bpp = type == PEL_TYPE_BIT24 ? 3 : 4;
          PELIMAGE *line = pelCreateImage(type, w, 1, nullptr, 0, 0, 0, 0);
          ASSERT_NE(line, nullptr);
          for (std::size_t i = 0; i < line->core->bitsSize; ++i)
            line->core->bits[i] = static_cast<uint8_t>(rng());
          const std::vector<uint8_t> before(line->core->bits, line->core->bits + w * bpp);
          // The transparent colour is the last pixel's, copied to every third.
          const uint8_t *last = before.data() + (w - 1) * bpp;
          const uint32_t key = uint32_t{last[2]} | uint32_t{last[1]} << 8 | uint32_t{last[0]} << 16;
          if (keyed) {
            for (int32_t x = 0; x < w; x += 3) std::memcpy(line->core->bits + x * bpp, last, 3);
            pelSetTranspClr(line, key);
          }
          const std::vector<uint8_t> source(line->core->bits, line->core->bits + w * bpp);
          ASSERT_EQ(op.apply(line), line);
          // The same pixels down a column: one pixel a line, none grouped.
          PELIMAGE *column = pelCreateImage(type, 1, w, nullptr, 0, 0, 0, 0);
          ASSERT_NE(column, nullptr);
          for (int32_t x = 0; x < w; ++x)
            std::memcpy(column->core->bits + x * column->lineBytes, source.data() + x * bpp, bpp);
          if (keyed) pelSetTranspClr(column, key);
          ASSERT_EQ(op.apply(column), column);
          for (int32_t x = 0; x < w; ++x)
            EXPECT_EQ(0, std::memcmp(column->core->bits + x * column->lineBytes,
                                     line->core->bits + x * bpp, bpp))
                << "pixel " << x;
          pelDestroyImage(column);
          pelDestroyImage(line);
        }
}

// Large pictures look neighbouring bytes up in pairs; without memory for the
// pair tables the same call goes byte by byte, and both must agree on every
// byte (odd width, so lines end in part groups and padding).
TEST_F(ToneLines, PairTablesAgreeWithSingleBytes) {
  const struct {
    const char *what;
    std::function<PELIMAGE *(PELIMAGE *)> apply;
  } ops[] = {
      {"gamma", [](PELIMAGE *i) { return pelGammaCorrect(i, 0.45f, 1.9f, 1.0f, 0); }},
      {"luminance", [](PELIMAGE *i) { return pelLuminance(i, kOffsets, 0); }},
      {"contrast", [](PELIMAGE *i) { return pelContrast(i, kBright, kContrast, 0); }},
  };
  for (const auto &op : ops)
    for (int32_t type : {PEL_TYPE_BIT24, PEL_TYPE_BIT32}) {
      SCOPED_TRACE(testing::Message() << op.what << ", type " << type);
      PELIMAGE *pairs = pelCreateImage(type, 1027, 1023, nullptr, 0, 0, 0, 0);
      PELIMAGE *bytes = pelCreateImage(type, 1027, 1023, nullptr, 0, 0, 0, 0);
      ASSERT_TRUE(pairs && bytes);
      std::mt19937 rng(static_cast<uint32_t>(type));
      for (std::size_t i = 0; i < pairs->core->bitsSize; ++i)
        pairs->core->bits[i] = bytes->core->bits[i] = static_cast<uint8_t>(rng());
      ASSERT_EQ(op.apply(pairs), pairs);
      pel::os::test::failAllocation(1);
      ASSERT_EQ(op.apply(bytes), bytes);
      pel::os::test::failAllocation(0);
      EXPECT_EQ(0, std::memcmp(pairs->core->bits, bytes->core->bits, pairs->core->bitsSize));
      pelDestroyImage(bytes);
      pelDestroyImage(pairs);
    }
}

} // namespace
