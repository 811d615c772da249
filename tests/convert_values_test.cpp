// SPDX-License-Identifier: MIT
// The named values of the conversion rules, one source pixel at a time, and
// the two exported byte-block helpers.
#include "convert_reference.hpp"

#include <initializer_list>

namespace {

using namespace pel::test::convert;

class ConvertValues : public pel::test::LeakCheck {};

// A one-pixel-wide image of `type` whose first stored bytes are `pixel`.
PELIMAGE *pixelImage(int32_t type, std::initializer_list<uint8_t> pixel,
                     const std::vector<RGBQUAD> &palette = {}) {
  PELIMAGE *image =
      pelCreateImage(type, 1, 1, palette.empty() ? nullptr : palette.data(),
                     static_cast<uint32_t>(palette.size()), 1, 1, PEL_MEM_GLOBAL_FIXED);
  if (image) std::copy(pixel.begin(), pixel.end(), image->core->bits);
  return image;
}

struct PixelCase {
  int32_t type;
  std::initializer_list<uint8_t> pixel;
  int op;
  std::initializer_list<uint8_t> expect; // first target bytes
};

uint8_t lo(uint32_t w) { return static_cast<uint8_t>(w); }
uint8_t hi(uint32_t w) { return static_cast<uint8_t>(w >> 8); }

TEST_F(ConvertValues, NamedValuesOfThePixelRules) {
  const PixelCase cases[] = {
      // Threshold 128 on the grey level.
      {10, {128, 128, 128}, Bit1, {0x00}},
      {10, {129, 129, 129}, Bit1, {0x80}},
      {10, {0, 0, 255}, Bit1, {0x00}}, // red, grey level 76
      {10, {0, 255, 0}, Bit1, {0x80}}, // green, 149
      {10, {255, 0, 0}, Bit1, {0x00}}, // blue, 28
      {8, {lo(0x7FFF), hi(0x7FFF)}, Bit1, {0x80}},
      {9, {lo(0x07E0), hi(0x07E0)}, Bit1, {0x80}}, // grey level 147
      {6, {128}, Bit1, {0x00}},
      {6, {129}, Bit1, {0x80}},
      {3, {0x70}, Bit1, {0x00}},
      {3, {0x80}, Bit1, {0x80}},
      // Grey levels.
      {10, {255, 255, 255}, Bit8Grey, {255}},
      {10, {0, 0, 255}, Bit8Grey, {76}},
      {10, {0, 255, 0}, Bit8Grey, {149}},
      {10, {255, 0, 0}, Bit8Grey, {28}},
      {8, {lo(0x7FFF), hi(0x7FFF)}, Bit8Grey, {248}},
      {9, {0xFF, 0xFF}, Bit8Grey, {250}},
      {3, {0x80}, Bit8Grey, {136}},
      {10, {255, 255, 255}, Bit4Grey, {0xF0}},
      {10, {50, 100, 200}, Bit4Grey, {0x70}},
      {8, {lo(0x7FFF), hi(0x7FFF)}, Bit4Grey, {0xF0}},
      {6, {0x7F}, Bit4Grey, {0x70}},
      {6, {0x80}, Bit4Grey, {0x80}},
      // Packing by truncation.
      {10, {255, 255, 255}, Bit555, {0xFF, 0x7F}},
      {10, {255, 255, 255}, Bit565, {0xFF, 0xFF}},
      {10, {8, 8, 8}, Bit555, {lo(0x0421), hi(0x0421)}},
      {10, {8, 8, 8}, Bit565, {lo(0x0841), hi(0x0841)}},
      {10, {8, 4, 8}, Bit555, {lo(0x0401), hi(0x0401)}},
      {10, {8, 4, 8}, Bit565, {lo(0x0821), hi(0x0821)}},
      {10, {7, 3, 7}, Bit555, {0, 0}},
      {10, {7, 3, 7}, Bit565, {0, 0}},
      {3, {0xF0}, Bit555, {0xFF, 0x7F}},
      {3, {0xF0}, Bit565, {0xFF, 0xFF}},
      {3, {0x10}, Bit555, {lo(0x0842), hi(0x0842)}},
      {3, {0x10}, Bit565, {lo(0x1082), hi(0x1082)}},
      // Field moves between the 16-bit layouts.
      {8, {0xFF, 0x7F}, Bit565, {lo(0xFFDF), hi(0xFFDF)}},
      {8, {0xFF, 0xFF}, Bit565, {lo(0xFFDF), hi(0xFFDF)}}, // bit 15 ignored
      {9, {0xFF, 0xFF}, Bit555, {0xFF, 0x7F}},
      {9, {0x20, 0x00}, Bit555, {0, 0}},
      // Expansion by shifting.
      {8, {0xFF, 0x7F}, Bit24, {248, 248, 248}},
      {9, {lo(0xF800), hi(0xF800)}, Bit24, {0, 0, 248}},
      {9, {lo(0x07E0), hi(0x07E0)}, Bit24, {0, 252, 0}},
      {9, {0xFF, 0xFF}, Bit32, {248, 252, 248, 0}},
      {3, {0x80}, Bit24, {136, 136, 136}},
      {3, {0xF0}, Bit24, {255, 255, 255}},
      // The fourth byte of 32 bits: ignored when read, 0 when written.
      {11, {1, 2, 3, 0xAB}, Bit24, {1, 2, 3}},
      {11, {1, 2, 3, 0xAB}, Bit8Grey, {(77 * 3 + 150 * 2 + 29 * 1) >> 8}},
      {10, {1, 2, 3}, Bit32, {1, 2, 3, 0}},
      // A width of 1 writes only the high nibble.
      {10, {255, 255, 255}, Bit4Grey, {0xF0, 0, 0, 0}},
  };
  for (const PixelCase &c : cases) {
    SCOPED_TRACE(::testing::Message() << "type " << c.type << " to " << opName(c.op)
                                      << ", first byte " << int(*c.pixel.begin()));
    PELIMAGE *source = pixelImage(c.type, c.pixel);
    ASSERT_NE(source, nullptr);
    PELIMAGE *result = runOp(c.op, source);
    ASSERT_NE(result, nullptr);
    std::size_t i = 0;
    for (uint8_t byte : c.expect) EXPECT_EQ(result->core->bits[i++], byte) << "byte " << i - 1;
    pelDestroyImage(result);
    pelDestroyImage(source);
  }
}

TEST_F(ConvertValues, ReductionUsesTheLowCornerOfEachColourMapCell) {
  const std::vector<RGBQUAD> blackWhite = pel::test::palette(PEL_PAL_BLACKWHITE);
  const struct {
    std::initializer_list<uint8_t> pixel;
    uint8_t index;
  } cases[] = {{{127, 127, 127}, 0}, {{128, 128, 128}, 1}, {{255, 255, 255}, 1}};
  for (const auto &c : cases) {
    PELIMAGE *source = pixelImage(PEL_TYPE_BIT24, c.pixel);
    PELIMAGE *eight = pelCvtoBit8(source, blackWhite.data(), 2);
    PELIMAGE *four = pelCvtoBit4(source, blackWhite.data(), 2);
    ASSERT_TRUE(source && eight && four);
    EXPECT_EQ(eight->core->header->biClrUsed, 2u);
    EXPECT_EQ(eight->core->bits[0], c.index);
    EXPECT_EQ(four->core->bits[0], c.index << 4);
    for (PELIMAGE *i : {source, eight, four}) pelDestroyImage(i);
  }
  // A 16-bit pixel falls into the cell of its 24-bit expansion.
  const auto colours = pel::test::palette(PEL_PAL_COLOR256);
  for (uint32_t w = 0; w < 0x8000; w += 0x0321) {
    PELIMAGE *packed = pixelImage(PEL_TYPE_BIT555, {lo(w), hi(w)});
    PELIMAGE *wide = pelCvtoBit24(packed);
    PELIMAGE *a = pelCvtoBit8(packed, colours.data(), 256);
    PELIMAGE *b = pelCvtoBit8(wide, colours.data(), 256);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->core->bits[0], b->core->bits[0]) << w;
    for (PELIMAGE *i : {packed, wide, a, b}) pelDestroyImage(i);
  }
}

