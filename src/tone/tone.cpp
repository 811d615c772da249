// SPDX-License-Identifier: MIT
//
// Tone adjustments: one driver walks palette entries or pixels, skipping the
// transparent colour, and hands every colour to a per-colour operation.
#include "core/detail.hpp"
#include "pixel/detail.hpp"

#include "tone/hsl_divide.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(PELC_X86_KERNELS)
#include <immintrin.h>
#endif

using namespace pel::detail;

namespace {

struct Key {
  bool skip = false;
  uint8_t r = 0, g = 0, b = 0;
  bool matches(uint8_t red, uint8_t green, uint8_t blue) const {
    return skip && red == r && green == g && blue == b;
  }
};

// One line of 24- or 32-bit pixels; the fourth byte of a 32-bit pixel is
// never written. The key test is compiled out when there is no key.
template <bool Skip, std::size_t Bpp, typename Op>
void trueColourLine(uint8_t *p, std::size_t w, const Op &shared, const Key &sharedKey) {
  // Local copies: byte stores through p could otherwise alias the operation's
  // tables and the key, forcing a reload of them for every pixel.
  const Op op = shared;
  const Key key = sharedKey;
  std::size_t x = 0;
  // An operation with a vector kernel does the line's leading whole groups.
  if constexpr (requires { op.template head<Bpp>(p, w, key); }) {
    x = op.template head<Bpp>(p, w, key);
    p += x * Bpp;
  }
  for (; x < w; ++x, p += Bpp) {
    uint8_t r = p[2], g = p[1], b = p[0];
    if (Skip && key.matches(r, g, b)) continue;
    op(r, g, b);
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
}

// One line, with the key test only where there is a key.
template <std::size_t Bpp, typename Op>
void keyedLine(uint8_t *line, std::size_t w, const Op &op, const Key &key) {
  if (key.skip)
    trueColourLine<true, Bpp>(line, w, op, key);
  else
    trueColourLine<false, Bpp>(line, w, op, key);
}

template <std::size_t Bpp, typename Op>
void trueColourLines(uint8_t *bits, std::size_t lineBytes, std::size_t w, std::size_t rows,
                     const Op &op, const Key &key) {
  for (std::size_t y = 0; y < rows; ++y) keyedLine<Bpp>(bits + y * lineBytes, w, op, key);
}

template <typename Op> void toneTrueColour(PELIMAGE *image, const Op &op, const Key &key) {
  const BITMAPINFOHEADER &h = *image->core->header;
  const std::size_t bpp = bitCount(h) / 8;
  const int32_t lineBytes = image->lineBytes;
  if (lineBytes <= 0 || !image->core->bits || (bpp != 3 && bpp != 4)) return;
  // Bounded by the store, whatever the header claims.
  const std::size_t w = std::min<std::size_t>(static_cast<uint32_t>(width(h)),
                                              static_cast<std::size_t>(lineBytes) / bpp);
  const std::size_t rows =
      std::min<std::size_t>(static_cast<uint32_t>(height(h)), image->core->bitsSize / lineBytes);
  const auto stride = static_cast<std::size_t>(lineBytes);
  if (bpp == 3)
    trueColourLines<3>(image->core->bits, stride, w, rows, op, key);
  else
    trueColourLines<4>(image->core->bits, stride, w, rows, op, key);
}

template <typename Op> void tone16(PELIMAGE *image, const Op &op, const Key &key, bool is565) {
  const BITMAPINFOHEADER &h = *image->core->header;
  const int32_t lineBytes = image->lineBytes;
  if (lineBytes <= 0) return;
  const std::size_t w = std::min<std::size_t>(static_cast<uint32_t>(width(h)),
                                              static_cast<std::size_t>(lineBytes) / 2);
  const std::size_t rows =
      std::min<std::size_t>(static_cast<uint32_t>(height(h)), image->core->bitsSize / lineBytes);
  for (std::size_t y = 0; y < rows; ++y) {
    uint8_t *p = image->core->bits + y * static_cast<std::size_t>(lineBytes);
    for (std::size_t x = 0; x < w; ++x, p += 2) {
      uint16_t v;
      std::memcpy(&v, p, 2);
      uint8_t r, g, b = static_cast<uint8_t>((v << 3) & 0xF8);
      if (is565) {
        r = static_cast<uint8_t>((v >> 8) & 0xF8);
        g = static_cast<uint8_t>((v >> 3) & 0xFC);
      } else {
        r = static_cast<uint8_t>((v >> 7) & 0xF8);
        g = static_cast<uint8_t>((v >> 2) & 0xF8);
      }
      if (key.matches(r, g, b)) continue;
      op(r, g, b);
      v = is565 ? static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
                : static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
      std::memcpy(p, &v, 2);
    }
  }
}

template <typename Op> void tonePalette(PELIMAGE *image, const Op &op, const Key &key) {
  const IMAGECORE &core = *image->core;
  // Never read past what the header block holds, whatever biClrUsed claims.
  const uint32_t held = core.headerSize > kHeaderBytes ? (core.headerSize - kHeaderBytes) / 4 : 0;
  const uint32_t count =
      std::min({static_cast<uint32_t>(core.header->biClrUsed), held, uint32_t{256}});
  auto *table = reinterpret_cast<RGBQUAD *>(afterHeader(core.header));
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t r = table[i].rgbRed, g = table[i].rgbGreen, b = table[i].rgbBlue;
    if (key.matches(r, g, b)) continue;
    op(r, g, b);
    table[i].rgbRed = r;
    table[i].rgbGreen = g;
    table[i].rgbBlue = b;
  }
}

Key transparentKey(PELIMAGE *image) {
  if (!pelIsTranspClr(image)) return {};
  const uint32_t c = image->transpColor;
  return {true, static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
          static_cast<uint8_t>(c >> 16)};
}

// The lines of a true-colour copy, adjusted each as the copy writes it.
template <typename Op> struct CopiedLines {
  const Op *op;
  Key key;
  std::size_t width;

  template <std::size_t Bpp> static void visit(void *context, uint8_t *line) {
    const auto &lines = *static_cast<const CopiedLines *>(context);
    keyedLine<Bpp>(line, lines.width, *lines.op, lines.key);
  }
};

// Adjusts the image itself, or a copy of it in the same kind of memory; the
// walk follows the argument's type and stays inside the target's own store.
template <typename Op> PELIMAGE *runTone(PELIMAGE *image, const Op &op, int32_t copy) {
  if (!image || !image->core || !image->core->header) return nullptr;
  if (copy && (image->imageType == PEL_TYPE_BIT24 || image->imageType == PEL_TYPE_BIT32)) {
    // Each line is adjusted while the copy still has it in the cache.
    const std::size_t bpp = image->imageType == PEL_TYPE_BIT24 ? 3 : 4;
    const BITMAPINFOHEADER &h = *image->core->header;
    CopiedLines<Op> lines{&op, transparentKey(image),
                          std::min<std::size_t>(static_cast<uint32_t>(width(h)),
                                                static_cast<uint32_t>(image->lineBytes) / bpp)};
    return copyImageVisiting(
        image, image->core->memKind,
        bpp == 3 ? CopiedLines<Op>::template visit<3> : CopiedLines<Op>::template visit<4>, &lines);
  }
  ImagePtr copied;
  if (copy) {
    // The copy carries the pixel bits (palette indices included) and the
    // transparent colour; only its colours change below.
    copied.reset(pelCopyImage(image, nullptr, image->core->memKind));
    if (!copied) return nullptr;
  }
  PELIMAGE *target = copied ? copied.get() : image;
  const Key key = transparentKey(image);
  const int32_t type = image->imageType;
  if (type == PEL_TYPE_BIT24 || type == PEL_TYPE_BIT32)
    toneTrueColour(target, op, key);
  else if (type == PEL_TYPE_BIT555 || type == PEL_TYPE_BIT565)
    tone16(target, op, key, type == PEL_TYPE_BIT565);
  else if (type >= 0 && type <= PEL_TYPE_RLE8) {
    tonePalette(target, op, key);
    // A palette copy keeps the argument's bits byte for byte, line padding
    // and the unused bits after a line's last pixel included.
    if (copied)
      std::memcpy(target->core->bits, image->core->bits,
                  std::min(target->core->bitsSize, image->core->bitsSize));
  }
  copied.release();
  return target;
}

using Tables = std::array<uint8_t, 768>;

#if defined(PELC_X86_KERNELS)
// One table for every byte, 32 bytes a step: each group of 16 entries is one
// shuffle, which answers only the bytes whose high four bits name the group.
// Counting the bytes down by 16 a group, a byte of the group is 0-15 there;
// a saturating add of 0x70 sets the top bit of every other byte, and the
// shuffle gives 0 for those.
PELC_TARGET_AVX2 inline __m256i lookupBytes(__m256i v, const uint8_t *table) {
  const __m256i step = _mm256_set1_epi8(0x10), lift = _mm256_set1_epi8(0x70);
  __m256i out = _mm256_setzero_si256();
  for (int group = 0; group < 16; ++group) {
    const __m256i entries = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(table + 16 * group)));
    out = _mm256_or_si256(out, _mm256_shuffle_epi8(entries, _mm256_adds_epu8(v, lift)));
    v = _mm256_sub_epi8(v, step);
  }
  return out;
}

