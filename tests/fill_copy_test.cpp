// SPDX-License-Identifier: MIT
// Fill, red-blue exchange, flip and copy.
#include "pixel_support.hpp"

namespace {

using namespace pel::test;

Image make(int32_t type, int32_t w, int32_t h, std::vector<RGBQUAD> colours = distinctColours()) {
  return Image(
      pelCreateImage(type, w, h, colours.data(), static_cast<uint32_t>(colours.size()), 0, 0, 0));
}

uint16_t word(const PELIMAGE &image, std::size_t i) {
  uint16_t v;
  std::memcpy(&v, image.core->bits + 2 * i, 2);
  return v;
}

TEST(Fill, WorkedColours) {
  const std::vector<RGBQUAD> blackWhite{{0, 0, 0, 0}, {255, 255, 255, 0}};
  Image bilevel = make(PEL_TYPE_BIT1, 13, 3, blackWhite);
  ASSERT_EQ(pelFillColor(bilevel.get(), 0xC0C0C0), 1);
  EXPECT_EQ(storeOf(*bilevel), std::vector<uint8_t>(bilevel->core->bitsSize, 0xFF));
  ASSERT_EQ(pelFillColor(bilevel.get(), 0x404040), 1);
  EXPECT_EQ(storeOf(*bilevel), std::vector<uint8_t>(bilevel->core->bitsSize, 0x00));

  std::vector<RGBQUAD> sixteen = distinctColours();
  sixteen.resize(16);
  Image nibbles = make(PEL_TYPE_BIT4, 7, 2, sixteen);
  const RGBQUAD five = sixteen[5];
  ASSERT_EQ(pelFillColor(nibbles.get(), five.rgbRed | five.rgbGreen << 8 | five.rgbBlue << 16), 1);
  EXPECT_EQ(storeOf(*nibbles), std::vector<uint8_t>(nibbles->core->bitsSize, 0x55));

  Image rgb = make(PEL_TYPE_BIT24, 3, 2);
  std::memset(rgb->core->bits, 0xEE, rgb->core->bitsSize);
  ASSERT_EQ(pelFillColor(rgb.get(), 0x00332211), 1);
  for (std::size_t line = 0; line < 2; ++line) {
    const uint8_t *p = rgb->core->bits + line * 12;
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(std::vector<uint8_t>(p + 3 * x, p + 3 * x + 3),
                (std::vector<uint8_t>{0x33, 0x22, 0x11}));
    for (int pad = 9; pad < 12; ++pad) EXPECT_EQ(p[pad], 0xEE);
  }

  Image five55 = make(PEL_TYPE_BIT555, 5, 2), six5 = make(PEL_TYPE_BIT565, 5, 2);
  ASSERT_EQ(pelFillColor(five55.get(), 0xFFFFFF), 1);
  ASSERT_EQ(pelFillColor(six5.get(), 0xFFFFFF), 1);
  // The whole store, padding words too.
  for (std::size_t i = 0; i < five55->core->bitsSize / 2; ++i) {
    EXPECT_EQ(word(*five55, i), 0x7FFF);
    EXPECT_EQ(word(*six5, i), 0xFFFF);
  }
  ASSERT_EQ(pelFillColor(six5.get(), 0x0000FF), 1);
  EXPECT_EQ(word(*six5, 0), 0xF800);

  Image quad = make(PEL_TYPE_BIT32, 3, 3);
  std::memset(quad->core->bits, 0xEE, quad->core->bitsSize);
  ASSERT_EQ(pelFillColor(quad.get(), 0x00332211), 1);
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 3; ++x) EXPECT_EQ(pixelAt(*quad, x, y), 0x00112233u);
}

