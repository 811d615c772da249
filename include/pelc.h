/* SPDX-License-Identifier: MIT */
/*
 * pelc: in-memory raster images in the device-independent bitmap layout.
 *
 * Every image is a PELIMAGE handle over an IMAGECORE pixel store. The store is
 * a 40-byte BITMAPINFOHEADER, its colour table (1, 4, 8 bits) or three colour
 * masks (BI_BITFIELDS above 8 bits), and the pixel bits, bottom scan line
 * first, each line padded to a multiple of 4 bytes.
 *
 * Conventions of the whole interface:
 * - Failure is a null handle or pointer, 0 or -1. Nothing is printed and every
 *   partial allocation is undone before returning.
 * - Colours handed in and out as one number are RGBpack values 0x00BBGGRR.
 * - x counts pixels from the left, y picture lines from the top. Pixel and
 *   line operations do not check coordinates.
 * - The caller owns every handle it receives and ends it exactly once.
 */
#ifndef PELC_H
#define PELC_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

/* ---- Decorators ------------------------------------------------------- */

/* The C calling convention on 32-bit Windows: the caller cleans the stack,
 * which some entry points rely on. Elsewhere there is only one convention. */
#if defined(_WIN32) && !defined(_WIN64)
#define PELAPI __cdecl
#else
#define PELAPI
#endif

/* The Windows export table comes from the module definition file alone; ELF
 * builds hide everything but what is marked here. */
#if defined(PELC_BUILDING) && !defined(_WIN32)
#define PELC_EXPORT __attribute__((visibility("default")))
#else
#define PELC_EXPORT
#endif

#ifdef __cplusplus
#define PELC_NOEXCEPT noexcept
#define PELC_BEGIN extern "C" {
#define PELC_END }
#else
#define PELC_NOEXCEPT
#define PELC_BEGIN
#define PELC_END
#endif

#define PELC_FN(ret) PELC_EXPORT ret PELAPI

/* ---- Windows records where <windows.h> is absent ------------------------ */

#if defined(_WIN32)
#include <windows.h>
#else
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;

typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFOHEADER {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
} BITMAPINFOHEADER;

#define BI_RGB 0u
#define BI_RLE8 1u
#define BI_RLE4 2u
#define BI_BITFIELDS 3u

/* Handles of the two Windows bitmap forms exchanged by the GDI interop
 * family: a global-memory block holding a packed DIB, and a device-dependent
 * bitmap. Opaque here; pelc_winstub.h offers the calls that make, fill, read
 * and free them. */
typedef void *HGLOBAL;
typedef struct HBITMAP__ *HBITMAP;
#endif

/* ---- Records ------------------------------------------------------------ */

/* The pixel store behind a handle. */
typedef struct IMAGECORE {
  BITMAPINFOHEADER *header; /* header block: header, then table or masks */
  uint8_t *bits;            /* pixel bits, bottom scan line first */
  uint32_t headerSize;      /* bytes of the header block */
  uint32_t bitsSize;        /* bytes of the bits */
  int32_t memKind;          /* memory kind of the owned block(s); 0: bits not owned */
  int32_t contiguous;       /* nonzero: header and bits are one block */
} IMAGECORE;

/* The image handle. */
typedef struct PELIMAGE {
  IMAGECORE *core;
  int32_t imageType;    /* PEL_TYPE_* code of the pixel format */
  int32_t lineBytes;    /* bytes per stored scan line */
  uint32_t transpValid; /* >= 1: transpColor is in use */
  uint32_t transpColor; /* RGBpack, or 0xFFFFFFFF for none */
} PELIMAGE;

/* A growable list of owned image handles; callers read its fields. */
typedef struct IMAGELIST {
  uint32_t capacity; /* slots in images, never below 32 */
  uint32_t count;    /* slots in use */
  PELIMAGE **images; /* the slots */
} IMAGELIST;

