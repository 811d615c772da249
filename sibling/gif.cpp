// SPDX-License-Identifier: MIT
//
// GIF through giflib. A page is the picture as shown after its frame: the
// frames before it are composed onto the logical screen with their disposal
// methods. While every frame up to the page uses the same colour table the
// page stays a palette image; otherwise it becomes 32-bit with alpha.
#include "fio.hpp"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace fio {
namespace {

struct GifCloser {
  void operator()(GifFileType *gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifReader = std::unique_ptr<GifFileType, GifCloser>;

struct Frame {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  std::vector<GifColorType> colours; // the local table, or empty
  int transparent = -1;
  int disposal = 0;
};

// Reads every frame description, skipping pixel data (or decoding it for
// frames the visitor asks for).
template <typename Visit> bool walk(GifFileType *gif, std::vector<Frame> &frames, Visit visit) {
  GraphicsControlBlock pending{};
  pending.TransparentColor = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType record;
    if (DGifGetRecordType(gif, &record) == GIF_ERROR) return false;
    if (record == TERMINATE_RECORD_TYPE) return true;
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType *block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
      if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
        DGifExtensionToGCB(block[0], block + 1, &pending);
      while (block)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    } else if (record == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif) == GIF_ERROR) return false;
      Frame f;
      f.left = gif->Image.Left;
      f.top = gif->Image.Top;
      f.width = gif->Image.Width;
      f.height = gif->Image.Height;
      f.interlaced = gif->Image.Interlace;
      if (f.width <= 0 || f.height <= 0 ||
          !storeFits(static_cast<uint32_t>(f.width), static_cast<uint32_t>(f.height), 8))
        return false;
      if (const ColorMapObject *map = gif->Image.ColorMap)
        f.colours.assign(map->Colors, map->Colors + map->ColorCount);
      f.transparent = pending.TransparentColor;
      f.disposal = pending.DisposalMode;
      pending = GraphicsControlBlock{};
      pending.TransparentColor = NO_TRANSPARENT_COLOR;
      frames.push_back(f);
      if (!visit(gif, frames.back(), frames.size() - 1)) return false;
    } else {
      return false;
    }
  }
}

bool skipPixels(GifFileType *gif) {
  int size = 0;
  GifByteType *block = nullptr;
  if (DGifGetCode(gif, &size, &block) == GIF_ERROR) return false;
  while (block)
    if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
  return true;
}

bool readPixels(GifFileType *gif, const Frame &f, std::vector<uint8_t> &out) {
  out.resize(static_cast<size_t>(f.width) * static_cast<size_t>(f.height));
  // Interlaced frames arrive in four passes over the lines.
  static constexpr int kStart[] = {0, 4, 2, 1};
  static constexpr int kStep[] = {8, 8, 4, 2};
  const int passes = f.interlaced ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int start = f.interlaced ? kStart[pass] : 0;
    const int step = f.interlaced ? kStep[pass] : 1;
    for (int y = start; y < f.height; y += step)
      if (DGifGetLine(gif, out.data() + static_cast<size_t>(y) * f.width, f.width) == GIF_ERROR)
        return false;
  }
  return true;
}

GifReader open(const char *path) {
  int error = 0;
  return GifReader(DGifOpenFileName(path, &error));
}

bool sameTable(const std::vector<GifColorType> &a, const std::vector<GifColorType> &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](const GifColorType &x, const GifColorType &y) {
                                              return x.Red == y.Red && x.Green == y.Green &&
                                                     x.Blue == y.Blue;
                                            });
}

} // namespace

uint32_t countGif(const char *path) {
  GifReader gif = open(path);
  if (!gif) return 0;
  std::vector<Frame> frames;
  if (!walk(gif.get(), frames, [](GifFileType *g, Frame &, size_t) { return skipPixels(g); }))
    return 0;
  return static_cast<uint32_t>(frames.size());
}

