// SPDX-License-Identifier: MIT
// Images in and out of packed DIB blocks and screen bitmaps: ownership after
// success and failure, rectangles, and round trips of every creatable type.
#include "pixel_support.hpp"

#include "pelc_winstub.h"

#include <array>

namespace {

using namespace pel::test;
namespace os = pel::os;

constexpr int32_t kCreatable[] = {PEL_TYPE_BIT1,   PEL_TYPE_BIT4,  PEL_TYPE_GREY4,
                                  PEL_TYPE_BIT8,   PEL_TYPE_GREY8, PEL_TYPE_BIT555,
                                  PEL_TYPE_BIT565, PEL_TYPE_BIT24, PEL_TYPE_BIT32};

// A movable block holding the header, its table and the bits.
HGLOBAL dibBlock(const BITMAPINFOHEADER &h, const std::vector<RGBQUAD> &table,
                 const std::vector<uint8_t> &bits, std::size_t extra = 0) {
  const std::size_t size = 40 + table.size() * 4 + bits.size() + extra;
  HGLOBAL block = os::GlobalAlloc(GHND, size);
  auto *p = static_cast<uint8_t *>(os::GlobalLock(block));
  std::memcpy(p, &h, 40);
  if (!table.empty()) std::memcpy(p + 40, table.data(), table.size() * 4);
  if (!bits.empty()) std::memcpy(p + 40 + table.size() * 4, bits.data(), bits.size());
  os::GlobalUnlock(block);
  return block;
}

std::vector<uint8_t> pattern(std::size_t n) {
  std::vector<uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 3);
  return v;
}

class Gdi : public LeakCheck {};

TEST_F(Gdi, AttachDibAdoptsTheBlockAndRepairsItsHeader) {
  BITMAPINFOHEADER h = header(10, 4, 8);
  h.biClrUsed = 0;
  HGLOBAL block = dibBlock(h, distinctColours(), pattern(48));
  PELIMAGE *image = pelAttachDIB(block);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->core->header->biClrUsed, 256u);
  EXPECT_EQ(image->core->bits, reinterpret_cast<uint8_t *>(image->core->header) + 40 + 1024);
  EXPECT_EQ(image->core->memKind, 2);
  EXPECT_EQ(pelGetPixel(image, 1, 3), 10u); // byte 1 of the first stored line
  // Detaching gives back the very block.
  EXPECT_EQ(pelDetachDIB(image), block);
  EXPECT_EQ(os::GlobalFlags(block) & GMEM_LOCKCOUNT, 0u);
  os::GlobalFree(block);
}

TEST_F(Gdi, AttachDibRefusesShortBlocksAndLeavesThemUnlocked) {
  HGLOBAL tiny = os::GlobalAlloc(GHND, 100);
  auto *p = static_cast<BITMAPINFOHEADER *>(os::GlobalLock(tiny));
  *p = header(100, 100, 24);
  os::GlobalUnlock(tiny);
  EXPECT_EQ(pelAttachDIB(tiny), nullptr);
  EXPECT_EQ(pelCopyDIB(tiny, nullptr, 0, 0), nullptr);
  EXPECT_EQ(os::GlobalFlags(tiny) & GMEM_LOCKCOUNT, 0u);
  EXPECT_EQ(os::GlobalSize(tiny), 100u);
  os::GlobalFree(tiny);

  HGLOBAL small = os::GlobalAlloc(GHND, 20);
  EXPECT_EQ(pelAttachDIB(small), nullptr);
  os::GlobalFree(small);
  EXPECT_EQ(pelAttachDIB(nullptr), nullptr);

  // Nothing to hand over when no handle record can be had.
  HGLOBAL fine = dibBlock(header(4, 4, 24), {}, pattern(48));
  EXPECT_GE(sweepAllocationFailures([&] {
              PELIMAGE *image = pelAttachDIB(fine);
              if (!image) {
                EXPECT_EQ(os::GlobalFlags(fine) & GMEM_LOCKCOUNT, 0u);
                return false;
              }
              EXPECT_EQ(pelDetachDIB(image), fine);
              return true;
            }),
            1);
  os::GlobalFree(fine);
}