/* Image type codes (PELIMAGE.imageType). */
enum {
  PEL_TYPE_UNKNOWN = 0,
  PEL_TYPE_BIT1 = 1,   /* 1 bit, 2-entry table */
  PEL_TYPE_BIT4 = 2,   /* 4 bits, table other than the grey ramp */
  PEL_TYPE_GREY4 = 3,  /* 4 bits, 16-level grey ramp */
  PEL_TYPE_RLE4 = 4,   /* 4 bits run-length coded (recognised, not made) */
  PEL_TYPE_BIT8 = 5,   /* 8 bits, table other than the grey ramp */
  PEL_TYPE_GREY8 = 6,  /* 8 bits, 256-level grey ramp */
  PEL_TYPE_RLE8 = 7,   /* 8 bits run-length coded (recognised, not made) */
  PEL_TYPE_BIT555 = 8, /* 16 bits 5-5-5 */
  PEL_TYPE_BIT565 = 9, /* 16 bits 5-6-5 (BI_BITFIELDS, red mask 0xF800) */
  PEL_TYPE_BIT24 = 10, /* 24 bits */
  PEL_TYPE_BIT32 = 11  /* 32 bits */
};

/* Memory kinds: 0 as an argument asks for the automatic choice. */
enum {
  PEL_MEM_AUTO = 0,
  PEL_MEM_GLOBAL_FIXED = 1,    /* fixed global memory */
  PEL_MEM_GLOBAL_MOVEABLE = 2, /* movable global memory, locked */
  PEL_MEM_GLOBAL = 3,          /* fixed global memory, may be handed out as a DIB block */
  PEL_MEM_VIRTUAL = 4,         /* committed virtual memory */
  PEL_MEM_FILE = 5             /* view of a mapped temporary file */
};

/* Palette kinds of the standard colour tables. */
enum {
  PEL_PAL_BLACKWHITE = 0, /* 2 entries */
  PEL_PAL_GREY16 = 1,     /* 16-level grey ramp, 17 * i */
  PEL_PAL_GREY256 = 2,    /* 256-level grey ramp */
  PEL_PAL_COLOR16 = 3,    /* 16 standard colours */
  PEL_PAL_COLOR256 = 4    /* 256 standard colours: cube plus system colours */
};

/* Validation error word bits. */
enum {
  PEL_BIH_SIZE = 0x01,      /* biSize is not 40 */
  PEL_BIH_HEIGHT = 0x02,    /* biHeight is negative */
  PEL_BIH_PLANES = 0x04,    /* biPlanes is not 1 */
  PEL_BIH_DIMENSION = 0x08, /* width or height 0 (or negative width) */
  PEL_BIH_BITCOUNT = 0x10,  /* bit count not 1, 4, 8, 16, 24, 32 */
  PEL_BIH_CLRUSED = 0x20,   /* biClrUsed does not fit the bit count */
  PEL_BIH_SIZEIMAGE = 0x40, /* biSizeImage 0, wrong, or the store too large */
  PEL_BIH_RESOLUTION = 0x80 /* a resolution field is 0 */
};

PELC_BEGIN

/* ---- Image object, memory kinds and transparency ------------------------ */

/* Zero-filled block of the memory kind (1 to 5), or null; kind 0 or unknown gives null. */
PELC_FN(void *) pelMemAlloc(uint32_t size, int32_t kind) PELC_NOEXCEPT;
/* Releases a block of pelMemAlloc by its kind; null or kind 0 does nothing. */
PELC_FN(void) pelMemFree(void *ptr, int32_t kind) PELC_NOEXCEPT;
/* New pixel store (kind 0: global below 1 MiB of bits, then virtual, then file), or null. */
PELC_FN(IMAGECORE *)
pelCoreAlloc(uint32_t headerSize, uint32_t bitsSize, int32_t kind,
             int32_t contiguous) PELC_NOEXCEPT;
/* Frees a store and what it owns; the bits of a store with kind 0 are left alone. */
PELC_FN(void) pelCoreFree(IMAGECORE *core) PELC_NOEXCEPT;
/* New zeroed image of type 1-3, 5, 6, 8-11 (negative sizes are made positive), or null. */
PELC_FN(PELIMAGE *)
pelCreateImage(int32_t type, int32_t width, int32_t height, const RGBQUAD *colors,
               uint32_t colorCount, int32_t xPelsPerMeter, int32_t yPelsPerMeter,
               int32_t kind) PELC_NOEXCEPT;
/* New image from a header (validated and repaired in a private copy), or null. */
PELC_FN(PELIMAGE *)
pelCreateImageEx(const BITMAPINFOHEADER *header, const RGBQUAD *colors, int32_t kind) PELC_NOEXCEPT;
/* Ends a handle and everything it owns; null does nothing. */
PELC_FN(void) pelDestroyImage(PELIMAGE *image) PELC_NOEXCEPT;
/* Re-reads type and/or line length from the header; always marks transparency in use. */
PELC_FN(void)
pelUpdateImageInfo(PELIMAGE *image, int32_t updateType, int32_t updateLineBytes,
                   int32_t resetTransparency) PELC_NOEXCEPT;
