// Bitmap files: the DIB image object, the packed-DIB layout and the BMP
// writer. The writer's functions return 1 for success and 0 for failure.
#pragma once

#include <stdint.h>

#include "../platform/platform.h"

// "Dib" and a zero byte, read as a little-endian word.
#define DIB_SIGNATURE 0x00626944u

// A DIB section wrapped in a signature-checked record. Every size is derived
// from `description`, what the platform reported for the section.
struct DibImage {
    uint32_t signature;
    HBITMAP handle;
    void* pixels;
    DIBSECTION description;
};

// The drawing colours and white, as little-endian RGBQUAD words.
#define FIXUP_COLOR_COUNT 9
extern const uint32_t FixupColors[FIXUP_COLOR_COUNT];

DibImage* CreateDibImage(const BITMAPINFO* request);
int IsDibImage(const DibImage* image);
int FreeDibImage(DibImage* image);

int32_t GetDibWidth(const DibImage* image);
int32_t GetDibHeight(const DibImage* image);
uint32_t GetDibBitCount(const DibImage* image);
uint32_t GetDibStride(const DibImage* image);
uint32_t GetDibImageSize(const DibImage* image);
uint32_t GetDibInfoHeaderSize(const DibImage* image);
uint32_t GetDibMaskSize(const DibImage* image);
uint32_t GetDibColorCount(const DibImage* image);
uint32_t GetDibColorTableSize(const DibImage* image);
uint32_t GetDibHeaderSize(const DibImage* image);
uint32_t GetDibPackedSize(const DibImage* image);

// The packed DIB (info header, masks, colour table, pixels) in one heap block
// that the caller frees with HeapFree; null for an invalid image or when
// memory runs out.
unsigned char* PackDib(const DibImage* image);

int WriteBmpFile(const DibImage* image, const char* path);
int SaveBitmapAsBmp(const char* path, HBITMAP bitmap);
