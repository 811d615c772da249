// SPDX-License-Identifier: MIT
// Single-pixel access, colour translation and the interpolated reads.
#include "pixel_support.hpp"

#include <array>

namespace {

using namespace pel::test;

constexpr int32_t kAllTypes[] = {PEL_TYPE_BIT1,   PEL_TYPE_BIT4,  PEL_TYPE_GREY4,
                                 PEL_TYPE_BIT8,   PEL_TYPE_GREY8, PEL_TYPE_BIT555,
                                 PEL_TYPE_BIT565, PEL_TYPE_BIT24, PEL_TYPE_BIT32};

Image make(int32_t type, int32_t w, int32_t h) {
  const std::vector<RGBQUAD> colours = distinctColours();
  return Image(pelCreateImage(type, w, h, colours.data(), 256, 0, 0, 0));
}

std::vector<uint8_t> bytesAt(const PELIMAGE &image, std::size_t offset, std::size_t n) {
  return {image.core->bits + offset, image.core->bits + offset + n};
}

const RGBQUAD *tableOf(const PELIMAGE &image) {
  return reinterpret_cast<const RGBQUAD *>(image.core->header + 1);
}

// The colour a pixel value stands for, from the rules, per type.
uint32_t modelColour(const PELIMAGE &image, uint32_t v) {
  auto pack = [](uint32_t r, uint32_t g, uint32_t b) { return r | g << 8 | b << 16; };
  switch (image.imageType) {
  case PEL_TYPE_BIT555: return pack((v >> 10 & 31) * 8, (v >> 5 & 31) * 8, (v & 31) * 8);
  case PEL_TYPE_BIT565: return pack((v >> 11 & 31) * 8, (v >> 5 & 63) * 4, (v & 31) * 8);
  case PEL_TYPE_BIT24:
  case PEL_TYPE_BIT32: return pack(v >> 16 & 255, v >> 8 & 255, v & 255);
  default: {
    const RGBQUAD &e = tableOf(image)[v < image.core->header->biClrUsed ? v : 0];
    return pack(e.rgbRed, e.rgbGreen, e.rgbBlue);
  }
  }
}

TEST(Pixels, PlacementInTheStore) {
  Image bilevel = make(PEL_TYPE_BIT1, 8, 2);
  pelSetPixel(bilevel.get(), 1, 0, 0);
  EXPECT_EQ(bilevel->core->bits[4], 0x80); // the top line is stored second
  pelSetPixel(bilevel.get(), 1, 7, 1);
  EXPECT_EQ(bilevel->core->bits[0], 0x01);
  pelSetPixel(bilevel.get(), 0, 0, 0);
  EXPECT_EQ(bilevel->core->bits[4], 0x00);

  Image nibbles = make(PEL_TYPE_BIT4, 4, 1);
  nibbles->core->bits[1] = 0xAB;
  pelSetPixel(nibbles.get(), 0x15, 2, 0); // only the low four bits are stored
  EXPECT_EQ(nibbles->core->bits[1], 0x5B);
  pelSetPixel(nibbles.get(), 7, 3, 0);
  EXPECT_EQ(nibbles->core->bits[1], 0x57);
  EXPECT_EQ(pelGetPixel(nibbles.get(), 2, 0), 5u);
  EXPECT_EQ(pelGetPixel(nibbles.get(), 3, 0), 7u);

  Image rgb = make(PEL_TYPE_BIT24, 2, 1);
  EXPECT_EQ(pelSetRGBpack(rgb.get(), 0x00332211, 1, 0), 0x00332211u);
  EXPECT_EQ(bytesAt(*rgb, 3, 3), (std::vector<uint8_t>{0x33, 0x22, 0x11}));
  EXPECT_EQ(pelGetPixel(rgb.get(), 1, 0), 0x00112233u);
  EXPECT_EQ(pelGetRGBpack(rgb.get(), 1, 0), 0x00332211u);
  // True colour hands back the argument as passed.
  EXPECT_EQ(pelSetRGBpack(rgb.get(), 0xAB332211, 0, 0), 0xAB332211u);
}

TEST(Pixels, SixteenBitPackingAndExpansion) {
  Image five55 = make(PEL_TYPE_BIT555, 1, 1), six5 = make(PEL_TYPE_BIT565, 1, 1);
  EXPECT_EQ(pelSetRGBpack(five55.get(), 0xFFFFFF, 0, 0), 0x00F8F8F8u);
  EXPECT_EQ(pelGetPixel(five55.get(), 0, 0), 0x7FFFu);
  EXPECT_EQ(pelSetRGBpack(six5.get(), 0xFFFFFF, 0, 0), 0x00F8FCF8u);
  EXPECT_EQ(pelGetPixel(six5.get(), 0, 0), 0xFFFFu);
  // Bit 15 of a 5-5-5 word is ignored on reading.
  pelSetPixel(five55.get(), 0x8000 | 0x7C00, 0, 0);
  EXPECT_EQ(pelGetRGBpack(five55.get(), 0, 0), 0x0000F8u);
}

TEST(Pixels, SetRGBAndSetRGBpackDifferOnGreyAndTheFourthByte) {
  Image quad = make(PEL_TYPE_BIT32, 1, 1);
  const uint8_t start[] = {1, 2, 3, 4};
  std::memcpy(quad->core->bits, start, 4);
  const uint8_t colour[] = {9, 8, 7};
  pelSetRGB(quad.get(), colour, 0, 0);
  EXPECT_EQ(bytesAt(*quad, 0, 4), (std::vector<uint8_t>{7, 8, 9, 4}));
  pelSetRGBpack(quad.get(), 0x00070809, 0, 0);
  EXPECT_EQ(bytesAt(*quad, 0, 4), (std::vector<uint8_t>{7, 8, 9, 0}));

  struct Case {
    int32_t type;
    uint8_t rgb[3];
    uint32_t stored;
  };
  for (const Case c :
       {Case{PEL_TYPE_GREY8, {255, 255, 255}, 255}, Case{PEL_TYPE_GREY8, {255, 0, 0}, 76},
        Case{PEL_TYPE_GREY4, {255, 255, 255}, 15}, Case{PEL_TYPE_GREY4, {255, 0, 0}, 4}}) {
    Image grey = make(c.type, 2, 1);
    ASSERT_EQ(grey->imageType, c.type);
    pelSetRGB(grey.get(), c.rgb, 1, 0);
    EXPECT_EQ(pelGetPixel(grey.get(), 1, 0), c.stored);
    // The packed form searches the grey palette instead: here the same entry.
    const uint32_t rgb = c.rgb[0] | c.rgb[1] << 8 | c.rgb[2] << 16;
    pelSetRGBpack(grey.get(), rgb, 0, 0);
    EXPECT_EQ(pelGetPixel(grey.get(), 0, 0),
              pelGetNearestColorIndex(tableOf(*grey), grey->core->header->biClrUsed, rgb));
  }
}

// Every type: colour writes store what the translation says and read back
// as the translated colour; pixel values read back as written.
TEST(Pixels, EveryTypeRoundTripsThroughTheTranslations) {
  std::mt19937 rng(31);
  for (const int32_t type : kAllTypes) {
    Image image = randomImage(type, 11, 3, rng);
    ASSERT_TRUE(image) << type;
    const uint32_t bits = image->core->header->biBitCount;
    for (int i = 0; i < 200; ++i) {
      const uint32_t x = rng() % 11, y = rng() % 3, colour = rng() & 0xFFFFFF;
      const uint32_t value = pelRGBColor2DIBData(image.get(), colour);
      const uint32_t back = pelSetRGBpack(image.get(), colour, x, y);
      ASSERT_EQ(pelGetPixel(image.get(), x, y), value) << type;
      ASSERT_EQ(back, bits >= 24 ? colour : modelColour(*image, value)) << type;
      ASSERT_EQ(pelGetRGBpack(image.get(), x, y), modelColour(*image, value)) << type;
      ASSERT_EQ(pelDIBData2RGBColor(image.get(), value), modelColour(*image, value)) << type;
      uint8_t out[3];
      pelGetRGB(image.get(), out, x, y);
      ASSERT_EQ(out[0] | out[1] << 8 | out[2] << 16, static_cast<int>(modelColour(*image, value)));

      const uint32_t raw =
          static_cast<uint32_t>(rng()) & (bits == 32 ? 0xFFFFFFFF : (1u << bits) - 1);
      pelSetPixel(image.get(), raw | (bits < 32 ? 1u << bits : 0), x, y);
      ASSERT_EQ(pelGetPixel(image.get(), x, y), raw) << type;
      ASSERT_EQ(pixelAt(*image, x, y), raw);
    }
  }
}

TEST(Pixels, IndicesPastTheTableReadEntryZero) {
  Image indexed = make(PEL_TYPE_BIT8, 2, 1);
  indexed->core->header->biClrUsed = 16;
  pelSetPixel(indexed.get(), 200, 0, 0);
  const RGBQUAD e = tableOf(*indexed)[0];
  const uint32_t entry0 = e.rgbRed | e.rgbGreen << 8 | e.rgbBlue << 16;
  EXPECT_EQ(pelDIBData2RGBColor(indexed.get(), 200), entry0);
  EXPECT_EQ(pelGetRGBpack(indexed.get(), 0, 0), entry0);
}

TEST(Pixels, RunLengthAndUnknownTypesAreRefused) {
  BITMAPINFOHEADER h = header(100, 100, 8, BI_RLE8);
  h.biSizeImage = 500;
  const std::vector<RGBQUAD> colours = distinctColours();
  Image rle(pelCreateImageEx(&h, colours.data(), 0));
  ASSERT_TRUE(rle);
  std::memset(rle->core->bits, 0x11, 500);
  const std::vector<uint8_t> before = storeOf(*rle);
  uint8_t out[3] = {1, 2, 3};
  const uint8_t in[3] = {9, 9, 9};
  EXPECT_EQ(pelGetPixel(rle.get(), 99, 0), 0u);
  pelSetPixel(rle.get(), 5, 99, 0);
  EXPECT_EQ(pelGetRGBpack(rle.get(), 0, 99), 0u);
  EXPECT_EQ(pelSetRGBpack(rle.get(), 0x123456, 0, 99), 0u);
  pelSetRGB(rle.get(), in, 0, 0);
  pelGetRGB(rle.get(), out, 0, 0);
  pelGetMixRGB(rle.get(), out, 0, 0, 512, 512);
  EXPECT_EQ(pelGetMixRGBpack(rle.get(), 0, 0, 512, 512), 0u);
  EXPECT_EQ(pelGetMixPixel(rle.get(), 0, 0, 512, 512), 0u);
  EXPECT_EQ(out[0] + out[1] * 10 + out[2] * 100, 321);
  EXPECT_EQ(pelRGBColor2DIBData(rle.get(), 0), 0xFFFFFFFFu);
  EXPECT_EQ(pelDIBData2RGBColor(rle.get(), 0), 0xFFFFFFFFu);
  EXPECT_EQ(storeOf(*rle), before);

  Image odd = make(PEL_TYPE_BIT24, 1, 1);
  odd->imageType = 12;
  EXPECT_EQ(pelRGBColor2DIBData(odd.get(), 0), 0xFFFFFFFFu);
  odd->core->header->biBitCount = 2;
  EXPECT_EQ(pelGetPixel(odd.get(), 0, 0), 0u);
  EXPECT_EQ(pelGetPixel(nullptr, 0, 0), 0u);
  EXPECT_EQ(pelGetPixel(odd.get(), 1, 0), 0u);
}

// ---- Interpolated reads -----------------------------------------------------

// The blend written out from the rules for one sample.
uint32_t modelMix(uint32_t a, uint32_t b, uint32_t c, uint32_t d, bool right, bool below,
                  uint32_t fx, uint32_t fy) {
  if (!below) c = a;
  const uint32_t top = right ? a * 1024 + (b - a) * fx : a * 1024;
  const uint32_t bottom = right && below ? c * 1024 + (d - c) * fx : c * 1024;
  return (top * 1024 + (bottom - top) * fy) >> 20;
}

TEST(MixReads, WorkedValues) {
  Image grey = make(PEL_TYPE_GREY8, 3, 2);
  pelSetPixel(grey.get(), 0, 0, 0);
  pelSetPixel(grey.get(), 255, 1, 0);
  pelSetPixel(grey.get(), 0, 0, 1);
  pelSetPixel(grey.get(), 255, 1, 1);
  pelSetPixel(grey.get(), 77, 2, 1);
  EXPECT_EQ(pelGetMixPixel(grey.get(), 0, 0, 512, 0), 127u);
  EXPECT_EQ(pelGetMixPixel(grey.get(), 0, 1, 512, 512), 63u); // last line
  EXPECT_EQ(pelGetMixPixel(grey.get(), 2, 1, 1000, 0), 77u);  // last column
  EXPECT_EQ(pelGetMixPixel(grey.get(), 1, 0, 0, 0), 255u);

  Image rgb = make(PEL_TYPE_BIT24, 2, 1);
  pelSetRGBpack(rgb.get(), 0x0000FF, 0, 0);
  pelSetRGBpack(rgb.get(), 0xFF0000, 1, 0);
  EXPECT_EQ(pelGetMixRGBpack(rgb.get(), 0, 0, 512, 0), 0x007F007Fu);
  uint8_t out[3];
  pelGetMixRGB(rgb.get(), out, 0, 0, 512, 0);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{127, 0, 127}));

  Image bilevel = make(PEL_TYPE_BIT1, 2, 1);
  pelSetPixel(bilevel.get(), 1, 1, 0);
  EXPECT_EQ(pelGetMixPixel(bilevel.get(), 0, 0, 512, 0), 0u);
}

