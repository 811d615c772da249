// SPDX-License-Identifier: MIT
// Tone adjustments on 24-bit, 32-bit, 16-bit and palette images, in place.
#include "support.hpp"

#include <climits>
#include <cmath>

namespace {

using pel::test::LeakCheck;

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb &) const = default;
};

// A 1 x n 24-bit image holding the given colours.
PELIMAGE *row24(const std::vector<Rgb> &colours, int32_t type = PEL_TYPE_BIT24) {
  PELIMAGE *image =
      pelCreateImage(type, static_cast<int32_t>(colours.size()), 1, nullptr, 0, 0, 0, 0);
  const std::size_t bpp = type == PEL_TYPE_BIT24 ? 3 : 4;
  for (std::size_t i = 0; i < colours.size(); ++i) {
    uint8_t *p = image->core->bits + i * bpp;
    p[0] = colours[i].b;
    p[1] = colours[i].g;
    p[2] = colours[i].r;
    if (bpp == 4) p[3] = 0xA5;
  }
  return image;
}

Rgb at(const PELIMAGE *image, std::size_t i) {
  const std::size_t bpp = image->imageType == PEL_TYPE_BIT24 ? 3 : 4;
  const uint8_t *p = image->core->bits + i * bpp;
  return {p[2], p[1], p[0]};
}

Rgb one(Rgb c, PELIMAGE *(*apply)(PELIMAGE *)) {
  PELIMAGE *image = row24({c});
  EXPECT_EQ(apply(image), image);
  const Rgb out = at(image, 0);
  pelDestroyImage(image);
  return out;
}

class Tone : public LeakCheck {};

TEST_F(Tone, GreyNamedValuesAndOffsetLimits) {
  EXPECT_EQ(one({255, 0, 0}, [](PELIMAGE *i) { return pelGrey(i, 0, 0); }), (Rgb{76, 76, 76}));
  EXPECT_EQ(one({255, 255, 255}, [](PELIMAGE *i) { return pelGrey(i, 10, 0); }),
            (Rgb{255, 255, 255}));
  EXPECT_EQ(one({0, 0, 0}, [](PELIMAGE *i) { return pelGrey(i, -5, 0); }), (Rgb{0, 0, 0}));
  EXPECT_EQ(one({255, 255, 255}, [](PELIMAGE *i) { return pelGrey(i, INT_MAX, 0); }),
            (Rgb{255, 255, 255}));
  EXPECT_EQ(one({255, 255, 255}, [](PELIMAGE *i) { return pelGrey(i, INT_MIN, 0); }),
            (Rgb{0, 0, 0}));
}

TEST_F(Tone, GammaNamedValuesAndRefusals) {
  PELIMAGE *image = row24({{1, 64, 128}, {0, 255, 0}});
  ASSERT_EQ(pelGammaCorrect(image, 2.2f, 2.2f, 2.2f, 0), image);
  EXPECT_EQ(at(image, 0), (Rgb{21, 136, 186}));
  EXPECT_EQ(at(image, 1), (Rgb{0, 255, 0}));
  EXPECT_EQ(pelGammaCorrect(image, 0.0f, 1, 1, 0), nullptr);
  EXPECT_EQ(pelGammaCorrect(image, 1, -1.0f, 1, 0), nullptr);
  EXPECT_EQ(pelGammaCorrect(image, 1, 1, NAN, 0), nullptr);
  EXPECT_EQ(at(image, 0), (Rgb{21, 136, 186}));
  // Tiny gammas saturate at 255 instead of wrapping.
  EXPECT_EQ(one({255, 254, 0}, [](PELIMAGE *i) { return pelGammaCorrect(i, 1e-6f, 1e-6f, 1, 0); }),
            (Rgb{255, 0, 0}));
  pelDestroyImage(image);
}

