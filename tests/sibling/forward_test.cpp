// SPDX-License-Identifier: MIT
// Forwarding to the sibling library: missing, found later, one entry missing.
// One process runs the whole sequence, since the sibling's handle is
// process-wide; the test places stub libraries under the sibling's name in a
// directory the loader searches, and removes them again.
#include "core/lifecycle.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

// Where a bare-name load looks first: the executable's own directory on
// Windows, the executable's run path on Linux; the stubs are built there.
fs::path searchedDirectory() {
#if defined(_WIN32)
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
#else
  return fs::path(PELC_SIBLING_DIR);
#endif
}

fs::path siblingPath() { return searchedDirectory() / pel::detail::kSiblingFileName; }

void placeSibling(const char *stubFileName) {
  fs::copy_file(searchedDirectory() / stubFileName, siblingPath(),
                fs::copy_options::overwrite_existing);
}

void removeSibling() {
  pel::detail::detachProcess();
  std::error_code ignored;
  fs::remove(siblingPath(), ignored);
}

intptr_t mix(uintptr_t id, std::initializer_list<intptr_t> args) {
  uintptr_t r = id;
  for (intptr_t a : args) r = r * 31u + static_cast<uintptr_t>(a);
  return static_cast<intptr_t>(r);
}

// Values that fill the pointer width, so truncation would show.
constexpr intptr_t kWide = static_cast<intptr_t>(~uintptr_t{0} / 3);

struct Call {
  const char *name;
  intptr_t (*call)();
  intptr_t expected;
};

const Call kCalls[] = {
    {"fioGetImageFormat", [] { return fioGetImageFormat(kWide); }, mix(1, {kWide})},
    {"fioGetImageFormatFromExt", [] { return fioGetImageFormatFromExt(-2); }, mix(2, {-2})},
    {"fioLoadImageFile", [] { return fioLoadImageFile(1, 2, 3, kWide, 5); },
     mix(3, {1, 2, 3, kWide, 5})},
    {"fioSaveImageFile", [] { return fioSaveImageFile(9, 8, 7, 6); }, mix(4, {9, 8, 7, 6})},
    {"fioIsMultiImageFile", [] { return fioIsMultiImageFile(kWide - 1); }, mix(5, {kWide - 1})},
    {"fioSplitImageFile", [] { return fioSplitImageFile(4, 3, 2, 1); }, mix(6, {4, 3, 2, 1})},
    {"fioCombineImageFile", [] { return fioCombineImageFile(kWide, 0, -1); },
     mix(7, {kWide, 0, -1})},
};

class Forwarding : public ::testing::Test {
protected:
  void SetUp() override { removeSibling(); }
  void TearDown() override { removeSibling(); }
};

TEST_F(Forwarding, MissingLibraryThenFoundWithoutReloading) {
  for (const Call &c : kCalls) EXPECT_EQ(c.call(), 0) << c.name;
  EXPECT_EQ(pel::detail::loadedSibling(), nullptr);

  placeSibling(PELC_STUB_FULL);
  for (const Call &c : kCalls) EXPECT_EQ(c.call(), c.expected) << c.name;
  pel::os::HMODULE first = pel::detail::loadedSibling();
  ASSERT_NE(first, nullptr);
  for (const Call &c : kCalls) EXPECT_EQ(c.call(), c.expected) << c.name;
  EXPECT_EQ(pel::detail::loadedSibling(), first);
  EXPECT_EQ(pel::detail::siblingModule(), first);

  pel::detail::detachProcess();
  EXPECT_EQ(pel::detail::loadedSibling(), nullptr);
}

TEST_F(Forwarding, MissingEntryFailsThatCallOnly) {
  placeSibling(PELC_STUB_WITHOUT_SPLIT);
  for (const Call &c : kCalls) {
    const bool missing = std::string(c.name) == "fioSplitImageFile";
    EXPECT_EQ(c.call(), missing ? 0 : c.expected) << c.name;
  }
}

TEST(Versions, ConstantsAndOneText) {
  EXPECT_EQ(pelGetPrivateVersion(), 11);
  const char *text = pelGetPublicVersion();
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "1.1.DLL");
  EXPECT_EQ(pelGetPublicVersion(), text);
}

} // namespace
