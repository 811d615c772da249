// SPDX-License-Identifier: MIT
// Image lists: growth, order and ownership.
#include "support.hpp"

#include <vector>

namespace {

class ImageList : public pel::test::LeakCheck {};

PELIMAGE *small(int32_t width = 1) {
  return pelCreateImage(PEL_TYPE_BIT24, width, 1, nullptr, 0, 0, 0, PEL_MEM_AUTO);
}

// The entries in order, as their widths.
std::vector<int32_t> widths(const IMAGELIST *list) {
  std::vector<int32_t> out;
  for (uint32_t i = 0; i < list->count; ++i)
    out.push_back(list->images[i] ? list->images[i]->core->header->biWidth : 0);
  return out;
}

TEST_F(ImageList, CapacityNeverBelow32) {
  for (auto [asked, capacity] : {std::pair{0u, 32u}, {5u, 32u}, {32u, 32u}, {100u, 100u}}) {
    IMAGELIST *list = pelCreateImagelist(asked);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->capacity, capacity);
    EXPECT_EQ(list->count, 0u);
    pelDestroyImagelist(list);
  }
  pelDestroyImagelist(nullptr);
}

TEST_F(ImageList, GrowsByDoubling) {
  IMAGELIST *list = pelCreateImagelist(0);
  ASSERT_NE(list, nullptr);
  for (int32_t i = 0; i < 129; ++i) {
    ASSERT_EQ(pelAddImage(list, small(i + 1)), i);
    const uint32_t expected = i < 32 ? 32 : i < 64 ? 64 : i < 128 ? 128 : 256;
    ASSERT_EQ(list->capacity, expected) << "after " << i + 1;
  }
  for (uint32_t i = 0; i < list->count; ++i)
    ASSERT_EQ(widths(list)[i], static_cast<int32_t>(i + 1));
  pelDestroyImagelist(list);
}

TEST_F(ImageList, ReallocRules) {
  IMAGELIST *list = pelCreateImagelist(64);
  for (int i = 0; i < 10; ++i) pelAddImage(list, small(i + 1));
  EXPECT_EQ(pelReallocImagelist(list, 32), 0);
  EXPECT_EQ(pelReallocImagelist(list, 10), 0);
  EXPECT_EQ(pelReallocImagelist(nullptr, 100), 0);
  EXPECT_EQ(pelReallocImagelist(list, 40), 1);
  EXPECT_EQ(list->capacity, 40u);
  EXPECT_EQ(widths(list), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  if (sizeof(void *) == 4) {
    // The slot array's byte size would wrap.
    EXPECT_EQ(pelReallocImagelist(list, 0x40000001), 0);
    EXPECT_EQ(pelCreateImagelist(0x40000000), nullptr);
  }
  EXPECT_EQ(list->capacity, 40u);
  EXPECT_EQ(pelAddImage(list, small(11)), 10);
  pelDestroyImagelist(list);
}

TEST_F(ImageList, InsertTakeOutRemove) {
  IMAGELIST *list = pelCreateImagelist(0);
  EXPECT_EQ(pelInsertImage(list, 0, small(2)), 0);
  EXPECT_EQ(pelInsertImage(list, 0, small(1)), 0);
  EXPECT_EQ(pelInsertImage(list, 2, small(4)), 2); // at count: appends
  EXPECT_EQ(pelInsertImage(list, 2, small(3)), 2);
  PELIMAGE *stray = small(9);
  EXPECT_EQ(pelInsertImage(list, 5, stray), -1);
  EXPECT_EQ(pelInsertImage(nullptr, 0, stray), -1);
  EXPECT_EQ(pelAddImage(nullptr, stray), -1);
  EXPECT_EQ(widths(list), (std::vector<int32_t>{1, 2, 3, 4}));

  PELIMAGE *first = pelGetOutImage(list, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(widths(list), (std::vector<int32_t>{2, 3, 4}));
  EXPECT_EQ(pelGetOutImage(list, 3), nullptr);
  EXPECT_EQ(pelRemoveImage(list, 1), 1);
  EXPECT_EQ(widths(list), (std::vector<int32_t>{2, 4}));
  EXPECT_EQ(pelRemoveImage(list, 2), 0);
  EXPECT_EQ(pelGetAtImage(list, 0xFFFFFFFF), nullptr);
  EXPECT_EQ(pelGetAtImage(nullptr, 0), nullptr);
  EXPECT_EQ(pelGetAtImage(list, 1)->core->header->biWidth, 4);

  // Null entries are allowed and skipped when the list ends.
  EXPECT_EQ(pelAddImage(list, nullptr), 2);
  EXPECT_EQ(pelRemoveImage(list, 2), 1);
  EXPECT_EQ(pelAddImage(list, nullptr), 2);
  pelDestroyImagelist(list);
  // Taken out, the image outlives the list.
  EXPECT_EQ(first->core->header->biWidth, 1);
  pelDestroyImage(first);
  pelDestroyImage(stray);
}

TEST_F(ImageList, SetAndReplace) {
  IMAGELIST *list = pelCreateImagelist(0);
  pelAddImage(list, small(1));
  pelAddImage(list, small(2));
  PELIMAGE *old = pelReplaceImage(list, 0, small(3));
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->core->header->biWidth, 1); // undestroyed, now ours
  pelDestroyImage(old);
  EXPECT_EQ(pelSetAtImage(list, 1, small(4)), 1); // the old entry is destroyed
  EXPECT_EQ(widths(list), (std::vector<int32_t>{3, 4}));

  // The image the slot already holds is kept, not destroyed and stored.
  EXPECT_EQ(pelSetAtImage(list, 1, pelGetAtImage(list, 1)), 1);
  EXPECT_EQ(pelGetAtImage(list, 1)->core->header->biWidth, 4);

  PELIMAGE *stray = small(5);
  EXPECT_EQ(pelSetAtImage(list, 2, stray), 0);
  EXPECT_EQ(pelReplaceImage(list, 2, stray), nullptr);
  EXPECT_EQ(pelSetAtImage(nullptr, 0, stray), 0);
  pelDestroyImage(stray);
  EXPECT_EQ(pelReplaceImageInside(), 0);
  pelDestroyImagelist(list);
}

TEST_F(ImageList, FailuresLeaveListAndImageAsTheyWere) {
  pel::test::sweepAllocationFailures([] {
    IMAGELIST *list = pelCreateImagelist(0);
    pelDestroyImagelist(list);
    return list != nullptr;
  });

  IMAGELIST *list = pelCreateImagelist(0);
  for (int i = 0; i < 32; ++i) pelAddImage(list, nullptr);
  PELIMAGE *image = small(7);
  for (int insert = 0; insert < 2; ++insert) {
    pel::os::test::failAllocation(1);
    EXPECT_EQ(insert ? pelInsertImage(list, 3, image) : pelAddImage(list, image), -1);
    pel::os::test::failAllocation(0);
    EXPECT_EQ(list->capacity, 32u);
    EXPECT_EQ(list->count, 32u);
  }
  EXPECT_EQ(image->core->header->biWidth, 7); // still the caller's
  EXPECT_EQ(pelAddImage(list, image), 32);
  EXPECT_EQ(list->capacity, 64u);
  pelDestroyImagelist(list);
}

} // namespace
