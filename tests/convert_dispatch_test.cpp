// SPDX-License-Identifier: MIT
// Every cell of the conversion table against the per-pixel model: nine
// operations by every image type, on random images whose widths cover every
// bit and nibble phase.
#include "convert_reference.hpp"

#include <tuple>

namespace {

using namespace pel::test::convert;

struct PaletteArg {
  const char *name;
  int kind;       // standard palette passed, or -1 for null
  uint32_t count; // count passed
  uint32_t used;  // entries the target ends with
};

std::vector<RGBQUAD> table(int kind, uint32_t entries) {
  std::vector<RGBQUAD> t(256);
  if (kind >= 0) pelCreateGDIColors(t.data(), static_cast<uint32_t>(kind));
  t.resize(entries);
  return t;
}

class Dispatch : public pel::test::LeakCheck,
                 public ::testing::WithParamInterface<std::tuple<int, int32_t>> {};

void checkHeader(const PELIMAGE *result, const PELIMAGE *source) {
  const BITMAPINFOHEADER &h = *result->core->header, &s = *source->core->header;
  EXPECT_EQ(h.biWidth, s.biWidth);
  EXPECT_EQ(h.biHeight, s.biHeight);
  EXPECT_EQ(h.biXPelsPerMeter, s.biXPelsPerMeter);
  EXPECT_EQ(h.biYPelsPerMeter, s.biYPelsPerMeter);
  EXPECT_EQ(result->core->memKind, source->core->memKind);
  EXPECT_EQ(pelIsTranspClr(result), 0);
}

std::vector<RGBQUAD> tableOf(const PELIMAGE *image) {
  const auto *t = reinterpret_cast<const RGBQUAD *>(
      reinterpret_cast<const uint8_t *>(image->core->header) + 40);
  return {t, t + image->core->header->biClrUsed};
}

bool sameTable(const std::vector<RGBQUAD> &a, const std::vector<RGBQUAD> &b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * 4) == 0);
}

// The type and table the result must have.
void checkTable(int op, int32_t sourceType, const PELIMAGE *result,
                const std::vector<RGBQUAD> &palette) {
  static const int32_t types[] = {1, 2, 5, 8, 9, 10, 11, 3, 6};
  int32_t type = types[op];
  if (op == Bit4 && (sourceType == 5 || sourceType == 6)) type = 3;
  if (op == Bit8 && (sourceType == 2 || sourceType == 3)) type = 6;
  EXPECT_EQ(result->imageType, type);
  const std::vector<RGBQUAD> got = tableOf(result);
  std::vector<RGBQUAD> want;
  if (type == 1) want = pel::test::palette(PEL_PAL_BLACKWHITE);
  if (type == 3) want = pel::test::palette(PEL_PAL_GREY16);
  if (type == 6) want = pel::test::palette(PEL_PAL_GREY256);
  if (type == 2 || type == 5) want = palette;
  EXPECT_TRUE(sameTable(got, want));
}

TEST_P(Dispatch, EveryCellAgreesWithTheModel) {
  const auto [op, type] = GetParam();
  const int32_t widths[] = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 33, 300};
  const PaletteArg args[] = {
      {"null", -1, 7, op == Bit4 ? 16u : 256u},
      {"count 0", PEL_PAL_COLOR256, 0, op == Bit4 ? 16u : 256u},
      {"count 5", PEL_PAL_COLOR256, 5, 5},
      {"count 2", PEL_PAL_BLACKWHITE, 2, 2},
      {"count too large", PEL_PAL_COLOR256, 257, op == Bit4 ? 16u : 256u},
  };
  const std::size_t argCount = op == Bit4 || op == Bit8 ? std::size(args) : 1;
  pel::test::convert::Random random(static_cast<uint32_t>(op * 100 + type));
  for (int32_t width : widths)
    for (int32_t height = 1; height <= 3; ++height)
      for (std::size_t a = 0; a < argCount; ++a) {
        SCOPED_TRACE(::testing::Message() << width << " x " << height << ", " << args[a].name);
        PELIMAGE *source = random.image(type, width, height);
        ASSERT_NE(source, nullptr);
        pelSetTranspClr(source, 0x00102030); // converted results carry none
        const PaletteArg &arg = args[a];
        const int standard = op == Bit4 ? PEL_PAL_COLOR16 : PEL_PAL_COLOR256;
        std::vector<RGBQUAD> given = table(arg.kind, 256);
        std::vector<RGBQUAD> expected = table(arg.kind < 0 ? standard : arg.kind, arg.used);
        PELIMAGE *result = runOp(op, source, arg.kind < 0 ? nullptr : given.data(), arg.count);
        ASSERT_NE(result, nullptr);
        checkHeader(result, source);
        checkTable(op, type, result, expected);
        const Expected e = expectedBlock(op, source, expected);
        ASSERT_EQ(result->lineBytes, e.lineBytes);
        ASSERT_EQ(result->core->bitsSize, e.bytes.size());
        for (std::size_t i = 0; i < e.bytes.size(); ++i)
          ASSERT_EQ(result->core->bits[i], e.bytes[i])
              << "byte " << i % e.lineBytes << " of stored line " << i / e.lineBytes;
        pelDestroyImage(result);
        pelDestroyImage(source);
      }
}

std::string cellName(const ::testing::TestParamInfo<std::tuple<int, int32_t>> &info) {
  return std::string(opName(std::get<0>(info.param))) + "_from_type" +
         std::to_string(std::get<1>(info.param));
}

// Cells that copy are checked by the frame tests.
std::vector<std::tuple<int, int32_t>> convertingCells() {
  std::vector<std::tuple<int, int32_t>> cells;
  for (int op = 0; op < kOps; ++op)
    for (int32_t type : {1, 2, 3, 5, 6, 8, 9, 10, 11})
      if (!copies(op, type)) cells.emplace_back(op, type);
  return cells;
}

INSTANTIATE_TEST_SUITE_P(Convert, Dispatch, ::testing::ValuesIn(convertingCells()), cellName);

} // namespace
