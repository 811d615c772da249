// SPDX-License-Identifier: MIT
//
// Helpers of the image-file tests: every call goes through pelc's forwarding
// exports, so the tests also prove that pelc reaches the library by name.
#pragma once

#include "pelc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fiotest {

namespace fs = std::filesystem;

// The Windows Imaging Component has no WebP encoder (and wine no decoder).
#if defined(_WIN32)
inline constexpr bool kWebpFiles = false;
#else
inline constexpr bool kWebpFiles = true;
#endif

// Cases a platform cannot run are named on the output, not dropped silently.
inline bool unsupported(const std::string &what) {
  if (what.find("webp") == std::string::npos || kWebpFiles) return false;
  std::printf("skipped on this platform (no WebP codec): %s\n", what.c_str());
  return true;
}

struct ImageFree {
  void operator()(PELIMAGE *image) const { pelDestroyImage(image); }
};
using Image = std::unique_ptr<PELIMAGE, ImageFree>;

inline Image load(const fs::path &path, int page = 0, int kind = 0) {
  const std::string name = path.string();
  return Image(reinterpret_cast<PELIMAGE *>(
      fioLoadImageFile(reinterpret_cast<intptr_t>(name.c_str()), kind, page, 0, 0)));
}

inline bool save(const PELIMAGE *image, const fs::path &path, int format = 0, int quality = 0) {
  const std::string name = path.string();
  return fioSaveImageFile(reinterpret_cast<intptr_t>(image),
                          reinterpret_cast<intptr_t>(name.c_str()), format, quality) == 1;
}

inline intptr_t formatOf(const fs::path &path) {
  const std::string name = path.string();
  return fioGetImageFormat(reinterpret_cast<intptr_t>(name.c_str()));
}

inline intptr_t pagesOf(const fs::path &path) {
  const std::string name = path.string();
  return fioIsMultiImageFile(reinterpret_cast<intptr_t>(name.c_str()));
}

// A fresh directory per test, removed afterwards.
class Scratch {
public:
  Scratch() {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("pelcfio-") + info->test_suite_name() + "-" + info->name();
    for (char &c : name)
      if (c == '/') c = '_';
    dir_ = fs::temp_directory_path() / name;
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  fs::path operator/(const std::string &name) const { return dir_ / name; }
  const fs::path &path() const { return dir_; }

private:
  fs::path dir_;
};

// Palette entries for the palette types: a table of the given length.
inline std::vector<RGBQUAD> randomPalette(size_t count, std::mt19937 &random) {
  std::vector<RGBQUAD> table(count);
  for (RGBQUAD &c : table) {
    c.rgbRed = static_cast<BYTE>(random());
    c.rgbGreen = static_cast<BYTE>(random());
    c.rgbBlue = static_cast<BYTE>(random());
    c.rgbReserved = 0;
  }
  return table;
}

// Colours the palette types use: a short table, so the counts kept matter.
inline uint32_t paletteCount(int type) {
  switch (type) {
  case PEL_TYPE_BIT1: return 2;
  case PEL_TYPE_BIT4: return 11;
  case PEL_TYPE_BIT8: return 200;
  default: return 0;
  }
}

// An image of random pixels (noise) or of smooth gradients (for lossy codecs).
inline Image makeImage(int type, int width, int height, bool smooth = false, unsigned seed = 1) {
  std::mt19937 random(seed * 7919u + static_cast<unsigned>(type * 131 + width));
  const uint32_t count = paletteCount(type);
  const std::vector<RGBQUAD> table = randomPalette(count ? count : 1, random);
  Image image(
      pelCreateImage(type, width, height, count ? table.data() : nullptr, count, 3780, 2835, 0));
  if (!image) return image;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t noise = static_cast<uint32_t>(random());
      if (count) {
        pelSetPixel(image.get(), noise % count, x, y);
      } else if (smooth) {
        const uint32_t r = static_cast<uint32_t>(x * 255 / (width > 1 ? width - 1 : 1));
        const uint32_t g = static_cast<uint32_t>(y * 255 / (height > 1 ? height - 1 : 1));
        const uint32_t b = (r + g) / 2;
        pelSetRGBpack(image.get(), r | (g << 8) | (b << 16), x, y);
        if (type == PEL_TYPE_BIT32) {
          const uint32_t value = pelGetPixel(image.get(), x, y);
          pelSetPixel(image.get(), value | (static_cast<uint32_t>(x * 7 + 40) & 0xFF) << 24, x, y);
        }
      } else {
        pelSetPixel(image.get(), noise, x, y);
      }
    }
  }
  return image;
}

inline uint32_t alphaAt(const PELIMAGE *image, int x, int y) {
  return image->imageType == PEL_TYPE_BIT32 ? pelGetPixel(image, x, y) >> 24 : 255;
}

inline int widthOf(const PELIMAGE *image) { return image->core->header->biWidth; }
inline int heightOf(const PELIMAGE *image) { return image->core->header->biHeight; }

// Largest and mean channel difference of the colours (and alpha) of two
// images of one size.
struct Difference {
  int largest = 0;
  double mean = 0;
};

inline Difference compare(const PELIMAGE *a, const PELIMAGE *b, bool withAlpha) {
  Difference d;
  double sum = 0;
  const int w = widthOf(a), h = heightOf(a);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t ca = pelGetRGBpack(a, x, y), cb = pelGetRGBpack(b, x, y);
      for (int shift = 0; shift < 24; shift += 8) {
        const int diff = std::abs(static_cast<int>((ca >> shift) & 0xFF) -
                                  static_cast<int>((cb >> shift) & 0xFF));
        d.largest = std::max(d.largest, diff);
        sum += diff;
      }
      if (withAlpha) {
        const int diff =
            std::abs(static_cast<int>(alphaAt(a, x, y)) - static_cast<int>(alphaAt(b, x, y)));
        d.largest = std::max(d.largest, diff);
      }
    }
  }
  d.mean = sum / (3.0 * w * h);
  return d;
}

// A detail the Windows Imaging Component (as wine has it) does not carry.
inline bool lackedOnWindows(const std::string &what, const char *reason) {
#if defined(_WIN32)
  std::printf("skipped on this platform (%s): %s\n", reason, what.c_str());
  return true;
#else
  (void)what, (void)reason;
  return false;
#endif
}

} // namespace fiotest
