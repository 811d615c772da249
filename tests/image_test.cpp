// SPDX-License-Identifier: MIT
// Image creation, classification, re-synchronisation and transparency.
#include "support.hpp"

namespace {

class Image : public pel::test::LeakCheck {};

struct Made {
  uint16_t bits;
  uint32_t compression, clrUsed, headerSize;
  int32_t type;
};

TEST_F(Image, CreateMakesEveryCreatableType) {
  const auto colours = pel::test::palette(PEL_PAL_COLOR256);
  struct Case {
    int32_t type;
    bool made;
    Made expect;
  };
  const Case cases[] = {
      {0, false, {}},
      {1, true, {1, BI_RGB, 2, 48, 1}},
      {2, true, {4, BI_RGB, 16, 104, 2}},
      {3, true, {4, BI_RGB, 16, 104, 3}},
      {4, false, {}},
      {5, true, {8, BI_RGB, 256, 1064, 5}},
      {6, true, {8, BI_RGB, 256, 1064, 6}},
      {7, false, {}},
      {8, true, {16, BI_RGB, 0, 40, 8}},
      {9, true, {16, BI_BITFIELDS, 0, 52, 9}},
      {10, true, {24, BI_RGB, 0, 40, 10}},
      {11, true, {32, BI_RGB, 0, 40, 11}},
      {12, false, {}},
      {-1, false, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.type);
    PELIMAGE *image = pelCreateImage(c.type, 5, 3, colours.data(), 0, 2835, 2835, PEL_MEM_AUTO);
    if (!c.made) {
      EXPECT_EQ(image, nullptr);
      continue;
    }
    ASSERT_NE(image, nullptr);
    const BITMAPINFOHEADER &h = *image->core->header;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 5);
    EXPECT_EQ(h.biHeight, 3);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, c.expect.bits);
    EXPECT_EQ(h.biCompression, c.expect.compression);
    EXPECT_EQ(h.biClrUsed, c.expect.clrUsed);
    EXPECT_EQ(h.biSizeImage, pelCalcBitsSize(5, 3, c.expect.bits));
    EXPECT_EQ(h.biXPelsPerMeter, 2835);
    EXPECT_EQ(image->imageType, c.expect.type);
    EXPECT_EQ(image->lineBytes, static_cast<int32_t>(pelCalcLineBytes(5, c.expect.bits)));
    EXPECT_EQ(image->core->headerSize, c.expect.headerSize);
    EXPECT_EQ(image->core->bitsSize, h.biSizeImage);
    EXPECT_EQ(image->core->contiguous, 1);
    EXPECT_EQ(image->core->bits,
              reinterpret_cast<uint8_t *>(image->core->header) + image->core->headerSize);
    for (uint32_t i = 0; i < image->core->bitsSize; ++i) ASSERT_EQ(image->core->bits[i], 0) << i;
    pelDestroyImage(image);
  }
}

TEST_F(Image, CreateRefusesEmptySizesAndMirrorsNegativeOnes) {
  EXPECT_EQ(pelCreateImage(10, 0, 5, nullptr, 0, 0, 0, 0), nullptr);
  EXPECT_EQ(pelCreateImage(10, 5, 0, nullptr, 0, 0, 0, 0), nullptr);
  EXPECT_EQ(pelCreateImage(10, INT32_MIN, 5, nullptr, 0, 0, 0, 0), nullptr);
  PELIMAGE *image = pelCreateImage(10, -5, -2, nullptr, 0, 0, 1000, 0);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->core->header->biWidth, 5);
  EXPECT_EQ(image->core->header->biHeight, 2);
  EXPECT_EQ(image->core->header->biXPelsPerMeter, 1000); // taken from the vertical
  pelDestroyImage(image);
}

