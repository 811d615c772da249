// SPDX-License-Identifier: MIT
// Hostile files: cut short, claiming absurd sizes, or noise behind a valid
// signature. Each is refused (or read) without a crash or an unbounded
// allocation; the sanitizer build runs the same cases.
#include "support.hpp"

#include <array>
#include <fstream>
#include <iterator>

using namespace fiotest;

namespace {

std::vector<uint8_t> readBytes(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path &path, const std::vector<uint8_t> &bytes, size_t length) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(length));
}

uint32_t crc32(const uint8_t *data, size_t length) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void putBig32(uint8_t *at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v >> 24), at[1] = static_cast<uint8_t>(v >> 16);
  at[2] = static_cast<uint8_t>(v >> 8), at[3] = static_cast<uint8_t>(v);
}

// Loads every page the file claims and asks for its page count.
void touch(const fs::path &path) {
  const intptr_t pages = pagesOf(path);
  for (intptr_t page = 0; page < std::max<intptr_t>(pages, 1) && page < 4; ++page)
    load(path, static_cast<int>(page));
}

struct Sample {
  const char *name;
  int type;
  bool multiPage;
};

const Sample kSamples[] = {
    {"a.png", PEL_TYPE_BIT24, false}, {"b.png", PEL_TYPE_BIT4, false},
    {"a.jpg", PEL_TYPE_BIT24, false}, {"a.tif", PEL_TYPE_BIT24, true},
    {"a.gif", PEL_TYPE_BIT8, true},   {"a.webp", PEL_TYPE_BIT32, false},
};

fs::path writeSample(const Scratch &dir, const Sample &s) {
  const fs::path path = dir / s.name;
  Image image = makeImage(s.type, 41, 29);
  if (s.multiPage) {
    IMAGELIST *list = pelCreateImagelist(0);
    pelAddImage(list, pelCopyImage(image.get(), nullptr, 0));
    pelAddImage(list, pelCopyImage(image.get(), nullptr, 0));
    const std::string name = path.string();
    EXPECT_EQ(fioCombineImageFile(reinterpret_cast<intptr_t>(list),
                                  reinterpret_cast<intptr_t>(name.c_str()), 0),
              1);
    pelDestroyImagelist(list);
  } else {
    EXPECT_TRUE(save(image.get(), path, 0, 100));
  }
  return path;
}

// Samples this platform cannot write or read back, each skip saying why.
bool skipped(const Sample &s) {
  return unsupported(s.name) ||
         (std::string(s.name) == "a.gif" &&
          lackedOnWindows("gif", "wine's GIF encoder writes corrupt pixel data"));
}

TEST(Hostile, TruncatedFilesAreRefused) {
  Scratch dir;
  for (const Sample &s : kSamples) {
    if (skipped(s)) continue;
    SCOPED_TRACE(s.name);
    const std::vector<uint8_t> bytes = readBytes(writeSample(dir, s));
    ASSERT_GT(bytes.size(), 64u);
    const fs::path cut = dir / (std::string("cut-") + s.name);
    for (size_t length : {size_t{0}, size_t{1}, size_t{7}, size_t{16}, size_t{40}, bytes.size() / 4,
                          bytes.size() / 2, bytes.size() * 3 / 4, bytes.size() - 1}) {
      writeBytes(cut, bytes, length);
      if (length <= bytes.size() / 2) {
        EXPECT_FALSE(load(cut)) << length;
      }
      touch(cut);
    }
  }
}

TEST(Hostile, NoiseBehindSignatures) {
  Scratch dir;
  for (const Sample &s : kSamples) {
    if (skipped(s)) continue;
    SCOPED_TRACE(s.name);
    const std::vector<uint8_t> bytes = readBytes(writeSample(dir, s));
    std::mt19937 random(7);
    const fs::path noisy = dir / (std::string("noisy-") + s.name);
    for (int round = 0; round < 24; ++round) {
      std::vector<uint8_t> copy = bytes;
      // Flip a few bytes past the signature.
      for (int k = 0; k < 1 + round % 6; ++k)
        copy[12 + random() % (copy.size() - 12)] = static_cast<uint8_t>(random());
      writeBytes(noisy, copy, copy.size());
      touch(noisy);
    }
  }
}

