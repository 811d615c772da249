// SPDX-License-Identifier: MIT
//
// Rotation by any angle about the centre, by integer inverse mapping. Sine
// and cosine become factors with ten fractional bits once per call; each
// result pixel's source position is a running sum along its line. Positions,
// products and sums are 64-bit, so no source size can overflow them.
#include "core/detail.hpp"
#include "geometry/detail.hpp"
#include "geometry/lanes_avx2.hpp"

#include <cmath>
#include <limits>

using namespace pel::detail;

namespace {

struct Rotation {
  const PELIMAGE *src;
  PELIMAGE *dst;
  int64_t srcW, srcH, dstW, dstH;
  int64_t fc, fs;
  uint32_t background; // RGBpack
};

// Source position, in 1024ths of a pixel, of the first pixel of result line y.
struct LineStart {
  int64_t sx, sy;
};
LineStart lineStart(const Rotation &r, int64_t y) {
  const int64_t hw = r.dstW / 2, hh = r.dstH / 2;
  return {-hw * r.fc + (y - hh) * r.fs + r.srcW * 512, hw * r.fs + (y - hh) * r.fc + r.srcH * 512};
}

// Arithmetic shifts round toward minus infinity (C++20 defines them so).
int64_t whole(int64_t v) { return v >> kFracBits; }
int32_t frac(int64_t v) { return static_cast<int32_t>(v & kFracMask); }

// Bilevel: the store starts in the background bit and covered pixels whose
// bit differs from it are flipped to the source bit.
void rotateBits(const Rotation &r) {
  const bool bgOne = (r.background & 0xFF) != 0;
  std::memset(r.dst->core->bits, bgOne ? 0xFF : 0x00, storeBytes(*r.dst));
  const uint8_t *srcBits = r.src->core->bits;
  for (int64_t y = 0; y < r.dstH; ++y) {
    uint8_t *d = storedLine(r.dst->core->bits, r.dst->lineBytes, r.dstH - 1 - y);
    auto [sx, sy] = lineStart(r, y);
    for (int64_t x = 0; x < r.dstW; ++x, sx += r.fc, sy -= r.fs) {
      const int64_t sxi = whole(sx), syi = whole(sy);
      if (sxi < 0 || sxi >= r.srcW || syi < 0 || syi >= r.srcH) continue;
      const uint8_t *s = storedLine(srcBits, r.src->lineBytes, r.srcH - 1 - syi);
      const bool one = (s[sxi >> 3] & bitMask(sxi)) != 0;
      if (bgOne && !one) d[x >> 3] &= static_cast<uint8_t>(~bitMask(x));
      if (!bgOne && one) d[x >> 3] |= bitMask(x);
    }
  }
}

// The background's channels in the traits' order, and its stored form for
// uncovered pixels.
template <typename T> void backgroundChannels(uint32_t rgb, int32_t *c) {
  const int32_t red = rgb & 0xFF, green = (rgb >> 8) & 0xFF, blue = (rgb >> 16) & 0xFF;
  if constexpr (T::kChannels == 1) {
    c[0] = (29 * blue + 150 * green + 77 * red) >> 8;
  } else {
    c[0] = blue;
    c[1] = green;
    c[2] = red;
  }
}

template <typename T>
void blend(const int32_t *p00, const int32_t *p10, const int32_t *p01, const int32_t *p11,
           int32_t fx, int32_t fy, int32_t *out) {
  for (int i = 0; i < T::kChannels; ++i) {
    const int32_t t = p00[i] * kOne + (p10[i] - p00[i]) * fx;
    const int32_t u = p01[i] * kOne + (p11[i] - p01[i]) * fx;
    out[i] = (t * kOne + (u - t) * fy) >> 20;
  }
}

template <typename T> struct BilinearSource {
  const uint8_t *bits;
  ptrdiff_t lineBytes;
  int64_t w, h;
  const uint8_t *at(int64_t x, int64_t y) const {
    return bits + static_cast<ptrdiff_t>(h - 1 - y) * lineBytes +
           static_cast<ptrdiff_t>(x) * T::kBytes;
  }
  // A neighbour outside the source takes the background's channels.
  void neighbour(int64_t x, int64_t y, const int32_t *bg, int32_t *c) const {
    if (x < 0 || x >= w || y < 0 || y >= h) {
      for (int i = 0; i < T::kChannels; ++i) c[i] = bg[i];
    } else {
      T::load(at(x, y), c);
    }
  }
};

// One pixel near or beyond the source's edge.
template <typename T>
void edgePixel(const BilinearSource<T> &s, int64_t sx, int64_t sy, const int32_t *bg, uint8_t *d) {
  const int64_t xi = whole(sx), yi = whole(sy);
  int32_t out[3];
  if (xi < -1 || xi >= s.w || yi < -1 || yi >= s.h) {
    T::store(d, bg);
    return;
  }
  int32_t p00[3], p10[3], p01[3], p11[3];
  s.neighbour(xi, yi, bg, p00);
  s.neighbour(xi + 1, yi, bg, p10);
  s.neighbour(xi, yi + 1, bg, p01);
  s.neighbour(xi + 1, yi + 1, bg, p11);
  blend<T>(p00, p10, p01, p11, frac(sx), frac(sy), out);
  T::store(d, out);
}

// The four neighbours of every pixel from `first` to `last` lie inside.
template <typename T>
void interiorRun(const BilinearSource<T> &s, int64_t sx, int64_t sy, int64_t fc, int64_t fs,
                 uint8_t *d, int64_t count) {
  for (int64_t n = 0; n < count; ++n, sx += fc, sy -= fs, d += T::kBytes) {
    const uint8_t *a = s.at(whole(sx), whole(sy));
    const uint8_t *b = a - s.lineBytes; // the line below in the picture
    int32_t p00[3], p10[3], p01[3], p11[3], out[3];
    T::load(a, p00);
    T::load(a + T::kBytes, p10);
    T::load(b, p01);
    T::load(b + T::kBytes, p11);
    blend<T>(p00, p10, p01, p11, frac(sx), frac(sy), out);
    T::store(d, out);
  }
}

using RunKernel = int64_t (*)(const uint8_t *bits, int32_t lineBytes, int32_t h, int32_t sx,
                              int32_t sy, int32_t fc, int32_t fs, uint8_t *d, int64_t count);

#if defined(PELC_X86_KERNELS)

// Eight pixels at a time: the positions of eight consecutive pixels are
// formed in 32-bit lanes, each row's two neighbours are gathered and spread
// to one (left, right) 16-bit pair per channel, so that one multiply-add
// gives the horizontal sum p00 * (1024 - fx) + p10 * fx, which is the
// scalar's p00 * 1024 + (p10 - p00) * fx. The vertical step is the scalar's
// expression in 32-bit lanes.
// Whole groups of eight from the run's start; returns how many pixels it
// did. The caller makes sure positions and store offsets fit 32 bits.
template <typename T>
PELC_TARGET_AVX2 int64_t interiorRunAvx2(const uint8_t *bits, int32_t lineBytes, int32_t h,
                                         int32_t sx, int32_t sy, int32_t fc, int32_t fs, uint8_t *d,
                                         int64_t count) {
  const __m256i step = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i vx =
      _mm256_add_epi32(_mm256_set1_epi32(sx), _mm256_mullo_epi32(step, _mm256_set1_epi32(fc)));
  __m256i vy =
      _mm256_sub_epi32(_mm256_set1_epi32(sy), _mm256_mullo_epi32(step, _mm256_set1_epi32(fs)));
  const __m256i dx = _mm256_set1_epi32(8 * fc), dy = _mm256_set1_epi32(8 * fs);
  const __m256i mask = _mm256_set1_epi32(kFracMask), one = _mm256_set1_epi32(kOne);
  const __m256i line = _mm256_set1_epi32(lineBytes);
  const __m256i top = _mm256_set1_epi32((h - 1) * lineBytes);
  const __m256i below = _mm256_set1_epi32(lineBytes);
  int64_t n = 0;
  for (; n + 8 <= count; n += 8, d += 8 * T::kBytes) {
    const __m256i xi = _mm256_srai_epi32(vx, kFracBits), yi = _mm256_srai_epi32(vy, kFracBits);
    const __m256i fx = _mm256_and_si256(vx, mask), fy = _mm256_and_si256(vy, mask);
    const __m256i off = _mm256_add_epi32(_mm256_sub_epi32(top, _mm256_mullo_epi32(yi, line)),
                                         _mm256_mullo_epi32(xi, _mm256_set1_epi32(T::kBytes)));
    const __m256i wx = _mm256_or_si256(_mm256_sub_epi32(one, fx), _mm256_slli_epi32(fx, 16));
    const Lanes8 a = VectorPairs<T>::at(bits, off, true);
    const Lanes8 b = VectorPairs<T>::at(bits, _mm256_sub_epi32(off, below), false);
    Lanes8 out;
    for (int c = 0; c < T::kChannels; ++c) {
      const __m256i t = _mm256_madd_epi16(a.c[c], wx), u = _mm256_madd_epi16(b.c[c], wx);
      out.c[c] = _mm256_srai_epi32(_mm256_add_epi32(_mm256_slli_epi32(t, kFracBits),
                                                    _mm256_mullo_epi32(_mm256_sub_epi32(u, t), fy)),
                                   20);
    }
    VectorStore<T>::at(d, out);
    vx = _mm256_add_epi32(vx, dx);
    vy = _mm256_sub_epi32(vy, dy);
  }
  return n;
}

#endif

// The vector kernel for this call, or null: it needs 32-bit positions and
// store offsets.
template <typename T> RunKernel runKernel(const PELIMAGE &src, int64_t w, int64_t h) {
#if defined(PELC_X86_KERNELS)
  constexpr int64_t kLimit = int64_t{1} << 20;
  if (simdAtLeast(SimdLevel::Avx2) && w < kLimit && h < kLimit &&
      storeBytes(src) < (std::size_t{1} << 30))
    return interiorRunAvx2<T>;
#endif
  (void)src;
  (void)w;
  (void)h;
  return nullptr;
}

// Covered pixels form one run per line (the positions are linear in x), so
// each line is walked in from both ends with the edge rule and the run
// between is sampled without any test.
// `count` pixels of one stored form, copied from a pattern of whole pixels.
template <typename T> void fillPixels(uint8_t *d, int64_t count, const uint8_t *pixel) {
  constexpr std::size_t kPattern = 96; // whole pixels of every width
  uint8_t pattern[kPattern];
  for (std::size_t k = 0; k < kPattern; k += T::kBytes) std::memcpy(pattern + k, pixel, T::kBytes);
  std::size_t bytes = static_cast<std::size_t>(count) * T::kBytes;
  for (; bytes >= kPattern; bytes -= kPattern, d += kPattern) std::memcpy(d, pattern, kPattern);
  std::memcpy(d, pattern, bytes);
}

template <typename T> void rotateBilinear(const Rotation &r) {
  const BilinearSource<T> s{r.src->core->bits, r.src->lineBytes, r.srcW, r.srcH};
  int32_t bg[3];
  backgroundChannels<T>(r.background, bg);
  // The background's stored form; a 32-bit pixel's fourth byte stays as the
  // store has it, so those pixels go through the pixel rule.
  uint8_t bgPixel[4] = {};
  T::store(bgPixel, bg);
  const RunKernel kernel = runKernel<T>(*r.src, r.srcW, r.srcH);
  auto inside = [&](int64_t sx, int64_t sy) {
    const int64_t xi = whole(sx), yi = whole(sy);
    return xi >= 0 && xi + 1 < r.srcW && yi >= 0 && yi + 1 < r.srcH;
  };
  // No neighbour inside: the pixel is the background.
  auto away = [&](int64_t sx, int64_t sy) {
    const int64_t xi = whole(sx), yi = whole(sy);
    return xi < -1 || xi >= r.srcW || yi < -1 || yi >= r.srcH;
  };
  // The pixels whose neighbours all lie outside form the ends of a line
  // (each axis's test holds on an interval of x), so they are filled in one
  // go; the edge rule gives them the same bytes.
  auto fillAway = [&](uint8_t *d, int64_t count) {
    if constexpr (T::kBytes == 4) {
      for (int64_t n = 0; n < count; ++n) T::store(d + n * 4, bg);
    } else {
      fillPixels<T>(d, count, bgPixel);
    }
  };
  // The interior runs are sampled in tiles of a band of lines by a strip of
  // columns, whose source area stays in the cache; every pixel's value
  // depends on its own position alone.
  constexpr int64_t kBand = 32, kStrip = 256;
  struct Run {
    uint8_t *line;
    int64_t first, last, sx0, sy0;
  };
  Run runs[kBand];
  for (int64_t y0 = 0; y0 < r.dstH; y0 += kBand) {
    const int64_t lines = std::min(kBand, r.dstH - y0);
    int64_t left = r.dstW, right = 0;
    for (int64_t k = 0; k < lines; ++k) {
      const int64_t y = y0 + k;
      uint8_t *line = storedLine(r.dst->core->bits, r.dst->lineBytes, r.dstH - 1 - y);
      const auto [sx0, sy0] = lineStart(r, y);
      int64_t first = 0, sx = sx0, sy = sy0;
      for (; first < r.dstW && away(sx, sy); ++first, sx += r.fc, sy -= r.fs) {
      }
      fillAway(line, first);
      for (; first < r.dstW && !inside(sx, sy); ++first, sx += r.fc, sy -= r.fs)
        edgePixel<T>(s, sx, sy, bg, line + first * T::kBytes);
      int64_t last = r.dstW - 1;
      int64_t ex = sx0 + last * r.fc, ey = sy0 - last * r.fs;
      for (; last >= first && away(ex, ey); --last, ex -= r.fc, ey += r.fs) {
      }
      fillAway(line + (last + 1) * T::kBytes, r.dstW - 1 - last);
      for (; last >= first && !inside(ex, ey); --last, ex -= r.fc, ey += r.fs)
        edgePixel<T>(s, ex, ey, bg, line + last * T::kBytes);
      runs[k] = {line, first, last, sx0, sy0};
      if (first <= last) {
        left = std::min(left, first);
        right = std::max(right, last + 1);
      }
    }
    for (int64_t x0 = left; x0 < right; x0 += kStrip) {
      for (int64_t k = 0; k < lines; ++k) {
        const Run &run = runs[k];
        const int64_t from = std::max(run.first, x0), to = std::min(run.last + 1, x0 + kStrip);
        if (from >= to) continue;
        const int64_t sx = run.sx0 + from * r.fc, sy = run.sy0 - from * r.fs;
        uint8_t *d = run.line + from * T::kBytes;
        int64_t done = 0;
        if (kernel && to - from >= 8)
          done = kernel(s.bits, r.src->lineBytes, static_cast<int32_t>(r.srcH),
                        static_cast<int32_t>(sx), static_cast<int32_t>(sy),
                        static_cast<int32_t>(r.fc), static_cast<int32_t>(r.fs), d, to - from);
        interiorRun<T>(s, sx + done * r.fc, sy - done * r.fs, r.fc, r.fs, d + done * T::kBytes,
                       to - from - done);
      }
    }
  }
}

void rotatePalette(const Rotation &r) {
  rotatePaletteNearest(*r.src, *r.dst, r.fc, r.fs, r.background);
}

using Method = void (*)(const Rotation &);
constexpr std::array<Method, 12> kMethods = {
    nullptr,                // 0 unknown
    rotateBits,             // 1
    rotatePalette,          // 2
    rotatePalette,          // 3
    nullptr,                // 4 run-length
    rotatePalette,          // 5
    rotateBilinear<Grey8>,  // 6
    nullptr,                // 7 run-length
    rotateBilinear<Rgb555>, // 8
    rotateBilinear<Rgb565>, // 9
    rotateBilinear<Bgr24>,  // 10
    rotateBilinear<Bgr32>,  // 11
};
static_assert(kMethods.size() == PEL_TYPE_BIT32 + 1);

// ceil(|v| / 1024)
int64_t ceilUnits(int64_t v) { return ((v < 0 ? -v : v) + kFracMask) / kOne; }

} // namespace

