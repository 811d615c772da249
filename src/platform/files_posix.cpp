// SPDX-License-Identifier: MIT
//
// Stand-ins for the Windows file, drive and mapping calls on POSIX systems.
//
// A handle is a record of the library's own (a descriptor and, for a
// mapping, its size), known to a table so that unknown handles are refused.
// GetTempFileNameA creates the file with mkstemps and keeps the descriptor
// until CreateFileA asks for that name: reopening a name in a shared
// directory would let another user swap a link in between. The 64-bit forms
// of the calls keep large files and volumes working in 32-bit builds.
#include "platform/files.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>

namespace pel::os {
namespace {

struct FileObject {
  int fd = -1;
  bool mapping = false;
  std::uint64_t size = 0; // of a mapping
};

struct Files {
  std::mutex lock;
  std::unordered_map<const void *, FileObject *> handles;
  std::unordered_map<std::string, int> pendingNames; // name -> creating descriptor
  std::unordered_map<const void *, std::size_t> views;
};

Files &files() {
  static Files *instance = new Files; // never destroyed: views may outlive static destructors
  return *instance;
}

HANDLE newHandle(int fd, bool mapping, std::uint64_t size) {
  auto *object = new (std::nothrow) FileObject{fd, mapping, size};
  if (!object) return nullptr;
  try {
    std::lock_guard guard(files().lock);
    files().handles.emplace(object, object);
  } catch (...) {
    delete object;
    return nullptr;
  }
  return object;
}

FileObject *findHandle(HANDLE handle) {
  auto it = files().handles.find(handle);
  return it == files().handles.end() ? nullptr : it->second;
}

// The descriptor GetTempFileNameA kept for this name, or -1.
int takePending(const char *name) {
  try {
    std::lock_guard guard(files().lock);
    auto it = files().pendingNames.find(name);
    if (it == files().pendingNames.end()) return -1;
    const int fd = it->second;
    files().pendingNames.erase(it);
    return fd;
  } catch (...) {
    return -1;
  }
}

int openFlags(DWORD access, DWORD disposition) {
  int flags = O_CLOEXEC | O_NOFOLLOW | O_LARGEFILE;
  const bool read = access & GENERIC_READ, write = access & GENERIC_WRITE;
  flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  switch (disposition) {
  case CREATE_NEW: return flags | O_CREAT | O_EXCL;
  case CREATE_ALWAYS: return flags | O_CREAT | O_TRUNC;
  case OPEN_EXISTING: return flags;
  case OPEN_ALWAYS: return flags | O_CREAT;
  case TRUNCATE_EXISTING: return flags | O_TRUNC;
  default: return -1;
  }
}

// Blocks are reserved now, so that a full disk fails here rather than with a
// fault on the first write into a sparse file.
bool reserve(int fd, std::uint64_t size) {
  struct stat64 info {};
  if (::fstat64(fd, &info) != 0) return false;
  if (static_cast<std::uint64_t>(info.st_size) >= size) return true;
  const int err = ::posix_fallocate64(fd, 0, static_cast<off64_t>(size));
  if (err == 0) return true;
  if (err != EOPNOTSUPP && err != EINVAL) return false;
  return ::ftruncate64(fd, static_cast<off64_t>(size)) == 0;
}

} // namespace

UINT GetTempFileNameA(LPCSTR directory, LPCSTR prefix, UINT unique, LPSTR name) noexcept {
  if (!directory || !prefix || !name || unique != 0) return 0;
  // Windows keeps the first three characters of the prefix.
  std::string path;
  try {
    path = directory;
    if (path.empty() || path.back() != '/') path.push_back('/');
    path.append(prefix, ::strnlen(prefix, 3)).append("XXXXXX.tmp");
  } catch (...) {
    return 0;
  }
  if (path.size() >= MAX_PATH) return 0;
  const int fd = ::mkostemps64(path.data(), 4, O_CLOEXEC);
  if (fd < 0) return 0;
  try {
    std::lock_guard guard(files().lock);
    files().pendingNames.emplace(path, fd);
  } catch (...) {
    ::unlink(path.c_str());
    ::close(fd);
    return 0;
  }
  std::memcpy(name, path.c_str(), path.size() + 1);
  // The unique number Windows would report: any nonzero value.
  return static_cast<UINT>(static_cast<unsigned>(fd) | 1u);
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD, HANDLE) noexcept {
  if (!name) return INVALID_HANDLE_VALUE;
  const int flags = openFlags(access, disposition);
  if (flags < 0) return INVALID_HANDLE_VALUE;
  int fd = takePending(name);
  if (fd >= 0) {
    if ((flags & O_TRUNC) && ::ftruncate64(fd, 0) != 0) {
      ::close(fd);
      return INVALID_HANDLE_VALUE;
    }
  } else {
    fd = ::open64(name, flags, 0600);
    if (fd < 0) return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = newHandle(fd, false, 0);
  if (!handle) {
    ::close(fd);
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

BOOL DeleteFileA(LPCSTR name) noexcept {
  if (!name) return 0;
  const int fd = takePending(name);
  if (fd >= 0) ::close(fd);
  return ::unlink(name) == 0;
}

BOOL CloseHandle(HANDLE handle) noexcept {
  FileObject *object = nullptr;
  {
    std::lock_guard guard(files().lock);
    object = findHandle(handle);
    if (!object) return 0;
    files().handles.erase(handle);
  }
  ::close(object->fd);
  delete object;
  return 1;
}

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD sizeHigh,
                          DWORD sizeLow, LPCSTR name) noexcept {
  if (name || (protect & 0xFF) != PAGE_READWRITE) return nullptr;
  int fd = -1;
  {
    std::lock_guard guard(files().lock);
    FileObject *object = findHandle(file);
    if (!object || object->mapping) return nullptr;
    fd = object->fd;
  }
  if (detail::refuseAllocation()) return nullptr;
  std::uint64_t size = (std::uint64_t{sizeHigh} << 32) | sizeLow;
  if (size == 0) {
    struct stat64 info {};
    if (::fstat64(fd, &info) != 0 || info.st_size == 0) return nullptr;
    size = static_cast<std::uint64_t>(info.st_size);
  } else if (!reserve(fd, size)) {
    return nullptr;
  }
  // The mapping outlives the file handle, as on Windows.
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return nullptr;
  HANDLE handle = newHandle(own, true, size);
  if (!handle) ::close(own);
  return handle;
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T bytes) noexcept {
  if (access != FILE_MAP_ALL_ACCESS) return nullptr;
  int fd = -1;
  std::uint64_t size = 0;
  {
    std::lock_guard guard(files().lock);
    FileObject *object = findHandle(mapping);
    if (!object || !object->mapping) return nullptr;
    fd = object->fd;
    size = object->size;
  }
  const std::uint64_t offset = (std::uint64_t{offsetHigh} << 32) | offsetLow;
  if (offset >= size) return nullptr;
  const std::uint64_t length = bytes ? bytes : size - offset;
  if (length > size - offset || length > SIZE_MAX) return nullptr;
  if (detail::refuseAllocation()) return nullptr;
  void *view = ::mmap64(nullptr, static_cast<std::size_t>(length), PROT_READ | PROT_WRITE,
                        MAP_SHARED, fd, static_cast<off64_t>(offset));
  if (view == MAP_FAILED) return nullptr;
  try {
    std::lock_guard guard(files().lock);
    files().views.emplace(view, static_cast<std::size_t>(length));
  } catch (...) {
    ::munmap(view, static_cast<std::size_t>(length));
    return nullptr;
  }
  detail::blockObtained();
  return view;
}

BOOL UnmapViewOfFile(LPCVOID view) noexcept {
  std::size_t length = 0;
  {
    std::lock_guard guard(files().lock);
    auto it = files().views.find(view);
    if (it == files().views.end()) return 0;
    length = it->second;
    files().views.erase(it);
  }
  ::munmap(const_cast<void *>(view), length);
  detail::blockReleased();
  return 1;
}

UINT GetDriveTypeA(LPCSTR root) noexcept {
  struct statfs64 info {};
  if (!root || ::statfs64(root, &info) != 0) return DRIVE_NO_ROOT_DIR;
  switch (static_cast<std::uint32_t>(info.f_type)) {
  case 0x6969:     // NFS
  case 0x517B:     // SMB
  case 0xFF534D42: // CIFS
  case 0xFE534D42: // SMB2
  case 0x01021997: // 9P
  case 0x5346414F: // AFS
  case 0x00C36400: // Ceph
  case 0x73757245: // Coda
  case 0x564C:     // NCP
    return DRIVE_REMOTE;
  case 0x9660:     // ISO 9660
  case 0x15013346: // UDF
    return DRIVE_CDROM;
  case 0x01021994: // tmpfs
  case 0x858458F6: // ramfs
    return DRIVE_RAMDISK;
  default: return DRIVE_FIXED;
  }
}

BOOL GetDiskFreeSpaceExA(LPCSTR root, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree) noexcept {
  struct statvfs64 info {};
  if (!root || ::statvfs64(root, &info) != 0) return 0;
  const std::uint64_t unit = info.f_frsize ? info.f_frsize : info.f_bsize;
  if (freeToCaller) freeToCaller->QuadPart = std::uint64_t{info.f_bavail} * unit;
  if (total) total->QuadPart = std::uint64_t{info.f_blocks} * unit;
  if (totalFree) totalFree->QuadPart = std::uint64_t{info.f_bfree} * unit;
  return 1;
}

// The system's own volume is the one holding the root directory.
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) noexcept {
  if (!buffer || size < 2) return 2;
  std::memcpy(buffer, "/", 2);
  return 1;
}

bool scratchRoot(unsigned index, char *root, std::size_t rootBytes) noexcept {
  static constexpr const char *kRoots[] = {"/var/tmp", "/tmp"};
  if (index >= std::size(kRoots) || !root) return false;
  const std::size_t length = std::strlen(kRoots[index]);
  if (length >= rootBytes) return false;
  std::memcpy(root, kRoots[index], length + 1);
  return true;
}

bool sameVolume(LPCSTR a, LPCSTR b) noexcept {
  struct stat64 sa {};
  struct stat64 sb {};
  if (!a || !b || ::stat64(a, &sa) != 0 || ::stat64(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev;
}

std::int64_t tell64(std::FILE *stream) noexcept {
  return stream ? static_cast<std::int64_t>(::ftello64(stream)) : -1;
}

bool seek64(std::FILE *stream, std::int64_t offset, int origin) noexcept {
  return stream && ::fseeko64(stream, static_cast<off64_t>(offset), origin) == 0;
}

} // namespace pel::os
