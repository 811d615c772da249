// SPDX-License-Identifier: MIT
// BMP files: layout written, rules of reading, hostile input, the test suite.
#include "bmp_support.hpp"

#include "platform/files.hpp"

#include <map>

namespace {

using namespace pel::test;

class Bmp : public LeakCheck {
protected:
  void SetUp() override {
    LeakCheck::SetUp();
    ASSERT_FALSE(dir_.path().empty());
  }
  // Writes the bytes to a file and loads it.
  PELIMAGE *load(const Bytes &file, int32_t kind = PEL_MEM_AUTO) {
    const std::string path = dir_.file("in.bmp");
    writeFile(path, file);
    return pelLoadBmpFile(path.c_str(), kind);
  }
  ScratchDir dir_;
};

Bytes bytesOf(const void *p, std::size_t n) {
  auto *b = static_cast<const uint8_t *>(p);
  return Bytes(b, b + n);
}

Bytes pattern(std::size_t n, uint8_t seed = 1) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 31 + seed);
  return b;
}

TEST_F(Bmp, RoundTripKeepsHeaderBlockAndBitsOfEveryType) {
  for (int32_t type : kCreatableTypes) {
    for (int32_t width : {1, 3, 8, 33}) {
      SCOPED_TRACE(testing::Message() << "type " << type << " width " << width);
      PELIMAGE *image = randomImage(type, width, 5, static_cast<uint32_t>(type * 100 + width));
      ASSERT_NE(image, nullptr);
      const std::string path = dir_.file("round.bmp");
      ASSERT_EQ(pelSaveBmpFile(image, path.c_str()), 1);
      const Bytes file = readFile(path);
      const IMAGECORE &core = *image->core;
      EXPECT_EQ(file.size(), 14 + core.headerSize + core.bitsSize);
      EXPECT_EQ(get32(file, 2), file.size());
      EXPECT_EQ(get32(file, 10), 14 + core.headerSize);
      PELIMAGE *back = pelLoadBmpFile(path.c_str(), PEL_MEM_AUTO);
      ASSERT_NE(back, nullptr);
      EXPECT_EQ(back->imageType, image->imageType);
      EXPECT_EQ(bytesOf(back->core->header, back->core->headerSize),
                bytesOf(core.header, core.headerSize));
      EXPECT_EQ(bytesOf(back->core->bits, back->core->bitsSize), bytesOf(core.bits, core.bitsSize));
      pelDestroyImage(back);
      pelDestroyImage(image);
    }
  }
}

TEST_F(Bmp, FileSizesAndOffsets) {
  PELIMAGE *rgb = pelCreateImage(PEL_TYPE_BIT24, 10, 10, nullptr, 0, 0, 0, 0);
  PELIMAGE *pal = pelCreateImage(PEL_TYPE_GREY8, 10, 10, nullptr, 0, 0, 0, 0);
  const std::string path = dir_.file("size.bmp");
  ASSERT_EQ(pelSaveBmpFile(rgb, path.c_str()), 1);
  Bytes file = readFile(path);
  EXPECT_EQ(file.size(), 374u);
  EXPECT_EQ(get32(file, 10), 54u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(get32(file, 6), 0u);
  ASSERT_EQ(pelSaveBmpFile(pal, path.c_str()), 1);
  EXPECT_EQ(get32(readFile(path), 10), 1078u);
  pelDestroyImage(rgb);
  pelDestroyImage(pal);
}

TEST_F(Bmp, LongerBiSizeIsWrittenAsTheLayoutHeld) {
  BITMAPINFOHEADER h = header(4, 3, 8);
  h.biSize = 124;
  const std::vector<RGBQUAD> table = palette(PEL_PAL_COLOR256);
  PELIMAGE *image = pelCreateImageEx(&h, table.data(), 0);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->core->header->biSize, 124u);
  Bytes bits = pattern(image->core->bitsSize);
  std::memcpy(image->core->bits, bits.data(), bits.size());
  const std::string path = dir_.file("long.bmp");
  ASSERT_EQ(pelSaveBmpFile(image, path.c_str()), 1);
  EXPECT_EQ(get32(readFile(path), 14), 40u);
  EXPECT_EQ(image->core->header->biSize, 124u); // the image is unchanged
  PELIMAGE *back = pelLoadBmpFile(path.c_str(), 0);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->core->header->biSize, 40u);
  EXPECT_EQ(bytesOf(back->core->header + 1, 1024), bytesOf(table.data(), 1024));
  EXPECT_EQ(bytesOf(back->core->bits, bits.size()), bits);
  pelDestroyImage(back);
  pelDestroyImage(image);
}

