// SPDX-License-Identifier: MIT
#include "geometry_support.hpp"

namespace pel::test {
namespace {

class Scaling : public LeakCheck {};

// The area-weighted bilinear filter of one result pixel, from its formulas:
// positions from one step in, index raised to 1, row B and the right
// neighbour only inside the source, then the block average when shrinking.
uint32_t areaBilinearReference(const PELIMAGE *src, uint64_t dw, uint64_t dh, uint64_t j,
                               uint64_t i) {
  const int32_t type = src->imageType;
  const uint64_t sw = uint64_t(widthOf(src)), sh = uint64_t(heightOf(src));
  const uint64_t xs = sw * 1024 / dw, ys = sh * 1024 / dh;
  const uint64_t ay = (i + 1) * ys, ax = (j + 1) * xs;
  const int64_t fy = int64_t(ay % 1024), fx = int64_t(ax % 1024);
  const uint64_t yi = ay / 1024 ? ay / 1024 : 1, xi = ax / 1024 ? ax / 1024 : 1;
  const bool hasB = yi < sh, right = xi < sw;
  auto p = [&](uint64_t x, uint64_t y) {
    return channelsOf(type, pixelAt(src, int32_t(x), int32_t(y)));
  };
  std::array<int32_t, 3> v{};
  for (int c = 0; c < channelCount(type); ++c) {
    const int64_t a0 = p(xi - 1, yi - 1)[c];
    const int64_t ah = a0 * 1024 + (right ? (p(xi, yi - 1)[c] - a0) * fx : 0);
    const int64_t b0 = hasB ? p(xi - 1, yi)[c] : a0;
    const int64_t bh = b0 * 1024 + (hasB && right ? (p(xi, yi)[c] - b0) * fx : 0);
    int64_t value = (ah * 1024 + (bh - ah) * fy) >> 20;
    const uint64_t bw = xs / 1024, bhgt = ys / 1024;
    if (bw >= 1 && bhgt >= 1) {
      for (uint64_t y = yi - bhgt; y < yi; ++y)
        for (uint64_t x = xi - bw; x < xi; ++x) value += p(x, y)[c];
      value /= int64_t(1 + bw * bhgt);
    }
    v[c] = int32_t(value);
  }
  return valueOf(type, v);
}

TEST_F(Scaling, AreaBilinearMatchesTheReference) {
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {2, 2}, {5, 3}, {13, 11}, {40, 7}};
  const std::pair<uint32_t, uint32_t> targets[] = {{1, 1},  {3, 2},  {7, 5},  {13, 11},
                                                   {29, 4}, {4, 29}, {64, 33}};
  for (int32_t type :
       {PEL_TYPE_GREY8, PEL_TYPE_BIT555, PEL_TYPE_BIT565, PEL_TYPE_BIT24, PEL_TYPE_BIT32}) {
    for (auto [w, h] : sizes) {
      Image src = randomPicture(type, w, h, uint32_t(type * 13 + w * 5 + h));
      if (type == PEL_TYPE_BIT32)
        for (int32_t row = 0; row < h; ++row)
          for (int32_t x = 0; x < w; ++x) rowPtr(src.get(), row)[4 * x + 3] = 0x5A;
      for (auto [dw, dh] : targets) {
        SCOPED_TRACE(::testing::Message()
                     << "type " << type << " " << w << "x" << h << " to " << dw << "x" << dh);
        Image r(pelScaleEx(src.get(), dw, dh));
        ASSERT_TRUE(r);
        ASSERT_EQ(uint32_t(widthOf(r.get())), dw);
        ASSERT_EQ(uint32_t(heightOf(r.get())), dh);
        for (uint32_t i = 0; i < dh; ++i)
          for (uint32_t j = 0; j < dw; ++j)
            ASSERT_EQ(pixelAt(r.get(), int32_t(j), int32_t(i)),
                      areaBilinearReference(src.get(), dw, dh, j, i))
                << "pixel (" << j << ", " << i << ")";
      }
    }
  }
}

TEST_F(Scaling, BilevelNearestFromTheFirstPixel) {
  Image src = randomPicture(PEL_TYPE_BIT1, 21, 9, 4);
  for (auto [dw, dh] : {std::pair{1u, 1u}, {21u, 9u}, {50u, 3u}, {8u, 30u}, {13u, 13u}}) {
    Image r(pelScaleEx(src.get(), dw, dh));
    ASSERT_TRUE(r);
    const uint64_t xs = 21 * 1024 / dw, ys = 9 * 1024 / dh;
    for (uint32_t i = 0; i < dh; ++i) {
      for (uint32_t j = 0; j < dw; ++j)
        ASSERT_EQ(pixelAt(r.get(), int32_t(j), int32_t(i)),
                  pixelAt(src.get(), int32_t(j * xs / 1024), int32_t(i * ys / 1024)));
      const uint8_t *line = rowPtr(r.get(), int32_t(i));
      for (uint32_t bit = dw; bit < uint32_t(r->lineBytes) * 8; ++bit)
        ASSERT_EQ((line[bit / 8] >> (7 - bit % 8)) & 1u, 1u) << "padding bit " << bit;
    }
  }
}

TEST_F(Scaling, SameSizeIsIdentity) {
  for (int32_t type : kCreatableTypes) {
    SCOPED_TRACE(type);
    Image src = randomPicture(type, 11, 6, 3);
    if (type == PEL_TYPE_BIT555 || type == PEL_TYPE_BIT32)
      for (int32_t row = 0; row < 6; ++row)
        for (int32_t x = 0; x < 11; ++x)
          setRawAt(src.get(), x, row,
                   rawAt(src.get(), x, row) & (type == PEL_TYPE_BIT555 ? 0x7FFF : 0xFFFFFF));
    Image r(pelScaleEx(src.get(), 11, 6));
    if (type == PEL_TYPE_BIT4 || type == PEL_TYPE_GREY4 || type == PEL_TYPE_BIT8) continue;
    EXPECT_TRUE(samePixels(r.get(), src.get()));
  }
}

TEST_F(Scaling, WorkedValues) {
  // 2 x 1 black and white to 4 x 1: 127, 0, 127, 255 per channel.
  Image pair(pelCreateImage(PEL_TYPE_BIT24, 2, 1, nullptr, 0, 0, 0, 0));
  std::memset(pair->core->bits + 3, 255, 3);
  Image wide(pelScaleEx(pair.get(), 4, 1));
  const uint8_t expected[] = {127, 0, 127, 255};
  for (int x = 0; x < 4; ++x)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(wide->core->bits[3 * x + c], expected[x]);
  // 2 x 2 grey to 1 x 1: (bottom right + the four) / 5.
  Image grey(pelCreateImage(PEL_TYPE_GREY8, 2, 2, nullptr, 0, 0, 0, 0));
  rowPtr(grey.get(), 1)[0] = 10;  // top left
  rowPtr(grey.get(), 1)[1] = 20;  // top right
  rowPtr(grey.get(), 0)[0] = 30;  // bottom left
  rowPtr(grey.get(), 0)[1] = 200; // bottom right
  Image one(pelScaleEx(grey.get(), 1, 1));
  EXPECT_EQ(one->core->bits[0], (200 + 10 + 20 + 30 + 200) / 5);
  // White 5-6-5 stays white at any size; 5-5-5 never sets bit 15.
  Image white(pelCreateImage(PEL_TYPE_BIT565, 7, 3, nullptr, 0, 0, 0, 0));
  Image w555 = randomPicture(PEL_TYPE_BIT555, 7, 3, 1);
  std::memset(white->core->bits, 0xFF, white->core->bitsSize);
  std::memset(w555->core->bits, 0xFF, w555->core->bitsSize);
  for (auto [dw, dh] : {std::pair{3u, 2u}, {20u, 9u}, {1u, 8u}}) {
    Image r(pelScaleEx(white.get(), dw, dh));
    Image r5(pelScaleEx(w555.get(), dw, dh));
    for (uint32_t y = 0; y < dh; ++y)
      for (uint32_t x = 0; x < dw; ++x) {
        ASSERT_EQ(pixelAt(r.get(), int32_t(x), int32_t(y)), 0xFFFFu);
        ASSERT_EQ(pixelAt(r5.get(), int32_t(x), int32_t(y)), 0x7FFFu);
      }
  }
}

TEST_F(Scaling, RefusalsAndLargeSizes) {
  Image src = randomPicture(PEL_TYPE_BIT24, 4, 4, 1);
  EXPECT_EQ(pelScaleEx(nullptr, 1, 1), nullptr);
  EXPECT_EQ(pelScaleEx(src.get(), 0, 1), nullptr);
  EXPECT_EQ(pelScaleEx(src.get(), 0x80000005u, 1), nullptr);
  EXPECT_EQ(pelScaleEx(src.get(), 1, 0xFFFFFFFFu), nullptr);
  EXPECT_EQ(pelScaleEx(src.get(), 0x7FFFFFFF, 0x7FFFFFFF), nullptr);
  src->imageType = PEL_TYPE_RLE8;
  EXPECT_EQ(pelScaleEx(src.get(), 2, 2), nullptr);
  // Steps beyond 32 bits: columns 0 and 2,500,000 of a 5,000,000-wide line.
  Image wide(pelCreateImage(PEL_TYPE_BIT1, 5000000, 1, palette(0).data(), 2, 0, 0, 0));
  std::memset(wide->core->bits, 0xFF, wide->core->bitsSize);
  wide->core->bits[0] = 0x7F;               // column 0 is 0
  wide->core->bits[2500000 / 8] = 0xFF;     // column 2,500,000 is 1
  wide->core->bits[2500000 / 8 - 1] = 0x00; // its neighbours on the left are 0
  Image two(pelScaleEx(wide.get(), 2, 1));
  ASSERT_TRUE(two);
  EXPECT_EQ(pixelAt(two.get(), 0, 0), 0u);
  EXPECT_EQ(pixelAt(two.get(), 1, 0), 1u);
}

// A block of 4200 x 4200 white pixels sums past 32 bits.
TEST_F(Scaling, LargeAreaAverage) {
  Image white(pelCreateImage(PEL_TYPE_GREY8, 4200, 4200, nullptr, 0, 0, 0, 0));
  ASSERT_TRUE(white);
  std::memset(white->core->bits, 255, white->core->bitsSize);
  Image one(pelScaleEx(white.get(), 1, 1));
  ASSERT_TRUE(one);
  EXPECT_EQ(one->core->bits[0], 255);
}

TEST_F(Scaling, AllocationFailuresLeaveNothing) {
  for (int32_t type : {PEL_TYPE_BIT1, PEL_TYPE_BIT24}) {
    Image src = randomPicture(type, 19, 15, 2);
    for (auto [dw, dh] : {std::pair{5u, 4u}, {40u, 30u}}) {
      EXPECT_GT(sweepAllocationFailures([&] {
                  Image r(pelScaleEx(src.get(), dw, dh));
                  return r != nullptr;
                }),
                0);
    }
  }
}

} // namespace
} // namespace pel::test