TEST_F(Gdi, DetachDibHandsOverOrCopies) {
  std::mt19937 rng(5);
  Image small = randomImage(PEL_TYPE_BIT24, 7, 5, rng);
  ASSERT_EQ(small->core->memKind, PEL_MEM_GLOBAL);
  const void *store = small->core->header;
  const std::vector<uint8_t> bits = storeOf(*small);
  HGLOBAL own = pelDetachDIB(small.release());
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(os::GlobalLock(own), store); // the block itself, no copy
  os::GlobalUnlock(own);
  os::GlobalFree(own);

  const std::vector<RGBQUAD> colours = distinctColours();
  PELIMAGE *virt = pelCreateImage(PEL_TYPE_BIT8, 33, 9, colours.data(), 256, 0, 0, PEL_MEM_VIRTUAL);
  ASSERT_NE(virt, nullptr);
  std::memcpy(virt->core->bits, pattern(virt->core->bitsSize).data(), virt->core->bitsSize);
  const uint32_t total = virt->core->headerSize + virt->core->bitsSize;
  // Without a new block the image stays as it was.
  os::test::failAllocation(1);
  EXPECT_EQ(pelDetachDIB(virt), nullptr);
  os::test::failAllocation(0);
  EXPECT_EQ(virt->core->memKind, PEL_MEM_VIRTUAL);
  HGLOBAL copy = pelDetachDIB(virt);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(os::GlobalSize(copy), total);
  PELIMAGE *back = pelAttachDIB(copy);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(storeOf(*back), pattern(back->core->bitsSize));
  pelDestroyImage(back);
}

TEST_F(Gdi, CopyDibRectangles) {
  const std::vector<RGBQUAD> colours = distinctColours();
  BITMAPINFOHEADER h = header(10, 10, 8);
  h.biClrUsed = 256;
  HGLOBAL block = dibBlock(h, colours, pattern(120));
  const int32_t part[4] = {2, 1, 5, 3}, none[4] = {4, 0, 4, 10};
  Image copy(pelCopyDIB(block, part, 12345, 0));
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->core->header->biWidth, 3);
  EXPECT_EQ(copy->core->header->biHeight, 2);
  const std::vector<uint8_t> src = pattern(120);
  for (uint32_t x = 0; x < 3; ++x) {
    EXPECT_EQ(pelGetPixel(copy.get(), x, 0), src[8 * 12 + 2 + x]); // picture row 1
    EXPECT_EQ(pelGetPixel(copy.get(), x, 1), src[7 * 12 + 2 + x]);
  }
  EXPECT_FALSE(Image(pelCopyDIB(block, none, 0, 0)));
  Image whole(pelCopyDIB(block, nullptr, 0, 0));
  ASSERT_TRUE(whole);
  for (uint32_t y = 0; y < 10; ++y)
    for (uint32_t x = 0; x < 10; ++x)
      ASSERT_EQ(pelGetPixel(whole.get(), x, y), src[(9 - y) * 12 + x]);
  EXPECT_EQ(os::GlobalFlags(block) & GMEM_LOCKCOUNT, 0u);
  os::GlobalFree(block);

  // Masks that are not 5-6-5 stay with the copy.
  BITMAPINFOHEADER h16 = header(4, 2, 16, BI_BITFIELDS);
  const uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  std::vector<RGBQUAD> maskWords(3);
  std::memcpy(maskWords.data(), masks, 12);
  HGLOBAL fields = dibBlock(h16, maskWords, pattern(16));
  Image copy16(pelCopyDIB(fields, nullptr, 0, 0));
  ASSERT_TRUE(copy16);
  EXPECT_EQ(copy16->imageType, PEL_TYPE_BIT555);
  EXPECT_EQ(std::memcmp(copy16->core->header + 1, masks, 12), 0);
  os::GlobalFree(fields);

  // A run-length stream is refused, the block unlocked and unchanged.
  BITMAPINFOHEADER rle = header(1000, 1000, 8, BI_RLE8);
  rle.biSizeImage = 100;
  HGLOBAL stream = dibBlock(rle, colours, pattern(100));
  EXPECT_FALSE(Image(pelCopyDIB(stream, nullptr, 0, 0)));
  EXPECT_EQ(os::GlobalFlags(stream) & GMEM_LOCKCOUNT, 0u);
  os::GlobalFree(stream);
}

// Colours of every pixel, to compare images of different layouts.
std::vector<uint32_t> colours(const PELIMAGE *image) {
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < image->core->header->biHeight; ++y)
    for (int32_t x = 0; x < image->core->header->biWidth; ++x)
      out.push_back(pelGetRGBpack(image, static_cast<uint32_t>(x), static_cast<uint32_t>(y)));
  return out;
}

