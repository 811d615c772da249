// SPDX-License-Identifier: MIT
//
// Operation sequences. The input's first bytes make one small image (any
// creatable type up to 64 x 64, its palette and bits, maybe a transparent
// colour); then up to 16 calls follow, each drawn from every exported
// operation, on any image made so far, with arguments taken from the input:
// hostile ones included (huge and negative sizes and margins, NaN and infinite
// angles and gammas, empty and inverted rectangles, out-of-range counts, null
// tables). What the library leaves to its caller is kept: coordinates inside
// the image, buffers large enough, tables as long as their counts.
// Every result is the failure value or an image that passes checkImage; every
// image is ended at the end and no block may be left.
#include "support.hpp"

#include "platform/platform.hpp"

#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace {
using pel::fuzz::checkImage;
using pel::fuzz::Input;

constexpr std::size_t kMaxImages = 6;
constexpr int kMaxCalls = 16;
// Results between these sizes are legal but too slow to make at fuzzing
// speed; above the second every store is refused, so those run.
constexpr uint64_t kLargestMade = uint64_t{1} << 20;
constexpr uint64_t kLargestStore = 0x7FFFFFFF;

constexpr std::array<int32_t, 9> kCreatable = {1, 2, 3, 5, 6, 8, 9, 10, 11};

// Pixel-by-pixel work on more pixels than this is too slow as well.
constexpr uint64_t kMostPixels = uint64_t{1} << 18;
// Images kept for later calls are smaller still.
constexpr uint64_t kMostPixelsKept = uint64_t{1} << 16;

bool worthMaking(uint64_t width, uint64_t height, uint32_t bits) {
  const uint64_t store = pel::fuzz::storeBytes(width, height, bits);
  return (store <= kLargestMade && width * height <= kMostPixels) || store > kLargestStore;
}

struct Run {
  Input &in;
  std::vector<PELIMAGE *> images;
  IMAGELIST *list = nullptr;
  std::array<RGBQUAD, 256> palette{};

  explicit Run(Input &input) : in(input) {}
  Run(const Run &) = delete;
  Run &operator=(const Run &) = delete;

  ~Run() {
    for (PELIMAGE *image : images) pelDestroyImage(image);
    pelDestroyImagelist(list);
  }

  // -- arguments ------------------------------------------------------------
  uint32_t u32() { return in.take<uint32_t>(); }
  int32_t i32() { return in.take<int32_t>(); }
  uint8_t u8() { return in.take<uint8_t>(); }
  uint32_t u16Bounded() { return in.take<uint16_t>() % 4097; }

  // A count or size: mostly small, sometimes an edge of the integer range.
  uint32_t hostile() {
    static constexpr uint32_t kEdges[] = {0,          1,          2,          0x7FFFFFFF,
                                          0x80000000, 0xFFFFFFFF, 0xFFFFFFFE, 0x10000,
                                          0xFFFF,     0x40000000, 0x20000000, 46341};
    const uint8_t mode = u8();
    if (mode < 160) return 1 + mode % 96;
    if (mode < 224) return kEdges[mode % std::size(kEdges)];
    return u32();
  }
  int32_t hostileSigned() {
    const uint8_t sign = u8();
    const auto value = static_cast<int32_t>(hostile());
    return (sign & 1) ? static_cast<int32_t>(0u - static_cast<uint32_t>(value)) : value;
  }
  float hostileFloat() {
    static constexpr float kEdges[] = {0.0f,
                                       -0.0f,
                                       1.0f,
                                       -1.0f,
                                       std::numeric_limits<float>::quiet_NaN(),
                                       std::numeric_limits<float>::infinity(),
                                       -std::numeric_limits<float>::infinity(),
                                       std::numeric_limits<float>::max(),
                                       std::numeric_limits<float>::denorm_min(),
                                       1e-30f,
                                       1e30f,
                                       3.14159265f,
                                       1.57079633f,
                                       -6.28318531f};
    const uint8_t mode = u8();
    if (mode < 128) return static_cast<float>(mode) / 16.0f - 4.0f;
    if (mode < 224) return kEdges[mode % std::size(kEdges)];
    float value;
    const uint32_t raw = u32();
    std::memcpy(&value, &raw, sizeof value);
    return value;
  }
  int32_t kind() { return static_cast<int32_t>(u8() % 8); } // 6 and 7 are no kind
  // A memory kind for images that are really made (the mapped-file kind is
  // slow: one file per image).
  int32_t madeKind() {
    const uint8_t value = u8();
    return value == 255 ? PEL_MEM_FILE : static_cast<int32_t>(value % 5);
  }
  // A table pointer: null, or the run's table (always 256 entries).
  const RGBQUAD *table() { return (u8() & 3) == 0 ? nullptr : palette.data(); }
  // A rectangle: null, or four sides near the image or anywhere.
  const int32_t *rect(const PELIMAGE *image, std::array<int32_t, 4> &sides) {
    const uint8_t mode = u8();
    if (mode < 32) return nullptr;
    const int32_t w = image->core->header->biWidth, h = image->core->header->biHeight;
    if (mode < 192) {
      sides = {int32_t(u8() % (w + 4)) - 2, int32_t(u8() % (h + 4)) - 2,
               int32_t(u8() % (w + 4)) - 2, int32_t(u8() % (h + 4)) - 2};
    } else {
      sides = {hostileSigned(), hostileSigned(), hostileSigned(), hostileSigned()};
    }
    return sides.data();
  }

