// SPDX-License-Identifier: MIT
#include "support.hpp"

#include "platform/platform.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace pel::fuzz {

void fail(const char *what, const char *file, int line) noexcept {
  std::fprintf(stderr, "fuzz property violated: %s (%s:%d)\n", what, file, line);
  std::fflush(stderr);
  std::abort();
}

namespace {
void quietSink(const char *, const char *) {}

std::string &scratchDir() {
  static std::string dir;
  return dir;
}
} // namespace

void setUp() noexcept {
  static bool done = false;
  if (done) return;
  done = true;
  pel::os::test::setMessageSink(quietSink);
  const char *tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/pelc-fuzz-XXXXXX";
  if (char *made = ::mkdtemp(pattern.data())) {
    scratchDir() = made;
    pelSetFileMappingPath(made);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(scratchDir(), ignored);
    });
  } else {
    scratchDir() = tmp && *tmp ? tmp : "/tmp";
  }
}

const std::string &scratchDirectory() { return scratchDir(); }

std::string scratchPath(const char *name) {
  return scratchDir() + "/" + name + "-" + std::to_string(::getpid()) + ".bmp";
}

bool writeFile(const std::string &path, const uint8_t *data, std::size_t size) {
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

uint32_t bitsPerPixel(int32_t type) noexcept {
  switch (type) {
  case PEL_TYPE_BIT1: return 1;
  case PEL_TYPE_BIT4:
  case PEL_TYPE_GREY4:
  case PEL_TYPE_RLE4: return 4;
  case PEL_TYPE_BIT8:
  case PEL_TYPE_GREY8:
  case PEL_TYPE_RLE8: return 8;
  case PEL_TYPE_BIT555:
  case PEL_TYPE_BIT565: return 16;
  case PEL_TYPE_BIT24: return 24;
  case PEL_TYPE_BIT32: return 32;
  default: return 0;
  }
}

uint64_t storeBytes(uint64_t width, uint64_t height, uint32_t bits) noexcept {
  const uint64_t line = ((width * bits + 31) >> 3) & ~uint64_t{3};
  return line * height;
}

long liveBlocks() noexcept { return pel::os::test::liveBlocks(); }

void checkImage(const PELIMAGE *image) noexcept {
  PELC_FUZZ_REQUIRE(image && image->core && image->core->header && image->core->bits);
  const IMAGECORE &core = *image->core;
  const BITMAPINFOHEADER &h = *core.header;
  uint32_t word = 0;
  BITMAPINFOHEADER copy = h;
  // The strict check ignores resolutions; a zero one is allowed here too.
  const int32_t valid = pelCheckBIH(&h, &word);
  PELC_FUZZ_REQUIRE(valid == 1 && word == 0);
  PELC_FUZZ_REQUIRE(std::memcmp(&copy, &h, sizeof h) == 0);
  PELC_FUZZ_REQUIRE(core.headerSize == pelGetBiSize(&h));
  PELC_FUZZ_REQUIRE(image->lineBytes == pelGetLineBytes(&h));
  PELC_FUZZ_REQUIRE(core.bitsSize == static_cast<uint32_t>(pelGetBitsSize(&h)));
  const bool plain = h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS;
  if (plain) {
    const uint64_t need = storeBytes(uint32_t(h.biWidth), uint32_t(h.biHeight), h.biBitCount);
    PELC_FUZZ_REQUIRE(need == core.bitsSize);
  }
  PELC_FUZZ_REQUIRE(bitsPerPixel(image->imageType) == h.biBitCount);
  PELC_FUZZ_REQUIRE((image->imageType == PEL_TYPE_RLE4) == (h.biCompression == BI_RLE4));
  PELC_FUZZ_REQUIRE((image->imageType == PEL_TYPE_RLE8) == (h.biCompression == BI_RLE8));
  PELC_FUZZ_REQUIRE(image->transpValid >= 1);
  if (core.contiguous)
    PELC_FUZZ_REQUIRE(core.bits ==
                      reinterpret_cast<const uint8_t *>(core.header) + core.headerSize);
  // Read the whole header block and store.
  volatile uint8_t sum = 0;
  const auto *block = reinterpret_cast<const uint8_t *>(core.header);
  for (uint32_t i = 0; i < core.headerSize; ++i) sum = sum + block[i];
  for (uint32_t i = 0; i < core.bitsSize; ++i) sum = sum + core.bits[i];
  (void)sum;
}

} // namespace pel::fuzz
