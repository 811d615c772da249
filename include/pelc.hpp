// SPDX-License-Identifier: MIT
//
// pelc for C++17: owning handles over the C interface of pelc.h, header-only.
//
// - pel::Image owns a PELIMAGE* and ends it with pelDestroyImage; it moves but
//   never copies (copy() makes a new image on purpose). An Image that holds no
//   handle tests false: every creating function returns one on failure.
// - Nothing throws and nothing allocates beyond what the C calls do, so the
//   header works with -fno-exceptions.
// - get() lends the handle to C calls; release() gives it up, for the calls
//   that take a handle over (image lists, the detach operations).
// - Lines and pixels are views (pointer and count) into the image's own bits.
#ifndef PELC_HPP
#define PELC_HPP

#include "pelc.h"
#include "pelc_version.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace pel {

// The release of the installed headers (the C version queries keep their
// historical answers).
inline constexpr int kVersionMajor = PELC_VERSION_MAJOR;
inline constexpr int kVersionMinor = PELC_VERSION_MINOR;
inline constexpr int kVersionPatch = PELC_VERSION_PATCH;
inline constexpr const char *kVersion = PELC_VERSION_STRING;

// A colour as one RGBpack number, 0x00BBGGRR.
constexpr std::uint32_t rgbPack(std::uint8_t red, std::uint8_t green, std::uint8_t blue) noexcept {
  return std::uint32_t{red} | std::uint32_t{green} << 8 | std::uint32_t{blue} << 16;
}
constexpr std::uint8_t redOf(std::uint32_t pack) noexcept { return pack & 0xFF; }
constexpr std::uint8_t greenOf(std::uint32_t pack) noexcept { return (pack >> 8) & 0xFF; }
constexpr std::uint8_t blueOf(std::uint32_t pack) noexcept { return (pack >> 16) & 0xFF; }
inline constexpr std::uint32_t kNoColour = 0xFFFFFFFFu;

// A run of T in memory that someone else owns: what std::span is in C++20.
template <class T> class Span {
public:
  constexpr Span() noexcept = default;
  constexpr Span(T *data, std::size_t size) noexcept : data_(data), size_(size) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U (*)[], T (*)[]>>>
  constexpr Span(Span<U> other) noexcept : data_(other.data()), size_(other.size()) {}

  constexpr T *data() const noexcept { return data_; }
  constexpr std::size_t size() const noexcept { return size_; }
  constexpr bool empty() const noexcept { return size_ == 0; }
  constexpr T *begin() const noexcept { return data_; }
  constexpr T *end() const noexcept { return data_ + size_; }
  constexpr T &operator[](std::size_t i) const noexcept { return data_[i]; }

private:
  T *data_ = nullptr;
  std::size_t size_ = 0;
};

// Pixel types for typed line views, by stored bit count.
struct Bgr {
  std::uint8_t blue, green, red;
};
static_assert(sizeof(Bgr) == 3, "a 24-bit pixel is three bytes");
// 8 bits: std::uint8_t; 16 bits: std::uint16_t; 24 bits: Bgr; 32 bits: RGBQUAD
// or std::uint32_t.

enum class Mirror : std::uint32_t { LeftRight = 0, TopBottom = 1, Both = 2 };

// A rectangle in picture coordinates: left, top, right, bottom (the last two
// exclusive).
struct Rect {
  std::int32_t left, top, right, bottom;
  const std::int32_t *data() const noexcept { return &left; }
};
static_assert(sizeof(Rect) == 4 * sizeof(std::int32_t), "passed to C as four numbers");

class Image {
public:
  Image() noexcept = default;
  // Adopts the handle: this Image ends it.
  explicit Image(PELIMAGE *image) noexcept : image_(image) {}
  Image(Image &&other) noexcept : image_(other.release()) {}
  Image &operator=(Image &&other) noexcept {
    reset(other.release());
    return *this;
  }
  Image(const Image &) = delete;
  Image &operator=(const Image &) = delete;
  ~Image() { pelDestroyImage(image_); }

  explicit operator bool() const noexcept { return image_ != nullptr; }
  PELIMAGE *get() const noexcept { return image_; }
  PELIMAGE *release() noexcept { return std::exchange(image_, nullptr); }
  void reset(PELIMAGE *image = nullptr) noexcept { pelDestroyImage(std::exchange(image_, image)); }