  // -- images ---------------------------------------------------------------
  PELIMAGE *pick() { return images[in.option() % images.size()]; }

  static uint32_t width(const PELIMAGE *image) { return uint32_t(image->core->header->biWidth); }
  static uint32_t height(const PELIMAGE *image) { return uint32_t(image->core->header->biHeight); }
  static bool runLength(const PELIMAGE *image) {
    return image->imageType == PEL_TYPE_RLE4 || image->imageType == PEL_TYPE_RLE8;
  }

  // Takes a new image from an operation: checked, then kept or ended.
  void adopt(PELIMAGE *result) {
    if (!result) return;
    checkImage(result);
    if (images.size() < kMaxImages && uint64_t(width(result)) * height(result) <= kMostPixelsKept) {
      images.push_back(result);
    } else {
      pelDestroyImage(result);
    }
  }
  // An in-place tone operation gives the image itself or null; a copy gives
  // a new image or null.
  void toned(PELIMAGE *source, PELIMAGE *result, int32_t copy) {
    if (!copy) {
      PELC_FUZZ_REQUIRE(result == nullptr || result == source);
      return;
    }
    PELC_FUZZ_REQUIRE(result != source);
    adopt(result);
  }
  void remove(PELIMAGE *image) {
    for (auto it = images.begin(); it != images.end(); ++it)
      if (*it == image) {
        images.erase(it);
        return;
      }
  }

  bool makeFirst() {
    const int32_t type = kCreatable[in.option() % kCreatable.size()];
    const uint8_t shape = in.option();
    int32_t w = 1 + u8() % 64, h = 1 + u8() % 64;
    if (shape & 1) w = -w;
    if (shape & 2) h = -h;
    const uint32_t entries = u8();
    for (uint32_t i = 0; i <= entries && in.remaining(); ++i) in.read(&palette[i], sizeof(RGBQUAD));
    const uint32_t count = (shape & 4) ? hostile() : entries + 1;
    PELIMAGE *image = nullptr;
    if ((shape & 0xC0) == 0xC0) {
      // A run-length image: its bits are a stream of any length, no grid.
      const bool eight = type > 5;
      BITMAPINFOHEADER header{};
      header.biSize = sizeof header;
      header.biWidth = w;
      header.biHeight = h;
      header.biPlanes = 1;
      header.biBitCount = eight ? 8 : 4;
      header.biCompression = eight ? BI_RLE8 : BI_RLE4;
      header.biSizeImage = 1 + u16Bounded();
      image = pelCreateImageEx(&header, (shape & 8) ? palette.data() : nullptr, madeKind());
    } else {
      image = pelCreateImage(type, w, h, (shape & 8) ? palette.data() : nullptr, count,
                             (shape & 16) ? i32() : 0, i32(), madeKind());
    }
    PELC_FUZZ_REQUIRE(image != nullptr);
    checkImage(image);
    in.read(image->core->bits, image->core->bitsSize);
    if (shape & 32) pelSetTranspClr(image, u32());
    images.push_back(image);
    return true;
  }

