// SPDX-License-Identifier: MIT
#include "geometry_support.hpp"

#include <cmath>
#include <limits>

namespace pel::test {
namespace {

class FreeRotation : public LeakCheck {};

struct Factors {
  int64_t fc, fs, dw, dh;
};

int64_t ceilAbs(int64_t v) { return (std::llabs(v) + 1023) / 1024; }

Factors factorsFor(float angle, int64_t w, int64_t h) {
  Factors f{};
  f.fc = static_cast<int64_t>(std::trunc(std::cos(double(angle)) * 1024.0));
  f.fs = static_cast<int64_t>(std::trunc(std::sin(double(angle)) * 1024.0));
  f.dw = std::max(ceilAbs(w * f.fc - h * f.fs), ceilAbs(w * f.fc + h * f.fs));
  f.dh = std::max(ceilAbs(w * f.fs + h * f.fc), ceilAbs(w * f.fs - h * f.fc));
  return f;
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// The inverse mapping of one result pixel, written out directly.
struct Sample {
  int64_t xi, yi;
  int32_t fx, fy;
};
Sample sampleOf(const Factors &f, int64_t w, int64_t h, int64_t x, int64_t y) {
  const int64_t hw = f.dw / 2, hh = f.dh / 2;
  const int64_t sx = (x - hw) * f.fc + (y - hh) * f.fs + w * 512;
  const int64_t sy = -(x - hw) * f.fs + (y - hh) * f.fc + h * 512;
  const int64_t xi = floorDiv(sx, 1024), yi = floorDiv(sy, 1024);
  return {xi, yi, int32_t(sx - xi * 1024), int32_t(sy - yi * 1024)};
}

std::array<int32_t, 3> backgroundOf(int32_t type, uint32_t rgb) {
  const int32_t r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
  if (type == PEL_TYPE_GREY8) return {(29 * b + 150 * g + 77 * r) >> 8, 0, 0};
  return {b, g, r};
}

// Expected pixel value of result pixel (x, y) for the interpolating types.
uint32_t bilinearReference(const PELIMAGE *src, const Factors &f, int64_t x, int64_t y,
                           uint32_t background) {
  const int32_t type = src->imageType;
  const int64_t w = widthOf(src), h = heightOf(src);
  const Sample s = sampleOf(f, w, h, x, y);
  const auto bg = backgroundOf(type, background);
  if (s.xi < -1 || s.xi >= w || s.yi < -1 || s.yi >= h) return valueOf(type, bg);
  auto p = [&](int64_t px, int64_t py) {
    if (px < 0 || px >= w || py < 0 || py >= h) return bg;
    return channelsOf(type, pixelAt(src, int32_t(px), int32_t(py)));
  };
  const auto p00 = p(s.xi, s.yi), p10 = p(s.xi + 1, s.yi), p01 = p(s.xi, s.yi + 1),
             p11 = p(s.xi + 1, s.yi + 1);
  std::array<int32_t, 3> v{};
  for (int c = 0; c < channelCount(type); ++c) {
    const int64_t t = p00[c] * 1024 + (p10[c] - p00[c]) * s.fx;
    const int64_t u = p01[c] * 1024 + (p11[c] - p01[c]) * s.fx;
    v[c] = int32_t((t * 1024 + (u - t) * s.fy) >> 20);
  }
  return valueOf(type, v);
}

void expectBilinear(const PELIMAGE *src, float angle, uint32_t background) {
  const Factors f = factorsFor(angle, widthOf(src), heightOf(src));
  Image r(pelRotateAngleEx(const_cast<PELIMAGE *>(src), angle, background));
  ASSERT_TRUE(r);
  ASSERT_EQ(widthOf(r.get()), f.dw);
  ASSERT_EQ(heightOf(r.get()), f.dh);
  for (int32_t y = 0; y < f.dh; ++y)
    for (int32_t x = 0; x < f.dw; ++x)
      ASSERT_EQ(pixelAt(r.get(), x, y), bilinearReference(src, f, x, y, background))
          << "pixel (" << x << ", " << y << ")";
}

constexpr float kAngles[] = {0.0f, 0.3f, -0.7f, 1.5707964f, 2.5f, 3.14159265f, -4.0f, 100.0f};

TEST_F(FreeRotation, InterpolatingTypesMatchTheReference) {
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {2, 3}, {7, 4}, {16, 9}, {31, 20}};
  for (int32_t type :
       {PEL_TYPE_GREY8, PEL_TYPE_BIT555, PEL_TYPE_BIT565, PEL_TYPE_BIT24, PEL_TYPE_BIT32}) {
    for (auto [w, h] : sizes) {
      Image src = randomPicture(type, w, h, uint32_t(type * 77 + w + h));
      for (float angle : kAngles) {
        SCOPED_TRACE(::testing::Message()
                     << "type " << type << " " << w << "x" << h << " angle " << angle);
        expectBilinear(src.get(), angle, 0x00C08040);
      }
    }
  }
}

TEST_F(FreeRotation, BilevelTakesTheNearestPixel) {
  for (uint32_t background : {0x000000FFu, 0x00FF0000u}) {
    const uint32_t bgBit = background & 0xFF ? 1 : 0;
    Image src = randomPicture(PEL_TYPE_BIT1, 19, 11, 5);
    for (float angle : kAngles) {
      const Factors f = factorsFor(angle, 19, 11);
      Image r(pelRotateAngleEx(src.get(), angle, background));
      ASSERT_TRUE(r);
      for (int32_t y = 0; y < f.dh; ++y) {
        for (int32_t x = 0; x < f.dw; ++x) {
          const Sample s = sampleOf(f, 19, 11, x, y);
          const bool covered = s.xi >= 0 && s.xi < 19 && s.yi >= 0 && s.yi < 11;
          const uint32_t expected =
              covered ? pixelAt(src.get(), int32_t(s.xi), int32_t(s.yi)) : bgBit;
          ASSERT_EQ(pixelAt(r.get(), x, y), expected) << x << ", " << y << " angle " << angle;
        }
        // Padding bits carry the background bit.
        const uint8_t *line = rowPtr(r.get(), y);
        for (int64_t bit = f.dw; bit < int64_t(r->lineBytes) * 8; ++bit)
          ASSERT_EQ((line[bit / 8] >> (7 - bit % 8)) & 1u, bgBit);
      }
    }
  }
}

TEST_F(FreeRotation, WorkedSizes) {
  // The float nearest pi/2: cosine factor 0, sine factor 1023.
  const Factors f = factorsFor(1.5707964f, 100, 50);
  EXPECT_EQ(f.fc, 0);
  EXPECT_EQ(f.fs, 1023);
  Image src = randomPicture(PEL_TYPE_BIT24, 100, 50, 1);
  Image r(pelRotateAngleEx(src.get(), 1.5707964f, 0));
  EXPECT_EQ(widthOf(r.get()), 50);
  EXPECT_EQ(heightOf(r.get()), 100);
  Image wide = randomPicture(PEL_TYPE_BIT1, 2048, 1, 1);
  Image tall(pelRotateAngleEx(wide.get(), 1.5707964f, 0));
  EXPECT_EQ(heightOf(tall.get()), 2046);
  Image square = randomPicture(PEL_TYPE_GREY8, 100, 100, 1);
  Image turned(pelRotateAngleEx(square.get(), 0.78539816f, 0));
  EXPECT_EQ(widthOf(turned.get()), 142);
  EXPECT_EQ(heightOf(turned.get()), 142);
}

TEST_F(FreeRotation, AngleZero) {
  // Even sizes: a copy (5-5-5 loses bit 15).
  for (int32_t type : kCreatableTypes) {
    SCOPED_TRACE(type);
    Image src = randomPicture(type, 6, 4, 9);
    if (type == PEL_TYPE_BIT555)
      for (int32_t row = 0; row < 4; ++row)
        for (int32_t x = 0; x < 6; ++x)
          setRawAt(src.get(), x, row, rawAt(src.get(), x, row) & 0x7FFF);
    if (type == PEL_TYPE_BIT32)
      for (int32_t row = 0; row < 4; ++row)
        for (int32_t x = 0; x < 6; ++x)
          setRawAt(src.get(), x, row, rawAt(src.get(), x, row) & 0xFFFFFF);
    Image r(pelRotateAngleEx(src.get(), 0.0f, 0x808080));
    if (type == PEL_TYPE_BIT4 || type == PEL_TYPE_GREY4 || type == PEL_TYPE_BIT8) continue;
    EXPECT_TRUE(samePixels(r.get(), src.get()));
  }
  // Odd width: half and half with the right neighbour, the last column with
  // the background.
  Image src = randomPicture(PEL_TYPE_BIT24, 5, 2, 4);
  Image r(pelRotateAngleEx(src.get(), 0.0f, 0x00FFFFFF));
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 5; ++x)
      for (int c = 0; c < 3; ++c) {
        const int32_t a = rowPtr(src.get(), 1 - y)[3 * x + c];
        const int32_t b = x + 1 < 5 ? rowPtr(src.get(), 1 - y)[3 * x + 3 + c] : 255;
        EXPECT_EQ(rowPtr(r.get(), 1 - y)[3 * x + c], (a + b) / 2) << x << "," << y;
      }
}

TEST_F(FreeRotation, BackgroundRules) {
  Image grey = randomPicture(PEL_TYPE_GREY8, 10, 10, 2);
  Image r(pelRotateAngleEx(grey.get(), 0.5f, 0x00FFFFFF));
  EXPECT_EQ(pixelAt(r.get(), 0, 0), 255u);
  EXPECT_EQ(pixelAt(r.get(), widthOf(r.get()) - 1, heightOf(r.get()) - 1), 255u);
  Image rgba = randomPicture(PEL_TYPE_BIT32, 9, 7, 3);
  Image t(pelRotateAngleEx(rgba.get(), 0.9f, 0x00FFFFFF));
  for (int32_t row = 0; row < heightOf(t.get()); ++row)
    for (int32_t x = 0; x < widthOf(t.get()); ++x) ASSERT_EQ(rowPtr(t.get(), row)[4 * x + 3], 0);
  Image bits = randomPicture(PEL_TYPE_BIT1, 9, 7, 3);
  Image one(pelRotateAngleEx(bits.get(), 0.9f, 0x0000FF));
  Image zero(pelRotateAngleEx(bits.get(), 0.9f, 0xFF0000));
  EXPECT_EQ(pixelAt(one.get(), 0, 0), 1u);
  EXPECT_EQ(pixelAt(zero.get(), 0, 0), 0u);
}

TEST_F(FreeRotation, RefusalsAndLargeSources) {
  Image src = randomPicture(PEL_TYPE_BIT24, 4, 4, 1);
  EXPECT_EQ(pelRotateAngleEx(nullptr, 0.0f, 0), nullptr);
  EXPECT_EQ(pelRotateAngleEx(src.get(), std::numeric_limits<float>::quiet_NaN(), 0), nullptr);
  EXPECT_EQ(pelRotateAngleEx(src.get(), std::numeric_limits<float>::infinity(), 0), nullptr);
  EXPECT_EQ(pelRotateAngleEx(src.get(), -std::numeric_limits<float>::infinity(), 0), nullptr);
  Image huge(pelRotateAngleEx(src.get(), 1e30f, 0));
  EXPECT_TRUE(huge);
  src->imageType = PEL_TYPE_RLE4;
  EXPECT_EQ(pelRotateAngleEx(src.get(), 0.0f, 0), nullptr);
  // Positions beyond 32 bits: a very wide bilevel image at angle 0.
  Image wide = randomPicture(PEL_TYPE_BIT1, 3000000, 1, 8);
  Image same(pelRotateAngleEx(wide.get(), 0.0f, 0));
  ASSERT_TRUE(same);
  ASSERT_EQ(widthOf(same.get()), 3000000);
  ASSERT_EQ(heightOf(same.get()), 1);
  EXPECT_EQ(std::memcmp(same->core->bits, wide->core->bits, 3000000 / 8), 0);
}

TEST_F(FreeRotation, AllocationFailuresLeaveNothing) {
  for (int32_t type : {PEL_TYPE_BIT1, PEL_TYPE_BIT565}) {
    Image src = randomPicture(type, 9, 5, 2);
    EXPECT_GT(sweepAllocationFailures([&] {
                Image r(pelRotateAngleEx(src.get(), 0.4f, 0));
                return r != nullptr;
              }),
              0);
  }
}

} // namespace
} // namespace pel::test
