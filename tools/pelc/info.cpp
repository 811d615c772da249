// SPDX-License-Identifier: MIT
// pelc info: what a picture file holds, what its header needed repaired, and
// why a file is refused.
#include "cli.hpp"

#include <cmath>
#include <cstdio>

namespace pelc_cli {

namespace {

struct Description {
  std::string file;
  std::string format;
  std::string refusal; // empty when the file could be read
  const BITMAPINFOHEADER *header = nullptr;
  int32_t type = 0;
  uint32_t colours = 0;
  uint32_t headerSize = 0;
  uint32_t bitsSize = 0;
  std::vector<std::string> repairs;
};

std::string compressionName(uint32_t compression) {
  switch (compression) {
  case BI_RGB: return "uncompressed";
  case BI_RLE8: return "RLE8";
  case BI_RLE4: return "RLE4";
  case BI_BITFIELDS: return "bit fields";
  default: return "compression " + std::to_string(compression);
  }
}

long dpi(int32_t pelsPerMeter) { return std::lround(pelsPerMeter * 0.0254); }

std::string jsonString(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string textLine(const Description &d) {
  if (!d.refusal.empty()) return d.file + ": refused: " + d.refusal + "\n";
  const BITMAPINFOHEADER &h = *d.header;
  char line[512];
  std::snprintf(line, sizeof line,
                "%s: %s %d x %d, %u bits, %s, %u colours, %s, %d x %d px/m (%ld x %ld dpi), "
                "store %u bytes\n",
                d.file.c_str(), d.format.c_str(), static_cast<int>(h.biWidth),
                static_cast<int>(h.biHeight), static_cast<unsigned>(h.biBitCount),
                typeLongName(d.type), static_cast<unsigned>(d.colours),
                compressionName(h.biCompression).c_str(), static_cast<int>(h.biXPelsPerMeter),
                static_cast<int>(h.biYPelsPerMeter), dpi(h.biXPelsPerMeter), dpi(h.biYPelsPerMeter),
                static_cast<unsigned>(d.headerSize + d.bitsSize));
  std::string text = line;
  for (const std::string &repair : d.repairs) text += "  repaired: " + repair + "\n";
  return text;
}

std::string jsonObject(const Description &d) {
  std::string o = "{\"file\": " + jsonString(d.file);
  if (!d.refusal.empty()) return o + ", \"refused\": " + jsonString(d.refusal) + "}";
  const BITMAPINFOHEADER &h = *d.header;
  auto field = [&o](const char *name, const std::string &value) {
    o += std::string(", \"") + name + "\": " + value;
  };
  field("format", jsonString(d.format));
  field("width", std::to_string(h.biWidth));
  field("height", std::to_string(h.biHeight));
  field("bits", std::to_string(h.biBitCount));
  field("type", jsonString(typeShortName(d.type)));
  field("typeName", jsonString(typeLongName(d.type)));
  field("colours", std::to_string(d.colours));
  field("compression", jsonString(compressionName(h.biCompression)));
  field("xPelsPerMeter", std::to_string(h.biXPelsPerMeter));
  field("yPelsPerMeter", std::to_string(h.biYPelsPerMeter));
  field("headerBytes", std::to_string(d.headerSize));
  field("pixelBytes", std::to_string(d.bitsSize));
  std::string repairs = "[";
  for (const std::string &repair : d.repairs)
    repairs += (repairs.size() > 1 ? ", " : "") + jsonString(repair);
  field("repairs", repairs + "]");
  return o + "}";
}

void printInfoHelp() {
  std::fputs("Usage: pelc info [--json] FILE...\n"
             "\n"
             "Describes picture files, one line each: size, bit count, image type, colours,\n"
             "compression, resolution and store size. For a BMP file whose header the library\n"
             "repairs on loading, each repair follows on its own line; a file the library\n"
             "refuses is named with the reason. --json prints the same as a JSON array.\n"
             "The exit status is 1 when any file is refused.\n",
             stdout);
}

} // namespace

int runInfo(const std::vector<std::string> &args) {
  bool json = false;
  std::vector<std::string> files;
  bool onlyFiles = false;
  for (const std::string &arg : args) {
    if (!onlyFiles && arg == "--json") {
      json = true;
    } else if (!onlyFiles && (arg == "--help" || arg == "-h")) {
      printInfoHelp();
      return kExitOk;
    } else if (!onlyFiles && arg == "--") {
      onlyFiles = true;
    } else if (!onlyFiles && arg.size() > 1 && arg[0] == '-') {
      report("info", "unknown option '" + arg + "'");
      return kExitUsage;
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) {
    report("info", "missing FILE");
    return kExitUsage;
  }
  bool anyRefused = false;
  std::string out = json ? "[" : "";
  for (const std::string &file : files) {
    Description d;
    d.file = file;
    BmpReport bmp = inspectBmp(file);
    if (bmp.isBmp) {
      d.format = "BMP";
      d.repairs = describeFindings(bmp.original, bmp.repaired, bmp.findings);
    }
    std::string reason;
    Image image = (bmp.opened && !bmp.isBmp) || bmp.usable ? loadImage(file, reason) : nullptr;
    if (!bmp.opened || (bmp.isBmp && !bmp.usable)) reason = bmp.refusal;
    if (image) {
      if (d.format.empty()) d.format = formatName(file);
      d.header = image->core->header;
      d.type = image->imageType;
      d.colours = pelGetClrUsed(d.header);
      d.headerSize = image->core->headerSize;
      d.bitsSize = image->core->bitsSize;
    } else {
      d.refusal = reason;
      anyRefused = true;
    }
    if (json) {
      out += (out.size() > 1 ? ",\n " : "") + jsonObject(d);
    } else {
      out += textLine(d);
    }
  }
  if (json) out += "]\n";
  std::fputs(out.c_str(), stdout);
  return anyRefused ? kExitFailure : kExitOk;
}

} // namespace pelc_cli
