// SPDX-License-Identifier: MIT
// Creation cost against a plain zeroed allocation of the same bytes.
#include "api_build.hpp"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

namespace {

void createDestroy(benchmark::State &state, int32_t type) {
  const auto side = static_cast<int32_t>(state.range(0));
  uint32_t bytes = 0;
  for (auto _ : state) {
    PELIMAGE *image = pelCreateImage(type, side, side, nullptr, 0, 0, 0, PEL_MEM_AUTO);
    benchmark::DoNotOptimize(image);
    bytes = image->core->bitsSize;
    pelDestroyImage(image);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

void callocFree(benchmark::State &state) {
  const auto side = static_cast<std::size_t>(state.range(0));
  const std::size_t bytes = side * side * 3;
  for (auto _ : state) {
    void *p = std::calloc(1, bytes);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void verifyHeader(benchmark::State &state) {
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  h.biWidth = 1024;
  h.biHeight = -768;
  h.biPlanes = 1;
  h.biBitCount = 24;
  for (auto _ : state) {
    BITMAPINFOHEADER copy = h;
    benchmark::DoNotOptimize(pelVerifyBIH(&copy, nullptr));
  }
}

BENCHMARK_CAPTURE(createDestroy, bit24, PEL_TYPE_BIT24)->Arg(256)->Arg(4096);
BENCHMARK_CAPTURE(createDestroy, grey8, PEL_TYPE_GREY8)->Arg(256)->Arg(4096);
BENCHMARK(callocFree)->Arg(256)->Arg(4096);
BENCHMARK(verifyHeader);

} // namespace
