// SPDX-License-Identifier: MIT
// Round trips of every format and image type, format detection, multi-page
// files and the refusals of the seven entry points.
#include "support.hpp"

#include <cstdio>
#include <fstream>

using namespace fiotest;

namespace {

// wine's GIF encoder (8.0) stores pixel data no reader decodes back.
constexpr const char *kGifWriterBroken = "wine's GIF encoder writes corrupt pixel data";

enum { kBmp = 1, kPng = 2, kJpeg = 3, kTiff = 4, kGif = 5, kWebp = 6 };

constexpr int kAllTypes[] = {PEL_TYPE_BIT1,   PEL_TYPE_BIT4,  PEL_TYPE_GREY4,
                             PEL_TYPE_BIT8,   PEL_TYPE_GREY8, PEL_TYPE_BIT555,
                             PEL_TYPE_BIT565, PEL_TYPE_BIT24, PEL_TYPE_BIT32};
constexpr int kSizes[][2] = {{1, 1}, {7, 3}, {33, 17}};

// The type a format gives back for each type written, 0 where it holds no
// such type losslessly.
struct Mapping {
  const char *name;
  const char *extension;
  int quality;
  int (*typeBack)(int type);
};

int keepsPalettes(int type) {
  return type == PEL_TYPE_BIT555 || type == PEL_TYPE_BIT565 ? PEL_TYPE_BIT24 : type;
}
int trueColourOnly(int type) { return type == PEL_TYPE_BIT32 ? PEL_TYPE_BIT32 : PEL_TYPE_BIT24; }
int palettesOnly(int type) { return type <= PEL_TYPE_GREY8 ? type : 0; }
int same(int type) { return type; }

const Mapping kLossless[] = {
    {"bmp", "bmp", 0, same},
    {"png", "png", 0, keepsPalettes},
    {"tiff", "tif", 0, keepsPalettes},
    {"gif", "gif", 0, palettesOnly},
    {"webp", "webp", 100, trueColourOnly},
};

// Palette types keep their indices and the table entries they use.
void expectSamePalette(const PELIMAGE *a, const PELIMAGE *b) {
  const uint32_t used = paletteCount(a->imageType);
  if (used == 0) return;
  const RGBQUAD *ta = reinterpret_cast<const RGBQUAD *>(a->core->header + 1);
  const RGBQUAD *tb = reinterpret_cast<const RGBQUAD *>(b->core->header + 1);
  ASSERT_GE(b->core->header->biClrUsed ? b->core->header->biClrUsed
                                       : 1u << b->core->header->biBitCount,
            used);
  for (uint32_t i = 0; i < used; ++i) {
    EXPECT_EQ(ta[i].rgbRed, tb[i].rgbRed) << i;
    EXPECT_EQ(ta[i].rgbGreen, tb[i].rgbGreen) << i;
    EXPECT_EQ(ta[i].rgbBlue, tb[i].rgbBlue) << i;
  }
  for (int y = 0; y < heightOf(a); ++y)
    for (int x = 0; x < widthOf(a); ++x)
      ASSERT_EQ(pelGetPixel(a, x, y), pelGetPixel(b, x, y)) << x << "," << y;
}

TEST(RoundTrip, LosslessFormatsKeepEveryPixel) {
  Scratch dir;
  for (const Mapping &m : kLossless) {
    if (unsupported(m.name)) continue;
    if (std::string(m.name) == "gif" && lackedOnWindows("gif round trip", kGifWriterBroken))
      continue;
    for (int type : kAllTypes) {
      const int back = m.typeBack(type);
      if (!back) continue;
      for (const auto &size : kSizes) {
        SCOPED_TRACE(std::string(m.name) + " type " + std::to_string(type) + " " +
                     std::to_string(size[0]) + "x" + std::to_string(size[1]));
        Image original = makeImage(type, size[0], size[1]);
        ASSERT_TRUE(original);
        const fs::path file = dir / (std::string("image.") + m.extension);
        ASSERT_TRUE(save(original.get(), file, 0, m.quality));
        Image loaded = load(file);
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded->imageType, back);
        ASSERT_EQ(widthOf(loaded.get()), size[0]);
        ASSERT_EQ(heightOf(loaded.get()), size[1]);
        EXPECT_EQ(compare(original.get(), loaded.get(), back == PEL_TYPE_BIT32).largest, 0);
        if (back == type) expectSamePalette(original.get(), loaded.get());
      }
    }
  }
}

