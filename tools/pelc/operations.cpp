// SPDX-License-Identifier: MIT
// The table of operations: for each, its arguments, its help and the library
// call it makes. Parsers check arguments before any file is touched; appliers
// run once per picture.
#include "cli.hpp"

#include <array>
#include <cmath>
#include <numbers>

namespace pelc_cli {

namespace {

// ---- Shared pieces ------------------------------------------------------------

bool fail(std::string &reason, std::string text) {
  reason = std::move(text);
  return false;
}

// Why the library gave no result: it refuses run-length pictures for pixel
// work; anything else is a lack of memory.
std::string refusal(const Image &image) {
  const int32_t type = image->imageType;
  if (type == PEL_TYPE_RLE4 || type == PEL_TYPE_RLE8)
    return "not possible on run-length coded pictures";
  return "the library could not do it (out of memory?)";
}

bool takeResult(Image &image, PELIMAGE *result, std::string &reason) {
  if (!result) return fail(reason, refusal(image));
  if (result != image.get()) image.reset(result);
  return true;
}

bool inPlace(Image &image, int32_t done, std::string &reason) {
  return done ? true : fail(reason, refusal(image));
}

bool parseNone(Step &, std::string &) { return true; }

bool colourValue(const std::string &text, uint32_t &colour, std::string &reason) {
  auto parsed = parseColour(text);
  if (!parsed)
    return fail(reason,
                "unknown colour '" + text + "' (use #RRGGBB or one of " + colourNames() + ")");
  colour = *parsed;
  return true;
}

bool colourOption(Step &step, const char *name, uint32_t fallback, std::string &reason) {
  step.colour = fallback;
  const std::string *text = step.option(name);
  return !text || colourValue(*text, step.colour, reason);
}

bool intTriple(const std::string &text, const char *what, std::vector<double> &out,
               std::string &reason) {
  auto values = parseTriple(text);
  if (!values) return fail(reason, std::string(what) + " must be R,G,B or one number");
  for (double v : *values) {
    if (v != std::floor(v) || std::fabs(v) > 1e9)
      return fail(reason, std::string(what) + " must be whole numbers");
  }
  out = *values;
  return true;
}

bool intOption(Step &step, const char *name, std::string &reason) {
  double value = 0;
  if (const std::string *text = step.option(name)) {
    auto number = parseInt(*text);
    if (!number) return fail(reason, std::string(name) + " needs a whole number");
    value = *number;
  }
  step.numbers.push_back(value);
  return true;
}

bool marginArgs(Step &step, std::string &reason) {
  for (const std::string &arg : step.args) {
    auto value = parseInt(arg);
    if (!value) return fail(reason, "'" + arg + "' is not a whole number");
    step.numbers.push_back(*value);
  }
  return true;
}

std::array<int32_t, 3> ints(const std::vector<double> &values) {
  return {static_cast<int32_t>(values[0]), static_cast<int32_t>(values[1]),
          static_cast<int32_t>(values[2])};
}

int32_t width(const Image &image) { return image->core->header->biWidth; }
int32_t height(const Image &image) { return image->core->header->biHeight; }

// ---- create -------------------------------------------------------------------

// SIZE as "WxH", "W" or "xH" (the other side in proportion) or "N%"; into
// numbers: width, height (0: in proportion), percent (0: none). A new picture
// has no proportion to keep, so it needs both sides.
bool parseSize(Step &step, bool allowRelative, std::string &reason) {
  const std::string &text = step.args[0];
  const std::string bad = "size '" + text + "' is not WxH, W, xH or N%";
  step.numbers.assign(3, 0);
  if (!text.empty() && text.back() == '%') {
    auto percent = parseNumber(std::string_view(text).substr(0, text.size() - 1));
    if (!allowRelative || !percent || *percent <= 0 || *percent > 1e6) return fail(reason, bad);
    step.numbers[2] = *percent;
    return true;
  }
  size_t x = text.find_first_of("xX");
  std::string_view w = std::string_view(text).substr(0, x);
  std::string_view h =
      x == std::string::npos ? std::string_view() : std::string_view(text).substr(x + 1);
  auto wv = w.empty() ? std::optional<int32_t>(0) : parseInt(w);
  auto hv = h.empty() ? std::optional<int32_t>(0) : parseInt(h);
  if (!wv || !hv || *wv < 0 || *hv < 0 || (*wv == 0 && *hv == 0)) return fail(reason, bad);
  if (x != std::string::npos && (w.empty() == h.empty()) && (*wv == 0 || *hv == 0))
    return fail(reason, bad);
  if (!allowRelative && (*wv == 0 || *hv == 0)) return fail(reason, bad);
  step.numbers[0] = *wv;
  step.numbers[1] = *hv;
  return true;
}

bool parseCreate(Step &step, std::string &reason) {
  if (!parseSize(step, false, reason)) return false;
  step.text = step.option("--colour") ? "plain" : "pattern";
  return colourOption(step, "--colour", 0, reason);
}

// A picture worth turning and scaling: hue across, light to dark downwards.
void drawPattern(PELIMAGE *image, uint32_t w, uint32_t h) {
  for (uint32_t y = 0; y < h; ++y) {
    const double shade = 1.0 - 0.75 * y / std::max(1u, h - 1);
    for (uint32_t x = 0; x < w; ++x) {
      const double hue = 6.0 * x / w;
      const double f = hue - std::floor(hue);
      const std::array<double, 6> up = {1, 1 - f, 0, 0, f, 1};
      const int sector = static_cast<int>(hue) % 6;
      const double r = up[sector], g = up[(sector + 4) % 6], b = up[(sector + 2) % 6];
      const auto c = [shade](double v) { return static_cast<uint32_t>(v * shade * 255 + 0.5); };
      pelSetRGBpack(image, c(r) | c(g) << 8 | c(b) << 16, x, y);
    }
  }
}

bool applyCreate(const Step &step, Image &image, std::string &reason) {
  const auto w = static_cast<int32_t>(step.numbers[0]), h = static_cast<int32_t>(step.numbers[1]);
  // 3780 pixels per metre: 96 dots per inch.
  image.reset(pelCreateImage(PEL_TYPE_BIT24, w, h, nullptr, 0, 3780, 3780, PEL_MEM_AUTO));
  if (!image) return fail(reason, "cannot make a picture of that size");
  if (step.text == "plain") return inPlace(image, pelFillColor(image.get(), step.colour), reason);
  drawPattern(image.get(), static_cast<uint32_t>(w), static_cast<uint32_t>(h));
  return true;
}

// ---- convert ------------------------------------------------------------------

struct Target {
  const char *name;
  PELIMAGE *(*plain)(const PELIMAGE *);
  PELIMAGE *(*withPalette)(const PELIMAGE *, const RGBQUAD *, uint32_t);
};
constexpr std::array kTargets = {
    Target{"1", pelCvtoBit1, nullptr},         Target{"4", nullptr, pelCvtoBit4},
    Target{"8", nullptr, pelCvtoBit8},         Target{"555", pelCvtoBit555, nullptr},
    Target{"565", pelCvtoBit565, nullptr},     Target{"24", pelCvtoBit24, nullptr},
    Target{"32", pelCvtoBit32, nullptr},       Target{"grey4", pelCvtoBit4Grey, nullptr},
    Target{"grey8", pelCvtoBit8Grey, nullptr},
};

const Target *findTarget(const std::string &name) {
  for (const Target &t : kTargets) {
    if (name == t.name) return &t;
  }
  return nullptr;
}

bool parseConvert(Step &step, std::string &reason) {
  const Target *target = findTarget(step.args[0]);
  if (!target) {
    std::string names;
    for (const Target &t : kTargets) names += std::string(names.empty() ? "" : " ") + t.name;
    return fail(reason, "unknown target '" + step.args[0] + "' (one of " + names + ")");
  }
  if (step.option("--palette") && !target->withPalette)
    return fail(reason, "--palette goes with the targets 4 and 8 only");
  return true;
}

bool applyConvert(const Step &step, Image &image, std::string &reason) {
  const Target *target = findTarget(step.args[0]);
  if (target->plain) return takeResult(image, target->plain(image.get()), reason);
  const std::string *paletteFile = step.option("--palette");
  if (!paletteFile) return takeResult(image, target->withPalette(image.get(), nullptr, 0), reason);
  std::string why;
  Image source = loadImage(*paletteFile, why);
  if (!source) return fail(reason, "palette '" + *paletteFile + "': " + why);
  const BITMAPINFOHEADER *h = source->core->header;
  const uint32_t count = pelGetClrUsed(h);
  if (count == 0) return fail(reason, "palette '" + *paletteFile + "' has no colour table");
  const auto *colours =
      reinterpret_cast<const RGBQUAD *>(reinterpret_cast<const uint8_t *>(h) + 40);
  return takeResult(image, target->withPalette(image.get(), colours, count), reason);
}

// ---- geometry -------------------------------------------------------------------

bool parseRotate(Step &step, std::string &reason) {
  auto degrees = parseNumber(step.args[0]);
  if (!degrees || std::fabs(*degrees) > 1e6)
    return fail(reason, "'" + step.args[0] + "' is not an angle in degrees");
  step.numbers = {*degrees};
  return colourOption(step, "--background", 0xFFFFFF, reason);
}

bool applyRotate(const Step &step, Image &image, std::string &reason) {
  const double degrees = step.numbers[0];
  const double turn = std::fmod(std::fmod(degrees, 360.0) + 360.0, 360.0);
  if (turn == 90) return takeResult(image, pelRotationEx(image.get(), 0), reason);
  if (turn == 270) return takeResult(image, pelRotationEx(image.get(), 1), reason);
  if (turn == 180) return takeResult(image, pelMirror(image.get(), 2), reason);
  const float radians = static_cast<float>(degrees * std::numbers::pi / 180.0);
  return takeResult(image, pelRotateAngleEx(image.get(), radians, step.colour), reason);
}

bool parseScale(Step &step, std::string &reason) { return parseSize(step, true, reason); }

bool applyScale(const Step &step, Image &image, std::string &reason) {
  const int64_t w = width(image), h = height(image);
  int64_t dw = static_cast<int64_t>(step.numbers[0]), dh = static_cast<int64_t>(step.numbers[1]);
  if (step.numbers[2] > 0) {
    dw = std::llround(w * step.numbers[2] / 100.0);
    dh = std::llround(h * step.numbers[2] / 100.0);
  } else if (dh == 0) {
    dh = (dw * h + w / 2) / w;
  } else if (dw == 0) {
    dw = (dh * w + h / 2) / h;
  }
  dw = std::max<int64_t>(dw, 1);
  dh = std::max<int64_t>(dh, 1);
  if (dw > INT32_MAX || dh > INT32_MAX) return fail(reason, "the new size is too large");
  return takeResult(
      image, pelScaleEx(image.get(), static_cast<uint32_t>(dw), static_cast<uint32_t>(dh)), reason);
}

constexpr std::array<const char *, 3> kMirrorModes = {"horizontal", "vertical", "both"};

bool parseMirror(Step &step, std::string &reason) {
  for (size_t mode = 0; mode < kMirrorModes.size(); ++mode) {
    if (step.args[0] == kMirrorModes[mode]) {
      step.numbers = {static_cast<double>(mode)};
      return true;
    }
  }
  return fail(reason, "'" + step.args[0] + "' is not horizontal, vertical or both");
}

bool applyMirror(const Step &step, Image &image, std::string &reason) {
  return takeResult(image, pelMirror(image.get(), static_cast<uint32_t>(step.numbers[0])), reason);
}

bool applyFlip(const Step &, Image &image, std::string &reason) {
  return inPlace(image, pelSwapHeight(image.get()), reason);
}

bool applySwap(const Step &, Image &image, std::string &reason) {
  return inPlace(image, pelSwapColor(image.get()), reason);
}

bool parseBorder(Step &step, std::string &reason) {
  return marginArgs(step, reason) && colourOption(step, "--colour", 0xFFFFFF, reason);
}

bool applyBorder(const Step &step, Image &image, std::string &reason) {
  const auto m = step.numbers;
  PELIMAGE *result =
      pelFixBorder(image.get(), static_cast<int32_t>(m[0]), static_cast<int32_t>(m[1]),
                   static_cast<int32_t>(m[2]), static_cast<int32_t>(m[3]), step.colour);
  if (!result && image->imageType != PEL_TYPE_RLE4 && image->imageType != PEL_TYPE_RLE8 &&
      (width(image) + m[0] + m[2] < 1 || width(image) + m[0] < 1 || width(image) + m[2] < 1 ||
       height(image) + m[1] + m[3] < 1 || height(image) + m[1] < 1 || height(image) + m[3] < 1))
    return fail(reason, "the margins cut away the whole picture");
  return takeResult(image, result, reason);
}

bool parseCrop(Step &step, std::string &reason) {
  if (!marginArgs(step, reason)) return false;
  if (step.numbers[2] <= step.numbers[0] || step.numbers[3] <= step.numbers[1])
    return fail(reason, "the rectangle is empty (right and bottom are exclusive)");
  return true;
}

bool applyCrop(const Step &step, Image &image, std::string &reason) {
  int32_t rect[4];
  for (int i = 0; i < 4; ++i) rect[i] = static_cast<int32_t>(step.numbers[i]);
  PELIMAGE *result = pelCopyImage(image.get(), rect, PEL_MEM_AUTO);
  if (!result &&
      (rect[0] >= width(image) || rect[1] >= height(image) || rect[2] <= 0 || rect[3] <= 0))
    return fail(reason, "the rectangle lies outside the " + std::to_string(width(image)) + "x" +
                            std::to_string(height(image)) + " picture");
  return takeResult(image, result, reason);
}

// ---- tone ----------------------------------------------------------------------

bool parseGrey(Step &step, std::string &reason) { return intOption(step, "--offset", reason); }

bool applyGrey(const Step &step, Image &image, std::string &reason) {
  return takeResult(image, pelGrey(image.get(), static_cast<int32_t>(step.numbers[0]), 0), reason);
}

bool applyInvert(const Step &, Image &image, std::string &reason) {
  return takeResult(image, pelInvert(image.get(), 0), reason);
}

bool parseGamma(Step &step, std::string &reason) {
  auto values = parseTriple(step.args[0]);
  if (!values) return fail(reason, "gamma must be G or R,G,B");
  for (double v : *values) {
    if (!(v > 0) || v > 1e6) return fail(reason, "each gamma must be above 0");
  }
  step.numbers = *values;
  return true;
}

bool applyGamma(const Step &step, Image &image, std::string &reason) {
  const auto &g = step.numbers;
  return takeResult(image,
                    pelGammaCorrect(image.get(), static_cast<float>(g[0]), static_cast<float>(g[1]),
                                    static_cast<float>(g[2]), 0),
                    reason);
}

bool parseLuminance(Step &step, std::string &reason) {
  return intTriple(step.args[0], "the offsets", step.numbers, reason);
}

bool applyLuminance(const Step &step, Image &image, std::string &reason) {
  const auto offsets = ints(step.numbers);
  return takeResult(image, pelLuminance(image.get(), offsets.data(), 0), reason);
}

bool parseContrast(Step &step, std::string &reason) {
  step.numbers.assign(3, 0);
  step.numbers2.assign(3, 0);
  const std::string *b = step.option("--brightness");
  const std::string *c = step.option("--contrast");
  return (!b || intTriple(*b, "--brightness", step.numbers, reason)) &&
         (!c || intTriple(*c, "--contrast", step.numbers2, reason));
}

bool applyContrast(const Step &step, Image &image, std::string &reason) {
  const auto brightness = ints(step.numbers);
  const auto contrast = ints(step.numbers2);
  return takeResult(image, pelContrast(image.get(), brightness.data(), contrast.data(), 0), reason);
}

bool parseHsl(Step &step, std::string &reason) {
  return intOption(step, "--hue", reason) && intOption(step, "--lightness", reason) &&
         intOption(step, "--saturation", reason);
}

bool applyHsl(const Step &step, Image &image, std::string &reason) {
  const auto v = ints(step.numbers); // hue, lightness, saturation
  return takeResult(image, pelSaturation(image.get(), v[0], v[1], v[2], 0), reason);
}

bool parseFill(Step &step, std::string &reason) {
  return colourValue(step.args[0], step.colour, reason);
}

bool applyFill(const Step &step, Image &image, std::string &reason) {
  return inPlace(image, pelFillColor(image.get(), step.colour), reason);
}

// ---- The table ------------------------------------------------------------------

const std::vector<Operation> kOperations = {
    {"create", "SIZE", 1, "[--colour COLOUR]", true, "make a new 24-bit picture",
     "SIZE is WxH. Without --colour the picture is a test pattern: the hues from left to\n"
     "right, darkening downwards. The chain takes no INPUT: `pelc create 320x240 out.bmp`.",
     parseCreate, applyCreate},
    {"convert", "TARGET", 1, "[--palette FILE]", false, "change the pixel format",
     "TARGET is one of 1 4 8 555 565 24 32 grey4 grey8. For 4 and 8 the colours are\n"
     "reduced to the standard 16 or 256 colours, or to the colour table of the palette\n"
     "picture FILE. A 4-bit or 8-bit palette source converts to grey at 8 or 4 bits.",
     parseConvert, applyConvert},
    {"rotate", "DEGREES", 1, "[--background COLOUR]", false, "turn the picture clockwise",
     "90 and -90 (also 270) are exact quarter turns clockwise and anticlockwise, 180 the\n"
     "half turn. Any other angle rotates clockwise about the centre onto a picture just\n"
     "large enough, the uncovered corners painted in the background colour (default white).",
     parseRotate, applyRotate},
    {"scale", "SIZE", 1, "", false, "resize the picture",
     "SIZE is WxH, W (the height follows in proportion), xH (the width follows) or N%.\n"
     "Bilevel and palette pictures take the nearest pixel, the others are filtered.",
     parseScale, applyScale},
    {"mirror", "horizontal|vertical|both", 1, "", false, "mirror the picture",
     "horizontal swaps left and right, vertical top and bottom, both does the two.", parseMirror,
     applyMirror},
    {"flip", "", 0, "", false, "turn the picture upside down",
     "Reverses the order of the lines in place.", parseNone, applyFlip},
    {"swap", "", 0, "", false, "exchange red and blue",
     "Palette pictures change their colour table only.", parseNone, applySwap},
    {"border", "LEFT TOP RIGHT BOTTOM", 4, "[--colour COLOUR]", false,
     "widen or cut the picture's sides",
     "A positive margin adds that many pixels on its side, painted in the colour (default\n"
     "white); a negative margin cuts that many away.",
     parseBorder, applyBorder},
    {"crop", "LEFT TOP RIGHT BOTTOM", 4, "", false, "keep a rectangle of the picture",
     "Picture coordinates from the top left corner; RIGHT and BOTTOM are exclusive. The\n"
     "rectangle is clipped to the picture.",
     parseCrop, applyCrop},
    {"grey", "", 0, "[--offset N]", false, "turn the colours to grey",
     "Grey level (77 R + 150 G + 29 B) / 256 plus the offset N (default 0), kept within\n"
     "0 to 255. Palette pictures change their colour table only.",
     parseGrey, applyGrey},
    {"invert", "", 0, "", false, "make a negative", "Every channel c becomes 255 - c.", parseNone,
     applyInvert},
    {"gamma", "G|R,G,B", 1, "", false, "correct the gamma",
     "One gamma for all channels or one each; every gamma must be above 0, and values\n"
     "above 1 lighten the picture.",
     parseGamma, applyGamma},
    {"luminance", "R,G,B", 1, "", false, "add to each channel",
     "Adds the offsets (each -255 to 255) to red, green and blue, kept within 0 to 255.",
     parseLuminance, applyLuminance},
    {"contrast", "", 0, "[--brightness R,G,B] [--contrast R,G,B]", false,
     "change brightness and contrast",
     "Each value from -100 to 100 (default 0), one number meaning all three channels.",
     parseContrast, applyContrast},
    {"hsl", "", 0, "[--hue H] [--lightness L] [--saturation S]", false,
     "shift hue, lightness and saturation",
     "H turns the hue by -360 to 360 degrees, L shifts the lightness by -255 to 255, S\n"
     "changes the saturation by -100 to 100 percent. Grey colours stay as they are.",
     parseHsl, applyHsl},
    {"fill", "COLOUR", 1, "", false, "paint the whole picture in one colour",
     "Palette pictures take the nearest colour of their table.", parseFill, applyFill},
};

} // namespace

const std::string *Step::option(std::string_view name) const {
  for (const auto &[key, value] : options) {
    if (key == name) return &value;
  }
  return nullptr;
}

const std::vector<Operation> &operations() { return kOperations; }

const Operation *findOperation(std::string_view name) {
  for (const Operation &op : kOperations) {
    if (name == op.name) return &op;
  }
  return nullptr;
}

bool hasOption(const Operation &op, std::string_view name) {
  std::string_view all = op.options;
  for (size_t at = all.find(name); at != std::string_view::npos; at = all.find(name, at + 1)) {
    const size_t end = at + name.size();
    if (at >= 1 && all[at - 1] == '[' && end < all.size() && all[end] == ' ') return true;
  }
  return false;
}

std::string operationHelp(const Operation &op) {
  std::string usage = std::string("Usage: pelc ") + op.name;
  if (*op.arguments) usage += std::string(" ") + op.arguments;
  if (*op.options) usage += std::string(" ") + op.options;
  usage += op.source ? " OUTPUT\n" : " INPUT OUTPUT\n";
  std::string summary = op.summary;
  summary[0] = static_cast<char>(summary[0] - 'a' + 'A');
  std::string text = usage + "\n" + summary + ".\n" + op.details + "\n";
  if (std::string_view(op.options).find("COLOUR") != std::string_view::npos ||
      std::string_view(op.arguments).find("COLOUR") != std::string_view::npos)
    text += "COLOUR is #RRGGBB or one of " + colourNames() + ".\n";
  return text;
}

} // namespace pelc_cli
