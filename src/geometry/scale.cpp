// SPDX-License-Identifier: MIT
//
// Resizing with fixed-point steps (ten fractional bits). The nearest-pixel
// methods anchor at the first pixel, the area-weighted bilinear method one
// step in. Steps and accumulators are 64-bit, so sources of any valid width
// keep exact positions, and the area sums cannot wrap.
#include "core/detail.hpp"
#include "geometry/detail.hpp"
#include "geometry/lanes_avx2.hpp"

#include <limits>
#include <type_traits>

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

bool scalePalette(const Scaling &s) {
  scalePaletteNearest(*s.src, *s.dst, s.stepX, s.stepY);
  return true;
}

// Owner of a zeroed work buffer from the global heap.
template <typename T> GlobalPtr<T> workBuffer(uint64_t count) {
  if (count == 0 || count > std::numeric_limits<std::size_t>::max() / sizeof(T)) return nullptr;
  return globalNew<T>(static_cast<std::size_t>(count) * sizeof(T));
}

// Whole part of an accumulator raised to 1 when it is 0; the fraction kept.
struct Position {
  uint64_t index;
  int32_t frac;
};
Position positionOf(uint64_t acc) {
  const uint64_t whole = acc >> kFracBits;
  return {whole == 0 ? 1 : whole, static_cast<int32_t>(acc & kFracMask)};
}

// A source line as 8-bit lanes: the stored bytes themselves for the byte
// formats, the unpacked channels for the 16-bit ones.
template <typename T> constexpr int kLanes = T::kBytes == 2 ? 3 : T::kBytes;

// The finishing step of a result line when no area is averaged.
struct NoArea {
  void operator()(int32_t *) const {}
};

// One result column: lane offsets of the left sample and of its right
// neighbour (the same pixel when there is none), the weight of the right one
// and the lane offset where the area block starts.
struct Column {
  std::size_t left, right, block;
  int32_t frac;
};

// Enlargements with AVX2 keep the weighted lines by groups of eight result
// columns, channel after channel, so that a group is weighted with one
// gather per pair of neighbours and one multiply-add per channel, and the
// vertical step ends in one packed store per group. Each value is the
// scalar's expression.
struct VectorColumns {
  GlobalPtr<int32_t> offsets; // lane offset of the left sample
  GlobalPtr<int32_t> weights; // (1024 - frac) | frac << 16
  // Per group: how its pairs are read. Where four columns' samples lie
  // within 16 lanes (every enlargement of the byte formats), a load per four
  // columns and a byte shuffle per channel do; otherwise a gather where each
  // column has its right neighbour, else the plain loop.
  GlobalPtr<uint8_t> mode;
  GlobalPtr<int32_t> bases;    // shuffled groups: first lane of each half
  GlobalPtr<uint8_t> shuffles; // shuffled groups: 32 bytes per channel
  std::size_t groups = 0;
  enum : uint8_t { kPlain, kGather, kShuffle };
};

#if defined(PELC_X86_KERNELS)
// Pairs of lanes: 16-bit pixels are read unpacked, as three bytes.
template <typename T> using LanePairs = VectorPairs<std::conditional_t<kLanes<T> == 3, Bgr24, T>>;

