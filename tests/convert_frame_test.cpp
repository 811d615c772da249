// SPDX-License-Identifier: MIT
// The conversion frames: same-format copies, refused types, the target's
// palette, memory kinds, short source tables and every allocation failing.
#include "convert_reference.hpp"

namespace {

using namespace pel::test::convert;

class ConvertFrame : public pel::test::LeakCheck {};

constexpr int32_t kConvertible[] = {1, 2, 3, 5, 6, 8, 9, 10, 11};

RGBQUAD *tableOf(PELIMAGE *image) {
  return reinterpret_cast<RGBQUAD *>(reinterpret_cast<uint8_t *>(image->core->header) + 40);
}

TEST_F(ConvertFrame, SameFormatGivesAnEqualCopyInMovableMemory) {
  Random random(7);
  const auto palette = pel::test::palette(PEL_PAL_COLOR256);
  for (int op = 0; op < kOps; ++op)
    for (int32_t type : kConvertible) {
      if (!copies(op, type)) continue;
      SCOPED_TRACE(::testing::Message() << opName(op) << " of type " << type);
      PELIMAGE *source = random.image(type, 13, 3, PEL_MEM_VIRTUAL);
      ASSERT_NE(source, nullptr);
      pelSetTranspClr(source, 0x00123456);
      PELIMAGE *copy = runOp(op, source, palette.data(), 3);
      ASSERT_NE(copy, nullptr);
      EXPECT_NE(copy, source);
      EXPECT_NE(copy->core->bits, source->core->bits);
      EXPECT_EQ(copy->imageType, type);
      EXPECT_EQ(copy->core->memKind, PEL_MEM_GLOBAL_MOVEABLE);
      EXPECT_EQ(pelGetTranspClr(copy), 0x00123456u);
      ASSERT_EQ(copy->core->headerSize, source->core->headerSize);
      EXPECT_EQ(std::memcmp(copy->core->header, source->core->header, copy->core->headerSize), 0);
      ASSERT_EQ(copy->core->bitsSize, source->core->bitsSize);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 13; ++x)
          ASSERT_EQ(colourAt(copy, x, y), colourAt(source, x, y)) << x << ", " << y;
      pelDestroyImage(copy);
      pelDestroyImage(source);
    }
}

TEST_F(ConvertFrame, SameFormatCopiesKeepTheSourcesMasks) {
  struct Case {
    uint16_t bits;
    uint32_t masks[3];
    int op;
    int32_t type;
  };
  const Case cases[] = {
      {16, {0x7C00, 0x03E0, 0x001F}, Bit555, PEL_TYPE_BIT555},
      {32, {0x00FF0000, 0x0000FF00, 0x000000FF}, Bit32, PEL_TYPE_BIT32},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.bits);
    auto block = pel::test::headerBlock(pel::test::header(3, 2, c.bits, BI_BITFIELDS), c.masks);
    PELIMAGE *source = pelCreateImageEx(block.get(), nullptr, PEL_MEM_GLOBAL_FIXED);
    ASSERT_NE(source, nullptr);
    std::memcpy(tableOf(source), c.masks, 12);
    pelUpdateColors(source);
    ASSERT_EQ(source->imageType, c.type);
    source->core->bits[0] = 0x1F;
    PELIMAGE *copy = runOp(c.op, source);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->imageType, c.type);
    EXPECT_EQ(std::memcmp(tableOf(copy), c.masks, 12), 0);
    EXPECT_EQ(colourAt(copy, 0, 0), colourAt(source, 0, 0));
    pelDestroyImage(copy);
    pelDestroyImage(source);
  }
}

TEST_F(ConvertFrame, RefusesMissingImagesAndUnconvertibleTypes) {
  PELIMAGE *image = pelCreateImage(PEL_TYPE_BIT8, 4, 4, nullptr, 0, 1, 1, PEL_MEM_GLOBAL_FIXED);
  ASSERT_NE(image, nullptr);
  PELIMAGE bare{};
  IMAGECORE noHeader{};
  PELIMAGE headless{};
  headless.core = &noHeader;
  headless.imageType = PEL_TYPE_BIT24;
  for (int op = 0; op < kOps; ++op) {
    SCOPED_TRACE(opName(op));
    EXPECT_EQ(runOp(op, nullptr), nullptr);
    EXPECT_EQ(runOp(op, &bare), nullptr);
    EXPECT_EQ(runOp(op, &headless), nullptr);
    for (int32_t type : {0, 4, 7, 12, -1}) {
      image->imageType = type;
      EXPECT_EQ(runOp(op, image), nullptr) << type;
    }
  }
  pelDestroyImage(image);
}

