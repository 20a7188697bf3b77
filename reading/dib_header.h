// The header of a device-independent bitmap, read the one way that the BMP
// reader, the upload's bounds and the software SetDIBits share. A header
// names its own form by its size: 12 bytes for the core form, 40 for the info
// form, 108 for V4 and 124 for V5, each larger form starting with the whole
// of the one before. Other sizes of 40 or more are read as the largest form
// they hold.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "byte_cursor.h"

enum DibHeaderKind {
    DIB_HEADER_CORE,
    DIB_HEADER_INFO,
    DIB_HEADER_V4,
    DIB_HEADER_V5,
};

struct DibHeader {
    uint32_t header_size;  // as stored
    DibHeaderKind kind;
    int64_t width;
    int64_t height;  // as stored: negative when the top row comes first
    uint16_t planes;
    uint16_t bit_count;
    uint32_t compression;  // BI_RGB for a core header
    uint32_t image_size;
    uint32_t colours_used;
    uint32_t masks[3];  // red, green, blue, once read
};

// The size and the picture's width and height, the fields every form starts
// with: 16-bit in a 12-byte header, 32-bit in every other. Nothing else of
// the header needs to be there. 0, or -1 when the bytes end first.
int ReadDibDimensions(ByteCursor* cursor, DibHeader* header);

// The whole header at the cursor, in the form its size names. -1 when the
// size names no form, or when the header declares more bytes than the cursor
// holds. The cursor then stands after the fields read: byte 12 of a core
// header, byte 40 of an info header, 108 or 124 of the V4 and V5 forms.
int ReadDibHeader(ByteCursor* cursor, DibHeader* header);

// The three bit-field masks, the 12 bytes after the first 40 of an info
// header: after a 40-byte header they follow it, in the larger forms they
// are its own fields, already read by ReadDibHeader. `cursor` is the one
// ReadDibHeader left. 0, or -1 when the bytes end first.
int ReadDibMasks(ByteCursor* cursor, DibHeader* header);

// How many colour-table entries an index may reach: biClrUsed, or 1 << bit
// count when it is 0 or too large, and always the full table for a core
// header. 0 for depths above 8 bits and for a bit count of 0.
uint32_t DibReachableColourCount(const DibHeader* header);

// The bytes of one colour-table entry: an RGBTRIPLE after a core header, an
// RGBQUAD after every other.
inline uint32_t DibColourEntrySize(const DibHeader* header) {
    return header->kind == DIB_HEADER_CORE ? 3 : 4;
}
