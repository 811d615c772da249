// SPDX-License-Identifier: MIT
// Scan-line transfers: worked lines, every run of random lines against a
// pixel-by-pixel reading, refusals and exhausted memory.
#include "pixel_support.hpp"

namespace {

using namespace pel::test;

constexpr uint8_t kCanary = 0xA5;

// A one-line image of the given bit count holding the given bytes.
Image lineImage(uint16_t bits, int32_t w, std::vector<uint8_t> bytes) {
  const std::vector<RGBQUAD> colours = distinctColours();
  Image image(pelCreateImage(typeOfBits(bits), w, 1, colours.data(), 256, 0, 0, 0));
  std::copy(bytes.begin(), bytes.end(), image->core->bits);
  return image;
}

std::vector<uint8_t> getLine(const PELIMAGE *image, uint32_t x0, uint32_t x1, std::size_t bytes,
                             bool reversed = false) {
  std::vector<uint8_t> out(bytes + 4, kCanary);
  const int32_t ok = reversed ? pelGetRevHorLine(out.data(), image, x0, x1, 0)
                              : pelGetHorLine(out.data(), image, x0, x1, 0);
  EXPECT_EQ(ok, 1);
  for (std::size_t i = bytes; i < out.size(); ++i) EXPECT_EQ(out[i], kCanary) << "wrote byte " << i;
  out.resize(bytes);
  return out;
}

TEST(ScanLines, WorkedLines) {
  using Bytes = std::vector<uint8_t>;
  Image bits = lineImage(1, 16, {0x0F, 0xF0});
  EXPECT_EQ(getLine(bits.get(), 4, 12, 2), (Bytes{0xFF, 0x00}));
  EXPECT_EQ(getLine(bits.get(), 0, 8, 1), (Bytes{0x0F}));
  EXPECT_EQ(getLine(bits.get(), 0, 8, 1, true), (Bytes{0xF0}));

  Image nibbles = lineImage(4, 4, {0x12, 0x34});
  EXPECT_EQ(getLine(nibbles.get(), 1, 4, 2), (Bytes{0x23, 0x40}));
  const Bytes reversed = getLine(nibbles.get(), 1, 4, 2, true);
  EXPECT_EQ(reversed[0], 0x43);
  EXPECT_EQ(reversed[1] >> 4, 2);

  Image ones = lineImage(1, 8, {0xFF});
  const uint8_t clear = 0x00;
  EXPECT_EQ(pelSetHorLine(ones.get(), &clear, 3, 5, 0), 1);
  EXPECT_EQ(ones->core->bits[0], 0xE7);

  const uint8_t nine = 0x90;
  EXPECT_EQ(pelSetHorLine(nibbles.get(), &nine, 1, 2, 0), 1);
  EXPECT_EQ(Bytes(nibbles->core->bits, nibbles->core->bits + 2), (Bytes{0x19, 0x34}));

  Image rgb = lineImage(24, 2, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(getLine(rgb.get(), 0, 2, 6, true), (Bytes{4, 5, 6, 1, 2, 3}));
}

// Bytes the readers write and the writer reads for a run.
std::size_t bytesOut(uint32_t bits, uint32_t x0, uint32_t x1) {
  if (bits == 1) return ((x1 + 7) >> 3) - (x0 >> 3);
  if (bits == 4) return ((x1 + 1) >> 1) - (x0 >> 1);
  return (x1 - x0) * bits / 8;
}
std::size_t bytesIn(uint32_t bits, uint32_t x0, uint32_t x1) {
  return (std::size_t{x1 - x0} * bits + 7) / 8;
}

// Every run of a few random lines of each bit count, against the store read
// pixel by pixel: what the readers give, how far they write, and that the
// writer changes exactly the run's pixels.
TEST(ScanLines, EveryRunMatchesThePixels) {
  std::mt19937 rng(7);
  for (const uint16_t bits : kBitCounts) {
    const uint32_t w = 29;
    Image image = randomImage(typeOfBits(bits), static_cast<int32_t>(w), 3, rng);
    for (uint32_t x0 = 0; x0 < w; ++x0)
      for (uint32_t x1 = x0 + 1; x1 <= w; ++x1) {
        SCOPED_TRACE(testing::Message() << bits << " bits, run " << x0 << ".." << x1);
        const uint32_t n = x1 - x0;
        const std::size_t out = bytesOut(bits, x0, x1);
        std::vector<uint8_t> forward(out + 4, kCanary), backward(out + 4, kCanary);
        ASSERT_EQ(pelGetHorLine(forward.data(), image.get(), x0, x1, 1), 1);
        ASSERT_EQ(pelGetRevHorLine(backward.data(), image.get(), x0, x1, 1), 1);
        for (uint32_t i = 0; i < n; ++i) {
          ASSERT_EQ(packedPixel(forward.data(), bits, i), pixelAt(*image, x0 + i, 1));
          ASSERT_EQ(packedPixel(backward.data(), bits, i), pixelAt(*image, x1 - 1 - i, 1));
        }
        // After the run the reader leaves the line's following pixels, then
        // zero bits; the reversed reader leaves zero bits.
        if (bits < 8)
          for (uint32_t i = n; i < out * 8 / bits; ++i) {
            // Pixels (or padding bits) of the copied bytes, then zeros.
            const bool copied = (x0 * bits % 8 + i * bits) / 8 < out;
            ASSERT_EQ(packedPixel(forward.data(), bits, i), copied ? pixelAt(*image, x0 + i, 1) : 0)
                << i;
            ASSERT_EQ(packedPixel(backward.data(), bits, i), 0u) << i;
          }
        for (std::size_t i = out; i < forward.size(); ++i) {
          ASSERT_EQ(forward[i], kCanary);
          ASSERT_EQ(backward[i], kCanary);
        }

        // Writing: a buffer of exactly the bytes read, so that any read past
        // it shows under the sanitizers.
        std::vector<uint8_t> in(bytesIn(bits, x0, x1));
        for (uint8_t &b : in) b = static_cast<uint8_t>(rng());
        const std::vector<uint8_t> before = storeOf(*image);
        std::vector<uint32_t> expected;
        for (uint32_t y = 0; y < 3; ++y)
          for (uint32_t x = 0; x < w; ++x)
            expected.push_back(y == 1 && x >= x0 && x < x1 ? packedPixel(in.data(), bits, x - x0)
                                                           : pixelAt(*image, x, y));
        ASSERT_EQ(pelSetHorLine(image.get(), in.data(), x0, x1, 1), 1);
        for (uint32_t y = 0, k = 0; y < 3; ++y)
          for (uint32_t x = 0; x < w; ++x, ++k) ASSERT_EQ(pixelAt(*image, x, y), expected[k]);
        // Padding bytes at the end of every line are never touched.
        const std::size_t used = (std::size_t{w} * bits + 7) / 8;
        const std::vector<uint8_t> after = storeOf(*image);
        for (std::size_t i = 0; i < after.size(); ++i)
          if (i % static_cast<std::size_t>(image->lineBytes) >= used) {
            ASSERT_EQ(after[i], before[i]);
          }
      }
  }
}

TEST(ScanLines, ReversingAReversedRunRestoresIt) {
  std::mt19937 rng(11);
  for (const uint16_t bits : kBitCounts) {
    Image image = randomImage(typeOfBits(bits), 45, 1, rng);
    for (uint32_t x0 = 0; x0 < 12; ++x0) {
      const uint32_t x1 = 45 - x0 / 2, n = x1 - x0;
      std::vector<uint8_t> original(bytesOut(bits, x0, x1) + 1), reversed(original.size());
      ASSERT_EQ(pelGetHorLine(original.data(), image.get(), x0, x1, 0), 1);
      ASSERT_EQ(pelGetRevHorLine(reversed.data(), image.get(), x0, x1, 0), 1);
      // Store the reversed run back and read it reversed again.
      Image copy(pelCopyImage(image.get(), nullptr, 0));
      ASSERT_EQ(pelSetHorLine(copy.get(), reversed.data(), x0, x1, 0), 1);
      std::vector<uint8_t> again(original.size());
      ASSERT_EQ(pelGetRevHorLine(again.data(), copy.get(), x0, x1, 0), 1);
      for (uint32_t i = 0; i < n; ++i)
        ASSERT_EQ(packedPixel(again.data(), bits, i), packedPixel(original.data(), bits, i));
    }
  }
}

class ScanLineRefusals : public LeakCheck {};

TEST_F(ScanLineRefusals, BadBitCountsRunLengthAndRunsOutsideTheImage) {
  std::mt19937 rng(3);
  Image image = randomImage(PEL_TYPE_BIT8, 8, 4, rng);
  const std::vector<uint8_t> before = storeOf(*image);
  std::vector<uint8_t> buffer(64, 0);
  struct Case {
    uint32_t x0, x1, y;
  };
  for (const Case c : {Case{0, 9, 0}, Case{4, 4, 0}, Case{5, 3, 0}, Case{0, 8, 4}}) {
    EXPECT_EQ(pelGetHorLine(buffer.data(), image.get(), c.x0, c.x1, c.y), 0);
    EXPECT_EQ(pelGetRevHorLine(buffer.data(), image.get(), c.x0, c.x1, c.y), 0);
    EXPECT_EQ(pelSetHorLine(image.get(), buffer.data(), c.x0, c.x1, c.y), 0);
  }
  EXPECT_EQ(pelGetHorLine(buffer.data(), nullptr, 0, 1, 0), 0);
  EXPECT_EQ(pelSetHorLine(image.get(), nullptr, 0, 1, 0), 0);

  for (const uint16_t bad : {0, 2, 33, 48}) {
    image->core->header->biBitCount = bad;
    EXPECT_EQ(pelGetHorLine(buffer.data(), image.get(), 0, 1, 0), 0) << bad;
    EXPECT_EQ(pelGetRevHorLine(buffer.data(), image.get(), 0, 1, 0), 0) << bad;
    EXPECT_EQ(pelSetHorLine(image.get(), buffer.data(), 0, 1, 0), 0) << bad;
  }
  image->core->header->biBitCount = 8;
  // A run-length stream has no lines to address.
  image->core->header->biCompression = BI_RLE8;
  EXPECT_EQ(pelGetHorLine(buffer.data(), image.get(), 0, 8, 0), 0);
  EXPECT_EQ(pelSetHorLine(image.get(), buffer.data(), 0, 8, 0), 0);
  EXPECT_EQ(storeOf(*image), before);
}

TEST_F(ScanLineRefusals, PackedTransfersFailWholeWithoutMemory) {
  std::mt19937 rng(5);
  for (const uint16_t bits : {uint16_t{1}, uint16_t{4}}) {
    Image image = randomImage(typeOfBits(bits), 30, 2, rng);
    const std::vector<uint8_t> before = storeOf(*image);
    std::vector<uint8_t> buffer(16, 0xFF);
    std::vector<uint8_t> out(16, kCanary);
    pel::os::test::failAllocation(1);
    EXPECT_EQ(pelSetHorLine(image.get(), buffer.data(), 3, 20, 0), 0);
    pel::os::test::failAllocation(1);
    EXPECT_EQ(pelGetRevHorLine(out.data(), image.get(), 3, 20, 0), 0);
    pel::os::test::failAllocation(0);
    EXPECT_EQ(storeOf(*image), before);
    EXPECT_EQ(out, std::vector<uint8_t>(16, kCanary));
  }
}

} // namespace