TEST_F(ConvertFrame, GreyResultsGetTheWholeRampWhateverCountWasPassed) {
  // A one-pixel 4-bit source with a one-entry palette: the 256-entry ramp
  // must fit a target made for a one-entry palette.
  const RGBQUAD orange{0x20, 0x80, 0xF0, 0};
  PELIMAGE *four = pelCreateImage(PEL_TYPE_BIT4, 1, 1, &orange, 1, 1, 1, PEL_MEM_GLOBAL_FIXED);
  PELIMAGE *eight = pelCreateImage(PEL_TYPE_BIT8, 1, 1, &orange, 1, 1, 1, PEL_MEM_GLOBAL_FIXED);
  ASSERT_TRUE(four && eight);
  const RGBQUAD passed[1] = {{1, 2, 3, 0}};
  const int level = grey({0xF0, 0x80, 0x20});

  PELIMAGE *grey8 = pelCvtoBit8(four, passed, 1);
  ASSERT_NE(grey8, nullptr);
  EXPECT_EQ(grey8->imageType, PEL_TYPE_GREY8);
  EXPECT_EQ(grey8->core->header->biClrUsed, 256u);
  EXPECT_EQ(grey8->core->bits[0], level);

  PELIMAGE *grey4 = pelCvtoBit4(eight, passed, 1);
  ASSERT_NE(grey4, nullptr);
  EXPECT_EQ(grey4->imageType, PEL_TYPE_GREY4);
  EXPECT_EQ(grey4->core->header->biClrUsed, 16u);
  EXPECT_EQ(grey4->core->bits[0], (level >> 4) << 4);
  for (PELIMAGE *i : {four, eight, grey8, grey4}) pelDestroyImage(i);
}

// A temporary handle's header block holds exactly its table, so any read
// past the table is a read past the block (the sanitizer leg sees it). Every
// short count of every palette width, with pixels naming every index.
TEST_F(ConvertFrame, IndicesPastTheSourceTableReadEntryZero) {
  for (uint16_t bits : {1, 4, 8}) {
    const uint32_t full = 1u << bits;
    const int32_t width = static_cast<int32_t>(full) + 3; // every index, then a partial byte
    for (uint32_t count = 1; count <= full; ++count) {
      SCOPED_TRACE(::testing::Message() << bits << " bits, " << count << " entries");
      auto h = pel::test::header(width, 2, bits);
      h.biClrUsed = count;
      Random random(count * 10 + bits);
      const std::vector<RGBQUAD> colours = random.colours(count);
      auto block = pel::test::headerBlock(h, colours);
      const uint32_t lineBytes = pelCalcLineBytes(width, bits);
      std::vector<uint8_t> pixels(2 * lineBytes);
      for (uint8_t &byte : pixels) byte = static_cast<uint8_t>(random.next(256));
      for (int32_t x = 0; x < static_cast<int32_t>(full); ++x) { // line 0 holds index x at x
        const int shift = bits == 8 ? 0 : 8 - bits - (x * bits) % 8;
        uint8_t &byte = pixels[static_cast<std::size_t>(x * bits / 8)];
        byte = static_cast<uint8_t>((byte & ~((full - 1) << shift)) | x << shift);
      }
      PELIMAGE *source = pelGetTempPELIMAGEx(block.get(), pixels.data());
      ASSERT_NE(source, nullptr);
      ASSERT_EQ(source->core->headerSize, 40 + 4 * count);
      for (int op = 0; op < kOps; ++op) {
        PELIMAGE *result = runOp(op, source);
        ASSERT_NE(result, nullptr) << opName(op);
        if (!copies(op, source->imageType)) {
          const auto standard = pel::test::palette(op == Bit4 ? PEL_PAL_COLOR16 : PEL_PAL_COLOR256);
          const Expected e = expectedBlock(op, source, standard);
          ASSERT_EQ(result->core->bitsSize, e.bytes.size()) << opName(op);
          EXPECT_EQ(std::memcmp(result->core->bits, e.bytes.data(), e.bytes.size()), 0)
              << opName(op);
        }
        pelDestroyImage(result);
      }
      pelReleaseTempPELIMAGE(source);
    }
  }
}

