// SPDX-License-Identifier: MIT
//
// Header validation. The input is a 40-byte header, then what follows it (a
// colour table or masks); the last byte picks the memory kind of the image
// made from an accepted header. Properties:
//  - the strict check never writes, and accepts with an empty error word;
//  - whatever the strict check accepts, the repairing check accepts without
//    changing a byte (it may flag a large biSize or a missing resolution);
//  - whatever the repairing check accepts passes the strict check afterwards;
//  - a header the repairing check accepts can be created (unless the store is
//    too large to be worth making here) and gives an image whose store holds
//    lineBytes x height bytes; nothing is left allocated after destroying it.
#include "support.hpp"

#include <vector>

namespace {
using pel::fuzz::Input;

// Stores above this are legal but too slow to make at fuzzing speed.
constexpr uint64_t kLargestStore = uint64_t{1} << 20;

constexpr uint32_t kFlagsOnlyRepairSees = PEL_BIH_SIZE | PEL_BIH_RESOLUTION;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  pel::fuzz::setUp();
  if (size < sizeof(BITMAPINFOHEADER)) return 0;
  Input input(data, size);
  const int32_t kind = int32_t(input.choose(6));
  // The header block as the caller would hold it: the table or masks directly
  // behind the header, padded so that a full 256-entry table is always there.
  std::vector<uint8_t> block(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
  input.read(block.data(), std::min(block.size(), input.remaining()));
  auto *header = reinterpret_cast<BITMAPINFOHEADER *>(block.data());
  const BITMAPINFOHEADER original = *header;
  const auto *table = reinterpret_cast<const RGBQUAD *>(block.data() + sizeof(BITMAPINFOHEADER));

  uint32_t word = 0xFFFFFFFF;
  const int32_t strict = pelCheckBIH(header, &word);
  PELC_FUZZ_REQUIRE(std::memcmp(header, &original, sizeof original) == 0);
  PELC_FUZZ_REQUIRE(strict == 0 || strict == 1);
  if (strict == 1) PELC_FUZZ_REQUIRE(word == 0);
  PELC_FUZZ_REQUIRE((word & ~0xFFu) == 0);

  BITMAPINFOHEADER repaired = original;
  uint32_t repairWord = 0xFFFFFFFF;
  const int32_t usable = pelVerifyBIH(&repaired, &repairWord);
  PELC_FUZZ_REQUIRE(usable == 0 || usable == 1);
  PELC_FUZZ_REQUIRE((repairWord & ~0xFFu) == 0);
  // Without an error word the repairs are the same.
  BITMAPINFOHEADER quiet = original;
  PELC_FUZZ_REQUIRE(pelVerifyBIH(&quiet, nullptr) == usable);
  PELC_FUZZ_REQUIRE(std::memcmp(&quiet, &repaired, sizeof quiet) == 0);
  if (strict == 1) {
    PELC_FUZZ_REQUIRE(usable == 1);
    // A missing resolution is taken from the other one; nothing else changes.
    BITMAPINFOHEADER expected = original;
    if (expected.biXPelsPerMeter == 0) expected.biXPelsPerMeter = expected.biYPelsPerMeter;
    if (expected.biYPelsPerMeter == 0) expected.biYPelsPerMeter = expected.biXPelsPerMeter;
    PELC_FUZZ_REQUIRE(std::memcmp(&repaired, &expected, sizeof expected) == 0);
    PELC_FUZZ_REQUIRE((repairWord & ~kFlagsOnlyRepairSees) == 0);
  }
  if (!usable) return 0;

  // The repaired header passes the strict check, its table or masks still
  // where they were.
  std::vector<uint8_t> repairedBlock = block;
  std::memcpy(repairedBlock.data(), &repaired, sizeof repaired);
  uint32_t recheckWord = 0;
  PELC_FUZZ_REQUIRE(
      pelCheckBIH(reinterpret_cast<BITMAPINFOHEADER *>(repairedBlock.data()), &recheckWord) == 1);
  PELC_FUZZ_REQUIRE(pelGetBiSize(&repaired) <= block.size());

  const bool plain = repaired.biCompression == BI_RGB || repaired.biCompression == BI_BITFIELDS;
  const uint64_t store =
      plain ? pel::fuzz::storeBytes(uint32_t(repaired.biWidth), uint32_t(repaired.biHeight),
                                    repaired.biBitCount)
            : repaired.biSizeImage;
  if (plain) PELC_FUZZ_REQUIRE(store == repaired.biSizeImage);
  if (store > kLargestStore || (kind == PEL_MEM_FILE && store > (kLargestStore >> 4))) return 0;

  const long before = pel::fuzz::liveBlocks();
  PELIMAGE *image = pelCreateImageEx(header, (input.option() & 1) ? table : nullptr, kind);
  PELC_FUZZ_REQUIRE(std::memcmp(header, &original, sizeof original) == 0);
  PELC_FUZZ_REQUIRE(image != nullptr);
  pel::fuzz::checkImage(image);
  PELC_FUZZ_REQUIRE(std::memcmp(image->core->header, &repaired, sizeof repaired) == 0);
  PELC_FUZZ_REQUIRE(image->core->bitsSize == store);
  pelDestroyImage(image);
  PELC_FUZZ_REQUIRE(pel::fuzz::liveBlocks() == before);
  return 0;
}
