// SPDX-License-Identifier: MIT
//
// The codecs on Windows: the Windows Imaging Component, through one decoder
// and one encoder for every container. Frames come as WIC stores them (a GIF
// page is its frame, not composed); WebP is read where the system has a
// decoder for it and never written.
#include "fio.hpp"

// The component's GUIDs are defined here rather than taken from a library.
#include <initguid.h>

#include <wincodec.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace fio {
namespace {

template <typename T> class Com {
public:
  Com() = default;
  Com(const Com &) = delete;
  Com &operator=(const Com &) = delete;
  ~Com() {
    if (p_) p_->Release();
  }
  T **out() { return &p_; }
  T *operator->() const { return p_; }
  T *get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

private:
  T *p_ = nullptr;
};

// COM for the length of one call, in whatever model the thread already has.
class Apartment {
public:
  Apartment() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~Apartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  Apartment(const Apartment &) = delete;
  Apartment &operator=(const Apartment &) = delete;

private:
  HRESULT hr_;
};

bool makeFactory(Com<IWICImagingFactory> &factory) {
  return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory,
                                    reinterpret_cast<void **>(factory.out())));
}

std::wstring widen(const char *path) {
  const int n = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

bool openDecoder(IWICImagingFactory *factory, const char *path, Com<IWICBitmapDecoder> &decoder) {
  const std::wstring wide = widen(path);
  return !wide.empty() &&
         SUCCEEDED(factory->CreateDecoderFromFilename(
             wide.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, decoder.out()));
}

struct Layout {
  const GUID *format;
  int bits; // of the pixels copied out
};

bool sameGuid(const GUID &a, const GUID &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool hasAlpha(const GUID &f) {
  const GUID *withAlpha[] = {&GUID_WICPixelFormat32bppBGRA,  &GUID_WICPixelFormat32bppRGBA,
                             &GUID_WICPixelFormat32bppPBGRA, &GUID_WICPixelFormat32bppPRGBA,
                             &GUID_WICPixelFormat64bppRGBA,  &GUID_WICPixelFormat64bppBGRA,
                             &GUID_WICPixelFormat64bppPRGBA, &GUID_WICPixelFormat64bppPBGRA};
  for (const GUID *g : withAlpha)
    if (sameGuid(f, *g)) return true;
  return false;
}

// narrow: the decoder hands every palette out as 8 bits (GIF); the table's
// length then chooses the image type.
PELIMAGE *loadFrame(IWICImagingFactory *factory, IWICBitmapFrameDecode *frame, int32_t kind,
                    bool narrow) {
  UINT width = 0, height = 0;
  WICPixelFormatGUID native{};
  if (FAILED(frame->GetSize(&width, &height)) || FAILED(frame->GetPixelFormat(&native)) ||
      !storeFits(width, height, 32))
    return nullptr;
  Shape shape;
  shape.width = width;
  shape.height = height;
  double dpiX = 0, dpiY = 0;
  if (SUCCEEDED(frame->GetResolution(&dpiX, &dpiY))) {
    shape.xPerMetre = perMetre(dpiX, 1);
    shape.yPerMetre = perMetre(dpiY, 1);
  }
  // Palette images keep their table while at most one entry is transparent.
  const struct {
    const GUID *format;
    int bits;
  } indexed[] = {{&GUID_WICPixelFormat1bppIndexed, 1},
                 {&GUID_WICPixelFormat2bppIndexed, 2},
                 {&GUID_WICPixelFormat4bppIndexed, 4},
                 {&GUID_WICPixelFormat8bppIndexed, 8}};
  int paletteBits = 0;
  for (const auto &i : indexed)
    if (sameGuid(native, *i.format)) paletteBits = i.bits;
  if (paletteBits) {
    Com<IWICPalette> palette;
    UINT count = 0;
    WICColor colours[256];
    if (FAILED(factory->CreatePalette(palette.out())) ||
        FAILED(frame->CopyPalette(palette.get())) ||
        FAILED(palette->GetColors(256, colours, &count)) || count == 0)
      return nullptr;
    int clear = -1;
    bool simple = true;
    for (UINT i = 0; i < count; ++i) {
      const uint32_t alpha = colours[i] >> 24;
      if (alpha == 0 && clear < 0)
        clear = static_cast<int>(i);
      else if (alpha != 255)
        simple = false;
    }
    if (simple) {
      const int typeBits = narrow ? (count <= 2 ? 1 : count <= 16 ? 4 : 8) : paletteBits;
      shape.type = typeBits == 1 ? PEL_TYPE_BIT1 : typeBits <= 4 ? PEL_TYPE_BIT4 : PEL_TYPE_BIT8;
      const UINT most = 1u << (typeBits == 2 ? 4 : typeBits);
      const UINT kept = count < most ? count : most;
      for (UINT i = 0; i < kept; ++i)
        shape.palette.push_back(RGBQUAD{static_cast<BYTE>(colours[i]),
                                        static_cast<BYTE>(colours[i] >> 8),
                                        static_cast<BYTE>(colours[i] >> 16), 0});
      if (clear >= 0)
        shape.transparent = pack((colours[clear] >> 16) & 0xFF, (colours[clear] >> 8) & 0xFF,
                                 colours[clear] & 0xFF);
      const UINT stride = ((width * static_cast<UINT>(paletteBits) + 31) / 32) * 4;
      std::vector<uint8_t> packed(size_t{stride} * height);
      if (FAILED(
              frame->CopyPixels(nullptr, stride, static_cast<UINT>(packed.size()), packed.data())))
        return nullptr;
      Builder out;
      if (!out.begin(shape, kind)) return nullptr;
      std::vector<uint8_t> row(width);
      for (UINT y = 0; y < height; ++y) {
        const uint8_t *in = packed.data() + size_t{stride} * y;
        for (UINT x = 0; x < width; ++x) {
          switch (paletteBits) {
          case 1: row[x] = (in[x >> 3] >> (7 - (x & 7))) & 1; break;
          case 2: row[x] = (in[x >> 2] >> (6 - 2 * (x & 3))) & 3; break;
          case 4: row[x] = (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 15; break;
          default: row[x] = in[x]; break;
          }
        }
        out.put(y, row.data(), Row::Index);
      }
      return out.release();
    }
  }
  // Everything else through a converter: grey, colour, colour with alpha.
  const bool grey = sameGuid(native, GUID_WICPixelFormatBlackWhite) ||
                    sameGuid(native, GUID_WICPixelFormat2bppGray) ||
                    sameGuid(native, GUID_WICPixelFormat4bppGray) ||
                    sameGuid(native, GUID_WICPixelFormat8bppGray) ||
                    sameGuid(native, GUID_WICPixelFormat16bppGray);
  const bool alpha = paletteBits != 0 || hasAlpha(native);
  const GUID &target = grey    ? GUID_WICPixelFormat8bppGray
                       : alpha ? GUID_WICPixelFormat32bppBGRA
                               : GUID_WICPixelFormat24bppBGR;
  shape.type = grey ? PEL_TYPE_GREY8 : alpha ? PEL_TYPE_BIT32 : PEL_TYPE_BIT24;
  const UINT bytes = grey ? 1 : alpha ? 4 : 3;
  Com<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(converter.out())) ||
      FAILED(converter->Initialize(frame, target, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)))
    return nullptr;
  Builder out;
  if (!out.begin(shape, kind)) return nullptr;
  const UINT stride = width * bytes;
  std::vector<uint8_t> pixels(size_t{stride} * height);
  if (FAILED(
          converter->CopyPixels(nullptr, stride, static_cast<UINT>(pixels.size()), pixels.data())))
    return nullptr;
  const Row layout = grey ? Row::Index : alpha ? Row::Bgra : Row::Bgr;
  for (UINT y = 0; y < height; ++y) out.put(y, pixels.data() + size_t{stride} * y, layout);
  return out.release();
}

// The picture size a file states, read before any decoder sees the file:
// some decoders size their buffers from it at once. False when the size is
// beyond the limits or cannot be found.
bool statedSizeFits(const char *path) {
  FILE *file = std::fopen(path, "rb");
  if (!file) return false;
  uint8_t head[64 * 1024];
  const size_t n = std::fread(head, 1, sizeof head, file);
  std::fclose(file);
  auto big16 = [&](size_t at) { return at + 2 <= n ? uint32_t{head[at]} << 8 | head[at + 1] : 0u; };
  auto big32 = [&](size_t at) { return at + 4 <= n ? big16(at) << 16 | big16(at + 2) : 0u; };
  auto little16 = [&](size_t at, bool big) {
    return at + 2 <= n ? (big ? big16(at) : uint32_t{head[at + 1]} << 8 | head[at]) : 0u;
  };
  auto little32 = [&](size_t at, bool big) {
    return big ? big32(at) : little16(at + 2, false) << 16 | little16(at, false);
  };
  uint32_t width = 0, height = 0;
  if (n >= 24 && head[0] == 0x89 && head[1] == 'P') {
    width = big32(16), height = big32(20);
  } else if (n >= 10 && head[0] == 'G' && head[1] == 'I' && head[2] == 'F') {
    width = little16(6, false), height = little16(8, false);
  } else if (n >= 4 && head[0] == 0xFF && head[1] == 0xD8) {
    // Walk the markers to the first frame header.
    for (size_t at = 2; at + 9 < n;) {
      if (head[at] != 0xFF) return false;
      const uint8_t marker = head[at + 1];
      if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
        height = big16(at + 5), width = big16(at + 7);
        break;
      }
      at += 2 + big16(at + 2);
    }
  } else if (n >= 8 && (head[0] == 'I' || head[0] == 'M')) {
    const bool big = head[0] == 'M';
    const size_t ifd = little32(4, big);
    const uint32_t entries = little16(ifd, big);
    for (uint32_t e = 0; e < entries; ++e) {
      const size_t at = ifd + 2 + 12 * size_t{e};
      const uint32_t tag = little16(at, big), type = little16(at + 2, big);
      const uint32_t value = type == 3 ? little16(at + 8, big) : little32(at + 8, big);
      if (tag == 256) width = value;
      if (tag == 257) height = value;
    }
  } else {
    return true; // other containers: the decoder's own checks
  }
  return storeFits(width, height, 32);
}