TEST(Fill, EveryTypeTakesTheNearestIndexOrPackedColour) {
  for (const int32_t type :
       {PEL_TYPE_BIT1, PEL_TYPE_BIT4, PEL_TYPE_GREY4, PEL_TYPE_BIT8, PEL_TYPE_GREY8,
        PEL_TYPE_BIT555, PEL_TYPE_BIT565, PEL_TYPE_BIT24, PEL_TYPE_BIT32}) {
    Image image = make(type, 9, 4);
    ASSERT_TRUE(image) << type;
    const uint32_t colour = 0x00805A10;
    ASSERT_EQ(pelFillColor(image.get(), colour), 1);
    const BITMAPINFOHEADER &h = *image->core->header;
    uint32_t expected = 0;
    if (h.biBitCount <= 8) {
      const auto *table = reinterpret_cast<const RGBQUAD *>(image->core->header + 1);
      expected = pelGetNearestColorIndex(table, h.biClrUsed, colour);
    } else if (type == PEL_TYPE_BIT555) {
      expected = (0x10 >> 3) << 10 | (0x5A >> 3) << 5 | 0x80 >> 3;
    } else if (type == PEL_TYPE_BIT565) {
      expected = (0x10 >> 3) << 11 | (0x5A >> 2) << 5 | 0x80 >> 3;
    } else {
      expected = 0x80 | 0x5A << 8 | 0x10 << 16;
    }
    if (h.biBitCount == 1) expected = expected ? 1 : 0;
    for (uint32_t y = 0; y < 4; ++y)
      for (uint32_t x = 0; x < 9; ++x) ASSERT_EQ(pixelAt(*image, x, y), expected) << type;
  }
}

TEST(SwapColor, PixelsOrPalette) {
  Image rgb = make(PEL_TYPE_BIT24, 1, 1);
  const uint8_t px[] = {1, 2, 3};
  std::memcpy(rgb->core->bits, px, 3);
  ASSERT_EQ(pelSwapColor(rgb.get()), 1);
  EXPECT_EQ(pixelAt(*rgb, 0, 0), 0x010203u);

  Image quad = make(PEL_TYPE_BIT32, 1, 1);
  const uint8_t px4[] = {1, 2, 3, 4};
  std::memcpy(quad->core->bits, px4, 4);
  ASSERT_EQ(pelSwapColor(quad.get()), 1);
  EXPECT_EQ(pixelAt(*quad, 0, 0), 0x04010203u);

  struct Case {
    int32_t type;
    uint16_t in, out;
  };
  for (const Case c :
       {Case{PEL_TYPE_BIT555, 0x7C00, 0x001F}, Case{PEL_TYPE_BIT555, 0x83E0, 0x03E0},
        Case{PEL_TYPE_BIT565, 0xF800, 0x001F}, Case{PEL_TYPE_BIT565, 0x07E1, 0x0FE0}}) {
    Image image = make(c.type, 1, 1);
    std::memcpy(image->core->bits, &c.in, 2);
    ASSERT_EQ(pelSwapColor(image.get()), 1);
    EXPECT_EQ(word(*image, 0), c.out) << c.type;
  }

  Image indexed = make(PEL_TYPE_BIT8, 2, 1);
  indexed->core->bits[0] = 7;
  const RGBQUAD before = reinterpret_cast<RGBQUAD *>(indexed->core->header + 1)[9];
  ASSERT_EQ(pelSwapColor(indexed.get()), 1);
  const RGBQUAD after = reinterpret_cast<RGBQUAD *>(indexed->core->header + 1)[9];
  EXPECT_EQ(indexed->core->bits[0], 7);
  EXPECT_EQ(after.rgbRed, before.rgbBlue);
  EXPECT_EQ(after.rgbBlue, before.rgbRed);
  EXPECT_EQ(after.rgbGreen, before.rgbGreen);

  indexed->imageType = PEL_TYPE_RLE8;
  EXPECT_EQ(pelSwapColor(indexed.get()), 0);
  indexed->imageType = 12;
  EXPECT_EQ(pelSwapColor(indexed.get()), 0);
  EXPECT_EQ(pelSwapColor(nullptr), 0);
}