TEST_F(Bmp, ReadingRules) {
  const BITMAPINFOHEADER h24 = header(3, 2, 24); // 12 bytes of bits
  const Bytes bits = pattern(24);
  // Short pixel data leaves a zero tail; extra bytes are ignored.
  for (int delta : {-10, 0, 7, -24}) {
    SCOPED_TRACE(delta);
    Bytes rest(bits.begin(), bits.end() + std::min(delta, 0));
    if (delta > 0) rest.resize(rest.size() + delta, 0xEE);
    PELIMAGE *image = load(bmpFile(headerBytes(h24), rest));
    ASSERT_NE(image, nullptr);
    Bytes expected = bits;
    if (delta < 0) std::fill(expected.end() + delta, expected.end(), 0);
    EXPECT_EQ(bytesOf(image->core->bits, 24), expected);
    pelDestroyImage(image);
  }

  // A longer header is skipped; the loaded one says 40.
  const BITMAPINFOHEADER h8 = header(4, 2, 8);
  const std::vector<RGBQUAD> table = palette(PEL_PAL_COLOR256);
  Bytes rest = bytesOf(table.data(), 1024);
  const Bytes bits8 = pattern(8, 9);
  append(rest, bits8);
  BITMAPINFOHEADER h124 = h8;
  h124.biSize = 124;
  for (const Bytes &head : {headerBytes(h8), headerBytes(h124, 124)}) {
    PELIMAGE *image = load(bmpFile(head, rest));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->core->header->biSize, 40u);
    EXPECT_EQ(image->imageType, PEL_TYPE_BIT8);
    EXPECT_EQ(bytesOf(image->core->bits, 8), bits8);
    pelDestroyImage(image);
  }

  // The grey ramp is recognised once the table is loaded.
  const std::vector<RGBQUAD> grey = palette(PEL_PAL_GREY256);
  Bytes greyRest = bytesOf(grey.data(), 1024);
  append(greyRest, bits8);
  PELIMAGE *image = load(bmpFile(headerBytes(h8), greyRest));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->imageType, PEL_TYPE_GREY8);
  pelDestroyImage(image);

  // Top-down files load bottom-up with their lines in file order.
  BITMAPINFOHEADER topDown = h24;
  topDown.biHeight = -2;
  image = load(bmpFile(headerBytes(topDown), bits));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->core->header->biHeight, 2);
  EXPECT_EQ(bytesOf(image->core->bits, 24), bits);
  pelDestroyImage(image);
}

TEST_F(Bmp, BitFieldMasksInsideALongerHeader) {
  BITMAPINFOHEADER h = header(2, 2, 16, BI_BITFIELDS);
  const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
  const Bytes bits = pattern(8, 3);
  Bytes shortHead = headerBytes(h);
  Bytes shortRest = bytesOf(masks, 12);
  append(shortRest, bits);
  h.biSize = 124;
  Bytes longHead = headerBytes(h, 124);
  std::memcpy(longHead.data() + 40, masks, 12);
  for (const auto &[head, rest] : {std::pair{shortHead, shortRest}, std::pair{longHead, bits}}) {
    SCOPED_TRACE(head.size());
    PELIMAGE *image = load(bmpFile(head, rest));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->imageType, PEL_TYPE_BIT565);
    EXPECT_EQ(bytesOf(image->core->header + 1, 12), bytesOf(masks, 12));
    EXPECT_EQ(bytesOf(image->core->bits, 8), bits);
    pelDestroyImage(image);
  }
}

TEST_F(Bmp, TablesTheHeaderNoLongerCountsAreSkipped) {
  // A true-colour file with an optional palette of 4 entries.
  BITMAPINFOHEADER h = header(2, 2, 24);
  h.biClrUsed = 4;
  const Bytes bits = pattern(16, 5);
  Bytes rest(16, 0x77);
  append(rest, bits);
  PELIMAGE *image = load(bmpFile(headerBytes(h), rest));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->core->header->biClrUsed, 0u);
  EXPECT_EQ(bytesOf(image->core->bits, 16), bits);
  pelDestroyImage(image);

  // A 1-bit file listing 5 colours: the extra 3 lie before the bits.
  BITMAPINFOHEADER p = header(8, 1, 1);
  p.biClrUsed = 5;
  Bytes prest = pattern(20, 2);
  append(prest, Bytes{0xA5, 0, 0, 0});
  image = load(bmpFile(headerBytes(p), prest));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->core->header->biClrUsed, 2u);
  EXPECT_EQ(image->core->bits[0], 0xA5);
  pelDestroyImage(image);
}

