// SPDX-License-Identifier: MIT
// BMP load and save of a 4096 x 4096 24-bit picture from the page cache,
// next to a plain block read and write of the same bytes.
//
// PELC_BENCH_BMP names the file to use (bench/peers.py passes the one it times
// Pillow on); without it a file is written to the temporary directory.
#include "api_build.hpp"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int32_t kSide = 4096;

struct BenchFile {
  std::string path;
  bool owned = false;
  BenchFile() {
    if (const char *given = std::getenv("PELC_BENCH_BMP")) {
      path = given;
      return;
    }
    path = (std::filesystem::temp_directory_path() / "pelc-bench-4096.bmp").string();
    owned = true;
    PELIMAGE *image = pelCreateImage(PEL_TYPE_BIT24, kSide, kSide, nullptr, 0, 0, 0, 0);
    for (uint32_t i = 0; i < image->core->bitsSize; ++i)
      image->core->bits[i] = static_cast<uint8_t>(i * 13 + (i >> 14));
    pelSaveBmpFile(image, path.c_str());
    pelDestroyImage(image);
  }
  ~BenchFile() {
    if (owned) std::remove(path.c_str());
  }
};

const BenchFile &benchFile() {
  static BenchFile file;
  return file;
}

std::string outPath() {
  return (std::filesystem::temp_directory_path() / "pelc-bench-out.bmp").string();
}

void loadBmp(benchmark::State &state) {
  const std::string &path = benchFile().path;
  uint32_t bytes = 0;
  for (auto _ : state) {
    PELIMAGE *image = pelLoadBmpFile(path.c_str(), PEL_MEM_AUTO);
    if (!image) {
      state.SkipWithError("load failed");
      break;
    }
    bytes = image->core->bitsSize;
    benchmark::DoNotOptimize(image->core->bits);
    pelDestroyImage(image);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

// The same bytes in one read into a fresh block, which pays the same page
// faults as a new pixel store.
void plainRead(benchmark::State &state) {
  const std::string &path = benchFile().path;
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::FILE *f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    bytes = static_cast<std::size_t>(std::ftell(f));
    std::fseek(f, 0, SEEK_SET);
    void *block = std::malloc(bytes);
    benchmark::DoNotOptimize(std::fread(block, 1, bytes, f));
    std::fclose(f);
    std::free(block);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void saveBmp(benchmark::State &state) {
  PELIMAGE *image = pelLoadBmpFile(benchFile().path.c_str(), PEL_MEM_AUTO);
  const std::string out = outPath();
  for (auto _ : state) benchmark::DoNotOptimize(pelSaveBmpFile(image, out.c_str()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * image->core->bitsSize);
  pelDestroyImage(image);
  std::remove(out.c_str());
}

void plainWrite(benchmark::State &state) {
  const std::size_t bytes = std::size_t{kSide} * kSide * 3 + 54;
  std::vector<uint8_t> block(bytes, 0x5A);
  const std::string out = outPath();
  for (auto _ : state) {
    std::FILE *f = std::fopen(out.c_str(), "wb");
    benchmark::DoNotOptimize(std::fwrite(block.data(), 1, bytes, f));
    std::fclose(f);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  std::remove(out.c_str());
}

BENCHMARK(loadBmp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(plainRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(saveBmp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(plainWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