TEST(RoundTrip, LossyFormatsStayClose) {
  Scratch dir;
  struct Lossy {
    const char *extension;
    int type;
    int typeBack;
  };
  const Lossy cases[] = {
      {"jpg", PEL_TYPE_BIT24, PEL_TYPE_BIT24},  {"jpg", PEL_TYPE_BIT32, PEL_TYPE_BIT24},
      {"jpg", PEL_TYPE_GREY8, PEL_TYPE_GREY8},  {"jpg", PEL_TYPE_GREY4, PEL_TYPE_GREY8},
      {"jpg", PEL_TYPE_BIT565, PEL_TYPE_BIT24}, {"webp", PEL_TYPE_BIT24, PEL_TYPE_BIT24},
      {"webp", PEL_TYPE_BIT32, PEL_TYPE_BIT32},
  };
  for (const Lossy &c : cases) {
    if (unsupported(c.extension)) continue;
    SCOPED_TRACE(std::string(c.extension) + " type " + std::to_string(c.type));
    Image original = makeImage(c.type, 61, 37, true);
    const fs::path file = dir / (std::string("image.") + c.extension);
    ASSERT_TRUE(save(original.get(), file, 0, 95));
    Image loaded = load(file);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->imageType, c.typeBack);
    // Quality 95 on smooth gradients: within 3 on average, 24 at worst.
    const Difference d = compare(original.get(), loaded.get(), c.typeBack == PEL_TYPE_BIT32);
    EXPECT_LE(d.mean, 3.0);
    EXPECT_LE(d.largest, 24);
  }
}

TEST(RoundTrip, GifReducesTrueColourToPalette) {
  if (lackedOnWindows("gif of true colour", kGifWriterBroken)) return;
  Scratch dir;
  Image original = makeImage(PEL_TYPE_BIT24, 40, 30, true);
  ASSERT_TRUE(save(original.get(), dir / "true.gif"));
  Image loaded = load(dir / "true.gif");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->imageType, PEL_TYPE_BIT8);
  EXPECT_LE(compare(original.get(), loaded.get(), false).mean, 40.0);
}

TEST(RoundTrip, TransparentColourAndResolution) {
  Scratch dir;
  struct Case {
    const char *extension;
    int type;
    bool keepsTransparency;
    bool keepsResolution;
  };
  const Case cases[] = {
      {"png", PEL_TYPE_BIT8, true, true},   {"png", PEL_TYPE_BIT4, true, true},
      {"png", PEL_TYPE_BIT24, true, true},  {"png", PEL_TYPE_GREY8, true, true},
      {"gif", PEL_TYPE_BIT8, true, false},  {"gif", PEL_TYPE_BIT1, true, false},
      {"tif", PEL_TYPE_BIT24, false, true}, {"jpg", PEL_TYPE_BIT24, false, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.extension) + " type " + std::to_string(c.type));
    Image original = makeImage(c.type, 9, 5);
    const uint32_t colour = pelGetRGBpack(original.get(), 3, 2);
    pelSetTranspClr(original.get(), colour);
    const fs::path file = dir / (std::string("image.") + c.extension);
    ASSERT_TRUE(save(original.get(), file));
    Image loaded = load(file);
    ASSERT_TRUE(loaded);
    const bool keyed = c.keepsTransparency &&
                       !(c.type == PEL_TYPE_BIT24 &&
                         lackedOnWindows("png colour key", "no tRNS colour for RGB")) &&
                       !(std::string(c.extension) == "gif" &&
                         lackedOnWindows("gif transparency", kGifWriterBroken));
    if (keyed) {
      EXPECT_EQ(pelIsTranspClr(loaded.get()), 1);
      EXPECT_EQ(pelGetTranspClr(loaded.get()), colour);
    }
    if (c.keepsResolution) {
      EXPECT_NEAR(loaded->core->header->biXPelsPerMeter, 3780, 1);
      EXPECT_NEAR(loaded->core->header->biYPelsPerMeter, 2835, 1);
    }
  }
}