/* Re-classifies the image type after its colour table changed. */
PELC_FN(void) pelUpdateColors(PELIMAGE *image) PELC_NOEXCEPT;
/* 1 if a transparent colour is set, else 0. */
PELC_FN(int32_t) pelIsTranspClr(const PELIMAGE *image) PELC_NOEXCEPT;
/* The transparent colour (RGBpack), or 0xFFFFFFFF for none. */
PELC_FN(uint32_t) pelGetTranspClr(const PELIMAGE *image) PELC_NOEXCEPT;
/* Sets the transparent colour; 0xFFFFFFFF clears it. */
PELC_FN(void) pelSetTranspClr(PELIMAGE *image, uint32_t color) PELC_NOEXCEPT;
/* Copies the transparent colour of source to target. */
PELC_FN(void) pelSynchronization(PELIMAGE *target, const PELIMAGE *source) PELC_NOEXCEPT;
/* Temporary handle over a packed DIB (header, table or masks, bits); shares its bits. */
PELC_FN(PELIMAGE *) pelGetTempPELIMAGE(void *dib) PELC_NOEXCEPT;
/* Temporary handle over a header (with its table or masks) and separate bits. */
PELC_FN(PELIMAGE *) pelGetTempPELIMAGEx(const BITMAPINFOHEADER *header, void *bits) PELC_NOEXCEPT;
/* Ends a temporary handle without touching the caller's bits (other handles: destroys). */
PELC_FN(void) pelReleaseTempPELIMAGE(PELIMAGE *image) PELC_NOEXCEPT;

/* ---- Bitmap header rules -------------------------------------------------- */

/* 2 to the power of the bit count for 0 to 8, else 0. */
PELC_FN(uint32_t) pelCalcClrUsed(uint32_t bitCount) PELC_NOEXCEPT;
/* Colour-table entries the header implies (0 above 8 bits). */
PELC_FN(uint32_t) pelGetClrUsed(const BITMAPINFOHEADER *header) PELC_NOEXCEPT;
/* The count made safe for the bit count: 0 gives the full table, more is cut down. */
PELC_FN(uint32_t) pelGetSafeClrUsed(uint32_t colorCount, uint32_t bitCount) PELC_NOEXCEPT;
/* Header-block bytes for a full colour table of the bit count. */
PELC_FN(uint32_t) pelCalcBiSize(uint32_t bitCount) PELC_NOEXCEPT;
/* Header-block bytes: 40 + 4 x colours, 52 with bit fields above 8 bits, else 40. */
PELC_FN(uint32_t) pelGetBiSize(const BITMAPINFOHEADER *header) PELC_NOEXCEPT;
/* Scan-line bytes aligned to 4: ((width x bits + 31) >> 3) & ~3, 32-bit arithmetic. */
PELC_FN(uint32_t) pelCalcLineBytes(int32_t width, uint32_t bitCount) PELC_NOEXCEPT;
/* Scan-line bytes of the header, signed. */
PELC_FN(int32_t) pelGetLineBytes(const BITMAPINFOHEADER *header) PELC_NOEXCEPT;
/* Scan-line bytes aligned to 2: ((width x bits + 15) >> 3) & ~1. */
PELC_FN(uint32_t) pelCalcDDBLineBytes(int32_t width, uint32_t bitCount) PELC_NOEXCEPT;
/* Scan-line bytes aligned to 1: (width x bits + 7) >> 3. */
PELC_FN(uint32_t) pelCalcOCRLineBytes(int32_t width, uint32_t bitCount) PELC_NOEXCEPT;
/* Pixel-store bytes: pelCalcLineBytes(width, bitCount) x height. */
PELC_FN(uint32_t) pelCalcBitsSize(int32_t width, int32_t height, uint32_t bitCount) PELC_NOEXCEPT;
/* Pixel-store bytes of the header, signed: biSizeImage for run-length data. */
PELC_FN(int32_t) pelGetBitsSize(const BITMAPINFOHEADER *header) PELC_NOEXCEPT;
/* Screen resolution in dots per inch into the non-null pointers. */
PELC_FN(void) pelGetScreenDPI(int32_t *xDpi, int32_t *yDpi) PELC_NOEXCEPT;
/* Repairing validation in place: 1 usable, 0 unusable; findings into *errorWord. */
PELC_FN(int32_t) pelVerifyBIH(BITMAPINFOHEADER *header, uint32_t *errorWord) PELC_NOEXCEPT;
/* Strict read-only validation: 1 valid, 0 invalid; stops at the first finding. */
PELC_FN(int32_t) pelCheckBIH(const BITMAPINFOHEADER *header, uint32_t *errorWord) PELC_NOEXCEPT;
/* 1 for 1, 4, 8, 16, 24, 32; else 0. */
PELC_FN(int32_t) pelCheckBitCount(int32_t bitCount) PELC_NOEXCEPT;
/* Shows the findings of an error word as text in the "pel error" message box. */
PELC_FN(void)
pelPopupVerifyBIHInfo(const BITMAPINFOHEADER *header, uint32_t errorWord) PELC_NOEXCEPT;
/* Image type of the header, testing the colour table for the grey ramps. */
PELC_FN(int32_t) pelGetImageType(const BITMAPINFOHEADER *header) PELC_NOEXCEPT;
/* Image type of the header; greyTest 0 never reports the grey types 3 and 6. */
PELC_FN(int32_t) pelGetImageTypeEx(const BITMAPINFOHEADER *header, int32_t greyTest) PELC_NOEXCEPT;