template <typename T>
PELC_TARGET_AVX2 void weighGroups(const uint8_t *src, const VectorColumns &vc, const Column *col,
                                  uint64_t dstW, int32_t *out) {
  constexpr int C = T::kChannels;
  for (std::size_t g = 0; g < vc.groups; ++g, out += 8 * C) {
    const uint8_t mode = vc.mode.get()[g];
    if (mode == VectorColumns::kShuffle) {
      const int32_t *base = vc.bases.get() + 2 * g;
      const __m256i bytes = _mm256_inserti128_si256(
          _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + base[0]))),
          _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + base[1])), 1);
      const __m256i wx =
          _mm256_loadu_si256(reinterpret_cast<const __m256i *>(vc.weights.get() + 8 * g));
      const uint8_t *masks = vc.shuffles.get() + g * C * 32;
      for (int k = 0; k < C; ++k) {
        const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(masks + 32 * k));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 8 * k),
                            _mm256_madd_epi16(_mm256_shuffle_epi8(bytes, m), wx));
      }
      continue;
    }
    if (mode == VectorColumns::kGather) {
      const __m256i off =
          _mm256_loadu_si256(reinterpret_cast<const __m256i *>(vc.offsets.get() + 8 * g));
      const __m256i wx =
          _mm256_loadu_si256(reinterpret_cast<const __m256i *>(vc.weights.get() + 8 * g));
      const Lanes8 p = LanePairs<T>::at(src, off, true);
      for (int k = 0; k < C; ++k)
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 8 * k),
                            _mm256_madd_epi16(p.c[k], wx));
      continue;
    }
    for (uint64_t l = 0; l < 8 && 8 * g + l < dstW; ++l) {
      const Column &c = col[8 * g + l];
      for (int k = 0; k < C; ++k) {
        const int32_t a0 = src[c.left + k], a1 = src[c.right + k];
        out[8 * k + l] = a0 * kOne + (a1 - a0) * c.frac;
      }
    }
  }
}

template <typename T>
PELC_TARGET_AVX2 void storeGroups(const int32_t *a, const int32_t *b, int32_t fy,
                                  std::size_t groups, uint64_t dstW, uint8_t *d) {
  constexpr int C = T::kChannels;
  const __m256i vfy = _mm256_set1_epi32(fy);
  for (std::size_t g = 0; g < groups; ++g, a += 8 * C, b += 8 * C, d += 8 * T::kBytes) {
    Lanes8 v;
    for (int k = 0; k < C; ++k) {
      const __m256i ak = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(a + 8 * k));
      const __m256i bk = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(b + 8 * k));
      v.c[k] =
          _mm256_srai_epi32(_mm256_add_epi32(_mm256_slli_epi32(ak, kFracBits),
                                             _mm256_mullo_epi32(_mm256_sub_epi32(bk, ak), vfy)),
                            20);
    }
    const uint64_t left = dstW - 8 * g;
    if (left >= 8) {
      VectorStore<T>::at(d, v);
    } else {
      // The last group's packed store goes through a copy of what the line
      // holds, and only its own pixels go back.
      uint8_t tail[32];
      const std::size_t bytes = static_cast<std::size_t>(left) * T::kBytes;
      std::memcpy(tail, d, bytes);
      VectorStore<T>::at(tail, v);
      std::memcpy(d, tail, bytes);
    }
  }
}
#endif

#if defined(PELC_X86_KERNELS)
// Columns [0, count) of a weighted line in the plain layout, two at a time:
// each column's sample and right neighbour from one 16-lane load, spread to
// (left, right) pairs per channel for one multiply-add. Each column's store
// runs one value into the next column's, which that column then writes.
template <int L>
PELC_TARGET_AVX2 void weighPairs(const uint8_t *src, const Column *col, const int32_t *weights,
                                 uint64_t count, int32_t *out) {
  const __m256i spread =
      _mm256_setr_epi8(0, -1, L, -1, 1, -1, L + 1, -1, 2, -1, L + 2, -1, -1, -1, -1, -1, 0, -1, L,
                       -1, 1, -1, L + 1, -1, 2, -1, L + 2, -1, -1, -1, -1, -1);
  uint64_t j = 0;
  for (; j + 2 <= count; j += 2, out += 6) {
    const __m256i bytes = _mm256_inserti128_si256(
        _mm256_castsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + col[j].left))),
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + col[j + 1].left)), 1);
    const __m256i w = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_set1_epi32(weights[j])),
                                              _mm_set1_epi32(weights[j + 1]), 1);
    const __m256i t = _mm256_madd_epi16(_mm256_shuffle_epi8(bytes, spread), w);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm256_castsi256_si128(t));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 3), _mm256_extracti128_si256(t, 1));
  }
}
#endif

