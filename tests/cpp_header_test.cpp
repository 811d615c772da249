// SPDX-License-Identifier: MIT
// The C++ header against the real shared library: ownership moves and ends
// exactly once (the sanitizer leg sees double frees and leaks), views address
// the right bytes, and every creating call tests false on failure. Built
// twice, once with -fno-exceptions.
#include "pelc.hpp"
#include "pelc_winstub.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

int failures = 0;

#define CHECK(cond)                                                                                \
  do {                                                                                             \
    if (!(cond)) {                                                                                 \
      std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond);                              \
      ++failures;                                                                                  \
    }                                                                                              \
  } while (0)

static_assert(!std::is_copy_constructible_v<pel::Image>, "images are never copied by accident");
static_assert(std::is_nothrow_move_constructible_v<pel::Image>);
static_assert(std::is_nothrow_move_assignable_v<pel::ImageList>);
static_assert(std::is_nothrow_move_assignable_v<pel::ColourMap>);

void versionComesFromTheProject() {
  CHECK(std::strcmp(pel::kVersion, PELC_EXPECTED_VERSION) == 0);
  char joined[32];
  std::snprintf(joined, sizeof joined, "%d.%d.%d", pel::kVersionMajor, pel::kVersionMinor,
                pel::kVersionPatch);
  CHECK(std::strcmp(joined, PELC_EXPECTED_VERSION) == 0);
  // The C queries keep their own answers.
  CHECK(pelGetPrivateVersion() == 11);
}

void ownershipMoves() {
  pel::Image a = pel::create(PEL_TYPE_BIT24, 5, 4);
  CHECK(a);
  PELIMAGE *raw = a.get();
  pel::Image b = std::move(a);
  CHECK(!a && b.get() == raw);
  a = std::move(b);
  CHECK(a.get() == raw && !b);
  pel::Image &alias = a;
  a = std::move(alias); // a self-move keeps the handle alive
  CHECK(a.get() == raw);
  PELIMAGE *released = a.release();
  CHECK(!a && released == raw);
  a.reset(released);
  CHECK(a.get() == raw);
  a.reset();
  CHECK(!a);
}

void failuresTestFalse() {
  const pel::Image none;
  CHECK(!pel::create(PEL_TYPE_RLE8, 4, 4)); // run-length images are not made
  CHECK(!pel::create(PEL_TYPE_BIT24, 0, 4));
  CHECK(!none.copy());
  CHECK(!none.toBit24());
  CHECK(!none.invertCopy());
  CHECK(!none.mirrored(pel::Mirror::Both));
  CHECK(!pel::loadBmp("/nonexistent/pelc/none.bmp"));
  pel::Image image = pel::create(PEL_TYPE_BIT24, 3, 3);
  CHECK(!image.gammaCorrectCopy(0.0f, 1.0f, 1.0f));
  CHECK(!image.scaled(0, 3));
}

