// SPDX-License-Identifier: MIT
//
// The seven entry points pelc forwards image-file calls to. Every argument
// and result is pointer-sized; nothing here throws or prints.
#include "fio.hpp"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#define FIO_EXPORT
#else
#include <unistd.h>
#define FIO_EXPORT __attribute__((visibility("default")))
#endif

namespace fio {
namespace {

Format formatOfBytes(const uint8_t *b, size_t n) {
  auto starts = [&](const char *magic, size_t length, size_t at = 0) {
    return n >= at + length && std::memcmp(b + at, magic, length) == 0;
  };
  if (starts("BM", 2)) return kBmp;
  if (starts("\x89PNG\r\n\x1a\n", 8)) return kPng;
  if (starts("\xFF\xD8\xFF", 3)) return kJpeg;
  if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4))
    return kTiff;
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return kGif;
  if (starts("RIFF", 4) && starts("WEBP", 4, 8)) return kWebp;
  return kUnknown;
}

Format formatOfFile(const char *path) {
  if (!path) return kUnknown;
  FILE *file = std::fopen(path, "rb");
  if (!file) return kUnknown;
  uint8_t head[12] = {};
  const size_t n = std::fread(head, 1, sizeof head, file);
  std::fclose(file);
  return formatOfBytes(head, n);
}

Format formatOfName(const char *name) {
  if (!name) return kUnknown;
  // The extension after the last dot of the last path component; a bare
  // word is taken as an extension itself.
  const char *base = name;
  for (const char *p = name; *p; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  const char *dot = std::strrchr(base, '.');
  std::string ext(dot ? dot + 1 : base);
  for (char &c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  struct Entry {
    const char *ext;
    Format format;
  };
  static constexpr Entry kNames[] = {
      {"bmp", kBmp},   {"dib", kBmp},  {"png", kPng},   {"jpg", kJpeg},
      {"jpeg", kJpeg}, {"jpe", kJpeg}, {"jfif", kJpeg}, {"tif", kTiff},
      {"tiff", kTiff}, {"gif", kGif},  {"webp", kWebp},
  };
  for (const Entry &e : kNames)
    if (ext == e.ext) return e.format;
  return kUnknown;
}

uint32_t pageCount(const char *path) {
  switch (formatOfFile(path)) {
  case kTiff: return countTiff(path);
  case kGif: return countGif(path);
  case kUnknown: return 0;
  default: return 1;
  }
}

PELIMAGE *load(const char *path, int32_t kind, uint32_t page) {
  const Format format = formatOfFile(path);
  if (page > 0 && format != kTiff && format != kGif) return nullptr;
  switch (format) {
  case kBmp: return pelLoadBmpFile(path, kind);
  case kPng: return loadPng(path, kind);
  case kJpeg: return loadJpeg(path, kind);
  case kTiff: return loadTiff(path, kind, page);
  case kGif: return loadGif(path, kind, page);
  case kWebp: return loadWebp(path, kind);
  default: return nullptr;
  }
}

bool removeFile(const std::string &path) { return std::remove(path.c_str()) == 0; }

bool replaceFile(const std::string &from, const char *to) {
#if defined(_WIN32)
  return MoveFileExA(from.c_str(), to, MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to) == 0;
#endif
}

// A name beside the target that no other save of this process uses.
std::string temporaryName(const char *path) {
  static std::atomic<unsigned> counter{0};
#if defined(_WIN32)
  const unsigned long process = GetCurrentProcessId();
#else
  const unsigned long process = static_cast<unsigned long>(getpid());
#endif
  return std::string(path) + ".~" + std::to_string(process) + "-" +
         std::to_string(counter.fetch_add(1)) + ".tmp";
}

bool writeFormat(const std::vector<const PELIMAGE *> &pages, const char *path, Format format,
                 int quality) {
  switch (format) {
  case kBmp: return pages.size() == 1 && pelSaveBmpFile(pages[0], path) == 1;
  case kPng: return pages.size() == 1 && savePng(pages[0], path);
  case kJpeg: return pages.size() == 1 && saveJpeg(pages[0], path, quality);
  case kTiff: return saveTiff(pages, path);
  case kGif: return saveGif(pages, path);
  case kWebp: return pages.size() == 1 && saveWebp(pages[0], path, quality);
  default: return false;
  }
}

// Writes to a temporary name and renames, so a failure leaves no file.
bool save(const std::vector<const PELIMAGE *> &pages, const char *path, int format, int quality) {
  if (!path || !*path || pages.empty()) return false;
  for (const PELIMAGE *page : pages)
    if (!page || !page->core) return false;
  const Format chosen = format == 0 ? formatOfName(path) : static_cast<Format>(format);
  if (chosen < kBmp || chosen > kWebp || quality < 0 || quality > 100) return false;
  const std::string temporary = temporaryName(path);
  if (writeFormat(pages, temporary.c_str(), chosen, quality == 0 ? 90 : quality) &&
      replaceFile(temporary, path))
    return true;
  removeFile(temporary);
  return false;
}

// The pattern takes exactly one %d and otherwise only %% escapes.
bool safePattern(const char *pattern) {
  int numbers = 0;
  for (const char *p = pattern; *p; ++p) {
    if (*p != '%') continue;
    if (p[1] == '%')
      ++p;
    else if (p[1] == 'd')
      ++numbers, ++p;
    else
      return false;
  }
  return numbers == 1;
}

intptr_t split(const char *path, const char *pattern, int format, int32_t kind) {
  if (!path || !pattern || !safePattern(pattern)) return 0;
  const uint32_t count = pageCount(path);
  std::vector<std::string> written;
  for (uint32_t page = 0; page < count; ++page) {
    char name[4096];
    const int n = std::snprintf(name, sizeof name, pattern, static_cast<int>(page));
    PELIMAGE *image = n > 0 && n < static_cast<int>(sizeof name) ? load(path, kind, page) : nullptr;
    const bool ok = image && save({image}, name, format, 0);
    pelDestroyImage(image);
    if (!ok) {
      for (const std::string &done : written) removeFile(done);
      return 0;
    }
    written.push_back(name);
  }
  return static_cast<intptr_t>(written.size());
}

intptr_t combine(const IMAGELIST *list, const char *path, int format) {
  if (!list || !list->images || list->count == 0 || list->count > list->capacity || !path) return 0;
  const Format chosen = format == 0 ? formatOfName(path) : static_cast<Format>(format);
  if (chosen != kTiff && chosen != kGif) return 0;
  std::vector<const PELIMAGE *> pages(list->images, list->images + list->count);
  return save(pages, path, chosen, 0) ? 1 : 0;
}

} // namespace
} // namespace fio

