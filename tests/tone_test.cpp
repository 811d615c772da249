// SPDX-License-Identifier: MIT
// Tone adjustments on 24-bit, 32-bit, 16-bit and palette images, in place
// and on copies.
#include "support.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <random>
#include <string>

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

// Hue, saturation and lightness step by step, in the integers the operation
// uses (C++ division truncates towards zero, as the operation's does).
Rgb hslModel(Rgb c, int32_t hueShift, int32_t lightShift, int32_t satChange) {
  const int r = c.r, g = c.g, b = c.b;
  const int big = std::max({r, g, b}), small = std::min({r, g, b}), d = big - small;
  if (d == 0) return c;
  const int l = (big + small) / 2;
  const int s = l < 128 ? 100 * d / (big + small) : 100 * d / (510 - big - small);
  int h;
  if (big == r)
    h = 60 * (g - b) / d;
  else if (big == g)
    h = 60 * (b - r) / d + 120;
  else
    h = 60 * (r - g) / d + 240;
  if (h < 0) h += 360;
  h += std::clamp(hueShift, -360, 360);
  if (h >= 360) h -= 360;
  if (h < 0) h += 360;
  const int s2 = std::clamp((std::clamp(satChange, -100, 100) + 100) * s / 100, 0, 100);
  const int l2 = std::clamp(l + std::clamp(lightShift, -255, 255), 0, 255);
  const int p = l2 >= 128 ? l2 + (255 - l2) * s2 / 100 : l2 * (100 + s2) / 100;
  const int q = 2 * l2 - p;
  auto value = [&](int a) {
    if (a >= 360) a -= 360;
    if (a < 0) a += 360;
    int v = q;
    if (a < 60)
      v = q + (p - q) * a / 60;
    else if (a < 180)
      v = p;
    else if (a < 240)
      v = q + (p - q) * (240 - a) / 60;
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
  };
  return {value(h + 120), value(h), value(h - 120)};
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

// Independent per-channel models of the three table operations.
int gammaModel(int i, float gamma) {
  const double v = std::pow(i * static_cast<double>(0.003921569f), 1.0f / gamma) * 255 + 0.5;
  return v >= 255 ? 255 : static_cast<int>(v);
}
int contrastModel(int i, int b, int k) {
  const double s =
      std::tan((k * static_cast<double>(0.44f) + 45) * static_cast<double>(0.01745328f));
  const double v = std::trunc(i * s + (s + 1) * b * 1.275 + (1 - s) * 127.5 + 0.5);
  return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v);
}

// A 256 x 1 image whose pixel i holds i in every channel (red shifted by 1,
// blue by 2, so a channel mix-up shows).
PELIMAGE *ramp(int32_t type) {
  std::vector<Rgb> colours;
  for (int i = 0; i < 256; ++i)
    colours.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>((i + 1) & 255),
                       static_cast<uint8_t>((i + 2) & 255)});
  return row24(colours, type);
}

