/* SPDX-License-Identifier: MIT */
/* Makes an image of every creatable type, repairs a faulty header and reports
 * what was wrong with it, then prints what it made. */
#include "pelc.h"

#include <stdio.h>
#include <string.h>

static const char *typeName(int32_t type) {
  static const char *names[] = {"unknown",       "1 bit",         "4 bits",     "4-bit grey",
                                "4-bit RLE",     "8 bits",        "8-bit grey", "8-bit RLE",
                                "16 bits 5-5-5", "16 bits 5-6-5", "24 bits",    "32 bits"};
  return type >= 0 && type <= PEL_TYPE_BIT32 ? names[type] : "?";
}

static const char *kindName(int32_t kind) {
  static const char *names[] = {"not owned", "global fixed", "global moveable",
                                "global",    "virtual",      "file"};
  return kind >= 0 && kind <= PEL_MEM_FILE ? names[kind] : "?";
}

static void describe(const char *what, const PELIMAGE *image) {
  const BITMAPINFOHEADER *h = image->core->header;
  printf("%-26s %5d x %-5d %2u bits  type %2d %-14s line %5d  header %4u  bits %8u  %s\n", what,
         (int)h->biWidth, (int)h->biHeight, (unsigned)h->biBitCount, (int)image->imageType,
         typeName(image->imageType), (int)image->lineBytes, (unsigned)image->core->headerSize,
         (unsigned)image->core->bitsSize, kindName(image->core->memKind));
}

int main(void) {
  static const int32_t types[] = {1, 2, 3, 5, 6, 8, 9, 10, 11};
  RGBQUAD colours[256];
  size_t i;
  int failures = 0;

  pelCreateGDIColors(colours, PEL_PAL_COLOR256);
  printf("Every creatable type, 640 x 480 at 96 DPI (3780 pixels per metre):\n");
  for (i = 0; i < sizeof types / sizeof types[0]; ++i) {
    PELIMAGE *image = pelCreateImage(types[i], 640, 480, colours, 0, 3780, 3780, PEL_MEM_AUTO);
    char label[32];
    if (!image) {
      printf("type %d: not made\n", (int)types[i]);
      ++failures;
      continue;
    }
    snprintf(label, sizeof label, "pelCreateImage(%d)", (int)types[i]);
    describe(label, image);
    pelDestroyImage(image);
  }

  {
    /* A 3-bit, top-down header with no colour count, store size or
     * horizontal resolution: usable once repaired. */
    BITMAPINFOHEADER faulty;
    BITMAPINFOHEADER repaired;
    uint32_t findings = 0;
    int32_t usable;
    PELIMAGE *image;
    memset(&faulty, 0, sizeof faulty);
    faulty.biSize = 40;
    faulty.biWidth = 100;
    faulty.biHeight = -50;
    faulty.biPlanes = 1;
    faulty.biBitCount = 3;
    faulty.biYPelsPerMeter = 2835;
    repaired = faulty;
    printf("\nA faulty header: %d x %d, %u bits, %u colours, %u bytes of pixels\n",
           (int)faulty.biWidth, (int)faulty.biHeight, (unsigned)faulty.biBitCount,
           (unsigned)faulty.biClrUsed, (unsigned)faulty.biSizeImage);
    printf("strict check: %s\n", pelCheckBIH(&faulty, &findings) ? "valid" : "invalid");
    usable = pelVerifyBIH(&repaired, &findings);
    printf("repairing check: %s, findings 0x%02X\n", usable ? "usable" : "unusable",
           (unsigned)findings);
    printf("repaired: %d x %d, %u bits, %u colours, %u bytes of pixels, %d x %d pixels per metre\n",
           (int)repaired.biWidth, (int)repaired.biHeight, (unsigned)repaired.biBitCount,
           (unsigned)repaired.biClrUsed, (unsigned)repaired.biSizeImage,
           (int)repaired.biXPelsPerMeter, (int)repaired.biYPelsPerMeter);
    printf("The validation message for the findings:\n");
    fflush(stdout);
    pelPopupVerifyBIHInfo(&faulty, findings);
    fflush(stderr);

    image = pelCreateImageEx(&faulty, colours, PEL_MEM_AUTO);
    if (!image) {
      ++failures;
    } else {
      describe("pelCreateImageEx(faulty)", image);
      pelDestroyImage(image);
    }
  }
  return failures ? 1 : 0;
}