  // ---- What the image is (only on an Image that tests true) --------------
  const BITMAPINFOHEADER &header() const noexcept { return *image_->core->header; }
  std::int32_t width() const noexcept { return header().biWidth; }
  std::int32_t height() const noexcept { return header().biHeight; }
  std::uint32_t bitCount() const noexcept { return header().biBitCount; }
  std::int32_t type() const noexcept { return image_->imageType; }
  std::int32_t lineBytes() const noexcept { return image_->lineBytes; }
  std::int32_t memoryKind() const noexcept { return image_->core->memKind; }
  bool runLength() const noexcept { return type() == PEL_TYPE_RLE4 || type() == PEL_TYPE_RLE8; }
  // The colour table (empty above 8 bits).
  Span<RGBQUAD> colours() noexcept { return {colourTable(), pelGetClrUsed(&header())}; }
  Span<const RGBQUAD> colours() const noexcept { return {colourTable(), pelGetClrUsed(&header())}; }

  // ---- Lines and pixels: views into the bits ------------------------------
  // Picture line y (0 is the top line, stored last), lineBytes() bytes with
  // the padding; empty for run-length images, whose bits are not lines.
  Span<std::uint8_t> line(std::uint32_t y) noexcept { return {lineStart(y), lineSize()}; }
  Span<const std::uint8_t> line(std::uint32_t y) const noexcept {
    return {lineStart(y), lineSize()};
  }
  // The width() pixels of picture line y as Pixel values; empty unless Pixel
  // has the size of the stored pixels.
  template <class Pixel> Span<Pixel> pixels(std::uint32_t y) noexcept {
    return {reinterpret_cast<Pixel *>(lineStart(y)), pixelCount<Pixel>()};
  }
  template <class Pixel> Span<const Pixel> pixels(std::uint32_t y) const noexcept {
    return {reinterpret_cast<const Pixel *>(lineStart(y)), pixelCount<Pixel>()};
  }
  // Pixel value and colour (RGBpack) at (x, y); coordinates are not checked.
  std::uint32_t pixel(std::uint32_t x, std::uint32_t y) const noexcept {
    return pelGetPixel(image_, x, y);
  }
  void setPixel(std::uint32_t x, std::uint32_t y, std::uint32_t value) noexcept {
    pelSetPixel(image_, value, x, y);
  }
  std::uint32_t colour(std::uint32_t x, std::uint32_t y) const noexcept {
    return pelGetRGBpack(image_, x, y);
  }
  std::uint32_t setColour(std::uint32_t x, std::uint32_t y, std::uint32_t pack) noexcept {
    return pelSetRGBpack(image_, pack, x, y);
  }

  // ---- Transparent colour --------------------------------------------------
  bool hasTransparentColour() const noexcept { return pelIsTranspClr(image_) != 0; }
  std::uint32_t transparentColour() const noexcept { return pelGetTranspClr(image_); }
  void setTransparentColour(std::uint32_t pack) noexcept { pelSetTranspClr(image_, pack); }

  // ---- In place: true on success --------------------------------------------
  bool fill(std::uint32_t pack) noexcept { return pelFillColor(image_, pack) != 0; }
  bool swapRedBlue() noexcept { return pelSwapColor(image_) != 0; }
  bool flip() noexcept { return pelSwapHeight(image_) != 0; }
  bool grey(std::int32_t offset = 0) noexcept { return pelGrey(image_, offset, 0) != nullptr; }
  bool invert() noexcept { return pelInvert(image_, 0) != nullptr; }
  bool gammaCorrect(float red, float green, float blue) noexcept {
    return pelGammaCorrect(image_, red, green, blue, 0) != nullptr;
  }
  bool luminance(const std::int32_t (&offsets)[3]) noexcept {
    return pelLuminance(image_, offsets, 0) != nullptr;
  }
  bool contrast(const std::int32_t (&brightness)[3], const std::int32_t (&contrast)[3]) noexcept {
    return pelContrast(image_, brightness, contrast, 0) != nullptr;
  }
  bool saturation(std::int32_t hue, std::int32_t lightness, std::int32_t saturation) noexcept {
    return pelSaturation(image_, hue, lightness, saturation, 0) != nullptr;
  }