// Whole groups of a line through one table: 32 pixels (three vectors) of 24
// bits, or 8 of 32 bits whose fourth bytes go back as they were read.
template <std::size_t Bpp>
PELC_TARGET_AVX2 std::size_t lookupLineAvx2(uint8_t *p, std::size_t w, const uint8_t *table) {
  const auto at = [p](std::size_t offset) { return reinterpret_cast<__m256i *>(p + offset); };
  std::size_t x = 0;
  if constexpr (Bpp == 3) {
    for (; x + 32 <= w; x += 32)
      for (std::size_t v = 0; v < 3; ++v) {
        const std::size_t offset = 3 * x + 32 * v;
        _mm256_storeu_si256(at(offset), lookupBytes(_mm256_loadu_si256(at(offset)), table));
      }
  } else {
    const __m256i fourth = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    for (; x + 8 <= w; x += 8) {
      const __m256i v = _mm256_loadu_si256(at(4 * x));
      _mm256_storeu_si256(at(4 * x), _mm256_blendv_epi8(lookupBytes(v, table), v, fourth));
    }
  }
  return x;
}
#endif

struct TableOp {
  const Tables *t;
  // The three tables are one, and the processor has the vector kernel for it.
  bool oneVectorTable = false;
  void operator()(uint8_t &r, uint8_t &g, uint8_t &b) const {
    r = (*t)[r];
    g = (*t)[256 + g];
    b = (*t)[512 + b];
  }

