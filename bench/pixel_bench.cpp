// SPDX-License-Identifier: MIT
// Copy, flip, fill and scan-line reads of 4096 x 4096 images at 1, 4, 8 and
// 24 bits, next to memcpy of the same bytes: into a reused buffer, and into
// a fresh one (a copy writes into a store it has just made).
#include "api_build.hpp"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t kSide = 4096;

int32_t typeOf(int64_t bits) {
  switch (bits) {
  case 1: return PEL_TYPE_BIT1;
  case 4: return PEL_TYPE_BIT4;
  case 8: return PEL_TYPE_BIT8;
  default: return PEL_TYPE_BIT24;
  }
}

struct Picture {
  PELIMAGE *image;
  explicit Picture(int64_t bits) {
    std::vector<RGBQUAD> colours(256);
    for (uint32_t i = 0; i < 256; ++i)
      colours[i] = RGBQUAD{static_cast<uint8_t>(i), static_cast<uint8_t>(i * 3),
                           static_cast<uint8_t>(255 - i), 0};
    image = pelCreateImage(typeOf(bits), kSide, kSide, colours.data(), 256, 0, 0, 0);
    for (uint32_t i = 0; i < image->core->bitsSize; ++i)
      image->core->bits[i] = static_cast<uint8_t>(i * 13 + (i >> 14));
  }
  ~Picture() { pelDestroyImage(image); }
  Picture(const Picture &) = delete;
  Picture &operator=(const Picture &) = delete;
  uint32_t bytes() const { return image->core->bitsSize; }
};

void copyImage(benchmark::State &state) {
  Picture picture(state.range(0));
  for (auto _ : state) {
    PELIMAGE *copy = pelCopyImage(picture.image, nullptr, PEL_MEM_AUTO);
    benchmark::DoNotOptimize(copy);
    pelDestroyImage(copy);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * picture.bytes());
}

// A rectangle inside a 24-bit picture: lines cut at both ends, the result a
// fresh store. bytes/s counts the copy's pixel bytes.
void copyRect(benchmark::State &state) {
  Picture picture(24);
  const int32_t rect[4] = {100, 100, kSide - 100, kSide - 100};
  for (auto _ : state) {
    PELIMAGE *copy = pelCopyImage(picture.image, rect, PEL_MEM_AUTO);
    benchmark::DoNotOptimize(copy);
    pelDestroyImage(copy);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t{rect[2] - rect[0]} * 3 *
                          (rect[3] - rect[1]));
}

