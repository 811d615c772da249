// SPDX-License-Identifier: MIT
#include "geometry_support.hpp"

namespace pel::test {
namespace {

class MirrorBorder : public LeakCheck {};

TEST_F(MirrorBorder, MirrorModesMatchTheMapping) {
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {3, 3}, {9, 2}, {17, 5}, {33, 4}};
  for (int32_t type : kCreatableTypes) {
    for (auto [w, h] : sizes) {
      Image src = randomPicture(type, w, h, uint32_t(type * 3 + w + h));
      for (uint32_t mode : {0u, 1u, 2u, 7u}) {
        SCOPED_TRACE(::testing::Message()
                     << "type " << type << " " << w << "x" << h << " mode " << mode);
        Image r(pelMirror(src.get(), mode));
        ASSERT_TRUE(r);
        ASSERT_EQ(widthOf(r.get()), w);
        ASSERT_EQ(heightOf(r.get()), h);
        for (int32_t y = 0; y < h; ++y)
          for (int32_t x = 0; x < w; ++x) {
            const int32_t sx = mode == 1 ? x : w - 1 - x;
            const int32_t sy = mode == 0 ? y : h - 1 - y;
            ASSERT_EQ(pixelAt(r.get(), x, y), pixelAt(src.get(), sx, sy)) << x << ", " << y;
          }
      }
    }
  }
}

TEST_F(MirrorBorder, MirrorIdentities) {
  for (int32_t type : kCreatableTypes) {
    SCOPED_TRACE(type);
    Image src = randomPicture(type, 13, 5, 11);
    Image once(pelMirror(src.get(), 0));
    Image twice(pelMirror(once.get(), 0));
    EXPECT_TRUE(samePixels(twice.get(), src.get()));
    Image both(pelMirror(src.get(), 2));
    Image thenDown(pelMirror(once.get(), 1));
    EXPECT_TRUE(samePixels(both.get(), thenDown.get()));
    EXPECT_EQ(pelIsTranspClr(both.get()), 0);
  }
}

// Expected pixel of a bordered result: a source pixel inside the copied
// span, else the fill value the border takes.
void expectBorder(const PELIMAGE *src, const PELIMAGE *r, int32_t left, int32_t top,
                  uint32_t fill) {
  for (int32_t y = 0; y < heightOf(r); ++y)
    for (int32_t x = 0; x < widthOf(r); ++x) {
      const int32_t sx = x - left, sy = y - top;
      const bool inside = sx >= 0 && sx < widthOf(src) && sy >= 0 && sy < heightOf(src);
      ASSERT_EQ(pixelAt(r, x, y), inside ? pixelAt(src, sx, sy) : fill) << x << ", " << y;
    }
}

TEST_F(MirrorBorder, BordersAndCuts) {
  const int32_t margins[][4] = {{2, 1, 3, 0},  {-2, -1, -3, 0}, {0, -1, 0, 2}, {0, 0, 0, 0},
                                {-9, 0, 0, 0}, {5, -4, -1, 3},  {1, 1, 1, 1}};
  for (int32_t type : {PEL_TYPE_BIT1, PEL_TYPE_BIT4, PEL_TYPE_GREY8, PEL_TYPE_BIT565,
                       PEL_TYPE_BIT24, PEL_TYPE_BIT32}) {
    Image src = randomPicture(type, 10, 5, uint32_t(type));
    for (const auto &m : margins) {
      SCOPED_TRACE(::testing::Message() << "type " << type << " margins " << m[0] << " " << m[1]
                                        << " " << m[2] << " " << m[3]);
      Image r(pelFixBorder(src.get(), m[0], m[1], m[2], m[3], 0x00FFFFFF));
      ASSERT_TRUE(r);
      ASSERT_EQ(widthOf(r.get()), 10 + m[0] + m[2]);
      ASSERT_EQ(heightOf(r.get()), 5 + m[1] + m[3]);
      uint32_t white = 0xFFFFFF;
      if (type == PEL_TYPE_BIT1) white = 1;
      if (type == PEL_TYPE_BIT4) white = 15;
      if (type == PEL_TYPE_GREY8) white = 255;
      if (type == PEL_TYPE_BIT565) white = 0xFFFF;
      if (type == PEL_TYPE_BIT4) {
        // The colourful palette has no white: the border is its nearest entry.
        white = pixelAt(r.get(), widthOf(r.get()) - 1, heightOf(r.get()) - 1);
        if (m[2] <= 0 && m[3] <= 0 && m[0] <= 0 && m[1] <= 0) continue;
      }
      expectBorder(src.get(), r.get(), m[0], m[1], white);
    }
  }
}

TEST_F(MirrorBorder, RefusedMargins) {
  Image src = randomPicture(PEL_TYPE_BIT24, 10, 5, 1);
  EXPECT_EQ(pelFixBorder(nullptr, 0, 0, 0, 0, 0), nullptr);
  EXPECT_EQ(pelMirror(nullptr, 0), nullptr);
  EXPECT_EQ(pelFixBorder(src.get(), -10, 0, 0, 0, 0), nullptr);
  EXPECT_EQ(pelFixBorder(src.get(), 0, 0, -10, 0, 0), nullptr);
  EXPECT_EQ(pelFixBorder(src.get(), 0, -5, 0, 0, 0), nullptr);
  EXPECT_EQ(pelFixBorder(src.get(), -6, 0, -4, 0, 0), nullptr);
  EXPECT_EQ(pelFixBorder(src.get(), 0x7FFFFFF0, 0, 0x7FFFFFF0, 0, 0), nullptr);
  EXPECT_EQ(pelFixBorder(src.get(), 0, -0x7FFFFFF0, 0, -0x7FFFFFF0, 0), nullptr);
  Image one(pelFixBorder(src.get(), -9, 0, 0, 0, 0));
  ASSERT_TRUE(one);
  for (int32_t y = 0; y < 5; ++y) EXPECT_EQ(pixelAt(one.get(), 0, y), pixelAt(src.get(), 9, y));
}

TEST_F(MirrorBorder, AllocationFailuresLeaveNothing) {
  Image src = randomPicture(PEL_TYPE_BIT4, 9, 5, 2);
  EXPECT_GT(sweepAllocationFailures([&] {
              Image r(pelFixBorder(src.get(), 2, -1, 3, 1, 0));
              return r != nullptr;
            }),
            1);
  EXPECT_GT(sweepAllocationFailures([&] {
              Image r(pelMirror(src.get(), 2));
              return r != nullptr;
            }),
            0);
}

// A large border result may take a store kept from an earlier image without
// its contents cleared: every byte of its bits, line padding included, must
// still come out as in a cleared store. The earlier image leaves 0xA5 in a
// store of exactly the result's size; fixed global memory always comes
// cleared, so a source there gives the reference.
TEST_F(MirrorBorder, BorderInAKeptStoreWritesEveryByte) {
  const struct {
    int32_t type, w, h;
  } cases[] = {{PEL_TYPE_BIT24, 1013, 677}, {PEL_TYPE_BIT1, 8185, 2100}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type);
    const Image source = randomPicture(c.type, c.w, c.h, 77);
    ASSERT_TRUE(source);
    const Image fixedSource(pelCopyImage(source.get(), nullptr, PEL_MEM_GLOBAL_FIXED));
    ASSERT_TRUE(fixedSource);
    const Image reference(pelFixBorder(fixedSource.get(), 5, 3, 13, 2, 0x00123456));
    ASSERT_TRUE(reference);
    const auto &h = *reference->core->header;
    Image stale(pelCreateImage(c.type, h.biWidth, h.biHeight,
                               reinterpret_cast<const RGBQUAD *>(&h + 1), h.biClrUsed,
                               h.biXPelsPerMeter, h.biYPelsPerMeter, PEL_MEM_VIRTUAL));
    ASSERT_TRUE(stale);
    ASSERT_GE(stale->core->bitsSize, std::size_t{2} << 20);
    std::memset(stale->core->bits, 0xA5, stale->core->bitsSize);
    stale.reset();
    const Image virtualSource(pelCopyImage(source.get(), nullptr, PEL_MEM_VIRTUAL));
    ASSERT_TRUE(virtualSource);
    const Image result(pelFixBorder(virtualSource.get(), 5, 3, 13, 2, 0x00123456));
    ASSERT_TRUE(result);
    ASSERT_EQ(result->core->bitsSize, reference->core->bitsSize);
    EXPECT_EQ(0, std::memcmp(result->core->bits, reference->core->bits, result->core->bitsSize));
  }
}

} // namespace
} // namespace pel::test