PELIMAGE *load(const char *path, int32_t kind, uint32_t page, bool narrow = false) {
  if (!statedSizeFits(path)) return nullptr;
  Apartment apartment;
  Com<IWICImagingFactory> factory;
  Com<IWICBitmapDecoder> decoder;
  Com<IWICBitmapFrameDecode> frame;
  UINT count = 0;
  if (!makeFactory(factory) || !openDecoder(factory.get(), path, decoder) ||
      FAILED(decoder->GetFrameCount(&count)) || page >= count ||
      FAILED(decoder->GetFrame(page, frame.out())))
    return nullptr;
  return loadFrame(factory.get(), frame.get(), kind, narrow);
}

uint32_t count(const char *path) {
  if (!statedSizeFits(path)) return 0;
  Apartment apartment;
  Com<IWICImagingFactory> factory;
  Com<IWICBitmapDecoder> decoder;
  UINT frames = 0;
  if (!makeFactory(factory) || !openDecoder(factory.get(), path, decoder) ||
      FAILED(decoder->GetFrameCount(&frames)))
    return 0;
  return frames;
}

bool writeFrame(IWICImagingFactory *factory, IWICBitmapEncoder *encoder, const Lines &in,
                const GUID &container, int quality, bool first) {
  Com<IWICBitmapFrameEncode> frame;
  Com<IPropertyBag2> options;
  if (FAILED(encoder->CreateNewFrame(frame.out(), options.out()))) return false;
  const bool jpeg = sameGuid(container, GUID_ContainerFormatJpeg);
  // The GIF encoder takes 8-bit indices only.
  const bool wideIndices = sameGuid(container, GUID_ContainerFormatGif);
  if (jpeg && options) {
    PROPBAG2 name{};
    name.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_R4;
    value.fltVal = static_cast<float>(quality) / 100.0f;
    options->Write(1, &name, &value);
  }
  if (FAILED(frame->Initialize(options.get())) || FAILED(frame->SetSize(in.width(), in.height())))
    return false;
  if (in.xPerMetre() > 0 && in.yPerMetre() > 0)
    frame->SetResolution(in.xPerMetre() * 0.0254, in.yPerMetre() * 0.0254);
  // Palettes where the format has them, grey JPEG, else BGR or BGRA lines.
  const bool indexed = in.hasPalette() && !jpeg;
  const bool grey = jpeg && in.isGrey();
  const bool alpha = in.bits() == 32 && !jpeg;
  const int indexBits = wideIndices ? 8 : in.bits();
  GUID format = indexed ? (indexBits == 1   ? GUID_WICPixelFormat1bppIndexed
                           : indexBits == 4 ? GUID_WICPixelFormat4bppIndexed
                                            : GUID_WICPixelFormat8bppIndexed)
                : grey  ? GUID_WICPixelFormat8bppGray
                : alpha ? GUID_WICPixelFormat32bppBGRA
                        : GUID_WICPixelFormat24bppBGR;
  const GUID wanted = format;
  if (FAILED(frame->SetPixelFormat(&format)) || !sameGuid(format, wanted)) return false;
  if (indexed) {
    std::vector<WICColor> colours;
    const int clear = in.transparentIndex();
    for (size_t i = 0; i < in.palette().size() && i < (size_t{1} << in.bits()); ++i) {
      const RGBQUAD &c = in.palette()[i];
      const WICColor a = static_cast<int>(i) == clear ? 0u : 0xFF000000u;
      colours.push_back(a | (WICColor{c.rgbRed} << 16) | (WICColor{c.rgbGreen} << 8) | c.rgbBlue);
    }
    Com<IWICPalette> palette;
    if (FAILED(factory->CreatePalette(palette.out())) ||
        FAILED(palette->InitializeCustom(colours.data(), static_cast<UINT>(colours.size()))) ||
        FAILED(frame->SetPalette(palette.get())))
      return false;
    // A GIF's first table is also the file's global one.
    if (wideIndices && first) encoder->SetPalette(palette.get());
  }
  const UINT bytes = indexed ? (in.width() * static_cast<UINT>(indexBits) + 7) / 8
                     : grey  ? in.width()
                     : alpha ? in.width() * 4
                             : in.width() * 3;
  std::vector<uint8_t> row(size_t{in.width()} * 4 + 4), line(size_t{bytes} + 4);
  std::vector<uint8_t> all(size_t{bytes} * in.height());
  for (uint32_t y = 0; y < in.height(); ++y) {
    std::fill(line.begin(), line.end(), 0);
    if (indexed) {
      in.indices(y, row.data());
      for (uint32_t x = 0; x < in.width(); ++x) {
        if (in.bits() == 1)
          line[x >> 3] |= static_cast<uint8_t>((row[x] & 1) << (7 - (x & 7)));
        else if (in.bits() == 4)
          line[x >> 1] |= static_cast<uint8_t>((row[x] & 15) << ((x & 1) ? 0 : 4));
        else
          line[x] = row[x];
      }
    } else if (grey) {
      in.grey(y, line.data());
    } else if (alpha) {
      in.rgba(y, row.data());
      for (uint32_t x = 0; x < in.width(); ++x)
        line[4 * x] = row[4 * x + 2], line[4 * x + 1] = row[4 * x + 1],
                 line[4 * x + 2] = row[4 * x], line[4 * x + 3] = row[4 * x + 3];
    } else {
      in.rgb(y, row.data());
      for (uint32_t x = 0; x < in.width(); ++x)
        line[3 * x] = row[3 * x + 2], line[3 * x + 1] = row[3 * x + 1],
                 line[3 * x + 2] = row[3 * x];
    }
    std::copy(line.begin(), line.begin() + bytes, all.begin() + size_t{bytes} * y);
  }
  // One call for the whole picture: some encoders take each call as a strip.
  if (FAILED(frame->WritePixels(in.height(), bytes, static_cast<UINT>(all.size()), all.data())))
    return false;
  return SUCCEEDED(frame->Commit());
}