/* ---- Standard palettes ---------------------------------------------------- */

/* Writes the palette kind's table (0-4): 1 written, 0 for another kind or an unwritable table. */
PELC_FN(int32_t) pelCreateGDIColors(RGBQUAD *colors, uint32_t paletteKind) PELC_NOEXCEPT;
/* 1 when the table equals the palette kind's table byte for byte, else 0. */
PELC_FN(int32_t) pelIsGDIColors(const RGBQUAD *colors, uint32_t paletteKind) PELC_NOEXCEPT;

/* ---- File-mapped storage ----------------------------------------------------- */

/* Sets the directory for temporary files of memory kind 5; null or "" restores the
 * automatic choice; a path of 260 bytes or more is refused (the setting is kept). */
PELC_FN(void) pelSetFileMappingPath(const char *path) PELC_NOEXCEPT;
/* Zero-filled block in a new mapped temporary file ("~pc*.tmp"), or null. */
PELC_FN(void *) pelAllocFileMapping(uint32_t size) PELC_NOEXCEPT;
/* Unmaps a block of pelAllocFileMapping and deletes its file; other pointers are ignored. */
PELC_FN(void) pelFreeFileMapping(void *ptr) PELC_NOEXCEPT;

/* ---- BMP files --------------------------------------------------------------- */

/* New image from a BMP file (kind as for pelCreateImageEx; missing pixel bytes stay 0), or null. */
PELC_FN(PELIMAGE *) pelLoadBmpFile(const char *path, int32_t kind) PELC_NOEXCEPT;
/* Writes the image as a BMP file with a 40-byte header: 1, or 0 (a partial file may stay). */
PELC_FN(int32_t) pelSaveBmpFile(const PELIMAGE *image, const char *path) PELC_NOEXCEPT;
/* Length of the stream in bytes, position kept; -1 for null, failure or above 0x7FFFFFFF. */
PELC_FN(int32_t) fileGetLength(FILE *stream) PELC_NOEXCEPT;

/* ---- Image list -------------------------------------------------------------- */

