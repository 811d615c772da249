// SPDX-License-Identifier: MIT
// Helpers shared by the unit tests.
#pragma once

#include "api_build.hpp"
#include "platform/platform.hpp"

#if !defined(_WIN32)
#include "pelc_winstub.h"
#endif

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pel::test {

// A header as a careful writer would fill it; tests spoil single fields.
BITMAPINFOHEADER header(int32_t width, int32_t height, uint16_t bits,
                        uint32_t compression = BI_RGB);

// A header followed by its table or masks, as one block of bytes.
struct HeaderBlock {
  std::vector<uint8_t> bytes;
  BITMAPINFOHEADER *get() { return reinterpret_cast<BITMAPINFOHEADER *>(bytes.data()); }
  RGBQUAD *table() { return reinterpret_cast<RGBQUAD *>(bytes.data() + 40); }
};
HeaderBlock headerBlock(const BITMAPINFOHEADER &h, const std::vector<RGBQUAD> &table);
HeaderBlock headerBlock(const BITMAPINFOHEADER &h, const uint32_t (&masks)[3]);

std::vector<RGBQUAD> palette(uint32_t kind);

// Runs `attempt` with the 1st, 2nd, ... allocation failing until it succeeds.
// A failed attempt must report failure and leave no block behind; a
// successful one cleans up after itself. Returns the number of failed runs.
template <typename Attempt> int sweepAllocationFailures(Attempt attempt) {
  for (unsigned nth = 1; nth < 64; ++nth) {
    const long before = os::test::liveBlocks();
    os::test::failAllocation(nth);
    const bool succeeded = attempt();
    os::test::failAllocation(0);
    if (succeeded) return static_cast<int>(nth - 1);
    EXPECT_EQ(os::test::liveBlocks(), before) << "blocks left after failing allocation " << nth;
  }
  ADD_FAILURE() << "never succeeded";
  return -1;
}

// Bitmaps and memory contexts alive: the stand-in counts them; Windows keeps
// its own books.
inline int liveGdiObjects() {
#if defined(_WIN32)
  return 0;
#else
  return pelcWinstubLiveObjects();
#endif
}

// Counts the blocks a test leaves behind.
class LeakCheck : public ::testing::Test {
protected:
  void SetUp() override { before_ = os::test::liveBlocks(); }
  void TearDown() override { EXPECT_EQ(os::test::liveBlocks(), before_) << "blocks leaked"; }

private:
  long before_ = 0;
};

} // namespace pel::test
