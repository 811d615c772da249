// SPDX-License-Identifier: MIT
// Every vector kernel against the portable routine it stands in for: each
// operation runs on random images of awkward sizes once with the level
// capped to the scalar code and once at every level the processor offers,
// and the results must agree byte for byte (header, table and every stored
// byte of the bits, padding included).
#include "geometry_support.hpp"

#include "core/simd.hpp"
#include "pixel/detail.hpp"

#include <cstring>
#include <functional>
#include <random>
#include <string>

namespace {

using namespace pel::test;
using pel::detail::SimdLevel;

struct Operation {
  const char *name;
  std::function<PELIMAGE *(PELIMAGE *)> run;
};

const int32_t kOne[3] = {1, 1, 1};
const int32_t kBright[3] = {-40, 7, 90};
const int32_t kContrast[3] = {35, -60, 100};
const int32_t kOffsets[3] = {-30, 12, 255};
const int32_t kEvenOffsets[3] = {37, 37, 37};

// Hue, saturation and lightness with a transparent colour that every third
// pixel of the first line has.
PELIMAGE *hslWithKey(PELIMAGE *image) {
  const std::size_t bpp = image->imageType == PEL_TYPE_BIT24   ? 3
                          : image->imageType == PEL_TYPE_BIT32 ? 4
                                                               : 0;
  uint8_t *p = image->core->bits;
  if (bpp)
    for (std::size_t x = 3; x < static_cast<std::size_t>(image->core->header->biWidth); x += 3)
      std::memcpy(p + x * bpp, p, 3);
  pelSetTranspClr(image, uint32_t{p[2]} | uint32_t{p[1]} << 8 | uint32_t{p[0]} << 16);
  return pelSaturation(image, -45, 30, 60, 1);
}

// A random table whose every fourth entry repeats an earlier one, so that
// the nearest-colour searches meet exact ties.
std::vector<RGBQUAD> tiedTable(uint32_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<RGBQUAD> table(count);
  for (uint32_t i = 0; i < count; ++i) {
    table[i] = {static_cast<BYTE>(rng()), static_cast<BYTE>(rng()), static_cast<BYTE>(rng()), 0};
    if (i % 4 == 3) table[i] = table[rng() % i];
  }
  return table;
}

const std::vector<Operation> &operations() {
  static const std::vector<Operation> table = {
      {"rotate 30", [](PELIMAGE *i) { return pelRotateAngleEx(i, 0.5235988f, 0x00FFFFFF); }},
      {"rotate -17.5", [](PELIMAGE *i) { return pelRotateAngleEx(i, -0.3054326f, 0x00336699); }},
      {"rotate 200", [](PELIMAGE *i) { return pelRotateAngleEx(i, 3.4906585f, 0); }},
      {"scale down",
       [](PELIMAGE *i) {
         return pelScaleEx(i, i->core->header->biWidth / 3 + 1, i->core->header->biHeight / 4 + 1);
       }},
      {"scale up",
       [](PELIMAGE *i) {
         return pelScaleEx(i, i->core->header->biWidth * 17 / 7 + 1,
                           i->core->header->biHeight * 5 / 3 + 1);
       }},
      {"scale far down",
       [](PELIMAGE *i) {
         return pelScaleEx(i, i->core->header->biWidth / 37 + 1, i->core->header->biHeight / 5 + 1);
       }},
      {"scale up slightly",
       [](PELIMAGE *i) {
         return pelScaleEx(i, i->core->header->biWidth * 9 / 8 + 1, i->core->header->biHeight + 2);
       }},
      {"scale mixed",
       [](PELIMAGE *i) {
         return pelScaleEx(i, i->core->header->biWidth * 2 + 3, i->core->header->biHeight / 2 + 1);
       }},
      {"turn clockwise", [](PELIMAGE *i) { return pelRotationEx(i, 0); }},
      {"turn back", [](PELIMAGE *i) { return pelRotationEx(i, 1); }},
      {"mirror 0", [](PELIMAGE *i) { return pelMirror(i, 0); }},
      {"mirror 1", [](PELIMAGE *i) { return pelMirror(i, 1); }},
      {"mirror 2", [](PELIMAGE *i) { return pelMirror(i, 2); }},
      {"border", [](PELIMAGE *i) { return pelFixBorder(i, 5, 3, 17, 1, 0x00FF8040); }},
      {"cut", [](PELIMAGE *i) { return pelFixBorder(i, -3, 2, -1, -1, 0x00102030); }},
      {"copy rect",
       [](PELIMAGE *i) {
         const int32_t rect[4] = {3, 1, i->core->header->biWidth - 2, i->core->header->biHeight};
         return pelCopyImage(i, rect, PEL_MEM_AUTO);
       }},
      {"gamma", [](PELIMAGE *i) { return pelGammaCorrect(i, 0.45f, 1.7f, 2.2f, 1); }},
      {"contrast", [](PELIMAGE *i) { return pelContrast(i, kBright, kContrast, 1); }},
      {"contrast flat", [](PELIMAGE *i) { return pelContrast(i, kOne, kOne, 1); }},
      {"gamma even", [](PELIMAGE *i) { return pelGammaCorrect(i, 2.2f, 2.2f, 2.2f, 1); }},
      {"luminance even", [](PELIMAGE *i) { return pelLuminance(i, kEvenOffsets, 1); }},
      {"luminance", [](PELIMAGE *i) { return pelLuminance(i, kOffsets, 1); }},
      {"hsl", [](PELIMAGE *i) { return pelSaturation(i, 75, -20, 40, 1); }},
      {"hsl grey out", [](PELIMAGE *i) { return pelSaturation(i, -300, 90, -100, 1); }},
      {"hsl transparent", hslWithKey},
      {"grey", [](PELIMAGE *i) { return pelGrey(i, 9, 1); }},
      {"invert", [](PELIMAGE *i) { return pelInvert(i, 1); }},
      {"to 1", [](PELIMAGE *i) { return pelCvtoBit1(i); }},
      {"to 4", [](PELIMAGE *i) { return pelCvtoBit4(i, nullptr, 0); }},
      {"to 8", [](PELIMAGE *i) { return pelCvtoBit8(i, nullptr, 0); }},
      {"to 4 own table", [](PELIMAGE *i) { return pelCvtoBit4(i, tiedTable(16, 4).data(), 16); }},
      {"to 8 own table", [](PELIMAGE *i) { return pelCvtoBit8(i, tiedTable(203, 8).data(), 203); }},
      {"to 555", [](PELIMAGE *i) { return pelCvtoBit555(i); }},
      {"to 565", [](PELIMAGE *i) { return pelCvtoBit565(i); }},
      {"to 24", [](PELIMAGE *i) { return pelCvtoBit24(i); }},
      {"to 32", [](PELIMAGE *i) { return pelCvtoBit32(i); }},
      {"to grey4", [](PELIMAGE *i) { return pelCvtoBit4Grey(i); }},
      {"to grey8", [](PELIMAGE *i) { return pelCvtoBit8Grey(i); }},
  };
  return table;
}

struct Size {
  int32_t w, h;
};
// 31 and 64 wide: one short of the widest vector step, and whole steps only.
constexpr Size kSizes[] = {{1, 1},   {3, 7},    {31, 3},  {37, 23}, {64, 2},
                           {64, 33}, {131, 67}, {250, 9}, {1029, 5}};

// Header, table and bits of an image (null gives an empty record).
std::vector<uint8_t> bytesOf(const PELIMAGE *image) {
  if (!image) return {};
  const uint8_t *head = reinterpret_cast<const uint8_t *>(image->core->header);
  std::vector<uint8_t> out(head, head + image->core->headerSize);
  out.insert(out.end(), image->core->bits, image->core->bits + image->core->bitsSize);
  return out;
}

std::vector<SimdLevel> levelsToTry() {
  std::vector<SimdLevel> levels;
  for (int l = 1; l <= static_cast<int>(pel::detail::detectedSimdLevel()); ++l)
    levels.push_back(static_cast<SimdLevel>(l));
  return levels;
}

class KernelLevels : public LeakCheck {
protected:
  void TearDown() override {
    pel::detail::capSimdLevel(SimdLevel::Avx2);
    pel::detail::setStreamingBytes(pel::detail::kDefaultStreamingBytes);
    LeakCheck::TearDown();
  }
};

TEST_F(KernelLevels, EveryLevelGivesTheScalarBytes) {
  const auto levels = levelsToTry();
  if (levels.empty()) GTEST_SKIP() << "no vector level on this processor";
  uint32_t seed = 1;
  for (const Operation &op : operations()) {
    for (int32_t type : kCreatableTypes) {
      for (const Size &size : kSizes) {
        ++seed;
        const Image source = randomPicture(type, size.w, size.h, seed);
        ASSERT_TRUE(source);
        pel::detail::capSimdLevel(SimdLevel::Scalar);
        const Image reference(op.run(source.get()));
        const auto expected = bytesOf(reference.get());
        for (SimdLevel level : levels) {
          pel::detail::capSimdLevel(level);
          const Image result(op.run(source.get()));
          EXPECT_TRUE(bytesOf(result.get()) == expected)
              << op.name << ", type " << type << ", " << size.w << " x " << size.h << ", level "
              << pel::detail::simdLevelName(level);
        }
      }
    }
  }
}

// The colour map of tables of every size, ties and more than 256 entries
// (whose indices keep their low byte) included.
TEST_F(KernelLevels, ColourMapsAtEveryLevel) {
  const auto levels = levelsToTry();
  if (levels.empty()) GTEST_SKIP() << "no vector level on this processor";
  for (uint32_t count : {1u, 2u, 5u, 16u, 255u, 256u, 300u}) {
    const auto table = tiedTable(count, count);
    pel::detail::capSimdLevel(SimdLevel::Scalar);
    uint8_t *reference = pelCreate4096Map(table.data(), static_cast<int32_t>(count));
    ASSERT_NE(reference, nullptr);
    const std::vector<uint8_t> expected(reference, reference + 4096);
    pelRelease4096Map(reference);
    for (SimdLevel level : levels) {
      pel::detail::capSimdLevel(level);
      uint8_t *map = pelCreate4096Map(table.data(), static_cast<int32_t>(count));
      ASSERT_NE(map, nullptr);
      EXPECT_TRUE(std::vector<uint8_t>(map, map + 4096) == expected)
          << count << " entries, level " << pel::detail::simdLevelName(level);
      pelRelease4096Map(map);
    }
  }
}

// Line reads of bilevel and 16-colour images starting at every phase inside
// a byte, against the same read at the scalar level.
TEST_F(KernelLevels, LineReadsAtEveryPhase) {
  const auto levels = levelsToTry();
  if (levels.empty()) GTEST_SKIP() << "no vector level on this processor";
  for (int32_t type : {PEL_TYPE_BIT1, PEL_TYPE_BIT4, PEL_TYPE_GREY4, PEL_TYPE_BIT8}) {
    const Image image = randomPicture(type, 300, 3, static_cast<uint32_t>(type));
    for (uint32_t x0 = 0; x0 < 17; ++x0) {
      for (uint32_t x1 : {x0 + 1, x0 + 9, x0 + 64, x0 + 133, uint32_t{300}}) {
        std::vector<uint8_t> expected(1024, 0xA5), got(1024, 0xA5);
        pel::detail::capSimdLevel(SimdLevel::Scalar);
        const int32_t ok = pelGetHorLine(expected.data(), image.get(), x0, x1, 1);
        for (SimdLevel level : levels) {
          pel::detail::capSimdLevel(level);
          std::fill(got.begin(), got.end(), uint8_t{0xA5});
          EXPECT_EQ(pelGetHorLine(got.data(), image.get(), x0, x1, 1), ok);
          EXPECT_TRUE(got == expected) << "type " << type << ", " << x0 << ".." << x1 << ", level "
                                       << pel::detail::simdLevelName(level);
        }
      }
    }
  }
}

// The vector kernels step 5, 8, 16 or 32 pixels (bytes for the shift) and
// leave the rest to the portable code; lengths on both sides of each step,
// at every level, against the scalar level.
std::vector<uint8_t> atEveryLevel(const std::function<std::vector<uint8_t>()> &run,
                                  const std::vector<SimdLevel> &levels, bool &same) {
  pel::detail::capSimdLevel(SimdLevel::Scalar);
  const auto expected = run();
  same = true;
  for (SimdLevel level : levels) {
    pel::detail::capSimdLevel(level);
    same = same && run() == expected;
  }
  return expected;
}

TEST_F(KernelLevels, ShiftsAroundTheVectorSteps) {
  const auto levels = levelsToTry();
  if (levels.empty()) GTEST_SKIP() << "no vector level on this processor";
  std::vector<uint8_t> source(80);
  for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 151 + 7);
  for (uint32_t count = 1; count <= 70; ++count)
    for (uint8_t shift = 1; shift < 8; ++shift)
      for (bool inPlace : {false, true}) {
        bool same = false;
        atEveryLevel(
            [&] {
              std::vector<uint8_t> out = source;
              if (inPlace)
                pelShiftLeft(out.data(), out.data(), count, shift);
              else
                pelShiftLeft(out.data() + 4, source.data(), count, shift);
              return out;
            },
            levels, same);
        EXPECT_TRUE(same) << count << " bytes, shift " << int(shift)
                          << (inPlace ? ", in place" : "");
      }
}

