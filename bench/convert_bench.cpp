// SPDX-License-Identifier: MIT
// The nine conversions of a 4096 x 4096 24-bit image and the conversions of
// every other format back to 24 bits, each including the making of its
// target, in bytes of source pixels per second.
#include "api_build.hpp"
#include "convert/detail.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int32_t kSide = 4096;

// Sources take the automatic memory choice, as a loaded image of this size
// does: committed virtual memory, which asks for huge pages. Targets are made
// in the same kind, so their first-touch cost is what a caller pays.
PELIMAGE *randomImage(int32_t type, int32_t kind = PEL_MEM_AUTO) {
  std::vector<RGBQUAD> colours(256);
  pelCreateGDIColors(colours.data(), type == PEL_TYPE_BIT4 ? PEL_PAL_COLOR16 : PEL_PAL_COLOR256);
  PELIMAGE *image = pelCreateImage(type, kSide, kSide, colours.data(), 0, 2835, 2835, kind);
  std::mt19937 engine(42);
  auto *words = image->core->bits;
  for (uint32_t i = 0; i + 4 <= image->core->bitsSize; i += 4) {
    const uint32_t v = engine();
    std::memcpy(words + i, &v, 4);
  }
  return image;
}

// Every operation under one signature.
using Convert = PELIMAGE *(*)(const PELIMAGE *);
PELIMAGE *toBit4(const PELIMAGE *image) { return pelCvtoBit4(image, nullptr, 0); }
PELIMAGE *toBit8(const PELIMAGE *image) { return pelCvtoBit8(image, nullptr, 0); }

void convertIn(benchmark::State &state, int32_t sourceType, Convert operation, int32_t kind) {
  PELIMAGE *source = randomImage(sourceType, kind);
  for (auto _ : state) {
    PELIMAGE *result = operation(source);
    benchmark::DoNotOptimize(result);
    pelDestroyImage(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * source->core->bitsSize);
  state.counters["pixels/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kSide * kSide, benchmark::Counter::kIsRate);
  pelDestroyImage(source);
}

void convert(benchmark::State &state, int32_t sourceType, Convert operation) {
  convertIn(state, sourceType, operation, PEL_MEM_AUTO);
}
BENCHMARK_CAPTURE(convert, bit24_to_bit1, PEL_TYPE_BIT24, pelCvtoBit1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit24_to_bit4, PEL_TYPE_BIT24, toBit4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit24_to_bit8, PEL_TYPE_BIT24, toBit8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit24_to_bit555, PEL_TYPE_BIT24, pelCvtoBit555)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit24_to_bit565, PEL_TYPE_BIT24, pelCvtoBit565)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit24_to_bit24, PEL_TYPE_BIT24, pelCvtoBit24)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit24_to_bit32, PEL_TYPE_BIT24, pelCvtoBit32)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit24_to_bit4grey, PEL_TYPE_BIT24, pelCvtoBit4Grey)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit24_to_bit8grey, PEL_TYPE_BIT24, pelCvtoBit8Grey)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(convert, bit1_to_bit24, PEL_TYPE_BIT1, pelCvtoBit24)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit4_to_bit24, PEL_TYPE_BIT4, pelCvtoBit24)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit4grey_to_bit24, PEL_TYPE_GREY4, pelCvtoBit24)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit8_to_bit24, PEL_TYPE_BIT8, pelCvtoBit24)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit8grey_to_bit24, PEL_TYPE_GREY8, pelCvtoBit24)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit555_to_bit24, PEL_TYPE_BIT555, pelCvtoBit24)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit565_to_bit24, PEL_TYPE_BIT565, pelCvtoBit24)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, bit32_to_bit24, PEL_TYPE_BIT32, pelCvtoBit24)
    ->Unit(benchmark::kMillisecond);

// The converters alone, into a target whose pages are already in use: what
// a conversion costs apart from making (and first touching) its target.
template <typename Run>
void kernel(benchmark::State &state, int32_t sourceType, int32_t targetType, Run run) {
  PELIMAGE *source = randomImage(sourceType);
  PELIMAGE *target =
      pelCreateImage(targetType, kSide, kSide, nullptr, 0, 1, 1, PEL_MEM_GLOBAL_FIXED);
  std::memset(target->core->bits, 1, target->core->bitsSize);
  std::vector<RGBQUAD> colours(256);
  pelCreateGDIColors(colours.data(),
                     targetType == PEL_TYPE_BIT4 ? PEL_PAL_COLOR16 : PEL_PAL_COLOR256);
  const pel::detail::Job job{target->core->bits,
                             source->core->bits,
                             kSide,
                             kSide,
                             target->lineBytes,
                             source->lineBytes,
                             colours.data(),
                             colours.data(),
                             targetType == PEL_TYPE_BIT4 ? 16 : 256};
  for (auto _ : state) {
    run(job);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * source->core->bitsSize);
  pelDestroyImage(target);
  pelDestroyImage(source);
}

using pel::detail::Job;
BENCHMARK_CAPTURE(kernel, cvtBit24ToBit1, PEL_TYPE_BIT24, PEL_TYPE_BIT1, [](const Job &j) {
  pel::detail::cvtBit24ToBit1(j.dst, j.src, j.width, j.height, j.dstLineBytes, j.srcLineBytes, 128);
})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(kernel, cvtBit24ToBit4, PEL_TYPE_BIT24, PEL_TYPE_BIT4, [](const Job &j) {
  pel::detail::cvtBit24ToBit4(j.dst, j.src, j.width, j.height, j.dstLineBytes, j.srcLineBytes,
                              j.palette, j.count);
})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(kernel, cvtBit24ToBit8, PEL_TYPE_BIT24, PEL_TYPE_BIT8, [](const Job &j) {
  pel::detail::cvtBit24ToBit8(j.dst, j.src, j.width, j.height, j.dstLineBytes, j.srcLineBytes,
                              j.palette, j.count);
})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(kernel, cvtBit24ToBit565, PEL_TYPE_BIT24, PEL_TYPE_BIT565, [](const Job &j) {
  pel::detail::cvtBit24ToBit565(j.dst, j.src, j.width, j.height, j.dstLineBytes, j.srcLineBytes);
})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(kernel, cvtBit24ToBit32, PEL_TYPE_BIT24, PEL_TYPE_BIT32, [](const Job &j) {
  pel::detail::cvtBit24ToBit32(j.dst, j.src, j.width, j.height, j.dstLineBytes, j.srcLineBytes);
})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(kernel, cvtBit24ToBit8Grey, PEL_TYPE_BIT24, PEL_TYPE_GREY8, [](const Job &j) {
  pel::detail::cvtBit24ToBit8Grey(j.dst, j.src, j.width, j.height, j.dstLineBytes, j.srcLineBytes);
})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(kernel, cvtBit32ToBit24, PEL_TYPE_BIT32, PEL_TYPE_BIT24, [](const Job &j) {
  pel::detail::cvtBit32ToBit24(j.dst, j.src, j.width, j.height, j.dstLineBytes, j.srcLineBytes);
})->Unit(benchmark::kMillisecond);

} // namespace
