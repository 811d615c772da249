// SPDX-License-Identifier: MIT
#include "geometry_support.hpp"

namespace pel::test {
namespace {

class QuarterTurn : public LeakCheck {};

// Padding of a result line: bit and nibble padding must be ones, padding
// bytes of the byte formats keep their creation zeros.
void expectPadding(const PELIMAGE *r) {
  const uint32_t bits = bitsOf(r);
  const int32_t w = widthOf(r);
  const uint64_t usedBits = uint64_t(w) * bits;
  for (int32_t row = 0; row < heightOf(r); ++row) {
    const uint8_t *p = rowPtr(r, row);
    for (uint64_t bit = usedBits; bit < uint64_t(r->lineBytes) * 8; ++bit) {
      const bool one = (p[bit / 8] >> (7 - bit % 8)) & 1;
      if (bits == 1 || (bits == 4 && bit < (usedBits + 7) / 8 * 8)) {
        ASSERT_TRUE(one) << "padding bit " << bit << " of row " << row;
      } else {
        ASSERT_FALSE(one) << "padding bit " << bit << " of row " << row;
      }
    }
  }
}

// Every type, every bit and nibble phase, both directions, against the
// mapping in storage coordinates.
TEST_F(QuarterTurn, MatchesTheMappingForEveryTypeAndSize) {
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1},  {3, 2},  {5, 3},  {1, 9},  {9, 1},
                                               {17, 5}, {33, 7}, {8, 16}, {70, 67}};
  for (int32_t type : kCreatableTypes) {
    for (auto [w, h] : sizes) {
      Image src = randomPicture(type, w, h, uint32_t(type * 1000 + w * 31 + h));
      ASSERT_TRUE(src);
      for (int32_t direction : {0, 1, -5}) {
        SCOPED_TRACE(::testing::Message()
                     << "type " << type << " " << w << "x" << h << " dir " << direction);
        Image r(pelRotationEx(src.get(), direction));
        ASSERT_TRUE(r);
        ASSERT_EQ(widthOf(r.get()), h);
        ASSERT_EQ(heightOf(r.get()), w);
        EXPECT_EQ(r->imageType, type);
        for (int32_t row = 0; row < w; ++row)
          for (int32_t c = 0; c < h; ++c) {
            const uint32_t expected = direction == 0 ? rawAt(src.get(), w - 1 - row, c)
                                                     : rawAt(src.get(), row, h - 1 - c);
            ASSERT_EQ(rawAt(r.get(), c, row), expected)
                << "result (" << c << ", row " << row << ")";
          }
        expectPadding(r.get());
      }
    }
  }
}

TEST_F(QuarterTurn, TurnsUndoThemselves) {
  for (int32_t type : kCreatableTypes) {
    SCOPED_TRACE(type);
    Image src = randomPicture(type, 13, 6, 7);
    Image cw(pelRotationEx(src.get(), 0));
    Image back(pelRotationEx(cw.get(), 1));
    EXPECT_TRUE(samePixels(back.get(), src.get()));
    Image a(pelRotationEx(cw.get(), 0));
    Image b(pelRotationEx(a.get(), 0));
    Image full(pelRotationEx(b.get(), 0));
    EXPECT_TRUE(samePixels(full.get(), src.get()));
  }
}

TEST_F(QuarterTurn, KeepsResolutionsAndDropsTransparency) {
  Image src = randomPicture(PEL_TYPE_BIT24, 5, 3, 1);
  pelSetTranspClr(src.get(), 0x123456);
  Image r(pelRotationEx(src.get(), 0));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->core->header->biXPelsPerMeter, 2835);
  EXPECT_EQ(r->core->header->biYPelsPerMeter, 3780);
  EXPECT_EQ(pelIsTranspClr(r.get()), 0);
  EXPECT_EQ(r->lineBytes, 12);
}

TEST_F(QuarterTurn, WorkedBitAndNibbleCases) {
  // A 4-bit image 3 high: result lines of 3 pixels, low nibble of byte 1 is 0xF.
  Image four = randomPicture(PEL_TYPE_BIT4, 4, 3, 3);
  for (int32_t direction : {0, 1}) {
    Image r(pelRotationEx(four.get(), direction));
    for (int32_t row = 0; row < 4; ++row) EXPECT_EQ(rowPtr(r.get(), row)[1] & 0x0F, 0x0F);
  }
  // All-zero 1-bit source: pixel bits zero, padding all ones.
  Image zero(pelCreateImage(PEL_TYPE_BIT1, 3, 10, palette(0).data(), 2, 0, 0, 0));
  Image r(pelRotationEx(zero.get(), 0));
  for (int32_t row = 0; row < 3; ++row) {
    EXPECT_EQ(rowPtr(r.get(), row)[0], 0x00);
    EXPECT_EQ(rowPtr(r.get(), row)[1], 0x3F);
    EXPECT_EQ(rowPtr(r.get(), row)[2], 0xFF);
    EXPECT_EQ(rowPtr(r.get(), row)[3], 0xFF);
  }
}

TEST_F(QuarterTurn, RefusesWhatCannotBeMade) {
  EXPECT_EQ(pelRotationEx(nullptr, 0), nullptr);
  PELIMAGE empty{};
  EXPECT_EQ(pelRotationEx(&empty, 0), nullptr);
  Image src = randomPicture(PEL_TYPE_BIT8, 4, 4, 1);
  src->imageType = PEL_TYPE_RLE8;
  EXPECT_EQ(pelRotationEx(src.get(), 0), nullptr);
}

// A bilevel header holding a single colour entry: the result's second entry
// is black rather than whatever lies behind the source's table.
TEST_F(QuarterTurn, OneEntryBilevelTable) {
  BITMAPINFOHEADER h = header(1, 1, 1);
  h.biClrUsed = 1;
  const RGBQUAD white{255, 255, 255, 0};
  Image src(pelCreateImageEx(&h, &white, 0));
  ASSERT_TRUE(src);
  Image r(pelRotationEx(src.get(), 0));
  ASSERT_TRUE(r);
  const RGBQUAD *table = reinterpret_cast<const RGBQUAD *>(r->core->header + 1);
  EXPECT_EQ(table[0].rgbRed, 255);
  EXPECT_EQ(table[1].rgbRed | table[1].rgbGreen | table[1].rgbBlue, 0);
}

TEST_F(QuarterTurn, AllocationFailuresLeaveNothing) {
  for (int32_t type : {PEL_TYPE_BIT1, PEL_TYPE_BIT24}) {
    Image src = randomPicture(type, 9, 5, 2);
    sweepAllocationFailures([&] {
      Image r(pelRotationEx(src.get(), 1));
      return r != nullptr;
    });
  }
}

} // namespace
} // namespace pel::test