TEST_F(Image, CreateRefusesStoresBeyondTheSizeRule) {
  EXPECT_EQ(pelCreateImage(5, 0x20000001, 1, nullptr, 0, 0, 0, 0), nullptr);
  EXPECT_EQ(pelCreateImage(11, 0x40000000, 1, nullptr, 0, 0, 0, 0), nullptr);
  EXPECT_EQ(pelCreateImage(11, 65536, 16385, nullptr, 0, 0, 0, 0), nullptr);
}

TEST_F(Image, PaletteCountsAndTables) {
  std::vector<RGBQUAD> table(256);
  for (int i = 0; i < 256; ++i) table[i] = RGBQUAD{uint8_t(i), uint8_t(i / 2), uint8_t(255 - i), 0};
  struct Case {
    int32_t type;
    uint32_t count, clrUsed, headerSize;
  };
  const Case cases[] = {{2, 0, 16, 104},   {2, 20, 16, 104},    {2, 5, 5, 60},
                        {5, 0, 256, 1064}, {5, 300, 256, 1064}, {5, 17, 17, 108},
                        {1, 7, 2, 48},     {3, 5, 16, 104},     {6, 5, 256, 1064}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << " with " << c.count);
    PELIMAGE *image = pelCreateImage(c.type, 1, 1, table.data(), c.count, 0, 0, 0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->core->header->biClrUsed, c.clrUsed);
    EXPECT_EQ(image->core->headerSize, c.headerSize);
    const RGBQUAD *stored =
        reinterpret_cast<RGBQUAD *>(reinterpret_cast<uint8_t *>(image->core->header) + 40);
    if (c.type == 3 || c.type == 6) {
      EXPECT_EQ(pelIsGDIColors(stored, c.type == 3 ? 1 : 2), 1); // the caller's is ignored
    } else {
      EXPECT_EQ(std::memcmp(stored, table.data(), c.clrUsed * 4), 0);
    }
    pelDestroyImage(image);
  }
}

TEST_F(Image, GreyRampIsRecognisedOnlyInAGivenTable) {
  PELIMAGE *noTable = pelCreateImage(5, 4, 4, nullptr, 0, 0, 0, 0);
  ASSERT_NE(noTable, nullptr);
  EXPECT_EQ(noTable->imageType, PEL_TYPE_BIT8);
  const uint8_t *entries = reinterpret_cast<uint8_t *>(noTable->core->header) + 40;
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(entries[i], 0);
  pelDestroyImage(noTable);

  auto grey = pel::test::palette(PEL_PAL_GREY256);
  PELIMAGE *ramp = pelCreateImage(5, 4, 4, grey.data(), 256, 0, 0, 0);
  ASSERT_NE(ramp, nullptr);
  EXPECT_EQ(ramp->imageType, PEL_TYPE_GREY8);
  pelDestroyImage(ramp);

  auto grey16 = pel::test::palette(PEL_PAL_GREY16);
  PELIMAGE *ramp4 = pelCreateImage(2, 4, 4, grey16.data(), 16, 0, 0, 0);
  ASSERT_NE(ramp4, nullptr);
  EXPECT_EQ(ramp4->imageType, PEL_TYPE_GREY4);
  pelDestroyImage(ramp4);
}

TEST_F(Image, BitFieldMasksWrittenOnCreation) {
  const uint32_t masks555[3] = {0x7C00, 0x03E0, 0x001F};
  struct Case {
    uint16_t bits;
    uint32_t masks[3];
    int32_t type;
  };
  const Case cases[] = {{16, {0xF800, 0x07E0, 0x001F}, 9},
                        {32, {0x00FF0000, 0x0000FF00, 0x000000FF}, 11}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.bits);
    auto block = pel::test::headerBlock(pel::test::header(3, 3, c.bits, BI_BITFIELDS), masks555);
    PELIMAGE *image = pelCreateImageEx(block.get(), nullptr, 0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->core->headerSize, 52u);
    EXPECT_EQ(std::memcmp(reinterpret_cast<uint8_t *>(image->core->header) + 40, c.masks, 12), 0);
    EXPECT_EQ(image->imageType, c.type);
    pelDestroyImage(image);
  }
}