  // -- the calls ------------------------------------------------------------
  void call(uint8_t which);
  void header(PELIMAGE *image);
  void pixels(PELIMAGE *image);
  void lines(PELIMAGE *image);
  void memory();
  void files(PELIMAGE *image);
  void listCall(PELIMAGE *image);
  void gdi(PELIMAGE *image);
  void createEx();
};

void Run::header(PELIMAGE *image) {
  const BITMAPINFOHEADER *h = image->core->header;
  const uint32_t bits = u8();
  (void)pelCalcClrUsed(bits);
  PELC_FUZZ_REQUIRE(pelGetClrUsed(h) == (h->biBitCount <= 8 ? h->biClrUsed : 0));
  (void)pelGetSafeClrUsed(u32(), bits);
  (void)pelCalcBiSize(bits);
  (void)pelCalcLineBytes(i32(), u32());
  (void)pelCalcDDBLineBytes(i32(), u32());
  (void)pelCalcOCRLineBytes(i32(), u32());
  (void)pelCalcBitsSize(i32(), i32(), u32());
  (void)pelGetBitsSize(h);
  (void)pelCheckBitCount(i32());
  int32_t dpi[2] = {0, 0};
  pelGetScreenDPI(dpi, (u8() & 1) ? nullptr : dpi + 1);
  PELC_FUZZ_REQUIRE(dpi[0] > 0);
  pelGetScreenDPI(nullptr, nullptr);
  const int32_t type = pelGetImageTypeEx(h, u8() & 1);
  PELC_FUZZ_REQUIRE(pel::fuzz::bitsPerPixel(type) == h->biBitCount);
  // Validation of a copy; the repaired copy's message box says nothing here.
  std::vector<uint8_t> block(reinterpret_cast<const uint8_t *>(h),
                             reinterpret_cast<const uint8_t *>(h) + image->core->headerSize);
  auto *copy = reinterpret_cast<BITMAPINFOHEADER *>(block.data());
  uint32_t word = 0;
  PELC_FUZZ_REQUIRE(pelCheckBIH(copy, &word) == 1);
  PELC_FUZZ_REQUIRE(pelVerifyBIH(copy, &word) == 1);
  pelPopupVerifyBIHInfo(copy, u32());
}

void Run::pixels(PELIMAGE *image) {
  if (runLength(image)) return; // their bits are no grid of pixels
  const uint32_t x = u32() % width(image), y = u32() % height(image);
  const uint32_t value = u32(), colour = u32();
  const uint32_t before = pelGetPixel(image, x, y);
  pelSetPixel(image, value, x, y);
  (void)pelGetRGBpack(image, x, y);
  (void)pelSetRGBpack(image, colour, x, y);
  uint8_t rgb[3] = {u8(), u8(), u8()};
  pelSetRGB(image, rgb, x, y);
  pelGetRGB(image, rgb, x, y);
  (void)pelRGBColor2DIBData(image, colour);
  (void)pelDIBData2RGBColor(image, value);
  pelSetPixel(image, before, x, y);
  PELC_FUZZ_REQUIRE(pelGetPixel(image, x, y) == before);
  const uint32_t fx = (u8() & 1) ? u32() : u32() % 1025, fy = u32() % 1025;
  (void)pelGetMixPixel(image, x, y, fx, fy);
  (void)pelGetMixRGBpack(image, x, y, fx, fy);
  pelGetMixRGB(image, rgb, x, y, fx, fy);
  (void)pelGetNearestColorIndex(palette.data(), u32() % 257, colour);
}