  // Without a transparent colour, whole groups go through the vector kernel
  // or through words: four 3-byte pixels as three loads and three stores
  // instead of twelve of each. The words are taken apart by shifts, which
  // needs a little-endian machine.
  template <std::size_t Bpp> std::size_t head(uint8_t *p, std::size_t w, const Key &key) const {
    if (key.skip || std::endian::native != std::endian::little) return 0;
    const uint8_t *red = t->data(), *green = red + 256, *blue = red + 512;
    std::size_t x = 0;
#if defined(PELC_X86_KERNELS)
    if (oneVectorTable) {
      x = lookupLineAvx2<Bpp>(p, w, red);
      p += x * Bpp;
    }
#endif
    if constexpr (Bpp == 3) {
      for (; x + 4 <= w; x += 4, p += 12) {
        uint32_t v0, v1, v2; // separate words: a staged array stalls store forwarding
        std::memcpy(&v0, p, 4);
        std::memcpy(&v1, p + 4, 4);
        std::memcpy(&v2, p + 8, 4);
        // The channels of the bytes run blue, green, red over and over.
        v0 = mapWord(v0, blue, green, red, blue);
        v1 = mapWord(v1, green, red, blue, green);
        v2 = mapWord(v2, red, blue, green, red);
        std::memcpy(p, &v0, 4);
        std::memcpy(p + 4, &v1, 4);
        std::memcpy(p + 8, &v2, 4);
      }
    } else {
      // The fourth byte goes back as it was read.
      for (; x < w; ++x, p += 4) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        v = uint32_t{blue[v & 0xFF]} | uint32_t{green[v >> 8 & 0xFF]} << 8 |
            uint32_t{red[v >> 16 & 0xFF]} << 16 | (v & 0xFF000000u);
        std::memcpy(p, &v, 4);
      }
    }
    return x;
  }

private:
  static uint32_t mapWord(uint32_t v, const uint8_t *t0, const uint8_t *t1, const uint8_t *t2,
                          const uint8_t *t3) {
    return uint32_t{t0[v & 0xFF]} | uint32_t{t1[v >> 8 & 0xFF]} << 8 |
           uint32_t{t2[v >> 16 & 0xFF]} << 16 | uint32_t{t3[v >> 24]} << 24;
  }
};

// A table operation. Where the three tables are one (an adjustment of the
// whole picture alike), the vector kernel takes every byte through it.
PELIMAGE *runTables(PELIMAGE *image, const Tables &t, int32_t copy) {
  TableOp op{&t};
#if defined(PELC_X86_KERNELS)
  op.oneVectorTable = std::memcmp(t.data(), t.data() + 256, 256) == 0 &&
                      std::memcmp(t.data(), t.data() + 512, 256) == 0 &&
                      simdAtLeast(SimdLevel::Avx2);
#endif
  return runTone(image, op, copy);
}

uint8_t clampByte(double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0)); }

// The tone tables are fixed to single precision for the exponent and the
// angle factors and to double precision for every product and sum. An x87
// unit (32-bit x86 without SSE2 arithmetic) keeps excess precision in
// registers, which moves table entries that sit next to a rounding boundary;
// a store through a volatile object rounds each value to its type there, the
// same on every floating-point unit. A table costs 768 of these at most.
float asSingle(float v) {
  volatile float stored = v;
  return stored;
}
double asDouble(double v) {
  volatile double stored = v;
  return stored;
}

// table[i] = (x ^ e) * 255 + 0.5 truncated, x = i * (single-precision 1/255).
uint8_t gammaEntry(int i, float e) {
  const double x = asDouble(i * static_cast<double>(0.003921569f));
  const double scaled = asDouble(asDouble(std::pow(x, static_cast<double>(e))) * 255);
  // Clamped before the conversion: tiny gammas push the top entries past 255.
  return clampByte(asDouble(scaled + 0.5));
}