TEST_F(Image, CallerHeaderIsNeverWritten) {
  BITMAPINFOHEADER h = pel::test::header(4, -6, 8);
  h.biClrUsed = 0;
  h.biSizeImage = 0;
  h.biSize = 124;
  const BITMAPINFOHEADER before = h;
  PELIMAGE *image = pelCreateImageEx(&h, nullptr, 0);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(std::memcmp(&h, &before, sizeof h), 0);
  EXPECT_EQ(image->core->header->biHeight, 6);
  EXPECT_EQ(image->core->header->biClrUsed, 256u);
  EXPECT_EQ(image->core->header->biSizeImage, 24u);
  EXPECT_EQ(image->core->header->biSize, 124u);
  EXPECT_EQ(image->core->headerSize, 1064u);
  pelDestroyImage(image);
  EXPECT_EQ(pelCreateImageEx(nullptr, nullptr, 0), nullptr);
}

TEST_F(Image, RepairedBitCountGetsItsLargerStore) {
  BITMAPINFOHEADER h = pel::test::header(5, 2, 8);
  h.biBitCount = 3;
  h.biClrUsed = 0;
  PELIMAGE *image = pelCreateImageEx(&h, nullptr, 0);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->core->header->biBitCount, 4);
  EXPECT_EQ(image->core->header->biClrUsed, 8u);
  EXPECT_EQ(image->core->headerSize, 72u);
  EXPECT_EQ(image->imageType, PEL_TYPE_BIT4);
  pelDestroyImage(image);
}

TEST_F(Image, AutomaticKindAtTheOneMebibyteBoundary) {
  // 8 bits, 1024 wide: each line is 1024 bytes.
  PELIMAGE *below = pelCreateImage(5, 1024, 1023, nullptr, 0, 0, 0, 0);
  PELIMAGE *at = pelCreateImage(5, 1024, 1024, nullptr, 0, 0, 0, 0);
  ASSERT_NE(below, nullptr);
  ASSERT_NE(at, nullptr);
  EXPECT_EQ(below->core->memKind, PEL_MEM_GLOBAL);
  EXPECT_EQ(at->core->memKind, PEL_MEM_VIRTUAL);
  pelDestroyImage(below);
  pelDestroyImage(at);

  PELIMAGE *moveable = pelCreateImage(10, 4, 4, nullptr, 0, 0, 0, PEL_MEM_GLOBAL_MOVEABLE);
  ASSERT_NE(moveable, nullptr);
  EXPECT_EQ(moveable->core->memKind, PEL_MEM_GLOBAL_MOVEABLE);
  pelDestroyImage(moveable);
  EXPECT_EQ(pelCreateImage(10, 4, 4, nullptr, 0, 0, 0, 9), nullptr);
}

TEST_F(Image, TransparentColour) {
  PELIMAGE *image = pelCreateImage(10, 2, 2, nullptr, 0, 0, 0, 0);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->transpValid, 1u);
  EXPECT_EQ(pelIsTranspClr(image), 0);
  EXPECT_EQ(pelGetTranspClr(image), 0xFFFFFFFFu);
  pelSetTranspClr(image, 0x0000FF);
  EXPECT_EQ(pelIsTranspClr(image), 1);
  EXPECT_EQ(pelGetTranspClr(image), 0x0000FFu);

  PELIMAGE *other = pelCreateImage(10, 2, 2, nullptr, 0, 0, 0, 0);
  ASSERT_NE(other, nullptr);
  pelSynchronization(other, image);
  EXPECT_EQ(pelGetTranspClr(other), 0x0000FFu);

  pelSetTranspClr(image, 0xFFFFFFFF);
  EXPECT_EQ(pelIsTranspClr(image), 0);

  // A record without the field ignores and reports nothing.
  other->transpValid = 0;
  other->transpColor = 0x123456;
  EXPECT_EQ(pelIsTranspClr(other), 0);
  EXPECT_EQ(pelGetTranspClr(other), 0xFFFFFFFFu);
  pelSetTranspClr(other, 0x00FF00);
  EXPECT_EQ(other->transpColor, 0x123456u);
  pelSynchronization(image, other);
  EXPECT_EQ(image->transpColor, 0xFFFFFFFFu);

  // Re-synchronising keeps or resets the colour as asked.
  pelSetTranspClr(image, 0x000001);
  pelUpdateImageInfo(image, 1, 1, 0);
  EXPECT_EQ(pelGetTranspClr(image), 0x000001u);
  pelUpdateImageInfo(image, 0, 0, 1);
  EXPECT_EQ(pelGetTranspClr(image), 0xFFFFFFFFu);
  pelDestroyImage(other);
  pelDestroyImage(image);
}