TEST_F(Tone, TablesFollowTheirModelsOnEveryValue) {
  struct Case {
    const char *what;
    std::function<PELIMAGE *(PELIMAGE *)> apply;
    std::function<int(int, int)> model; // (value, channel 0 red .. 2 blue)
  };
  const float gammas[3] = {2.2f, 0.45f, 1.0f};
  const int32_t bright[3] = {0, 37, -60}, contr[3] = {100, -100, 55}, offs[3] = {-300, 17, 300};
  const Case cases[] = {
      {"gamma", [&](PELIMAGE *i) { return pelGammaCorrect(i, gammas[0], gammas[1], gammas[2], 0); },
       [&](int v, int c) { return gammaModel(v, gammas[c]); }},
      {"contrast", [&](PELIMAGE *i) { return pelContrast(i, bright, contr, 0); },
       [&](int v, int c) { return contrastModel(v, bright[c], contr[c]); }},
      {"luminance", [&](PELIMAGE *i) { return pelLuminance(i, offs, 0); },
       [&](int v, int c) { return std::clamp(v + std::clamp(offs[c], -255, 255), 0, 255); }},
      {"invert", [](PELIMAGE *i) { return pelInvert(i, 0); }, [](int v, int) { return 255 - v; }},
  };
  for (const Case &c : cases)
    for (int32_t type : {PEL_TYPE_BIT24, PEL_TYPE_BIT32}) {
      SCOPED_TRACE(std::string(c.what) + (type == PEL_TYPE_BIT24 ? " 24" : " 32"));
      PELIMAGE *image = ramp(type);
      ASSERT_EQ(c.apply(image), image);
      for (int i = 0; i < 256; ++i) {
        const Rgb got = at(image, static_cast<std::size_t>(i));
        ASSERT_EQ(got.r, c.model(i, 0)) << i;
        ASSERT_EQ(got.g, c.model((i + 1) & 255, 1)) << i;
        ASSERT_EQ(got.b, c.model((i + 2) & 255, 2)) << i;
        if (type == PEL_TYPE_BIT32) {
          ASSERT_EQ(image->core->bits[i * 4 + 3], 0xA5);
        }
      }
      pelDestroyImage(image);
    }
}

TEST_F(Tone, ContrastNamedValues) {
  const int32_t zero[3] = {0, 0, 0}, full[3] = {100, 100, 100}, low[3] = {-100, -100, -100};
  PELIMAGE *image = ramp(PEL_TYPE_BIT24);
  ASSERT_EQ(pelContrast(image, zero, full, 0), image);
  for (int i = 0; i < 256; ++i) {
    const int want = i <= 125 ? 0 : i >= 130 ? 255 : -1;
    if (want >= 0) {
      EXPECT_EQ(at(image, static_cast<std::size_t>(i)).r, want) << i;
    }
  }
  EXPECT_EQ(at(image, 128).r, 156);
  pelDestroyImage(image);
  image = ramp(PEL_TYPE_BIT24);
  ASSERT_EQ(pelContrast(image, zero, low, 0), image);
  for (int i = 0; i < 256; ++i) {
    EXPECT_GE(at(image, static_cast<std::size_t>(i)).r, 125) << i;
    EXPECT_LE(at(image, static_cast<std::size_t>(i)).r, 130) << i;
  }
  pelDestroyImage(image);
}

// Every colour of a 64 x 64 x 64 lattice, in one image.
TEST_F(Tone, SaturationFollowsTheHslModel) {
  std::vector<Rgb> colours;
  for (int r = 0; r < 256; r += 4)
    for (int g = 1; g < 256; g += 4)
      for (int b = 3; b < 256; b += 4)
        colours.push_back(
            {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)});
  const int32_t args[][3] = {
      {0, 0, 0}, {120, 0, 0}, {-200, 40, -30}, {360, -255, 100}, {17, 255, -100}};
  for (const auto &a : args) {
    SCOPED_TRACE(testing::Message() << a[0] << " " << a[1] << " " << a[2]);
    PELIMAGE *image = row24(colours);
    ASSERT_EQ(pelSaturation(image, a[0], a[1], a[2], 0), image);
    for (std::size_t i = 0; i < colours.size(); ++i)
      ASSERT_EQ(at(image, i), hslModel(colours[i], a[0], a[1], a[2])) << i;
    pelDestroyImage(image);
    // A small image takes the plain arithmetic, a big one the looked-up one.
    const std::vector<Rgb> few(colours.begin() + 5000, colours.begin() + 6000);
    image = row24(few);
    ASSERT_EQ(pelSaturation(image, a[0], a[1], a[2], 0), image);
    for (std::size_t i = 0; i < few.size(); ++i)
      ASSERT_EQ(at(image, i), hslModel(few[i], a[0], a[1], a[2])) << i;
    pelDestroyImage(image);
  }
}

struct Shape {
  const char *what;
  int32_t type;
};

