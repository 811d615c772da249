// SPDX-License-Identifier: MIT
// File-mapped storage: blocks in mapped temporary files, and memory kind 5.
#include "file_support.hpp"

#include "core/file_mapping.hpp"
#include "platform/files.hpp"

#include <vector>

namespace {

namespace fs = std::filesystem;
using pel::test::fileExists;
using pel::test::mappingFiles;
using pel::test::ScratchDir;

constexpr std::size_t kNameArea = 260;

// The path stored in front of a mapped block.
std::string nameOf(const void *block) {
  const char *area = static_cast<const char *>(block) - kNameArea;
  return std::string(area, strnlen(area, kNameArea));
}

class FileMapping : public pel::test::LeakCheck {
protected:
  void SetUp() override {
    LeakCheck::SetUp();
    ASSERT_FALSE(dir_.path().empty());
    pelSetFileMappingPath(dir_.str().c_str());
  }
  void TearDown() override {
    pelSetFileMappingPath(nullptr);
    EXPECT_TRUE(mappingFiles(dir_.path()).empty());
    LeakCheck::TearDown();
  }
  ScratchDir dir_;
};

TEST_F(FileMapping, BlockIsZeroFilledAndItsFileGoesWithIt) {
  auto *p = static_cast<uint8_t *>(pelAllocFileMapping(100000));
  ASSERT_NE(p, nullptr);
  const std::string name = nameOf(p);
  const std::string file = fs::path(name).filename().string();
  EXPECT_EQ(fs::path(name).parent_path(), dir_.path());
  EXPECT_EQ(file.substr(0, 3), "~pc");
  EXPECT_EQ(file.substr(file.size() - 4), ".tmp");
  EXPECT_TRUE(fileExists(name));
  EXPECT_EQ(mappingFiles(dir_.path()).size(), 1u);
  // The rest of the name area is zero, and so is the block.
  for (std::size_t i = name.size(); i < kNameArea; ++i) ASSERT_EQ(p[i - kNameArea], 0);
  for (std::size_t i = 0; i < 100000; ++i) ASSERT_EQ(p[i], 0);
  std::memset(p, 0x5A, 100000);
  pelFreeFileMapping(p);
  EXPECT_FALSE(fileExists(name));
}

TEST_F(FileMapping, DirectorySettingIsKeptRefusedOrCleared) {
  const std::string missing = dir_.file("missing");
  pelSetFileMappingPath(missing.c_str());
  EXPECT_EQ(pelAllocFileMapping(16), nullptr);

  // Too long to hold: refused whole, the previous setting stays.
  const std::string tooLong(300, 'x');
  pelSetFileMappingPath(tooLong.c_str());
  EXPECT_EQ(pelAllocFileMapping(16), nullptr);
  pelSetFileMappingPath(std::string(kNameArea, 'y').c_str());
  EXPECT_EQ(pelAllocFileMapping(16), nullptr);

  pelSetFileMappingPath(dir_.str().c_str());
  void *p = pelAllocFileMapping(16);
  ASSERT_NE(p, nullptr);
  pelFreeFileMapping(p);

  // Both clear the setting; the automatic choice then works.
  for (const char *clear : {static_cast<const char *>(nullptr), ""}) {
    pelSetFileMappingPath(missing.c_str());
    pelSetFileMappingPath(clear);
    void *q = pelAllocFileMapping(16);
    ASSERT_NE(q, nullptr);
    const std::string name = nameOf(q);
    EXPECT_NE(fs::path(name).parent_path(), fs::path(missing));
    EXPECT_TRUE(fileExists(name));
    pelFreeFileMapping(q);
    EXPECT_FALSE(fileExists(name));
  }
}

TEST_F(FileMapping, NameThatWouldNotFitItsAreaIsRefused) {
  // 250 bytes of directory leave no room for the file name in 259 bytes.
  fs::path deep = dir_.path();
  while (deep.string().size() < 250)
    deep /= std::string(std::min<std::size_t>(60, 250 - deep.string().size() - 1) | 1, 'd');
  std::error_code ec;
  if (!fs::create_directories(deep, ec) || deep.string().size() >= kNameArea)
    GTEST_SKIP() << "cannot make a directory of 250 characters here";
  pelSetFileMappingPath(deep.string().c_str());
  EXPECT_EQ(pelAllocFileMapping(16), nullptr);
  EXPECT_TRUE(mappingFiles(deep).empty());
}

TEST_F(FileMapping, SizeThatWouldWrapIsRefused) {
  for (uint32_t size : {0xFFFFFF00u, 0xFFFFFFFFu, 0xFFFFFEFDu}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(pelAllocFileMapping(size), nullptr);
  }
}

TEST_F(FileMapping, ForeignPointersDeleteNothing) {
  const std::string victim = dir_.file("victim.txt");
  std::fclose(std::fopen(victim.c_str(), "wb"));
  ASSERT_TRUE(fileExists(victim));
  std::vector<char> fake(kNameArea + 16, '\0');
  std::memcpy(fake.data(), victim.c_str(), victim.size() + 1);
  pelFreeFileMapping(fake.data() + kNameArea);
  pelMemFree(fake.data() + kNameArea, PEL_MEM_FILE);
  pelFreeFileMapping(nullptr);
  EXPECT_TRUE(fileExists(victim));

  // A block whose name area was overwritten still deletes its own file.
  auto *p = static_cast<char *>(pelAllocFileMapping(64));
  ASSERT_NE(p, nullptr);
  const std::string name = nameOf(p);
  std::memcpy(p - kNameArea, victim.c_str(), victim.size() + 1);
  pelFreeFileMapping(p);
  EXPECT_TRUE(fileExists(victim));
  EXPECT_FALSE(fileExists(name));
  fs::remove(victim);
}

TEST_F(FileMapping, EveryFailureLeavesNoFileAndNoBlock) {
  const int failures = pel::test::sweepAllocationFailures([&] {
    void *p = pelAllocFileMapping(5000);
    EXPECT_TRUE(p != nullptr || mappingFiles(dir_.path()).empty());
    pelFreeFileMapping(p);
    return p != nullptr;
  });
  // The record, the reservation of the file and the view can each fail.
  EXPECT_EQ(failures, 3);
}

TEST_F(FileMapping, KindFiveThroughMemoryKinds) {
  auto *p = static_cast<uint8_t *>(pelMemAlloc(3000, PEL_MEM_FILE));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[2999], 0);
  const std::string name = nameOf(p);
  EXPECT_TRUE(fileExists(name));
  pelMemFree(p, PEL_MEM_FILE);
  EXPECT_FALSE(fileExists(name));
}