// The slope of the contrast line: tan((k * 0.44 + 45) degrees), the factors
// in single precision, the arithmetic in double.
double contrastSlope(double k) {
  const double degrees = asDouble(asDouble(k * static_cast<double>(0.44f)) + 45);
  return asDouble(std::tan(asDouble(degrees * static_cast<double>(0.01745328f))));
}
int32_t clampInt(int32_t v, int32_t lo, int32_t hi) { return std::clamp(v, lo, hi); }

// Hue, saturation, lightness in integers; every quotient truncates. The
// divisions are the multiply-and-shift forms of hsl_divide.hpp, exact for
// every operand that reaches them.
struct HslOp {
  int32_t hue, saturation, lightness;
  // Vector kernels for 24- and 32-bit lines, picked once per call: each does
  // whole groups of pixels from the start of a line and says how many. The
  // key is the transparent colour as 0xRRGGBB, or a value no pixel has.
  using Head = std::size_t (*)(uint8_t *, std::size_t, const HslOp &, uint32_t key);
  Head head3 = nullptr, head4 = nullptr;
  template <std::size_t Bpp> std::size_t head(uint8_t *p, std::size_t w, const Key &key) const {
    const Head kernel = Bpp == 3 ? head3 : head4;
    if (!kernel) return 0;
    return kernel(p, w, *this,
                  key.skip ? uint32_t{key.r} << 16 | uint32_t{key.g} << 8 | key.b : 0xFFFFFFFFu);
  }
  void operator()(uint8_t &r, uint8_t &g, uint8_t &b) const {
    const int32_t M = std::max({r, g, b}), m = std::min({r, g, b}), d = M - m;
    if (d == 0) return;
    const int32_t sum = M + m, L = sum / 2;
    // The divisor is never below the spread and never 0 while the spread is not.
    const auto S = static_cast<int32_t>(hsl::hundredOver(
        static_cast<uint32_t>(d), static_cast<uint32_t>(L < 128 ? sum : 510 - sum)));
    // Selects rather than branches: the sextant of a pixel is not predictable.
    const bool redTop = M == r, greenTop = !redTop && M == g;
    const int32_t base = redTop ? 0 : greenTop ? 120 : 240;
    const int32_t x = redTop ? g - b : greenTop ? b - r : r - g;
    const auto t = static_cast<int32_t>(
        hsl::sixtyOver(static_cast<uint32_t>(std::abs(x)), static_cast<uint32_t>(d)));
    int32_t H = x < 0 ? base - t : base + t;
    if (H < 0) H += 360;
    H += hue;
    if (H >= 360)
      H -= 360;
    else if (H < 0)
      H += 360;
    // Everything below is non-negative: p >= L2 >= q >= 0.
    const auto S2 =
        std::min<uint32_t>(hsl::byHundred(static_cast<uint32_t>((saturation + 100) * S)), 100);
    const auto L2 = static_cast<uint32_t>(std::clamp(L + lightness, 0, 255));
    const uint32_t p =
        L2 >= 128 ? L2 + hsl::byHundred((255 - L2) * S2) : hsl::byHundred(L2 * (100 + S2));
    const uint32_t q = 2 * L2 - p, span = p - q;
    const int32_t hr = H + 120 >= 360 ? H + 120 - 360 : H + 120;
    const int32_t hb = H - 120 < 0 ? H - 120 + 360 : H - 120;
    r = static_cast<uint8_t>(q + hsl::bySixty(span * static_cast<uint32_t>(hsl::ramp(hr))));
    g = static_cast<uint8_t>(q + hsl::bySixty(span * static_cast<uint32_t>(hsl::ramp(H))));
    b = static_cast<uint8_t>(q + hsl::bySixty(span * static_cast<uint32_t>(hsl::ramp(hb))));
  }
};

#if defined(PELC_X86_KERNELS)

// The same arithmetic on eight pixels at a time in 32-bit lanes. Selects
// stand in for the branches, the reciprocals are gathered per lane, and the
// products by the constant multipliers of hsl_divide.hpp, whose operands fit
// 16 bits, come from one multiply-add of 16-bit halves.
PELC_TARGET_AVX2 inline __m256i hslByConstant(__m256i v, __m256i multiplier, int shift) {
  return _mm256_srli_epi32(_mm256_madd_epi16(v, multiplier), shift);
}
PELC_TARGET_AVX2 inline __m256i hslRamp(__m256i h) {
  const __m256i up = _mm256_min_epi32(h, _mm256_sub_epi32(_mm256_set1_epi32(240), h));
  return _mm256_min_epi32(_mm256_max_epi32(up, _mm256_setzero_si256()), _mm256_set1_epi32(60));
}
// A channel's level: q + (p - q) * ramp / 60.
PELC_TARGET_AVX2 inline __m256i hslLevel(__m256i q, __m256i span, __m256i h) {
  return _mm256_add_epi32(q, hslByConstant(_mm256_madd_epi16(span, hslRamp(h)),
                                           _mm256_set1_epi32(hsl::kBySixty), hsl::kBySixtyShift));
}

