// SPDX-License-Identifier: MIT
// Tone adjustments in place on a 4096 x 4096 24-bit image, and on a 256-colour
// palette image of the same size (which costs only its palette).
#include "api_build.hpp"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int32_t kSide = 4096;

// Random bytes, as a photograph's are to the tables: a pattern (or the same
// picture adjusted over and over, which drifts towards a few values) would
// keep every table lookup in the fastest cache. Each run starts from the same
// random bytes, restored outside the timing.
struct Picture {
  PELIMAGE *image;
  std::vector<uint8_t> pristine;
  explicit Picture(int32_t type) {
    std::vector<RGBQUAD> colours(256);
    for (uint32_t i = 0; i < 256; ++i)
      colours[i] = RGBQUAD{static_cast<uint8_t>(i), static_cast<uint8_t>(i * 3),
                           static_cast<uint8_t>(255 - i), 0};
    image = pelCreateImage(type, kSide, kSide, colours.data(), 256, 0, 0, 0);
    std::mt19937 engine(11);
    pristine.resize(image->core->bitsSize);
    for (uint8_t &byte : pristine) byte = static_cast<uint8_t>(engine() >> 24);
    restore();
  }
  void restore() { std::memcpy(image->core->bits, pristine.data(), pristine.size()); }
  ~Picture() { pelDestroyImage(image); }
  Picture(const Picture &) = delete;
  Picture &operator=(const Picture &) = delete;
};

template <typename Apply> void run(benchmark::State &state, int32_t type, Apply apply) {
  Picture picture(type);
  for (auto _ : state) {
    state.PauseTiming();
    picture.restore();
    state.ResumeTiming();
    benchmark::DoNotOptimize(apply(picture.image));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * picture.image->core->bitsSize);
}

const int32_t kBrightness[3] = {10, 10, 10}, kContrast[3] = {30, 30, 30};
const int32_t kOffsets[3] = {10, 10, 10};

void toneGamma(benchmark::State &state) {
  run(state, PEL_TYPE_BIT24, [](PELIMAGE *i) { return pelGammaCorrect(i, 2.2f, 2.2f, 2.2f, 0); });
}
void toneContrast(benchmark::State &state) {
  run(state, PEL_TYPE_BIT24, [](PELIMAGE *i) { return pelContrast(i, kBrightness, kContrast, 0); });
}
void toneLuminance(benchmark::State &state) {
  run(state, PEL_TYPE_BIT24, [](PELIMAGE *i) { return pelLuminance(i, kOffsets, 0); });
}
void toneInvert(benchmark::State &state) {
  run(state, PEL_TYPE_BIT24, [](PELIMAGE *i) { return pelInvert(i, 0); });
}
void toneSaturation(benchmark::State &state) {
  run(state, PEL_TYPE_BIT24, [](PELIMAGE *i) { return pelSaturation(i, 30, 5, 20, 0); });
}
void toneGammaPalette(benchmark::State &state) {
  run(state, PEL_TYPE_BIT8, [](PELIMAGE *i) { return pelGammaCorrect(i, 2.2f, 2.2f, 2.2f, 0); });
}

BENCHMARK(toneGamma)->Unit(benchmark::kMillisecond);
BENCHMARK(toneContrast)->Unit(benchmark::kMillisecond);
BENCHMARK(toneLuminance)->Unit(benchmark::kMillisecond);
BENCHMARK(toneInvert)->Unit(benchmark::kMillisecond);
BENCHMARK(toneSaturation)->Unit(benchmark::kMillisecond);
BENCHMARK(toneGammaPalette)->Unit(benchmark::kMicrosecond);

} // namespace