// The caller's palette is read for exactly `count` entries: each count in an
// array of just that length (a heap block the sanitizer leg guards).
TEST_F(ConvertFrame, ThePalettePassedIsReadForItsCountOnly) {
  Random random(5);
  PELIMAGE *colour = random.image(PEL_TYPE_BIT24, 37, 3);
  PELIMAGE *bilevel = random.image(PEL_TYPE_BIT1, 37, 3);
  ASSERT_TRUE(colour && bilevel);
  const uint32_t counts[] = {1, 2, 3, 5, 8, 15, 16, 17, 31, 64, 100, 128, 200, 255, 256};
  for (int op : {Bit4, Bit8})
    for (uint32_t count : counts) {
      const uint32_t max = op == Bit4 ? 16 : 256;
      if (count > max) continue;
      SCOPED_TRACE(::testing::Message() << opName(op) << ", " << count << " entries");
      const std::vector<RGBQUAD> exact = random.colours(count);
      for (PELIMAGE *source : {colour, bilevel}) {
        PELIMAGE *result = runOp(op, source, exact.data(), count);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->core->header->biClrUsed, count);
        EXPECT_EQ(std::memcmp(tableOf(result), exact.data(), 4 * count), 0);
        const Expected e = expectedBlock(op, source, exact);
        EXPECT_EQ(std::memcmp(result->core->bits, e.bytes.data(), e.bytes.size()), 0);
        pelDestroyImage(result);
      }
    }
  pelDestroyImage(colour);
  pelDestroyImage(bilevel);
}

// A 1-bit source reduced with a two-entry palette keeps its documented index
// 255 for the brighter colour; later conversions read it as entry 0.
TEST_F(ConvertFrame, TopIndexOfAShortPaletteReadsAsEntryZero) {
  const std::vector<RGBQUAD> two = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  const std::vector<RGBQUAD> target = {{10, 20, 30, 0}, {40, 50, 60, 0}};
  PELIMAGE *bilevel = pelCreateImage(PEL_TYPE_BIT1, 2, 1, two.data(), 2, 1, 1, 1);
  ASSERT_NE(bilevel, nullptr);
  bilevel->core->bits[0] = 0x40; // pixel 1 white
  PELIMAGE *eight = pelCvtoBit8(bilevel, target.data(), 2);
  ASSERT_NE(eight, nullptr);
  EXPECT_EQ(eight->core->bits[0], 0);
  EXPECT_EQ(eight->core->bits[1], 255);
  PELIMAGE *wide = pelCvtoBit24(eight);
  ASSERT_NE(wide, nullptr);
  for (int x = 0; x < 2; ++x) EXPECT_EQ(colourAt(wide, x, 0), (Colour{30, 20, 10})) << x;
  for (PELIMAGE *i : {bilevel, eight, wide}) pelDestroyImage(i);
}

TEST_F(ConvertFrame, TargetsTakeTheSourcesMemoryKind) {
  Random random(3);
  for (int32_t kind :
       {PEL_MEM_GLOBAL_FIXED, PEL_MEM_GLOBAL_MOVEABLE, PEL_MEM_GLOBAL, PEL_MEM_VIRTUAL}) {
    PELIMAGE *source = random.image(PEL_TYPE_BIT24, 9, 2, kind);
    ASSERT_NE(source, nullptr);
    for (int op = 0; op < kOps; ++op) {
      if (copies(op, PEL_TYPE_BIT24)) continue;
      PELIMAGE *result = runOp(op, source);
      ASSERT_NE(result, nullptr);
      EXPECT_EQ(result->core->memKind, kind) << opName(op);
      pelDestroyImage(result);
    }
    pelDestroyImage(source);
  }
  // A temporary handle owns no bits: the target takes the automatic choice.
  auto h = pel::test::header(5, 5, 24);
  uint8_t bits[80] = {};
  PELIMAGE *temp = pelGetTempPELIMAGEx(&h, bits);
  ASSERT_NE(temp, nullptr);
  PELIMAGE *automatic = pelCreateImage(PEL_TYPE_BIT8, 5, 5, nullptr, 0, 1, 1, PEL_MEM_AUTO);
  PELIMAGE *result = pelCvtoBit8(temp, nullptr, 0);
  ASSERT_TRUE(result && automatic);
  EXPECT_EQ(result->core->memKind, automatic->core->memKind);
  pelDestroyImage(automatic);
  pelDestroyImage(result);
  pelReleaseTempPELIMAGE(temp);
}

TEST_F(ConvertFrame, EveryAllocationFailureGivesNullAndLeavesNothing) {
  Random random(11);
  for (int op = 0; op < kOps; ++op)
    for (int32_t type : kConvertible) {
      SCOPED_TRACE(::testing::Message() << opName(op) << " of type " << type);
      PELIMAGE *source = random.image(type, 6, 2);
      ASSERT_NE(source, nullptr);
      for (const RGBQUAD *palette :
           {static_cast<const RGBQUAD *>(nullptr), static_cast<const RGBQUAD *>(tableOf(source))}) {
        const int failures = pel::test::sweepAllocationFailures([&] {
          PELIMAGE *result = runOp(op, source, palette, 2);
          pelDestroyImage(result);
          return result != nullptr;
        });
        EXPECT_GE(failures, 3); // at least handle, core and store of the target
      }
      pelDestroyImage(source);
    }
}

} // namespace