// Each format with two colours set: the transparent one and another.
PELIMAGE *twoColours(int32_t type) {
  if (type == PEL_TYPE_BIT24 || type == PEL_TYPE_BIT32)
    return row24({{248, 0, 0}, {8, 16, 24}}, type);
  if (type == PEL_TYPE_BIT8) {
    const std::vector<RGBQUAD> table = {{0, 0, 248, 0}, {24, 16, 8, 0}, {0, 0, 0, 0}};
    PELIMAGE *image = pelCreateImage(PEL_TYPE_BIT8, 3, 2, table.data(), 3, 0, 0, 0);
    for (uint32_t i = 0; i < image->core->bitsSize; ++i)
      image->core->bits[i] = static_cast<uint8_t>(i % 3);
    return image;
  }
  PELIMAGE *image = pelCreateImage(type, 2, 1, nullptr, 0, 0, 0, 0);
  const uint16_t px[2] = {static_cast<uint16_t>(type == PEL_TYPE_BIT565 ? 0xF800 : 0x7C00),
                          static_cast<uint16_t>(type == PEL_TYPE_BIT565 ? (1 << 11 | 4 << 5 | 3)
                                                                        : (1 << 10 | 2 << 5 | 3))};
  std::memcpy(image->core->bits, px, 4);
  return image;
}

// The two colours as the tone walk sees them.
std::vector<Rgb> coloursOf(const PELIMAGE *image) {
  const int32_t type = image->imageType;
  if (type == PEL_TYPE_BIT24 || type == PEL_TYPE_BIT32) return {at(image, 0), at(image, 1)};
  if (type <= PEL_TYPE_RLE8) {
    const auto *pal = reinterpret_cast<const RGBQUAD *>(image->core->header + 1);
    return {{pal[0].rgbRed, pal[0].rgbGreen, pal[0].rgbBlue},
            {pal[1].rgbRed, pal[1].rgbGreen, pal[1].rgbBlue}};
  }
  std::vector<Rgb> out;
  for (int i = 0; i < 2; ++i) {
    uint16_t v;
    std::memcpy(&v, image->core->bits + 2 * i, 2);
    if (type == PEL_TYPE_BIT565)
      out.push_back({static_cast<uint8_t>((v >> 8) & 0xF8), static_cast<uint8_t>((v >> 3) & 0xFC),
                     static_cast<uint8_t>((v << 3) & 0xF8)});
    else
      out.push_back({static_cast<uint8_t>((v >> 7) & 0xF8), static_cast<uint8_t>((v >> 2) & 0xF8),
                     static_cast<uint8_t>((v << 3) & 0xF8)});
  }
  return out;
}

std::vector<uint8_t> bitsOf(const PELIMAGE &image) {
  return {image.core->bits, image.core->bits + image.core->bitsSize};
}

std::vector<uint8_t> everything(const PELIMAGE &image) {
  std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t *>(image.core->header),
                             reinterpret_cast<const uint8_t *>(image.core->header) +
                                 image.core->headerSize);
  bytes.insert(bytes.end(), image.core->bits, image.core->bits + image.core->bitsSize);
  return bytes;
}

const Shape kShapes[] = {{"24", PEL_TYPE_BIT24},
                         {"32", PEL_TYPE_BIT32},
                         {"565", PEL_TYPE_BIT565},
                         {"555", PEL_TYPE_BIT555},
                         {"palette", PEL_TYPE_BIT8}};