void swapHeight(benchmark::State &state) {
  Picture picture(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(pelSwapHeight(picture.image));
  state.SetBytesProcessed(int64_t(state.iterations()) * picture.bytes());
}

void fillColor(benchmark::State &state) {
  Picture picture(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(pelFillColor(picture.image, 0x336699));
  state.SetBytesProcessed(int64_t(state.iterations()) * picture.bytes());
}

// Every line from pixel 3 on: the packed runs start inside a byte.
void getHorLine(benchmark::State &state) {
  Picture picture(state.range(0));
  std::vector<uint8_t> buffer(static_cast<std::size_t>(picture.image->lineBytes) + 4);
  const int64_t runBytes = (int64_t{kSide - 3} * state.range(0) + 7) / 8;
  for (auto _ : state)
    for (uint32_t y = 0; y < kSide; ++y) {
      pelGetHorLine(buffer.data(), picture.image, 3, kSide, y);
      benchmark::DoNotOptimize(buffer.data());
    }
  state.SetBytesProcessed(int64_t(state.iterations()) * runBytes * kSide);
}

// The reference for the scan-line reads: memcpy of the same run bytes of
// every line into the same buffer.
void memcpyLines(benchmark::State &state) {
  Picture picture(state.range(0));
  std::vector<uint8_t> buffer(static_cast<std::size_t>(picture.image->lineBytes) + 4);
  const std::size_t runBytes =
      (std::size_t{kSide - 3} * static_cast<std::size_t>(state.range(0)) + 7) / 8;
  const uint8_t *bits = picture.image->core->bits;
  for (auto _ : state)
    for (uint32_t y = 0; y < kSide; ++y) {
      std::memcpy(buffer.data(),
                  bits + std::size_t{y} * static_cast<std::size_t>(picture.image->lineBytes),
                  runBytes);
      benchmark::ClobberMemory();
    }
  state.SetBytesProcessed(int64_t(state.iterations()) * static_cast<int64_t>(runBytes) * kSide);
}

// Packed runs from pixel 3 to width - 5 of every line: both ends inside a
// byte, so every output byte joins two stored bytes. Counted in bytes
// produced, like the memcpy of as many bytes below.
constexpr uint32_t kShiftedX0 = 3, kShiftedX1 = kSide - 5;

int64_t shiftedRunBytes(int64_t bits) {
  return bits == 1 ? (kShiftedX1 + 7) / 8 - kShiftedX0 / 8 : (kShiftedX1 + 1) / 2 - kShiftedX0 / 2;
}

void getHorLineShifted(benchmark::State &state) {
  Picture picture(state.range(0));
  std::vector<uint8_t> buffer(static_cast<std::size_t>(picture.image->lineBytes) + 4);
  for (auto _ : state)
    for (uint32_t y = 0; y < kSide; ++y) {
      pelGetHorLine(buffer.data(), picture.image, kShiftedX0, kShiftedX1, y);
      benchmark::DoNotOptimize(buffer.data());
    }
  state.SetBytesProcessed(int64_t(state.iterations()) * shiftedRunBytes(state.range(0)) * kSide);
}

// memcpy of the bytes the read above starts from, in the same order: picture
// line y is stored line height - 1 - y, so the lines are visited downwards
// through memory.
void memcpyShiftedBytes(benchmark::State &state) {
  Picture picture(state.range(0));
  std::vector<uint8_t> buffer(static_cast<std::size_t>(picture.image->lineBytes) + 4);
  const auto runBytes = static_cast<std::size_t>(shiftedRunBytes(state.range(0)));
  const auto lineBytes = static_cast<std::size_t>(picture.image->lineBytes);
  const std::size_t first = state.range(0) == 1 ? kShiftedX0 / 8 : kShiftedX0 / 2;
  const uint8_t *bits = picture.image->core->bits + first;
  for (auto _ : state)
    for (uint32_t y = 0; y < kSide; ++y) {
      std::memcpy(buffer.data(), bits + std::size_t{kSide - 1 - y} * lineBytes, runBytes);
      benchmark::ClobberMemory();
    }
  state.SetBytesProcessed(int64_t(state.iterations()) * static_cast<int64_t>(runBytes) * kSide);
}

void memcpyReused(benchmark::State &state) {
  Picture picture(state.range(0));
  std::vector<uint8_t> target(picture.bytes());
  for (auto _ : state) {
    std::memcpy(target.data(), picture.image->core->bits, picture.bytes());
    benchmark::DoNotOptimize(target.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * picture.bytes());
}

void memcpyFresh(benchmark::State &state) {
  Picture picture(state.range(0));
  for (auto _ : state) {
    void *target = std::malloc(picture.bytes());
    std::memcpy(target, picture.image->core->bits, picture.bytes());
    benchmark::DoNotOptimize(target);
    std::free(target);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * picture.bytes());
}

void depths(benchmark::internal::Benchmark *b) {
  for (const int64_t bits : {1, 4, 8, 24}) b->Arg(bits);
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(memcpyReused)->Apply(depths);
BENCHMARK(memcpyFresh)->Apply(depths);
BENCHMARK(copyImage)->Apply(depths);
BENCHMARK(copyRect)->Unit(benchmark::kMillisecond);
BENCHMARK(swapHeight)->Apply(depths);
BENCHMARK(fillColor)->Apply(depths);
BENCHMARK(memcpyLines)->Apply(depths);
BENCHMARK(getHorLine)->Apply(depths);
BENCHMARK(memcpyShiftedBytes)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(getHorLineShifted)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);

} // namespace
