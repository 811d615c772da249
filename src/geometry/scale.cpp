// SPDX-License-Identifier: MIT
//
// Resizing with fixed-point steps (ten fractional bits). The nearest-pixel
// methods anchor at the first pixel, the area-weighted bilinear method one
// step in. Steps and accumulators are 64-bit, so sources of any valid width
// keep exact positions, and the area sums cannot wrap.
#include "core/detail.hpp"
#include "geometry/detail.hpp"

#include <limits>

using namespace pel::detail;

namespace {

struct Scaling {
  const PELIMAGE *src;
  PELIMAGE *dst;
  uint64_t srcW, srcH, dstW, dstH;
  uint64_t stepX, stepY;
};

const uint8_t *srcPictureLine(const Scaling &s, uint64_t line) {
  return storedLine(s.src->core->bits, s.src->lineBytes, static_cast<int64_t>(s.srcH - 1 - line));
}
uint8_t *dstPictureLine(const Scaling &s, uint64_t line) {
  return storedLine(s.dst->core->bits, s.dst->lineBytes, static_cast<int64_t>(s.dstH - 1 - line));
}

// Bilevel: the store starts all ones and only zero source bits are cleared,
// so the padding bits stay 1.
bool scaleBits(const Scaling &s) {
  std::memset(s.dst->core->bits, 0xFF, storeBytes(*s.dst));
  uint64_t ay = 0;
  for (uint64_t i = 0; i < s.dstH; ++i, ay += s.stepY) {
    const uint8_t *src = srcPictureLine(s, ay >> kFracBits);
    uint8_t *dst = dstPictureLine(s, i);
    uint64_t ax = 0;
    for (uint64_t j = 0; j < s.dstW; ++j, ax += s.stepX) {
      const uint64_t x = ax >> kFracBits;
      if (!(src[x >> 3] & bitMask(static_cast<int64_t>(x))))
        dst[j >> 3] &= static_cast<uint8_t>(~bitMask(static_cast<int64_t>(j)));
    }
  }
  return true;
}

// Palette images: nearest pixel through the single-pixel operations.
bool scalePalette(const Scaling &) { return true; }

// Owner of a zeroed work buffer from the global heap.
template <typename T> GlobalPtr<T> workBuffer(uint64_t count) {
  if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) return nullptr;
  return globalNew<T>(static_cast<std::size_t>(count) * sizeof(T));
}

// Vertical position of result line i (or column): whole part raised to 1
// when it is 0, the fraction kept.
struct Position {
  uint64_t index;
  int32_t frac;
};
Position positionOf(uint64_t acc) {
  const uint64_t whole = acc >> kFracBits;
  return {whole == 0 ? 1 : whole, static_cast<int32_t>(acc & kFracMask)};
}

// Adds the channels of `lines` source lines ending at picture line `end` - 1
// into one column sum per source column and channel.
template <typename T, typename Sum>
void columnSums(const Scaling &s, uint64_t end, uint64_t lines, Sum *sums) {
  const std::size_t n = static_cast<std::size_t>(s.srcW) * T::kChannels;
  std::memset(sums, 0, n * sizeof(Sum));
  for (uint64_t l = end - lines; l < end; ++l) {
    const uint8_t *p = srcPictureLine(s, l);
    Sum *sum = sums;
    for (uint64_t x = 0; x < s.srcW; ++x, p += T::kBytes, sum += T::kChannels) {
      int32_t c[3];
      T::load(p, c);
      for (int k = 0; k < T::kChannels; ++k) sum[k] += static_cast<Sum>(c[k]);
    }
  }
}

