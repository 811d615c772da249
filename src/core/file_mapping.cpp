// SPDX-License-Identifier: MIT
//
// File-mapped storage: blocks that live in a mapped temporary file. Each view
// starts with a name area holding the file's path; the caller's block follows
// it. The library also remembers every live view with its file name, so that
// freeing trusts neither the pointer nor the bytes in front of it.
#include "core/detail.hpp"

#include "core/file_mapping.hpp"
#include "platform/files.hpp"

#include <mutex>

using namespace pel::detail;

#if !defined(_WIN32)
using pel::os::CREATE_ALWAYS;
using pel::os::DRIVE_CDROM;
using pel::os::DRIVE_NO_ROOT_DIR;
using pel::os::DRIVE_REMOTE;
using pel::os::DRIVE_REMOVABLE;
using pel::os::DRIVE_UNKNOWN;
using pel::os::FILE_ATTRIBUTE_NORMAL;
using pel::os::FILE_FLAG_SEQUENTIAL_SCAN;
using pel::os::FILE_MAP_ALL_ACCESS;
using pel::os::FILE_SHARE_READ;
using pel::os::GENERIC_READ;
using pel::os::GENERIC_WRITE;
using pel::os::INVALID_HANDLE_VALUE;
using pel::os::SEC_COMMIT;
#endif

namespace {

constexpr char kPrefix[] = "~pcTemp";

struct MappedBlock {
  MappedBlock *next;
  uint8_t *view;
  char name[kNameArea];
};

// The mapping directory and the live views, each under the one lock.
struct State {
  std::mutex lock;
  char directory[kNameArea] = {};
  MappedBlock *blocks = nullptr;
};

State &state() {
  static State instance;
  return instance;
}

// The first scratch location that passes the free-space rule, into dir.
bool chooseLocation(uint32_t size, char (&dir)[kNameArea]) {
  char system[kNameArea] = {};
  const bool haveSystem = os::GetWindowsDirectoryA(system, kNameArea) - 1 < kNameArea - 1;
  for (unsigned i = 0; os::scratchRoot(i, dir, sizeof dir); ++i) {
    const uint32_t type = os::GetDriveTypeA(dir);
    os::ULARGE_INTEGER freeBytes{};
    if (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR || type == DRIVE_REMOVABLE ||
        type == DRIVE_REMOTE || type == DRIVE_CDROM)
      continue;
    if (!os::GetDiskFreeSpaceExA(dir, &freeBytes, nullptr, nullptr)) continue;
    const bool onSystem = haveSystem && os::sameVolume(dir, system);
    if (locationQualifies(type, freeBytes.QuadPart, size, onSystem)) return true;
  }
  return false;
}

// Creates the temporary file in dir and maps size + the name area of it. Every
// failure after the name exists removes the file again.
uint8_t *mapNewFile(const char *dir, uint32_t size, char (&name)[kNameArea]) {
  if (!os::GetTempFileNameA(dir, kPrefix, 0, name)) return nullptr;
  // The path must fit the name area with its NUL, or freeing could not find it.
  if (std::memchr(name, '\0', sizeof name) == nullptr) return nullptr;
  os::HANDLE file =
      os::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    os::DeleteFileA(name);
    return nullptr;
  }
  os::HANDLE mapping = os::CreateFileMappingA(file, nullptr, PAGE_READWRITE | SEC_COMMIT, 0,
                                              size + kNameArea, nullptr);
  os::CloseHandle(file);
  if (!mapping) {
    os::DeleteFileA(name);
    return nullptr;
  }
  void *view = os::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  os::CloseHandle(mapping);
  if (!view) {
    os::DeleteFileA(name);
    return nullptr;
  }
  return static_cast<uint8_t *>(view);
}

} // namespace

namespace pel::detail {

bool locationQualifies(uint32_t driveType, uint64_t freeBytes, uint32_t size, bool systemVolume) {
  if (driveType == DRIVE_UNKNOWN || driveType == DRIVE_NO_ROOT_DIR ||
      driveType == DRIVE_REMOVABLE || driveType == DRIVE_REMOTE || driveType == DRIVE_CDROM)
    return false;
  const int64_t spare = static_cast<int64_t>(freeBytes >> 20) - static_cast<int64_t>(size >> 20);
  return spare > (systemVolume ? 100 : 10);
}

} // namespace pel::detail

extern "C" {

void PELAPI pelSetFileMappingPath(const char *path) noexcept {
  const std::size_t length = path ? std::strlen(path) : 0;
  // A path that does not fit is refused whole: a cut one would name another
  // directory.
  if (length >= kNameArea) return;
  std::lock_guard guard(state().lock);
  std::memset(state().directory, 0, sizeof state().directory);
  if (path) std::memcpy(state().directory, path, length);
}

void *PELAPI pelAllocFileMapping(uint32_t size) noexcept {
  if (size > UINT32_MAX - kNameArea) return nullptr;
  auto block = globalNew<MappedBlock>();
  if (!block) return nullptr;

  char dir[kNameArea] = {};
  try {
    std::lock_guard guard(state().lock);
    std::memcpy(dir, state().directory, sizeof dir);
  } catch (...) {
    return nullptr;
  }
  // A set directory is taken as it is, without a free-space test.
  if (dir[0] == '\0' && !chooseLocation(size, dir)) return nullptr;

  uint8_t *view = mapNewFile(dir, size, block->name);
  if (!view) return nullptr;
  std::memcpy(view, block->name, std::strlen(block->name) + 1);
  block->view = view;
  try {
    std::lock_guard guard(state().lock);
    block->next = state().blocks;
    state().blocks = block.get();
  } catch (...) {
    os::UnmapViewOfFile(view);
    os::DeleteFileA(block->name);
    return nullptr;
  }
  block.release();
  return view + kNameArea;
}

void PELAPI pelFreeFileMapping(void *ptr) noexcept {
  if (!ptr) return;
  GlobalPtr<MappedBlock> block;
  try {
    std::lock_guard guard(state().lock);
    for (MappedBlock **link = &state().blocks; *link; link = &(*link)->next) {
      if ((*link)->view + kNameArea == ptr) {
        block.reset(*link);
        *link = block->next;
        break;
      }
    }
  } catch (...) {
    return;
  }
  // Pointers that did not come from here are left alone.
  if (!block) return;
  os::UnmapViewOfFile(block->view);
  os::DeleteFileA(block->name);
}

} // extern "C"