TEST_F(ConvertValues, OneBitSourcesKeepTheirTwoColours) {
  const RGBQUAD darkBlue{128, 0, 0, 0x11}, yellow{0, 255, 255, 0x22};
  const RGBQUAD white{255, 255, 255, 0}, black{0, 0, 0, 0}, grey{90, 90, 90, 0};
  struct Case {
    RGBQUAD e0, e1;
    int op;
    std::vector<uint8_t> expect; // the whole 3-pixel line, padding included
  };
  const uint32_t blue555 = 0x0010, yellow555 = 0x7FE0, blue565 = 0x0010, yellow565 = 0xFFE0;
  const Case cases[] = {
      {darkBlue, yellow, Bit24, {128, 0, 0, 0, 255, 255, 128, 0, 0, 0, 0, 0}},
      {grey, yellow, Bit24, {90, 90, 90, 0, 255, 255, 90, 90, 90, 90, 90, 90}},
      {darkBlue, yellow, Bit32, {128, 0, 0, 0, 0, 255, 255, 0, 128, 0, 0, 0}},
      {darkBlue,
       yellow,
       Bit555,
       {lo(blue555), hi(blue555), lo(yellow555), hi(yellow555), lo(blue555), hi(blue555),
        lo(blue555), hi(blue555)}},
      {darkBlue,
       yellow,
       Bit565,
       {lo(blue565), hi(blue565), lo(yellow565), hi(yellow565), lo(blue565), hi(blue565),
        lo(blue565), hi(blue565)}},
      // The brighter entry becomes the top index; a tie makes it entry 0.
      {black, white, Bit8Grey, {0, 255, 0, 0}},
      {white, black, Bit8Grey, {255, 0, 255, 0}},
      {grey, grey, Bit8Grey, {255, 0, 255, 0}},
      {black, white, Bit4Grey, {0x0F, 0x00, 0, 0}},
      {white, black, Bit4Grey, {0xF0, 0xF0, 0, 0}},
      {grey, grey, Bit4, {0xF0, 0xF0, 0, 0}},
      {black, white, Bit8, {0, 255, 0, 0}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << opName(c.op) << " from " << int(c.e0.rgbRed));
    const std::vector<RGBQUAD> two = {c.e0, c.e1};
    PELIMAGE *source = pelCreateImage(PEL_TYPE_BIT1, 3, 1, two.data(), 2, 1, 1, 1);
    ASSERT_NE(source, nullptr);
    source->core->bits[0] = 0x40 | 0x0F; // pixel 1 set, bits past the width set too
    PELIMAGE *result = runOp(c.op, source);
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->core->bitsSize, c.expect.size());
    EXPECT_EQ(std::vector<uint8_t>(result->core->bits, result->core->bits + c.expect.size()),
              c.expect);
    pelDestroyImage(result);
    pelDestroyImage(source);
  }
}

