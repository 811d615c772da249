// SPDX-License-Identifier: MIT
//
// Files, drives and file mappings through the Windows calls that file-mapped
// storage relies on, with their Windows signatures. Elsewhere they are stood
// in for: a temporary name keeps the descriptor that created it until the
// file is opened (no reopening by name in a shared directory), a mapping
// reserves its blocks when it is made, and drive roots become directories.
//
// Views count as live blocks, and both making a mapping (which reserves disk)
// and mapping a view honour the allocation-failure hook.
#pragma once

#include "platform/platform.hpp"

#include <cstdint>
#include <cstdio>

namespace pel::os {

#if defined(_WIN32)
using ::HANDLE;
using ::LPCSTR;
using ::LPSECURITY_ATTRIBUTES;
using ::LPSTR;
using ::PULARGE_INTEGER;
using ::ULARGE_INTEGER;
#else
using HANDLE = void *;
using LPCSTR = const char *;
using LPSTR = char *;
using LPSECURITY_ATTRIBUTES = void *;
struct ULARGE_INTEGER {
  std::uint64_t QuadPart;
};
using PULARGE_INTEGER = ULARGE_INTEGER *;

inline constexpr UINT MAX_PATH = 260;
inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD FILE_SHARE_READ = 0x00000001;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
inline constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
inline constexpr DWORD SEC_COMMIT = 0x08000000;
inline constexpr DWORD FILE_MAP_ALL_ACCESS = 0x000F001F;
inline constexpr UINT DRIVE_UNKNOWN = 0;
inline constexpr UINT DRIVE_NO_ROOT_DIR = 1;
inline constexpr UINT DRIVE_REMOVABLE = 2;
inline constexpr UINT DRIVE_FIXED = 3;
inline constexpr UINT DRIVE_REMOTE = 4;
inline constexpr UINT DRIVE_CDROM = 5;
inline constexpr UINT DRIVE_RAMDISK = 6;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});
#endif

// Files.
UINT GetTempFileNameA(LPCSTR directory, LPCSTR prefix, UINT unique, LPSTR name) noexcept;
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE tmpl) noexcept;
BOOL DeleteFileA(LPCSTR name) noexcept;
BOOL CloseHandle(HANDLE handle) noexcept;

// Mappings.
HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect,
                          DWORD sizeHigh, DWORD sizeLow, LPCSTR name) noexcept;
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T bytes) noexcept;
BOOL UnmapViewOfFile(LPCVOID view) noexcept;

// Drives.
UINT GetDriveTypeA(LPCSTR root) noexcept;
BOOL GetDiskFreeSpaceExA(LPCSTR root, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree) noexcept;
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) noexcept;

// The places to try for temporary files when none is set, in order: the drive
// roots A:\ to Z:\ on Windows, the usual temporary directories elsewhere
// (disk-backed first). False past the last one or if it does not fit.
bool scratchRoot(unsigned index, char *root, std::size_t rootBytes) noexcept;
// True when both paths lie on the same volume: the same drive letter on
// Windows, the same file system elsewhere.
bool sameVolume(LPCSTR a, LPCSTR b) noexcept;

// Stream position and seeking in 64 bits (the C functions use long, which is
// 32 bits on Windows). -1 / false on failure.
std::int64_t tell64(std::FILE *stream) noexcept;
bool seek64(std::FILE *stream, std::int64_t offset, int origin) noexcept;

} // namespace pel::os
