// SPDX-License-Identifier: MIT
// Temporary handles over a caller's DIB.
#include "support.hpp"

namespace {

class TempImage : public pel::test::LeakCheck {};

// A packed DIB: header, table or masks, then the bits.
std::vector<uint8_t> packedDib(const BITMAPINFOHEADER &h, const void *behind,
                               std::size_t behindBytes) {
  std::vector<uint8_t> dib(
      40 + behindBytes +
      pelCalcBitsSize(h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight, h.biBitCount));
  std::memcpy(dib.data(), &h, 40);
  if (behindBytes) std::memcpy(dib.data() + 40, behind, behindBytes);
  return dib;
}

TEST_F(TempImage, SharesTheCallersBitsAndKeepsThem) {
  BITMAPINFOHEADER h = pel::test::header(4, 2, 8);
  auto grey = pel::test::palette(PEL_PAL_GREY256);
  auto dib = packedDib(h, grey.data(), 1024);
  PELIMAGE *image = pelGetTempPELIMAGE(dib.data());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->core->bits, dib.data() + 1064);
  EXPECT_EQ(image->core->memKind, 0);
  EXPECT_EQ(image->core->contiguous, 0);
  EXPECT_EQ(image->core->headerSize, 1064u);
  EXPECT_EQ(image->core->bitsSize, 8u);
  EXPECT_EQ(image->imageType, PEL_TYPE_GREY8);
  EXPECT_EQ(image->lineBytes, 4);
  EXPECT_EQ(image->transpValid, 1u);
  EXPECT_EQ(image->transpColor, 0xFFFFFFFFu);
  EXPECT_NE(reinterpret_cast<uint8_t *>(image->core->header), dib.data());
  image->core->bits[3] = 0x5A;
  EXPECT_EQ(dib[1064 + 3], 0x5A);
  pelReleaseTempPELIMAGE(image);
  EXPECT_EQ(dib[1064 + 3], 0x5A);

  // Destroying a temporary handle frees only what it owns, too.
  PELIMAGE *again =
      pelGetTempPELIMAGEx(reinterpret_cast<BITMAPINFOHEADER *>(dib.data()), dib.data() + 1064);
  ASSERT_NE(again, nullptr);
  pelDestroyImage(again);
}

TEST_F(TempImage, RepairsOnlyItsOwnCopy) {
  BITMAPINFOHEADER h = pel::test::header(4, -2, 8);
  h.biClrUsed = 0;
  h.biSizeImage = 0;
  std::vector<RGBQUAD> table(256, RGBQUAD{1, 2, 3, 0});
  auto dib = packedDib(h, table.data(), 1024);
  const auto before = dib;
  PELIMAGE *image = pelGetTempPELIMAGE(dib.data());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(dib, before);
  EXPECT_EQ(image->core->header->biHeight, 2);
  EXPECT_EQ(image->core->header->biClrUsed, 256u);
  EXPECT_EQ(image->core->header->biSizeImage, 8u);
  EXPECT_EQ(std::memcmp(reinterpret_cast<uint8_t *>(image->core->header) + 40, table.data(), 1024),
            0);
  pelReleaseTempPELIMAGE(image);
}

TEST_F(TempImage, KeepsTheCallersMasks) {
  const uint32_t masks555[3] = {0x7C00, 0x03E0, 0x001F};
  const uint32_t masksBgr[3] = {0x000000FF, 0x0000FF00, 0x00FF0000};
  struct Case {
    uint16_t bits;
    const uint32_t *masks;
    int32_t type;
  };
  const Case cases[] = {{16, masks555, PEL_TYPE_BIT555}, {32, masksBgr, PEL_TYPE_BIT32}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.bits);
    auto dib = packedDib(pel::test::header(3, 3, c.bits, BI_BITFIELDS), c.masks, 12);
    PELIMAGE *image = pelGetTempPELIMAGE(dib.data());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->core->bits, dib.data() + 52);
    EXPECT_EQ(image->imageType, c.type);
    EXPECT_EQ(std::memcmp(reinterpret_cast<uint8_t *>(image->core->header) + 40, c.masks, 12), 0);
    pelReleaseTempPELIMAGE(image);
  }
}

TEST_F(TempImage, RefusesRepairsThatWouldOutgrowTheCallersBits) {
  struct Case {
    const char *name;
    uint16_t bits, planes;
  };
  const Case cases[] = {{"three bits", 3, 1}, {"five bits", 5, 1}, {"three planes", 8, 3}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    BITMAPINFOHEADER h = pel::test::header(4, 4, 8);
    h.biBitCount = c.bits;
    h.biPlanes = c.planes;
    std::vector<uint8_t> bits(64);
    EXPECT_EQ(pelGetTempPELIMAGEx(&h, bits.data()), nullptr);
    // A private copy takes the same repair.
    PELIMAGE *owned = pelCreateImageEx(&h, nullptr, 0);
    ASSERT_NE(owned, nullptr);
    pelDestroyImage(owned);
  }
}

TEST_F(TempImage, RefusesMissingPointersAndBadHeaders) {
  BITMAPINFOHEADER h = pel::test::header(4, 4, 24);
  std::vector<uint8_t> bits(64);
  EXPECT_EQ(pelGetTempPELIMAGEx(nullptr, bits.data()), nullptr);
  EXPECT_EQ(pelGetTempPELIMAGEx(&h, nullptr), nullptr);
  EXPECT_EQ(pelGetTempPELIMAGE(nullptr), nullptr);
  h.biWidth = 0;
  EXPECT_EQ(pelGetTempPELIMAGEx(&h, bits.data()), nullptr);
  pelReleaseTempPELIMAGE(nullptr);
}

TEST_F(TempImage, ReleaseDestroysAnOrdinaryImageCompletely) {
  PELIMAGE *image = pelCreateImage(10, 3, 3, nullptr, 0, 0, 0, 0);
  ASSERT_NE(image, nullptr);
  pelReleaseTempPELIMAGE(image);

  IMAGECORE *twoBlocks = pelCoreAlloc(40, 100, PEL_MEM_VIRTUAL, 0);
  ASSERT_NE(twoBlocks, nullptr);
  auto *handle = static_cast<PELIMAGE *>(pel::os::GlobalAlloc(0x40, sizeof(PELIMAGE)));
  ASSERT_NE(handle, nullptr);
  handle->core = twoBlocks;
  pelReleaseTempPELIMAGE(handle);

  auto *bare = static_cast<PELIMAGE *>(pel::os::GlobalAlloc(0x40, sizeof(PELIMAGE)));
  ASSERT_NE(bare, nullptr);
  pelReleaseTempPELIMAGE(bare);
}

TEST_F(TempImage, EveryFailureUndoesItsAllocations) {
  auto grey = pel::test::palette(PEL_PAL_GREY256);
  auto dib = packedDib(pel::test::header(4, 4, 8), grey.data(), 1024);
  const int failures = pel::test::sweepAllocationFailures([&] {
    PELIMAGE *image = pelGetTempPELIMAGE(dib.data());
    pelReleaseTempPELIMAGE(image);
    return image != nullptr;
  });
  EXPECT_GE(failures, 3); // handle, core, header block
}

} // namespace