template <typename T> struct AreaBilinear {
  static constexpr int C = T::kChannels;
  static constexpr int L = kLanes<T>;
  const Scaling &s;
  uint64_t blockW = 0, blockH = 0;
  GlobalPtr<Column> columns;
  GlobalPtr<int32_t> rows[2]; // horizontally weighted lines, 1024ths
  int64_t rowKey[2] = {-1, -1};
  GlobalPtr<int32_t> values;   // one result line, channel values
  GlobalPtr<uint8_t> unpacked; // 16-bit formats only
  VectorColumns vc;            // set up by `grouped` alone
  // Set up by `paired` alone: the leading columns, an even number, whose
  // neighbours are read by `weighPairs`, and their weights.
  uint64_t pairedColumns = 0;
  GlobalPtr<int32_t> pairWeights;
  explicit AreaBilinear(const Scaling &scaling) : s(scaling) {}

  bool prepare() {
    columns = workBuffer<Column>(s.dstW);
    for (auto &row : rows) row = workBuffer<int32_t>(s.dstW * C);
    values = workBuffer<int32_t>(s.dstW * C);
    if (T::kBytes == 2) unpacked = workBuffer<uint8_t>(s.srcW * L);
    if (!columns || !rows[0] || !rows[1] || !values || (T::kBytes == 2 && !unpacked)) return false;
    uint64_t ax = s.stepX;
    for (uint64_t j = 0; j < s.dstW; ++j, ax += s.stepX) {
      const Position px = positionOf(ax);
      const std::size_t left = static_cast<std::size_t>(px.index - 1) * L;
      columns.get()[j] = {left, px.index < s.srcW ? left + L : left,
                          static_cast<std::size_t>(px.index - blockW) * L, px.frac};
    }
    return true;
  }

  // The grouped layout, for enlargements: the lines' lanes are gathered with
  // 32-bit offsets, and the greyscale gather starts two bytes before the
  // left sample (reading from it on could run past the store's last line).
  bool grouped() {
#if defined(PELC_X86_KERNELS)
    if (!simdAtLeast(SimdLevel::Avx2) || s.srcW * L >= (uint64_t{1} << 30)) return false;
    // Nothing changes unless every buffer is had: the plain layout is kept.
    const auto groups = static_cast<std::size_t>((s.dstW + 7) / 8);
    VectorColumns v;
    v.offsets = workBuffer<int32_t>(groups * 8);
    v.weights = workBuffer<int32_t>(groups * 8);
    v.mode = workBuffer<uint8_t>(groups);
    v.bases = workBuffer<int32_t>(groups * 2);
    v.shuffles = workBuffer<uint8_t>(groups * C * 32);
    GlobalPtr<int32_t> wide[2] = {workBuffer<int32_t>(groups * 8 * C),
                                  workBuffer<int32_t>(groups * 8 * C)};
    if (!v.offsets || !v.weights || !v.mode || !v.bases || !v.shuffles || !wide[0] || !wide[1])
      return false;
    v.groups = groups;
    vc = std::move(v);
    rows[0] = std::move(wide[0]);
    rows[1] = std::move(wide[1]);
    const Column *col = columns.get();
    for (uint64_t j = 0; j < s.dstW; ++j) {
      vc.offsets.get()[j] = static_cast<int32_t>(col[j].left);
      vc.weights.get()[j] = (kOne - col[j].frac) | col[j].frac << 16;
    }
    const std::size_t lineLanes = static_cast<std::size_t>(s.srcW) * L;
    for (std::size_t g = 0; g < vc.groups; ++g) {
      const uint64_t j0 = 8 * g, j7 = j0 + 7;
      uint8_t &mode = vc.mode.get()[g];
      mode = VectorColumns::kPlain;
      if (j7 >= s.dstW) continue;
      bool shuffled = true;
      for (int half = 0; half < 2 && shuffled; ++half) {
        const std::size_t base = col[j0 + 4 * half].left;
        vc.bases.get()[2 * g + half] = static_cast<int32_t>(base);
        shuffled = base + 16 <= lineLanes && col[j0 + 4 * half + 3].right + L - 1 < base + 16;
        for (int l = 0; l < 4 && shuffled; ++l) {
          const Column &c = col[j0 + 4 * half + l];
          for (int k = 0; k < C; ++k) {
            uint8_t *m = vc.shuffles.get() + (g * C + k) * 32 + 16 * half + 4 * l;
            m[0] = static_cast<uint8_t>(c.left + k - base);
            m[1] = m[3] = 0x80;
            m[2] = static_cast<uint8_t>(c.right + k - base);
          }
        }
      }
      if (shuffled)
        mode = VectorColumns::kShuffle;
      else if (col[j7].right == col[j7].left + L && (L != 1 || col[j0].left >= 2))
        mode = VectorColumns::kGather;
    }
    return true;
#else
    return false;
#endif
  }

  // The paired reads of the plain layout, for three channels: a column
  // qualifies while it has a right neighbour and 16 lanes from its sample
  // stay on the line; the store of the last one needs one value after it.
  void paired() {
#if defined(PELC_X86_KERNELS)
    if (C != 3 || !simdAtLeast(SimdLevel::Avx2)) return;
    const std::size_t lineLanes = static_cast<std::size_t>(s.srcW) * L;
    const Column *col = columns.get();
    uint64_t count = 0;
    while (count + 1 < s.dstW && col[count].right == col[count].left + L &&
           col[count].left + 16 <= lineLanes)
      ++count;
    count &= ~uint64_t{1};
    if (count == 0) return;
    pairWeights = workBuffer<int32_t>(count);
    if (!pairWeights) return;
    for (uint64_t j = 0; j < count; ++j)
      pairWeights.get()[j] = (kOne - col[j].frac) | col[j].frac << 16;
    pairedColumns = count;
#endif
  }

  const uint8_t *lanes(uint64_t line) {
    const uint8_t *src = srcPictureLine(s, line);
    if constexpr (T::kBytes != 2) {
      return src;
    } else {
      uint8_t *out = unpacked.get();
      for (uint64_t x = 0; x < s.srcW; ++x, src += 2, out += 3) {
        int32_t c[3];
        T::load(src, c);
        for (int k = 0; k < 3; ++k) out[k] = static_cast<uint8_t>(c[k]);
      }
      return unpacked.get();
    }
  }

  // Line `line` weighted horizontally, or (weighted false) its left samples
  // alone, kept in one of two slots so that consecutive result lines reuse it.
  const int32_t *row(uint64_t line, bool weighted, int keep) {
    const int64_t key = static_cast<int64_t>(line * 2 + (weighted ? 1 : 0));
    for (int slot = 0; slot < 2; ++slot)
      if (rowKey[slot] == key) return rows[slot].get();
    const int slot = keep == 0 ? 1 : 0;
    const uint8_t *src = lanes(line);
    int32_t *out = rows[slot].get();
    const Column *col = columns.get();
    rowKey[slot] = key;
#if defined(PELC_X86_KERNELS)
    if (vc.groups) {
      if (weighted) {
        weighGroups<T>(src, vc, col, s.dstW, out);
      } else {
        for (uint64_t j = 0; j < s.dstW; ++j)
          for (int k = 0; k < C; ++k)
            out[(j / 8) * 8 * C + 8 * k + j % 8] = src[col[j].left + k] * kOne;
      }
      return out;
    }
    uint64_t j = 0;
    if (weighted && pairedColumns) {
      weighPairs<L>(src, col, pairWeights.get(), pairedColumns, out);
      j = pairedColumns;
      out += j * C;
    }
#endif
    for (; j < s.dstW; ++j, out += C) {
      for (int k = 0; k < C; ++k) {
        const int32_t a0 = src[col[j].left + k], a1 = src[col[j].right + k];
        out[k] = a0 * kOne + (weighted ? (a1 - a0) * col[j].frac : 0);
      }
    }
    return out - s.dstW * C;
  }

  int slotOf(const int32_t *p) const { return p == rows[0].get() ? 0 : 1; }

  // Result line i: the vertical weighting into `values`, then `finish` (the
  // area average, if any), then the store.
  template <typename Finish> void line(uint64_t i, uint64_t ay, Finish &&finish) {
    const Position py = positionOf(ay);
    const int32_t *a = row(py.index - 1, true, -1);
    const int32_t *b =
        py.index < s.srcH ? row(py.index, true, slotOf(a)) : row(py.index - 1, false, slotOf(a));
    const int32_t fy = py.frac;
    int32_t *v = values.get();
    const std::size_t n = static_cast<std::size_t>(s.dstW) * C;
    uint8_t *d = dstPictureLine(s, i);
#if defined(PELC_X86_KERNELS)
    if constexpr (std::is_same_v<std::decay_t<Finish>, NoArea>) {
      if (vc.groups) {
        storeGroups<T>(a, b, fy, vc.groups, s.dstW, d);
        return;
      }
    }
#endif
    if constexpr (C == T::kBytes && std::is_same_v<std::decay_t<Finish>, NoArea>) {
      // Nothing between weighting and storing: one pass.
      for (std::size_t k = 0; k < n; ++k)
        d[k] = static_cast<uint8_t>((a[k] * kOne + (b[k] - a[k]) * fy) >> 20);
      return;
    }
    for (std::size_t k = 0; k < n; ++k) v[k] = (a[k] * kOne + (b[k] - a[k]) * fy) >> 20;
    finish(v);
    if constexpr (C == T::kBytes) {
      for (std::size_t k = 0; k < n; ++k) d[k] = static_cast<uint8_t>(v[k]);
    } else {
      for (uint64_t j = 0; j < s.dstW; ++j, v += C, d += T::kBytes) T::store(d, v);
    }
  }
};

