// Bounding the upload of a loaded BMP file.
//
// SetDIBits takes a header and a pixel pointer but no byte count: it reads as
// much as the header declares. The reader keeps files as they are, so a file
// may declare a colour table, a pixel array or a compressed stream longer than
// itself. Rather than refuse such files at load time (which would keep the
// view from drawing its box at all), the upload measures what the header
// declares against the block the file was read into, and a file that declares
// more than it holds is not handed to SetDIBits: the view sees a refused
// upload, as for any form GDI itself refuses. The measure follows what the
// reference GDI reads, and errs on the side of reading less.
#include "bitmap.h"

int CheckDibExtent(const void* info, uint64_t info_bytes, uint64_t pixel_bytes) {
    ByteCursor cursor = MakeCursor(info, info_bytes < SIZE_MAX ? static_cast<size_t>(info_bytes) : SIZE_MAX);
    uint32_t header_size = 0;
    if (ReadU32Le(&cursor, &header_size) != 0 || header_size > info_bytes) return -1;
    int core = header_size == 12;
    int64_t width = 0, height = 0;
    uint16_t planes = 0, bit_count = 0;
    uint32_t compression = BI_RGB, image_size = 0, colours_used = 0;
    if (core) {
        uint16_t w = 0, h = 0;
        ReadU16Le(&cursor, &w);
        ReadU16Le(&cursor, &h);
        ReadU16Le(&cursor, &planes);
        ReadU16Le(&cursor, &bit_count);
        width = w;
        height = h;
    } else if (header_size >= 40) {
        int32_t w = 0, h = 0;
        uint32_t skipped = 0;
        ReadI32Le(&cursor, &w);
        ReadI32Le(&cursor, &h);
        ReadU16Le(&cursor, &planes);
        ReadU16Le(&cursor, &bit_count);
        ReadU32Le(&cursor, &compression);
        ReadU32Le(&cursor, &image_size);
        ReadU32Le(&cursor, &skipped);
        ReadU32Le(&cursor, &skipped);
        ReadU32Le(&cursor, &colours_used);
        width = w;
        height = h;
        // The masks are read after the first 40 bytes of any info header.
        if (compression == BI_BITFIELDS && info_bytes < 52) return -1;
    } else {
        // No other header size is uploaded anywhere; what GDI would make of
        // one is unknown, so it is not handed on.
        return -1;
    }

    if (bit_count >= 1 && bit_count <= 8) {
        uint64_t full = 1ull << bit_count;
        uint64_t entries = core || colours_used == 0 || colours_used > full ? full : colours_used;
        if (header_size + entries * (core ? 3 : 4) > info_bytes) return -1;
    }

    if (compression == BI_RGB || compression == BI_BITFIELDS) {
        if (width <= 0 || height == 0) return 0;  // refused before any pixel is read
        uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
        uint64_t stride = (static_cast<uint64_t>(width) * bit_count + 31) / 32 * 4;
        if (stride > pixel_bytes / rows) return -1;
        return 0;
    }
    // Compressed data of any kind: the stream's declared length.
    return image_size <= pixel_bytes ? 0 : -1;
}

int UploadLoadedBitmap(HDC dc, HBITMAP bitmap, const LoadedBitmap* record) {
    if (!record || !record->buffer) return 0;
    // The reader accepted the file only with bfSize equal to the block's length.
    ByteCursor cursor = MakeCursor(record->buffer, 14);
    uint32_t length = 0, offset = 0;
    if (SeekCursor(&cursor, 2) != 0 || ReadU32Le(&cursor, &length) != 0 || length < 18) return 0;
    if (SeekCursor(&cursor, 10) != 0 || ReadU32Le(&cursor, &offset) != 0 || offset > length) return 0;
    if (CheckDibExtent(record->buffer + 14, length - 14, length - offset) != 0) return 0;
    return SetDIBits(dc, bitmap, 0, static_cast<UINT>(record->height), record->pixels, record->info,
                     DIB_RGB_COLORS);
}
