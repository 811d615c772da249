// SPDX-License-Identifier: MIT
//
// The nine conversion frames: one table says, for each operation and source
// image type, whether the source is copied, refused or converted and by which
// converter; one frame runs every cell.
#include "core/detail.hpp"

#include "convert/detail.hpp"

#include <type_traits>

using namespace pel::detail;

namespace {

// Every 1-bit target is made by one threshold.
constexpr uint8_t kThreshold = 128;

using PlainFn = void (*)(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t);
using PaletteFn = void (*)(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *);
using ThresholdFn = void (*)(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, uint8_t);
using PaletteThresholdFn = void (*)(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t,
                                    const RGBQUAD *, uint8_t);
using MapFn = bool (*)(Bits, SrcBits, int32_t, int32_t, int32_t, int32_t, const RGBQUAD *, int32_t);

// Calls a converter with the arguments its family takes from the job.
template <auto F> bool run(const Job &j) {
  using Fn = decltype(F);
  if constexpr (std::is_same_v<Fn, MapFn>) {
    return F(j.dst, j.src, j.width, j.height, j.dstLineBytes, j.srcLineBytes, j.palette, j.count);
  } else {
    if constexpr (std::is_same_v<Fn, PlainFn>) {
      F(j.dst, j.src, j.width, j.height, j.dstLineBytes, j.srcLineBytes);
    } else if constexpr (std::is_same_v<Fn, PaletteFn>) {
      F(j.dst, j.src, j.width, j.height, j.dstLineBytes, j.srcLineBytes, j.srcPalette);
    } else if constexpr (std::is_same_v<Fn, ThresholdFn>) {
      F(j.dst, j.src, j.width, j.height, j.dstLineBytes, j.srcLineBytes, kThreshold);
    } else {
      static_assert(std::is_same_v<Fn, PaletteThresholdFn>);
      F(j.dst, j.src, j.width, j.height, j.dstLineBytes, j.srcLineBytes, j.srcPalette, kThreshold);
    }
    return true;
  }
}

enum class Step : uint8_t {
  Refuse,  // run-length and unknown sources
  Copy,    // the source already has the target format
  Convert, // run the converter into a target with the operation's palette
  ToGrey   // run the converter into a target that gets the grey ramp
};

struct Cell {
  Step step;
  Converter convert;
};

constexpr Cell kRefuse{Step::Refuse, nullptr};
constexpr Cell kCopy{Step::Copy, nullptr};
template <auto F> constexpr Cell convert() { return {Step::Convert, &run<F>}; }
template <auto F> constexpr Cell toGrey() { return {Step::ToGrey, &run<F>}; }

enum Operation : std::size_t { Bit1, Bit4, Bit8, Bit555, Bit565, Bit24, Bit32, Bit4Grey, Bit8Grey };
constexpr std::size_t kOperations = Bit8Grey + 1;
constexpr std::size_t kSourceTypes = PEL_TYPE_BIT32 + 1;
using Row = std::array<Cell, kSourceTypes>;

// Columns: source types 0 (unknown), 1, 2, 3, 4 (RLE4), 5, 6, 7 (RLE8), 8, 9, 10, 11.
constexpr std::array<Row, kOperations> kDispatch = {{
    {kRefuse, kCopy, convert<cvtBit4ToBit1>(), convert<cvtBit4GreyToBit1>(), kRefuse,
     convert<cvtBit8ToBit1>(), convert<cvtBit8GreyToBit1>(), kRefuse, convert<cvtBit555ToBit1>(),
     convert<cvtBit565ToBit1>(), convert<cvtBit24ToBit1>(), convert<cvtBit32ToBit1>()},
    {kRefuse, convert<cvtBit1ToBit4>(), kCopy, kCopy, kRefuse, toGrey<cvtBit8ToBit4Grey>(),
     toGrey<cvtBit8ToBit4Grey>(), kRefuse, convert<cvtBit555ToBit4>(), convert<cvtBit565ToBit4>(),
     convert<cvtBit24ToBit4>(), convert<cvtBit32ToBit4>()},
    {kRefuse, convert<cvtBit1ToBit8>(), toGrey<cvtBit4ToBit8Grey>(), toGrey<cvtBit4ToBit8Grey>(),
     kRefuse, kCopy, kCopy, kRefuse, convert<cvtBit555ToBit8>(), convert<cvtBit565ToBit8>(),
     convert<cvtBit24ToBit8>(), convert<cvtBit32ToBit8>()},
    {kRefuse, convert<cvtBit1ToBit555>(), convert<cvtBit4ToBit555>(),
     convert<cvtBit4GreyToBit555>(), kRefuse, convert<cvtBit8ToBit555>(),
     convert<cvtBit8GreyToBit555>(), kRefuse, kCopy, convert<cvtBit565ToBit555>(),
     convert<cvtBit24ToBit555>(), convert<cvtBit32ToBit555>()},
    {kRefuse, convert<cvtBit1ToBit565>(), convert<cvtBit4ToBit565>(),
     convert<cvtBit4GreyToBit565>(), kRefuse, convert<cvtBit8ToBit565>(),
     convert<cvtBit8GreyToBit565>(), kRefuse, convert<cvtBit555ToBit565>(), kCopy,
     convert<cvtBit24ToBit565>(), convert<cvtBit32ToBit565>()},
    {kRefuse, convert<cvtBit1ToBit24>(), convert<cvtBit4ToBit24>(), convert<cvtBit4GreyToBit24>(),
     kRefuse, convert<cvtBit8ToBit24>(), convert<cvtBit8GreyToBit24>(), kRefuse,
     convert<cvtBit555ToBit24>(), convert<cvtBit565ToBit24>(), kCopy, convert<cvtBit32ToBit24>()},
    {kRefuse, convert<cvtBit1ToBit32>(), convert<cvtBit4ToBit32>(), convert<cvtBit4GreyToBit32>(),
     kRefuse, convert<cvtBit8ToBit32>(), convert<cvtBit8GreyToBit32>(), kRefuse,
     convert<cvtBit555ToBit32>(), convert<cvtBit565ToBit32>(), convert<cvtBit24ToBit32>(), kCopy},
    {kRefuse, convert<cvtBit1ToBit4>(), convert<cvtBit4ToBit4Grey>(), kCopy, kRefuse,
     convert<cvtBit8ToBit4Grey>(), convert<cvtBit8GreyToBit4Grey>(), kRefuse,
     convert<cvtBit555ToBit4Grey>(), convert<cvtBit565ToBit4Grey>(), convert<cvtBit24ToBit4Grey>(),
     convert<cvtBit32ToBit4Grey>()},
    {kRefuse, convert<cvtBit1ToBit8>(), convert<cvtBit4ToBit8Grey>(),
     convert<cvtBit4GreyToBit8Grey>(), kRefuse, convert<cvtBit8ToBit8Grey>(), kCopy, kRefuse,
     convert<cvtBit555ToBit8Grey>(), convert<cvtBit565ToBit8Grey>(), convert<cvtBit24ToBit8Grey>(),
     convert<cvtBit32ToBit8Grey>()},
}};
static_assert(kDispatch.size() == kOperations);

// A row written one cell short would end in a silent refusal: only the
// run-length and unknown types may refuse.
constexpr bool refusesExactlyTheUnconvertible() {
  for (const Row &row : kDispatch)
    for (std::size_t type = 0; type < kSourceTypes; ++type) {
      const bool unconvertible =
          type == PEL_TYPE_UNKNOWN || type == PEL_TYPE_RLE4 || type == PEL_TYPE_RLE8;
      if ((row[type].step == Step::Refuse) != unconvertible) return false;
    }
  return true;
}
static_assert(refusesExactlyTheUnconvertible());

constexpr int32_t kNoKind = -1;

// What each operation makes. Operations with a palette argument normalise it
// to at most maxCount entries and stand in the standard palette for null.
struct Target {
  int32_t type;
  uint32_t maxCount;    // 0: no palette argument
  int32_t standardKind; // the palette for a null argument
  int32_t greyKind;     // the ramp of the ToGrey cells
  int32_t writtenKind;  // a table written over the new header, or kNoKind
};

constexpr std::array<Target, kOperations> kTargets = {{
    {PEL_TYPE_BIT1, 0, kNoKind, kNoKind, PEL_PAL_BLACKWHITE},
    {PEL_TYPE_BIT4, 16, PEL_PAL_COLOR16, PEL_PAL_GREY16, kNoKind},
    {PEL_TYPE_BIT8, 256, PEL_PAL_COLOR256, PEL_PAL_GREY256, kNoKind},
    {PEL_TYPE_BIT555, 0, kNoKind, kNoKind, kNoKind},
    {PEL_TYPE_BIT565, 0, kNoKind, kNoKind, kNoKind},
    {PEL_TYPE_BIT24, 0, kNoKind, kNoKind, kNoKind},
    {PEL_TYPE_BIT32, 0, kNoKind, kNoKind, kNoKind},
    {PEL_TYPE_GREY4, 0, kNoKind, kNoKind, kNoKind},
    {PEL_TYPE_GREY8, 0, kNoKind, kNoKind, kNoKind},
}};

// The source's colour table widened to 256 entries; what the table does not
// hold reads as entry 0, so no pixel value indexes past the header block.
std::array<RGBQUAD, 256> sourceColours(const BITMAPINFOHEADER *header) {
  std::array<RGBQUAD, 256> colours{};
  if (bitCount(*header) > 8) return colours;
  const uint32_t held = pelGetClrUsed(header);
  if (held == 0) return colours;
  std::memcpy(colours.data(), afterHeader(header), held * sizeof(RGBQUAD));
  for (uint32_t i = held; i < colours.size(); ++i) colours[i] = colours[0];
  return colours;
}

// The target's table: the grey ramp, the caller's palette normalised, or a
// temporary standard palette kept alive by `temporary`.
struct TargetTable {
  const RGBQUAD *colours = nullptr;
  uint32_t count = 0;
};

bool chooseTable(const Target &target, const Cell &cell, const RGBQUAD *palette, uint32_t count,
                 std::array<RGBQUAD, 256> &ramp, GlobalPtr<RGBQUAD> &temporary,
                 TargetTable &table) {
  if (target.maxCount == 0) return true;
  if (cell.step == Step::ToGrey) {
    // The whole ramp must fit, whatever count the caller passed.
    pelCreateGDIColors(ramp.data(), static_cast<uint32_t>(target.greyKind));
    table = {ramp.data(), target.maxCount};
    return true;
  }
  if (!palette || count == 0 || count > target.maxCount) count = target.maxCount;
  if (!palette) {
    temporary = globalNew<RGBQUAD>(count * sizeof(RGBQUAD));
    if (!temporary) return false;
    pelCreateGDIColors(temporary.get(), static_cast<uint32_t>(target.standardKind));
    palette = temporary.get();
  }
  table = {palette, count};
  return true;
}

PELIMAGE *convertImage(const PELIMAGE *image, Operation operation, const RGBQUAD *palette,
                       uint32_t count) {
  if (!image || !image->core || !image->core->header) return nullptr;
  if (image->imageType < 0 || image->imageType >= static_cast<int32_t>(kSourceTypes))
    return nullptr;
  const Cell &cell = kDispatch[operation][static_cast<std::size_t>(image->imageType)];
  if (cell.step == Step::Refuse) return nullptr;
  if (cell.step == Step::Copy) return pelCopyImage(image, nullptr, PEL_MEM_GLOBAL_MOVEABLE);

  const Target &target = kTargets[operation];
  std::array<RGBQUAD, 256> ramp{};
  GlobalPtr<RGBQUAD> temporary;
  TargetTable table;
  if (!chooseTable(target, cell, palette, count, ramp, temporary, table)) return nullptr;

  const IMAGECORE &core = *image->core;
  const BITMAPINFOHEADER &header = *core.header;
  ImagePtr result(pelCreateImage(target.type, width(header), height(header), table.colours,
                                 table.count, header.biXPelsPerMeter, header.biYPelsPerMeter,
                                 core.memKind));
  if (!result) return nullptr;
  if (target.writtenKind != kNoKind)
    pelCreateGDIColors(reinterpret_cast<RGBQUAD *>(afterHeader(result->core->header)),
                       static_cast<uint32_t>(target.writtenKind));

  const auto srcColours = sourceColours(core.header);
  const Job job{result->core->bits, core.bits,         width(header),
                height(header),     result->lineBytes, image->lineBytes,
                srcColours.data(),  table.colours,     static_cast<int32_t>(table.count)};
  if (!cell.convert(job)) return nullptr;
  if (cell.step == Step::ToGrey) pelUpdateColors(result.get());
  return result.release();
}

} // namespace