TEST(RoundTrip, MemoryKindIsHonoured) {
  Scratch dir;
  Image original = makeImage(PEL_TYPE_BIT24, 5, 5);
  ASSERT_TRUE(save(original.get(), dir / "a.png"));
  for (int kind : {1, 2, 3, 4}) {
    Image loaded = load(dir / "a.png", 0, kind);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->core->memKind, kind);
  }
}

TEST(Formats, FromContentAndFromName) {
  Scratch dir;
  Image image = makeImage(PEL_TYPE_BIT8, 4, 4);
  const struct {
    const char *name;
    intptr_t code;
  } written[] = {{"a.bmp", kBmp},  {"a.png", kPng}, {"a.jpg", kJpeg},
                 {"a.tif", kTiff}, {"a.gif", kGif}, {"a.webp", kWebp}};
  for (const auto &w : written) {
    if (unsupported(w.name)) continue;
    ASSERT_TRUE(save(image.get(), dir / w.name)) << w.name;
    EXPECT_EQ(formatOf(dir / w.name), w.code) << w.name;
    // Content wins over the name.
    fs::remove(dir / "misnamed.png");
    fs::copy_file(dir / w.name, dir / "misnamed.png");
    EXPECT_EQ(formatOf(dir / "misnamed.png"), w.code) << w.name;
    EXPECT_EQ(pagesOf(dir / w.name), 1) << w.name;
  }
  std::ofstream(dir / "empty.png").close();
  std::ofstream(dir / "text.png") << "not a picture at all";
  EXPECT_EQ(formatOf(dir / "empty.png"), 0);
  EXPECT_EQ(formatOf(dir / "text.png"), 0);
  EXPECT_EQ(formatOf(dir / "missing.png"), 0);
  EXPECT_EQ(pagesOf(dir / "text.png"), 0);
  EXPECT_EQ(fioGetImageFormat(0), 0);

  const struct {
    const char *name;
    intptr_t code;
  } names[] = {{"photo.JPG", kJpeg},
               {"jpeg", kJpeg},
               {".Tiff", kTiff},
               {"C:\\pics\\scan.tif", kTiff},
               {"/tmp/x.y/a.gif", kGif},
               {"a.webp", kWebp},
               {"dib", kBmp},
               {"image.bmp", kBmp},
               {"a.png", kPng},
               {"archive.tar.gz", 0},
               {"dir.png/file", 0},
               {"", 0},
               {"a.", 0},
               {"a.jfif", kJpeg}};
  for (const auto &n : names)
    EXPECT_EQ(fioGetImageFormatFromExt(reinterpret_cast<intptr_t>(n.name)), n.code) << n.name;
  EXPECT_EQ(fioGetImageFormatFromExt(0), 0);
}