TEST(Hostile, AbsurdSizesAreRefused) {
  Scratch dir;
  // A tiny PNG claiming 100000 x 100000, in colour and in one bit of grey.
  for (int colour : {2, 0}) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::array<uint8_t, 25> ihdr = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    putBig32(&ihdr[8], 100000);
    putBig32(&ihdr[12], 100000);
    ihdr[16] = colour == 2 ? 8 : 1;
    ihdr[17] = static_cast<uint8_t>(colour);
    putBig32(&ihdr[21], crc32(&ihdr[4], 17));
    png.insert(png.end(), ihdr.begin(), ihdr.end());
    // A zlib stream of one zero byte, then the end.
    std::array<uint8_t, 21> idat = {0,    0,    0, 9, 'I', 'D', 'A', 'T', 0x78,
                                    0x9c, 0x63, 0, 0, 0,   1,   0,   1};
    putBig32(&idat[17], crc32(&idat[4], 13));
    png.insert(png.end(), idat.begin(), idat.end());
    const uint8_t iend[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    png.insert(png.end(), std::begin(iend), std::end(iend));
    writeBytes(dir / "bomb.png", png, png.size());
    EXPECT_EQ(formatOf(dir / "bomb.png"), 2);
    EXPECT_FALSE(load(dir / "bomb.png")) << colour;
  }

  // Real files with their sizes rewritten.
  const auto patched = [&](const Sample &s, auto patch) {
    std::vector<uint8_t> bytes = readBytes(writeSample(dir, s));
    patch(bytes);
    const fs::path path = dir / (std::string("big-") + s.name);
    writeBytes(path, bytes, bytes.size());
    return path;
  };
  // JPEG: the frame header's height and width.
  const fs::path jpeg = patched(kSamples[2], [](std::vector<uint8_t> &b) {
    for (size_t i = 2; i + 9 < b.size(); ++i)
      if (b[i] == 0xFF && b[i + 1] == 0xC0) {
        b[i + 5] = b[i + 7] = 0xFF;
        b[i + 6] = b[i + 8] = 0xDC;
        break;
      }
  });
  EXPECT_FALSE(load(jpeg));
  // TIFF: width and length of every directory entry that holds them.
  const fs::path tiff = patched(kSamples[3], [](std::vector<uint8_t> &b) {
    uint32_t ifd = b[4] | b[5] << 8 | b[6] << 16 | static_cast<uint32_t>(b[7]) << 24;
    const uint32_t entries = b[ifd] | b[ifd + 1] << 8;
    for (uint32_t e = 0; e < entries; ++e) {
      uint8_t *entry = &b[ifd + 2 + 12 * e];
      const uint32_t tag = entry[0] | entry[1] << 8;
      if (tag == 256 || tag == 257) {
        entry[2] = 4, entry[3] = 0;                                        // LONG
        entry[8] = 0x40, entry[9] = 0x42, entry[10] = 0x0F, entry[11] = 0; // 1000000
      }
    }
  });
  EXPECT_FALSE(load(tiff));
  // GIF: the logical screen.
  if (lackedOnWindows("absurd gif", "wine's GIF encoder writes corrupt pixel data")) return;
  const fs::path gif =
      patched(kSamples[4], [](std::vector<uint8_t> &b) { b[6] = b[7] = b[8] = b[9] = 0xFF; });
  EXPECT_FALSE(load(gif));
  EXPECT_FALSE(load(gif, 1));
  // WebP (lossless): the largest size the format can state.
  if (unsupported("absurd webp")) return;
  const fs::path webp = patched(kSamples[5], [](std::vector<uint8_t> &b) {
    ASSERT_EQ(b[15], 'L');
    ASSERT_EQ(b[20], 0x2f);
    b[21] = 0xFF, b[22] = 0xFF, b[23] = 0xFF, b[24] = (b[24] & 0xF0) | 0x0F;
  });
  EXPECT_FALSE(load(webp));
}

} // namespace
