// SPDX-License-Identifier: MIT
// Header arithmetic, both validations and the type classification.
#include "support.hpp"

#include <climits>
#include <functional>

using pel::test::header;

namespace {

TEST(HeaderArithmetic, LineLengthsInThreeAlignments) {
  struct Case {
    int32_t width;
    uint32_t bits;
    uint32_t dib, ddb, ocr;
  };
  const Case cases[] = {
      {1, 1, 4, 2, 1},
      {5, 24, 16, 16, 15},
      {9, 1, 4, 2, 2},
      {8, 1, 4, 2, 1},
      {33, 1, 8, 6, 5},
      {3, 4, 4, 2, 2},
      {7, 8, 8, 8, 7},
      {3, 16, 8, 6, 6},
      {1, 32, 4, 4, 4},
      {100, 24, 300, 300, 300},
      // The exported arithmetic keeps its 32-bit formula even where it wraps.
      {0x20000001, 8, 4, 2, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.bits);
    EXPECT_EQ(pelCalcLineBytes(c.width, c.bits), c.dib);
    EXPECT_EQ(pelCalcDDBLineBytes(c.width, c.bits), c.ddb);
    EXPECT_EQ(pelCalcOCRLineBytes(c.width, c.bits), c.ocr);
    BITMAPINFOHEADER h = header(c.width, 1, static_cast<uint16_t>(c.bits));
    EXPECT_EQ(pelGetLineBytes(&h), static_cast<int32_t>(c.dib));
  }
  EXPECT_EQ(pelCalcBitsSize(5, 3, 24), 48u);
}

TEST(HeaderArithmetic, ColourCountsAndHeaderBlockSizes) {
  struct Case {
    uint16_t bits;
    uint32_t clrUsed, compression;
    uint32_t clrUsedResult, biSize;
  };
  const Case cases[] = {
      {8, 0, BI_RGB, 256, 1064},    {8, 300, BI_RGB, 256, 1064},  {8, 17, BI_RGB, 17, 108},
      {1, 0, BI_RGB, 2, 48},        {4, 5, BI_RGB, 5, 60},        {24, 7, BI_RGB, 0, 40},
      {16, 0, BI_BITFIELDS, 0, 52}, {32, 0, BI_BITFIELDS, 0, 52}, {16, 0, BI_RGB, 0, 40},
      {24, 0, BI_BITFIELDS, 0, 52},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.clrUsed << " colours");
    BITMAPINFOHEADER h = header(4, 4, c.bits, c.compression);
    h.biClrUsed = c.clrUsed;
    EXPECT_EQ(pelGetClrUsed(&h), c.clrUsedResult);
    EXPECT_EQ(pelGetSafeClrUsed(c.clrUsed, c.bits), c.clrUsedResult);
    EXPECT_EQ(pelGetBiSize(&h), c.biSize);
  }
  EXPECT_EQ(pelCalcClrUsed(0), 1u);
  EXPECT_EQ(pelCalcClrUsed(8), 256u);
  EXPECT_EQ(pelCalcClrUsed(9), 0u);
  EXPECT_EQ(pelCalcBiSize(16), 40u);
  EXPECT_EQ(pelCalcBiSize(4), 104u);
  EXPECT_EQ(pelCalcBiSize(8), 1064u);
}

TEST(HeaderArithmetic, BitsSizeOfRunLengthDataIsTheStoredSize) {
  BITMAPINFOHEADER h = header(10, 10, 8, BI_RLE8);
  h.biSizeImage = 77;
  EXPECT_EQ(pelGetBitsSize(&h), 77);
  h.biCompression = BI_BITFIELDS;
  EXPECT_EQ(pelGetBitsSize(&h), 120);
}

TEST(HeaderArithmetic, BitCounts) {
  for (int bits = -1; bits <= 40; ++bits) {
    const bool ok = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    EXPECT_EQ(pelCheckBitCount(bits), ok ? 1 : 0) << bits;
  }
}

// ---- Repairing validation ----------------------------------------------

struct VerifyCase {
  const char *name;
  std::function<void(BITMAPINFOHEADER &)> spoil;
  int32_t result;
  uint32_t flags;
  std::function<void(const BITMAPINFOHEADER &)> expect;
};

