// SPDX-License-Identifier: MIT
// The platform layer behaves as the Windows calls it stands for.
#include "support.hpp"

#include <algorithm>

namespace {

namespace os = pel::os;
constexpr unsigned kGptr = 0x40, kGhnd = 0x42;

class Platform : public pel::test::LeakCheck {};

// Small blocks and large ones (which the stand-in maps fresh, as virtual
// memory) behave alike.
constexpr std::size_t kBlockSizes[] = {10, 32, (std::size_t{3} << 20) + 5};

TEST_F(Platform, FixedBlocksAreTheirOwnHandles) {
  for (std::size_t size : kBlockSizes) {
    os::HGLOBAL block = os::GlobalAlloc(kGptr, size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(os::GlobalHandle(block), block);
    EXPECT_EQ(os::GlobalLock(block), block);
    EXPECT_GE(os::GlobalSize(block), size);
    static_cast<uint8_t *>(block)[size - 1] = 1;
    EXPECT_EQ(os::GlobalFree(block), nullptr);
  }
}

TEST_F(Platform, MoveableBlocksCountTheirLocks) {
  for (std::size_t size : kBlockSizes) {
    os::HGLOBAL handle = os::GlobalAlloc(kGhnd, size);
    ASSERT_NE(handle, nullptr);
    auto *data = static_cast<uint8_t *>(os::GlobalLock(handle));
    ASSERT_NE(data, nullptr);
    EXPECT_NE(static_cast<void *>(data), handle);
    std::size_t nonzero = 0;
    for (std::size_t i = 0; i < size; ++i) nonzero += data[i] != 0;
    EXPECT_EQ(nonzero, 0u) << size;
    EXPECT_EQ(os::GlobalHandle(data), handle);
    EXPECT_EQ(os::GlobalLock(handle), data);
    EXPECT_EQ(os::GlobalFlags(handle) & 0xFF, 2u);
    EXPECT_NE(os::GlobalUnlock(handle), 0);
    EXPECT_EQ(os::GlobalUnlock(handle), 0);
    EXPECT_EQ(os::GlobalFlags(handle) & 0xFF, 0u);
    EXPECT_EQ(os::GlobalSize(handle), size);
    EXPECT_EQ(os::GlobalFree(handle), nullptr);
  }
}

#if !defined(_WIN32)
// Windows answers these with undefined behaviour; the stand-in refuses them.
TEST_F(Platform, UnknownPointersAreRefused) {
  int local = 0;
  EXPECT_EQ(os::GlobalHandle(&local), nullptr);
  EXPECT_EQ(os::GlobalFree(&local), static_cast<void *>(&local));
  EXPECT_EQ(os::GlobalLock(&local), nullptr);
  EXPECT_EQ(os::VirtualFree(&local, 0, 0x8000), 0);
  EXPECT_EQ(os::GlobalHandle(nullptr), nullptr);
}
#endif

TEST_F(Platform, VirtualMemoryIsZeroFilled) {
  auto *data = static_cast<uint8_t *>(os::VirtualAlloc(nullptr, 70000, 0x1000, 0x04));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data[0], 0);
  EXPECT_EQ(data[69999], 0);
  data[69999] = 1;
  EXPECT_NE(os::VirtualFree(data, 0, 0x8000), 0);
}

// Freed large blocks may be handed out again: zeroed, never while another
// block uses them, and never shorter than asked for.
TEST_F(Platform, LargeBlocksComeBackZeroedAndWhole) {
  constexpr std::size_t kLarge = (std::size_t{3} << 20) + 5, kLarger = std::size_t{5} << 20;
  const auto allZero = [](const uint8_t *p, std::size_t n) {
    return p[0] == 0 && std::memcmp(p, p + 1, n - 1) == 0;
  };
  for (int kind = 0; kind < 3; ++kind) {
    const auto obtain = [kind](std::size_t size) -> uint8_t * {
      if (kind == 2) return static_cast<uint8_t *>(os::VirtualAlloc(nullptr, size, 0x1000, 0x04));
      os::HGLOBAL block = os::GlobalAlloc(kind ? kGhnd : kGptr, size);
      return block ? static_cast<uint8_t *>(os::GlobalLock(block)) : nullptr;
    };
    const auto release = [kind](uint8_t *data) {
      if (kind == 2) {
        EXPECT_NE(os::VirtualFree(data, 0, 0x8000), 0);
        return;
      }
      os::HGLOBAL block = os::GlobalHandle(data);
      os::GlobalUnlock(block);
      EXPECT_EQ(os::GlobalFree(block), nullptr);
    };
    uint8_t *kept = obtain(kLarge);
    ASSERT_NE(kept, nullptr);
    std::memset(kept, 0x11, kLarge);
    for (int round = 0; round < 3; ++round) {
      uint8_t *block = obtain(kLarge);
      ASSERT_NE(block, nullptr);
      EXPECT_TRUE(allZero(block, kLarge)) << "kind " << kind << ", round " << round;
      std::memset(block, 0xEE, kLarge);
      release(block);
      uint8_t *larger = obtain(kLarger);
      ASSERT_NE(larger, nullptr);
      EXPECT_TRUE(allZero(larger, kLarger)) << "kind " << kind << ", round " << round;
      std::memset(larger, 0x77, kLarger);
      release(larger);
    }
    EXPECT_EQ(kept[0], 0x11);
    EXPECT_EQ(std::count(kept, kept + kLarge, uint8_t{0x11}), static_cast<std::ptrdiff_t>(kLarge));
    release(kept);
  }
}

TEST_F(Platform, TheNthAllocationFromNowFails) {
  os::test::failAllocation(3);
  os::HGLOBAL a = os::GlobalAlloc(kGptr, 1);
  void *b = os::VirtualAlloc(nullptr, 4096, 0x1000, 0x04);
  os::HGLOBAL c = os::GlobalAlloc(kGptr, 1);
  os::HGLOBAL d = os::GlobalAlloc(kGptr, 1);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(c, nullptr);
  EXPECT_NE(d, nullptr);
  os::GlobalFree(a);
  os::VirtualFree(b, 0, 0x8000);
  os::GlobalFree(d);
}

TEST_F(Platform, ScreenIsAvailable) {
  os::HWND desktop = os::GetDesktopWindow();
  os::HDC dc = os::GetDC(desktop);
  ASSERT_NE(dc, nullptr);
  EXPECT_GT(os::GetDeviceCaps(dc, 88), 0);
  EXPECT_EQ(os::ReleaseDC(desktop, dc), 1);
}

TEST(Records, LayoutsOfThePublicRecords) {
  const bool narrow = sizeof(void *) == 4;
  EXPECT_EQ(sizeof(PELIMAGE), narrow ? 20u : 24u);
  EXPECT_EQ(sizeof(IMAGECORE), narrow ? 24u : 32u);
  EXPECT_EQ(sizeof(IMAGELIST), narrow ? 12u : 16u);
  EXPECT_EQ(offsetof(IMAGELIST, images), 8u);
  EXPECT_EQ(sizeof(BITMAPINFOHEADER), 40u);
  EXPECT_EQ(sizeof(RGBQUAD), 4u);
}

} // namespace
