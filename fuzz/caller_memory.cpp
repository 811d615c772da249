// SPDX-License-Identifier: MIT
//
// Packed DIBs in the caller's memory. The last 17 bytes of the input choose a
// copy rectangle and a memory kind; the rest is the DIB, placed in a block of
// exactly its size, so that the sanitizer sees any read past it.
//  - pelCopyDIB and pelAttachDIB know the block's size: any block is safe, and
//    the copy leaves the block as it was;
//  - pelGetTempPELIMAGE trusts its caller: it is given only blocks that hold
//    the header block the DIB declares (and its bits before they are read);
//  - all three find the same pixels in the block.
#include "support.hpp"

#include "platform/platform.hpp"

#include <vector>

namespace {
using pel::fuzz::checkImage;
using pel::fuzz::Input;

constexpr uint64_t kLargestWorked = uint64_t{1} << 20;

void settle(PELIMAGE *result) {
  if (!result) return;
  checkImage(result);
  pelDestroyImage(result);
}

// Bytes the repaired header says the block holds (header block and bits), or
// 0 when the header is refused.
uint64_t claimedBytes(const std::vector<uint8_t> &dib) {
  BITMAPINFOHEADER header;
  std::memcpy(&header, dib.data(), sizeof header);
  if (!pelVerifyBIH(&header, nullptr)) return 0;
  const bool plain = header.biCompression == BI_RGB || header.biCompression == BI_BITFIELDS;
  const uint64_t bits = plain ? pel::fuzz::storeBytes(uint32_t(header.biWidth),
                                                      uint32_t(header.biHeight), header.biBitCount)
                              : header.biSizeImage;
  return pelGetBiSize(&header) + bits;
}

// The copy's pixels are the block's pixels.
void compareSample(const PELIMAGE *source, const PELIMAGE *copy) {
  const BITMAPINFOHEADER &h = *source->core->header;
  if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) return;
  const uint32_t width = uint32_t(h.biWidth), height = uint32_t(h.biHeight);
  for (uint32_t y = 0; y < height; y += 1 + height / 8)
    for (uint32_t x = 0; x < width; x += 1 + width / 8)
      PELC_FUZZ_REQUIRE(pelGetPixel(source, x, y) == pelGetPixel(copy, x, y));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  pel::fuzz::setUp();
  constexpr std::size_t kOptionBytes = 17;
  if (size < kOptionBytes) return 0;
  Input options(data + size - kOptionBytes, kOptionBytes);
  int32_t rect[4];
  for (auto &side : rect) side = options.take<int32_t>();
  const bool wholeImage = options.option() & 0x80;
  const int32_t kind = int32_t(options.take<uint8_t>() % 6);
  const std::vector<uint8_t> dib(data, data + size - kOptionBytes);
  const uint64_t claimed = dib.size() >= sizeof(BITMAPINFOHEADER) ? claimedBytes(dib) : 0;
  if (claimed > kLargestWorked) return 0;
  const long before = pel::fuzz::liveBlocks();

  // The caller's global block, exactly the DIB's size.
  auto fill = [&dib]() {
    HGLOBAL block = pel::os::GlobalAlloc(GMEM_MOVEABLE, dib.size());
    PELC_FUZZ_REQUIRE(block != nullptr);
    void *memory = pel::os::GlobalLock(block);
    if (!dib.empty()) std::memcpy(memory, dib.data(), dib.size());
    pel::os::GlobalUnlock(block);
    return block;
  };

  HGLOBAL block = fill();
  PELIMAGE *copy = pelCopyDIB(block, wholeImage ? nullptr : rect, 0, kind);
  {
    const auto *memory = static_cast<const uint8_t *>(pel::os::GlobalLock(block));
    PELC_FUZZ_REQUIRE(dib.empty() || std::memcmp(memory, dib.data(), dib.size()) == 0);
    pel::os::GlobalUnlock(block);
  }
  if (copy) checkImage(copy);

  PELIMAGE *attached = pelAttachDIB(block);
  if (attached) {
    checkImage(attached);
    PELC_FUZZ_REQUIRE(claimed != 0 && claimed <= dib.size());
    settle(pelCopyImage(attached, wholeImage ? nullptr : rect, kind));
  } else {
    pel::os::GlobalFree(block);
  }

  // The temporary handle reads the header block the DIB declares as it stands.
  if (dib.size() >= sizeof(BITMAPINFOHEADER)) {
    std::vector<uint8_t> own(dib);
    const uint32_t declared = pelGetBiSize(reinterpret_cast<BITMAPINFOHEADER *>(own.data()));
    if (declared <= own.size()) {
      own.resize(declared);
      own.shrink_to_fit();
      // Only the header block is there: the bits are not to be touched.
      PELIMAGE *temporary = pelGetTempPELIMAGE(own.data());
      pelReleaseTempPELIMAGE(temporary);
    }
    if (claimed != 0 && claimed <= dib.size() && declared <= dib.size()) {
      std::vector<uint8_t> whole(dib);
      PELIMAGE *temporary = pelGetTempPELIMAGE(whole.data());
      const auto inside = [&whole](const PELIMAGE *image) {
        const uint64_t offset = uint64_t(image->core->bits - whole.data());
        return offset + image->core->bitsSize <= whole.size();
      };
      if (temporary && inside(temporary)) {
        checkImage(temporary);
        // Attaching may move the bits within the block (over a table the
        // repaired header no longer counts); the pixels stay the same.
        if (attached) {
          PELC_FUZZ_REQUIRE(attached->core->bitsSize == temporary->core->bitsSize);
          PELC_FUZZ_REQUIRE(std::memcmp(attached->core->bits, temporary->core->bits,
                                        temporary->core->bitsSize) == 0);
        }
        if (copy && wholeImage) compareSample(temporary, copy);
        settle(pelCopyImage(temporary, wholeImage ? nullptr : rect, kind));
      }
      pelReleaseTempPELIMAGE(temporary);
    }
  }
  if (attached) pelDestroyImage(attached);
  if (copy) pelDestroyImage(copy);
  PELC_FUZZ_REQUIRE(pel::fuzz::liveBlocks() == before);
  return 0;
}
