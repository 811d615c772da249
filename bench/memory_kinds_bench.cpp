// SPDX-License-Identifier: MIT
// The same whole-image jobs with source and result in each memory kind that
// holds a store by itself: fixed global memory (1), global memory that may
// leave as a DIB block (3) and committed virtual memory (4). The global kinds
// should cost no more than virtual memory; bytes/s counts the source's bytes.
#include "api_build.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>

namespace {

constexpr int32_t kSide = 4096;

PELIMAGE *randomImage(int32_t type, int32_t kind) {
  PELIMAGE *image = pelCreateImage(type, kSide, kSide, nullptr, 0, 2835, 2835, kind);
  std::mt19937 engine(7);
  for (uint32_t i = 0; i + 4 <= image->core->bitsSize; i += 4) {
    const uint32_t v = engine();
    std::memcpy(image->core->bits + i, &v, 4);
  }
  return image;
}

PELIMAGE *toGrey(PELIMAGE *i) { return pelCvtoBit8Grey(i); }
PELIMAGE *to32(PELIMAGE *i) { return pelCvtoBit32(i); }
PELIMAGE *turn(PELIMAGE *i) { return pelRotationEx(i, 0); }
PELIMAGE *mirror(PELIMAGE *i) { return pelMirror(i, 0); }
PELIMAGE *scale(PELIMAGE *i) { return pelScaleEx(i, 1024, 1024); }
PELIMAGE *copy(PELIMAGE *i) { return pelCopyImage(i, nullptr, i->core->memKind); }
PELIMAGE *gamma(PELIMAGE *i) { return pelGammaCorrect(i, 2.2f, 2.2f, 2.2f, 1); }

void inKind(benchmark::State &state, PELIMAGE *(*job)(PELIMAGE *)) {
  PELIMAGE *source = randomImage(PEL_TYPE_BIT24, static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    PELIMAGE *result = job(source);
    benchmark::DoNotOptimize(result);
    pelDestroyImage(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * source->core->bitsSize);
  pelDestroyImage(source);
}

void kinds(benchmark::internal::Benchmark *b) {
  b->Arg(PEL_MEM_GLOBAL_FIXED)->Arg(PEL_MEM_GLOBAL)->Arg(PEL_MEM_VIRTUAL);
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(inKind, to_grey8, toGrey)->Apply(kinds);
BENCHMARK_CAPTURE(inKind, to_bit32, to32)->Apply(kinds);
BENCHMARK_CAPTURE(inKind, quarter_turn, turn)->Apply(kinds);
BENCHMARK_CAPTURE(inKind, mirror, mirror)->Apply(kinds);
BENCHMARK_CAPTURE(inKind, scale_1024, scale)->Apply(kinds);
BENCHMARK_CAPTURE(inKind, copy, copy)->Apply(kinds);
BENCHMARK_CAPTURE(inKind, gamma_copy, gamma)->Apply(kinds);

} // namespace