TEST_F(Image, ResynchronisingAfterTheHeaderChanged) {
  PELIMAGE *image = pelCreateImage(5, 6, 2, nullptr, 0, 0, 0, 0);
  ASSERT_NE(image, nullptr);
  pelCreateGDIColors(
      reinterpret_cast<RGBQUAD *>(reinterpret_cast<uint8_t *>(image->core->header) + 40), 2);
  EXPECT_EQ(image->imageType, PEL_TYPE_BIT8);
  pelUpdateColors(image);
  EXPECT_EQ(image->imageType, PEL_TYPE_GREY8);

  image->core->header->biWidth = 3;
  image->imageType = 0;
  pelUpdateImageInfo(image, 0, 1, 0);
  EXPECT_EQ(image->lineBytes, 4);
  EXPECT_EQ(image->imageType, 0);
  pelUpdateImageInfo(image, 1, 0, 0);
  EXPECT_EQ(image->imageType, PEL_TYPE_GREY8);
  pelDestroyImage(image);
}

TEST_F(Image, NullArgumentsAreRefused) {
  pelDestroyImage(nullptr);
  pelUpdateImageInfo(nullptr, 1, 1, 1);
  pelUpdateColors(nullptr);
  EXPECT_EQ(pelIsTranspClr(nullptr), 0);
  EXPECT_EQ(pelGetTranspClr(nullptr), 0xFFFFFFFFu);
  pelSetTranspClr(nullptr, 5);
  pelSynchronization(nullptr, nullptr);
  PELIMAGE empty{};
  pelUpdateImageInfo(&empty, 1, 1, 1);
  pelUpdateColors(&empty);
  EXPECT_EQ(empty.transpValid, 0u);
  EXPECT_EQ(pelGetClrUsed(nullptr), 0u);
  EXPECT_EQ(pelGetBiSize(nullptr), 0u);
  EXPECT_EQ(pelVerifyBIH(nullptr, nullptr), 0);
  EXPECT_EQ(pelCheckBIH(nullptr, nullptr), 0);
  EXPECT_EQ(pelGetImageType(nullptr), 0);
  pelPopupVerifyBIHInfo(nullptr, 0xFF);
}

TEST_F(Image, EveryCreationFailureUndoesItsAllocations) {
  auto grey = pel::test::palette(PEL_PAL_GREY256);
  for (int32_t type : {1, 3, 5, 6, 9, 11}) {
    SCOPED_TRACE(type);
    const int failures = pel::test::sweepAllocationFailures([&] {
      PELIMAGE *image = pelCreateImage(type, 7, 7, grey.data(), 0, 0, 0, 0);
      pelDestroyImage(image);
      return image != nullptr;
    });
    EXPECT_GE(failures, 2); // handle, core, store and any table test
  }
  for (int32_t kind : {1, 2, 3, 4}) {
    SCOPED_TRACE(kind);
    BITMAPINFOHEADER h = pel::test::header(9, 9, 8);
    pel::test::sweepAllocationFailures([&] {
      PELIMAGE *image = pelCreateImageEx(&h, grey.data(), kind);
      pelDestroyImage(image);
      return image != nullptr;
    });
  }
}

} // namespace