void Run::lines(PELIMAGE *image) {
  if (runLength(image)) return;
  const uint32_t w = width(image);
  uint32_t x0 = u32() % w, x1 = u32() % w;
  if (x0 > x1) std::swap(x0, x1);
  ++x1;
  const uint32_t y = u32() % height(image);
  std::vector<uint8_t> buffer(std::size_t(w) * 4 + 1);
  PELC_FUZZ_REQUIRE(pelGetHorLine(buffer.data(), image, x0, x1, y) == 1);
  PELC_FUZZ_REQUIRE(pelGetRevHorLine(buffer.data(), image, x0, x1, y) == 1);
  PELC_FUZZ_REQUIRE(pelGetHorLine(buffer.data(), image, x0, x1, y) == 1);
  PELC_FUZZ_REQUIRE(pelSetHorLine(image, buffer.data(), x0, x1, y) == 1);
  // Byte-block helpers on buffers of their own.
  const uint32_t fw = 1 + u8() % 16, fh = 1 + u8() % 4;
  // A 24-bit block: lines padded to four bytes.
  std::vector<uint8_t> block(std::size_t(pelCalcLineBytes(int32_t(fw), 24)) * fh);
  pelFill24bitColor(block.data(), u32(), fw, fh);
  const uint32_t count = 1 + u8() % uint32_t(block.size());
  pelShiftLeft(block.data(), block.data(), count, uint8_t(u8() % 9));
  std::vector<uint8_t> target(count);
  pelShiftLeft(target.data(), block.data(), count, uint8_t(u8() % 9));
}

void Run::memory() {
  const uint32_t size = hostile();
  if (size > kLargestMade) return; // raw blocks of any size are legal
  const int32_t k = kind();
  if (k == PEL_MEM_FILE && size > (1u << 16)) return;
  void *block = pelMemAlloc(size, k);
  if (k < 1 || k > 5) PELC_FUZZ_REQUIRE(block == nullptr);
  if (block && size) static_cast<uint8_t *>(block)[size - 1] = 1;
  pelMemFree(block, k);
  const uint32_t headerSize = u16Bounded(), bitsSize = u16Bounded();
  IMAGECORE *core = pelCoreAlloc(headerSize, bitsSize, kind() % 6, u8() & 1);
  if (core) {
    PELC_FUZZ_REQUIRE(core->headerSize == headerSize && core->bitsSize == bitsSize);
    if (headerSize) reinterpret_cast<uint8_t *>(core->header)[headerSize - 1] = 1;
    if (bitsSize) core->bits[bitsSize - 1] = 1;
  }
  pelCoreFree(core);
  void *mapped = pelAllocFileMapping(1 + u8());
  pelFreeFileMapping(mapped);
  if (u8() < 16) {
    // A directory that cannot take files gives no block; a path too long to
    // keep may be refused (the directory stays) or cut, but never overruns.
    const bool tooLong = u8() & 1;
    const std::string missing = tooLong ? std::string(300 + u8(), 'd') : "/nonexistent/dir";
    pelSetFileMappingPath(missing.c_str());
    void *nowhere = pelAllocFileMapping(64);
    if (!tooLong) PELC_FUZZ_REQUIRE(nowhere == nullptr);
    pelFreeFileMapping(nowhere);
    pelSetFileMappingPath(pel::fuzz::scratchDirectory().c_str());
  }
  pelFreeFileMapping(palette.data()); // not a mapping: ignored
  uint8_t *map =
      pelCreate4096Map(palette.data(), (u8() & 1) ? int32_t(-int64_t(hostile() % 0x80000001u))
                                                  : int32_t(u32() % 257));
  pelRelease4096Map(map);
  std::array<RGBQUAD, 256> standard{};
  const uint32_t paletteKind = u8() % 7;
  const int32_t made = pelCreateGDIColors(standard.data(), paletteKind);
  PELC_FUZZ_REQUIRE(made == (paletteKind <= 4 ? 1 : 0));
  if (made) PELC_FUZZ_REQUIRE(pelIsGDIColors(standard.data(), paletteKind) == 1);
  (void)pelIsGDIColors(palette.data(), u8() % 7);
  (void)pelGetPrivateVersion();
  PELC_FUZZ_REQUIRE(pelGetPublicVersion() != nullptr);
}

