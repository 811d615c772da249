// SPDX-License-Identifier: MIT
// The BMP test suite, file by file: each is loaded or refused as the reading
// rules decide, with nothing left allocated.
#include "bmp_support.hpp"

#include <map>
#include <vector>

namespace {

using namespace pel::test;

struct Outcome {
  int32_t type; // 0: refused
  int32_t width = 127;
  int32_t height = 64;
};
constexpr Outcome kRefused{0, 0, 0};

// Why files are refused: headers shorter than 40 bytes (OS/2), compressions
// the rules do not know for the depth (Huffman, JPEG, PNG, 24-bit run length,
// alpha bit fields), depths other than 1, 4, 8, 16, 24 and 32 (also after the
// planes are folded in), stores beyond the size rule, colour tables claimed
// beyond the file.
const std::map<std::string, Outcome> kExpected = {
    {"b/badbitcount.bmp", kRefused},
    {"b/badbitssize.bmp", {PEL_TYPE_BIT1}},
    {"b/baddens1.bmp", {PEL_TYPE_BIT1}},
    {"b/baddens2.bmp", {PEL_TYPE_BIT1}},
    {"b/badfilesize.bmp", {PEL_TYPE_BIT1}},
    {"b/badheadersize.bmp", {PEL_TYPE_BIT1}},
    {"b/badpalettesize.bmp", kRefused},
    {"b/badplanes.bmp", kRefused},
    {"b/badrle.bmp", {PEL_TYPE_RLE8}},
    {"b/badrle4.bmp", {PEL_TYPE_RLE4}},
    {"b/badrle4bis.bmp", {PEL_TYPE_RLE4}},
    {"b/badrle4ter.bmp", {PEL_TYPE_RLE4}},
    {"b/badrlebis.bmp", {PEL_TYPE_RLE8}},
    {"b/badrleter.bmp", {PEL_TYPE_RLE8}},
    {"b/badwidth.bmp", {PEL_TYPE_BIT1}},
    {"b/pal8badindex.bmp", {PEL_TYPE_BIT8}},
    {"b/reallybig.bmp", kRefused},
    {"b/rgb16-880.bmp", {PEL_TYPE_BIT555}},
    {"b/rletopdown.bmp", {PEL_TYPE_RLE8}},
    {"b/shortfile.bmp", {PEL_TYPE_BIT1}},
    {"g/pal1.bmp", {PEL_TYPE_BIT1}},
    {"g/pal1bg.bmp", {PEL_TYPE_BIT1}},
    {"g/pal1wb.bmp", {PEL_TYPE_BIT1}},
    {"g/pal4.bmp", {PEL_TYPE_BIT4}},
    {"g/pal4gs.bmp", {PEL_TYPE_BIT4}},
    {"g/pal4rle.bmp", {PEL_TYPE_RLE4}},
    {"g/pal8-0.bmp", {PEL_TYPE_BIT8}},
    {"g/pal8.bmp", {PEL_TYPE_BIT8}},
    {"g/pal8gs.bmp", {PEL_TYPE_BIT8}},
    {"g/pal8nonsquare.bmp", {PEL_TYPE_BIT8, 127, 32}},
    {"g/pal8os2.bmp", kRefused},
    {"g/pal8rle.bmp", {PEL_TYPE_RLE8}},
    {"g/pal8topdown.bmp", {PEL_TYPE_BIT8}},
    {"g/pal8v4.bmp", {PEL_TYPE_BIT8}},
    {"g/pal8v5.bmp", {PEL_TYPE_BIT8}},
    {"g/pal8w124.bmp", {PEL_TYPE_BIT8, 124, 61}},
    {"g/pal8w125.bmp", {PEL_TYPE_BIT8, 125, 62}},
    {"g/pal8w126.bmp", {PEL_TYPE_BIT8, 126, 63}},
    {"g/rgb16-565.bmp", {PEL_TYPE_BIT565}},
    {"g/rgb16-565pal.bmp", {PEL_TYPE_BIT565}},
    {"g/rgb16.bmp", {PEL_TYPE_BIT555}},
    {"g/rgb16bfdef.bmp", {PEL_TYPE_BIT555}},
    {"g/rgb24.bmp", {PEL_TYPE_BIT24}},
    {"g/rgb24pal.bmp", {PEL_TYPE_BIT24}},
    {"g/rgb32.bmp", {PEL_TYPE_BIT32}},
    {"g/rgb32bf.bmp", {PEL_TYPE_BIT32}},
    {"g/rgb32bfdef.bmp", {PEL_TYPE_BIT32}},
    {"q/pal1huffmsb.bmp", kRefused},
    {"q/pal1p1.bmp", {PEL_TYPE_BIT1}},
    {"q/pal2.bmp", {PEL_TYPE_BIT4}}, // 2 bits become 4
    {"q/pal2color.bmp", {PEL_TYPE_BIT4}},
    {"q/pal4rlecut.bmp", {PEL_TYPE_RLE4}},
    {"q/pal4rletrns.bmp", {PEL_TYPE_RLE4}},
    {"q/pal8offs.bmp", {PEL_TYPE_BIT8}},
    {"q/pal8os2-hs.bmp", kRefused},
    {"q/pal8os2-sz.bmp", kRefused},
    {"q/pal8os2sp.bmp", kRefused},
    {"q/pal8os2v2-16.bmp", kRefused},
    {"q/pal8os2v2-40sz.bmp", {PEL_TYPE_BIT8}},
    {"q/pal8os2v2-sz.bmp", {PEL_TYPE_BIT8}},
    {"q/pal8os2v2.bmp", {PEL_TYPE_BIT8}},
    {"q/pal8oversizepal.bmp", {PEL_TYPE_BIT8}},
    {"q/pal8rlecut.bmp", {PEL_TYPE_RLE8}},
    {"q/pal8rletrns.bmp", {PEL_TYPE_RLE8}},
    {"q/rgb16-231.bmp", {PEL_TYPE_BIT555}},
    {"q/rgb16-3103.bmp", {PEL_TYPE_BIT555}},
    {"q/rgb16faketrns.bmp", {PEL_TYPE_BIT555}},
    {"q/rgb24jpeg.bmp", kRefused},
    {"q/rgb24largepal.bmp", {PEL_TYPE_BIT24}},
    {"q/rgb24lprof.bmp", {PEL_TYPE_BIT24}},
    {"q/rgb24png.bmp", kRefused},
    {"q/rgb24prof.bmp", {PEL_TYPE_BIT24}},
    {"q/rgb24prof2.bmp", {PEL_TYPE_BIT24}},
    {"q/rgb24rle24.bmp", kRefused},
    {"q/rgb32-111110.bmp", {PEL_TYPE_BIT32}},
    {"q/rgb32-7187.bmp", {PEL_TYPE_BIT32}},
    {"q/rgb32-xbgr.bmp", {PEL_TYPE_BIT32}},
    {"q/rgb32fakealpha.bmp", {PEL_TYPE_BIT32}},
    {"q/rgb32h52.bmp", {PEL_TYPE_BIT32}},
    {"q/rgba16-1924.bmp", {PEL_TYPE_BIT555}},
    {"q/rgba16-4444.bmp", {PEL_TYPE_BIT555}},
    {"q/rgba16-5551.bmp", {PEL_TYPE_BIT555}},
    {"q/rgba32-1.bmp", {PEL_TYPE_BIT32}},
    {"q/rgba32-1010102.bmp", {PEL_TYPE_BIT32}},
    {"q/rgba32-2.bmp", {PEL_TYPE_BIT32}},
    {"q/rgba32-61754.bmp", {PEL_TYPE_BIT32}},
    {"q/rgba32-81284.bmp", {PEL_TYPE_BIT32}},
    {"q/rgba32abf.bmp", kRefused},
    {"q/rgba32h56.bmp", {PEL_TYPE_BIT32}},
    {"q/rgba64.bmp", kRefused},
};

class BmpSuite : public LeakCheck {};

TEST_F(BmpSuite, EveryFileIsLoadedOrRefusedAsTheRulesSay) {
  const fs::path root = PELC_BMP_SUITE_DIR;
  std::error_code ec;
  if (!fs::is_directory(root, ec)) GTEST_SKIP() << "BMP test suite not found at " << root;
  std::size_t seen = 0;
  for (const char *group : {"b", "g", "q"}) {
    for (const auto &entry : fs::directory_iterator(root / group)) {
      if (entry.path().extension() != ".bmp") continue;
      const std::string key = std::string(group) + "/" + entry.path().filename().string();
      SCOPED_TRACE(key);
      auto it = kExpected.find(key);
      ASSERT_NE(it, kExpected.end()) << "no expected outcome for this file";
      ++seen;
      const Outcome &want = it->second;
      for (int32_t kind : {PEL_MEM_AUTO, PEL_MEM_GLOBAL_MOVEABLE, PEL_MEM_VIRTUAL}) {
        PELIMAGE *image = pelLoadBmpFile(entry.path().string().c_str(), kind);
        if (want.type == 0) {
          EXPECT_EQ(image, nullptr);
          continue;
        }
        ASSERT_NE(image, nullptr);
        const BITMAPINFOHEADER &h = *image->core->header;
        EXPECT_EQ(image->imageType, want.type);
        EXPECT_EQ(h.biWidth, want.width);
        EXPECT_EQ(h.biHeight, want.height);
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(image->core->memKind, kind ? kind : PEL_MEM_GLOBAL);
        pelDestroyImage(image);
      }
    }
  }
  EXPECT_EQ(seen, kExpected.size());
}

// The bits of the good files sit where the layout rules put them: the
// picture's top-left pixel is the same whatever header or table precedes it.
TEST_F(BmpSuite, GoodFilesAgreeOnTheirPixels) {
  const fs::path root = PELC_BMP_SUITE_DIR;
  std::error_code ec;
  if (!fs::is_directory(root, ec)) GTEST_SKIP() << "BMP test suite not found at " << root;
  auto loaded = [&](const char *name) {
    return pelLoadBmpFile((root / name).string().c_str(), PEL_MEM_AUTO);
  };
  struct Same {
    const char *referenceName;
    std::vector<const char *> names;
  };
  const Same groups[] = {
      {"g/rgb24.bmp",
       {"g/rgb24pal.bmp", "g/rgb32.bmp", "g/rgb32bfdef.bmp", "q/rgb24largepal.bmp",
        "q/rgb24prof.bmp"}},
      {"g/pal8.bmp",
       {"g/pal8v4.bmp", "g/pal8v5.bmp", "q/pal8os2v2-40sz.bmp", "q/pal8oversizepal.bmp"}},
      {"g/rgb16-565.bmp", {"g/rgb16-565pal.bmp"}},
  };
  for (const auto &[referenceName, names] : groups) {
    PELIMAGE *reference = loaded(referenceName);
    ASSERT_NE(reference, nullptr);
    for (const char *name : names) {
      SCOPED_TRACE(name);
      PELIMAGE *image = loaded(name);
      ASSERT_NE(image, nullptr);
      int wrong = 0;
      for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 127; ++x)
          wrong += colourAt(image, x, y) != colourAt(reference, x, y);
      EXPECT_EQ(wrong, 0);
      pelDestroyImage(image);
    }
    pelDestroyImage(reference);
  }

  // Bit-field headers longer than 40 bytes: the masks come from inside the
  // header and the bits follow it directly.
  for (const char *name : {"q/rgb32h52.bmp", "q/rgba32h56.bmp", "q/rgb32-xbgr.bmp"}) {
    SCOPED_TRACE(name);
    const Bytes file = readFile((root / name).string());
    PELIMAGE *image = loaded(name);
    ASSERT_NE(image, nullptr);
    const uint32_t biSize = get32(file, 14);
    const auto *masks = reinterpret_cast<const uint8_t *>(image->core->header) + 40;
    EXPECT_EQ(Bytes(masks, masks + 12), Bytes(file.begin() + 54, file.begin() + 66));
    EXPECT_EQ(
        Bytes(image->core->bits, image->core->bits + image->core->bitsSize),
        Bytes(file.begin() + 14 + biSize, file.begin() + 14 + biSize + image->core->bitsSize));
    pelDestroyImage(image);
  }
}

} // namespace
