/* SPDX-License-Identifier: MIT */
/* A C program against an installed pelc: makes, converts and reads an image. */
#include <pelc.h>
#include <pelc_version.h>

#include <stdio.h>
#include <string.h>

int main(void) {
  PELIMAGE *image = pelCreateImage(PEL_TYPE_BIT24, 16, 8, NULL, 0, 3780, 3780, PEL_MEM_AUTO);
  PELIMAGE *grey;
  int ok;
  if (!image) return 1;
  pelFillColor(image, 0x0000FF); /* red */
  grey = pelCvtoBit8Grey(image);
  ok = grey && grey->imageType == PEL_TYPE_GREY8 && pelGetPixel(grey, 15, 7) == (77 * 255) >> 8 &&
       pelGetPrivateVersion() == 11 && strcmp(pelGetPublicVersion(), "1.1.DLL") == 0;
  pelDestroyImage(grey);
  pelDestroyImage(image);
  printf("consumer_c %s: %s\n", PELC_VERSION_STRING, ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
