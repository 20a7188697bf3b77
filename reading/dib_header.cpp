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

// Moves the cursor over fields that nothing here uses, once they are known to be there.
int SkipBytes(ByteCursor* cursor, size_t count) {
    if (CursorRemaining(cursor) < count) return -1;
    cursor->position += count;
    return 0;
}

int ReadMaskFields(ByteCursor* cursor, DibHeader* header) {
    for (uint32_t& mask : header->masks)
        if (ReadU32Le(cursor, &mask) != 0) return -1;
    return 0;
}

// BITMAPCOREHEADER: size, 16-bit width and height, planes, bit count.
int ReadCoreHeader(ByteCursor* cursor, DibHeader* header) {
    if (ReadDibDimensions(cursor, header) != 0 || header->header_size != kCoreHeaderSize) return -1;
    if (ReadU16Le(cursor, &header->planes) != 0 || ReadU16Le(cursor, &header->bit_count) != 0) return -1;
    header->kind = DIB_HEADER_CORE;
    header->compression = kCompressionRgb;
    return 0;
}

// BITMAPINFOHEADER: the core fields at 32-bit width, then compression, image
// size, the two resolutions (unused), colours used and colours important (unused).
int ReadInfoHeader(ByteCursor* cursor, DibHeader* header) {
    if (ReadDibDimensions(cursor, header) != 0 || header->header_size < kInfoHeaderSize) return -1;
    if (ReadU16Le(cursor, &header->planes) != 0 || ReadU16Le(cursor, &header->bit_count) != 0 ||
        ReadU32Le(cursor, &header->compression) != 0 || ReadU32Le(cursor, &header->image_size) != 0 ||
        SkipBytes(cursor, 8) != 0 || ReadU32Le(cursor, &header->colours_used) != 0 || SkipBytes(cursor, 4) != 0)
        return -1;
    header->kind = DIB_HEADER_INFO;
    return 0;
}

// BITMAPV4HEADER: the info header, its red, green and blue masks, then the
// alpha mask, the colour space, its end points and gammas (unused).
int ReadV4Header(ByteCursor* cursor, DibHeader* header) {
    if (ReadInfoHeader(cursor, header) != 0 || header->header_size < kV4HeaderSize) return -1;
    if (ReadMaskFields(cursor, header) != 0 || SkipBytes(cursor, 4 + 4 + 36 + 12) != 0) return -1;
    header->kind = DIB_HEADER_V4;
    return 0;
}

// BITMAPV5HEADER: the V4 header, then the intent and the profile's place,
// size and a reserved word (unused).
int ReadV5Header(ByteCursor* cursor, DibHeader* header) {
    if (ReadV4Header(cursor, header) != 0 || header->header_size < kV5HeaderSize) return -1;
    if (SkipBytes(cursor, 16) != 0) return -1;
    header->kind = DIB_HEADER_V5;
    return 0;
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
    if (size == kCoreHeaderSize) return ReadCoreHeader(cursor, header);
    if (size >= kV5HeaderSize) return ReadV5Header(cursor, header);
    if (size >= kV4HeaderSize) return ReadV4Header(cursor, header);
    if (size >= kInfoHeaderSize) return ReadInfoHeader(cursor, header);
    return -1;
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
