// Bitmap files: the BMP writer, the BMP reader and the bounded upload of what
// it read. The writer returns 1 for success and 0 for failure.
#pragma once

#include <stdint.h>

#include "../platform/platform.h"

// Writes the bitmap as a BMP file at `path`: 1 when it was written, 0 otherwise.
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

// Uploads a loaded file's pixels into `bitmap` with SetDIBits (every row,
// colours as RGB values) and returns the number of rows set. A file that
// declares more than its block holds is not handed on and gives 0, as a
// refused upload does.
int UploadLoadedBitmap(HDC dc, HBITMAP bitmap, const LoadedBitmap* record);