TEST_F(Bmp, HostileFilesAreRefusedCleanly) {
  const BITMAPINFOHEADER h24 = header(4, 4, 24);
  Bytes badMagic = bmpFile(headerBytes(h24), pattern(48));
  badMagic[1] = 'A';
  BITMAPINFOHEADER past = h24;
  past.biSize = 0xFFFFFFF0;
  BITMAPINFOHEADER thousand = h24;
  thousand.biSize = 1000;
  BITMAPINFOHEADER wide = header(1, 1, 8);
  wide.biWidth = 0x20000001;
  wide.biSizeImage = 4;
  BITMAPINFOHEADER rle = header(16, 16, 8, BI_RLE8);
  rle.biSizeImage = 0xFFFFFF00;
  BITMAPINFOHEADER hugeTable = header(4, 4, 24);
  hugeTable.biClrUsed = 0x40000000;
  BITMAPINFOHEADER shortTable = header(4, 4, 8);
  const Bytes bare = bmpFile(headerBytes(h24), {});
  const std::map<std::string, Bytes> files = {
      {"bad magic", badMagic},
      {"empty", {}},
      {"file header only", Bytes(bare.begin(), bare.begin() + 14)},
      {"short header", Bytes(bare.begin(), bare.begin() + 50)},
      {"biSize past the end", bmpFile(headerBytes(past), pattern(200))},
      {"biSize 1000 in 200 bytes", bmpFile(headerBytes(thousand), pattern(146))},
      {"line length wraps", bmpFile(headerBytes(wide), pattern(1024 + 4))},
      {"run-length size beyond the rule", bmpFile(headerBytes(rle), pattern(1024 + 100))},
      {"optional table beyond the file", bmpFile(headerBytes(hugeTable), pattern(48))},
      {"short colour table", bmpFile(headerBytes(shortTable), pattern(500))},
  };
  for (const auto &[what, bytes] : files) {
    SCOPED_TRACE(what);
    EXPECT_EQ(load(bytes), nullptr);
  }
  EXPECT_EQ(pelLoadBmpFile(nullptr, 0), nullptr);
  EXPECT_EQ(pelLoadBmpFile(dir_.file("missing.bmp").c_str(), 0), nullptr);

  // Header and table complete but no bits at all: an all-zero image.
  PELIMAGE *image = load(bmpFile(headerBytes(h24), {}));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(bytesOf(image->core->bits, 48), Bytes(48, 0));
  pelDestroyImage(image);
}

TEST_F(Bmp, EveryLoadFailureUndoesItsAllocations) {
  const std::string path = dir_.file("sweep.bmp");
  const std::vector<RGBQUAD> table = palette(PEL_PAL_COLOR16);
  Bytes rest = bytesOf(table.data(), 64);
  const Bytes bits = pattern(8 * 4);
  append(rest, bits);
  writeFile(path, bmpFile(headerBytes(header(16, 4, 4)), rest));
  for (int32_t kind : {0, 1, 2, 4, 5}) {
    SCOPED_TRACE(kind);
    if (kind == PEL_MEM_FILE) pelSetFileMappingPath(dir_.str().c_str());
    sweepAllocationFailures([&] {
      PELIMAGE *image = pelLoadBmpFile(path.c_str(), kind);
      const bool loaded = image != nullptr;
      if (loaded) {
        EXPECT_EQ(bytesOf(image->core->bits, bits.size()), bits);
      }
      pelDestroyImage(image);
      return loaded;
    });
    pelSetFileMappingPath(nullptr);
  }
  EXPECT_TRUE(mappingFiles(dir_.path()).empty());
}

TEST_F(Bmp, SaveFailures) {
  PELIMAGE *image = pelCreateImage(PEL_TYPE_BIT24, 2, 2, nullptr, 0, 0, 0, 0);
  const std::string path = dir_.file("never.bmp");
  EXPECT_EQ(pelSaveBmpFile(nullptr, path.c_str()), 0);
  EXPECT_EQ(pelSaveBmpFile(image, nullptr), 0);
  PELIMAGE coreless = *image;
  coreless.core = nullptr;
  EXPECT_EQ(pelSaveBmpFile(&coreless, path.c_str()), 0);
  EXPECT_FALSE(fileExists(path));
  EXPECT_EQ(pelSaveBmpFile(image, dir_.file("missing/x.bmp").c_str()), 0);
#if !defined(_WIN32)
  // Writes land in the stream buffer; only the flush finds the disk full.
  if (fileExists("/dev/full")) {
    EXPECT_EQ(pelSaveBmpFile(image, "/dev/full"), 0);
  }
#endif
  pelDestroyImage(image);
}

TEST_F(Bmp, FileGetLengthKeepsThePosition) {
  EXPECT_EQ(fileGetLength(nullptr), -1);
  const std::string path = dir_.file("len.bin");
  writeFile(path, pattern(1234));
  std::FILE *f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 100, SEEK_SET);
  EXPECT_EQ(fileGetLength(f), 1234);
  EXPECT_EQ(std::ftell(f), 100);
  std::fclose(f);
}

TEST_F(Bmp, FileGetLengthRefusesLengthsBeyond31Bits) {
  const std::string path = dir_.file("sparse.bin");
  std::FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  // A sparse 3 GiB file costs no disk space where sparse files exist.
  const bool made = pel::os::seek64(f, int64_t{3} << 30, SEEK_SET) && std::fputc(0, f) == 0;
  std::fclose(f);
  if (!made) GTEST_SKIP() << "cannot make a 3 GiB file here";
  f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(fileGetLength(f), -1);
  EXPECT_EQ(pel::os::tell64(f), 0);
  std::fclose(f);
}

} // namespace
