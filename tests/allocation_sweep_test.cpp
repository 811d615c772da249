// SPDX-License-Identifier: MIT
// Every export that can obtain memory, run with its 1st, 2nd, ... allocation
// failing until a run needs no failed allocation: each failed run gives the
// failure value and leaves no block, file or bitmap behind and the caller's
// objects byte for byte as they were. Every other export is named as
// allocating nothing and shown to leave an armed failure unused. Both lists
// together must be exactly the export table, so a new export cannot slip by.
#include "file_support.hpp"

#if !defined(_WIN32)
#include "pelc_winstub.h"
#endif

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace {

namespace os = pel::os;
using pel::test::mappingFiles;
using pel::test::ScratchDir;
using Bytes = std::vector<uint8_t>;

constexpr unsigned kMaxRuns = 200;

Bytes bytesOf(const void *data, std::size_t size) {
  const auto *p = static_cast<const uint8_t *>(data);
  return size ? Bytes(p, p + size) : Bytes();
}

// Open descriptors of the process where they can be counted (a failed load
// must not leave its file open); -1 elsewhere.
long openFiles() {
#if defined(__linux__)
  std::error_code ec;
  long count = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
    ++count;
  return ec ? -1 : count;
#else
  return -1;
#endif
}

// Whether the failure armed for the nth allocation from the call's start was
// used up: if not, one of nth fresh allocations is refused now. Disarms.
bool armedFailureUsed(unsigned nth) {
  std::vector<os::HGLOBAL> probes;
  bool refused = false;
  for (unsigned i = 0; i < nth && !refused; ++i) {
    os::HGLOBAL block = os::GlobalAlloc(GPTR, 1);
    if (block)
      probes.push_back(block);
    else
      refused = true;
  }
  for (os::HGLOBAL block : probes) os::GlobalFree(block);
  os::test::failAllocation(0);
  return !refused;
}

// One run of an operation with its nth allocation failing. Inputs are made
// before the call, with nothing armed.
class FailingRun {
public:
  explicit FailingRun(unsigned nth) : nth_(nth) {}
  template <typename Call> auto operator()(Call call) -> decltype(call()) {
    os::test::failAllocation(nth_);
    auto result = call();
    fired_ = armedFailureUsed(nth_);
    return result;
  }
  unsigned nth() const { return nth_; }
  bool fired() const { return fired_; }

private:
  unsigned nth_;
  bool fired_ = false;
};

// ---- Images and what a caller can see of them -----------------------------

struct Destroy {
  void operator()(PELIMAGE *image) const { pelDestroyImage(image); }
};
using Image = std::unique_ptr<PELIMAGE, Destroy>;

std::vector<RGBQUAD> tableFor(int32_t type) {
  switch (type) {
  case PEL_TYPE_BIT1: return pel::test::palette(PEL_PAL_BLACKWHITE);
  case PEL_TYPE_BIT4: return pel::test::palette(PEL_PAL_COLOR16);
  case PEL_TYPE_GREY4: return pel::test::palette(PEL_PAL_GREY16);
  case PEL_TYPE_BIT8: return pel::test::palette(PEL_PAL_COLOR256);
  case PEL_TYPE_GREY8: return pel::test::palette(PEL_PAL_GREY256);
  default: return {};
  }
}

void fillPattern(uint8_t *bits, std::size_t size, uint32_t seed) {
  for (std::size_t i = 0; i < size; ++i)
    bits[i] = static_cast<uint8_t>(i * 151 + (i >> 7) * 13 + seed * 17 + 7);
}

// An image with patterned bits (line padding included) and a transparent
// colour, made with nothing armed.
Image patterned(int32_t type, int32_t kind, int32_t width = 13, int32_t height = 7) {
  const std::vector<RGBQUAD> table = tableFor(type);
  Image image(pelCreateImage(type, width, height, table.empty() ? nullptr : table.data(),
                             static_cast<uint32_t>(table.size()), 3780, 2835, kind));
  EXPECT_NE(image, nullptr) << "type " << type << " kind " << kind;
  if (image) {
    fillPattern(image->core->bits, image->core->bitsSize, static_cast<uint32_t>(type * 7 + kind));
    // Copies carry it; everything else must leave it behind.
    pelSetTranspClr(image.get(), 0x00FFFFFF);
  }
  return image;
}

// The same from a header that says it is larger than 40 bytes, as newer
// writers make them; the image keeps what its header says.
Image widelyHeaded(int32_t type, int32_t kind) {
  const Image model = patterned(type, kind);
  if (!model) return nullptr;
  BITMAPINFOHEADER h = *model->core->header;
  h.biSize = 124;
  const std::vector<RGBQUAD> table = tableFor(type);
  Image image(pelCreateImageEx(&h, table.empty() ? nullptr : table.data(), kind));
  EXPECT_NE(image, nullptr);
  if (image) std::memcpy(image->core->bits, model->core->bits, model->core->bitsSize);
  return image;
}

struct ImageState {
  PELIMAGE record{};
  IMAGECORE core{};
  Bytes header;
  Bytes bits;
};

ImageState stateOf(const PELIMAGE *image) {
  ImageState s;
  s.record = *image;
  s.core = *image->core;
  s.header = bytesOf(image->core->header, image->core->headerSize);
  s.bits = bytesOf(image->core->bits, image->core->bitsSize);
  return s;
}

::testing::AssertionResult unchanged(const ImageState &before, const PELIMAGE *image) {
  const ImageState now = stateOf(image);
  const PELIMAGE &a = before.record, &b = now.record;
  if (a.core != b.core || a.imageType != b.imageType || a.lineBytes != b.lineBytes ||
      a.transpValid != b.transpValid || a.transpColor != b.transpColor)
    return ::testing::AssertionFailure() << "handle record changed";
  const IMAGECORE &c = before.core, &d = now.core;
  if (c.header != d.header || c.bits != d.bits || c.headerSize != d.headerSize ||
      c.bitsSize != d.bitsSize || c.memKind != d.memKind || c.contiguous != d.contiguous)
    return ::testing::AssertionFailure() << "store record changed";
  if (before.header != now.header) return ::testing::AssertionFailure() << "header block changed";
  if (before.bits != now.bits) return ::testing::AssertionFailure() << "bits changed";
  return ::testing::AssertionSuccess();
}

// A result must be a whole image whose records agree with its header.
::testing::AssertionResult wellFormed(const PELIMAGE *image) {
  if (!image->core || !image->core->header || !image->core->bits)
    return ::testing::AssertionFailure() << "missing store";
  const IMAGECORE &core = *image->core;
  if (image->lineBytes != pelGetLineBytes(core.header) ||
      core.headerSize != pelGetBiSize(core.header) ||
      core.bitsSize != static_cast<uint32_t>(pelGetBitsSize(core.header)))
    return ::testing::AssertionFailure() << "records disagree with the header";
  if (core.memKind < PEL_MEM_GLOBAL_FIXED || core.memKind > PEL_MEM_FILE)
    return ::testing::AssertionFailure() << "memory kind " << core.memKind;
  return ::testing::AssertionSuccess();
}

// Two results of one operation agree in all but where their memory lies.
::testing::AssertionResult sameImage(const PELIMAGE &expected, const PELIMAGE &actual) {
  if (expected.imageType != actual.imageType || expected.lineBytes != actual.lineBytes ||
      expected.transpValid != actual.transpValid || expected.transpColor != actual.transpColor)
    return ::testing::AssertionFailure()
           << "handle record differs: type " << actual.imageType << " for " << expected.imageType
           << ", transparent colour " << actual.transpColor << " for " << expected.transpColor;
  const IMAGECORE &e = *expected.core, &a = *actual.core;
  if (bytesOf(e.header, e.headerSize) != bytesOf(a.header, a.headerSize))
    return ::testing::AssertionFailure() << "header block differs";
  if (bytesOf(e.bits, e.bitsSize) != bytesOf(a.bits, a.bitsSize))
    return ::testing::AssertionFailure() << "bits differ";
  return ::testing::AssertionSuccess();
}

// Header block and bits as one packed DIB.
Bytes packed(const PELIMAGE *image) {
  Bytes dib = bytesOf(image->core->header, image->core->headerSize);
  const Bytes bits = bytesOf(image->core->bits, image->core->bitsSize);
  dib.insert(dib.end(), bits.begin(), bits.end());
  return dib;
}

// ---- Caller blocks, bitmaps and lists -------------------------------------

// The image as a packed DIB whose true-colour header also carries a colour
// table of `entries` (as some writers make them): the bits follow the table.
Bytes packedWithTable(const PELIMAGE *image, uint32_t entries) {
  Bytes dib = bytesOf(image->core->header, image->core->headerSize);
  reinterpret_cast<BITMAPINFOHEADER *>(dib.data())->biClrUsed = entries;
  for (uint32_t i = 0; i < entries * 4; ++i) dib.push_back(static_cast<uint8_t>(0x40 + i));
  const Bytes bits = bytesOf(image->core->bits, image->core->bitsSize);
  dib.insert(dib.end(), bits.begin(), bits.end());
  return dib;
}

os::HGLOBAL dibBlock(const Bytes &dib) {
  os::HGLOBAL block = os::GlobalAlloc(GHND, dib.size());
  EXPECT_NE(block, nullptr);
  if (!block) return nullptr;
  std::memcpy(os::GlobalLock(block), dib.data(), dib.size());
  os::GlobalUnlock(block);
  return block;
}

struct BlockState {
  std::size_t size = 0;
  unsigned locks = 0;
  Bytes bytes;
  bool operator==(const BlockState &o) const {
    return size == o.size && locks == o.locks && bytes == o.bytes;
  }
};

BlockState blockState(os::HGLOBAL block) {
  BlockState s;
  s.size = os::GlobalSize(block);
  s.locks = os::GlobalFlags(block) & GMEM_LOCKCOUNT;
  s.bytes = bytesOf(os::GlobalLock(block), s.size);
  os::GlobalUnlock(block);
  return s;
}

// What the bitmap shows, read through a copy made with nothing armed.
struct BitmapState {
  int32_t width = 0, height = 0, bitsPixel = 0;
  Bytes pixels;
  bool operator==(const BitmapState &o) const {
    return width == o.width && height == o.height && bitsPixel == o.bitsPixel && pixels == o.pixels;
  }
};

BitmapState bitmapState(os::HBITMAP bitmap) {
  BitmapState s;
  os::BITMAP bm{};
  if (!os::GetObjectA(bitmap, sizeof bm, &bm)) return s;
  s.width = bm.bmWidth;
  s.height = bm.bmHeight;
  s.bitsPixel = bm.bmBitsPixel;
  Image copy(pelCopyDDB(bitmap, nullptr, 24, PEL_MEM_GLOBAL_FIXED));
  EXPECT_NE(copy, nullptr);
  if (copy) s.pixels = bytesOf(copy->core->bits, copy->core->bitsSize);
  return s;
}

os::HBITMAP bitmapOf(int32_t type) {
  Image image = patterned(type, PEL_MEM_GLOBAL_FIXED);
  os::HBITMAP bitmap = image ? pelCreateDDB(image.get()) : nullptr;
  EXPECT_NE(bitmap, nullptr);
  return bitmap;
}

struct ListState {
  uint32_t capacity = 0, count = 0;
  PELIMAGE **images = nullptr;
  std::vector<PELIMAGE *> slots;
  std::vector<ImageState> entries;
};

ListState listState(const IMAGELIST *list) {
  ListState s;
  s.capacity = list->capacity;
  s.count = list->count;
  s.images = list->images;
  s.slots.assign(list->images, list->images + list->capacity);
  for (uint32_t i = 0; i < list->count; ++i) s.entries.push_back(stateOf(list->images[i]));
  return s;
}

::testing::AssertionResult unchanged(const ListState &before, const IMAGELIST *list) {
  if (list->capacity != before.capacity || list->count != before.count ||
      list->images != before.images)
    return ::testing::AssertionFailure() << "list record changed";
  if (!std::equal(before.slots.begin(), before.slots.end(), list->images))
    return ::testing::AssertionFailure() << "slots changed";
  for (uint32_t i = 0; i < before.count; ++i)
    if (auto same = unchanged(before.entries[i], list->images[i]); !same)
      return same << " (entry " << i << ")";
  return ::testing::AssertionSuccess();
}

// A list holding `count` small images.
IMAGELIST *listOf(uint32_t count) {
  IMAGELIST *list = pelCreateImagelist(0);
  EXPECT_NE(list, nullptr);
  for (uint32_t i = 0; list && i < count; ++i)
    EXPECT_EQ(pelAddImage(list, patterned(i % 2 ? PEL_TYPE_BIT24 : PEL_TYPE_BIT4,
                                          PEL_MEM_GLOBAL_FIXED, 3, 2)
                                    .release()),
              static_cast<int32_t>(i));
  return list;
}

// ---- The swept operations --------------------------------------------------

struct Sweep {
  std::string exportName;
  std::string variant;
  std::function<bool(FailingRun &)> attempt; // true when the operation succeeded
};

constexpr int32_t kAllTypes[] = {PEL_TYPE_BIT1,   PEL_TYPE_BIT4,  PEL_TYPE_GREY4,
                                 PEL_TYPE_BIT8,   PEL_TYPE_GREY8, PEL_TYPE_BIT555,
                                 PEL_TYPE_BIT565, PEL_TYPE_BIT24, PEL_TYPE_BIT32};
constexpr int32_t kGeometryTypes[] = {PEL_TYPE_BIT1,   PEL_TYPE_BIT4,   PEL_TYPE_BIT8,
                                      PEL_TYPE_BIT555, PEL_TYPE_BIT565, PEL_TYPE_BIT24,
                                      PEL_TYPE_BIT32};

std::string describe(int32_t type, int32_t kind) {
  return "type " + std::to_string(type) + " kind " + std::to_string(kind);
}

// A run-length image: a stream far shorter than plain lines would be.
Image runLengthImage(int32_t kind, bool four = false) {
  BITMAPINFOHEADER h = pel::test::header(40, 30, four ? 4 : 8, four ? BI_RLE4 : BI_RLE8);
  h.biSizeImage = 300;
  const std::vector<RGBQUAD> table = pel::test::palette(four ? PEL_PAL_COLOR16 : PEL_PAL_COLOR256);
  Image image(pelCreateImageEx(&h, table.data(), kind));
  EXPECT_NE(image, nullptr);
  if (image) fillPattern(image->core->bits, image->core->bitsSize, 3);
  return image;
}

// An operation that makes a new image of a source it leaves alone.
Sweep deriving(const std::string &name, const std::string &variant, std::function<Image()> make,
               std::function<PELIMAGE *(PELIMAGE *)> op) {
  return {name, variant, [=](FailingRun &run) {
            Image source = make();
            if (!source) return false;
            // What the operation makes with memory to spare.
            const Image reference(op(source.get()));
            if (!reference) return false;
            const ImageState before = stateOf(source.get());
            PELIMAGE *result = run([&] { return op(source.get()); });
            EXPECT_TRUE(unchanged(before, source.get()));
            if (!result) return false;
            EXPECT_NE(result, source.get());
            EXPECT_TRUE(wellFormed(result));
            EXPECT_TRUE(sameImage(*reference, *result));
            pelDestroyImage(result);
            return true;
          }};
}

Sweep deriving(const std::string &name, int32_t type, int32_t kind,
               std::function<PELIMAGE *(PELIMAGE *)> op, const std::string &extra = "",
               int32_t width = 13, int32_t height = 7) {
  return deriving(
      name, describe(type, kind) + extra, [=] { return patterned(type, kind, width, height); },
      std::move(op));
}

void addMemorySweeps(std::vector<Sweep> &out) {
  for (int32_t kind = PEL_MEM_GLOBAL_FIXED; kind <= PEL_MEM_FILE; ++kind)
    out.push_back({"pelMemAlloc", "kind " + std::to_string(kind), [kind](FailingRun &run) {
                     void *p = run([&] { return pelMemAlloc(4000, kind); });
                     pelMemFree(p, kind);
                     return p != nullptr;
                   }});
  for (int32_t kind = PEL_MEM_AUTO; kind <= PEL_MEM_FILE; ++kind)
    for (int32_t contiguous : {0, 1})
      for (uint32_t bits : {5000u, 0x100000u}) {
        if (bits > 5000 && kind != PEL_MEM_AUTO) continue;
        out.push_back({"pelCoreAlloc",
                       "kind " + std::to_string(kind) + " contiguous " +
                           std::to_string(contiguous) + " bits " + std::to_string(bits),
                       [=](FailingRun &run) {
                         IMAGECORE *core =
                             run([&] { return pelCoreAlloc(1064, bits, kind, contiguous); });
                         if (!core) return false;
                         EXPECT_EQ(core->headerSize, 1064u);
                         EXPECT_EQ(core->bitsSize, bits);
                         pelCoreFree(core);
                         return true;
                       }});
      }
  out.push_back({"pelAllocFileMapping", "5000 bytes", [](FailingRun &run) {
                   void *p = run([] { return pelAllocFileMapping(5000); });
                   pelFreeFileMapping(p);
                   return p != nullptr;
                 }});
}

void addCreationSweeps(std::vector<Sweep> &out) {
  for (int32_t type : {PEL_TYPE_BIT1, PEL_TYPE_GREY4, PEL_TYPE_BIT8, PEL_TYPE_GREY8,
                       PEL_TYPE_BIT565, PEL_TYPE_BIT24})
    for (int32_t kind = PEL_MEM_AUTO; kind <= PEL_MEM_FILE; ++kind)
      out.push_back({"pelCreateImage", describe(type, kind), [=](FailingRun &run) {
                       const std::vector<RGBQUAD> table = tableFor(type);
                       const std::vector<RGBQUAD> kept = table;
                       PELIMAGE *image = run([&] {
                         return pelCreateImage(type, 13, -7, table.empty() ? nullptr : table.data(),
                                               static_cast<uint32_t>(table.size()), 0, 0, kind);
                       });
                       EXPECT_EQ(bytesOf(table.data(), table.size() * 4),
                                 bytesOf(kept.data(), kept.size() * 4));
                       if (!image) return false;
                       EXPECT_TRUE(wellFormed(image));
                       EXPECT_EQ(image->imageType, type);
                       pelDestroyImage(image);
                       return true;
                     }});

  // From a header block, and over a caller's packed DIB.
  for (int32_t type : {PEL_TYPE_BIT4, PEL_TYPE_GREY8, PEL_TYPE_BIT565, PEL_TYPE_BIT32}) {
    for (int32_t kind : {PEL_MEM_AUTO, PEL_MEM_GLOBAL_MOVEABLE, PEL_MEM_VIRTUAL, PEL_MEM_FILE})
      out.push_back({"pelCreateImageEx", describe(type, kind), [=](FailingRun &run) {
                       Image model = patterned(type, PEL_MEM_GLOBAL_FIXED);
                       if (!model) return false;
                       Bytes block = bytesOf(model->core->header, model->core->headerSize);
                       const Bytes kept = block;
                       auto *h = reinterpret_cast<BITMAPINFOHEADER *>(block.data());
                       const RGBQUAD *table = h->biBitCount <= 8
                                                  ? reinterpret_cast<RGBQUAD *>(block.data() + 40)
                                                  : nullptr;
                       PELIMAGE *image = run([&] { return pelCreateImageEx(h, table, kind); });
                       EXPECT_EQ(block, kept);
                       if (!image) return false;
                       EXPECT_TRUE(wellFormed(image));
                       EXPECT_EQ(image->imageType, model->imageType);
                       pelDestroyImage(image);
                       return true;
                     }});
    out.push_back({"pelGetTempPELIMAGEx", describe(type, 1), [=](FailingRun &run) {
                     Image model = patterned(type, PEL_MEM_GLOBAL_FIXED);
                     if (!model) return false;
                     Bytes head = bytesOf(model->core->header, model->core->headerSize);
                     Bytes bits = bytesOf(model->core->bits, model->core->bitsSize);
                     const Bytes keptHead = head, keptBits = bits;
                     PELIMAGE *temp = run([&] {
                       return pelGetTempPELIMAGEx(
                           reinterpret_cast<const BITMAPINFOHEADER *>(head.data()), bits.data());
                     });
                     EXPECT_EQ(head, keptHead);
                     EXPECT_EQ(bits, keptBits);
                     if (!temp) return false;
                     EXPECT_EQ(temp->core->bits, bits.data());
                     EXPECT_EQ(temp->imageType, model->imageType);
                     pelReleaseTempPELIMAGE(temp);
                     return true;
                   }});
  }

  for (uint32_t kind = PEL_PAL_BLACKWHITE; kind <= PEL_PAL_COLOR256; ++kind)
    out.push_back({"pelIsGDIColors", "palette " + std::to_string(kind), [kind](FailingRun &run) {
                     const std::vector<RGBQUAD> table = pel::test::palette(kind);
                     const Bytes kept = bytesOf(table.data(), table.size() * 4);
                     const int32_t same = run([&] { return pelIsGDIColors(table.data(), kind); });
                     EXPECT_EQ(bytesOf(table.data(), table.size() * 4), kept);
                     EXPECT_TRUE(same == 0 || same == 1);
                     return same == 1;
                   }});

  out.push_back({"pelCreate4096Map", "16 colours", [](FailingRun &run) {
                   const std::vector<RGBQUAD> table = pel::test::palette(PEL_PAL_COLOR16);
                   const Bytes kept = bytesOf(table.data(), table.size() * 4);
                   uint8_t *map = run([&] { return pelCreate4096Map(table.data(), 16); });
                   EXPECT_EQ(bytesOf(table.data(), table.size() * 4), kept);
                   if (!map) return false;
                   EXPECT_EQ(map[0xFFF], 15); // white
                   pelRelease4096Map(map);
                   return true;
                 }});
}

void addFileSweeps(std::vector<Sweep> &out, const ScratchDir &dir) {
  for (int32_t type : {PEL_TYPE_BIT1, PEL_TYPE_GREY8, PEL_TYPE_BIT565, PEL_TYPE_BIT24})
    for (int32_t kind = PEL_MEM_AUTO; kind <= PEL_MEM_FILE; ++kind) {
      const std::string path = dir.file("sweep-" + std::to_string(type) + ".bmp");
      out.push_back({"pelLoadBmpFile", describe(type, kind), [=](FailingRun &run) {
                       Image model = patterned(type, PEL_MEM_GLOBAL_FIXED);
                       // A file holds no transparent colour.
                       if (model) pelSetTranspClr(model.get(), 0xFFFFFFFF);
                       if (!model || !pelSaveBmpFile(model.get(), path.c_str())) return false;
                       PELIMAGE *image = run([&] { return pelLoadBmpFile(path.c_str(), kind); });
                       std::remove(path.c_str());
                       if (!image) return false;
                       EXPECT_TRUE(wellFormed(image));
                       EXPECT_TRUE(sameImage(*model, *image));
                       pelDestroyImage(image);
                       return true;
                     }});
    }
}

void addListSweeps(std::vector<Sweep> &out) {
  for (uint32_t capacity : {0u, 100u})
    out.push_back(
        {"pelCreateImagelist", "capacity " + std::to_string(capacity), [capacity](FailingRun &run) {
           IMAGELIST *list = run([&] { return pelCreateImagelist(capacity); });
           if (!list) return false;
           EXPECT_EQ(list->count, 0u);
           pelDestroyImagelist(list);
           return true;
         }});
  out.push_back({"pelReallocImagelist", "3 entries to 64 slots", [](FailingRun &run) {
                   IMAGELIST *list = listOf(3);
                   if (!list) return false;
                   const ListState before = listState(list);
                   const int32_t done = run([&] { return pelReallocImagelist(list, 64); });
                   EXPECT_TRUE(done == 0 || done == 1);
                   if (done != 1) {
                     EXPECT_TRUE(unchanged(before, list));
                   }
                   pelDestroyImagelist(list);
                   return done == 1;
                 }});
  // A full list must grow to take one more.
  for (bool insert : {false, true})
    out.push_back(
        {insert ? "pelInsertImage" : "pelAddImage", "full list", [insert](FailingRun &run) {
           IMAGELIST *list = listOf(32);
           if (!list) return false;
           Image image = patterned(PEL_TYPE_BIT8, PEL_MEM_GLOBAL_FIXED, 2, 2);
           const ListState before = listState(list);
           const ImageState added = stateOf(image.get());
           const int32_t index = run([&] {
             return insert ? pelInsertImage(list, 1, image.get()) : pelAddImage(list, image.get());
           });
           const bool ok = index != -1;
           if (ok) {
             EXPECT_EQ(index, insert ? 1 : 32);
             EXPECT_EQ(list->count, 33u);
             EXPECT_EQ(pelGetAtImage(list, static_cast<uint32_t>(index)), image.get());
             image.release(); // the list's now
           } else {
             // The image stays the caller's, the list as it was.
             EXPECT_TRUE(unchanged(before, list));
             EXPECT_TRUE(unchanged(added, image.get()));
           }
           pelDestroyImagelist(list);
           return ok;
         }});
}

void addInteropSweeps(std::vector<Sweep> &out) {
  for (int32_t type : {PEL_TYPE_GREY4, PEL_TYPE_BIT8, PEL_TYPE_BIT565, PEL_TYPE_BIT24}) {
    // True-colour blocks may carry a colour table in front of their bits.
    const bool trueColour = type == PEL_TYPE_BIT565 || type == PEL_TYPE_BIT24;
    for (bool tabled : {false, true}) {
      if (tabled && !trueColour) continue;
      const std::string variant = describe(type, 2) + (tabled ? " with a table" : "");
      out.push_back({"pelAttachDIB", variant, [=](FailingRun &run) {
                       Image model = patterned(type, PEL_MEM_GLOBAL_FIXED);
                       if (!model) return false;
                       os::HGLOBAL block =
                           dibBlock(tabled ? packedWithTable(model.get(), 4) : packed(model.get()));
                       if (!block) return false;
                       const BlockState before = blockState(block);
                       PELIMAGE *image = run([&] { return pelAttachDIB(block); });
                       if (!image) {
                         EXPECT_TRUE(blockState(block) == before) << "caller's block changed";
                         os::GlobalFree(block);
                         return false;
                       }
                       EXPECT_EQ(image->imageType, model->imageType);
                       EXPECT_TRUE(wellFormed(image));
                       EXPECT_EQ(bytesOf(image->core->bits, image->core->bitsSize),
                                 bytesOf(model->core->bits, model->core->bitsSize));
                       pelDestroyImage(image); // frees the adopted block
                       return true;
                     }});
      out.push_back({"pelGetTempPELIMAGE", variant, [=](FailingRun &run) {
                       Image model = patterned(type, PEL_MEM_GLOBAL_FIXED);
                       if (!model) return false;
                       Bytes dib = tabled ? packedWithTable(model.get(), 2) : packed(model.get());
                       const Bytes kept = dib;
                       PELIMAGE *temp = run([&] { return pelGetTempPELIMAGE(dib.data()); });
                       EXPECT_EQ(dib, kept);
                       if (!temp) return false;
                       EXPECT_EQ(temp->imageType, model->imageType);
                       // The bits are the block's last bytes, where they lie.
                       EXPECT_EQ(temp->core->bits + model->core->bitsSize, dib.data() + dib.size());
                       pelReleaseTempPELIMAGE(temp);
                       EXPECT_EQ(dib, kept);
                       return true;
                     }});
      for (int32_t kind : {PEL_MEM_AUTO, PEL_MEM_GLOBAL_FIXED, PEL_MEM_FILE})
        for (bool whole : {true, false})
          out.push_back(
              {"pelCopyDIB",
               variant + " into kind " + std::to_string(kind) + (whole ? " whole" : " rectangle"),
               [=](FailingRun &run) {
                 Image model = patterned(type, PEL_MEM_GLOBAL_FIXED);
                 if (!model) return false;
                 os::HGLOBAL block =
                     dibBlock(tabled ? packedWithTable(model.get(), 3) : packed(model.get()));
                 if (!block) return false;
                 const int32_t rect[4] = {1, 2, 10, 6};
                 const BlockState before = blockState(block);
                 PELIMAGE *image =
                     run([&] { return pelCopyDIB(block, whole ? nullptr : rect, 0, kind); });
                 EXPECT_TRUE(blockState(block) == before) << "caller's block changed";
                 os::GlobalFree(block);
                 if (!image) return false;
                 EXPECT_EQ(image->imageType, model->imageType);
                 EXPECT_TRUE(wellFormed(image));
                 // The same as a copy of the image the block holds.
                 const Image expected(pelCopyImage(model.get(), whole ? nullptr : rect, kind));
                 EXPECT_EQ(bytesOf(image->core->bits, image->core->bitsSize),
                           bytesOf(expected->core->bits, expected->core->bitsSize));
                 pelDestroyImage(image);
                 return true;
               }});
    }
    for (int32_t kind : {PEL_MEM_GLOBAL_FIXED, PEL_MEM_VIRTUAL, PEL_MEM_FILE})
      for (bool wide : {false, true})
        out.push_back({"pelDetachDIB", describe(type, kind) + (wide ? " header of 124" : ""),
                       [=](FailingRun &run) {
                         Image image = wide ? widelyHeaded(type, kind) : patterned(type, kind);
                         if (!image) return false;
                         const ImageState before = stateOf(image.get());
                         Bytes dib = packed(image.get());
                         os::HGLOBAL block = run([&] { return pelDetachDIB(image.get()); });
                         if (!block) {
                           EXPECT_TRUE(unchanged(before, image.get()));
                           return false;
                         }
                         image.release(); // ended by the detach
                         // The table follows at byte 40, and the header says so.
                         reinterpret_cast<BITMAPINFOHEADER *>(dib.data())->biSize = 40;
                         EXPECT_EQ(blockState(block).bytes, dib);
                         os::GlobalFree(block);
                         return true;
                       }});
  }

  for (int32_t type : {PEL_TYPE_BIT8, PEL_TYPE_BIT24})
    for (int32_t bitCount : {0, 4, 24})
      for (int32_t kind : {PEL_MEM_AUTO, PEL_MEM_GLOBAL_MOVEABLE, PEL_MEM_FILE}) {
        const std::string variant = describe(type, kind) + " bit count " + std::to_string(bitCount);
        out.push_back({"pelAttachDDB", variant, [=](FailingRun &run) {
                         os::HBITMAP bitmap = bitmapOf(type);
                         if (!bitmap) return false;
                         const BitmapState before = bitmapState(bitmap);
                         PELIMAGE *image =
                             run([&] { return pelAttachDDB(bitmap, bitCount, kind); });
                         if (!image) {
                           EXPECT_TRUE(bitmapState(bitmap) == before) << "bitmap changed";
                           os::DeleteObject(bitmap);
                           return false;
                         }
                         EXPECT_TRUE(wellFormed(image));
                         pelDestroyImage(image);
                         return true;
                       }});
        out.push_back({"pelCopyDDB", variant, [=](FailingRun &run) {
                         os::HBITMAP bitmap = bitmapOf(type);
                         if (!bitmap) return false;
                         const BitmapState before = bitmapState(bitmap);
                         const int32_t rect[4] = {2, 1, 12, 5};
                         PELIMAGE *image =
                             run([&] { return pelCopyDDB(bitmap, rect, bitCount, kind); });
                         EXPECT_TRUE(bitmapState(bitmap) == before) << "bitmap changed";
                         os::DeleteObject(bitmap);
                         if (!image) return false;
                         EXPECT_TRUE(wellFormed(image));
                         pelDestroyImage(image);
                         return true;
                       }});
      }
}

// Screen bitmaps of images: the bitmap and its memory contexts can fail too.
void addBitmapSweeps(std::vector<Sweep> &out) {
  for (int32_t type : {PEL_TYPE_BIT1, PEL_TYPE_BIT4, PEL_TYPE_BIT8, PEL_TYPE_BIT565, PEL_TYPE_BIT24,
                       PEL_TYPE_BIT32}) {
    for (bool wide : {false, true})
      out.push_back({"pelCreateDDB", describe(type, 1) + (wide ? " header of 124" : ""),
                     [=](FailingRun &run) {
                       Image image = wide ? widelyHeaded(type, PEL_MEM_GLOBAL_FIXED)
                                          : patterned(type, PEL_MEM_GLOBAL_FIXED);
                       if (!image) return false;
                       const ImageState before = stateOf(image.get());
                       os::HBITMAP bitmap = run([&] { return pelCreateDDB(image.get()); });
                       EXPECT_TRUE(unchanged(before, image.get()));
                       if (!bitmap) return false;
                       os::HBITMAP expected = pelCreateDDB(image.get());
                       EXPECT_TRUE(bitmapState(bitmap) == bitmapState(expected));
                       os::DeleteObject(expected);
                       os::DeleteObject(bitmap);
                       return true;
                     }});
    // The image is ended whatever happens.
    out.push_back({"pelDetachDDB", describe(type, 1), [=](FailingRun &run) {
                     PELIMAGE *image = patterned(type, PEL_MEM_GLOBAL_FIXED).release();
                     if (!image) return false;
                     os::HBITMAP bitmap = run([&] { return pelDetachDDB(image); });
                     if (!bitmap) return false;
                     os::DeleteObject(bitmap);
                     return true;
                   }});
  }
}

void addPixelSweeps(std::vector<Sweep> &out) {
  // Runs that start inside a byte stage through scratch memory.
  for (int32_t type : {PEL_TYPE_BIT1, PEL_TYPE_BIT4}) {
    out.push_back({"pelSetHorLine", describe(type, 1), [=](FailingRun &run) {
                     Image image = patterned(type, PEL_MEM_GLOBAL_FIXED);
                     if (!image) return false;
                     const ImageState before = stateOf(image.get());
                     const uint8_t buffer[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
                     const int32_t done =
                         run([&] { return pelSetHorLine(image.get(), buffer, 3, 12, 2); });
                     EXPECT_TRUE(done == 0 || done == 1);
                     if (done != 1) {
                       EXPECT_TRUE(unchanged(before, image.get()));
                     }
                     return done == 1;
                   }});
    out.push_back({"pelGetRevHorLine", describe(type, 1), [=](FailingRun &run) {
                     Image image = patterned(type, PEL_MEM_GLOBAL_FIXED);
                     if (!image) return false;
                     const ImageState before = stateOf(image.get());
                     uint8_t buffer[8];
                     std::memset(buffer, 0xA5, sizeof buffer);
                     const int32_t done =
                         run([&] { return pelGetRevHorLine(buffer, image.get(), 3, 12, 2); });
                     EXPECT_TRUE(unchanged(before, image.get()));
                     EXPECT_TRUE(done == 0 || done == 1);
                     return done == 1;
                   }});
  }
  for (int32_t type : {PEL_TYPE_BIT1, PEL_TYPE_BIT8, PEL_TYPE_BIT565, PEL_TYPE_BIT24})
    out.push_back({"pelSwapHeight", describe(type, 1), [=](FailingRun &run) {
                     Image image = patterned(type, PEL_MEM_GLOBAL_FIXED);
                     if (!image) return false;
                     const ImageState before = stateOf(image.get());
                     const int32_t done = run([&] { return pelSwapHeight(image.get()); });
                     EXPECT_TRUE(done == 0 || done == 1);
                     if (done != 1) {
                       EXPECT_TRUE(unchanged(before, image.get()));
                     }
                     return done == 1;
                   }});
  static const int32_t kRect[4] = {1, 2, 11, 6};
  // Run-length images are copied whole, as their stream.
  for (bool four : {false, true})
    for (int32_t kind : {PEL_MEM_AUTO, PEL_MEM_FILE})
      out.push_back(deriving(
          "pelCopyImage", std::string(four ? "RLE4" : "RLE8") + " kind " + std::to_string(kind),
          [=] { return runLengthImage(kind, four); },
          [](PELIMAGE *source) { return pelCopyImage(source, nullptr, PEL_MEM_GLOBAL_MOVEABLE); }));
  for (int32_t type : kAllTypes)
    for (int32_t kind : {PEL_MEM_GLOBAL_FIXED, PEL_MEM_FILE})
      for (int32_t target : {PEL_MEM_AUTO, PEL_MEM_GLOBAL_MOVEABLE, PEL_MEM_FILE})
        out.push_back(deriving(
            "pelCopyImage", type, kind,
            [target](PELIMAGE *source) { return pelCopyImage(source, kRect, target); },
            " into kind " + std::to_string(target)));
}

void addConversionSweeps(std::vector<Sweep> &out) {
  using Convert = PELIMAGE *(*)(const PELIMAGE *);
  const std::pair<const char *, Convert> plain[] = {
      {"pelCvtoBit1", pelCvtoBit1},         {"pelCvtoBit555", pelCvtoBit555},
      {"pelCvtoBit565", pelCvtoBit565},     {"pelCvtoBit24", pelCvtoBit24},
      {"pelCvtoBit32", pelCvtoBit32},       {"pelCvtoBit4Grey", pelCvtoBit4Grey},
      {"pelCvtoBit8Grey", pelCvtoBit8Grey},
  };
  for (int32_t type : kAllTypes)
    for (int32_t kind : {PEL_MEM_GLOBAL_FIXED, PEL_MEM_FILE}) {
      if (kind == PEL_MEM_FILE && type != PEL_TYPE_BIT8 && type != PEL_TYPE_BIT24) continue;
      for (const auto &[name, convert] : plain)
        out.push_back(deriving(name, type, kind,
                               [convert = convert](PELIMAGE *source) { return convert(source); }));
      // The palette conversions: the standard table, and a caller's one of
      // a few entries (which they must not change).
      for (uint32_t count : {0u, 7u}) {
        for (bool eight : {false, true}) {
          const std::string extra = " palette of " + std::to_string(count);
          out.push_back(deriving(
              eight ? "pelCvtoBit8" : "pelCvtoBit4", type, kind,
              [count, eight](PELIMAGE *source) {
                const std::vector<RGBQUAD> table = pel::test::palette(PEL_PAL_COLOR16);
                const Bytes kept = bytesOf(table.data(), table.size() * 4);
                const RGBQUAD *colours = count ? table.data() : nullptr;
                PELIMAGE *result = eight ? pelCvtoBit8(source, colours, count)
                                         : pelCvtoBit4(source, colours, count);
                EXPECT_EQ(bytesOf(table.data(), table.size() * 4), kept);
                return result;
              },
              extra));
        }
      }
    }
}

void addToneSweeps(std::vector<Sweep> &out) {
  using Tone = std::function<PELIMAGE *(PELIMAGE *, int32_t)>;
  static const int32_t kOffsets[3] = {20, -30, 40};
  static const int32_t kBrightness[3] = {10, -20, 30};
  static const int32_t kContrast[3] = {40, -50, 60};
  const std::pair<const char *, Tone> tones[] = {
      {"pelGrey", [](PELIMAGE *i, int32_t copy) { return pelGrey(i, -48, copy); }},
      {"pelInvert", [](PELIMAGE *i, int32_t copy) { return pelInvert(i, copy); }},
      {"pelGammaCorrect",
       [](PELIMAGE *i, int32_t copy) { return pelGammaCorrect(i, 1.8f, 0.6f, 2.2f, copy); }},
      {"pelLuminance", [](PELIMAGE *i, int32_t copy) { return pelLuminance(i, kOffsets, copy); }},
      {"pelContrast",
       [](PELIMAGE *i, int32_t copy) { return pelContrast(i, kBrightness, kContrast, copy); }},
      {"pelSaturation",
       [](PELIMAGE *i, int32_t copy) { return pelSaturation(i, 120, 10, -40, copy); }},
  };
  for (const auto &[name, tone] : tones) {
    for (int32_t type : {PEL_TYPE_BIT1, PEL_TYPE_GREY4, PEL_TYPE_BIT8, PEL_TYPE_BIT565,
                         PEL_TYPE_BIT24, PEL_TYPE_BIT32})
      for (int32_t kind : {PEL_MEM_GLOBAL_FIXED, PEL_MEM_GLOBAL_MOVEABLE, PEL_MEM_FILE})
        out.push_back(deriving(
            name, type, kind, [tone = tone](PELIMAGE *source) { return tone(source, 1); },
            " copy"));
    // A run-length image keeps its stream; only the copy's palette changes.
    out.push_back(deriving(
        name, "RLE8 kind 1 copy", [] { return runLengthImage(PEL_MEM_GLOBAL_FIXED); },
        [tone = tone](PELIMAGE *source) { return tone(source, 1); }));
  }
  // Big true-colour images take look-up tables from memory; without them the
  // result must be the same, and in place nothing is half done.
  for (int32_t copy : {0, 1})
    for (int32_t type : {PEL_TYPE_BIT565, PEL_TYPE_BIT24}) {
      out.push_back({"pelSaturation", describe(type, 1) + " big" + (copy ? " copy" : ""),
                     [=](FailingRun &run) {
                       Image image = patterned(type, PEL_MEM_GLOBAL_FIXED, 300, 300);
                       Image expected = patterned(type, PEL_MEM_GLOBAL_FIXED, 300, 300);
                       if (!image || !expected) return false;
                       pelSaturation(expected.get(), 200, -20, 70, 0);
                       const ImageState before = stateOf(image.get());
                       PELIMAGE *result =
                           run([&] { return pelSaturation(image.get(), 200, -20, 70, copy); });
                       if (!result) {
                         EXPECT_TRUE(unchanged(before, image.get()));
                         return false;
                       }
                       EXPECT_EQ(result == image.get(), copy == 0);
                       EXPECT_TRUE(bytesOf(result->core->bits, result->core->bitsSize) ==
                                   bytesOf(expected->core->bits, expected->core->bitsSize))
                           << "result differs from a run with memory to spare";
                       if (copy) {
                         EXPECT_TRUE(unchanged(before, image.get()));
                         pelDestroyImage(result);
                       }
                       return true;
                     }});
    }
}

void addGeometrySweeps(std::vector<Sweep> &out) {
  for (int32_t type : kGeometryTypes)
    for (int32_t kind : {PEL_MEM_GLOBAL_FIXED, PEL_MEM_GLOBAL_MOVEABLE, PEL_MEM_FILE}) {
      if (kind != PEL_MEM_GLOBAL_FIXED && type != PEL_TYPE_BIT8 && type != PEL_TYPE_BIT24) continue;
      for (int32_t direction : {0, 1})
        out.push_back(deriving(
            "pelRotationEx", type, kind,
            [direction](PELIMAGE *s) { return pelRotationEx(s, direction); },
            " direction " + std::to_string(direction)));
      for (float angle : {0.5f, -2.0f})
        out.push_back(deriving(
            "pelRotateAngleEx", type, kind,
            [angle](PELIMAGE *s) { return pelRotateAngleEx(s, angle, 0x00336699); },
            " angle " + std::to_string(angle)));
      for (const auto &[w, h] : {std::pair{5u, 3u}, std::pair{31u, 17u}})
        out.push_back(deriving(
            "pelScaleEx", type, kind, [w = w, h = h](PELIMAGE *s) { return pelScaleEx(s, w, h); },
            " to " + std::to_string(w) + "x" + std::to_string(h)));
      for (uint32_t mode : {0u, 1u, 2u})
        out.push_back(deriving(
            "pelMirror", type, kind, [mode](PELIMAGE *s) { return pelMirror(s, mode); },
            " mode " + std::to_string(mode)));
      out.push_back(deriving(
          "pelFixBorder", type, kind,
          [](PELIMAGE *s) { return pelFixBorder(s, 2, 1, 3, 2, 0x00102030); }, " widened"));
      out.push_back(deriving(
          "pelFixBorder", type, kind,
          [](PELIMAGE *s) { return pelFixBorder(s, -1, -2, -3, 1, 0x00102030); }, " cut"));
    }
}

std::vector<Sweep> sweeps(const ScratchDir &dir) {
  std::vector<Sweep> out;
  addMemorySweeps(out);
  addCreationSweeps(out);
  addFileSweeps(out, dir);
  addListSweeps(out);
  addInteropSweeps(out);
  addBitmapSweeps(out);
  addPixelSweeps(out);
  addConversionSweeps(out);
  addToneSweeps(out);
  addGeometrySweeps(out);
  return out;
}

// ---- The exports that allocate nothing ------------------------------------

// Runs a call with the next allocation armed to fail and tells whether the
// failure is still unused afterwards. Set-up and clean-up stay outside.
class Armed {
public:
  template <typename Call> void operator()(Call call) {
    os::test::failAllocation(1);
    call();
    stillArmed_ = !armedFailureUsed(1);
    called_ = true;
  }
  bool held() const { return called_ && stillArmed_; }

private:
  bool called_ = false;
  bool stillArmed_ = false;
};

struct Quiet {
  std::string exportName;
  std::function<void(Armed &)> call;
};

void ignoreMessage(const char *, const char *) {}

Image img() { return patterned(PEL_TYPE_BIT8, PEL_MEM_GLOBAL_FIXED); }
Image rgb() { return patterned(PEL_TYPE_BIT24, PEL_MEM_GLOBAL_FIXED); }

std::vector<Quiet> quietExports(const ScratchDir &dir) {
  using I = Image;
  static const BITMAPINFOHEADER h = pel::test::header(13, 7, 24);
  return {
      {"pelMemFree",
       [](Armed &a) {
         void *p = pelMemAlloc(100, PEL_MEM_VIRTUAL);
         a([&] { pelMemFree(p, PEL_MEM_VIRTUAL); });
       }},
      {"pelCoreFree",
       [](Armed &a) {
         IMAGECORE *core = pelCoreAlloc(40, 100, PEL_MEM_FILE, 0);
         a([&] { pelCoreFree(core); });
       }},
      {"pelDestroyImage",
       [](Armed &a) {
         PELIMAGE *p = img().release();
         a([&] { pelDestroyImage(p); });
       }},
      {"pelUpdateImageInfo",
       [](Armed &a) {
         I i = img();
         a([&] { pelUpdateImageInfo(i.get(), 1, 1, 1); });
       }},
      {"pelUpdateColors",
       [](Armed &a) {
         I i = img();
         a([&] { pelUpdateColors(i.get()); });
       }},
      {"pelIsTranspClr",
       [](Armed &a) {
         I i = img();
         a([&] { pelIsTranspClr(i.get()); });
       }},
      {"pelGetTranspClr",
       [](Armed &a) {
         I i = img();
         a([&] { pelGetTranspClr(i.get()); });
       }},
      {"pelSetTranspClr",
       [](Armed &a) {
         I i = img();
         a([&] { pelSetTranspClr(i.get(), 0x123456); });
       }},
      {"pelSynchronization",
       [](Armed &a) {
         I i = img(), j = rgb();
         a([&] { pelSynchronization(i.get(), j.get()); });
       }},
      {"pelReleaseTempPELIMAGE",
       [](Armed &a) {
         I i = img();
         Bytes dib = packed(i.get());
         PELIMAGE *temp = pelGetTempPELIMAGE(dib.data());
         a([&] { pelReleaseTempPELIMAGE(temp); });
       }},
      {"pelCalcClrUsed", [](Armed &a) { a([] { pelCalcClrUsed(8); }); }},
      {"pelGetClrUsed", [](Armed &a) { a([] { pelGetClrUsed(&h); }); }},
      {"pelGetSafeClrUsed", [](Armed &a) { a([] { pelGetSafeClrUsed(300, 8); }); }},
      {"pelCalcBiSize", [](Armed &a) { a([] { pelCalcBiSize(4); }); }},
      {"pelGetBiSize", [](Armed &a) { a([] { pelGetBiSize(&h); }); }},
      {"pelCalcLineBytes", [](Armed &a) { a([] { pelCalcLineBytes(13, 24); }); }},
      {"pelGetLineBytes", [](Armed &a) { a([] { pelGetLineBytes(&h); }); }},
      {"pelCalcDDBLineBytes", [](Armed &a) { a([] { pelCalcDDBLineBytes(13, 4); }); }},
      {"pelCalcOCRLineBytes", [](Armed &a) { a([] { pelCalcOCRLineBytes(13, 1); }); }},
      {"pelCalcBitsSize", [](Armed &a) { a([] { pelCalcBitsSize(13, 7, 16); }); }},
      {"pelGetBitsSize", [](Armed &a) { a([] { pelGetBitsSize(&h); }); }},
      {"pelGetScreenDPI",
       [](Armed &a) {
         int32_t x = 0, y = 0;
         a([&] { pelGetScreenDPI(&x, &y); });
       }},
      {"pelVerifyBIH",
       [](Armed &a) {
         BITMAPINFOHEADER bad = h;
         bad.biSizeImage = 1;
         uint32_t word = 0;
         a([&] { pelVerifyBIH(&bad, &word); });
       }},
      {"pelCheckBIH",
       [](Armed &a) {
         uint32_t word = 0;
         a([&] { pelCheckBIH(&h, &word); });
       }},
      {"pelCheckBitCount", [](Armed &a) { a([] { pelCheckBitCount(16); }); }},
      {"pelPopupVerifyBIHInfo",
       [](Armed &a) {
         os::test::setMessageSink(ignoreMessage);
         a([] { pelPopupVerifyBIHInfo(&h, 0xFF); });
         os::test::setMessageSink(nullptr);
       }},
      {"pelGetImageType",
       [](Armed &a) {
         I i = img();
         a([&] { pelGetImageType(i->core->header); });
       }},
      {"pelGetImageTypeEx",
       [](Armed &a) {
         I i = img();
         a([&] { pelGetImageTypeEx(i->core->header, 1); });
       }},
      {"pelCreateGDIColors",
       [](Armed &a) {
         RGBQUAD table[256];
         a([&] { pelCreateGDIColors(table, PEL_PAL_COLOR256); });
       }},
      {"pelSetFileMappingPath",
       [&dir](Armed &a) { a([&] { pelSetFileMappingPath(dir.str().c_str()); }); }},
      {"pelFreeFileMapping",
       [](Armed &a) {
         void *p = pelAllocFileMapping(100);
         a([&] { pelFreeFileMapping(p); });
       }},
      {"pelSaveBmpFile",
       [&dir](Armed &a) {
         I i = img();
         const std::string path = dir.file("quiet.bmp");
         int32_t saved = 0;
         a([&] { saved = pelSaveBmpFile(i.get(), path.c_str()); });
         EXPECT_EQ(saved, 1);
         std::remove(path.c_str());
       }},
      {"fileGetLength",
       [&dir](Armed &a) {
         const std::string path = dir.file("length.bin");
         std::FILE *f = std::fopen(path.c_str(), "w+b");
         ASSERT_NE(f, nullptr);
         std::fputs("twelve bytes", f);
         int32_t length = 0;
         a([&] { length = fileGetLength(f); });
         EXPECT_EQ(length, 12);
         std::fclose(f);
         std::remove(path.c_str());
       }},
      {"pelDestroyImagelist",
       [](Armed &a) {
         IMAGELIST *list = listOf(3);
         a([&] { pelDestroyImagelist(list); });
       }},
      {"pelGetOutImage",
       [](Armed &a) {
         IMAGELIST *list = listOf(3);
         PELIMAGE *out = nullptr;
         a([&] { out = pelGetOutImage(list, 1); });
         pelDestroyImage(out);
         pelDestroyImagelist(list);
       }},
      {"pelRemoveImage",
       [](Armed &a) {
         IMAGELIST *list = listOf(3);
         a([&] { pelRemoveImage(list, 1); });
         pelDestroyImagelist(list);
       }},
      {"pelGetAtImage",
       [](Armed &a) {
         IMAGELIST *list = listOf(3);
         a([&] { pelGetAtImage(list, 1); });
         pelDestroyImagelist(list);
       }},
      {"pelSetAtImage",
       [](Armed &a) {
         IMAGELIST *list = listOf(3);
         PELIMAGE *p = img().release();
         a([&] { pelSetAtImage(list, 1, p); });
         pelDestroyImagelist(list);
       }},
      {"pelReplaceImage",
       [](Armed &a) {
         IMAGELIST *list = listOf(3);
         PELIMAGE *p = img().release();
         PELIMAGE *previous = nullptr;
         a([&] { previous = pelReplaceImage(list, 1, p); });
         pelDestroyImage(previous);
         pelDestroyImagelist(list);
       }},
      {"pelReplaceImageInside", [](Armed &a) { a([] { pelReplaceImageInside(); }); }},
      {"pelGetPrivateVersion", [](Armed &a) { a([] { pelGetPrivateVersion(); }); }},
      {"pelGetPublicVersion", [](Armed &a) { a([] { pelGetPublicVersion(); }); }},
      // The forwarders reach a sibling library that is not there in the test.
      {"fioGetImageFormat", [](Armed &a) { a([] { fioGetImageFormat(0); }); }},
      {"fioGetImageFormatFromExt", [](Armed &a) { a([] { fioGetImageFormatFromExt(0); }); }},
      {"fioLoadImageFile", [](Armed &a) { a([] { fioLoadImageFile(0, 0, 0, 0, 0); }); }},
      {"fioSaveImageFile", [](Armed &a) { a([] { fioSaveImageFile(0, 0, 0, 0); }); }},
      {"fioIsMultiImageFile", [](Armed &a) { a([] { fioIsMultiImageFile(0); }); }},
      {"fioSplitImageFile", [](Armed &a) { a([] { fioSplitImageFile(0, 0, 0, 0); }); }},
      {"fioCombineImageFile", [](Armed &a) { a([] { fioCombineImageFile(0, 0, 0); }); }},
      {"pelGetNearestColorIndex",
       [](Armed &a) {
         const std::vector<RGBQUAD> table = pel::test::palette(PEL_PAL_COLOR16);
         a([&] { pelGetNearestColorIndex(table.data(), 16, 0x123456); });
       }},
      {"pelRelease4096Map",
       [](Armed &a) {
         const std::vector<RGBQUAD> table = pel::test::palette(PEL_PAL_COLOR16);
         uint8_t *map = pelCreate4096Map(table.data(), 16);
         a([&] { pelRelease4096Map(map); });
       }},
      {"pelGetPixel",
       [](Armed &a) {
         I i = img();
         a([&] { pelGetPixel(i.get(), 3, 4); });
       }},
      {"pelSetPixel",
       [](Armed &a) {
         I i = img();
         a([&] { pelSetPixel(i.get(), 9, 3, 4); });
       }},
      {"pelGetRGBpack",
       [](Armed &a) {
         I i = img();
         a([&] { pelGetRGBpack(i.get(), 3, 4); });
       }},
      {"pelSetRGBpack",
       [](Armed &a) {
         I i = img();
         a([&] { pelSetRGBpack(i.get(), 0x112233, 3, 4); });
       }},
      {"pelGetRGB",
       [](Armed &a) {
         I i = rgb();
         uint8_t out[3];
         a([&] { pelGetRGB(i.get(), out, 3, 4); });
       }},
      {"pelSetRGB",
       [](Armed &a) {
         I i = img();
         const uint8_t in[3] = {1, 2, 3};
         a([&] { pelSetRGB(i.get(), in, 3, 4); });
       }},
      {"pelRGBColor2DIBData",
       [](Armed &a) {
         I i = img();
         a([&] { pelRGBColor2DIBData(i.get(), 0x445566); });
       }},
      {"pelDIBData2RGBColor",
       [](Armed &a) {
         I i = img();
         a([&] { pelDIBData2RGBColor(i.get(), 17); });
       }},
      {"pelGetMixPixel",
       [](Armed &a) {
         I i = rgb();
         a([&] { pelGetMixPixel(i.get(), 3, 4, 300, 700); });
       }},
      {"pelGetMixRGBpack",
       [](Armed &a) {
         I i = img();
         a([&] { pelGetMixRGBpack(i.get(), 3, 4, 300, 700); });
       }},
      {"pelGetMixRGB",
       [](Armed &a) {
         I i = rgb();
         uint8_t out[3];
         a([&] { pelGetMixRGB(i.get(), out, 3, 4, 300, 700); });
       }},
      {"pelGetHorLine",
       [](Armed &a) {
         I i = patterned(PEL_TYPE_BIT1, PEL_MEM_GLOBAL_FIXED);
         uint8_t buffer[8];
         a([&] { pelGetHorLine(buffer, i.get(), 3, 12, 2); });
       }},
      {"pelFillColor",
       [](Armed &a) {
         I i = patterned(PEL_TYPE_BIT4, PEL_MEM_GLOBAL_FIXED);
         a([&] { pelFillColor(i.get(), 0x00FF00); });
       }},
      {"pelSwapColor",
       [](Armed &a) {
         I i = rgb();
         a([&] { pelSwapColor(i.get()); });
       }},
      {"pelFill24bitColor",
       [](Armed &a) {
         I i = rgb();
         a([&] { pelFill24bitColor(i->core->bits, 0x808080, 13, 7); });
       }},
      {"pelShiftLeft",
       [](Armed &a) {
         uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
         a([&] { pelShiftLeft(bytes, bytes, 6, 3); });
       }},
  };
}

// The names the export table lists.
std::set<std::string> definitionExports() {
  std::ifstream in(PELC_DEF_FILE);
  EXPECT_TRUE(in.good()) << "cannot read " << PELC_DEF_FILE;
  std::set<std::string> names;
  bool exports = false;
  for (std::string line; std::getline(in, line);) {
    line = line.substr(0, line.find(';'));
    std::istringstream words(line);
    std::string word;
    if (!(words >> word)) continue;
    if (word == "EXPORTS") {
      exports = true;
      continue;
    }
    if (exports) names.insert(word);
  }
  return names;
}

// Keeps the test's own settings out of the rest of the suite.
class SweepSettings : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    pelSetFileMappingPath(dir_.str().c_str());
  }
  void TearDown() override {
    os::test::failAllocation(0);
    os::test::setMessageSink(nullptr);
    pelSetFileMappingPath(nullptr);
  }
  ScratchDir dir_;
};

