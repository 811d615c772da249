// SPDX-License-Identifier: MIT
//
// Windows: forward the file, drive and mapping calls, counting views as live
// blocks and honouring the allocation-failure hook for mappings and views.
#include "platform/files.hpp"

#include <cctype>
#include <cstdio>

namespace pel::os {

UINT GetTempFileNameA(LPCSTR directory, LPCSTR prefix, UINT unique, LPSTR name) noexcept {
  return ::GetTempFileNameA(directory, prefix, unique, name);
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE tmpl) noexcept {
  return ::CreateFileA(name, access, shareMode, security, disposition, flags, tmpl);
}

BOOL DeleteFileA(LPCSTR name) noexcept { return ::DeleteFileA(name); }
BOOL CloseHandle(HANDLE handle) noexcept { return ::CloseHandle(handle); }

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect,
                          DWORD sizeHigh, DWORD sizeLow, LPCSTR name) noexcept {
  if (detail::refuseAllocation()) return nullptr;
  return ::CreateFileMappingA(file, security, protect, sizeHigh, sizeLow, name);
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T bytes) noexcept {
  if (detail::refuseAllocation()) return nullptr;
  LPVOID view = ::MapViewOfFile(mapping, access, offsetHigh, offsetLow, bytes);
  if (view) detail::blockObtained();
  return view;
}

BOOL UnmapViewOfFile(LPCVOID view) noexcept {
  BOOL done = ::UnmapViewOfFile(view);
  if (done) detail::blockReleased();
  return done;
}

UINT GetDriveTypeA(LPCSTR root) noexcept { return ::GetDriveTypeA(root); }

BOOL GetDiskFreeSpaceExA(LPCSTR root, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree) noexcept {
  return ::GetDiskFreeSpaceExA(root, freeToCaller, total, totalFree);
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) noexcept {
  return ::GetWindowsDirectoryA(buffer, size);
}

bool scratchRoot(unsigned index, char *root, std::size_t rootBytes) noexcept {
  if (index >= 26 || !root || rootBytes < 4) return false;
  root[0] = static_cast<char>('A' + index);
  root[1] = ':';
  root[2] = '\\';
  root[3] = '\0';
  return true;
}

bool sameVolume(LPCSTR a, LPCSTR b) noexcept {
  return a && b && a[0] &&
         std::toupper(static_cast<unsigned char>(a[0])) ==
             std::toupper(static_cast<unsigned char>(b[0]));
}

std::int64_t tell64(std::FILE *stream) noexcept { return stream ? ::_ftelli64(stream) : -1; }

bool seek64(std::FILE *stream, std::int64_t offset, int origin) noexcept {
  return stream && ::_fseeki64(stream, offset, origin) == 0;
}

} // namespace pel::os
