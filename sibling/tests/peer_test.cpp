// SPDX-License-Identifier: MIT
// Files written by Pillow and ImageMagick load with the pixels those tools
// read back, and Pillow reads what this library writes with the same pixels.
#include "support.hpp"

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

using namespace fiotest;

namespace {

struct Reference {
  int width = 0, height = 0, tolerance = 0;
  std::vector<uint8_t> rgba;
};

Reference readReference(const fs::path &path) {
  Reference r;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  std::getline(in, line);
  std::istringstream(line) >> r.width >> r.height >> r.tolerance;
  r.rgba.assign(std::istreambuf_iterator<char>(in), {});
  return r;
}

// The image as RGBA; a pixel of the transparent colour has alpha 0.
std::vector<uint8_t> rgbaOf(const PELIMAGE *image) {
  std::vector<uint8_t> out;
  const bool keyed = pelIsTranspClr(image);
  const uint32_t key = pelGetTranspClr(image);
  for (int y = 0; y < heightOf(image); ++y) {
    for (int x = 0; x < widthOf(image); ++x) {
      const uint32_t c = pelGetRGBpack(image, x, y);
      out.push_back(static_cast<uint8_t>(c));
      out.push_back(static_cast<uint8_t>(c >> 8));
      out.push_back(static_cast<uint8_t>(c >> 16));
      out.push_back(keyed && c == key ? 0 : static_cast<uint8_t>(alphaAt(image, x, y)));
    }
  }
  return out;
}

int largestDifference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  int worst = 0;
  for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
    if (a[i + 3] == 0 && b[i + 3] == 0) continue; // colour under full transparency
    for (size_t k = 0; k < 4; ++k) worst = std::max(worst, std::abs(a[i + k] - b[i + k]));
  }
  return worst;
}

int runPeers(const char *command, const fs::path &dir) {
  const std::string line = std::string("\"") + PELC_PEER_PYTHON + "\" \"" + PELC_PEER_SCRIPT +
                           "\" " + command + " \"" + dir.string() + "\"";
  return std::system(line.c_str());
}

TEST(Peers, TheirFilesLoadAsTheyReadThem) {
  Scratch dir;
  ASSERT_EQ(runPeers("make", dir.path()), 0);
  size_t checked = 0;
  for (const auto &entry : fs::directory_iterator(dir.path())) {
    const std::string ref = entry.path().filename().string();
    if (entry.path().extension() != ".rgba") continue;
    const size_t hash = ref.rfind('#');
    const std::string name = ref.substr(0, hash);
    const int page = std::stoi(ref.substr(hash + 1));
    SCOPED_TRACE(name + " page " + std::to_string(page));
    const Reference want = readReference(entry.path());
    Image image = load(dir / name, page);
    ASSERT_TRUE(image);
    ASSERT_EQ(widthOf(image.get()), want.width);
    ASSERT_EQ(heightOf(image.get()), want.height);
    EXPECT_LE(largestDifference(rgbaOf(image.get()), want.rgba), want.tolerance);
    ++checked;
  }
  EXPECT_GE(checked, 25u);

  // The layouts chosen for them.
  const std::map<std::string, int> types = {
      {"pillow_trns.png", PEL_TYPE_BIT8},    {"pillow_grey16.png", PEL_TYPE_GREY8},
      {"pillow_la.png", PEL_TYPE_BIT32},     {"pillow_bilevel.png", PEL_TYPE_BIT1},
      {"magick_rgb16.png", PEL_TYPE_BIT24},  {"pillow_cmyk.jpg", PEL_TYPE_BIT24},
      {"pillow_grey.jpg", PEL_TYPE_GREY8},   {"pillow_palette.tif", PEL_TYPE_BIT8},
      {"magick_grey16.tif", PEL_TYPE_GREY8}, {"pillow_bilevel.tif", PEL_TYPE_BIT1},
      {"pillow_alpha.webp", PEL_TYPE_BIT32}, {"pillow_anim.gif", PEL_TYPE_BIT8},
  };
  for (const auto &[name, type] : types) {
    Image image = load(dir / name);
    ASSERT_TRUE(image) << name;
    EXPECT_EQ(image->imageType, type) << name;
  }
  Image keyed = load(dir / "pillow_trns.png");
  EXPECT_EQ(pelIsTranspClr(keyed.get()), 1);
  EXPECT_EQ(pagesOf(dir / "pillow_pages.tif"), 3);
  EXPECT_EQ(pagesOf(dir / "pillow_anim.gif"), 4);
}

TEST(Peers, PillowReadsWhatWeWrite) {
  Scratch dir;
  struct Case {
    const char *extension;
    int type;
    int quality;
    int tolerance;
  };
  const Case cases[] = {
      {"png", PEL_TYPE_BIT1, 0, 0},     {"png", PEL_TYPE_BIT4, 0, 0},
      {"png", PEL_TYPE_GREY4, 0, 0},    {"png", PEL_TYPE_BIT8, 0, 0},
      {"png", PEL_TYPE_GREY8, 0, 0},    {"png", PEL_TYPE_BIT565, 0, 0},
      {"png", PEL_TYPE_BIT24, 0, 0},    {"png", PEL_TYPE_BIT32, 0, 0},
      {"tif", PEL_TYPE_BIT1, 0, 0},     {"tif", PEL_TYPE_BIT4, 0, 0},
      {"tif", PEL_TYPE_BIT8, 0, 0},     {"tif", PEL_TYPE_GREY8, 0, 0},
      {"tif", PEL_TYPE_BIT24, 0, 0},    {"tif", PEL_TYPE_BIT32, 0, 0},
      {"gif", PEL_TYPE_BIT4, 0, 0},     {"gif", PEL_TYPE_BIT8, 0, 0},
      {"gif", PEL_TYPE_GREY8, 0, 0},    {"webp", PEL_TYPE_BIT24, 100, 0},
      {"webp", PEL_TYPE_BIT32, 100, 0}, {"webp", PEL_TYPE_BIT24, 95, 24},
      {"jpg", PEL_TYPE_BIT24, 95, 24},  {"jpg", PEL_TYPE_GREY8, 95, 24},
      {"bmp", PEL_TYPE_BIT8, 0, 0},
  };
  int n = 0;
  for (const Case &c : cases) {
    const bool lossy = c.tolerance > 0;
    Image image = makeImage(c.type, 29, 15, lossy);
    const std::string name = "ours" + std::to_string(n++) + "." + c.extension;
    ASSERT_TRUE(save(image.get(), dir / name, 0, c.quality)) << name;
    const std::vector<uint8_t> rgba = rgbaOf(image.get());
    std::ofstream out(dir / (name + "#0.rgba"), std::ios::binary);
    out << widthOf(image.get()) << ' ' << heightOf(image.get()) << ' ' << c.tolerance << '\n';
    out.write(reinterpret_cast<const char *>(rgba.data()),
              static_cast<std::streamsize>(rgba.size()));
  }
  EXPECT_EQ(runPeers("check", dir.path()), 0);
}

} // namespace
