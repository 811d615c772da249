/* SPDX-License-Identifier: MIT */
/* A stand-in for the sibling image-file library, for tests only: each entry
 * returns a value that depends on every argument and on their order, so a
 * test can tell that all arrived unchanged. Built once with every entry and
 * once without fioSplitImageFile. */
#include <stdint.h>

#if defined(_WIN32)
#define STUB_EXPORT __declspec(dllexport)
#if !defined(_WIN64)
#define STUB_CALL __cdecl
#endif
#else
#define STUB_EXPORT __attribute__((visibility("default")))
#endif
#ifndef STUB_CALL
#define STUB_CALL
#endif

/* r = id, then r = r * 31 + argument for each argument in order (wrapping). */
static intptr_t mix(uintptr_t id, const intptr_t *args, int count) {
  uintptr_t r = id;
  int i;
  for (i = 0; i < count; ++i) r = r * 31u + (uintptr_t)args[i];
  return (intptr_t)r;
}

STUB_EXPORT intptr_t STUB_CALL fioGetImageFormat(intptr_t a) { return mix(1, &a, 1); }
STUB_EXPORT intptr_t STUB_CALL fioGetImageFormatFromExt(intptr_t a) { return mix(2, &a, 1); }
STUB_EXPORT intptr_t STUB_CALL fioLoadImageFile(intptr_t a, intptr_t b, intptr_t c, intptr_t d,
                                                intptr_t e) {
  intptr_t args[5] = {a, b, c, d, e};
  return mix(3, args, 5);
}
STUB_EXPORT intptr_t STUB_CALL fioSaveImageFile(intptr_t a, intptr_t b, intptr_t c, intptr_t d) {
  intptr_t args[4] = {a, b, c, d};
  return mix(4, args, 4);
}
STUB_EXPORT intptr_t STUB_CALL fioIsMultiImageFile(intptr_t a) { return mix(5, &a, 1); }
#ifndef STUB_WITHOUT_SPLIT
STUB_EXPORT intptr_t STUB_CALL fioSplitImageFile(intptr_t a, intptr_t b, intptr_t c, intptr_t d) {
  intptr_t args[4] = {a, b, c, d};
  return mix(6, args, 4);
}
#endif
STUB_EXPORT intptr_t STUB_CALL fioCombineImageFile(intptr_t a, intptr_t b, intptr_t c) {
  intptr_t args[3] = {a, b, c};
  return mix(7, args, 3);
}
