// SPDX-License-Identifier: MIT
// Mirror and border on a 4096 x 4096 24-bit picture; bytes/s counts the
// source's pixel bytes.
#include "api_build.hpp"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

void lines(benchmark::State &state, bool border) {
  PELIMAGE *src = pelCreateImage(PEL_TYPE_BIT24, 4096, 4096, nullptr, 0, 0, 0, PEL_MEM_AUTO);
  for (uint32_t i = 0; i < src->core->bitsSize; ++i)
    src->core->bits[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
  for (auto _ : state) {
    PELIMAGE *result = border ? pelFixBorder(src, 16, 16, 16, 16, 0x00FFFFFF) : pelMirror(src, 0);
    benchmark::DoNotOptimize(result);
    pelDestroyImage(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * src->core->bitsSize);
  pelDestroyImage(src);
}

void mirror(benchmark::State &state) { lines(state, false); }
void border(benchmark::State &state) { lines(state, true); }

BENCHMARK(mirror)->Unit(benchmark::kMillisecond);
BENCHMARK(border)->Unit(benchmark::kMillisecond);

} // namespace