TEST_F(KernelLevels, MirrorsAndTurnsAroundTheVectorSteps) {
  const auto levels = levelsToTry();
  if (levels.empty()) GTEST_SKIP() << "no vector level on this processor";
  const Size sizes[] = {{5, 2},  {6, 3},   {15, 16}, {16, 16}, {17, 33},
                        {32, 1}, {33, 48}, {64, 65}, {65, 64}, {96, 31}};
  uint32_t seed = 900;
  for (int32_t type : {PEL_TYPE_GREY8, PEL_TYPE_BIT555, PEL_TYPE_BIT24, PEL_TYPE_BIT32})
    for (const Size &size : sizes) {
      const Image source = randomPicture(type, size.w, size.h, ++seed);
      for (int32_t op = 0; op < 3; ++op) {
        bool same = false;
        atEveryLevel(
            [&] {
              const Image result(op == 2 ? pelMirror(source.get(), 0)
                                         : pelRotationEx(source.get(), op));
              return bytesOf(result.get());
            },
            levels, same);
        EXPECT_TRUE(same) << "operation " << op << ", type " << type << ", " << size.w << " x "
                          << size.h;
      }
    }
}

// Results far larger than the caches are written with streaming stores in
// whole cache lines; with the threshold lowered to nothing, every result of
// these operations is, on lines of every length and at every phase.
TEST_F(KernelLevels, StreamedResultsAtEveryLevel) {
  const auto levels = levelsToTry();
  if (levels.empty()) GTEST_SKIP() << "no vector level on this processor";
  pel::detail::setStreamingBytes(0);
  const Operation jobs[] = {
      {"to 24", [](PELIMAGE *i) { return pelCvtoBit24(i); }},
      {"to 32", [](PELIMAGE *i) { return pelCvtoBit32(i); }},
      {"to 565", [](PELIMAGE *i) { return pelCvtoBit565(i); }},
      {"to grey8", [](PELIMAGE *i) { return pelCvtoBit8Grey(i); }},
      {"copy rect",
       [](PELIMAGE *i) {
         const int32_t rect[4] = {3, 1, i->core->header->biWidth - 2, i->core->header->biHeight};
         return pelCopyImage(i, rect, PEL_MEM_AUTO);
       }},
  };
  const Size sizes[] = {{13, 5}, {77, 9}, {129, 17}, {250, 3}, {1029, 7}};
  uint32_t seed = 4000;
  for (const Size &size : sizes)
    for (int32_t type : {PEL_TYPE_GREY8, PEL_TYPE_BIT24, PEL_TYPE_BIT32})
      for (const Operation &job : jobs) {
        const Image source = randomPicture(type, size.w, size.h, ++seed);
        ASSERT_TRUE(source);
        bool same = false;
        atEveryLevel([&] { return bytesOf(Image(job.run(source.get())).get()); }, levels, same);
        EXPECT_TRUE(same) << job.name << ", type " << type << ", " << size.w << " x " << size.h;
      }
}

// The streamed copy writes exactly its n bytes, whatever the phase of either
// end within a cache line.
TEST_F(KernelLevels, StreamedCopiesAtEveryPhase) {
  const auto levels = levelsToTry();
  if (levels.empty()) GTEST_SKIP() << "no vector level on this processor";
  std::vector<uint8_t> source(1200);
  for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 37 + 11);
  for (SimdLevel level : levels) {
    pel::detail::capSimdLevel(level);
    for (std::size_t n : {0, 1, 63, 64, 65, 127, 128, 129, 191, 1000})
      for (std::size_t offset = 0; offset < 64; ++offset) {
        alignas(64) uint8_t out[1200 + 128];
        std::memset(out, 0xA5, sizeof out);
        pel::detail::streamBytes(out + offset, source.data() + offset % 7, n);
        std::vector<uint8_t> expected(sizeof out, 0xA5);
        std::memcpy(expected.data() + offset, source.data() + offset % 7, n);
        EXPECT_EQ(std::memcmp(out, expected.data(), sizeof out), 0)
            << n << " bytes at " << offset << ", level " << pel::detail::simdLevelName(level);
      }
  }
}

} // namespace
