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

// A BMP file read whole into one block of exactly its length. `info` points at
// the stored header (byte 14) and `pixels` at byte bfOffBits of the block;
// both stay valid while `buffer` lives. `height` is always the row count.
struct LoadedBitmap {
    int32_t width;
    int32_t height;
    const unsigned char* pixels;
    const BITMAPINFO* info;
    unsigned char* buffer;
};

// 0 and a record that owns its buffer, or -1 and a record that owns nothing.
// When the block cannot be allocated the user is told so in a message box,
// and the call returns once it has been dismissed.
int LoadBmpFile(LoadedBitmap* record, const char* path);
void FreeBmpFile(LoadedBitmap* record);

// 0 when everything an upload of the whole DIB reads lies inside the given
// bytes: the header as declared (and the masks after a 40-byte one), the
// colour table entries that indices can name, and the pixel data (stride x
// rows, or biSizeImage bytes of a compressed stream). -1 otherwise.
int CheckDibExtent(const void* info, uint64_t info_bytes, uint64_t pixel_bytes);

// Uploads a loaded file's pixels into `bitmap` with SetDIBits (every row,
// colours as RGB values) and returns the number of rows set. A file that
// declares more than its block holds is not handed on and gives 0, as a
// refused upload does.
int UploadLoadedBitmap(HDC dc, HBITMAP bitmap, const LoadedBitmap* record);
