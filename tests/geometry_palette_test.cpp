// SPDX-License-Identifier: MIT
// The nearest-pixel methods of palette images, which go through the
// single-pixel operations.
#include "geometry_support.hpp"

#include <cmath>

namespace pel::test {
namespace {

class PaletteGeometry : public LeakCheck {};

TEST_F(PaletteGeometry, ScalingRepeatsColumnsFromTheFirst) {
  Image src = randomPicture(PEL_TYPE_BIT4, 3, 1, 1);
  for (int32_t x = 0; x < 3; ++x) setRawAt(src.get(), x, 0, uint32_t(x + 4));
  Image r(pelScaleEx(src.get(), 7, 1));
  const uint32_t expected[] = {4, 4, 4, 5, 5, 6, 6};
  for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(pixelAt(r.get(), x, 0), expected[x]) << x;
}

TEST_F(PaletteGeometry, ScalingMatchesTheNearestPixel) {
  for (int32_t type : {PEL_TYPE_BIT4, PEL_TYPE_GREY4, PEL_TYPE_BIT8}) {
    Image src = randomPicture(type, 13, 7, uint32_t(type));
    for (auto [dw, dh] : {std::pair{13u, 7u}, {5u, 3u}, {30u, 17u}}) {
      Image r(pelScaleEx(src.get(), dw, dh));
      ASSERT_TRUE(r);
      EXPECT_EQ(r->imageType, type);
      const uint64_t xs = 13 * 1024 / dw, ys = 7 * 1024 / dh;
      for (uint32_t y = 0; y < dh; ++y)
        for (uint32_t x = 0; x < dw; ++x)
          ASSERT_EQ(pixelAt(r.get(), int32_t(x), int32_t(y)),
                    pixelAt(src.get(), int32_t(x * xs / 1024), int32_t(y * ys / 1024)));
    }
  }
}

// A 4-bit image classified without the grey test whose table is the grey
// ramp: the result is classified grey, and is still drawn.
TEST_F(PaletteGeometry, DrawsWhenOnlyTheClassificationDiffers) {
  BITMAPINFOHEADER h = header(6, 4, 4);
  Image src(pelCreateImageEx(&h, nullptr, 0));
  ASSERT_TRUE(src);
  ASSERT_EQ(src->imageType, PEL_TYPE_BIT4);
  pelCreateGDIColors(reinterpret_cast<RGBQUAD *>(src->core->header + 1), PEL_PAL_GREY16);
  for (uint32_t i = 0; i < src->core->bitsSize; ++i) src->core->bits[i] = uint8_t(i * 37);
  Image scaled(pelScaleEx(src.get(), 6, 4));
  ASSERT_TRUE(scaled);
  EXPECT_EQ(scaled->imageType, PEL_TYPE_GREY4);
  EXPECT_TRUE(samePixels(scaled.get(), src.get()));
  Image turned(pelRotateAngleEx(src.get(), 0.0f, 0));
  EXPECT_TRUE(samePixels(turned.get(), src.get()));
}

TEST_F(PaletteGeometry, RotationTakesTheNearestPixelOnTheBackground) {
  for (int32_t type : {PEL_TYPE_BIT4, PEL_TYPE_GREY4, PEL_TYPE_BIT8}) {
    Image src = randomPicture(type, 11, 8, uint32_t(type));
    for (float angle : {0.0f, 0.6f, -2.0f, 1.5707964f}) {
      const int64_t fc = int64_t(std::trunc(std::cos(double(angle)) * 1024.0));
      const int64_t fs = int64_t(std::trunc(std::sin(double(angle)) * 1024.0));
      Image r(pelRotateAngleEx(src.get(), angle, 0x00FFFFFF));
      ASSERT_TRUE(r);
      const uint32_t bg = pelRGBColor2DIBData(r.get(), 0x00FFFFFF);
      const int64_t dw = widthOf(r.get()), dh = heightOf(r.get());
      for (int64_t y = 0; y < dh; ++y)
        for (int64_t x = 0; x < dw; ++x) {
          const int64_t sx = (x - dw / 2) * fc + (y - dh / 2) * fs + 11 * 512;
          const int64_t sy = -(x - dw / 2) * fs + (y - dh / 2) * fc + 8 * 512;
          const int64_t xi = int64_t(std::floor(double(sx) / 1024)),
                        yi = int64_t(std::floor(double(sy) / 1024));
          const bool covered = xi >= 0 && xi < 11 && yi >= 0 && yi < 8;
          ASSERT_EQ(pixelAt(r.get(), int32_t(x), int32_t(y)),
                    covered ? pixelAt(src.get(), int32_t(xi), int32_t(yi))
                            : bg & (type == PEL_TYPE_BIT8 ? 0xFFu : 0xFu))
              << x << ", " << y;
        }
    }
  }
}

} // namespace
} // namespace pel::test