TEST_F(Tone, TransparentColourSkippedInEveryFormat) {
  for (const Shape &s : kShapes)
    for (int32_t copy : {0, 1}) {
      SCOPED_TRACE(std::string(s.what) + (copy ? " copy" : " in place"));
      PELIMAGE *image = twoColours(s.type);
      ASSERT_EQ(image->imageType, s.type);
      pelSetTranspClr(image, 0x000000F8);
      const std::vector<Rgb> before = coloursOf(image);
      PELIMAGE *out = pelInvert(image, copy);
      ASSERT_NE(out, nullptr);
      const std::vector<Rgb> after = coloursOf(out);
      EXPECT_EQ(after[0], (Rgb{248, 0, 0}));
      const Rgb c = before[1];
      const Rgb inv{static_cast<uint8_t>(255 - c.r), static_cast<uint8_t>(255 - c.g),
                    static_cast<uint8_t>(255 - c.b)};
      // 16-bit pixels keep only the top bits of the inverted channels.
      EXPECT_NE(after[1], before[1]);
      if (s.type == PEL_TYPE_BIT565 || s.type == PEL_TYPE_BIT555) {
        EXPECT_EQ(coloursOf(pelInvert(out, 0))[1], before[1]);
      } else {
        EXPECT_EQ(after[1], inv);
      }
      if (out != image) pelDestroyImage(out);
      pelDestroyImage(image);
    }
}

TEST_F(Tone, CopyLeavesTheArgumentAndKeepsIndicesAndKind) {
  for (const Shape &s : kShapes)
    for (int32_t kind : {PEL_MEM_GLOBAL_FIXED, PEL_MEM_VIRTUAL, PEL_MEM_FILE}) {
      SCOPED_TRACE(testing::Message() << s.what << " kind " << kind);
      PELIMAGE *made = twoColours(s.type);
      PELIMAGE *image = pelCopyImage(made, nullptr, kind);
      pelDestroyImage(made);
      ASSERT_NE(image, nullptr);
      const std::vector<uint8_t> before = everything(*image);
      const std::vector<Rgb> colours = coloursOf(image);
      PELIMAGE *out = pelGrey(image, 0, 1);
      ASSERT_NE(out, nullptr);
      ASSERT_NE(out, image);
      EXPECT_EQ(everything(*image), before);
      EXPECT_EQ(out->core->memKind, kind);
      EXPECT_EQ(out->imageType, image->imageType);
      const Rgb grey = coloursOf(out)[1];
      // 5-6-5 keeps one more bit of green than of red and blue.
      if (s.type != PEL_TYPE_BIT565) {
        EXPECT_TRUE(grey.r == grey.g && grey.g == grey.b);
      }
      EXPECT_NE(grey, colours[1]);
      if (s.type == PEL_TYPE_BIT8) {
        EXPECT_EQ(std::memcmp(out->core->bits, image->core->bits, image->core->bitsSize), 0);
      }
      pelDestroyImage(out);
      pelDestroyImage(image);
    }
}

TEST_F(Tone, RunLengthCopyGetsTheNewPalette) {
  BITMAPINFOHEADER h = pel::test::header(10, 10, 8, BI_RLE8);
  h.biSizeImage = 40;
  h.biClrUsed = 2;
  const std::vector<RGBQUAD> table = {{1, 2, 3, 0}, {250, 251, 252, 0}};
  PELIMAGE *rle = pelCreateImageEx(&h, table.data(), 0);
  ASSERT_NE(rle, nullptr);
  for (uint32_t i = 0; i < rle->core->bitsSize; ++i)
    rle->core->bits[i] = static_cast<uint8_t>(i * 7);
  const std::vector<uint8_t> before = everything(*rle);
  PELIMAGE *out = pelInvert(rle, 1);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(everything(*rle), before);
  EXPECT_EQ(out->imageType, PEL_TYPE_RLE8);
  EXPECT_EQ(coloursOf(out), (std::vector<Rgb>{{252, 253, 254}, {3, 4, 5}}));
  EXPECT_EQ(std::memcmp(out->core->bits, rle->core->bits, rle->core->bitsSize), 0);
  pelDestroyImage(out);
  pelDestroyImage(rle);
}