// The area average of every result column of a line with three channels:
// per column, four lanes at a time (the fourth is the next column's or a
// spare lane, and is dropped), each lane's quotient by the multiply-and-shift
// of `Divider`. The last column takes the plain loop, so that no read passes
// the line's values.
#if defined(PELC_X86_KERNELS)
template <int L>
PELC_TARGET_AVX2 uint64_t averageColumns(int32_t *v, const uint32_t *sum, const Column *col,
                                         uint64_t dstW, uint64_t blockW, const Divider &divide) {
  const __m128i r = _mm_set1_epi32(static_cast<int32_t>(divide.reciprocal));
  const __m128i shift = _mm_cvtsi32_si128(divide.shift);
  uint64_t j = 0;
  for (; j + 1 < dstW; ++j, v += 3) {
    __m128i acc = _mm_loadu_si128(reinterpret_cast<const __m128i *>(v));
    const uint32_t *p = sum + col[j].block;
    for (uint64_t x = 0; x < blockW; ++x, p += L)
      acc = _mm_add_epi32(acc, _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
    const __m128i even = _mm_srl_epi64(_mm_mul_epu32(acc, r), shift);
    const __m128i odd = _mm_srl_epi64(_mm_mul_epu32(_mm_srli_epi64(acc, 32), r), shift);
    const __m128i q = _mm_or_si128(even, _mm_slli_epi64(odd, 32));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(v), q);
    v[2] = _mm_extract_epi32(q, 2);
  }
  return j;
}
#endif

