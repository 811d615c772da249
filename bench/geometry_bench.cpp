// SPDX-License-Identifier: MIT
// Geometry on a 4096 x 4096 picture; bytes/s counts the source's pixel bytes.
// bench/peers.py runs the peer libraries on the same jobs.
#include "api_build.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <random>

namespace {

constexpr int32_t kSide = 4096;

PELIMAGE *randomPicture(int32_t type) {
  static RGBQUAD bw[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  PELIMAGE *image = pelCreateImage(type, kSide, kSide, type == PEL_TYPE_BIT1 ? bw : nullptr,
                                   type == PEL_TYPE_BIT1 ? 2 : 0, 0, 0, PEL_MEM_AUTO);
  std::mt19937 rng(42);
  for (uint32_t i = 0; i < image->core->bitsSize; i += 4) {
    const uint32_t v = rng();
    for (uint32_t b = 0; b < 4 && i + b < image->core->bitsSize; ++b)
      image->core->bits[i + b] = static_cast<uint8_t>(v >> (8 * b));
  }
  return image;
}

void run(benchmark::State &state, int32_t type, const std::function<PELIMAGE *(PELIMAGE *)> &op) {
  PELIMAGE *src = randomPicture(type);
  for (auto _ : state) {
    PELIMAGE *result = op(src);
    benchmark::DoNotOptimize(result);
    pelDestroyImage(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * src->core->bitsSize);
  pelDestroyImage(src);
}

void quarterTurn(benchmark::State &state, int32_t type) {
  run(state, type, [](PELIMAGE *s) { return pelRotationEx(s, 0); });
}
void rotate30(benchmark::State &state) {
  run(state, PEL_TYPE_BIT24,
      [](PELIMAGE *s) { return pelRotateAngleEx(s, 0.52359878f, 0x00FFFFFF); });
}
void scaleTo(benchmark::State &state) {
  const auto side = static_cast<uint32_t>(state.range(0));
  run(state, PEL_TYPE_BIT24, [side](PELIMAGE *s) { return pelScaleEx(s, side, side); });
}

BENCHMARK_CAPTURE(quarterTurn, bit24, PEL_TYPE_BIT24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(quarterTurn, bit8, PEL_TYPE_GREY8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(quarterTurn, bit1, PEL_TYPE_BIT1)->Unit(benchmark::kMillisecond);
BENCHMARK(rotate30)->Unit(benchmark::kMillisecond);
BENCHMARK(scaleTo)->Arg(1024)->Arg(6000)->Unit(benchmark::kMillisecond);

} // namespace