/* New empty list with max(capacity, 32) slots, or null. */
PELC_FN(IMAGELIST *) pelCreateImagelist(uint32_t capacity) PELC_NOEXCEPT;
/* Destroys the list and every image it holds; null does nothing. */
PELC_FN(void) pelDestroyImagelist(IMAGELIST *list) PELC_NOEXCEPT;
/* Moves the entries to capacity slots (above 32 and above count): 1, else 0 and unchanged. */
PELC_FN(int32_t) pelReallocImagelist(IMAGELIST *list, uint32_t capacity) PELC_NOEXCEPT;
/* Appends the image (the list's from now on), doubling a full list: its index, or -1. */
PELC_FN(int32_t) pelAddImage(IMAGELIST *list, PELIMAGE *image) PELC_NOEXCEPT;
/* Inserts at index (at most count), shifting the rest up: index, or -1. */
PELC_FN(int32_t) pelInsertImage(IMAGELIST *list, uint32_t index, PELIMAGE *image) PELC_NOEXCEPT;
/* Takes the entry out (now the caller's), closing the gap; null if out of range. */
PELC_FN(PELIMAGE *) pelGetOutImage(IMAGELIST *list, uint32_t index) PELC_NOEXCEPT;
/* Destroys the entry and closes the gap: 1, or 0 if out of range. */
PELC_FN(int32_t) pelRemoveImage(IMAGELIST *list, uint32_t index) PELC_NOEXCEPT;
/* The entry, still the list's; null if out of range. */
PELC_FN(PELIMAGE *) pelGetAtImage(const IMAGELIST *list, uint32_t index) PELC_NOEXCEPT;
/* Destroys the entry and stores the image (the same image is kept): 1, or 0. */
PELC_FN(int32_t) pelSetAtImage(IMAGELIST *list, uint32_t index, PELIMAGE *image) PELC_NOEXCEPT;
/* Stores the image and hands back the previous entry undestroyed; null if out of range. */
PELC_FN(PELIMAGE *) pelReplaceImage(IMAGELIST *list, uint32_t index, PELIMAGE *image) PELC_NOEXCEPT;
/* Does nothing; always 0. */
PELC_FN(int32_t) pelReplaceImageInside(void) PELC_NOEXCEPT;

/* ---- GDI and DIB-block interop ----------------------------------------------- */

/*
 * A packed DIB block is a global-memory block whose locked memory holds the
 * 40-byte header, its colour table or masks, then the bits. Attach and detach
 * operations hand the object over (the source is ended or adopted); copies
 * leave it to the caller. Every device context used is the screen's and is
 * released before returning. Rectangles are left, top, right, bottom in
 * picture coordinates (right and bottom exclusive), clamped to the image;
 * an empty result gives null.
 */
/* Adopts the block (kept locked, freed with the image); header repaired in the block. Null
 * leaves the block the caller's, unlocked: also when shorter than its header says, or a
 * true-colour block carrying a colour table. */
PELC_FN(PELIMAGE *) pelAttachDIB(HGLOBAL block) PELC_NOEXCEPT;
/* Ends the image and returns its store as an unlocked packed DIB block (its own block for
 * kinds 2 and 3, else a copy); null leaves the image unchanged. */
PELC_FN(HGLOBAL) pelDetachDIB(PELIMAGE *image) PELC_NOEXCEPT;
/* New image of the bitmap's pixels (bitCount 0: the bitmap's own) in the memory kind; the
 * bitmap is deleted on success only. */
PELC_FN(PELIMAGE *) pelAttachDDB(HBITMAP bitmap, int32_t bitCount, int32_t kind) PELC_NOEXCEPT;
/* Bitmap of the image's pixels, compatible with the screen; the image is ended in any case. */
PELC_FN(HBITMAP) pelDetachDDB(PELIMAGE *image) PELC_NOEXCEPT;
/* Bitmap of the image's pixels, compatible with the screen, or null; the image is unchanged. */
PELC_FN(HBITMAP) pelCreateDDB(const PELIMAGE *image) PELC_NOEXCEPT;
/* New image of rect of the packed DIB (null rect: all) in the memory kind; the block stays the
 * caller's. Keeps the block's masks; refuses run-length and short blocks. unused is not read. */
PELC_FN(PELIMAGE *)
pelCopyDIB(HGLOBAL block, const int32_t *rect, int32_t unused, int32_t kind) PELC_NOEXCEPT;
/* New image of rect of the bitmap (null rect: all; bitCount 0: the bitmap's own) in the memory
 * kind; the bitmap stays the caller's. */
PELC_FN(PELIMAGE *)
pelCopyDDB(HBITMAP bitmap, const int32_t *rect, int32_t bitCount, int32_t kind) PELC_NOEXCEPT;

/* ---- Library lifecycle, versions and image-file forwarding ------------------- */

/* The library's private version number, 11. */
PELC_FN(int32_t) pelGetPrivateVersion(void) PELC_NOEXCEPT;
/* The library's public version text, "1.1.DLL" (constant; not to be freed). */
PELC_FN(const char *) pelGetPublicVersion(void) PELC_NOEXCEPT;
/*
 * Image-file calls forwarded to the sibling library (pelcfio.dll; libpelcfio.so
 * on Linux), loaded by bare name and looked for again on every call until
 * found. Arguments and results are pointer-sized and passed through unchanged;
 * 0 when the library or the entry point is missing.
 */