bool save(const std::vector<const PELIMAGE *> &pages, const char *path, const GUID &container,
          int quality) {
  std::vector<Lines> lines;
  for (const PELIMAGE *page : pages) {
    lines.emplace_back(page);
    if (!lines.back().valid()) return false;
  }
  Apartment apartment;
  Com<IWICImagingFactory> factory;
  Com<IWICStream> stream;
  Com<IWICBitmapEncoder> encoder;
  const std::wstring wide = widen(path);
  if (wide.empty() || !makeFactory(factory) || FAILED(factory->CreateStream(stream.out())) ||
      FAILED(stream->InitializeFromFilename(wide.c_str(), GENERIC_WRITE)) ||
      FAILED(factory->CreateEncoder(container, nullptr, encoder.out())) ||
      FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)))
    return false;
  for (const Lines &in : lines)
    if (!writeFrame(factory.get(), encoder.get(), in, container, quality, &in == &lines[0]))
      return false;
  return SUCCEEDED(encoder->Commit());
}

// GIF holds palettes only: true colour goes through pelc's reduction first.
bool saveReduced(const std::vector<const PELIMAGE *> &pages, const char *path) {
  std::vector<PELIMAGE *> reduced;
  std::vector<const PELIMAGE *> use;
  bool ok = true;
  for (const PELIMAGE *page : pages) {
    Lines probe(page);
    if (probe.valid() && !probe.hasPalette()) {
      PELIMAGE *copy = pelCvtoBit8(page, nullptr, 0);
      if (!copy)
        ok = false;
      else
        reduced.push_back(copy);
      use.push_back(copy);
    } else {
      use.push_back(page);
    }
  }
  ok = ok && save(use, path, GUID_ContainerFormatGif, 0);
  for (PELIMAGE *image : reduced) pelDestroyImage(image);
  return ok;
}

} // namespace