TEST(MixReads, EveryPositionMatchesTheModel) {
  std::mt19937 rng(41);
  for (const int32_t type : {PEL_TYPE_BIT4, PEL_TYPE_BIT8, PEL_TYPE_BIT565, PEL_TYPE_BIT32}) {
    Image image = randomImage(type, 5, 4, rng);
    for (uint32_t y = 0; y < 4; ++y)
      for (uint32_t x = 0; x < 5; ++x)
        for (const uint32_t fx : {0u, 1u, 300u, 1023u, 1024u})
          for (const uint32_t fy : {0u, 511u, 1024u}) {
            const bool right = x + 1 < 5, below = y + 1 < 4;
            auto at = [&](uint32_t px, uint32_t py) {
              return px < 5 && py < 4 ? std::array<uint32_t, 2>{pelGetPixel(image.get(), px, py),
                                                                pelGetRGBpack(image.get(), px, py)}
                                      : std::array<uint32_t, 2>{0, 0};
            };
            const auto a = at(x, y), b = at(x + 1, y), c = at(x, y + 1), d = at(x + 1, y + 1);
            ASSERT_EQ(pelGetMixPixel(image.get(), x, y, fx, fy),
                      modelMix(a[0], b[0], c[0], d[0], right, below, fx, fy));
            uint32_t expected = 0;
            for (int k = 0; k < 3; ++k) {
              auto ch = [k](uint32_t v) { return (v >> (8 * k)) & 0xFF; };
              expected |=
                  (modelMix(ch(a[1]), ch(b[1]), ch(c[1]), ch(d[1]), right, below, fx, fy) & 0xFF)
                  << (8 * k);
            }
            ASSERT_EQ(pelGetMixRGBpack(image.get(), x, y, fx, fy), expected) << type;
          }
  }
}

} // namespace