  // ---- New images: false on failure; this image is not changed --------------
  Image copy(std::int32_t kind = PEL_MEM_AUTO) const noexcept {
    return Image(pelCopyImage(image_, nullptr, kind));
  }
  Image copy(const Rect &rect, std::int32_t kind = PEL_MEM_AUTO) const noexcept {
    return Image(pelCopyImage(image_, rect.data(), kind));
  }
  Image toBit1() const noexcept { return Image(pelCvtoBit1(image_)); }
  Image toBit4(Span<const RGBQUAD> palette = {}) const noexcept {
    return Image(pelCvtoBit4(image_, palette.data(), count(palette)));
  }
  Image toBit8(Span<const RGBQUAD> palette = {}) const noexcept {
    return Image(pelCvtoBit8(image_, palette.data(), count(palette)));
  }
  Image toBit555() const noexcept { return Image(pelCvtoBit555(image_)); }
  Image toBit565() const noexcept { return Image(pelCvtoBit565(image_)); }
  Image toBit24() const noexcept { return Image(pelCvtoBit24(image_)); }
  Image toBit32() const noexcept { return Image(pelCvtoBit32(image_)); }
  Image toGrey4() const noexcept { return Image(pelCvtoBit4Grey(image_)); }
  Image toGrey8() const noexcept { return Image(pelCvtoBit8Grey(image_)); }

  Image greyCopy(std::int32_t offset = 0) const noexcept {
    return Image(pelGrey(mut(), offset, 1));
  }
  Image invertCopy() const noexcept { return Image(pelInvert(mut(), 1)); }
  Image gammaCorrectCopy(float red, float green, float blue) const noexcept {
    return Image(pelGammaCorrect(mut(), red, green, blue, 1));
  }
  Image luminanceCopy(const std::int32_t (&offsets)[3]) const noexcept {
    return Image(pelLuminance(mut(), offsets, 1));
  }
  Image contrastCopy(const std::int32_t (&brightness)[3],
                     const std::int32_t (&contrast)[3]) const noexcept {
    return Image(pelContrast(mut(), brightness, contrast, 1));
  }
  Image saturationCopy(std::int32_t hue, std::int32_t lightness,
                       std::int32_t saturation) const noexcept {
    return Image(pelSaturation(mut(), hue, lightness, saturation, 1));
  }

  // A quarter turn, clockwise or counter-clockwise.
  Image rotatedQuarter(bool clockwise = true) const noexcept {
    return Image(pelRotationEx(mut(), clockwise ? 0 : 1));
  }
  // Clockwise by angle radians about the centre, uncovered pixels background.
  Image rotated(float angle, std::uint32_t background) const noexcept {
    return Image(pelRotateAngleEx(mut(), angle, background));
  }
  Image scaled(std::uint32_t newWidth, std::uint32_t newHeight) const noexcept {
    return Image(pelScaleEx(mut(), newWidth, newHeight));
  }
  Image mirrored(Mirror mode) const noexcept {
    return Image(pelMirror(mut(), static_cast<std::uint32_t>(mode)));
  }
  // Each side widened (positive, painted in pack) or cut (negative).
  Image withBorder(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                   std::uint32_t pack) const noexcept {
    return Image(pelFixBorder(mut(), left, top, right, bottom, pack));
  }

  bool saveBmp(const char *path) const noexcept { return pelSaveBmpFile(image_, path) != 0; }

private:
  // The geometry and copying calls take a non-const handle but leave it alone.
  PELIMAGE *mut() const noexcept { return image_; }
  static std::uint32_t count(Span<const RGBQUAD> palette) noexcept {
    return static_cast<std::uint32_t>(palette.size());
  }
  RGBQUAD *colourTable() const noexcept {
    const IMAGECORE *core = image_->core;
    return reinterpret_cast<RGBQUAD *>(reinterpret_cast<std::uint8_t *>(core->header) +
                                       core->header->biSize);
  }
  std::uint8_t *lineStart(std::uint32_t y) const noexcept {
    std::size_t stored = static_cast<std::size_t>(height()) - 1 - y;
    return image_->core->bits + stored * static_cast<std::size_t>(lineBytes());
  }
  std::size_t lineSize() const noexcept {
    return runLength() ? 0 : static_cast<std::size_t>(lineBytes());
  }
  template <class Pixel> std::size_t pixelCount() const noexcept {
    static_assert(std::is_trivially_copyable_v<Pixel>, "pixels are plain bytes");
    bool fits = !runLength() && bitCount() >= 8 && sizeof(Pixel) * 8 == bitCount();
    return fits ? static_cast<std::size_t>(width()) : 0;
  }

