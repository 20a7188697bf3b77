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
#include "../platform/dib_header.h"
#include "internal.h"

int CheckDibExtent(const void* info, uint64_t info_bytes, uint64_t pixel_bytes) {
    ByteCursor cursor = MakeCursor(info, info_bytes < SIZE_MAX ? static_cast<size_t>(info_bytes) : SIZE_MAX);
    DibHeader header;
    // No header of another size is uploaded anywhere; what GDI would make of
    // one is unknown, so it is not handed on.
    if (ReadDibHeader(&cursor, &header) != 0) return -1;
    if (header.compression == BI_BITFIELDS && ReadDibMasks(&cursor, &header) != 0) return -1;

    const uint64_t entries = DibColourCount(&header);
    if (header.header_size + entries * DibColourEntrySize(&header) > info_bytes) return -1;

    if (header.compression == BI_RGB || header.compression == BI_BITFIELDS) {
        if (header.width <= 0 || header.height == 0) return 0;  // refused before any pixel is read
        uint64_t rows = static_cast<uint64_t>(header.height < 0 ? -header.height : header.height);
        uint64_t stride = (static_cast<uint64_t>(header.width) * header.bit_count + 31) / 32 * 4;
        if (stride > pixel_bytes / rows) return -1;
        return 0;
    }
    // Compressed data of any kind: the stream's declared length.
    return header.image_size <= pixel_bytes ? 0 : -1;
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
