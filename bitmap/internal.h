// Shared between the files of bitmap/ and their tests: the DIB image object,
// the packed-DIB layout, the writer's steps and numbers, and the upload's
// measure.
#pragma once

#include <stdint.h>

#include "bitmap.h"

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
// The colour-table entries the packed DIB writes: biClrUsed as the section
// reports it, or the full table when that is 0. Unlike the readers'
// DibReachableColourCount it is never capped at what an index can reach.
uint32_t GetDibWrittenColourCount(const DibImage* image);
uint32_t GetDibColorTableSize(const DibImage* image);
uint32_t GetDibHeaderSize(const DibImage* image);
uint32_t GetDibPackedSize(const DibImage* image);

// The packed DIB (info header, masks, colour table, pixels) in one heap block
// that the caller frees with HeapFree; null for an invalid image or when
// memory runs out.
unsigned char* PackDib(const DibImage* image);

int WriteBmpFile(const DibImage* image, const char* path);

// The file's numbers are little-endian whatever the machine's order.
inline void PutU16Le(unsigned char* p, uint16_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}
inline void PutU32Le(unsigned char* p, uint32_t value) {
    PutU16Le(p, static_cast<uint16_t>(value));
    PutU16Le(p + 2, static_cast<uint16_t>(value >> 16));
}

// 0 when everything an upload of the whole DIB reads lies inside the given
// bytes: the header as declared (and the masks after a 40-byte one), the
// colour table entries that indices can name, and the pixel data (stride x
// rows, or biSizeImage bytes of a compressed stream). -1 otherwise.
int CheckDibExtent(const void* info, uint64_t info_bytes, uint64_t pixel_bytes);
