// SPDX-License-Identifier: MIT
//
// Replays inputs through a fuzz target without the fuzzer, so that the
// ordinary builds (g++, the sanitizer build) run the seeds and every saved
// crasher as a test. Arguments: files, or directories whose files are all run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size);

namespace {
int runFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return 0;
}
} // namespace

int main(int argc, char **argv) {
  namespace fs = std::filesystem;
  int failures = 0;
  std::size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg = argv[i];
    std::error_code error;
    if (fs::is_directory(arg, error)) {
      std::vector<fs::path> files;
      for (const auto &entry : fs::recursive_directory_iterator(arg, error))
        if (entry.is_regular_file() && entry.path().filename() != "README.md")
          files.push_back(entry.path());
      std::sort(files.begin(), files.end());
      for (const auto &file : files) {
        failures += runFile(file);
        ++runs;
      }
    } else if (fs::exists(arg, error)) {
      failures += runFile(arg);
      ++runs;
    } else {
      std::fprintf(stderr, "skipped missing %s\n", argv[i]);
    }
  }
  std::printf("%zu inputs replayed\n", runs);
  return failures ? 1 : 0;
}