TEST_F(Tone, LuminanceAndContrast) {
  EXPECT_EQ(one({10, 20, 5},
                [](PELIMAGE *i) {
                  const int32_t off[3] = {300, 0, -10};
                  return pelLuminance(i, off, 0);
                }),
            (Rgb{255, 20, 0}));
  PELIMAGE *image = row24({{125, 128, 130}, {0, 255, 125}});
  const int32_t zero[3] = {0, 0, 0}, full[3] = {100, 100, 100}, low[3] = {-100, -100, -100};
  ASSERT_EQ(pelContrast(image, zero, zero, 0), image);
  EXPECT_EQ(at(image, 0), (Rgb{125, 128, 130}));
  ASSERT_EQ(pelContrast(image, zero, full, 0), image);
  EXPECT_EQ(at(image, 0), (Rgb{0, 156, 255}));
  EXPECT_EQ(at(image, 1), (Rgb{0, 255, 0}));
  EXPECT_EQ(pelLuminance(image, nullptr, 0), nullptr);
  EXPECT_EQ(pelContrast(image, nullptr, zero, 0), nullptr);
  EXPECT_EQ(pelContrast(image, zero, nullptr, 0), nullptr);
  pelDestroyImage(image);
  image = row24({{0, 255, 77}});
  ASSERT_EQ(pelContrast(image, zero, low, 0), image);
  const Rgb c = at(image, 0);
  EXPECT_GE(c.r, 125);
  EXPECT_LE(c.g, 130);
  ASSERT_EQ(pelContrast(image, full, zero, 0), image);
  EXPECT_EQ(at(image, 0), (Rgb{255, 255, 255}));
  ASSERT_EQ(pelContrast(image, low, zero, 0), image);
  EXPECT_EQ(at(image, 0), (Rgb{0, 0, 0}));
  pelDestroyImage(image);
}

TEST_F(Tone, SaturationNamedValues) {
  PELIMAGE *image = row24({{255, 0, 0}, {200, 100, 50}, {128, 128, 128}});
  ASSERT_EQ(pelSaturation(image, 0, 0, 0, 0), image);
  EXPECT_EQ(at(image, 0), (Rgb{254, 0, 0}));
  EXPECT_EQ(at(image, 1), (Rgb{200, 100, 50}));
  ASSERT_EQ(pelSaturation(image, 120, 0, 0, 0), image);
  EXPECT_EQ(at(image, 1), (Rgb{50, 200, 100}));
  ASSERT_EQ(pelSaturation(image, 0, 0, -100, 0), image);
  EXPECT_EQ(at(image, 1), (Rgb{125, 125, 125}));
  EXPECT_EQ(at(image, 2), (Rgb{128, 128, 128}));
  pelDestroyImage(image);
}

TEST_F(Tone, InvertKeepsFourthByteAndTransparentColour) {
  PELIMAGE *image = row24({{255, 0, 0}, {1, 2, 3}}, PEL_TYPE_BIT32);
  pelSetTranspClr(image, 0x000000FF);
  ASSERT_EQ(pelInvert(image, 0), image);
  EXPECT_EQ(at(image, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(at(image, 1), (Rgb{254, 253, 252}));
  EXPECT_EQ(image->core->bits[7], 0xA5);
  pelDestroyImage(image);

  std::vector<RGBQUAD> table = {{0, 0, 255, 0}, {3, 2, 1, 0}};
  image = pelCreateImage(PEL_TYPE_BIT8, 4, 4, table.data(), 2, 0, 0, 0);
  image->core->bits[0] = 1;
  pelSetTranspClr(image, 0x000000FF);
  ASSERT_EQ(pelInvert(image, 0), image);
  const auto *pal = reinterpret_cast<const RGBQUAD *>(image->core->header + 1);
  EXPECT_EQ(pal[0].rgbRed, 255);
  EXPECT_EQ(pal[1].rgbRed, 254);
  EXPECT_EQ(pal[1].rgbBlue, 252);
  EXPECT_EQ(image->core->bits[0], 1);
  pelDestroyImage(image);

  image = pelCreateImage(PEL_TYPE_BIT565, 2, 1, nullptr, 0, 0, 0, 0);
  const uint16_t px[2] = {0xF800, 0x0000};
  std::memcpy(image->core->bits, px, 4);
  pelSetTranspClr(image, 0x000000F8);
  ASSERT_EQ(pelInvert(image, 0), image);
  uint16_t out[2];
  std::memcpy(out, image->core->bits, 4);
  EXPECT_EQ(out[0], 0xF800);
  EXPECT_EQ(out[1], 0xFFFF);
  pelDestroyImage(image);
}

TEST_F(Tone, NullImages) {
  EXPECT_EQ(pelGrey(nullptr, 0, 0), nullptr);
  EXPECT_EQ(pelInvert(nullptr, 0), nullptr);
  EXPECT_EQ(pelSaturation(nullptr, 0, 0, 0, 0), nullptr);
}

} // namespace
