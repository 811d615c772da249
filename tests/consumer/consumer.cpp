// SPDX-License-Identifier: MIT
// A C++ program against an installed pelc through pelc.hpp.
#include <pelc.hpp>

#include <cstdio>

int main() {
  pel::Image image = pel::create(PEL_TYPE_BIT24, 16, 8);
  if (!image || !image.fill(pel::rgbPack(0, 0, 255))) return 1;
  pel::Image turned = image.rotatedQuarter();
  pel::ImageList list;
  bool ok = turned && turned.width() == 8 && turned.pixels<pel::Bgr>(0)[7].blue == 255 &&
            list.add(std::move(turned)) == 0 && list.size() == 1;
  std::printf("consumer_cpp %s: %s\n", pel::kVersion, ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