TEST(SwapHeight, TurnsLinesOverAndTwiceRestores) {
  std::mt19937 rng(21);
  for (const uint16_t bits : kBitCounts)
    for (const int32_t h : {1, 2, 3, 6}) {
      Image image = randomImage(typeOfBits(bits), 13, h, rng);
      const std::vector<uint8_t> before = storeOf(*image);
      Image copy(pelCopyImage(image.get(), nullptr, 0));
      ASSERT_EQ(pelSwapHeight(image.get()), 1);
      for (uint32_t y = 0; y < static_cast<uint32_t>(h); ++y)
        for (uint32_t x = 0; x < 13; ++x)
          ASSERT_EQ(pixelAt(*image, x, y), pixelAt(*copy, x, h - 1 - y)) << bits << " " << h;
      ASSERT_EQ(pelSwapHeight(image.get()), 1);
      EXPECT_EQ(storeOf(*image), before) << bits << " bits, height " << h;
    }
}

class SwapHeightMemory : public LeakCheck {};
TEST_F(SwapHeightMemory, NoLineNoChange) {
  std::mt19937 rng(2);
  Image image = randomImage(PEL_TYPE_BIT4, 11, 5, rng);
  const std::vector<uint8_t> before = storeOf(*image);
  pel::os::test::failAllocation(1);
  EXPECT_EQ(pelSwapHeight(image.get()), 0);
  pel::os::test::failAllocation(0);
  EXPECT_EQ(storeOf(*image), before);
}

class Copy : public LeakCheck {};

TEST_F(Copy, RectanglesAreClampedAndCopiedPixelForPixel) {
  std::mt19937 rng(9);
  struct Case {
    int32_t rect[4];
    int32_t left, top, w, h; // expected; w == 0 for null
  };
  const Case cases[] = {
      {{2, 1, 5, 3}, 2, 1, 3, 2},    {{-5, -5, 20, 20}, 0, 0, 10, 10}, {{4, 0, 4, 10}, 0, 0, 0, 0},
      {{3, 0, 11, 10}, 3, 0, 7, 10}, {{9, 9, 10, 10}, 9, 9, 1, 1},     {{7, 2, 3, 8}, 0, 0, 0, 0},
      {{-3, 4, -1, 9}, 0, 0, 0, 0},  {{1, 12, 9, 14}, 0, 0, 0, 0},
  };
  for (const uint16_t bits : kBitCounts) {
    Image source = randomImage(typeOfBits(bits), 10, 10, rng);
    pelSetTranspClr(source.get(), 0x123456);
    for (const Case &c : cases) {
      SCOPED_TRACE(testing::Message() << bits << " bits, rect " << c.rect[0] << "," << c.rect[1]
                                      << "," << c.rect[2] << "," << c.rect[3]);
      Image copy(pelCopyImage(source.get(), c.rect, 0));
      if (c.w == 0) {
        EXPECT_FALSE(copy);
        continue;
      }
      ASSERT_TRUE(copy);
      ASSERT_EQ(copy->core->header->biWidth, c.w);
      ASSERT_EQ(copy->core->header->biHeight, c.h);
      EXPECT_EQ(copy->imageType, source->imageType);
      EXPECT_EQ(pelGetTranspClr(copy.get()), 0x123456u);
      for (int32_t y = 0; y < c.h; ++y)
        for (int32_t x = 0; x < c.w; ++x)
          ASSERT_EQ(pixelAt(*copy, x, y), pixelAt(*source, c.left + x, c.top + y));
    }
  }
}

TEST_F(Copy, OddStartsOfPackedLinesAndEveryRun) {
  std::mt19937 rng(17);
  for (const uint16_t bits : {uint16_t{1}, uint16_t{4}})
    for (int32_t left = 0; left < 9; ++left)
      for (const int32_t right : {left + 1, left + 8, 33, 40}) {
        Image source = randomImage(typeOfBits(bits), 40, 3, rng);
        const int32_t rect[4] = {left, 0, right, 3};
        Image copy(pelCopyImage(source.get(), rect, 0));
        ASSERT_TRUE(copy);
        for (uint32_t y = 0; y < 3; ++y)
          for (int32_t x = 0; x < right - left; ++x)
            ASSERT_EQ(pixelAt(*copy, x, y), pixelAt(*source, left + x, y))
                << bits << " " << left << ".." << right;
      }
}