void nothing(const BITMAPINFOHEADER &) {}

const VerifyCase kVerifyCases[] = {
    {"valid", [](BITMAPINFOHEADER &) {}, 1, 0, nothing},
    {"negative height", [](BITMAPINFOHEADER &h) { h.biHeight = -10; }, 1, PEL_BIH_HEIGHT,
     [](const BITMAPINFOHEADER &h) { EXPECT_EQ(h.biHeight, 10); }},
    {"negative height, size of the rows", [](BITMAPINFOHEADER &h) { h.biHeight = -100; }, 1,
     PEL_BIH_HEIGHT | PEL_BIH_SIZEIMAGE,
     [](const BITMAPINFOHEADER &h) {
       EXPECT_EQ(h.biHeight, 100);
       EXPECT_EQ(h.biSizeImage, 1200u);
     }},
    {"negative width", [](BITMAPINFOHEADER &h) { h.biWidth = -7; }, 1,
     PEL_BIH_DIMENSION | PEL_BIH_SIZEIMAGE,
     [](const BITMAPINFOHEADER &h) {
       EXPECT_EQ(h.biWidth, 7);
       EXPECT_EQ(h.biSizeImage, 80u);
     }},
    {"zero width", [](BITMAPINFOHEADER &h) { h.biWidth = 0; }, 0, PEL_BIH_DIMENSION, nothing},
    {"zero height", [](BITMAPINFOHEADER &h) { h.biHeight = 0; }, 0, PEL_BIH_DIMENSION, nothing},
    {"most negative width", [](BITMAPINFOHEADER &h) { h.biWidth = INT32_MIN; }, 0,
     PEL_BIH_DIMENSION, nothing},
    {"most negative height", [](BITMAPINFOHEADER &h) { h.biHeight = INT32_MIN; }, 0, PEL_BIH_HEIGHT,
     nothing},
    {"longer header", [](BITMAPINFOHEADER &h) { h.biSize = 124; }, 1, PEL_BIH_SIZE,
     [](const BITMAPINFOHEADER &h) { EXPECT_EQ(h.biSize, 124u); }},
    {"short header", [](BITMAPINFOHEADER &h) { h.biSize = 39; }, 0, PEL_BIH_SIZE, nothing},
    {"three planes fold into 24 bits", [](BITMAPINFOHEADER &h) { h.biPlanes = 3; }, 1,
     PEL_BIH_PLANES | PEL_BIH_CLRUSED | PEL_BIH_SIZEIMAGE,
     [](const BITMAPINFOHEADER &h) {
       EXPECT_EQ(h.biBitCount, 24);
       EXPECT_EQ(h.biPlanes, 1);
       EXPECT_EQ(h.biClrUsed, 0u);
       EXPECT_EQ(h.biSizeImage, 320u);
     }},
    // The folded bit count keeps the low 16 bits of the product.
    {"largest planes and bit count fold into 1 bit",
     [](BITMAPINFOHEADER &h) { h.biPlanes = h.biBitCount = 65535; }, 1,
     PEL_BIH_PLANES | PEL_BIH_CLRUSED | PEL_BIH_SIZEIMAGE,
     [](const BITMAPINFOHEADER &h) {
       EXPECT_EQ(h.biBitCount, 1);
       EXPECT_EQ(h.biClrUsed, 2u);
     }},
    {"planes and bit count whose product wraps to 0",
     [](BITMAPINFOHEADER &h) { h.biPlanes = h.biBitCount = 256; }, 0,
     PEL_BIH_PLANES | PEL_BIH_BITCOUNT, nothing},
    {"zero planes", [](BITMAPINFOHEADER &h) { h.biPlanes = 0; }, 1, PEL_BIH_PLANES,
     [](const BITMAPINFOHEADER &h) {
       EXPECT_EQ(h.biBitCount, 8);
       EXPECT_EQ(h.biPlanes, 1);
     }},
    {"three bits",
     [](BITMAPINFOHEADER &h) {
       h.biBitCount = 3;
       h.biClrUsed = 0;
       h.biSizeImage = 0;
     },
     1, PEL_BIH_BITCOUNT | PEL_BIH_CLRUSED | PEL_BIH_SIZEIMAGE,
     [](const BITMAPINFOHEADER &h) {
       EXPECT_EQ(h.biBitCount, 4);
       EXPECT_EQ(h.biClrUsed, 8u);
       EXPECT_EQ(h.biSizeImage, 80u);
     }},
    {"six bits with a full table of six",
     [](BITMAPINFOHEADER &h) {
       h.biBitCount = 6;
       h.biClrUsed = 64;
     },
     1, PEL_BIH_BITCOUNT,
     [](const BITMAPINFOHEADER &h) {
       EXPECT_EQ(h.biBitCount, 8);
       EXPECT_EQ(h.biClrUsed, 64u);
     }},
    {"zero bits", [](BITMAPINFOHEADER &h) { h.biBitCount = 0; }, 0, PEL_BIH_BITCOUNT, nothing},
    {"twelve bits", [](BITMAPINFOHEADER &h) { h.biBitCount = 12; }, 0, PEL_BIH_BITCOUNT, nothing},
    {"too many colours", [](BITMAPINFOHEADER &h) { h.biClrUsed = 300; }, 1, PEL_BIH_CLRUSED,
     [](const BITMAPINFOHEADER &h) { EXPECT_EQ(h.biClrUsed, 256u); }},
    {"no colour count", [](BITMAPINFOHEADER &h) { h.biClrUsed = 0; }, 1, PEL_BIH_CLRUSED,
     [](const BITMAPINFOHEADER &h) { EXPECT_EQ(h.biClrUsed, 256u); }},
    {"compression 4", [](BITMAPINFOHEADER &h) { h.biCompression = 4; }, 0, 0, nothing},
    {"run-length 8 without a size",
     [](BITMAPINFOHEADER &h) {
       h.biCompression = BI_RLE8;
       h.biSizeImage = 0;
     },
     0, 0, nothing},
    {"run-length 4 on 8 bits", [](BITMAPINFOHEADER &h) { h.biCompression = BI_RLE4; }, 0, 0,
     nothing},
    {"run-length size kept",
     [](BITMAPINFOHEADER &h) {
       h.biCompression = BI_RLE8;
       h.biSizeImage = 123;
     },
     1, 0, [](const BITMAPINFOHEADER &h) { EXPECT_EQ(h.biSizeImage, 123u); }},
    {"run-length 2 GiB",
     [](BITMAPINFOHEADER &h) {
       h.biCompression = BI_RLE8;
       h.biSizeImage = 0x80000000u;
     },
     0, 0, nothing},
    {"run-length just below 2 GiB",
     [](BITMAPINFOHEADER &h) {
       h.biCompression = BI_RLE8;
       h.biSizeImage = 0x7FFFFFFFu;
     },
     1, 0, nothing},
    {"bit fields on 8 bits", [](BITMAPINFOHEADER &h) { h.biCompression = BI_BITFIELDS; }, 0, 0,
     nothing},
    {"wrong store size", [](BITMAPINFOHEADER &h) { h.biSizeImage = 5; }, 1, PEL_BIH_SIZEIMAGE,
     [](const BITMAPINFOHEADER &h) { EXPECT_EQ(h.biSizeImage, 120u); }},
    {"horizontal resolution only", [](BITMAPINFOHEADER &h) { h.biYPelsPerMeter = 0; }, 1,
     PEL_BIH_RESOLUTION, [](const BITMAPINFOHEADER &h) { EXPECT_EQ(h.biYPelsPerMeter, 3780); }},
    {"vertical resolution only",
     [](BITMAPINFOHEADER &h) {
       h.biXPelsPerMeter = 0;
       h.biYPelsPerMeter = 2000;
     },
     1, PEL_BIH_RESOLUTION, [](const BITMAPINFOHEADER &h) { EXPECT_EQ(h.biXPelsPerMeter, 2000); }},
    {"no resolution", [](BITMAPINFOHEADER &h) { h.biXPelsPerMeter = h.biYPelsPerMeter = 0; }, 1,
     PEL_BIH_RESOLUTION,
     [](const BITMAPINFOHEADER &h) {
       EXPECT_EQ(h.biXPelsPerMeter, 0);
       EXPECT_EQ(h.biYPelsPerMeter, 0);
     }},
    // Lines and stores that do not fit 31 bits are refused, whatever the
    // stored size says.
    {"8-bit line wraps",
     [](BITMAPINFOHEADER &h) {
       h.biWidth = 0x20000001;
       h.biHeight = 1;
       h.biSizeImage = 4;
     },
     0, PEL_BIH_SIZEIMAGE, nothing},
    {"24-bit line wraps",
     [](BITMAPINFOHEADER &h) {
       h.biBitCount = 24;
       h.biClrUsed = 0;
       h.biWidth = 0x0AAAAAAB;
       h.biHeight = 1;
     },
     0, PEL_BIH_SIZEIMAGE, nothing},
    {"32-bit line wraps",
     [](BITMAPINFOHEADER &h) {
       h.biBitCount = 32;
       h.biClrUsed = 0;
       h.biWidth = 0x08000001;
       h.biHeight = 1;
     },
     0, PEL_BIH_SIZEIMAGE, nothing},
    {"32-bit line of 1 GiB",
     [](BITMAPINFOHEADER &h) {
       h.biBitCount = 32;
       h.biClrUsed = 0;
       h.biWidth = 0x40000000;
       h.biHeight = 1;
     },
     0, PEL_BIH_SIZEIMAGE, nothing},
    {"store wraps",
     [](BITMAPINFOHEADER &h) {
       h.biBitCount = 32;
       h.biClrUsed = 0;
       h.biWidth = 65536;
       h.biHeight = 16385;
       h.biSizeImage = 0;
     },
     0, PEL_BIH_SIZEIMAGE, nothing},
    {"store wraps to its stated size",
     [](BITMAPINFOHEADER &h) {
       h.biBitCount = 32;
       h.biClrUsed = 0;
       h.biWidth = 65536;
       h.biHeight = 16385;
       h.biSizeImage = 262144;
     },
     0, PEL_BIH_SIZEIMAGE, nothing},
    {"store of 2 GiB",
     [](BITMAPINFOHEADER &h) {
       h.biBitCount = 32;
       h.biClrUsed = 0;
       h.biWidth = 65536;
       h.biHeight = 8192;
     },
     0, PEL_BIH_SIZEIMAGE, nothing},
    {"8-bit line of 256 MiB",
     [](BITMAPINFOHEADER &h) {
       h.biWidth = 0x10000000;
       h.biHeight = 1;
     },
     0, PEL_BIH_SIZEIMAGE, nothing},
    {"store just below 2 GiB",
     [](BITMAPINFOHEADER &h) {
       h.biWidth = 0x0FFFFFF0;
       h.biHeight = 8;
     },
     1, PEL_BIH_SIZEIMAGE,
     [](const BITMAPINFOHEADER &h) { EXPECT_EQ(h.biSizeImage, 0x7FFFFF80u); }},
    {"store just above 2 GiB",
     [](BITMAPINFOHEADER &h) {
       h.biWidth = 0x0FFFFFF0;
       h.biHeight = 9;
     },
     0, PEL_BIH_SIZEIMAGE, nothing},
};

