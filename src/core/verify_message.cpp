// SPDX-License-Identifier: MIT
//
// The screen resolution and the message box that explains a validation.
#include "core/message.hpp"

#include <cstdio>

using namespace pel::detail;

namespace pel::detail {

namespace {
// The eight lines in bit order, code page 936. In English: wrong size of the
// image information header structure; wrong image height; wrong number of
// planes; image width or height must not be 0; wrong bit depth; wrong number
// of colours used; wrong pixel count; resolution incomplete.
constexpr const char *kLines[8] = {
    "\xB2\xBB\xD5\xFD\xC8\xB7\xB5\xC4\xCD\xBC\xCF\xF1\xD0\xC5\xCF\xA2\xCD\xB7\xBD\xE1\xB9\xB9"
    "\xB3\xDF\xB4\xE7:%d!\n",
    "\xB2\xBB\xD5\xFD\xC8\xB7\xB5\xC4\xCD\xBC\xCF\xF1\xB8\xDF:%d!\n",
    "\xB2\xBB\xD5\xFD\xC8\xB7\xB5\xC4\xCE\xBB\xC3\xE6\xD6\xB5:%d!\n",
    "\xCD\xBC\xCF\xF1\xBF\xED\xBB\xF2\xB8\xDF\xB2\xBB\xC4\xDC\xCE\xAA"
    "0:w=%d,h=%d!\n",
    "\xB2\xBB\xD5\xFD\xC8\xB7\xB5\xC4\xCE\xBB\xC9\xEE\xD6\xB5:%d!\n",
    "\xB2\xBB\xD5\xFD\xC8\xB7\xB5\xC4\xD1\xD5\xC9\xAB\xCA\xB9\xD3\xC3\xCA\xFD:%d!\n",
    "\xB2\xBB\xD5\xFD\xC8\xB7\xB5\xC4\xCF\xF1\xCB\xD8\xCA\xFD:%d!\n",
    "\xB7\xD6\xB1\xE6\xC2\xCA\xD6\xB5\xB2\xBB\xCD\xEA\xD5\xFB:dpmx=%d,dpmy=%d!\n",
};

int formatLine(char *out, std::size_t room, unsigned bit, const BITMAPINFOHEADER &h) {
  const auto s32 = [](auto v) { return static_cast<int>(static_cast<int32_t>(v)); };
  const char *format = kLines[bit];
  switch (bit) {
  case 0: return std::snprintf(out, room, format, s32(h.biSize));
  case 1: return std::snprintf(out, room, format, s32(h.biHeight));
  case 2: return std::snprintf(out, room, format, static_cast<int>(h.biPlanes));
  case 3: return std::snprintf(out, room, format, s32(h.biWidth), s32(h.biHeight));
  case 4: return std::snprintf(out, room, format, static_cast<int>(h.biBitCount));
  case 5: return std::snprintf(out, room, format, s32(h.biClrUsed));
  case 6: return std::snprintf(out, room, format, s32(h.biSizeImage));
  default: return std::snprintf(out, room, format, s32(h.biXPelsPerMeter), s32(h.biYPelsPerMeter));
  }
}
} // namespace

// Whole lines only, lowest bit first, while the text stays within its bytes:
// a cut never splits a line or a double-byte character.
std::size_t composeVerifyMessage(const BITMAPINFOHEADER &header, uint32_t errorWord,
                                 char (&text)[kMessageBytes + 1]) noexcept {
  std::size_t used = 0;
  text[0] = '\0';
  for (unsigned bit = 0; bit < 8; ++bit) {
    if (!(errorWord & (1u << bit))) continue;
    char line[96];
    const int n = formatLine(line, sizeof line, bit, header);
    if (n < 0 || used + static_cast<std::size_t>(n) > kMessageBytes) break;
    std::memcpy(text + used, line, static_cast<std::size_t>(n) + 1);
    used += static_cast<std::size_t>(n);
  }
  return used;
}

} // namespace pel::detail

extern "C" {

void PELAPI pelGetScreenDPI(int32_t *xDpi, int32_t *yDpi) noexcept {
  const os::HWND desktop = os::GetDesktopWindow();
  const os::HDC dc = os::GetDC(desktop);
  if (xDpi) *xDpi = os::GetDeviceCaps(dc, LOGPIXELSX);
  if (yDpi) *yDpi = os::GetDeviceCaps(dc, LOGPIXELSY);
  if (dc) os::ReleaseDC(desktop, dc);
}

void PELAPI pelPopupVerifyBIHInfo(const BITMAPINFOHEADER *header, uint32_t errorWord) noexcept {
  if (!header) return;
  char text[kMessageBytes + 1];
  composeVerifyMessage(*header, errorWord, text);
  os::MessageBoxA(os::GetActiveWindow(), text, "pel error", MB_OK);
}

} // extern "C"