TEST_F(Tone, FailedCopyReturnsNullAndChangesNothing) {
  PELIMAGE *image = twoColours(PEL_TYPE_BIT24);
  const std::vector<uint8_t> before = everything(*image);
  const int failures = pel::test::sweepAllocationFailures([&] {
    PELIMAGE *out = pelSaturation(image, 90, 0, 0, 1);
    if (!out) {
      EXPECT_EQ(everything(*image), before);
    }
    pelDestroyImage(out);
    return out != nullptr;
  });
  EXPECT_GT(failures, 0);
  // A refused gamma makes no copy at all.
  const long blocks = pel::os::test::liveBlocks();
  pel::os::test::failAllocation(1);
  EXPECT_EQ(pelGammaCorrect(image, 1, 0.0f, 1, 1), nullptr);
  EXPECT_EQ(pelGammaCorrect(image, NAN, 1, 1, 1), nullptr);
  pel::os::test::failAllocation(0);
  EXPECT_EQ(pel::os::test::liveBlocks(), blocks);
  EXPECT_EQ(everything(*image), before);
  pelDestroyImage(image);
}

TEST_F(Tone, StaysInsideTableAndStore) {
  // A colour count above what the header block holds walks only the entries held.
  const std::vector<RGBQUAD> table = {{0, 0, 0, 0}, {9, 9, 9, 0}};
  PELIMAGE *image = pelCreateImage(PEL_TYPE_BIT8, 8, 8, table.data(), 2, 0, 0, 0);
  ASSERT_EQ(image->core->headerSize, 48u);
  const std::vector<uint8_t> bits = bitsOf(*image);
  image->core->header->biClrUsed = 256;
  ASSERT_EQ(pelInvert(image, 0), image);
  EXPECT_EQ(bitsOf(*image), bits);
  EXPECT_EQ(coloursOf(image)[1], (Rgb{246, 246, 246}));
  pelDestroyImage(image);
  // A header that claims more lines and pixels than the store holds.
  for (int32_t type : {PEL_TYPE_BIT24, PEL_TYPE_BIT32, PEL_TYPE_BIT565}) {
    image = pelCreateImage(type, 3, 2, nullptr, 0, 0, 0, 0);
    image->core->header->biHeight = 5000;
    image->core->header->biWidth = 5000;
    EXPECT_EQ(pelInvert(image, 0), image);
    pelDestroyImage(image);
  }
}

TEST_F(Tone, PaletteCopyKeepsEveryByteOfTheBits) {
  // 33 pixels leave unused bits after the last pixel of 1- and 4-bit lines
  // and padding after every kind of line; the copy keeps them all.
  std::mt19937 rng(12);
  const std::function<PELIMAGE *(PELIMAGE *)> ops[] = {
      [](PELIMAGE *i) { return pelGrey(i, -48, 1); },
      [](PELIMAGE *i) { return pelInvert(i, 1); },
      [](PELIMAGE *i) { return pelGammaCorrect(i, 2.2f, 1, 0.5f, 1); },
      [](PELIMAGE *i) { return pelSaturation(i, 40, 10, 20, 1); },
  };
  for (int32_t type : {PEL_TYPE_BIT1, PEL_TYPE_BIT4, PEL_TYPE_GREY4, PEL_TYPE_BIT8, PEL_TYPE_GREY8})
    for (const auto &op : ops) {
      SCOPED_TRACE(testing::Message() << "type " << type);
      PELIMAGE *image = pelCreateImage(type, 33, 4, nullptr, 0, 0, 0, 0);
      ASSERT_NE(image, nullptr);
      for (uint32_t i = 0; i < image->core->bitsSize; ++i)
        image->core->bits[i] = static_cast<uint8_t>(rng());
      const std::vector<uint8_t> bits = bitsOf(*image);
      PELIMAGE *out = op(image);
      ASSERT_NE(out, nullptr);
      EXPECT_EQ(bitsOf(*out), bits);
      EXPECT_EQ(bitsOf(*image), bits);
      pelDestroyImage(out);
      pelDestroyImage(image);
    }
}