/* Forwards fioGetImageFormat (1 argument). */
PELC_FN(intptr_t) fioGetImageFormat(intptr_t a1) PELC_NOEXCEPT;
/* Forwards fioGetImageFormatFromExt (1 argument). */
PELC_FN(intptr_t) fioGetImageFormatFromExt(intptr_t a1) PELC_NOEXCEPT;
/* Forwards fioLoadImageFile (5 arguments). */
PELC_FN(intptr_t)
fioLoadImageFile(intptr_t a1, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5) PELC_NOEXCEPT;
/* Forwards fioSaveImageFile (4 arguments). */
PELC_FN(intptr_t)
fioSaveImageFile(intptr_t a1, intptr_t a2, intptr_t a3, intptr_t a4) PELC_NOEXCEPT;
/* Forwards fioIsMultiImageFile (1 argument). */
PELC_FN(intptr_t) fioIsMultiImageFile(intptr_t a1) PELC_NOEXCEPT;
/* Forwards fioSplitImageFile (4 arguments). */
PELC_FN(intptr_t)
fioSplitImageFile(intptr_t a1, intptr_t a2, intptr_t a3, intptr_t a4) PELC_NOEXCEPT;
/* Forwards fioCombineImageFile (3 arguments). */
PELC_FN(intptr_t) fioCombineImageFile(intptr_t a1, intptr_t a2, intptr_t a3) PELC_NOEXCEPT;

/* ---- Nearest colour and colour map ------------------------------------------- */

/* Index of the nearest palette entry (first of equals, stops at an exact match); 0 for count 0. */
PELC_FN(uint32_t)
pelGetNearestColorIndex(const RGBQUAD *palette, uint32_t count, uint32_t color) PELC_NOEXCEPT;
/* New 4096-byte map from 4-bit-per-channel colours to nearest indices, or null. */
PELC_FN(uint8_t *) pelCreate4096Map(const RGBQUAD *palette, int32_t count) PELC_NOEXCEPT;
/* Releases a map of pelCreate4096Map. */
PELC_FN(void) pelRelease4096Map(uint8_t *map) PELC_NOEXCEPT;

/* ---- Pixels and colours ------------------------------------------------------ */

/* Pixel value at (x, y) by biBitCount; 0 for an unsupported bit count. */
PELC_FN(uint32_t) pelGetPixel(const PELIMAGE *image, uint32_t x, uint32_t y) PELC_NOEXCEPT;
/* Stores the low bits of value at (x, y) by biBitCount. */
PELC_FN(void) pelSetPixel(PELIMAGE *image, uint32_t value, uint32_t x, uint32_t y) PELC_NOEXCEPT;
/* Colour (RGBpack) at (x, y); 0 for run-length or unknown types. */
PELC_FN(uint32_t) pelGetRGBpack(const PELIMAGE *image, uint32_t x, uint32_t y) PELC_NOEXCEPT;
/* Stores a colour at (x, y); returns the RGBpack of what was stored. */
PELC_FN(uint32_t)
pelSetRGBpack(PELIMAGE *image, uint32_t color, uint32_t x, uint32_t y) PELC_NOEXCEPT;
/* Colour at (x, y) as out[0..2] = red, green, blue; untouched for run-length types. */
PELC_FN(void) pelGetRGB(const PELIMAGE *image, uint8_t *out, uint32_t x, uint32_t y) PELC_NOEXCEPT;
/* Stores in[0..2] = red, green, blue at (x, y); grey types store the grey level. */
PELC_FN(void)
pelSetRGB(PELIMAGE *image, const uint8_t *in, uint32_t x, uint32_t y) PELC_NOEXCEPT;
/* Pixel value a colour would be stored as, or 0xFFFFFFFF. */
PELC_FN(uint32_t) pelRGBColor2DIBData(const PELIMAGE *image, uint32_t color) PELC_NOEXCEPT;
/* RGBpack a pixel value stands for, or 0xFFFFFFFF. */
PELC_FN(uint32_t) pelDIBData2RGBColor(const PELIMAGE *image, uint32_t value) PELC_NOEXCEPT;

/* ---- Interpolated reads ------------------------------------------------------ */

/* Bilinear blend of pixel values; fx, fy are 10-bit fractions. */
PELC_FN(uint32_t)
pelGetMixPixel(const PELIMAGE *image, uint32_t x, uint32_t y, uint32_t fx,
               uint32_t fy) PELC_NOEXCEPT;