TEST_F(ConvertValues, Fill24bitColorPaintsPixelsAndGreyPadding) {
  std::vector<uint8_t> block(2 * 12, 0xEE);
  pelFill24bitColor(block.data(), 0x00FF0000, 3, 2);
  const std::vector<uint8_t> red = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + 12), red);
  EXPECT_EQ(std::vector<uint8_t>(block.begin() + 12, block.end()), red);
  pelFill24bitColor(block.data(), 0x00414141, 3, 2);
  EXPECT_EQ(block, std::vector<uint8_t>(24, 0x41));
  // Empty blocks are left alone.
  std::vector<uint8_t> guard(16, 0x5A);
  pelFill24bitColor(guard.data(), 0x00123456, 10, 0);
  pelFill24bitColor(guard.data(), 0x00123456, 0, 10);
  EXPECT_EQ(guard, std::vector<uint8_t>(16, 0x5A));
}

TEST_F(ConvertValues, ShiftLeftMovesOneBitString) {
  struct Case {
    uint8_t shift;
    std::vector<uint8_t> expect;
  };
  const std::vector<uint8_t> source = {0x81, 0x42};
  const Case cases[] = {{0, {0x81, 0x42}},  {1, {0x02, 0x84}}, {7, {0xA1, 0x00}},
                        {8, {0x42, 0x00}},  {9, {0x84, 0x00}}, {16, {0x00, 0x00}},
                        {255, {0x00, 0x00}}};
  for (const Case &c : cases) {
    std::vector<uint8_t> target(2, 0xEE);
    pelShiftLeft(target.data(), source.data(), 2, c.shift);
    EXPECT_EQ(target, c.expect) << int(c.shift);
  }
  std::vector<uint8_t> inPlace = {0x81, 0x42, 0xFF};
  pelShiftLeft(inPlace.data(), inPlace.data(), 3, 4);
  EXPECT_EQ(inPlace, (std::vector<uint8_t>{0x14, 0x2F, 0xF0}));
  std::vector<uint8_t> one = {0xC3};
  pelShiftLeft(one.data(), one.data(), 1, 1);
  EXPECT_EQ(one[0], 0x86);
  std::vector<uint8_t> guard(4, 0x5A);
  pelShiftLeft(guard.data() + 2, guard.data(), 0, 1);
  EXPECT_EQ(guard, std::vector<uint8_t>(4, 0x5A));
}

} // namespace