TEST_F(SweepSettings, AllocationFailureSweep) {
  const std::vector<Sweep> swept = sweeps(dir_);
  const std::vector<Quiet> quiet = quietExports(dir_);

  // Every export is swept or named as allocating nothing, never both.
  const std::set<std::string> exports = definitionExports();
  std::set<std::string> sweptNames, quietNames;
  for (const Sweep &s : swept) sweptNames.insert(s.exportName);
  for (const Quiet &q : quiet) EXPECT_TRUE(quietNames.insert(q.exportName).second) << q.exportName;
  for (const std::string &name : exports)
    EXPECT_TRUE(sweptNames.count(name) + quietNames.count(name) == 1)
        << name << (sweptNames.count(name) ? " is in both lists" : " is in neither list");
  for (const auto *names : {&sweptNames, &quietNames})
    for (const std::string &name : *names)
      EXPECT_TRUE(exports.count(name)) << name << " is not exported";

  // What a run leaves behind; each run is measured from its own start, so
  // that one leak is reported once.
  struct Books {
    long blocks = os::test::liveBlocks();
    int gdi = pel::test::liveGdiObjects();
    long open = openFiles();
  };
  const auto expectBalanced = [&](const Books &start) {
    EXPECT_EQ(os::test::liveBlocks(), start.blocks) << "blocks left";
    EXPECT_EQ(pel::test::liveGdiObjects(), start.gdi) << "bitmaps or contexts left";
    EXPECT_EQ(openFiles(), start.open) << "files left open";
    EXPECT_TRUE(mappingFiles(dir_.path()).empty()) << "temporary files left";
  };
  const Books atStart;
  std::map<std::string, unsigned> failedRuns; // per export, over all its variants
  for (const Sweep &s : swept) {
    SCOPED_TRACE(s.exportName + " " + s.variant);
    unsigned nth = 1;
    for (; nth <= kMaxRuns; ++nth) {
      SCOPED_TRACE("allocation " + std::to_string(nth) + " failing");
      FailingRun run(nth);
      const Books before;
      const bool succeeded = s.attempt(run);
      os::test::failAllocation(0);
      expectBalanced(before);
      if (!run.fired()) {
        // The operation needed fewer allocations than nth: it must have run.
        EXPECT_TRUE(succeeded) << "failed though no allocation failed";
        break;
      }
      if (!succeeded) ++failedRuns[s.exportName];
      if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_LE(nth, kMaxRuns) << "still allocating after " << kMaxRuns << " runs";
  }
  // Each swept export met at least one failed allocation it could not do without.
  for (const std::string &name : sweptNames)
    EXPECT_GT(failedRuns[name], 0u) << name << " never failed: does it allocate at all?";

  for (const Quiet &q : quiet) {
    SCOPED_TRACE(q.exportName);
    const Books before;
    Armed armed;
    q.call(armed);
    os::test::failAllocation(0);
    EXPECT_TRUE(armed.held()) << q.exportName << " used the armed allocation failure";
    expectBalanced(before);
  }
  expectBalanced(atStart);
}

} // namespace