TEST(VerifyBIH, RepairsAndRefusals) {
  for (const VerifyCase &c : kVerifyCases) {
    SCOPED_TRACE(c.name);
    BITMAPINFOHEADER h = header(10, 10, 8);
    c.spoil(h);
    uint32_t flags = 0xDEAD;
    EXPECT_EQ(pelVerifyBIH(&h, &flags), c.result);
    EXPECT_EQ(flags, c.flags);
    c.expect(h);

    // The repairs do not depend on asking for the findings.
    BITMAPINFOHEADER again = header(10, 10, 8);
    c.spoil(again);
    EXPECT_EQ(pelVerifyBIH(&again, nullptr), c.result);
    EXPECT_EQ(std::memcmp(&again, &h, sizeof h), 0);
  }
}

TEST(VerifyBIH, RepairedHeaderPassesTheStrictCheck) {
  for (const VerifyCase &c : kVerifyCases) {
    if (!c.result) continue;
    SCOPED_TRACE(c.name);
    BITMAPINFOHEADER h = header(10, 10, 8);
    c.spoil(h);
    ASSERT_EQ(pelVerifyBIH(&h, nullptr), 1);
    uint32_t flags = 0;
    EXPECT_EQ(pelCheckBIH(&h, &flags), 1);
    EXPECT_EQ(flags, 0u);
  }
}