// Sum and Wide (the copy built for AVX2) choose the loops; the values are
// the same.
template <typename T, typename Sum, bool Wide>
[[gnu::always_inline]] inline bool scaleAreaBody(AreaBilinear<T> &f) {
  const Scaling &s = f.s;
  constexpr int C = T::kChannels, L = kLanes<T>;
  // Spare lanes past the end for the four-lane reads of the last block.
  auto sums = workBuffer<Sum>(s.srcW * L + 4);
  if (!sums) return false;
  const Divider divide(1 + f.blockW * f.blockH);
  uint64_t ay = s.stepY;
  for (uint64_t i = 0; i < s.dstH; ++i, ay += s.stepY) {
    // Column sums over the block's lines, then per result column over its
    // block's columns; the bilinear value counts as one more sample.
    Sum *sum = sums.get();
    const std::size_t lanes = static_cast<std::size_t>(s.srcW) * L;
    const uint64_t end = positionOf(ay).index;
    uint64_t l = end - f.blockH;
    if constexpr (T::kBytes != 2) {
      // Two stored lines per pass halve the sums' traffic.
      for (; l + 1 < end; l += 2) {
        const uint8_t *p = f.lanes(l), *q = f.lanes(l + 1);
        if (l == end - f.blockH) {
          for (std::size_t n = 0; n < lanes; ++n) sum[n] = static_cast<Sum>(p[n] + q[n]);
        } else {
          for (std::size_t n = 0; n < lanes; ++n) sum[n] += static_cast<Sum>(p[n] + q[n]);
        }
      }
    }
    if (l == end - f.blockH) {
      const uint8_t *p = f.lanes(l++);
      for (std::size_t n = 0; n < lanes; ++n) sum[n] = p[n];
    }
    for (; l < end; ++l) {
      const uint8_t *p = f.lanes(l);
      for (std::size_t n = 0; n < lanes; ++n) sum[n] += p[n];
    }
    const Column *col = f.columns.get();
    f.line(i, ay, [&](int32_t *v) {
      uint64_t j = 0;
#if defined(PELC_X86_KERNELS)
      if constexpr (Wide && C == 3 && std::is_same_v<Sum, uint32_t>) {
        if (divide.reciprocal) j = averageColumns<L>(v, sum, col, s.dstW, f.blockW, divide);
        v += j * C;
      }
#endif
      for (; j < s.dstW; ++j, v += C) {
        for (int k = 0; k < C; ++k) {
          uint64_t total = static_cast<uint64_t>(v[k]);
          const Sum *p = sum + col[j].block + k;
          for (uint64_t x = 0; x < f.blockW; ++x, p += L) total += *p;
          v[k] = static_cast<int32_t>(divide(total));
        }
      }
    });
  }
  return true;
}