PELIMAGE *loadGif(const char *path, int32_t kind, uint32_t page) {
  // First pass: the frames' descriptions, to choose the page's layout.
  std::vector<Frame> frames;
  {
    GifReader gif = open(path);
    if (!gif) return nullptr;
    if (!walk(gif.get(), frames, [](GifFileType *g, Frame &, size_t) { return skipPixels(g); }))
      return nullptr;
  }
  if (page >= frames.size()) return nullptr;
  GifReader gif = open(path);
  if (!gif) return nullptr;
  const uint32_t width = static_cast<uint32_t>(gif->SWidth);
  const uint32_t height = static_cast<uint32_t>(gif->SHeight);
  std::vector<GifColorType> base;
  if (gif->SColorMap)
    base.assign(gif->SColorMap->Colors, gif->SColorMap->Colors + gif->SColorMap->ColorCount);
  else
    base = frames[0].colours;
  bool indexed = !base.empty();
  for (uint32_t i = 0; i <= page; ++i)
    if (!frames[i].colours.empty() && !sameTable(frames[i].colours, base)) indexed = false;
  if (!storeFits(width, height, indexed ? 8 : 32)) return nullptr;

  const Frame &first = frames[0];
  const int background = first.transparent >= 0 ? first.transparent : gif->SBackGroundColor;
  // The screen: indices, or RGBA.
  const size_t cells = size_t{width} * height;
  const size_t cellBytes = indexed ? 1 : 4;
  std::vector<uint8_t> screen(cells * cellBytes);
  uint8_t fill[4] = {static_cast<uint8_t>(background), 0, 0, 0};
  if (!indexed && first.transparent < 0 && background < static_cast<int>(base.size()))
    fill[0] = base[background].Red, fill[1] = base[background].Green,
    fill[2] = base[background].Blue, fill[3] = 255;
  auto paint = [&](int left, int top, int w, int h) {
    for (int y = std::max(top, 0); y < std::min(top + h, static_cast<int>(height)); ++y)
      for (int x = std::max(left, 0); x < std::min(left + w, static_cast<int>(width)); ++x)
        std::memcpy(&screen[(size_t{static_cast<uint32_t>(y)} * width + x) * cellBytes], fill,
                    cellBytes);
  };
  paint(0, 0, static_cast<int>(width), static_cast<int>(height));

  std::vector<uint8_t> saved;
  std::vector<uint8_t> pixels;
  std::vector<Frame> again;
  const bool ok = walk(gif.get(), again, [&](GifFileType *g, Frame &f, size_t index) {
    if (index > page) return skipPixels(g);
    if (index > 0) {
      const Frame &before = frames[index - 1];
      if (before.disposal == DISPOSE_BACKGROUND)
        paint(before.left, before.top, before.width, before.height);
      else if (before.disposal == DISPOSE_PREVIOUS && !saved.empty())
        screen = saved;
    }
    if (f.disposal == DISPOSE_PREVIOUS && index < page) saved = screen;
    if (!readPixels(g, f, pixels)) return false;
    const std::vector<GifColorType> &table = f.colours.empty() ? base : f.colours;
    for (int y = 0; y < f.height; ++y) {
      const int sy = f.top + y;
      if (sy < 0 || sy >= static_cast<int>(height)) continue;
      for (int x = 0; x < f.width; ++x) {
        const int sx = f.left + x;
        if (sx < 0 || sx >= static_cast<int>(width)) continue;
        const uint8_t v = pixels[static_cast<size_t>(y) * f.width + x];
        if (v == f.transparent) continue;
        const size_t at = size_t{static_cast<uint32_t>(sy)} * width + sx;
        if (indexed) {
          screen[at] = v < table.size() ? v : 0;
        } else if (v < table.size()) {
          uint8_t *cell = &screen[at * 4];
          cell[0] = table[v].Red, cell[1] = table[v].Green, cell[2] = table[v].Blue, cell[3] = 255;
        }
      }
    }
    return true;
  });
  if (!ok) return nullptr;

  Shape shape;
  shape.width = width;
  shape.height = height;
  Builder out;
  if (indexed) {
    shape.type = base.size() <= 2    ? PEL_TYPE_BIT1
                 : base.size() <= 16 ? PEL_TYPE_BIT4
                                     : PEL_TYPE_BIT8;
    for (const GifColorType &c : base) shape.palette.push_back(RGBQUAD{c.Blue, c.Green, c.Red, 0});
    const int clear = frames[page].transparent >= 0 ? frames[page].transparent : first.transparent;
    if (clear >= 0 && clear < static_cast<int>(base.size()))
      shape.transparent = pack(base[clear].Red, base[clear].Green, base[clear].Blue);
    if (!out.begin(shape, kind)) return nullptr;
    for (uint32_t y = 0; y < height; ++y) out.put(y, &screen[size_t{y} * width], Row::Index);
  } else {
    shape.type = PEL_TYPE_BIT32;
    if (!out.begin(shape, kind)) return nullptr;
    for (uint32_t y = 0; y < height; ++y) out.put(y, &screen[size_t{y} * width * 4], Row::Rgba);
  }
  return out.release();
}