template <std::size_t Bpp>
PELC_TARGET_AVX2 std::size_t hslLineAvx2(uint8_t *p, std::size_t w, const HslOp &op, uint32_t key) {
  constexpr char z = -128; // a shuffle index that yields 0
  // Eight 3-byte pixels, read as bytes 0..15 and 8..23, into 32-bit lanes and back.
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, z, 3, 4, 5, z, 6, 7, 8, z, 9, 10, 11, z, 4, 5, 6,
                                          z, 7, 8, 9, z, 10, 11, 12, z, 13, 14, 15, z);
  const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, z, z, z, z, 0, 1, 2,
                                        4, 5, 6, 8, 9, 10, 12, 13, 14, z, z, z, z);
  const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
  const __m256i zero = _mm256_setzero_si256(), byte = _mm256_set1_epi32(0xFF);
  const __m256i colour = _mm256_set1_epi32(0xFFFFFF), keyColour = _mm256_set1_epi32(int32_t(key));
  const __m256i c100 = _mm256_set1_epi32(100);
  const __m256i c120 = _mm256_set1_epi32(120), c127 = _mm256_set1_epi32(127);
  const __m256i c240 = _mm256_set1_epi32(240), c255 = _mm256_set1_epi32(255);
  const __m256i c359 = _mm256_set1_epi32(359), c360 = _mm256_set1_epi32(360);
  const __m256i c510 = _mm256_set1_epi32(510);
  const __m256i byHundred = _mm256_set1_epi32(hsl::kByHundred);
  const __m256i hue = _mm256_set1_epi32(op.hue), light = _mm256_set1_epi32(op.lightness);
  const __m256i satFactor = _mm256_set1_epi32(op.saturation + 100);
  const auto *hundredOver = reinterpret_cast<const int *>(hsl::kHundredOver.data());
  const auto *sixtyOver = reinterpret_cast<const int *>(hsl::kSixtyOver.data());
  std::size_t x = 0;
  for (; x + 8 <= w; x += 8, p += 8 * Bpp) {
    __m256i raw, pix;
    if constexpr (Bpp == 3) {
      raw = _mm256_inserti128_si256(
          _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p))),
          _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 8)), 1);
      pix = _mm256_shuffle_epi8(raw, spread);
    } else {
      raw = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
      pix = _mm256_and_si256(raw, colour);
    }
    const __m256i b = _mm256_and_si256(pix, byte);
    const __m256i g = _mm256_and_si256(_mm256_srli_epi32(pix, 8), byte);
    const __m256i r = _mm256_srli_epi32(pix, 16);
    const __m256i M = _mm256_max_epi32(_mm256_max_epi32(r, g), b);
    const __m256i m = _mm256_min_epi32(_mm256_min_epi32(r, g), b);
    const __m256i d = _mm256_sub_epi32(M, m), sum = _mm256_add_epi32(M, m);
    // Saturation: 100 * d / (sum or 510 - sum); both are 0..255.
    const __m256i divisor =
        _mm256_blendv_epi8(sum, _mm256_sub_epi32(c510, sum), _mm256_cmpgt_epi32(sum, c255));
    const __m256i S =
        _mm256_srli_epi32(_mm256_mullo_epi32(d, _mm256_i32gather_epi32(hundredOver, divisor, 4)),
                          hsl::kReciprocalShift);
    // Hue: the sextant's base plus or minus 60 * step / d.
    const __m256i redTop = _mm256_cmpeq_epi32(M, r);
    const __m256i greenTop = _mm256_andnot_si256(redTop, _mm256_cmpeq_epi32(M, g));
    const __m256i step = _mm256_blendv_epi8(
        _mm256_blendv_epi8(_mm256_sub_epi32(r, g), _mm256_sub_epi32(b, r), greenTop),
        _mm256_sub_epi32(g, b), redTop);
    const __m256i base = _mm256_andnot_si256(redTop, _mm256_blendv_epi8(c240, c120, greenTop));
    const __m256i t = _mm256_srli_epi32(
        _mm256_mullo_epi32(_mm256_abs_epi32(step), _mm256_i32gather_epi32(sixtyOver, d, 4)),
        hsl::kReciprocalShift);
    __m256i H = _mm256_add_epi32(base, _mm256_sign_epi32(t, step));
    H = _mm256_add_epi32(H, _mm256_and_si256(_mm256_cmpgt_epi32(zero, H), c360));
    H = _mm256_add_epi32(H, hue);
    H = _mm256_sub_epi32(H, _mm256_and_si256(_mm256_cmpgt_epi32(H, c359), c360));
    H = _mm256_add_epi32(H, _mm256_and_si256(_mm256_cmpgt_epi32(zero, H), c360));
    // The new saturation and lightness, and the upper and lower levels p, q.
    const __m256i S2 = _mm256_min_epi32(
        hslByConstant(_mm256_madd_epi16(S, satFactor), byHundred, hsl::kByHundredShift), c100);
    const __m256i L2 = _mm256_min_epi32(
        _mm256_max_epi32(_mm256_add_epi32(_mm256_srli_epi32(sum, 1), light), zero), c255);
    const __m256i upper = _mm256_cmpgt_epi32(L2, c127);
    const __m256i a = _mm256_blendv_epi8(L2, _mm256_sub_epi32(c255, L2), upper);
    const __m256i f = _mm256_blendv_epi8(_mm256_add_epi32(c100, S2), S2, upper);
    const __m256i P =
        _mm256_add_epi32(hslByConstant(_mm256_madd_epi16(a, f), byHundred, hsl::kByHundredShift),
                         _mm256_and_si256(L2, upper));
    const __m256i Q = _mm256_sub_epi32(_mm256_add_epi32(L2, L2), P);
    const __m256i span = _mm256_sub_epi32(P, Q);
    __m256i hr = _mm256_add_epi32(H, c120), hb = _mm256_sub_epi32(H, c120);
    hr = _mm256_sub_epi32(hr, _mm256_and_si256(_mm256_cmpgt_epi32(hr, c359), c360));
    hb = _mm256_add_epi32(hb, _mm256_and_si256(_mm256_cmpgt_epi32(zero, hb), c360));
    __m256i out = _mm256_or_si256(
        _mm256_or_si256(hslLevel(Q, span, hb), _mm256_slli_epi32(hslLevel(Q, span, H), 8)),
        _mm256_slli_epi32(hslLevel(Q, span, hr), 16));
    // Grey pixels and the transparent colour keep their bytes.
    const __m256i keep =
        _mm256_or_si256(_mm256_cmpeq_epi32(d, zero), _mm256_cmpeq_epi32(pix, keyColour));
    out = _mm256_blendv_epi8(out, pix, keep);
    if constexpr (Bpp == 3) {
      const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(out, pack), join);
      _mm_storeu_si128(reinterpret_cast<__m128i *>(p), _mm256_castsi256_si128(packed));
      _mm_storel_epi64(reinterpret_cast<__m128i *>(p + 16), _mm256_extracti128_si256(packed, 1));
    } else {
      // The fourth bytes go back as they were read.
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(p),
                          _mm256_or_si256(out, _mm256_andnot_si256(colour, raw)));
    }
  }
  return x;
}