template <typename T, typename Sum> bool scaleAreaPlain(AreaBilinear<T> &f) {
  return scaleAreaBody<T, Sum, false>(f);
}
#if defined(PELC_X86_KERNELS)
template <typename T, typename Sum> PELC_TARGET_AVX2 bool scaleAreaWide(AreaBilinear<T> &f) {
  return scaleAreaBody<T, Sum, true>(f);
}
#endif
template <typename T, typename Sum> bool scaleArea(AreaBilinear<T> &f) {
#if defined(PELC_X86_KERNELS)
  if (simdAtLeast(SimdLevel::Avx2)) return scaleAreaWide<T, Sum>(f);
#endif
  return scaleAreaPlain<T, Sum>(f);
}

// Positions from one step in; the block average only when neither axis is
// enlarged. Block sums fit 32 bits unless one result pixel averages more
// than about 16.8 million source pixels.
template <typename T> bool scaleBilinear(const Scaling &s) {
  AreaBilinear<T> f(s);
  f.blockW = s.stepX >> kFracBits;
  f.blockH = s.stepY >> kFracBits;
  if (!f.prepare()) return false;
  if (f.blockW == 0 || f.blockH == 0) {
    f.grouped();
    uint64_t ay = s.stepY;
    for (uint64_t i = 0; i < s.dstH; ++i, ay += s.stepY) f.line(i, ay, NoArea{});
    return true;
  }
  f.paired();
  if ((f.blockW * f.blockH + 1) * 255 <= std::numeric_limits<uint32_t>::max())
    return scaleArea<T, uint32_t>(f);
  return scaleArea<T, uint64_t>(f);
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