// Pixels whose colours the screen and every bit count hold exactly.
Image screenFriendly(int32_t type, std::mt19937 &rng) {
  Image image(pelCreateImage(type, 13, 6, nullptr, 0, 0, 0, 0));
  const uint32_t bits = image->core->header->biBitCount;
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 13; ++x) {
      uint32_t v = static_cast<uint32_t>(rng());
      if (bits <= 8) v %= image->core->header->biClrUsed;
      if (type == PEL_TYPE_BIT555) v &= 0x7FFF;
      if (type == PEL_TYPE_BIT565) v &= 0xF7DF; // green's low bit is lost through 5-5-5
      if (bits == 32) v &= 0xFFFFFF;
      pelSetPixel(image.get(), v, x, y);
    }
  return image;
}

TEST_F(Gdi, EveryTypeRoundTripsThroughAScreenBitmap) {
  std::mt19937 rng(13);
  const int before = liveGdiObjects();
  for (const int32_t type : kCreatable) {
    SCOPED_TRACE(type);
    Image image = screenFriendly(type, rng);
    // The screen writes its own standard tables for palette bitmaps: grey
    // pictures come back in true colour.
    const bool grey = type == PEL_TYPE_GREY4 || type == PEL_TYPE_GREY8;
    const uint32_t bits = grey ? 24 : image->core->header->biBitCount;
    HBITMAP bitmap = pelCreateDDB(image.get());
    ASSERT_NE(bitmap, nullptr);
    Image back(pelAttachDDB(bitmap, static_cast<int32_t>(bits), 0));
    ASSERT_TRUE(back);
    EXPECT_EQ(colours(back.get()), colours(image.get()));

    // A rectangle through a copy leaves the caller's bitmap alive.
    HBITMAP mine = pelCreateDDB(image.get());
    const int32_t rect[4] = {3, 1, 11, 5};
    Image part(pelCopyDDB(mine, rect, 24, 0));
    ASSERT_TRUE(part);
    for (uint32_t y = 0; y < 4; ++y)
      for (uint32_t x = 0; x < 8; ++x)
        ASSERT_EQ(pelGetRGBpack(part.get(), x, y) & 0xF8F8F8,
                  pelGetRGBpack(image.get(), x + 3, y + 1) & 0xF8F8F8);
    Image whole(pelAttachDDB(mine, 0, 0));
    ASSERT_TRUE(whole); // still a bitmap: attaching it works
    EXPECT_EQ(whole->imageType, PEL_TYPE_BIT32);
  }
  EXPECT_EQ(liveGdiObjects(), before);
}

TEST_F(Gdi, BitmapOwnershipOnFailure) {
  std::mt19937 rng(3);
  const int before = liveGdiObjects();
  Image image = screenFriendly(PEL_TYPE_BIT24, rng);
  HBITMAP bitmap = pelCreateDDB(image.get());
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(pelAttachDDB(bitmap, 3, 0), nullptr);
  const int32_t empty[4] = {4, 0, 4, 6};
  EXPECT_EQ(pelCopyDDB(bitmap, empty, 0, 0), nullptr);

#if !defined(_WIN32)
  // A bitmap selected elsewhere can be neither read nor copied: it stays.
  // (The stand-in keeps the documented rule; wine reads such bitmaps.)
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(dc, bitmap);
  EXPECT_EQ(pelAttachDDB(bitmap, 0, 0), nullptr);
  EXPECT_EQ(pelCopyDDB(bitmap, nullptr, 0, 0), nullptr);
  SelectObject(dc, previous);
  DeleteDC(dc);

#endif

  // No image can be made: the bitmap stays the caller's.
  os::test::failAllocation(1);
  EXPECT_EQ(pelAttachDDB(bitmap, 0, 0), nullptr);
  os::test::failAllocation(0);
  BITMAP bm{};
  EXPECT_EQ(GetObjectA(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));

  // Detach ends the image in any case.
  HBITMAP detached = pelDetachDDB(image.release());
  ASSERT_NE(detached, nullptr);
  EXPECT_TRUE(DeleteObject(detached));
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_EQ(liveGdiObjects(), before);
  EXPECT_EQ(pelCreateDDB(nullptr), nullptr);
  EXPECT_EQ(pelDetachDIB(nullptr), nullptr);
}