TEST_F(Copy, KeepsMasksAndTheirType) {
  // A 5-5-5 store described by masks stays 5-5-5.
  const uint32_t masks555[3] = {0x7C00, 0x03E0, 0x001F};
  HeaderBlock block = headerBlock(header(4, 4, 16, BI_BITFIELDS), masks555);
  Image five55(pelCreateImageEx(block.get(), nullptr, 0));
  ASSERT_TRUE(five55);
  std::memcpy(five55->core->header + 1, masks555, 12);
  pelUpdateColors(five55.get());
  ASSERT_EQ(five55->imageType, PEL_TYPE_BIT555);
  Image copy(pelCopyImage(five55.get(), nullptr, 0));
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->imageType, PEL_TYPE_BIT555);
  EXPECT_EQ(std::memcmp(copy->core->header + 1, masks555, 12), 0);

  const uint32_t masks32[3] = {0x000000FF, 0x0000FF00, 0x00FF0000};
  HeaderBlock block32 = headerBlock(header(2, 2, 32, BI_BITFIELDS), masks32);
  Image quad(pelCreateImageEx(block32.get(), nullptr, 0));
  std::memcpy(quad->core->header + 1, masks32, 12);
  Image copy32(pelCopyImage(quad.get(), nullptr, 0));
  ASSERT_TRUE(copy32);
  EXPECT_EQ(std::memcmp(copy32->core->header + 1, masks32, 12), 0);
}

TEST_F(Copy, RunLengthImagesOnlyWhole) {
  // A 100 x 100 RLE8 stream of 500 bytes: far shorter than its plain lines.
  BITMAPINFOHEADER h = header(100, 100, 8, BI_RLE8);
  h.biSizeImage = 500;
  h.biClrUsed = 256;
  const std::vector<RGBQUAD> colours = distinctColours();
  Image rle(pelCreateImageEx(&h, colours.data(), 0));
  ASSERT_TRUE(rle);
  ASSERT_EQ(rle->core->bitsSize, 500u);
  for (uint32_t i = 0; i < 500; ++i) rle->core->bits[i] = static_cast<uint8_t>(i * 7);
  const std::vector<uint8_t> before = storeOf(*rle);

  Image whole(pelCopyImage(rle.get(), nullptr, 0));
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->imageType, PEL_TYPE_RLE8);
  EXPECT_EQ(storeOf(*whole), before);
  EXPECT_EQ(std::memcmp(whole->core->header, rle->core->header, rle->core->headerSize), 0);
  const int32_t all[4] = {-1, -1, 100, 100}, part[4] = {0, 0, 50, 50};
  EXPECT_TRUE(Image(pelCopyImage(rle.get(), all, 0)));
  EXPECT_FALSE(Image(pelCopyImage(rle.get(), part, 0)));

  // Nothing that addresses lines touches the stream.
  std::vector<uint8_t> buffer(100);
  EXPECT_EQ(pelFillColor(rle.get(), 0), 0);
  EXPECT_EQ(pelSwapHeight(rle.get()), 0);
  EXPECT_EQ(pelSetHorLine(rle.get(), buffer.data(), 0, 100, 99), 0);
  EXPECT_EQ(pelGetHorLine(buffer.data(), rle.get(), 0, 100, 0), 0);
  EXPECT_EQ(storeOf(*rle), before);
}

TEST_F(Copy, ExhaustedMemoryLeavesNothing) {
  std::mt19937 rng(4);
  for (const uint16_t bits : {uint16_t{1}, uint16_t{24}}) {
    Image source = randomImage(typeOfBits(bits), 20, 6, rng);
    const int32_t rect[4] = {3, 1, 17, 5};
    const int failures = sweepAllocationFailures([&] {
      Image copy(pelCopyImage(source.get(), rect, PEL_MEM_GLOBAL));
      return copy != nullptr;
    });
    EXPECT_GE(failures, 2) << "the image and its spare line";
  }
  EXPECT_FALSE(Image(pelCopyImage(nullptr, nullptr, 0)));
}

} // namespace
