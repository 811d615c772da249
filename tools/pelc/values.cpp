// SPDX-License-Identifier: MIT
// Numbers and colours as the command line spells them.
#include "cli.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace pelc_cli {

namespace {

struct NamedColour {
  const char *name;
  uint8_t red, green, blue;
};

constexpr std::array kColourNames = {
    NamedColour{"black", 0, 0, 0},       NamedColour{"white", 255, 255, 255},
    NamedColour{"red", 255, 0, 0},       NamedColour{"green", 0, 128, 0},
    NamedColour{"lime", 0, 255, 0},      NamedColour{"blue", 0, 0, 255},
    NamedColour{"yellow", 255, 255, 0},  NamedColour{"cyan", 0, 255, 255},
    NamedColour{"magenta", 255, 0, 255}, NamedColour{"grey", 128, 128, 128},
    NamedColour{"gray", 128, 128, 128},  NamedColour{"orange", 255, 165, 0},
};

// The library's packed colour: red in the low byte, then green, then blue.
constexpr uint32_t packColour(uint32_t red, uint32_t green, uint32_t blue) {
  return red | green << 8 | blue << 16;
}

std::optional<uint32_t> hexByte(std::string_view text) {
  uint32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char ca = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    if (ca != b[i]) return false;
  }
  return true;
}

} // namespace

std::optional<int32_t> parseInt(std::string_view text) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  int32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> parseNumber(std::string_view text) {
  // strtod rather than from_chars: mingw's runtime lacks the floating form.
  std::string copy(text);
  if (copy.empty()) return std::nullopt;
  char *end = nullptr;
  double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<std::vector<double>> parseTriple(std::string_view text) {
  std::vector<double> values;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    auto value = parseNumber(text.substr(start, comma - start));
    if (!value) return std::nullopt;
    values.push_back(*value);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (values.size() == 1) values.assign(3, values[0]);
  if (values.size() != 3) return std::nullopt;
  return values;
}

std::optional<uint32_t> parseColour(std::string_view text) {
  if (text.size() == 7 && text[0] == '#') {
    auto red = hexByte(text.substr(1, 2));
    auto green = hexByte(text.substr(3, 2));
    auto blue = hexByte(text.substr(5, 2));
    if (!red || !green || !blue) return std::nullopt;
    return packColour(*red, *green, *blue);
  }
  for (const NamedColour &c : kColourNames) {
    if (equalNoCase(text, c.name)) return packColour(c.red, c.green, c.blue);
  }
  return std::nullopt;
}

std::string colourNames() {
  std::string names;
  for (const NamedColour &c : kColourNames) {
    if (!names.empty()) names += ", ";
    names += c.name;
  }
  return names;
}

} // namespace pelc_cli