TEST_F(FileMapping, LargeImageStoreIsFilledReadAndRemoved) {
  // 1536 x 1024 x 3 bytes: far larger than 1 MiB.
  PELIMAGE *image = pelCreateImage(PEL_TYPE_BIT24, 1536, 1024, nullptr, 0, 0, 0, PEL_MEM_FILE);
  ASSERT_NE(image, nullptr);
  IMAGECORE *core = image->core;
  EXPECT_EQ(core->memKind, PEL_MEM_FILE);
  ASSERT_EQ(core->bitsSize, 1536u * 3 * 1024);
  const std::string name = nameOf(core->header);
  EXPECT_TRUE(fileExists(name));
  for (uint32_t i = 0; i < core->bitsSize; ++i)
    core->bits[i] = static_cast<uint8_t>(i * 7 + (i >> 12));
  uint32_t wrong = 0;
  for (uint32_t i = 0; i < core->bitsSize; ++i)
    wrong += core->bits[i] != static_cast<uint8_t>(i * 7 + (i >> 12));
  EXPECT_EQ(wrong, 0u);
  pelDestroyImage(image);
  EXPECT_FALSE(fileExists(name));
}

TEST_F(FileMapping, AutomaticChoiceFallsThroughToFiles) {
  // Bits of 1 MiB or more skip the global heap: the record is allocation 1,
  // committed memory allocation 2.
  pel::os::test::failAllocation(2);
  IMAGECORE *core = pelCoreAlloc(40, 0x200000, PEL_MEM_AUTO, 1);
  pel::os::test::failAllocation(0);
  ASSERT_NE(core, nullptr);
  EXPECT_EQ(core->memKind, PEL_MEM_FILE);
  const std::string name = nameOf(core->header);
  EXPECT_EQ(fs::path(name).parent_path(), dir_.path());
  pelCoreFree(core);
  EXPECT_FALSE(fileExists(name));

  // The same with no directory set: a scratch location is chosen. Separate
  // header and bits put the header block second.
  pelSetFileMappingPath(nullptr);
  pel::os::test::failAllocation(3);
  core = pelCoreAlloc(40, 0x200000, PEL_MEM_AUTO, 0);
  pel::os::test::failAllocation(0);
  ASSERT_NE(core, nullptr);
  EXPECT_EQ(core->memKind, PEL_MEM_FILE);
  const std::string scratch = nameOf(core->bits);
  EXPECT_TRUE(fileExists(scratch));
  pelCoreFree(core);
  EXPECT_FALSE(fileExists(scratch));
}

TEST_F(FileMapping, EveryKindFiveCoreFailureUndoesItsAllocations) {
  for (int32_t contiguous : {0, 1}) {
    SCOPED_TRACE(contiguous);
    pel::test::sweepAllocationFailures([&] {
      IMAGECORE *core = pelCoreAlloc(40, 4000, PEL_MEM_FILE, contiguous);
      pelCoreFree(core);
      return core != nullptr;
    });
  }
}

TEST(FileMappingLocation, FreeSpaceRule) {
  constexpr uint64_t MiB = 1 << 20;
  constexpr uint32_t kFixed = 3, kRamDisk = 6;
  struct Case {
    uint32_t type;
    uint64_t freeBytes;
    uint32_t size;
    bool system, passes;
  };
  const Case cases[] = {
      {kFixed, 12 * MiB, 1 << 20, false, true},
      {kFixed, 11 * MiB, 1 << 20, false, false},
      {kFixed, 102 * MiB, 1 << 20, true, true},
      {kFixed, 101 * MiB, 1 << 20, true, false},
      {kFixed, 12 * MiB - 1, 1 << 20, false, false}, // free rounds down
      {kFixed, 12 * MiB, 0x1FFFFF, false, true},     // so does the size
      {kFixed, 12 * MiB, 0x200000, false, false},
      {kFixed, uint64_t{1} << 52, 0xFFFFFFFF, true, true}, // no 32-bit wrap
      {kRamDisk, 20 * MiB, 0, false, true},
      {7, 20 * MiB, 0, false, true},
      {0, 1 << 30, 0, false, false}, // unknown
      {1, 1 << 30, 0, false, false}, // no root directory
      {2, 1 << 30, 0, false, false}, // removable
      {4, 1 << 30, 0, false, false}, // network
      {5, 1 << 30, 0, false, false}, // CD-ROM
      {kFixed, 5 * MiB, 10 * MiB, false, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << " " << c.freeBytes << " " << c.size);
    EXPECT_EQ(pel::detail::locationQualifies(c.type, c.freeBytes, c.size, c.system), c.passes);
  }
}

} // namespace