  PELIMAGE *image_ = nullptr;
};

// ---- Creating images ---------------------------------------------------------

// A zeroed image of the type (not the run-length ones); colours may be empty
// for the standard table of the type.
inline Image create(std::int32_t type, std::int32_t width, std::int32_t height,
                    Span<const RGBQUAD> colours = {}, std::int32_t xPelsPerMeter = 3780,
                    std::int32_t yPelsPerMeter = 3780, std::int32_t kind = PEL_MEM_AUTO) noexcept {
  return Image(pelCreateImage(type, width, height, colours.data(),
                              static_cast<std::uint32_t>(colours.size()), xPelsPerMeter,
                              yPelsPerMeter, kind));
}
// An image from a header (validated and repaired in a private copy).
inline Image create(const BITMAPINFOHEADER &header, const RGBQUAD *colours = nullptr,
                    std::int32_t kind = PEL_MEM_AUTO) noexcept {
  return Image(pelCreateImageEx(&header, colours, kind));
}
inline Image loadBmp(const char *path, std::int32_t kind = PEL_MEM_AUTO) noexcept {
  return Image(pelLoadBmpFile(path, kind));
}
// Adopts a packed DIB block; on failure the block stays the caller's.
inline Image attachDib(HGLOBAL block) noexcept { return Image(pelAttachDIB(block)); }
// A copy of a packed DIB block (all of it, or rect); the block stays the caller's.
inline Image copyDib(HGLOBAL block, std::int32_t kind = PEL_MEM_AUTO) noexcept {
  return Image(pelCopyDIB(block, nullptr, 0, kind));
}
inline Image copyDib(HGLOBAL block, const Rect &rect, std::int32_t kind = PEL_MEM_AUTO) noexcept {
  return Image(pelCopyDIB(block, rect.data(), 0, kind));
}
// Takes the bitmap over (deleted on success only); bitCount 0 keeps its own.
inline Image attachDdb(HBITMAP bitmap, std::int32_t bitCount = 0,
                       std::int32_t kind = PEL_MEM_AUTO) noexcept {
  return Image(pelAttachDDB(bitmap, bitCount, kind));
}
inline Image copyDdb(HBITMAP bitmap, std::int32_t bitCount = 0,
                     std::int32_t kind = PEL_MEM_AUTO) noexcept {
  return Image(pelCopyDDB(bitmap, nullptr, bitCount, kind));
}

// ---- Handing images over -----------------------------------------------------

// Ends the image and gives its pixels back as a packed DIB block; on failure
// (null) the image is kept.
inline HGLOBAL detachDib(Image &image) noexcept {
  HGLOBAL block = pelDetachDIB(image.get());
  if (block) image.release();
  return block;
}
// Ends the image in any case and gives its pixels back as a bitmap, or null.
inline HBITMAP detachDdb(Image &image) noexcept { return pelDetachDDB(image.release()); }

// A handle over someone else's packed DIB (or header and bits), sharing its
// bits: the caller's memory must outlive it. Ended with pelReleaseTempPELIMAGE.
class TempImage {
public:
  TempImage() noexcept = default;
  explicit TempImage(void *dib) noexcept : image_(pelGetTempPELIMAGE(dib)) {}
  TempImage(const BITMAPINFOHEADER &header, void *bits) noexcept
      : image_(pelGetTempPELIMAGEx(&header, bits)) {}
  TempImage(TempImage &&other) noexcept : image_(std::exchange(other.image_, nullptr)) {}
  TempImage &operator=(TempImage &&other) noexcept {
    pelReleaseTempPELIMAGE(std::exchange(image_, std::exchange(other.image_, nullptr)));
    return *this;
  }
  TempImage(const TempImage &) = delete;
  TempImage &operator=(const TempImage &) = delete;
  ~TempImage() { pelReleaseTempPELIMAGE(image_); }

  explicit operator bool() const noexcept { return image_ != nullptr; }
  PELIMAGE *get() const noexcept { return image_; }

private:
  PELIMAGE *image_ = nullptr;
};

// ---- Image list ----------------------------------------------------------------