/* Bilinear blend of colours channel by channel, as an RGBpack. */
PELC_FN(uint32_t)
pelGetMixRGBpack(const PELIMAGE *image, uint32_t x, uint32_t y, uint32_t fx,
                 uint32_t fy) PELC_NOEXCEPT;
/* Bilinear blend of colours into out[0..2] = red, green, blue. */
PELC_FN(void)
pelGetMixRGB(const PELIMAGE *image, uint8_t *out, uint32_t x, uint32_t y, uint32_t fx,
             uint32_t fy) PELC_NOEXCEPT;

/* ---- Scan lines -------------------------------------------------------------- */

/* Copies pixels x0..x1-1 of line y into buffer in stored format; 1, or 0 for a bad bit count. */
PELC_FN(int32_t)
pelGetHorLine(void *buffer, const PELIMAGE *image, uint32_t x0, uint32_t x1,
              uint32_t y) PELC_NOEXCEPT;
/* Writes buffer into pixels x0..x1-1 of line y; 1, or 0 for a bad bit count or no memory. */
PELC_FN(int32_t)
pelSetHorLine(PELIMAGE *image, const void *buffer, uint32_t x0, uint32_t x1,
              uint32_t y) PELC_NOEXCEPT;
/* Copies pixels x1-1 down to x0 of line y into buffer; 1, or 0 on failure. */
PELC_FN(int32_t)
pelGetRevHorLine(void *buffer, const PELIMAGE *image, uint32_t x0, uint32_t x1,
                 uint32_t y) PELC_NOEXCEPT;

/* ---- Fill, swap, flip and copy ----------------------------------------------- */

/* Paints every pixel with one colour; 1, or 0 on failure. */
PELC_FN(int32_t) pelFillColor(PELIMAGE *image, uint32_t color) PELC_NOEXCEPT;
/* Exchanges red and blue in place; 1, or 0 on failure. */
PELC_FN(int32_t) pelSwapColor(PELIMAGE *image) PELC_NOEXCEPT;
/* Turns the image upside down in place; 1, or 0 on failure. */
PELC_FN(int32_t) pelSwapHeight(PELIMAGE *image) PELC_NOEXCEPT;
/* New image of rect (left, top, right, bottom; null for all) in the memory kind, or null. */
PELC_FN(PELIMAGE *)
pelCopyImage(const PELIMAGE *image, const int32_t *rect, int32_t kind) PELC_NOEXCEPT;

/* ---- Conversion -------------------------------------------------------------- */

/*
 * Each conversion makes a new image of one format with the source's size,
 * resolution and memory kind, and no transparent colour; the source is not
 * changed. A source already in the target format gives a pelCopyImage copy in
 * memory kind 2 (transparent colour kept). Null for a null image, core or
 * header, for image types 0, 4 and 7, and when memory runs out.
 * Grey level: (77 R + 150 G + 29 B) >> 8; the 4-bit level takes >> 12.
 * 16-bit fields widen by shifting (31 gives 248) and pack by truncation.
 */
/* Type 1, black and white: set where the grey level is above 128. */
PELC_FN(PELIMAGE *) pelCvtoBit1(const PELIMAGE *image) PELC_NOEXCEPT;
/* 4 bits: true colour reduced to the palette (null: 16 standard colours; count 0
 * or above 16: 16) through the colour map; 8-bit sources give 4-bit grey (type 3);
 * 1-bit sources index 0 for the darker, 15 for the brighter colour. */
PELC_FN(PELIMAGE *)
pelCvtoBit4(const PELIMAGE *image, const RGBQUAD *palette, uint32_t count) PELC_NOEXCEPT;
/* 8 bits: as pelCvtoBit4 with 256 entries; 4-bit sources give 8-bit grey (type 6);
 * 1-bit sources index 0 for the darker, 255 for the brighter colour. */