// Four pixels at a time for processors without AVX2; the reciprocals are
// looked up lane by lane.
PELC_TARGET_SSE41 inline __m128i hslLookup(const uint32_t *table, __m128i i) {
  return _mm_setr_epi32(static_cast<int>(table[_mm_extract_epi32(i, 0)]),
                        static_cast<int>(table[_mm_extract_epi32(i, 1)]),
                        static_cast<int>(table[_mm_extract_epi32(i, 2)]),
                        static_cast<int>(table[_mm_extract_epi32(i, 3)]));
}
PELC_TARGET_SSE41 inline __m128i hslByConstant4(__m128i v, __m128i multiplier, int shift) {
  return _mm_srli_epi32(_mm_madd_epi16(v, multiplier), shift);
}
PELC_TARGET_SSE41 inline __m128i hslRamp4(__m128i h) {
  const __m128i up = _mm_min_epi32(h, _mm_sub_epi32(_mm_set1_epi32(240), h));
  return _mm_min_epi32(_mm_max_epi32(up, _mm_setzero_si128()), _mm_set1_epi32(60));
}
// A channel's level: q + (p - q) * ramp / 60.
PELC_TARGET_SSE41 inline __m128i hslLevel4(__m128i q, __m128i span, __m128i h) {
  return _mm_add_epi32(q, hslByConstant4(_mm_madd_epi16(span, hslRamp4(h)),
                                         _mm_set1_epi32(hsl::kBySixty), hsl::kBySixtyShift));
}

