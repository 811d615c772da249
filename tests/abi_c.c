/* SPDX-License-Identifier: MIT */
/* A plain C caller of the shared library: the header compiles as C, and the
 * exported entry points are reachable under their plain names. */
#include "pelc.h"

#include <stdio.h>
#include <string.h>

#define CHECK(cond)                                                                                \
  do {                                                                                             \
    if (!(cond)) {                                                                                 \
      fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond);                                   \
      return 1;                                                                                    \
    }                                                                                              \
  } while (0)

typedef char pelimage_size_check[sizeof(PELIMAGE) == 4 * sizeof(int32_t) + sizeof(void *) ? 1 : -1];
typedef char header_size_check[sizeof(BITMAPINFOHEADER) == 40 ? 1 : -1];

int main(void) {
  RGBQUAD grey[256];
  PELIMAGE *image;
  CHECK(pelCreateGDIColors(grey, PEL_PAL_GREY256) == 1);
  image = pelCreateImage(PEL_TYPE_BIT8, 7, 3, grey, 256, 2835, 2835, PEL_MEM_AUTO);
  CHECK(image != NULL);
  CHECK(image->imageType == PEL_TYPE_GREY8);
  CHECK(image->lineBytes == 8);
  CHECK(image->core->bitsSize == 24);
  CHECK(pelCalcLineBytes(5, 24) == 16);
  pelDestroyImage(image);
  /* A missing file answers 0, whether or not the sibling library is found. */
  CHECK(pelGetPrivateVersion() == 11);
  CHECK(strcmp(pelGetPublicVersion(), "1.1.DLL") == 0);
  CHECK(fioGetImageFormat((intptr_t) "no such file.png") == 0);
  printf("abi_c: ok\n");
  return 0;
}