namespace {

struct GifWriterCloser {
  void operator()(GifFileType *gif) const {
    int error = 0;
    EGifCloseFile(gif, &error);
  }
};

struct MapFree {
  void operator()(ColorMapObject *map) const { GifFreeMapObject(map); }
};
using Map = std::unique_ptr<ColorMapObject, MapFree>;

Map makeMap(const std::vector<RGBQUAD> &palette) {
  int size = 2;
  while (size < static_cast<int>(palette.size())) size *= 2;
  std::vector<GifColorType> colours(static_cast<size_t>(size), GifColorType{0, 0, 0});
  for (size_t i = 0; i < palette.size(); ++i)
    colours[i] = GifColorType{palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue};
  return Map(GifMakeMapObject(size, colours.data()));
}

struct ImageFree {
  void operator()(PELIMAGE *image) const { pelDestroyImage(image); }
};

bool writeFrames(GifFileType *gif, const std::vector<const PELIMAGE *> &pages) {
  // GIF holds palettes only: true colour goes through pelc's reduction to
  // its 256 standard colours.
  std::vector<std::unique_ptr<PELIMAGE, ImageFree>> reduced;
  std::vector<Lines> lines;
  uint32_t width = 0, height = 0;
  for (const PELIMAGE *page : pages) {
    Lines probe(page);
    if (!probe.valid()) return false;
    if (!probe.hasPalette()) {
      reduced.emplace_back(pelCvtoBit8(page, nullptr, 0));
      if (!reduced.back()) return false;
      if (pelIsTranspClr(page)) pelSetTranspClr(reduced.back().get(), pelGetTranspClr(page));
      page = reduced.back().get();
    }
    lines.emplace_back(page);
    if (!lines.back().valid() || lines.back().width() > 65535 || lines.back().height() > 65535)
      return false;
    width = std::max(width, lines.back().width());
    height = std::max(height, lines.back().height());
  }
  Map global = makeMap(lines[0].palette());
  if (!global) return false;
  EGifSetGifVersion(gif, true);
  if (EGifPutScreenDesc(gif, static_cast<int>(width), static_cast<int>(height), 8, 0,
                        global.get()) == GIF_ERROR)
    return false;
  if (lines.size() > 1) {
    // Loop forever, as viewers expect of a multi-frame file.
    static const GifByteType kApp[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType kLoop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(gif, sizeof kApp, kApp) == GIF_ERROR ||
        EGifPutExtensionBlock(gif, sizeof kLoop, kLoop) == GIF_ERROR ||
        EGifPutExtensionTrailer(gif) == GIF_ERROR)
      return false;
  }
  std::vector<uint8_t> row;
  for (const Lines &in : lines) {
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = lines.size() > 1 ? DISPOSE_BACKGROUND : DISPOSAL_UNSPECIFIED;
    gcb.DelayTime = lines.size() > 1 ? 10 : 0;
    gcb.TransparentColor = in.transparentIndex();
    if (gcb.TransparentColor < 0) gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&gcb, extension);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) ==
        GIF_ERROR)
      return false;
    Map local;
    if (&in != &lines[0]) {
      const std::vector<RGBQUAD> &a = in.palette(), &b = lines[0].palette();
      const bool same =
          a.size() == b.size() &&
          std::equal(a.begin(), a.end(), b.begin(), [](const RGBQUAD &x, const RGBQUAD &y) {
            return x.rgbRed == y.rgbRed && x.rgbGreen == y.rgbGreen && x.rgbBlue == y.rgbBlue;
          });
      if (!same && !(local = makeMap(a))) return false;
    }
    if (EGifPutImageDesc(gif, 0, 0, static_cast<int>(in.width()), static_cast<int>(in.height()),
                         false, local.get()) == GIF_ERROR)
      return false;
    row.resize(in.width());
    for (uint32_t y = 0; y < in.height(); ++y) {
      in.indices(y, row.data());
      if (EGifPutLine(gif, row.data(), static_cast<int>(in.width())) == GIF_ERROR) return false;
    }
  }
  return true;
}

} // namespace

bool saveGif(const std::vector<const PELIMAGE *> &pages, const char *path) {
  int error = 0;
  std::unique_ptr<GifFileType, GifWriterCloser> gif(EGifOpenFileName(path, false, &error));
  if (!gif) return false;
  const bool ok = writeFrames(gif.get(), pages);
  int closeError = 0;
  const bool closed = EGifCloseFile(gif.release(), &closeError) == GIF_OK;
  return ok && closed;
}

} // namespace fio
