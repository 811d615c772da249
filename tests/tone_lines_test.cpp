// SPDX-License-Identifier: MIT
// Tone operations on whole lines, where pixels go through in groups, against
// the same pixels one to a line: every line width around the group sizes,
// 24- and 32-bit, with and without a transparent colour.
#include "support.hpp"

#include <algorithm>
#include <functional>
#include <random>

namespace {

using pel::test::LeakCheck;

class ToneLines : public LeakCheck {};

const int32_t kOffsets[3] = {-40, 3, 200}, kBright[3] = {20, -5, 0}, kContrast[3] = {-70, 45, 90};
// The same for every channel: one table, which the vector kernel takes.
const int32_t kEvenOffsets[3] = {-40, -40, -40}, kEvenBright[3] = {20, 20, 20},
              kEvenContrast[3] = {-70, -70, -70};

TEST_F(ToneLines, GroupsAgreeWithSinglePixels) {
  const struct {
    const char *what;
    std::function<PELIMAGE *(PELIMAGE *)> apply;
  } ops[] = {
      {"gamma", [](PELIMAGE *i) { return pelGammaCorrect(i, 2.2f, 0.6f, 1.3f, 0); }},
      {"luminance", [](PELIMAGE *i) { return pelLuminance(i, kOffsets, 0); }},
      {"contrast", [](PELIMAGE *i) { return pelContrast(i, kBright, kContrast, 0); }},
      {"gamma even", [](PELIMAGE *i) { return pelGammaCorrect(i, 0.6f, 0.6f, 0.6f, 0); }},
      {"luminance even", [](PELIMAGE *i) { return pelLuminance(i, kEvenOffsets, 0); }},
      {"contrast even", [](PELIMAGE *i) { return pelContrast(i, kEvenBright, kEvenContrast, 0); }},
      {"hsl", [](PELIMAGE *i) { return pelSaturation(i, 200, -30, 70, 0); }},
      {"hsl dim", [](PELIMAGE *i) { return pelSaturation(i, -90, 60, -55, 0); }},
  };
  // Every width to 19, then around the widest groups (8 and 32 pixels).
  std::vector<int32_t> widths;
  for (int32_t w = 1; w <= 19; ++w) widths.push_back(w);
  for (int32_t w : {31, 32, 33, 63, 64, 65, 97}) widths.push_back(w);
  std::mt19937 rng(5);
  for (const auto &op : ops)
    for (int32_t type : {PEL_TYPE_BIT24, PEL_TYPE_BIT32})
      for (int32_t w : widths)
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

// An adjusted copy is made a line at a time, each line adjusted as it is
// copied: it must equal a copy adjusted afterwards, header, padding and all.
TEST_F(ToneLines, CopiesAgreeWithCopyThenAdjust) {
  const struct {
    const char *what;
    std::function<PELIMAGE *(PELIMAGE *, int32_t)> apply;
  } ops[] = {
      {"gamma", [](PELIMAGE *i, int32_t c) { return pelGammaCorrect(i, 2.2f, 0.6f, 1.3f, c); }},
      {"gamma even",
       [](PELIMAGE *i, int32_t c) { return pelGammaCorrect(i, 0.6f, 0.6f, 0.6f, c); }},
      {"hsl", [](PELIMAGE *i, int32_t c) { return pelSaturation(i, 200, -30, 70, c); }},
      {"invert", [](PELIMAGE *i, int32_t c) { return pelInvert(i, c); }},
  };
  std::mt19937 rng(9);
  for (const auto &op : ops)
    for (int32_t type : {PEL_TYPE_BIT24, PEL_TYPE_BIT32})
      for (bool keyed : {false, true}) {
        SCOPED_TRACE(testing::Message()
                     << op.what << ", type " << type << (keyed ? ", keyed" : ""));
        PELIMAGE *source = pelCreateImage(type, 67, 5, nullptr, 0, 0, 0, 0);
        ASSERT_NE(source, nullptr);
        for (std::size_t i = 0; i < source->core->bitsSize; ++i)
          source->core->bits[i] = static_cast<uint8_t>(rng());
        if (keyed) pelSetTranspClr(source, 0x00102030);
        PELIMAGE *adjusted = op.apply(source, 1);
        PELIMAGE *later = pelCopyImage(source, nullptr, source->core->memKind);
        ASSERT_TRUE(adjusted && later);
        ASSERT_EQ(op.apply(later, 0), later);
        EXPECT_EQ(adjusted->core->headerSize, later->core->headerSize);
        EXPECT_EQ(0, std::memcmp(adjusted->core->header, later->core->header,
                                 std::min(adjusted->core->headerSize, later->core->headerSize)));
        ASSERT_EQ(adjusted->core->bitsSize, later->core->bitsSize);
        EXPECT_EQ(0, std::memcmp(adjusted->core->bits, later->core->bits, later->core->bitsSize));
        EXPECT_EQ(pelIsTranspClr(adjusted), pelIsTranspClr(later));
        pelDestroyImage(later);
        pelDestroyImage(adjusted);
        pelDestroyImage(source);
      }
}

} // namespace