template <std::size_t Bpp>
PELC_TARGET_SSE41 std::size_t hslLineSse41(uint8_t *p, std::size_t w, const HslOp &op,
                                           uint32_t key) {
  constexpr char z = -128; // a shuffle index that yields 0
  // Four 3-byte pixels into 32-bit lanes and back.
  const __m128i spread = _mm_setr_epi8(0, 1, 2, z, 3, 4, 5, z, 6, 7, 8, z, 9, 10, 11, z);
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, z, z, z, z);
  const __m128i zero = _mm_setzero_si128(), byte = _mm_set1_epi32(0xFF);
  const __m128i colour = _mm_set1_epi32(0xFFFFFF), keyColour = _mm_set1_epi32(int32_t(key));
  const __m128i c100 = _mm_set1_epi32(100);
  const __m128i c120 = _mm_set1_epi32(120), c127 = _mm_set1_epi32(127);
  const __m128i c240 = _mm_set1_epi32(240), c255 = _mm_set1_epi32(255);
  const __m128i c359 = _mm_set1_epi32(359), c360 = _mm_set1_epi32(360);
  const __m128i c510 = _mm_set1_epi32(510);
  const __m128i byHundred = _mm_set1_epi32(hsl::kByHundred);
  const __m128i hue = _mm_set1_epi32(op.hue), light = _mm_set1_epi32(op.lightness);
  const __m128i satFactor = _mm_set1_epi32(op.saturation + 100);
  std::size_t x = 0;
  for (; x + 4 <= w; x += 4, p += 4 * Bpp) {
    __m128i raw, pix;
    if constexpr (Bpp == 3) {
      uint32_t last;
      std::memcpy(&last, p + 8, 4);
      raw = _mm_insert_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)),
                             static_cast<int>(last), 2);
      pix = _mm_shuffle_epi8(raw, spread);
    } else {
      raw = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
      pix = _mm_and_si128(raw, colour);
    }
    const __m128i b = _mm_and_si128(pix, byte);
    const __m128i g = _mm_and_si128(_mm_srli_epi32(pix, 8), byte);
    const __m128i r = _mm_srli_epi32(pix, 16);
    const __m128i M = _mm_max_epi32(_mm_max_epi32(r, g), b);
    const __m128i m = _mm_min_epi32(_mm_min_epi32(r, g), b);
    const __m128i d = _mm_sub_epi32(M, m), sum = _mm_add_epi32(M, m);
    // Saturation: 100 * d / (sum or 510 - sum); both are 0..255.
    const __m128i divisor =
        _mm_blendv_epi8(sum, _mm_sub_epi32(c510, sum), _mm_cmpgt_epi32(sum, c255));
    const __m128i S = _mm_srli_epi32(
        _mm_mullo_epi32(d, hslLookup(hsl::kHundredOver.data(), divisor)), hsl::kReciprocalShift);
    // Hue: the sextant's base plus or minus 60 * step / d.
    const __m128i redTop = _mm_cmpeq_epi32(M, r);
    const __m128i greenTop = _mm_andnot_si128(redTop, _mm_cmpeq_epi32(M, g));
    const __m128i step =
        _mm_blendv_epi8(_mm_blendv_epi8(_mm_sub_epi32(r, g), _mm_sub_epi32(b, r), greenTop),
                        _mm_sub_epi32(g, b), redTop);
    const __m128i base = _mm_andnot_si128(redTop, _mm_blendv_epi8(c240, c120, greenTop));
    const __m128i t =
        _mm_srli_epi32(_mm_mullo_epi32(_mm_abs_epi32(step), hslLookup(hsl::kSixtyOver.data(), d)),
                       hsl::kReciprocalShift);
    __m128i H = _mm_add_epi32(base, _mm_sign_epi32(t, step));
    H = _mm_add_epi32(H, _mm_and_si128(_mm_cmpgt_epi32(zero, H), c360));
    H = _mm_add_epi32(H, hue);
    H = _mm_sub_epi32(H, _mm_and_si128(_mm_cmpgt_epi32(H, c359), c360));
    H = _mm_add_epi32(H, _mm_and_si128(_mm_cmpgt_epi32(zero, H), c360));
    // The new saturation and lightness, and the upper and lower levels p, q.
    const __m128i S2 = _mm_min_epi32(
        hslByConstant4(_mm_madd_epi16(S, satFactor), byHundred, hsl::kByHundredShift), c100);
    const __m128i L2 =
        _mm_min_epi32(_mm_max_epi32(_mm_add_epi32(_mm_srli_epi32(sum, 1), light), zero), c255);
    const __m128i upper = _mm_cmpgt_epi32(L2, c127);
    const __m128i a = _mm_blendv_epi8(L2, _mm_sub_epi32(c255, L2), upper);
    const __m128i f = _mm_blendv_epi8(_mm_add_epi32(c100, S2), S2, upper);
    const __m128i P =
        _mm_add_epi32(hslByConstant4(_mm_madd_epi16(a, f), byHundred, hsl::kByHundredShift),
                      _mm_and_si128(L2, upper));
    const __m128i Q = _mm_sub_epi32(_mm_add_epi32(L2, L2), P);
    const __m128i span = _mm_sub_epi32(P, Q);
    __m128i hr = _mm_add_epi32(H, c120), hb = _mm_sub_epi32(H, c120);
    hr = _mm_sub_epi32(hr, _mm_and_si128(_mm_cmpgt_epi32(hr, c359), c360));
    hb = _mm_add_epi32(hb, _mm_and_si128(_mm_cmpgt_epi32(zero, hb), c360));
    __m128i out =
        _mm_or_si128(_mm_or_si128(hslLevel4(Q, span, hb), _mm_slli_epi32(hslLevel4(Q, span, H), 8)),
                     _mm_slli_epi32(hslLevel4(Q, span, hr), 16));
    // Grey pixels and the transparent colour keep their bytes.
    const __m128i keep = _mm_or_si128(_mm_cmpeq_epi32(d, zero), _mm_cmpeq_epi32(pix, keyColour));
    out = _mm_blendv_epi8(out, pix, keep);
    if constexpr (Bpp == 3) {
      const __m128i packed = _mm_shuffle_epi8(out, pack);
      _mm_storel_epi64(reinterpret_cast<__m128i *>(p), packed);
      const auto last = static_cast<uint32_t>(_mm_extract_epi32(packed, 2));
      std::memcpy(p + 8, &last, 4);
    } else {
      // The fourth bytes go back as they were read.
      _mm_storeu_si128(reinterpret_cast<__m128i *>(p),
                       _mm_or_si128(out, _mm_andnot_si128(colour, raw)));
    }
  }
  return x;
}

