// SPDX-License-Identifier: MIT
// BMP files against real peers: Pillow decodes what we write, and we decode
// what Pillow and ImageMagick write to the colours they decode themselves.
#include "bmp_support.hpp"

#include <cstdlib>
#if defined(PELC_PEER_PYTHON)
#include <sys/wait.h>
#endif

namespace {

using namespace pel::test;

constexpr int kPeerMissing = 77;

struct Decode {
  uint32_t width = 0, height = 0;
  Bytes rgb;
  uint32_t at(uint32_t x, uint32_t y) const {
    const uint8_t *p = rgb.data() + 3 * (static_cast<std::size_t>(y) * width + x);
    return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
  }
};

Decode readDecode(const std::string &path) {
  const Bytes b = readFile(path);
  Decode d;
  if (b.size() < 8) return d;
  d.width = get32(b, 0);
  d.height = get32(b, 4);
  d.rgb.assign(b.begin() + 8, b.end());
  if (d.rgb.size() != std::size_t{3} * d.width * d.height) d.width = d.height = 0;
  return d;
}

class BmpPeers : public LeakCheck {
protected:
  void SetUp() override {
    LeakCheck::SetUp();
#if !defined(PELC_PEER_PYTHON)
    GTEST_SKIP() << "peer programs run only in native builds";
#else
    ASSERT_FALSE(dir_.path().empty());
#endif
  }

  // Runs the peer script; skips the test when the peer is not installed.
  bool peer(const std::string &args) {
#if defined(PELC_PEER_PYTHON)
    const std::string command =
        std::string("\"") + PELC_PEER_PYTHON + "\" \"" + PELC_PEER_SCRIPT + "\" " + args + " 2>&1";
    const int status = std::system(command.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == kPeerMissing) return false;
    EXPECT_EQ(status, 0) << command;
    return status == 0;
#else
    (void)args;
    return false;
#endif
  }

  std::string quoted(const std::string &s) const { return "\"" + s + "\""; }

  ScratchDir dir_;
};

// 16-bit fields are widened by shifting here and by scaling in the peers:
// the two differ by at most the bits a 5-bit field lacks.
bool sameColour(uint32_t ours, uint32_t theirs, int tolerance) {
  for (int shift : {0, 8, 16}) {
    const int a = (ours >> shift) & 255, b = (theirs >> shift) & 255;
    if (std::abs(a - b) > tolerance) return false;
  }
  return true;
}

int mismatches(const PELIMAGE *image, const Decode &peer, int tolerance) {
  const BITMAPINFOHEADER &h = *image->core->header;
  if (peer.width != static_cast<uint32_t>(h.biWidth) ||
      peer.height != static_cast<uint32_t>(h.biHeight))
    return -1;
  int wrong = 0;
  for (uint32_t y = 0; y < peer.height; ++y)
    for (uint32_t x = 0; x < peer.width; ++x)
      wrong += !sameColour(colourAt(image, static_cast<int32_t>(x), static_cast<int32_t>(y)),
                           peer.at(x, y), tolerance);
  return wrong;
}

TEST_F(BmpPeers, PillowDecodesEveryTypeWeWrite) {
  for (int32_t type : kCreatableTypes) {
    SCOPED_TRACE(testing::Message() << "type " << type);
    PELIMAGE *image = randomImage(type, 29, 7, static_cast<uint32_t>(type));
    ASSERT_NE(image, nullptr);
    const std::string bmp = dir_.file("ours.bmp"), out = dir_.file("ours.rgb");
    ASSERT_EQ(pelSaveBmpFile(image, bmp.c_str()), 1);
    if (!peer("decode-pil " + quoted(bmp) + " " + quoted(out))) {
      pelDestroyImage(image);
      GTEST_SKIP() << "Pillow is not installed (Debian package python3-pil)";
    }
    const int tolerance = type == PEL_TYPE_BIT555 || type == PEL_TYPE_BIT565 ? 7 : 0;
    EXPECT_EQ(mismatches(image, readDecode(out), tolerance), 0);
    pelDestroyImage(image);
  }
}

void expectPeerFilesLoad(const ScratchDir &dir, const char *prefix) {
  int files = 0;
  for (const auto &entry : fs::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".bmp" || name.rfind(prefix, 0) != 0) continue;
    SCOPED_TRACE(name);
    ++files;
    PELIMAGE *image = pelLoadBmpFile(entry.path().string().c_str(), PEL_MEM_AUTO);
    ASSERT_NE(image, nullptr);
    const int tolerance = image->core->header->biBitCount == 16 ? 7 : 0;
    fs::path decode = entry.path();
    EXPECT_EQ(mismatches(image, readDecode(decode.replace_extension(".rgb").string()), tolerance),
              0);
    pelDestroyImage(image);
  }
  EXPECT_GT(files, 0);
}

TEST_F(BmpPeers, WeDecodeWhatPillowWrites) {
  if (!peer("write-pil " + quoted(dir_.str())))
    GTEST_SKIP() << "Pillow is not installed (Debian package python3-pil)";
  expectPeerFilesLoad(dir_, "pil-");
}

TEST_F(BmpPeers, WeDecodeWhatImageMagickWrites) {
  if (!peer("write-im " + quoted(dir_.str())))
    GTEST_SKIP() << "ImageMagick is not installed (Debian package imagemagick)";
  expectPeerFilesLoad(dir_, "im-");
}

} // namespace
