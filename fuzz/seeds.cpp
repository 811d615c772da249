// SPDX-License-Identifier: MIT
//
// Writes seed inputs for the fuzz targets into <dir>/<target>/: BMP files and
// packed DIBs of every creatable type and a few sizes, their headers, and
// operation sequences that call every operation once on every type.
#include "support.hpp"

#include <array>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;

constexpr int32_t kTypes[] = {1, 2, 3, 5, 6, 8, 9, 10, 11};
constexpr int32_t kSizes[][2] = {{1, 1}, {7, 3}, {33, 4}, {16, -5}};

bool save(const fs::path &path, const std::vector<uint8_t> &bytes) {
  return pel::fuzz::writeFile(path.string(), bytes.data(), bytes.size());
}

std::vector<uint8_t> packed(const PELIMAGE *image) {
  const IMAGECORE &core = *image->core;
  const auto *header = reinterpret_cast<const uint8_t *>(core.header);
  std::vector<uint8_t> bytes(header, header + core.headerSize);
  bytes.insert(bytes.end(), core.bits, core.bits + core.bitsSize);
  return bytes;
}
} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  pel::fuzz::setUp();
  const fs::path root = argv[1];
  for (const char *target : {"bmp_file", "header", "caller_memory", "operations"})
    fs::create_directories(root / target);
  std::mt19937 random(12);
  int written = 0;
  bool ok = true;
  for (int32_t type : kTypes) {
    for (const auto &size : kSizes) {
      std::array<RGBQUAD, 256> table;
      for (auto &entry : table)
        entry = {uint8_t(random()), uint8_t(random()), uint8_t(random()), 0};
      PELIMAGE *image = pelCreateImage(type, size[0], size[1], table.data(), 0, 2835, 2835, 0);
      if (!image) return 1;
      for (uint32_t i = 0; i < image->core->bitsSize; ++i) image->core->bits[i] = uint8_t(random());
      // Formatted, not concatenated: g++ 12 at -O3 warns falsely (-Wrestrict)
      // on a literal plus a temporary string.
      char name[64];
      std::snprintf(name, sizeof name, "t%d-%dx%d", static_cast<int>(type),
                    static_cast<int>(size[0]), static_cast<int>(size[1]));
      fs::path bmp = root / "bmp_file" / name;
      bmp += ".bmp";
      ok &= pelSaveBmpFile(image, bmp.string().c_str()) == 1;
      std::vector<uint8_t> dib = packed(image);
      std::vector<uint8_t> header(dib.begin(), dib.begin() + image->core->headerSize);
      header.push_back(uint8_t(type));
      ok &= save(root / "header" / name, header);
      for (int i = 0; i < 17; ++i) dib.push_back(i < 16 ? uint8_t(i % 4 < 2 ? 1 : 5) : uint8_t(i));
      ok &= save(root / "caller_memory" / name, dib);
      pelDestroyImage(image);
      written += 3;
    }
  }
  // Operation sequences: the image's bytes from the front, the choices from
  // the back (type, shape, number of calls, then per call the operation and
  // the image it works on).
  for (uint32_t op = 0; op < 40; ++op) {
    for (uint32_t type = 0; type < 9; type += 2) {
      std::vector<uint8_t> bytes(400 + random() % 400);
      for (auto &byte : bytes) byte = uint8_t(random());
      bytes[0] = 7;  // width 8
      bytes[1] = 5;  // height 6
      bytes[2] = 15; // 16 palette entries
      const uint8_t back[] = {0,
                              uint8_t(op + 40 * (random() % 2)),
                              0,
                              uint8_t((op * 7) % 40),
                              2,
                              uint8_t(random() & 0x38),
                              uint8_t(type)};
      bytes.insert(bytes.end(), std::begin(back), std::end(back));
      char name[64];
      std::snprintf(name, sizeof name, "op%d-t%d", static_cast<int>(op), static_cast<int>(type));
      ok &= save(root / "operations" / name, bytes);
      ++written;
    }
  }
  std::printf("%d seeds written to %s\n", written, root.c_str());
  return ok ? 0 : 1;
}