// Stored bits run bottom line first: picture line y is stored line height-1-y.
void linesAndTypedPixels() {
  struct Case {
    std::int32_t type;
    std::uint32_t bits;
    std::size_t pixelSize; // 0: no typed view
  };
  const Case cases[] = {{PEL_TYPE_BIT1, 1, 0},    {PEL_TYPE_BIT4, 4, 0},    {PEL_TYPE_GREY8, 8, 1},
                        {PEL_TYPE_BIT555, 16, 2}, {PEL_TYPE_BIT565, 16, 2}, {PEL_TYPE_BIT24, 24, 3},
                        {PEL_TYPE_BIT32, 32, 4}};
  for (const Case &c : cases) {
    pel::Image image = pel::create(c.type, 7, 3);
    CHECK(image && image.bitCount() == c.bits);
    const std::uint8_t *bits = image.get()->core->bits;
    CHECK(image.line(2).data() == bits);
    CHECK(image.line(0).data() == bits + 2 * image.lineBytes());
    CHECK(image.line(1).size() == static_cast<std::size_t>(image.lineBytes()));
    CHECK(image.pixels<std::uint8_t>(0).size() == (c.pixelSize == 1 ? 7u : 0u));
    CHECK(image.pixels<std::uint16_t>(0).size() == (c.pixelSize == 2 ? 7u : 0u));
    CHECK(image.pixels<pel::Bgr>(0).size() == (c.pixelSize == 3 ? 7u : 0u));
    CHECK(image.pixels<RGBQUAD>(0).size() == (c.pixelSize == 4 ? 7u : 0u));
    CHECK(image.colours().size() == (c.bits <= 8 ? 1u << c.bits : 0u));
  }

  pel::Image image = pel::create(PEL_TYPE_BIT24, 4, 2);
  image.setColour(3, 0, pel::rgbPack(10, 20, 30));
  const pel::Image &view = image;
  pel::Span<const pel::Bgr> top = view.pixels<pel::Bgr>(0);
  CHECK(top[3].red == 10 && top[3].green == 20 && top[3].blue == 30);
  image.pixels<pel::Bgr>(1)[0] = pel::Bgr{3, 2, 1};
  CHECK(image.colour(0, 1) == pel::rgbPack(1, 2, 3));
  CHECK(image.pixel(0, 1) == 0x010203u); // pixel values read the bytes little-endian
}

void toneInPlaceAndOnCopies() {
  pel::Image image = pel::create(PEL_TYPE_BIT24, 2, 2);
  CHECK(image.fill(pel::rgbPack(0, 100, 255)));
  pel::Image inverted = image.invertCopy();
  CHECK(inverted && inverted.get() != image.get());
  CHECK(inverted.colour(1, 1) == pel::rgbPack(255, 155, 0));
  CHECK(image.colour(1, 1) == pel::rgbPack(0, 100, 255));
  CHECK(image.invert());
  CHECK(image.colour(0, 0) == pel::rgbPack(255, 155, 0));
  const std::int32_t offsets[3] = {300, 0, -10};
  CHECK(image.luminance(offsets));
  CHECK(image.colour(0, 0) == pel::rgbPack(255, 155, 0));
  image.setTransparentColour(pel::rgbPack(255, 155, 0));
  CHECK(image.hasTransparentColour());
  CHECK(image.greyCopy().colour(0, 0) == pel::rgbPack(255, 155, 0)); // transparent: kept
}

void newImagesFromOld() {
  pel::Image image = pel::create(PEL_TYPE_BIT24, 6, 4);
  image.setColour(0, 0, pel::rgbPack(255, 0, 0));
  pel::Image turned = image.rotatedQuarter();
  CHECK(turned && turned.width() == 4 && turned.height() == 6);
  CHECK(turned.colour(3, 0) == pel::rgbPack(255, 0, 0)); // top left goes to top right
  pel::Image mirrored = image.mirrored(pel::Mirror::LeftRight);
  CHECK(mirrored.colour(5, 0) == pel::rgbPack(255, 0, 0));
  pel::Image part = image.copy(pel::Rect{0, 0, 2, 1});
  CHECK(part && part.width() == 2 && part.height() == 1);
  pel::Image framed = image.withBorder(1, 1, 1, 1, pel::rgbPack(0, 0, 255));
  CHECK(framed.width() == 8 && framed.colour(0, 0) == pel::rgbPack(0, 0, 255));
  pel::Image grey = image.toGrey8();
  CHECK(grey && grey.type() == PEL_TYPE_GREY8);
  CHECK(grey.pixels<std::uint8_t>(0)[0] == (77 * 255) >> 8);
}