// One result line of the area-weighted bilinear filter. `sums` is null when
// either axis is enlarged (no area average).
template <typename T, typename Sum>
void bilinearLine(const Scaling &s, uint64_t i, const Sum *sums, uint64_t blockW, Sum divisor) {
  const Position py = positionOf((i + 1) * s.stepY);
  const uint8_t *rowA = srcPictureLine(s, py.index - 1);
  const bool hasB = py.index < s.srcH;
  const uint8_t *rowB = hasB ? srcPictureLine(s, py.index) : rowA;
  uint8_t *d = dstPictureLine(s, i);
  uint64_t ax = s.stepX;
  for (uint64_t j = 0; j < s.dstW; ++j, ax += s.stepX, d += T::kBytes) {
    const Position px = positionOf(ax);
    const bool right = px.index < s.srcW;
    const ptrdiff_t off = static_cast<ptrdiff_t>(px.index - 1) * T::kBytes;
    int32_t a0[3], a1[3], b0[3], b1[3], v[3];
    T::load(rowA + off, a0);
    T::load(rowB + off, b0);
    if (right) {
      T::load(rowA + off + T::kBytes, a1);
      T::load(rowB + off + T::kBytes, b1);
    }
    for (int k = 0; k < T::kChannels; ++k) {
      const int32_t ah = a0[k] * kOne + (right ? (a1[k] - a0[k]) * px.frac : 0);
      const int32_t bh = b0[k] * kOne + (right && hasB ? (b1[k] - b0[k]) * px.frac : 0);
      v[k] = (ah * kOne + (bh - ah) * py.frac) >> 20;
    }
    if (sums) {
      const Sum *col = sums + static_cast<std::size_t>(px.index - blockW) * T::kChannels;
      for (int k = 0; k < T::kChannels; ++k) {
        Sum total = static_cast<Sum>(v[k]);
        for (uint64_t c = 0; c < blockW; ++c) total += col[c * T::kChannels + k];
        v[k] = static_cast<int32_t>(total / divisor);
      }
    }
    T::store(d, v);
  }
}

template <typename T, typename Sum> bool bilinearWith(const Scaling &s) {
  const uint64_t blockW = s.stepX >> kFracBits, blockH = s.stepY >> kFracBits;
  if (blockW == 0 || blockH == 0) {
    for (uint64_t i = 0; i < s.dstH; ++i) bilinearLine<T, Sum>(s, i, nullptr, 0, 1);
    return true;
  }
  auto sums = workBuffer<Sum>(s.srcW * T::kChannels);
  if (!sums) return false;
  const Sum divisor = static_cast<Sum>(1 + blockW * blockH);
  for (uint64_t i = 0; i < s.dstH; ++i) {
    const Position py = positionOf((i + 1) * s.stepY);
    columnSums<T, Sum>(s, py.index, blockH, sums.get());
    bilinearLine<T, Sum>(s, i, sums.get(), blockW, divisor);
  }
  return true;
}

// Block sums fit 32 bits unless one result pixel averages more than about
// 16.8 million source pixels.
template <typename T> bool scaleBilinear(const Scaling &s) {
  const uint64_t block = (s.stepX >> kFracBits) * (s.stepY >> kFracBits);
  if ((block + 1) * 255 <= std::numeric_limits<uint32_t>::max())
    return bilinearWith<T, uint32_t>(s);
  return bilinearWith<T, uint64_t>(s);
}

using Method = bool (*)(const Scaling &);
constexpr std::array<Method, 12> kMethods = {
    nullptr,               // 0 unknown
    scaleBits,             // 1
    scalePalette,          // 2
    scalePalette,          // 3
    nullptr,               // 4 run-length
    scalePalette,          // 5
    scaleBilinear<Grey8>,  // 6
    nullptr,               // 7 run-length
    scaleBilinear<Rgb555>, // 8
    scaleBilinear<Rgb565>, // 9
    scaleBilinear<Bgr24>,  // 10
    scaleBilinear<Bgr32>,  // 11
};
static_assert(kMethods.size() == PEL_TYPE_BIT32 + 1);

} // namespace

extern "C" {

PELIMAGE *PELAPI pelScaleEx(PELIMAGE *image, uint32_t width, uint32_t height) noexcept {
  if (!hasHeader(image)) return nullptr;
  // Sizes that do not survive as signed header fields are refused before
  // anything is made.
  constexpr uint32_t kMax = std::numeric_limits<int32_t>::max();
  if (width > kMax || height > kMax) return nullptr;
  const BITMAPINFOHEADER &h = *image->core->header;
  if (pel::detail::width(h) <= 0 || pel::detail::height(h) <= 0) return nullptr;
  ImagePtr result =
      makeResultLike(*image, static_cast<int32_t>(width), static_cast<int32_t>(height));
  if (!result) return nullptr;
  const auto type = static_cast<std::size_t>(result->imageType);
  const Method method = type < kMethods.size() ? kMethods[type] : nullptr;
  // The methods read the source in the result's format.
  if (!method || bitCount(*result->core->header) != bitCount(h)) return result.release();
  Scaling s{image, result.get(), 0, 0, width, height, 0, 0};
  s.srcW = static_cast<uint32_t>(pel::detail::width(h));
  s.srcH = static_cast<uint32_t>(pel::detail::height(h));
  s.stepX = (s.srcW << kFracBits) / s.dstW;
  s.stepY = (s.srcH << kFracBits) / s.dstH;
  if (!method(s)) return nullptr;
  return result.release();
}

} // extern "C"
