// SPDX-License-Identifier: MIT
//
// Tone adjustments: one driver walks palette entries or pixels, skipping the
// transparent colour, and hands every colour to a per-colour operation.
#include "core/detail.hpp"

#include "tone/hsl_divide.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

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
  for (std::size_t x = 0; x < w; ++x, p += Bpp) {
    uint8_t r = p[2], g = p[1], b = p[0];
    if (Skip && key.matches(r, g, b)) continue;
    op(r, g, b);
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
}

template <std::size_t Bpp, typename Op>
void trueColourLines(uint8_t *bits, std::size_t lineBytes, std::size_t w, std::size_t rows,
                     const Op &op, const Key &key) {
  for (std::size_t y = 0; y < rows; ++y) {
    uint8_t *line = bits + y * lineBytes;
    if (key.skip)
      trueColourLine<true, Bpp>(line, w, op, key);
    else
      trueColourLine<false, Bpp>(line, w, op, key);
  }
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

// Adjusts the image itself, or a copy of it in the same kind of memory; the
// walk follows the argument's type and stays inside the target's own store.
template <typename Op> PELIMAGE *runTone(PELIMAGE *image, const Op &op, int32_t copy) {
  if (!image || !image->core || !image->core->header) return nullptr;
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

struct TableOp {
  const Tables *t;
  void operator()(uint8_t &r, uint8_t &g, uint8_t &b) const {
    r = (*t)[r];
    g = (*t)[256 + g];
    b = (*t)[512 + b];
  }
};

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
  return runTone(image, TableOp{&t}, copy);
}

PELIMAGE *PELAPI pelLuminance(PELIMAGE *image, const int32_t *offsets, int32_t copy) noexcept {
  if (!offsets) return nullptr;
  Tables t{};
  for (int c = 0; c < 3; ++c) {
    const int32_t off = clampInt(offsets[c], -255, 255);
    for (int i = 0; i < 256; ++i)
      t[static_cast<std::size_t>(c * 256 + i)] = static_cast<uint8_t>(std::clamp(i + off, 0, 255));
  }
  return runTone(image, TableOp{&t}, copy);
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
  return runTone(image, TableOp{&t}, copy);
}

PELIMAGE *PELAPI pelSaturation(PELIMAGE *image, int32_t hue, int32_t lightness, int32_t saturation,
                               int32_t copy) noexcept {
  const HslOp op{clampInt(hue, -360, 360), clampInt(saturation, -100, 100),
                 clampInt(lightness, -255, 255)};
  return runTone(image, op, copy);
}

} // extern "C"