void listsTakeImagesOver() {
  pel::ImageList list;
  CHECK(list && list.empty() && list.capacity() == 32);
  pel::Image first = pel::create(PEL_TYPE_BIT8, 1, 1);
  PELIMAGE *firstRaw = first.get();
  CHECK(list.add(std::move(first)) == 0);
  CHECK(!first);
  pel::Image second = pel::create(PEL_TYPE_BIT24, 2, 2);
  CHECK(list.insert(5, std::move(second)) == -1); // refused: still ours
  CHECK(second);
  CHECK(list.insert(0, std::move(second)) == 0 && !second);
  CHECK(list.size() == 2 && list[1] == firstRaw);
  std::size_t seen = 0;
  for (PELIMAGE *entry : list) seen += entry != nullptr;
  CHECK(seen == 2);
  pel::Image back = list.takeOut(1);
  CHECK(back.get() == firstRaw && list.size() == 1);
  pel::Image previous = list.replace(0, std::move(back));
  CHECK(previous && !back && list[0] == firstRaw);
  CHECK(!list.replace(4, std::move(previous)) && previous);
  CHECK(list.set(0, std::move(previous)) && !previous);
  CHECK(list.reserve(100) && list.capacity() == 100);
  CHECK(list.remove(0) && list.empty());
  pel::ImageList moved = std::move(list);
  CHECK(moved && !list && list.size() == 0);
}

void colourMapAgreesWithTheSearch() {
  RGBQUAD palette[16];
  CHECK(pelCreateGDIColors(palette, PEL_PAL_COLOR16) == 1);
  pel::ColourMap map(pel::Span<const RGBQUAD>(palette, 16));
  CHECK(map);
  // A colour falls in the cell of its top nibbles, which the map fills with
  // the entry nearest the cell's low corner.
  const std::uint32_t colours[] = {0x000000, 0xFFFFFF, 0x0000FF, 0x123456, 0x80C040, 0xF0F0F0};
  for (std::uint32_t pack : colours)
    CHECK(map(pack) == pel::nearestIndex(pel::Span<const RGBQUAD>(palette, 16), pack & 0xF0F0F0));
  pel::ColourMap other = std::move(map);
  CHECK(other && !map);
}

void dibBlocksChangeHands() {
  pel::Image image = pel::create(PEL_TYPE_BIT24, 3, 2);
  image.setColour(2, 1, pel::rgbPack(7, 8, 9));
  HGLOBAL block = pel::detachDib(image);
  CHECK(block && !image);
  pel::Image copied = pel::copyDib(block);
  CHECK(copied && copied.colour(2, 1) == pel::rgbPack(7, 8, 9));
  pel::Image adopted = pel::attachDib(block); // freed with the image from now on
  CHECK(adopted && adopted.width() == 3);

  // A temporary handle shares the caller's packed DIB.
  const std::uint32_t lineBytes = pelCalcLineBytes(2, 24);
  std::vector<std::uint8_t> dib(sizeof(BITMAPINFOHEADER) + 2 * lineBytes);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = 2;
  header.biHeight = 2;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biSizeImage = 2 * lineBytes;
  header.biXPelsPerMeter = header.biYPelsPerMeter = 3780;
  std::memcpy(dib.data(), &header, sizeof header);
  {
    pel::TempImage temp(dib.data());
    CHECK(temp && temp.get()->core->bits == dib.data() + sizeof header);
    pelSetRGBpack(temp.get(), pel::rgbPack(1, 2, 3), 0, 1);
  }
  CHECK(dib[sizeof header] == 3 && dib[sizeof header + 2] == 1); // bottom line, blue first
}

} // namespace

int main() {
  versionComesFromTheProject();
  ownershipMoves();
  failuresTestFalse();
  linesAndTypedPixels();
  toneInPlaceAndOnCopies();
  newImagesFromOld();
  listsTakeImagesOver();
  colourMapAgreesWithTheSearch();
  dibBlocksChangeHands();
  if (failures)
    std::fprintf(stderr, "cpp_header: %d failures\n", failures);
  else
    std::printf("cpp_header: ok\n");
  return failures ? 1 : 0;
}
