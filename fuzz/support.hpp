// SPDX-License-Identifier: MIT
//
// What the fuzz targets share: a reader that takes data from the front of the
// input and options from its back, the consistency check every image handed
// out must pass, and the bookkeeping that turns a leak into a failure.
#pragma once

#include <pelc.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace pel::fuzz {

// A violated property: prints what and where, then aborts so that the fuzzer
// (or the replay program) reports the input.
[[noreturn]] void fail(const char *what, const char *file, int line) noexcept;

#define PELC_FUZZ_REQUIRE(cond)                                                                    \
  ((cond) ? static_cast<void>(0) : ::pel::fuzz::fail(#cond, __FILE__, __LINE__))

// Data comes from the front, options from the back, so that the fuzzer can
// change the options without shifting the data. Exhausted input reads zeros.
class Input {
public:
  Input(const uint8_t *data, std::size_t size) noexcept : data_(data), size_(size) {}

  std::size_t remaining() const noexcept { return size_; }

  // Copies up to n bytes from the front into out; the rest of out is zeroed.
  void read(void *out, std::size_t n) noexcept {
    const std::size_t have = n < size_ ? n : size_;
    if (have) std::memcpy(out, data_, have);
    if (have < n) std::memset(static_cast<uint8_t *>(out) + have, 0, n - have);
    data_ += have;
    size_ -= have;
  }

  template <class T> T take() noexcept {
    T value{};
    read(&value, sizeof value);
    return value;
  }

  uint8_t option() noexcept {
    if (size_ == 0) return 0;
    --size_;
    return data_[size_];
  }

  // An option below n (n > 0).
  uint32_t choose(uint32_t n) noexcept { return option() % n; }

private:
  const uint8_t *data_;
  std::size_t size_;
};

// Once per process: silences the validation message box and points the
// file-mapped memory kind at a private directory.
void setUp() noexcept;

// The private directory setUp gave to the file-mapped memory kind.
const std::string &scratchDirectory();

// A private path in the temporary directory for this process (name is a
// short tag such as "load").
std::string scratchPath(const char *name);

// Writes the bytes to the path; false when that fails.
bool writeFile(const std::string &path, const uint8_t *data, std::size_t size);

// Every image the library hands out must be one the rest of the library can
// trust: a header that its own strict check accepts (resolutions aside), a
// line length, header-block size and bits size that agree with the header, a
// type that fits the bit count, and a store of at least bitsSize readable
// bytes (every byte is read, so the sanitizer sees a short store).
void checkImage(const PELIMAGE *image) noexcept;

// Bits per pixel of a creatable image type (0 for the others).
uint32_t bitsPerPixel(int32_t type) noexcept;

// Blocks the platform layer holds; a target compares it before and after.
long liveBlocks() noexcept;

// How many bytes of pixels (header block aside) an image of the size and
// bit count would need, without wrapping.
uint64_t storeBytes(uint64_t width, uint64_t height, uint32_t bits) noexcept;

} // namespace pel::fuzz