extern "C" {

PELIMAGE *PELAPI pelCvtoBit1(const PELIMAGE *image) noexcept {
  return convertImage(image, Bit1, nullptr, 0);
}
PELIMAGE *PELAPI pelCvtoBit4(const PELIMAGE *image, const RGBQUAD *palette,
                             uint32_t count) noexcept {
  return convertImage(image, Bit4, palette, count);
}
PELIMAGE *PELAPI pelCvtoBit8(const PELIMAGE *image, const RGBQUAD *palette,
                             uint32_t count) noexcept {
  return convertImage(image, Bit8, palette, count);
}
PELIMAGE *PELAPI pelCvtoBit555(const PELIMAGE *image) noexcept {
  return convertImage(image, Bit555, nullptr, 0);
}
PELIMAGE *PELAPI pelCvtoBit565(const PELIMAGE *image) noexcept {
  return convertImage(image, Bit565, nullptr, 0);
}
PELIMAGE *PELAPI pelCvtoBit24(const PELIMAGE *image) noexcept {
  return convertImage(image, Bit24, nullptr, 0);
}
PELIMAGE *PELAPI pelCvtoBit32(const PELIMAGE *image) noexcept {
  return convertImage(image, Bit32, nullptr, 0);
}
PELIMAGE *PELAPI pelCvtoBit4Grey(const PELIMAGE *image) noexcept {
  return convertImage(image, Bit4Grey, nullptr, 0);
}
PELIMAGE *PELAPI pelCvtoBit8Grey(const PELIMAGE *image) noexcept {
  return convertImage(image, Bit8Grey, nullptr, 0);
}

} // extern "C"