// The table entries as exact arithmetic gives them, from the parameters the
// operations fix to single precision; an entry whose exact value lies too
// close to an integer for double arithmetic to decide is not judged (-1).
float single(float v) {
  volatile float stored = v;
  return stored;
}
int exactEntry(long double v) {
  auto clamped = [](long double w) { return w < 0 ? 0 : w > 255 ? 255 : static_cast<int>(w); };
  const long double whole = std::floor(v);
  const int entry = clamped(whole);
  if (v - whole < 1e-9L && clamped(whole - 1) != entry) return -1;
  if (whole + 1 - v < 1e-9L && clamped(whole + 1) != entry) return -1;
  return entry;
}
int exactGamma(int i, float gamma) {
  const long double e = single(1.0f / gamma);
  const long double x = i * static_cast<long double>(0.003921569f);
  return exactEntry(std::pow(x, e) * 255 + 0.5L);
}
int exactContrast(int i, int b, int k) {
  const long double degrees = k * static_cast<long double>(0.44f) + 45;
  const long double s = std::tan(degrees * static_cast<long double>(0.01745328f));
  const long double rise = (s + 1) * b * static_cast<long double>(1.275);
  const long double v = i * s + rise + (1 - s) * 127.5L + 0.5L;
  // Truncation towards zero is the floor here: negative values clamp to 0.
  return v < 0 ? 0 : exactEntry(v);
}

std::vector<int> tablesOf(PELIMAGE *image) {
  std::vector<int> t;
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) {
      const Rgb p = at(image, static_cast<std::size_t>(i));
      t.push_back(c == 0 ? p.r : c == 1 ? p.g : p.b);
    }
  return t;
}

PELIMAGE *identityRamp() {
  std::vector<Rgb> colours;
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i);
    colours.push_back({v, v, v});
  }
  return row24(colours);
}

TEST_F(Tone, GammaAndContrastTablesMatchExactArithmetic) {
  // Excess precision of an x87 unit moved blue 27 of this call from 121 to 122.
  PELIMAGE *image = row24({{27, 27, 27}});
  pelGammaCorrect(image, 18.8111782f, 0.0210923031f, 3.02883768f, 0);
  EXPECT_EQ(at(image, 0).b, 121);
  pelDestroyImage(image);

  int judged = 0;
  for (int step = 0; step < 240; ++step) {
    const float g[3] = {0.02f + step * 0.0837f, std::exp2(step / 24.0f - 5), 1 + step / 240.0f};
    image = identityRamp();
    ASSERT_EQ(pelGammaCorrect(image, g[0], g[1], g[2], 0), image);
    const std::vector<int> got = tablesOf(image);
    pelDestroyImage(image);
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 256; ++i) {
        const int want = exactGamma(i, g[c]);
        if (want < 0) continue;
        ++judged;
        ASSERT_EQ(got[static_cast<std::size_t>(c * 256 + i)], want)
            << "gamma " << g[c] << " entry " << i;
      }
  }
  for (int k = -100; k <= 100; ++k) {
    const int32_t bright[3] = {0, -37, 81}, contr[3] = {k, k, k};
    image = identityRamp();
    ASSERT_EQ(pelContrast(image, bright, contr, 0), image);
    const std::vector<int> got = tablesOf(image);
    pelDestroyImage(image);
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 256; ++i) {
        const int want = exactContrast(i, bright[c], k);
        if (want < 0) continue;
        ++judged;
        ASSERT_EQ(got[static_cast<std::size_t>(c * 256 + i)], want)
            << "contrast " << k << " brightness " << bright[c] << " entry " << i;
      }
  }
  EXPECT_GT(judged, 300000);
}

TEST_F(Tone, NullImages) {
  EXPECT_EQ(pelGrey(nullptr, 0, 0), nullptr);
  EXPECT_EQ(pelInvert(nullptr, 0), nullptr);
  EXPECT_EQ(pelSaturation(nullptr, 0, 0, 0, 0), nullptr);
}

} // namespace