PELC_FN(PELIMAGE *)
pelCvtoBit8(const PELIMAGE *image, const RGBQUAD *palette, uint32_t count) PELC_NOEXCEPT;
/* Type 8, 16-bit 5-5-5. */
PELC_FN(PELIMAGE *) pelCvtoBit555(const PELIMAGE *image) PELC_NOEXCEPT;
/* Type 9, 16-bit 5-6-5. */
PELC_FN(PELIMAGE *) pelCvtoBit565(const PELIMAGE *image) PELC_NOEXCEPT;
/* Type 10, 24 bits: the exact colours of palette and grey sources. */
PELC_FN(PELIMAGE *) pelCvtoBit24(const PELIMAGE *image) PELC_NOEXCEPT;
/* Type 11, 32 bits, fourth byte 0. */
PELC_FN(PELIMAGE *) pelCvtoBit32(const PELIMAGE *image) PELC_NOEXCEPT;
/* Type 3, the 4-bit grey level of every pixel (1-bit sources: 0 and 15). */
PELC_FN(PELIMAGE *) pelCvtoBit4Grey(const PELIMAGE *image) PELC_NOEXCEPT;
/* Type 6, the grey level of every pixel (1-bit sources: 0 and 255). */
PELC_FN(PELIMAGE *) pelCvtoBit8Grey(const PELIMAGE *image) PELC_NOEXCEPT;
/* Fills width x height 24-bit pixels with the pixel value 0x00RRGGBB; a grey colour
 * fills the line padding too. An empty block is left alone. */
PELC_FN(void)
pelFill24bitColor(uint8_t *bits, uint32_t color, uint32_t width, uint32_t height) PELC_NOEXCEPT;
/* Writes count bytes: the source bytes as one bit string, most significant bit first,
 * shifted left by shift bits with zeros entering. Count 0 does nothing. */
PELC_FN(void)
pelShiftLeft(uint8_t *target, const uint8_t *source, uint32_t count, uint8_t shift) PELC_NOEXCEPT;

/* ---- Tone adjustment --------------------------------------------------------- */

/* Grey (77r + 150g + 29b) >> 8 plus offset (clamped to +-255), result clamped; the image or null.
 */
PELC_FN(PELIMAGE *) pelGrey(PELIMAGE *image, int32_t offset, int32_t copy) PELC_NOEXCEPT;
/* Every channel c becomes 255 - c; the image or null. */
PELC_FN(PELIMAGE *) pelInvert(PELIMAGE *image, int32_t copy) PELC_NOEXCEPT;
/* Per-channel gamma through tables; a gamma not above 0 (or NaN) gives null. */
PELC_FN(PELIMAGE *)
pelGammaCorrect(PELIMAGE *image, float red, float green, float blue, int32_t copy) PELC_NOEXCEPT;
/* Adds three offsets (red, green, blue; each clamped to +-255); null offsets give null. */
PELC_FN(PELIMAGE *)
pelLuminance(PELIMAGE *image, const int32_t *offsets, int32_t copy) PELC_NOEXCEPT;
/* Per-channel contrast and brightness (each clamped to +-100); null arrays give null. */
PELC_FN(PELIMAGE *)
pelContrast(PELIMAGE *image, const int32_t *brightness, const int32_t *contrast,
            int32_t copy) PELC_NOEXCEPT;
/* Hue shift (+-360 degrees), lightness shift (+-255), saturation change (+-100 percent). */
PELC_FN(PELIMAGE *)
pelSaturation(PELIMAGE *image, int32_t hue, int32_t lightness, int32_t saturation,
              int32_t copy) PELC_NOEXCEPT;

/* ---- Rotation ---------------------------------------------------------------- */

/* New image turned a quarter turn (direction 0 clockwise, else counter-clockwise), or null. */
PELC_FN(PELIMAGE *) pelRotationEx(PELIMAGE *image, int32_t direction) PELC_NOEXCEPT;
/* New image rotated clockwise by angle radians about the centre onto background, or null. */
PELC_FN(PELIMAGE *)
pelRotateAngleEx(PELIMAGE *image, float angle, uint32_t background) PELC_NOEXCEPT;

/* ---- Scaling ----------------------------------------------------------------- */

/* New image of width x height (each 1 to 2^31 - 1) by nearest pixel or area bilinear, or null. */
PELC_FN(PELIMAGE *) pelScaleEx(PELIMAGE *image, uint32_t width, uint32_t height) PELC_NOEXCEPT;

/* ---- Mirror and border repair ------------------------------------------------ */

/* New image mirrored: mode 0 left-right, 1 top-bottom, any other both; or null. */
PELC_FN(PELIMAGE *) pelMirror(PELIMAGE *image, uint32_t mode) PELC_NOEXCEPT;
/* New image with each side widened (positive margin, painted in color) or cut (negative), or null.
 */
PELC_FN(PELIMAGE *)
pelFixBorder(PELIMAGE *image, int32_t left, int32_t top, int32_t right, int32_t bottom,
             uint32_t color) PELC_NOEXCEPT;

PELC_END

#endif /* PELC_H */