PELIMAGE *loadPng(const char *path, int32_t kind) { return load(path, kind, 0); }
bool savePng(const PELIMAGE *image, const char *path) {
  return save({image}, path, GUID_ContainerFormatPng, 0);
}
PELIMAGE *loadJpeg(const char *path, int32_t kind) { return load(path, kind, 0); }
bool saveJpeg(const PELIMAGE *image, const char *path, int quality) {
  return save({image}, path, GUID_ContainerFormatJpeg, quality);
}
PELIMAGE *loadTiff(const char *path, int32_t kind, uint32_t page) { return load(path, kind, page); }
bool saveTiff(const std::vector<const PELIMAGE *> &pages, const char *path) {
  return save(pages, path, GUID_ContainerFormatTiff, 0);
}
uint32_t countTiff(const char *path) { return count(path); }
PELIMAGE *loadGif(const char *path, int32_t kind, uint32_t page) { return load(path, kind, page); }
bool saveGif(const std::vector<const PELIMAGE *> &pages, const char *path) {
  return saveReduced(pages, path);
}
uint32_t countGif(const char *path) { return count(path); }
PELIMAGE *loadWebp(const char *path, int32_t kind) { return load(path, kind, 0); }
bool saveWebp(const PELIMAGE *, const char *, int) { return false; }

} // namespace fio