// ---- Strict validation -------------------------------------------------

TEST(CheckBIH, StopsAtTheFirstFindingAndNeverWrites) {
  struct Case {
    const char *name;
    std::function<void(BITMAPINFOHEADER &)> spoil;
    int32_t result;
    uint32_t flags;
  };
  const Case cases[] = {
      {"valid", [](BITMAPINFOHEADER &) {}, 1, 0},
      {"longer header passes", [](BITMAPINFOHEADER &h) { h.biSize = 124; }, 1, 0},
      {"short header", [](BITMAPINFOHEADER &h) { h.biSize = 12; }, 0, PEL_BIH_SIZE},
      {"negative height", [](BITMAPINFOHEADER &h) { h.biHeight = -10; }, 0, PEL_BIH_DIMENSION},
      {"planes then bits: planes only",
       [](BITMAPINFOHEADER &h) {
         h.biPlanes = 2;
         h.biBitCount = 3;
       },
       0, PEL_BIH_PLANES},
      {"bit count", [](BITMAPINFOHEADER &h) { h.biBitCount = 2; }, 0, PEL_BIH_BITCOUNT},
      {"8 bits without a colour count", [](BITMAPINFOHEADER &h) { h.biClrUsed = 0; }, 0,
       PEL_BIH_CLRUSED},
      {"8 bits with 300 colours", [](BITMAPINFOHEADER &h) { h.biClrUsed = 300; }, 0,
       PEL_BIH_CLRUSED},
      {"8 bits with 17 colours", [](BITMAPINFOHEADER &h) { h.biClrUsed = 17; }, 1, 0},
      {"24 bits with colours",
       [](BITMAPINFOHEADER &h) {
         h.biBitCount = 24;
         h.biClrUsed = 1;
         h.biSizeImage = 320;
       },
       0, PEL_BIH_CLRUSED},
      {"compression 5", [](BITMAPINFOHEADER &h) { h.biCompression = 5; }, 0, 0},
      {"24 bits without a store size",
       [](BITMAPINFOHEADER &h) {
         h.biBitCount = 24;
         h.biClrUsed = 0;
         h.biSizeImage = 0;
       },
       0, PEL_BIH_SIZEIMAGE},
      {"wrong store size", [](BITMAPINFOHEADER &h) { h.biSizeImage = 801; }, 0, PEL_BIH_SIZEIMAGE},
      {"resolution is not examined", [](BITMAPINFOHEADER &h) { h.biXPelsPerMeter = 0; }, 1, 0},
      {"wrapped store with its wrapped size",
       [](BITMAPINFOHEADER &h) {
         h.biBitCount = 32;
         h.biClrUsed = 0;
         h.biWidth = 65536;
         h.biHeight = 16385;
         h.biSizeImage = 262144;
       },
       0, PEL_BIH_SIZEIMAGE},
      {"wrapped line with its wrapped size",
       [](BITMAPINFOHEADER &h) {
         h.biWidth = 0x20000001;
         h.biHeight = 1;
         h.biSizeImage = 4;
       },
       0, PEL_BIH_SIZEIMAGE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    BITMAPINFOHEADER h = header(10, 10, 8);
    c.spoil(h);
    const BITMAPINFOHEADER before = h;
    uint32_t flags = 0xDEAD;
    EXPECT_EQ(pelCheckBIH(&h, &flags), c.result);
    EXPECT_EQ(flags, c.flags);
    EXPECT_EQ(std::memcmp(&before, &h, sizeof h), 0);
    EXPECT_EQ(pelCheckBIH(&h, nullptr), c.result);
  }
}

// ---- Classification ----------------------------------------------------

TEST(ImageType, ByBitCountCompressionAndTable) {
  const uint32_t masks555[3] = {0x7C00, 0x03E0, 0x001F};
  const uint32_t masks565[3] = {0xF800, 0x07E0, 0x001F};
  auto grey16 = pel::test::palette(PEL_PAL_GREY16);
  auto grey256 = pel::test::palette(PEL_PAL_GREY256);
  auto colour16 = pel::test::palette(PEL_PAL_COLOR16);

  struct Case {
    const char *name;
    pel::test::HeaderBlock block;
    int32_t withTest, withoutTest;
  };
  std::vector<Case> cases;
  cases.push_back({"1 bit", pel::test::headerBlock(header(3, 3, 1), pel::test::palette(0)), 1, 1});
  cases.push_back({"4-bit ramp", pel::test::headerBlock(header(3, 3, 4), grey16), 3, 2});
  cases.push_back({"4-bit colours", pel::test::headerBlock(header(3, 3, 4), colour16), 2, 2});
  cases.push_back({"8-bit ramp", pel::test::headerBlock(header(3, 3, 8), grey256), 6, 5});
  BITMAPINFOHEADER rle4 = header(3, 3, 4, BI_RLE4);
  cases.push_back({"run-length 4", pel::test::headerBlock(rle4, grey16), 4, 4});
  BITMAPINFOHEADER rle8 = header(3, 3, 8, BI_RLE8);
  cases.push_back({"run-length 8", pel::test::headerBlock(rle8, grey256), 7, 7});
  cases.push_back({"16 bits", pel::test::headerBlock(header(3, 3, 16), {}), 8, 8});
  cases.push_back({"16-bit 5-5-5 masks",
                   pel::test::headerBlock(header(3, 3, 16, BI_BITFIELDS), masks555), 8, 8});
  cases.push_back({"16-bit 5-6-5 masks",
                   pel::test::headerBlock(header(3, 3, 16, BI_BITFIELDS), masks565), 9, 9});
  cases.push_back({"24 bits", pel::test::headerBlock(header(3, 3, 24), {}), 10, 10});
  cases.push_back({"32 bits", pel::test::headerBlock(header(3, 3, 32), {}), 11, 11});
  BITMAPINFOHEADER two = header(3, 3, 1);
  two.biBitCount = 2;
  cases.push_back({"2 bits", pel::test::headerBlock(two, {}), 0, 0});
  // The header names 5 entries; the ramp continues behind them, but those
  // bytes are not the table's.
  BITMAPINFOHEADER shortTable = header(3, 3, 4);
  shortTable.biClrUsed = 5;
  cases.push_back({"short table", pel::test::headerBlock(shortTable, grey16), 2, 2});
  BITMAPINFOHEADER shortGrey = header(3, 3, 8);
  shortGrey.biClrUsed = 255;
  cases.push_back({"255 grey entries", pel::test::headerBlock(shortGrey, grey256), 5, 5});

  for (Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(pelGetImageTypeEx(c.block.get(), 1), c.withTest);
    EXPECT_EQ(pelGetImageTypeEx(c.block.get(), 0), c.withoutTest);
    EXPECT_EQ(pelGetImageType(c.block.get()), c.withTest);
  }
}

TEST(ImageType, ShortTableIsNeverReadPastItsEnd) {
  // A 1 x 1 4-bit header with a 5-entry table: exactly 60 bytes on the heap,
  // so any read behind them is seen by the address sanitizer.
  BITMAPINFOHEADER h = header(1, 1, 4);
  h.biClrUsed = 5;
  std::vector<uint8_t> block(60);
  std::memcpy(block.data(), &h, 40);
  EXPECT_EQ(pelGetImageType(reinterpret_cast<BITMAPINFOHEADER *>(block.data())), PEL_TYPE_BIT4);
}

TEST(ScreenDpi, StoresThroughTheGivenPointersOnly) {
  int32_t x = -1, y = -1;
  pelGetScreenDPI(&x, &y);
#if defined(_WIN32)
  EXPECT_GT(x, 0);
  EXPECT_GT(y, 0);
#else
  EXPECT_EQ(x, 96);
  EXPECT_EQ(y, 96);
#endif
  int32_t only = -1;
  pelGetScreenDPI(nullptr, &only);
  EXPECT_EQ(only, y);
  pelGetScreenDPI(&only, nullptr);
  pelGetScreenDPI(nullptr, nullptr);
}

} // namespace