// True-colour DIBs that carry a colour table, as Windows writes them: the
// bits follow the table, whatever the repaired header then counts.
TEST_F(Gdi, TrueColourTablesAreSteppedOverByEveryReader) {
  struct Case {
    const char *what;
    BITMAPINFOHEADER h;
    std::vector<uint8_t> masks;
    uint32_t tableEntries, bitsOffset;
  };
  BITMAPINFOHEADER h24 = header(2, 2, 24), h16 = header(2, 2, 16, BI_BITFIELDS);
  h24.biClrUsed = 4;
  h16.biClrUsed = 2;
  const uint32_t m565[3] = {0xF800, 0x07E0, 0x001F};
  std::vector<uint8_t> masks(12);
  std::memcpy(masks.data(), m565, 12);
  const Case cases[] = {{"24-bit", h24, {}, 4, 56}, {"5-6-5", h16, masks, 2, 60}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> bits = pattern(static_cast<std::size_t>(pelGetBitsSize(&c.h)));
    std::vector<uint8_t> dib(sizeof c.h);
    std::memcpy(dib.data(), &c.h, sizeof c.h);
    dib.insert(dib.end(), c.masks.begin(), c.masks.end());
    dib.insert(dib.end(), c.tableEntries * 4, 0xEE);
    dib.insert(dib.end(), bits.begin(), bits.end());
    ASSERT_EQ(dib.size(), c.bitsOffset + bits.size());

    PELIMAGE *temp = pelGetTempPELIMAGE(dib.data());
    ASSERT_NE(temp, nullptr);
    EXPECT_EQ(temp->core->bits, dib.data() + c.bitsOffset);
    const std::vector<uint32_t> want = colours(temp);
    pelReleaseTempPELIMAGE(temp);

    HGLOBAL block = os::GlobalAlloc(GHND, dib.size());
    std::memcpy(os::GlobalLock(block), dib.data(), dib.size());
    os::GlobalUnlock(block);
    Image copy(pelCopyDIB(block, nullptr, 0, 0));
    ASSERT_TRUE(copy);
    EXPECT_EQ(colours(copy.get()), want);
    Image attached(pelAttachDIB(block));
    ASSERT_TRUE(attached);
    EXPECT_EQ(colours(attached.get()), want);
    EXPECT_EQ(storeOf(*attached), bits);

    // A block one byte short of table and bits is refused and left as it was.
    HGLOBAL shortBlock = os::GlobalAlloc(GHND, dib.size() - 1);
    std::memcpy(os::GlobalLock(shortBlock), dib.data(), dib.size() - 1);
    os::GlobalUnlock(shortBlock);
    EXPECT_EQ(pelCopyDIB(shortBlock, nullptr, 0, 0), nullptr);
    EXPECT_EQ(pelAttachDIB(shortBlock), nullptr);
    EXPECT_EQ(std::memcmp(os::GlobalLock(shortBlock), dib.data(), dib.size() - 1), 0);
    os::GlobalUnlock(shortBlock);
    os::GlobalFree(shortBlock);
  }
}

// An image made from a longer header keeps that biSize in memory, but its
// table follows at byte 40: whatever leaves for GDI must say 40.
TEST_F(Gdi, LongerHeadersLeaveForGdiSaying40) {
  std::mt19937 rng(21);
  std::vector<RGBQUAD> table(256);
  for (RGBQUAD &q : table)
    q = {static_cast<uint8_t>(rng() & 0xF8), static_cast<uint8_t>(rng() & 0xF8),
         static_cast<uint8_t>(rng() & 0xF8), 0};
  for (const int32_t kind : {PEL_MEM_GLOBAL, PEL_MEM_GLOBAL_FIXED, PEL_MEM_VIRTUAL}) {
    SCOPED_TRACE(kind);
    BITMAPINFOHEADER h = header(7, 3, 8);
    h.biSize = 124;
    Image image(pelCreateImageEx(&h, table.data(), kind));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->core->header->biSize, 124u);
    for (uint32_t i = 0; i < image->core->bitsSize; ++i)
      image->core->bits[i] = static_cast<uint8_t>(rng());
    const std::vector<uint32_t> want = colours(image.get());

    HBITMAP bitmap = pelCreateDDB(image.get());
    ASSERT_NE(bitmap, nullptr);
    Image back(pelAttachDDB(bitmap, 24, 0));
    ASSERT_TRUE(back);
    EXPECT_EQ(colours(back.get()), want);

    const std::vector<uint8_t> store = storeOf(*image);
    HGLOBAL block = pelDetachDIB(image.release());
    ASSERT_NE(block, nullptr);
    auto *dib = static_cast<BITMAPINFOHEADER *>(os::GlobalLock(block));
    EXPECT_EQ(dib->biSize, 40u);
    EXPECT_EQ(std::memcmp(reinterpret_cast<uint8_t *>(dib) + 40, table.data(), 1024), 0);
    os::GlobalUnlock(block);
    Image again(pelAttachDIB(block));
    ASSERT_TRUE(again);
    EXPECT_EQ(colours(again.get()), want);
    EXPECT_EQ(storeOf(*again), store);
  }
}

} // namespace
