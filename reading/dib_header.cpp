// Reading a DIB header: one reader per form, each larger form built on the
// one before it.
#include "dib_header.h"

#include <string.h>

namespace {

const uint32_t kCoreHeaderSize = 12;
const uint32_t kInfoHeaderSize = 40;
const uint32_t kV4HeaderSize = 108;
const uint32_t kV5HeaderSize = 124;
const uint32_t kCompressionRgb = 0;

int ReadMaskFields(ByteCursor* cursor, DibHeader* header) {
    for (uint32_t& mask : header->masks)
        if (ReadU32Le(cursor, &mask) != 0) return -1;
    return 0;
}

// The readers of each form below take a cursor that ReadDibHeader has found
// to hold the whole header, and are picked by its size: none of their reads
// can run out, and none of them can fail.

// BITMAPCOREHEADER: size, 16-bit width and height, planes, bit count.
void ReadCoreHeader(ByteCursor* cursor, DibHeader* header) {
    ReadDibDimensions(cursor, header);
    ReadU16Le(cursor, &header->planes);
    ReadU16Le(cursor, &header->bit_count);
    header->kind = DIB_HEADER_CORE;
    header->compression = kCompressionRgb;
}

// BITMAPINFOHEADER: the core fields at 32-bit width, then compression, image
// size, the two resolutions (unused), colours used and colours important (unused).
void ReadInfoHeader(ByteCursor* cursor, DibHeader* header) {
    ReadDibDimensions(cursor, header);
    ReadU16Le(cursor, &header->planes);
    ReadU16Le(cursor, &header->bit_count);
    ReadU32Le(cursor, &header->compression);
    ReadU32Le(cursor, &header->image_size);
    SeekCursor(cursor, cursor->position + 8);
    ReadU32Le(cursor, &header->colours_used);
    SeekCursor(cursor, cursor->position + 4);
    header->kind = DIB_HEADER_INFO;
}

// BITMAPV4HEADER: the info header, its red, green and blue masks, then the
// alpha mask, the colour space, its end points and gammas (unused).
void ReadV4Header(ByteCursor* cursor, DibHeader* header) {
    ReadInfoHeader(cursor, header);
    ReadMaskFields(cursor, header);
    SeekCursor(cursor, cursor->position + 4 + 4 + 36 + 12);
    header->kind = DIB_HEADER_V4;
}

// BITMAPV5HEADER: the V4 header, then the intent and the profile's place,
// size and a reserved word (unused).
void ReadV5Header(ByteCursor* cursor, DibHeader* header) {
    ReadV4Header(cursor, header);
    SeekCursor(cursor, cursor->position + 16);
    header->kind = DIB_HEADER_V5;
}

}  // namespace

int ReadDibDimensions(ByteCursor* cursor, DibHeader* header) {
    memset(header, 0, sizeof *header);
    if (ReadU32Le(cursor, &header->header_size) != 0) return -1;
    if (header->header_size == kCoreHeaderSize) {
        uint16_t width = 0, height = 0;
        if (ReadU16Le(cursor, &width) != 0 || ReadU16Le(cursor, &height) != 0) return -1;
        header->width = width;
        header->height = height;
    } else {
        int32_t width = 0, height = 0;
        if (ReadI32Le(cursor, &width) != 0 || ReadI32Le(cursor, &height) != 0) return -1;
        header->width = width;
        header->height = height;
    }
    return 0;
}

int ReadDibHeader(ByteCursor* cursor, DibHeader* header) {
    // A header is read only when all it declares is there.
    const size_t start = cursor->position, available = CursorRemaining(cursor);
    uint32_t size = 0;
    if (ReadU32Le(cursor, &size) != 0 || size > available) return -1;
    cursor->position = start;
    if (size == kCoreHeaderSize)
        ReadCoreHeader(cursor, header);
    else if (size >= kV5HeaderSize)
        ReadV5Header(cursor, header);
    else if (size >= kV4HeaderSize)
        ReadV4Header(cursor, header);
    else if (size >= kInfoHeaderSize)
        ReadInfoHeader(cursor, header);
    else
        return -1;
    return 0;
}

int ReadDibMasks(ByteCursor* cursor, DibHeader* header) {
    if (header->kind == DIB_HEADER_V4 || header->kind == DIB_HEADER_V5) return 0;
    return ReadMaskFields(cursor, header);
}

uint32_t DibReachableColourCount(const DibHeader* header) {
    if (header->bit_count < 1 || header->bit_count > 8) return 0;
    const uint32_t full = 1u << header->bit_count;
    if (header->kind == DIB_HEADER_CORE || header->colours_used == 0 || header->colours_used > full) return full;
    return header->colours_used;
}
