// SPDX-License-Identifier: MIT
// Memory kinds and the pixel store.
#include "support.hpp"

#include <algorithm>

namespace {

class Memory : public pel::test::LeakCheck {};

bool allZero(const void *p, std::size_t n) {
  auto *b = static_cast<const uint8_t *>(p);
  return std::all_of(b, b + n, [](uint8_t v) { return v == 0; });
}

TEST_F(Memory, EveryKindGivesZeroFilledBlocksAndTakesThemBack) {
  for (int32_t kind : {1, 2, 3, 4}) {
    SCOPED_TRACE(kind);
    void *p = pelMemAlloc(5000, kind);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(allZero(p, 5000));
    std::memset(p, 0xAB, 5000);
    pelMemFree(p, kind);
  }
}

TEST_F(Memory, UnknownKindsGiveNothing) {
  for (int32_t kind : {0, 6, -1, 1000}) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(pelMemAlloc(16, kind), nullptr);
  }
  pelMemFree(nullptr, 1);
  int local = 0;
  pelMemFree(&local, 0); // kind 0 owns nothing
}

TEST_F(Memory, MoveableKindHandsOutTheLockedPointer) {
  void *p = pelMemAlloc(64, PEL_MEM_GLOBAL_MOVEABLE);
  ASSERT_NE(p, nullptr);
  pel::os::HGLOBAL handle = pel::os::GlobalHandle(p);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(pel::os::GlobalLock(handle), p);
  EXPECT_EQ(pel::os::GlobalFlags(handle) & 0xFF, 2u);
  pel::os::GlobalUnlock(handle);
  EXPECT_EQ(pel::os::GlobalFlags(handle) & 0xFF, 1u);
  EXPECT_GE(pel::os::GlobalSize(handle), 64u);
  pelMemFree(p, PEL_MEM_GLOBAL_MOVEABLE);
}

TEST_F(Memory, FixedKindsAreTheirOwnHandles) {
  for (int32_t kind : {1, 3}) {
    void *p = pelMemAlloc(64, kind);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(pel::os::GlobalHandle(p), p);
    pelMemFree(p, kind);
  }
}

TEST_F(Memory, CoreLayouts) {
  IMAGECORE *one = pelCoreAlloc(52, 1000, PEL_MEM_GLOBAL, 1);
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->bits, reinterpret_cast<uint8_t *>(one->header) + 52);
  EXPECT_EQ(one->headerSize, 52u);
  EXPECT_EQ(one->bitsSize, 1000u);
  EXPECT_EQ(one->memKind, PEL_MEM_GLOBAL);
  EXPECT_EQ(one->contiguous, 1);
  EXPECT_TRUE(allZero(one->header, 1052));
  pelCoreFree(one);

  IMAGECORE *two = pelCoreAlloc(40, 1000, PEL_MEM_VIRTUAL, 0);
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->contiguous, 0);
  EXPECT_EQ(two->memKind, PEL_MEM_VIRTUAL);
  EXPECT_EQ(pel::os::GlobalHandle(two->header), two->header);
  EXPECT_TRUE(allZero(two->bits, 1000));
  pelCoreFree(two);
  pelCoreFree(nullptr);
}

TEST_F(Memory, AutomaticChoiceLooksAtTheBitsAlone) {
  struct Case {
    uint32_t headerSize, bitsSize;
    int32_t contiguous, kind;
  };
  const Case cases[] = {
      {40, 0xFFFFF, 1, PEL_MEM_GLOBAL},   {1064, 0xFFFFF, 1, PEL_MEM_GLOBAL},
      {40, 0x100000, 1, PEL_MEM_VIRTUAL}, {40, 0xFFFFF, 0, PEL_MEM_GLOBAL},
      {40, 0x100000, 0, PEL_MEM_VIRTUAL}, {40, 1, 1, PEL_MEM_GLOBAL},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.bitsSize << (c.contiguous ? " one block" : " two"));
    IMAGECORE *core = pelCoreAlloc(c.headerSize, c.bitsSize, PEL_MEM_AUTO, c.contiguous);
    ASSERT_NE(core, nullptr);
    EXPECT_EQ(core->memKind, c.kind);
    pelCoreFree(core);
  }
}

TEST_F(Memory, AutomaticChoiceFallsBackButAGivenKindDoesNot) {
  // The store is the second allocation, after the record.
  pel::os::test::failAllocation(2);
  IMAGECORE *fallback = pelCoreAlloc(40, 100, PEL_MEM_AUTO, 1);
  pel::os::test::failAllocation(0);
  ASSERT_NE(fallback, nullptr);
  EXPECT_EQ(fallback->memKind, PEL_MEM_VIRTUAL);
  pelCoreFree(fallback);

  pel::os::test::failAllocation(2);
  EXPECT_EQ(pelCoreAlloc(40, 100, PEL_MEM_GLOBAL, 1), nullptr);
  pel::os::test::failAllocation(0);
}

TEST_F(Memory, ContiguousSizeThatWrapsIsRefused) {
  EXPECT_EQ(pelCoreAlloc(1064, 0xFFFFFF00u, PEL_MEM_AUTO, 1), nullptr);
  EXPECT_EQ(pelCoreAlloc(0xFFFFFFFFu, 1, PEL_MEM_GLOBAL, 1), nullptr);
}

TEST_F(Memory, EveryCoreFailureUndoesItsAllocations) {
  for (int32_t contiguous : {0, 1}) {
    for (int32_t kind : {0, 1, 2, 3, 4}) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << " contiguous " << contiguous);
      pel::test::sweepAllocationFailures([&] {
        IMAGECORE *core = pelCoreAlloc(40, 4000, kind, contiguous);
        pelCoreFree(core);
        return core != nullptr;
      });
    }
  }
}

} // namespace