// Owns an IMAGELIST and, through it, every image it holds. Images go in by
// move and stay with the caller when the list refuses them.
class ImageList {
public:
  explicit ImageList(std::uint32_t capacity = 32) noexcept : list_(pelCreateImagelist(capacity)) {}
  ImageList(ImageList &&other) noexcept : list_(std::exchange(other.list_, nullptr)) {}
  ImageList &operator=(ImageList &&other) noexcept {
    pelDestroyImagelist(std::exchange(list_, std::exchange(other.list_, nullptr)));
    return *this;
  }
  ImageList(const ImageList &) = delete;
  ImageList &operator=(const ImageList &) = delete;
  ~ImageList() { pelDestroyImagelist(list_); }

  explicit operator bool() const noexcept { return list_ != nullptr; }
  IMAGELIST *get() const noexcept { return list_; }
  std::uint32_t size() const noexcept { return list_ ? list_->count : 0; }
  std::uint32_t capacity() const noexcept { return list_ ? list_->capacity : 0; }
  bool empty() const noexcept { return size() == 0; }
  // The entries, still the list's.
  PELIMAGE *const *begin() const noexcept { return list_ ? list_->images : nullptr; }
  PELIMAGE *const *end() const noexcept { return begin() + size(); }
  PELIMAGE *operator[](std::uint32_t index) const noexcept { return pelGetAtImage(list_, index); }

  // The new entry's index, or -1 (the image then stays in the argument).
  std::int32_t add(Image &&image) noexcept { return adopt(pelAddImage(list_, image.get()), image); }
  std::int32_t insert(std::uint32_t index, Image &&image) noexcept {
    return adopt(pelInsertImage(list_, index, image.get()), image);
  }
  // Destroys the entry and stores the image in its place.
  bool set(std::uint32_t index, Image &&image) noexcept {
    return adopt(pelSetAtImage(list_, index, image.get()) ? 0 : -1, image) == 0;
  }
  // Stores the image and gives back the entry it replaced (false when index
  // is out of range; the image then stays in the argument).
  Image replace(std::uint32_t index, Image &&image) noexcept {
    if (index >= size()) return Image();
    return Image(pelReplaceImage(list_, index, image.release()));
  }
  // Takes the entry out of the list.
  Image takeOut(std::uint32_t index) noexcept { return Image(pelGetOutImage(list_, index)); }
  bool remove(std::uint32_t index) noexcept { return pelRemoveImage(list_, index) != 0; }
  bool reserve(std::uint32_t newCapacity) noexcept {
    return newCapacity <= capacity() || pelReallocImagelist(list_, newCapacity) != 0;
  }

private:
  static std::int32_t adopt(std::int32_t result, Image &image) noexcept {
    if (result >= 0) image.release();
    return result;
  }

  IMAGELIST *list_ = nullptr;
};

// ---- Colour matching -------------------------------------------------------------

// Index of the palette entry nearest to the colour (RGBpack).
inline std::uint32_t nearestIndex(Span<const RGBQUAD> palette, std::uint32_t pack) noexcept {
  return pelGetNearestColorIndex(palette.data(), static_cast<std::uint32_t>(palette.size()), pack);
}

// The 4096-cell map from colours with 4 bits per channel to nearest palette
// indices; tests false when it could not be made.
class ColourMap {
public:
  ColourMap() noexcept = default;
  explicit ColourMap(Span<const RGBQUAD> palette) noexcept
      : map_(pelCreate4096Map(palette.data(), static_cast<std::int32_t>(palette.size()))) {}
  ColourMap(ColourMap &&other) noexcept : map_(std::exchange(other.map_, nullptr)) {}
  ColourMap &operator=(ColourMap &&other) noexcept {
    release(std::exchange(map_, std::exchange(other.map_, nullptr)));
    return *this;
  }
  ColourMap(const ColourMap &) = delete;
  ColourMap &operator=(const ColourMap &) = delete;
  ~ColourMap() { release(map_); }

  explicit operator bool() const noexcept { return map_ != nullptr; }
  const std::uint8_t *data() const noexcept { return map_; }
  static constexpr std::size_t size() noexcept { return 4096; }
  // The palette index for a colour (RGBpack): its cell is the top four bits
  // of red, green and blue.
  std::uint8_t operator()(std::uint32_t pack) const noexcept {
    return map_[(pack >> 4 & 0x00F) << 8 | (pack >> 12 & 0x00F) << 4 | (pack >> 20 & 0x00F)];
  }

private:
  static void release(std::uint8_t *map) noexcept {
    if (map) pelRelease4096Map(map);
  }

  std::uint8_t *map_ = nullptr;
};

} // namespace pel

#endif // PELC_HPP