extern "C" {

PELIMAGE *PELAPI pelRotateAngleEx(PELIMAGE *image, float angle, uint32_t background) noexcept {
  if (!hasHeader(image)) return nullptr;
  // NaN or an infinity would turn into garbage factors.
  if (!std::isfinite(angle)) return nullptr;
  const BITMAPINFOHEADER &h = *image->core->header;
  if (width(h) <= 0 || height(h) <= 0) return nullptr;
  // Double precision: sinf of the float nearest pi/2 is exactly 1, while
  // the factor must come out just below 1024.
  const double rad = static_cast<double>(angle);
  Rotation r{};
  r.fc = static_cast<int32_t>(std::cos(rad) * 1024.0);
  r.fs = static_cast<int32_t>(std::sin(rad) * 1024.0);
  r.srcW = width(h);
  r.srcH = height(h);
  r.dstW =
      std::max(ceilUnits(r.srcW * r.fc - r.srcH * r.fs), ceilUnits(r.srcW * r.fc + r.srcH * r.fs));
  r.dstH =
      std::max(ceilUnits(r.srcW * r.fs + r.srcH * r.fc), ceilUnits(r.srcW * r.fs - r.srcH * r.fc));
  if (r.dstW > std::numeric_limits<int32_t>::max() || r.dstH > std::numeric_limits<int32_t>::max())
    return nullptr;
  ImagePtr result =
      makeResultLike(*image, static_cast<int32_t>(r.dstW), static_cast<int32_t>(r.dstH));
  if (!result) return nullptr;
  const auto type = static_cast<std::size_t>(result->imageType);
  const Method method = type < kMethods.size() ? kMethods[type] : nullptr;
  // The methods read the source in the result's format.
  if (method && bitCount(*result->core->header) == bitCount(h)) {
    r.src = image;
    r.dst = result.get();
    r.background = background;
    method(r);
  }
  return result.release();
}

} // extern "C"
