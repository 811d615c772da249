// SPDX-License-Identifier: MIT
// Reading and writing picture files: BMP through the library, every other
// format through the image-file forwarders. The only place that knows the
// forwarders' format codes.
#include "cli.hpp"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <process.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pelc_cli {

namespace {

// Format codes of the image-file forwarders.
enum FileFormat : intptr_t { kUnknown = 0, kBmp = 1, kPng, kJpeg, kTiff, kGif, kWebP };
constexpr std::array<const char *, 7> kFormatNames = {"",     "BMP", "PNG", "JPEG",
                                                      "TIFF", "GIF", "WebP"};

struct TypeName {
  const char *shortName;
  const char *longName;
};
// Indexed by the image type code.
constexpr std::array<TypeName, 12> kTypeNames = {{
    {"unknown", "unknown"},
    {"1", "1-bit palette"},
    {"4", "4-bit palette"},
    {"grey4", "4-bit grey"},
    {"rle4", "4-bit run-length"},
    {"8", "8-bit palette"},
    {"grey8", "8-bit grey"},
    {"rle8", "8-bit run-length"},
    {"555", "16-bit 5-5-5"},
    {"565", "16-bit 5-6-5"},
    {"24", "24-bit"},
    {"32", "32-bit"},
}};
static_assert(kTypeNames.size() == PEL_TYPE_BIT32 + 1);

intptr_t asArg(const char *text) { return reinterpret_cast<intptr_t>(text); }

// The forwarders answer 0 for everything when the sibling is missing, and a
// present sibling knows the BMP extension.
bool siblingPresent() { return fioGetImageFormatFromExt(asArg(".bmp")) == kBmp; }

std::string extension(const std::string &path) {
  size_t slash = path.find_last_of("/\\");
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  for (char &c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return ext;
}

std::string directoryOf(const std::string &path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string missingSibling(const std::string &path, const char *what) {
  std::string ext = extension(path);
  return std::string(what) + " " + (ext.empty() ? "files without an extension" : ext + " files") +
         " needs the image-file library " + siblingName() + ", which was not found";
}

int processId() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

struct FileCloser {
  void operator()(FILE *file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

uint32_t readLe32(const uint8_t *p) {
  return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint16_t readLe16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

BITMAPINFOHEADER decodeHeader(const uint8_t *p) {
  BITMAPINFOHEADER h{};
  h.biSize = readLe32(p);
  h.biWidth = static_cast<int32_t>(readLe32(p + 4));
  h.biHeight = static_cast<int32_t>(readLe32(p + 8));
  h.biPlanes = readLe16(p + 12);
  h.biBitCount = readLe16(p + 14);
  h.biCompression = readLe32(p + 16);
  h.biSizeImage = readLe32(p + 20);
  h.biXPelsPerMeter = static_cast<int32_t>(readLe32(p + 24));
  h.biYPelsPerMeter = static_cast<int32_t>(readLe32(p + 28));
  h.biClrUsed = readLe32(p + 32);
  h.biClrImportant = readLe32(p + 36);
  return h;
}

// Why the repairing validation gave up on a header, from where it stopped.
std::string refusalOf(const BITMAPINFOHEADER &h) {
  const unsigned bits = h.biBitCount;
  if (h.biSize < 40) return "header size " + std::to_string(h.biSize) + " is below 40";
  if (h.biWidth == 0 || h.biHeight == 0) return "the width or the height is 0";
  if (bits == 0 && (h.biCompression == 4 || h.biCompression == 5))
    return h.biCompression == 4 ? "embedded JPEG data is not supported"
                                : "embedded PNG data is not supported";
  if (!pelCheckBitCount(static_cast<int32_t>(bits)))
    return "bit count " + std::to_string(bits) + " is not supported";
  switch (h.biCompression) {
  case BI_RGB: break;
  case BI_RLE8:
  case BI_RLE4:
    if ((h.biCompression == BI_RLE8) != (bits == 8) || (h.biCompression == BI_RLE4) != (bits == 4))
      return "run-length compression does not fit " + std::to_string(bits) + " bits";
    if (h.biSizeImage == 0) return "run-length data of unknown size";
    break;
  case BI_BITFIELDS:
    if (bits != 16 && bits != 32)
      return "colour masks do not fit " + std::to_string(bits) + " bits";
    break;
  case 4: return "embedded JPEG data is not supported";
  case 5: return "embedded PNG data is not supported";
  default: return "compression " + std::to_string(h.biCompression) + " is not supported";
  }
  return "the pixel store would be larger than 2 GiB";
}

} // namespace

const char *typeShortName(int32_t type) {
  return type >= 0 && type <= PEL_TYPE_BIT32 ? kTypeNames[type].shortName : "unknown";
}
const char *typeLongName(int32_t type) {
  return type >= 0 && type <= PEL_TYPE_BIT32 ? kTypeNames[type].longName : "unknown";
}

const char *siblingName() {
#ifdef _WIN32
  return "pelcfio.dll";
#else
  return "libpelcfio.so";
#endif
}

std::string formatName(const std::string &path) {
  if (extension(path) == ".bmp") return kFormatNames[kBmp];
  intptr_t code = fioGetImageFormat(asArg(path.c_str())); // by content
  if (code == kUnknown) code = fioGetImageFormatFromExt(asArg(path.c_str()));
  return code > 0 && code < static_cast<intptr_t>(kFormatNames.size()) ? kFormatNames[code] : "";
}

BmpReport inspectBmp(const std::string &path) {
  BmpReport report;
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    report.refusal = std::strerror(errno);
    return report;
  }
  report.opened = true;
  uint8_t head[54] = {};
  size_t got = std::fread(head, 1, sizeof head, file.get());
  const int32_t length = fileGetLength(file.get());
  if (got < 2 || head[0] != 'B' || head[1] != 'M') {
    report.refusal = "not a BMP file";
    return report;
  }
  report.isBmp = true;
  if (got < sizeof head) {
    report.refusal = "truncated header";
    return report;
  }
  report.original = decodeHeader(head + 14);
  report.repaired = report.original;
  if (!pelVerifyBIH(&report.repaired, &report.findings)) {
    report.refusal = refusalOf(report.repaired);
    return report;
  }
  report.headerBlock = pelGetBiSize(&report.repaired);
  report.bitsSize = static_cast<uint32_t>(pelGetBitsSize(&report.repaired));
  // The library reads the table right behind the stored header and the bits
  // right behind the table.
  const int64_t tableEnd =
      14 + static_cast<int64_t>(report.original.biSize) + (report.headerBlock - 40);
  const int64_t bitsEnd = tableEnd + report.bitsSize;
  if (length < 0) {
    report.refusal = "cannot tell the file's length";
  } else if (length < tableEnd) {
    report.refusal =
        report.repaired.biBitCount <= 8 ? "truncated colour table" : "truncated colour masks";
  } else if (length < bitsEnd) {
    report.refusal = "truncated pixel data (" + std::to_string(length - tableEnd) + " of " +
                     std::to_string(report.bitsSize) + " bytes)";
  } else {
    report.usable = true;
  }
  return report;
}

std::vector<std::string> describeFindings(const BITMAPINFOHEADER &h, const BITMAPINFOHEADER &fixed,
                                          uint32_t findings) {
  const auto n = [](auto value) { return std::to_string(value); };
  const std::array<std::string, 8> lines = {
      "header size " + n(h.biSize) + " is not 40 (the rest of it is skipped)",
      "height " + n(h.biHeight) + " is negative (the lines are read bottom-up)",
      n(h.biPlanes) + " planes instead of 1 (now " + n(fixed.biBitCount) + " bits in 1 plane)",
      "width or height is not positive (" + n(h.biWidth) + " x " + n(h.biHeight) + ", now " +
          n(fixed.biWidth) + " x " + n(fixed.biHeight) + ")",
      "bit count " + n(h.biBitCount) + " is not 1, 4, 8, 16, 24 or 32 (now " + n(fixed.biBitCount) +
          ")",
      "colour count " + n(h.biClrUsed) + " does not fit the bit count (now " + n(fixed.biClrUsed) +
          ")",
      "pixel data size " + n(h.biSizeImage) + " is 0 or wrong (now " + n(fixed.biSizeImage) + ")",
      "resolution incomplete (" + n(h.biXPelsPerMeter) + " x " + n(h.biYPelsPerMeter) +
          " pixels per metre, now " + n(fixed.biXPelsPerMeter) + " x " + n(fixed.biYPelsPerMeter) +
          ")",
  };
  std::vector<std::string> out;
  for (size_t bit = 0; bit < lines.size(); ++bit) {
    if (findings & (1u << bit)) out.push_back(lines[bit]);
  }
  return out;
}

Image loadImage(const std::string &path, std::string &reason) {
  BmpReport bmp = inspectBmp(path);
  if (bmp.isBmp) {
    if (!bmp.usable) {
      reason = bmp.refusal;
      return nullptr;
    }
    Image image(pelLoadBmpFile(path.c_str(), PEL_MEM_AUTO));
    if (!image) reason = "the library could not load it (out of memory?)";
    return image;
  }
  if (!bmp.opened) {
    reason = bmp.refusal;
    return nullptr;
  }
  if (!siblingPresent()) {
    reason = extension(path) == ".bmp" ? "not a BMP file" : missingSibling(path, "reading");
    return nullptr;
  }
  // Content the image-file library does not recognise is named by what the
  // file claims to be.
  if (fioGetImageFormat(asArg(path.c_str())) == kUnknown) {
    reason = extension(path) == ".bmp" ? "not a BMP file" : "not a picture in a known format";
    return nullptr;
  }
  Image image(
      reinterpret_cast<PELIMAGE *>(fioLoadImageFile(asArg(path.c_str()), PEL_MEM_AUTO, 0, 0, 0)));
  if (!image) reason = "not a picture the image-file library can read";
  return image;
}

bool checkOutputFormat(const std::string &path, std::string &reason) {
  if (extension(path) == ".bmp") return true;
  if (!siblingPresent()) {
    reason = missingSibling(path, "writing");
    return false;
  }
  if (fioGetImageFormatFromExt(asArg(path.c_str())) == kUnknown) {
    reason = "unknown output format '" + extension(path) + "'";
    return false;
  }
  return true;
}

bool replaceFile(const std::string &from, const std::string &to) {
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool isDirectory(const std::string &path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
#endif
}

bool saveImage(const PELIMAGE *image, const std::string &path, int quality, std::string &reason) {
  if (!checkOutputFormat(path, reason)) return false;
  static std::atomic<unsigned> counter{0};
  const std::string name = path.substr(directoryOf(path).size());
  // The temporary name keeps the extension: the sibling chooses by it too.
  const std::string temp = directoryOf(path) + ".pelc-" + std::to_string(processId()) + "-" +
                           std::to_string(counter++) + "-" + name;
  {
    File probe(std::fopen(temp.c_str(), "wb"));
    if (!probe) {
      const std::string dir = directoryOf(path);
      reason = "cannot write in '" + (dir.empty() ? std::string(".") : dir) +
               "': " + std::strerror(errno);
      return false;
    }
  }
  bool written;
  if (extension(path) == ".bmp") {
    written = pelSaveBmpFile(image, temp.c_str()) != 0;
  } else {
    const intptr_t format = fioGetImageFormatFromExt(asArg(path.c_str()));
    written = fioSaveImageFile(reinterpret_cast<intptr_t>(image), asArg(temp.c_str()), format,
                               quality) != 0;
  }
  if (!written) {
    reason = "could not write '" + path + "'";
  } else if (!replaceFile(temp, path)) {
    reason = "could not replace '" + path + "'";
    written = false;
  }
  if (!written) std::remove(temp.c_str());
  return written;
}

} // namespace pelc_cli