using namespace fio;

extern "C" {

FIO_EXPORT intptr_t PELAPI fioGetImageFormat(intptr_t path) noexcept {
  return formatOfFile(reinterpret_cast<const char *>(path));
}

FIO_EXPORT intptr_t PELAPI fioGetImageFormatFromExt(intptr_t name) noexcept {
  return formatOfName(reinterpret_cast<const char *>(name));
}

FIO_EXPORT intptr_t PELAPI fioLoadImageFile(intptr_t path, intptr_t kind, intptr_t page,
                                            intptr_t flags, intptr_t reserved) noexcept {
  if (!path || flags != 0 || reserved != 0 || page < 0 || page > 0x7FFFFFFF || kind < 0 ||
      kind > PEL_MEM_FILE)
    return 0;
  try {
    return reinterpret_cast<intptr_t>(load(reinterpret_cast<const char *>(path),
                                           static_cast<int32_t>(kind),
                                           static_cast<uint32_t>(page)));
  } catch (...) {
    return 0;
  }
}

FIO_EXPORT intptr_t PELAPI fioSaveImageFile(intptr_t image, intptr_t path, intptr_t format,
                                            intptr_t quality) noexcept {
  if (format < 0 || format > kWebp || quality < 0 || quality > 100) return 0;
  try {
    return save({reinterpret_cast<const PELIMAGE *>(image)}, reinterpret_cast<const char *>(path),
                static_cast<int>(format), static_cast<int>(quality))
               ? 1
               : 0;
  } catch (...) {
    return 0;
  }
}

FIO_EXPORT intptr_t PELAPI fioIsMultiImageFile(intptr_t path) noexcept {
  try {
    return pageCount(reinterpret_cast<const char *>(path));
  } catch (...) {
    return 0;
  }
}

FIO_EXPORT intptr_t PELAPI fioSplitImageFile(intptr_t path, intptr_t pattern, intptr_t format,
                                             intptr_t kind) noexcept {
  if (format < 0 || format > kWebp || kind < 0 || kind > PEL_MEM_FILE) return 0;
  try {
    return split(reinterpret_cast<const char *>(path), reinterpret_cast<const char *>(pattern),
                 static_cast<int>(format), static_cast<int32_t>(kind));
  } catch (...) {
    return 0;
  }
}

FIO_EXPORT intptr_t PELAPI fioCombineImageFile(intptr_t list, intptr_t path,
                                               intptr_t format) noexcept {
  if (format < 0 || format > kWebp) return 0;
  try {
    return combine(reinterpret_cast<const IMAGELIST *>(list), reinterpret_cast<const char *>(path),
                   static_cast<int>(format));
  } catch (...) {
    return 0;
  }
}

} // extern "C"