void Run::files(PELIMAGE *image) {
  static const std::string path = pel::fuzz::scratchPath("operations");
  if (image->core->bitsSize > kLargestMade / 4) return;
  PELC_FUZZ_REQUIRE(pelSaveBmpFile(image, path.c_str()) == 1);
  if (std::FILE *file = std::fopen(path.c_str(), "rb")) {
    const int32_t length = fileGetLength(file);
    PELC_FUZZ_REQUIRE(uint32_t(length) == 14 + image->core->headerSize + image->core->bitsSize);
    std::fclose(file);
  }
  PELC_FUZZ_REQUIRE(fileGetLength(nullptr) == -1);
  PELIMAGE *loaded = pelLoadBmpFile(path.c_str(), madeKind());
  PELC_FUZZ_REQUIRE(loaded != nullptr);
  PELC_FUZZ_REQUIRE(std::memcmp(loaded->core->bits, image->core->bits, image->core->bitsSize) == 0);
  adopt(loaded);
  // The forwarded image-file calls find no sibling library here: 0.
  PELC_FUZZ_REQUIRE(fioGetImageFormat(0) == 0 && fioIsMultiImageFile(0) == 0);
  PELC_FUZZ_REQUIRE(fioGetImageFormatFromExt(0) == 0 && fioLoadImageFile(0, 0, 0, 0, 0) == 0);
  PELC_FUZZ_REQUIRE(fioSaveImageFile(0, 0, 0, 0) == 0 && fioSplitImageFile(0, 0, 0, 0) == 0);
  PELC_FUZZ_REQUIRE(fioCombineImageFile(0, 0, 0) == 0);
}

void Run::listCall(PELIMAGE *image) {
  if (!list) {
    list = pelCreateImagelist(u8() & 1 ? hostile() % 4096 : 0);
    if (!list) return;
    PELC_FUZZ_REQUIRE(list->capacity >= 32 && list->count == 0);
  }
  const uint32_t index = (u8() & 1) ? u32() : u32() % (list->count + 2);
  auto copyOf = [&]() { return pelCopyImage(image, nullptr, madeKind()); };
  switch (u8() % 9) {
  case 0:
  case 1:
    if (PELIMAGE *copy = copyOf()) {
      if ((index & 1 ? pelAddImage(list, copy) : pelInsertImage(list, index, copy)) < 0)
        pelDestroyImage(copy);
    }
    break;
  case 2:
    if (PELIMAGE *out = pelGetOutImage(list, index)) adopt(out);
    break;
  case 3: (void)pelRemoveImage(list, index); break;
  case 4:
    if (PELIMAGE *entry = pelGetAtImage(list, index)) checkImage(entry);
    break;
  case 5:
    if (PELIMAGE *copy = copyOf())
      if (!pelSetAtImage(list, index, copy)) pelDestroyImage(copy);
    break;
  case 6:
    if (PELIMAGE *copy = copyOf()) {
      PELIMAGE *previous = pelReplaceImage(list, index, copy);
      if (previous) {
        adopt(previous);
      } else if (index >= list->count || pelGetAtImage(list, index) != copy) {
        pelDestroyImage(copy);
      }
    }
    break;
  case 7: {
    const uint32_t capacity = hostile();
    if (capacity <= 0x10000) (void)pelReallocImagelist(list, capacity);
    break;
  }
  default: PELC_FUZZ_REQUIRE(pelReplaceImageInside() == 0); break;
  }
  PELC_FUZZ_REQUIRE(list->count <= list->capacity && list->capacity >= 32);
  for (uint32_t i = 0; i < list->count; ++i) checkImage(list->images[i]);
}

void Run::gdi(PELIMAGE *image) {
  std::array<int32_t, 4> sides{};
  switch (u8() % 4) {
  case 0: {
    // A packed DIB block, handed out and taken back.
    PELIMAGE *copy = pelCopyImage(image, nullptr, madeKind());
    if (!copy) return;
    HGLOBAL block = pelDetachDIB(copy);
    if (!block) {
      pelDestroyImage(copy);
      return;
    }
    adopt(pelCopyDIB(block, rect(image, sides), 0, madeKind()));
    PELIMAGE *attached = pelAttachDIB(block);
    if (attached) {
      adopt(attached);
    } else {
      pel::os::GlobalFree(block);
    }
    break;
  }
  case 1:
  case 2: {
    HBITMAP bitmap = pelCreateDDB(image);
    if (!bitmap) return;
    static constexpr int32_t kBits[] = {0, 1, 4, 8, 16, 24, 32, 2, -1, 0x10008};
    const int32_t bits = kBits[u8() % std::size(kBits)];
    adopt(pelCopyDDB(bitmap, rect(image, sides), bits, madeKind()));
    PELIMAGE *attached = pelAttachDDB(bitmap, bits, madeKind());
    if (attached) {
      adopt(attached);
    } else {
      pel::os::DeleteObject(bitmap);
    }
    break;
  }
  default: {
    PELIMAGE *copy = pelCopyImage(image, nullptr, madeKind());
    if (!copy) return;
    if (HBITMAP bitmap = pelDetachDDB(copy)) pel::os::DeleteObject(bitmap);
    break;
  }
  }
}

