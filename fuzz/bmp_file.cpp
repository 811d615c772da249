// SPDX-License-Identifier: MIT
//
// BMP files. The input is the file; its last bytes also choose the options
// (the loader ignores bytes past the pixels, so they stay part of the file).
// Every file that loads must load alike in the automatic memory kind and in a
// mapped file, give an image the rest of the library can trust, save and load
// back with an identical header block and bits, and survive a handful of
// whole-image operations. Nothing may be left allocated afterwards.
#include "support.hpp"

namespace {
using pel::fuzz::checkImage;
using pel::fuzz::Input;

// Stores above these are legal but too slow to handle at fuzzing speed.
constexpr uint64_t kLargestLoad = uint64_t{1} << 20;
constexpr uint64_t kLargestMapped = uint64_t{256} << 10;
constexpr uint64_t kLargestWorked = uint64_t{64} << 10;

constexpr std::size_t kFileHeaderBytes = 14;

// The store the file's header asks for after repair, or 0 when it is refused.
uint64_t storeOf(const uint8_t *data, std::size_t size) {
  if (size < kFileHeaderBytes + sizeof(BITMAPINFOHEADER)) return 0;
  BITMAPINFOHEADER header;
  std::memcpy(&header, data + kFileHeaderBytes, sizeof header);
  if (!pelVerifyBIH(&header, nullptr)) return 0;
  if (header.biCompression == BI_RGB || header.biCompression == BI_BITFIELDS)
    return pel::fuzz::storeBytes(uint32_t(header.biWidth), uint32_t(header.biHeight),
                                 header.biBitCount);
  return header.biSizeImage;
}

bool sameImage(const PELIMAGE *a, const PELIMAGE *b) {
  const IMAGECORE &x = *a->core;
  const IMAGECORE &y = *b->core;
  return a->imageType == b->imageType && a->lineBytes == b->lineBytes &&
         x.headerSize == y.headerSize && x.bitsSize == y.bitsSize &&
         std::memcmp(x.header, y.header, x.headerSize) == 0 &&
         std::memcmp(x.bits, y.bits, x.bitsSize) == 0;
}

// A result is either the failure value or an image to check and end.
void settle(PELIMAGE *result) {
  if (!result) return;
  checkImage(result);
  pelDestroyImage(result);
}

void work(PELIMAGE *image, Input &input) {
  const int32_t width = image->core->header->biWidth;
  const int32_t height = image->core->header->biHeight;
  const int32_t rect[4] = {int32_t(input.choose(uint32_t(width) + 2)) - 1,
                           int32_t(input.choose(uint32_t(height) + 2)) - 1,
                           int32_t(input.choose(uint32_t(width) + 2)),
                           int32_t(input.choose(uint32_t(height) + 2))};
  settle(pelCopyImage(image, rect, int32_t(input.choose(5))));
  settle(pelCvtoBit24(image));
  // A short table keeps the colour map (a search per cell) cheap.
  static const RGBQUAD kTable[4] = {
      {0, 0, 0, 0}, {255, 255, 255, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}};
  settle(pelCvtoBit8(image, kTable, 1 + input.choose(4)));
  settle(pelRotationEx(image, input.option() & 1));
  settle(pelScaleEx(image, 1 + input.choose(48), 1 + input.choose(48)));
  const int32_t offsets[3] = {int32_t(input.choose(511)) - 255, 40, -40};
  switch (input.choose(4)) {
  case 0: settle(pelGrey(image, offsets[0], 1)); break;
  case 1: settle(pelInvert(image, 1)); break;
  case 2: settle(pelGammaCorrect(image, 0.5f, 1.7f, 2.2f, 1)); break;
  default: settle(pelLuminance(image, offsets, 1)); break;
  }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  pel::fuzz::setUp();
  const uint64_t store = storeOf(data, size);
  if (store > kLargestLoad) return 0;
  static const std::string loadPath = pel::fuzz::scratchPath("load");
  static const std::string savePath = pel::fuzz::scratchPath("save");
  if (!pel::fuzz::writeFile(loadPath, data, size)) return 0;
  Input input(data, size);
  const long before = pel::fuzz::liveBlocks();

  PELIMAGE *image = pelLoadBmpFile(loadPath.c_str(), PEL_MEM_AUTO);
  if (image) checkImage(image);
  if (store <= kLargestMapped) {
    PELIMAGE *mapped = pelLoadBmpFile(loadPath.c_str(), PEL_MEM_FILE);
    PELC_FUZZ_REQUIRE((mapped != nullptr) == (image != nullptr));
    if (mapped) {
      checkImage(mapped);
      PELC_FUZZ_REQUIRE(mapped->core->memKind == PEL_MEM_FILE);
      PELC_FUZZ_REQUIRE(sameImage(image, mapped));
      pelDestroyImage(mapped);
    }
  }
  if (image) {
    PELC_FUZZ_REQUIRE(pelSaveBmpFile(image, savePath.c_str()) == 1);
    PELIMAGE *again = pelLoadBmpFile(savePath.c_str(), int32_t(1 + input.choose(4)));
    PELC_FUZZ_REQUIRE(again != nullptr);
    checkImage(again);
    PELC_FUZZ_REQUIRE(sameImage(image, again));
    pelDestroyImage(again);
    if (image->core->bitsSize <= kLargestWorked) work(image, input);
    pelDestroyImage(image);
  }
  PELC_FUZZ_REQUIRE(pel::fuzz::liveBlocks() == before);
  return 0;
}
