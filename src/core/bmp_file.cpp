// SPDX-License-Identifier: MIT
//
// BMP files: the 14-byte file header, then the header block and the bits as
// they lie in memory. Both directions move the pixel data in one block.
//
// A file comes from anywhere, so every count taken from it is checked against
// the file's real length in 64-bit arithmetic before anything is read.
#include "core/detail.hpp"

#include "platform/files.hpp"

#include <algorithm>
#include <array>

using namespace pel::detail;

namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint16_t kBmpMagic = 0x4D42; // "BM"
constexpr uint32_t kLengthLimit = 0x7FFFFFFF;

struct FileCloser {
  void operator()(std::FILE *f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The stream's length, its position kept; -1 on failure.
int64_t streamLength(std::FILE *f) {
  const int64_t at = os::tell64(f);
  if (at < 0 || !os::seek64(f, 0, SEEK_END)) return -1;
  const int64_t length = os::tell64(f);
  if (!os::seek64(f, at, SEEK_SET)) return -1;
  return length;
}

bool readAll(std::FILE *f, void *into, uint64_t bytes) {
  return bytes == 0 || std::fread(into, 1, static_cast<std::size_t>(bytes), f) == bytes;
}

void putLe(uint8_t *at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Reads the header's extension, the masks or table, and any table the header
// no longer counts, leaving the stream at the first byte of the bits.
bool readHeaderBlock(std::FILE *f, IMAGECORE &core, uint32_t fileBiSize, uint32_t fileClrUsed) {
  BITMAPINFOHEADER &h = *core.header;
  uint8_t *behind = afterHeader(&h);
  uint64_t tableBytes = core.headerSize - kHeaderBytes;
  uint64_t skip = fileBiSize - uint64_t{kHeaderBytes};
  // Longer headers hold the masks of a bit-field file in their bytes 40-51.
  if (hasMasks(h) && fileBiSize >= kHeaderBytes + kMaskBytes) {
    if (!readAll(f, behind, kMaskBytes)) return false;
    tableBytes = 0;
    skip -= kMaskBytes;
  }
  h.biSize = kHeaderBytes;
  if (skip && !os::seek64(f, static_cast<int64_t>(skip), SEEK_CUR)) return false;
  if (!readAll(f, behind, tableBytes)) return false;

  // The bits follow the table the file really holds: true-colour files may
  // carry an optional palette, palette files more entries than their depth
  // can index. Validation dropped both from the header.
  uint64_t unused = 0;
  if (bitCount(h) > 8)
    unused = uint64_t{fileClrUsed} * 4;
  else if (fileClrUsed > h.biClrUsed)
    unused = (uint64_t{fileClrUsed} - h.biClrUsed) * 4;
  return unused == 0 || os::seek64(f, static_cast<int64_t>(unused), SEEK_CUR);
}

PELIMAGE *loadBmp(std::FILE *f, int32_t kind) {
  const int64_t length = streamLength(f);
  if (length < 0) return nullptr;
  std::array<uint8_t, kFileHeaderBytes> fileHeader{};
  if (!readAll(f, fileHeader.data(), fileHeader.size())) return nullptr;
  if (fileHeader[0] != (kBmpMagic & 0xFF) || fileHeader[1] != (kBmpMagic >> 8)) return nullptr;
  BITMAPINFOHEADER h;
  if (!readAll(f, &h, sizeof h)) return nullptr;
  const uint32_t fileBiSize = h.biSize;
  const uint32_t fileClrUsed = h.biClrUsed;
  // A header longer than the file fails before any store is made for it.
  if (kFileHeaderBytes + uint64_t{fileBiSize} > static_cast<uint64_t>(length)) return nullptr;

  ImagePtr image(pelCreateImageEx(&h, nullptr, kind));
  if (!image) return nullptr;
  IMAGECORE &core = *image->core;
  if (!readHeaderBlock(f, core, fileBiSize, fileClrUsed)) return nullptr;

  const int64_t at = os::tell64(f);
  if (at < 0 || at > length) return nullptr;
  // A short file leaves the rest of the zero-filled store as it is.
  const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(length - at), core.bitsSize);
  if (!readAll(f, core.bits, n)) return nullptr;
  return image.release();
}

bool writeAll(std::FILE *f, const void *from, std::size_t bytes) {
  return bytes == 0 || std::fwrite(from, 1, bytes, f) == bytes;
}

} // namespace

extern "C" {

PELIMAGE *PELAPI pelLoadBmpFile(const char *path, int32_t kind) noexcept {
  if (!path) return nullptr;
  PELIMAGE *image = nullptr;
  {
    FilePtr file(std::fopen(path, "rb"));
    if (!file) return nullptr;
    image = loadBmp(file.get(), kind);
  }
  pelUpdateColors(image);
  return image;
}

int32_t PELAPI pelSaveBmpFile(const PELIMAGE *image, const char *path) noexcept {
  if (!image || !image->core || !image->core->header || !path) return 0;
  const IMAGECORE &core = *image->core;
  if (core.headerSize < kHeaderBytes || (core.bitsSize && !core.bits)) return 0;

  // The file always holds the 40-byte layout, so it says so whatever biSize
  // the image carries; otherwise readers would look for the table elsewhere.
  std::array<uint8_t, kFileHeaderBytes + kHeaderBytes> head{};
  putLe(head.data(), kBmpMagic, 2);
  putLe(head.data() + 2, kFileHeaderBytes + core.headerSize + core.bitsSize, 4);
  putLe(head.data() + 10, kFileHeaderBytes + core.headerSize, 4);
  std::memcpy(head.data() + kFileHeaderBytes, core.header, kHeaderBytes);
  putLe(head.data() + kFileHeaderBytes, kHeaderBytes, 4);

  std::FILE *f = std::fopen(path, "wb");
  if (!f) return 0;
  const bool written = writeAll(f, head.data(), head.size()) &&
                       writeAll(f, afterHeader(core.header), core.headerSize - kHeaderBytes) &&
                       writeAll(f, core.bits, core.bitsSize);
  // Buffered bytes reach the disk only now; a failure here is a failed save.
  const bool flushed = written && std::fflush(f) == 0;
  const bool closed = std::fclose(f) == 0;
  return written && flushed && closed ? 1 : 0;
}

int32_t PELAPI fileGetLength(FILE *stream) noexcept {
  if (!stream) return -1;
  const int64_t length = streamLength(stream);
  return length < 0 || length > kLengthLimit ? -1 : static_cast<int32_t>(length);
}

} // extern "C"