TEST(MultiPage, CombineCountLoadAndSplit) {
  Scratch dir;
  IMAGELIST *list = pelCreateImagelist(0);
  ASSERT_NE(list, nullptr);
  const int types[] = {PEL_TYPE_BIT8, PEL_TYPE_BIT4, PEL_TYPE_BIT1};
  std::vector<Image> originals;
  for (int i = 0; i < 3; ++i) {
    originals.push_back(makeImage(types[i], 13, 11, false, static_cast<unsigned>(i + 1)));
    ASSERT_GE(pelAddImage(list, pelCopyImage(originals.back().get(), nullptr, 0)), 0);
  }
  for (const char *name : {"pages.tif", "frames.gif"}) {
    if (std::string(name) == "frames.gif" && lackedOnWindows("animated gif", kGifWriterBroken))
      continue;
    SCOPED_TRACE(name);
    const std::string path = (dir / name).string();
    ASSERT_EQ(fioCombineImageFile(reinterpret_cast<intptr_t>(list),
                                  reinterpret_cast<intptr_t>(path.c_str()), 0),
              1);
    EXPECT_EQ(pagesOf(path), 3);
    for (int page = 0; page < 3; ++page) {
      Image loaded = load(path, page);
      ASSERT_TRUE(loaded) << page;
      EXPECT_EQ(compare(originals[page].get(), loaded.get(), false).largest, 0) << page;
    }
    EXPECT_FALSE(load(path, 3));
    const std::string pattern = (dir / (std::string(name) + "-%d.png")).string();
    EXPECT_EQ(fioSplitImageFile(reinterpret_cast<intptr_t>(path.c_str()),
                                reinterpret_cast<intptr_t>(pattern.c_str()), 0, 0),
              3);
    for (int page = 0; page < 3; ++page) {
      Image part = load(dir / (std::string(name) + "-" + std::to_string(page) + ".png"));
      ASSERT_TRUE(part) << page;
      EXPECT_EQ(compare(originals[page].get(), part.get(), false).largest, 0) << page;
    }
  }
  // True colour pages: TIFF keeps them, mixed sizes and all.
  Image big = makeImage(PEL_TYPE_BIT32, 20, 9);
  ASSERT_GE(pelAddImage(list, pelCopyImage(big.get(), nullptr, 0)), 0);
  const std::string tiff = (dir / "mixed.tif").string();
  ASSERT_EQ(fioCombineImageFile(reinterpret_cast<intptr_t>(list),
                                reinterpret_cast<intptr_t>(tiff.c_str()), kTiff),
            1);
  Image last = load(tiff, 3);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->imageType, PEL_TYPE_BIT32);
  EXPECT_EQ(compare(big.get(), last.get(), true).largest, 0);
  // Only multi-page formats combine.
  const std::string png = (dir / "pages.png").string();
  EXPECT_EQ(fioCombineImageFile(reinterpret_cast<intptr_t>(list),
                                reinterpret_cast<intptr_t>(png.c_str()), 0),
            0);
  EXPECT_FALSE(fs::exists(png));
  pelDestroyImagelist(list);
}

TEST(Refusals, BadArgumentsLeaveNothingBehind) {
  Scratch dir;
  Image image = makeImage(PEL_TYPE_BIT24, 6, 4);
  ASSERT_TRUE(save(image.get(), dir / "a.png"));
  const std::string path = (dir / "a.png").string();
  const intptr_t p = reinterpret_cast<intptr_t>(path.c_str());
  int marker = 0;
  EXPECT_EQ(fioLoadImageFile(p, 0, 0, 1, 0), 0);                                   // flags
  EXPECT_EQ(fioLoadImageFile(p, 0, 0, 0, reinterpret_cast<intptr_t>(&marker)), 0); // reserved
  EXPECT_EQ(fioLoadImageFile(p, 0, 1, 0, 0), 0);                                   // page
  EXPECT_EQ(fioLoadImageFile(p, 0, -1, 0, 0), 0);
  EXPECT_EQ(fioLoadImageFile(p, 6, 0, 0, 0), 0); // memory kind
  EXPECT_EQ(fioLoadImageFile(0, 0, 0, 0, 0), 0);

  EXPECT_FALSE(save(nullptr, dir / "b.png"));
  EXPECT_FALSE(save(image.get(), dir / "b.xyz"));    // no format from the name
  EXPECT_FALSE(save(image.get(), dir / "b.png", 7)); // no such format
  EXPECT_FALSE(save(image.get(), dir / "b.jpg", 0, 101));
  EXPECT_FALSE(save(image.get(), dir / "none" / "b.png"));
  // A codec failing half way leaves the old file as it was, and no other.
  Image wide = makeImage(PEL_TYPE_BIT24, 70000, 1);
  ASSERT_TRUE(wide);
  const auto before = fs::file_size(path);
  EXPECT_FALSE(save(wide.get(), path, kJpeg));
  EXPECT_EQ(fs::file_size(path), before);
  size_t files = 0;
  for (const auto &entry : fs::directory_iterator(dir.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u);

  const std::string bad = (dir / "x%s.png").string();
  const std::string two = (dir / "x%d-%d.png").string();
  EXPECT_EQ(fioSplitImageFile(p, reinterpret_cast<intptr_t>(bad.c_str()), 0, 0), 0);
  EXPECT_EQ(fioSplitImageFile(p, reinterpret_cast<intptr_t>(two.c_str()), 0, 0), 0);
  const std::string nowhere = (dir / "none" / "x%d.png").string();
  EXPECT_EQ(fioSplitImageFile(p, reinterpret_cast<intptr_t>(nowhere.c_str()), 0, 0), 0);
  EXPECT_EQ(fioCombineImageFile(0, p, kTiff), 0);
}

} // namespace