#endif

} // namespace

extern "C" {

PELIMAGE *PELAPI pelGrey(PELIMAGE *image, int32_t offset, int32_t copy) noexcept {
  const int32_t off = clampInt(offset, -255, 255); // keeps the sum from overflowing
  return runTone(
      image,
      [off](uint8_t &r, uint8_t &g, uint8_t &b) {
        const int32_t v = std::clamp(((77 * r + 150 * g + 29 * b) >> 8) + off, 0, 255);
        r = g = b = static_cast<uint8_t>(v);
      },
      copy);
}

PELIMAGE *PELAPI pelInvert(PELIMAGE *image, int32_t copy) noexcept {
  return runTone(
      image,
      [](uint8_t &r, uint8_t &g, uint8_t &b) {
        r = static_cast<uint8_t>(255 - r);
        g = static_cast<uint8_t>(255 - g);
        b = static_cast<uint8_t>(255 - b);
      },
      copy);
}

PELIMAGE *PELAPI pelGammaCorrect(PELIMAGE *image, float red, float green, float blue,
                                 int32_t copy) noexcept {
  const float gammas[3] = {red, green, blue};
  Tables t{};
  for (int c = 0; c < 3; ++c) {
    if (!(gammas[c] > 0)) return nullptr; // also refuses NaN
    const float e = asSingle(1.0f / gammas[c]);
    for (int i = 0; i < 256; ++i) t[static_cast<std::size_t>(c * 256 + i)] = gammaEntry(i, e);
  }
  return runTables(image, t, copy);
}

PELIMAGE *PELAPI pelLuminance(PELIMAGE *image, const int32_t *offsets, int32_t copy) noexcept {
  if (!offsets) return nullptr;
  Tables t{};
  for (int c = 0; c < 3; ++c) {
    const int32_t off = clampInt(offsets[c], -255, 255);
    for (int i = 0; i < 256; ++i)
      t[static_cast<std::size_t>(c * 256 + i)] = static_cast<uint8_t>(std::clamp(i + off, 0, 255));
  }
  return runTables(image, t, copy);
}

PELIMAGE *PELAPI pelContrast(PELIMAGE *image, const int32_t *brightness, const int32_t *contrast,
                             int32_t copy) noexcept {
  if (!brightness || !contrast) return nullptr;
  Tables t{};
  for (int c = 0; c < 3; ++c) {
    const double b = clampInt(brightness[c], -100, 100);
    const double k = clampInt(contrast[c], -100, 100);
    const double s = contrastSlope(k);
    const double rise = asDouble(asDouble(asDouble(s + 1) * b) * 1.275);
    const double cc = asDouble(asDouble(rise + asDouble(asDouble(1 - s) * 127.5)) + 0.5);
    for (int i = 0; i < 256; ++i)
      t[static_cast<std::size_t>(c * 256 + i)] =
          clampByte(std::trunc(asDouble(asDouble(i * s) + cc)));
  }
  return runTables(image, t, copy);
}

PELIMAGE *PELAPI pelSaturation(PELIMAGE *image, int32_t hue, int32_t lightness, int32_t saturation,
                               int32_t copy) noexcept {
  HslOp op{clampInt(hue, -360, 360), clampInt(saturation, -100, 100),
           clampInt(lightness, -255, 255)};
#if defined(PELC_X86_KERNELS)
  if (simdAtLeast(SimdLevel::Avx2)) {
    op.head3 = hslLineAvx2<3>;
    op.head4 = hslLineAvx2<4>;
  } else if (simdAtLeast(SimdLevel::Sse41)) {
    op.head3 = hslLineSse41<3>;
    op.head4 = hslLineSse41<4>;
  }
#endif
  return runTone(image, op, copy);
}

} // extern "C"
