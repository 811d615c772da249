// SPDX-License-Identifier: MIT
#include "support.hpp"

namespace pel::test {

BITMAPINFOHEADER header(int32_t width, int32_t height, uint16_t bits, uint32_t compression) {
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = bits;
  h.biCompression = compression;
  h.biClrUsed = bits <= 8 ? 1u << bits : 0;
  h.biSizeImage = pelCalcBitsSize(width, height, bits);
  h.biXPelsPerMeter = 3780;
  h.biYPelsPerMeter = 3780;
  return h;
}

HeaderBlock headerBlock(const BITMAPINFOHEADER &h, const std::vector<RGBQUAD> &table) {
  HeaderBlock block;
  block.bytes.resize(40 + table.size() * 4);
  std::memcpy(block.bytes.data(), &h, 40);
  if (!table.empty()) std::memcpy(block.bytes.data() + 40, table.data(), table.size() * 4);
  return block;
}

HeaderBlock headerBlock(const BITMAPINFOHEADER &h, const uint32_t (&masks)[3]) {
  HeaderBlock block;
  block.bytes.resize(52);
  std::memcpy(block.bytes.data(), &h, 40);
  std::memcpy(block.bytes.data() + 40, masks, 12);
  return block;
}

std::vector<RGBQUAD> palette(uint32_t kind) {
  static const uint32_t counts[] = {2, 16, 256, 16, 256};
  std::vector<RGBQUAD> table(counts[kind]);
  pelCreateGDIColors(table.data(), kind);
  return table;
}

} // namespace pel::test