void Run::createEx() {
  std::vector<uint8_t> block(sizeof(BITMAPINFOHEADER) + 1024);
  in.read(block.data(), sizeof(BITMAPINFOHEADER));
  std::memcpy(block.data() + sizeof(BITMAPINFOHEADER), palette.data(), 1024);
  auto *h = reinterpret_cast<BITMAPINFOHEADER *>(block.data());
  BITMAPINFOHEADER repaired = *h;
  if (pelVerifyBIH(&repaired, nullptr)) {
    const bool plain = repaired.biCompression == BI_RGB || repaired.biCompression == BI_BITFIELDS;
    const uint64_t store =
        plain ? pel::fuzz::storeBytes(uint32_t(repaired.biWidth), uint32_t(repaired.biHeight),
                                      repaired.biBitCount)
              : repaired.biSizeImage;
    if (store > kLargestMade) return;
  }
  adopt(pelCreateImageEx(h, table(), madeKind()));
}

void Run::call(uint8_t which) {
  PELIMAGE *image = pick();
  std::array<int32_t, 4> sides{};
  const auto bits = [](const PELIMAGE *i) { return uint32_t(i->core->header->biBitCount); };
  switch (which % 40) {
  case 0: adopt(pelCopyImage(image, rect(image, sides), madeKind())); break;
  case 1: adopt(pelCvtoBit1(image)); break;
  case 2: adopt(pelCvtoBit4(image, table(), hostile())); break;
  case 3: adopt(pelCvtoBit8(image, table(), hostile())); break;
  case 4: adopt(pelCvtoBit555(image)); break;
  case 5: adopt(pelCvtoBit565(image)); break;
  case 6: adopt(pelCvtoBit24(image)); break;
  case 7: adopt(pelCvtoBit32(image)); break;
  case 8: adopt(pelCvtoBit4Grey(image)); break;
  case 9: adopt(pelCvtoBit8Grey(image)); break;
  case 10: {
    const int32_t copy = u8() & 1;
    toned(image, pelGrey(image, hostileSigned(), copy), copy);
    break;
  }
  case 11: {
    const int32_t copy = u8() & 1;
    toned(image, pelInvert(image, copy), copy);
    break;
  }
  case 12: {
    const int32_t copy = u8() & 1;
    const float r = hostileFloat(), g = hostileFloat(), b = hostileFloat();
    toned(image, pelGammaCorrect(image, r, g, b, copy), copy);
    break;
  }
  case 13: {
    const int32_t copy = u8() & 1;
    const int32_t offsets[3] = {hostileSigned(), hostileSigned(), hostileSigned()};
    toned(image, pelLuminance(image, (u8() & 7) ? offsets : nullptr, copy), copy);
    break;
  }
  case 14: {
    const int32_t copy = u8() & 1;
    const int32_t brightness[3] = {hostileSigned(), hostileSigned(), hostileSigned()};
    const int32_t contrast[3] = {hostileSigned(), hostileSigned(), hostileSigned()};
    const uint8_t nulls = u8();
    toned(image,
          pelContrast(image, (nulls & 1) ? nullptr : brightness, (nulls & 2) ? nullptr : contrast,
                      copy),
          copy);
    break;
  }
  case 15: {
    const int32_t copy = u8() & 1;
    const int32_t hue = hostileSigned(), lightness = hostileSigned(), saturation = hostileSigned();
    toned(image, pelSaturation(image, hue, lightness, saturation, copy), copy);
    break;
  }
  case 16: adopt(pelRotationEx(image, i32())); break;
  case 17: adopt(pelRotateAngleEx(image, hostileFloat(), u32())); break;
  case 18: {
    const uint32_t w = hostile(), h = hostile();
    if (worthMaking(w, h, bits(image))) adopt(pelScaleEx(image, w, h));
    break;
  }
  case 19: adopt(pelMirror(image, u32())); break;
  case 20: {
    const int32_t left = hostileSigned(), top = hostileSigned(), right = hostileSigned(),
                  bottom = hostileSigned();
    const int64_t w = int64_t(width(image)) + left + right;
    const int64_t h = int64_t(height(image)) + top + bottom;
    if (w <= 0 || h <= 0 || worthMaking(uint64_t(w), uint64_t(h), bits(image)))
      adopt(pelFixBorder(image, left, top, right, bottom, u32()));
    break;
  }
  case 21: (void)pelFillColor(image, u32()); break;
  case 22: (void)pelSwapColor(image); break;
  case 23: (void)pelSwapHeight(image); break;
  case 24:
  case 25: pixels(image); break;
  case 26: lines(image); break;
  case 27: {
    pelSetTranspClr(image, (u8() & 1) ? 0xFFFFFFFF : u32());
    const uint32_t colour = pelGetTranspClr(image);
    PELC_FUZZ_REQUIRE(pelIsTranspClr(image) == (colour != 0xFFFFFFFF ? 1 : 0));
    pelSynchronization(pick(), image);
    break;
  }
  case 28:
    pelUpdateImageInfo(image, u8() & 1, u8() & 1, u8() & 1);
    if (u8() & 1) pelUpdateColors(image);
    break;
  case 29: {
    // Temporary handles over the image's own memory.
    PELIMAGE *temporary = image->core->contiguous
                              ? pelGetTempPELIMAGE(image->core->header)
                              : pelGetTempPELIMAGEx(image->core->header, image->core->bits);
    PELC_FUZZ_REQUIRE(temporary != nullptr);
    checkImage(temporary);
    adopt(pelCopyImage(temporary, rect(image, sides), madeKind()));
    pelReleaseTempPELIMAGE(temporary);
    break;
  }
  case 30: header(image); break;
  case 31: memory(); break;
  case 32: files(image); break;
  case 33:
  case 34: listCall(image); break;
  case 35:
  case 36: gdi(image); break;
  case 37: createEx(); break;
  case 38:
    if (images.size() > 1) {
      remove(image);
      if (u8() & 1) {
        pelReleaseTempPELIMAGE(image); // an ordinary image is ended completely
      } else {
        pelDestroyImage(image);
      }
    }
    break;
  default: {
    // Null images: the operations that accept them answer with failure.
    PELC_FUZZ_REQUIRE(pelCopyImage(nullptr, nullptr, 0) == nullptr);
    PELC_FUZZ_REQUIRE(pelFillColor(nullptr, 0) == 0 && pelSwapColor(nullptr) == 0);
    PELC_FUZZ_REQUIRE(pelSwapHeight(nullptr) == 0 && pelCvtoBit24(nullptr) == nullptr);
    PELC_FUZZ_REQUIRE(pelGrey(nullptr, 0, 1) == nullptr && pelRotationEx(nullptr, 0) == nullptr);
    PELC_FUZZ_REQUIRE(pelSaveBmpFile(nullptr, "unused") == 0 && pelDetachDIB(nullptr) == nullptr);
    pelDestroyImage(nullptr);
    pelReleaseTempPELIMAGE(nullptr);
    break;
  }
  }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  pel::fuzz::setUp();
  if (size < 4) return 0;
  Input input(data, size);
  const long before = pel::fuzz::liveBlocks();
  {
    Run run(input);
    run.makeFirst();
    const int calls = 1 + input.option() % kMaxCalls;
    for (int i = 0; i < calls && (input.remaining() || i == 0); ++i) {
      run.call(input.option());
      for (PELIMAGE *image : run.images) checkImage(image);
    }
  }
  PELC_FUZZ_REQUIRE(pel::fuzz::liveBlocks() == before);
  return 0;
}
