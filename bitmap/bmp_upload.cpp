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
#include "../reading/reading.h"
#include "internal.h"

namespace {

// CheckDibExtent for a header at byte `info_at` of a file and pixel data at
// byte `pixels_at`, the bytes a reason names.
int MeasureDibExtent(const void* info, uint64_t info_bytes, uint64_t pixel_bytes, int64_t info_at, int64_t pixels_at) {
    ByteCursor cursor = MakeCursor(info, info_bytes < SIZE_MAX ? static_cast<size_t>(info_bytes) : SIZE_MAX);
    const unsigned long long held = info_bytes;
    uint32_t declared = 0;
    ByteCursor size_cursor = cursor;
    if (ReadU32Le(&size_cursor, &declared) != 0) {
        NoteStop(info_at, "the file ends before the header's size");
        return -1;
    }
    if (declared > info_bytes) {
        NoteStop(info_at, "the header declares %lu bytes; %llu remain", static_cast<unsigned long>(declared), held);
        return -1;
    }
    DibHeader header;
    // No header of another size is uploaded anywhere; what GDI would make of
    // one is unknown, so it is not handed on.
    if (ReadDibHeader(&cursor, &header) != 0) {
        NoteStop(info_at, "a header of %lu bytes has no form that GDI takes", static_cast<unsigned long>(declared));
        return -1;
    }
    if (header.compression == BI_BITFIELDS && ReadDibMasks(&cursor, &header) != 0) {
        NoteStop(info_at + 40, "the bit-field masks need 12 bytes after the header's first 40; %llu remain",
                 held > 40 ? held - 40 : 0);
        return -1;
    }

    const uint64_t entries = DibReachableColourCount(&header);
    const uint64_t table_bytes = entries * DibColourEntrySize(&header);
    if (header.header_size + table_bytes > info_bytes) {
        NoteStop(info_at + header.header_size, "the colour table of %llu entries needs %llu bytes; %llu remain",
                 static_cast<unsigned long long>(entries), static_cast<unsigned long long>(table_bytes),
                 held - header.header_size);
        return -1;
    }

    if (header.compression == BI_RGB || header.compression == BI_BITFIELDS) {
        if (header.width <= 0 || header.height == 0) return 0;  // refused before any pixel is read
        uint64_t rows = static_cast<uint64_t>(header.height < 0 ? -header.height : header.height);
        uint64_t stride = (static_cast<uint64_t>(header.width) * header.bit_count + 31) / 32 * 4;
        if (stride > pixel_bytes / rows) {
            NoteStop(pixels_at, "the pixel data declares %llu rows of %llu bytes; %llu remain",
                     static_cast<unsigned long long>(rows), static_cast<unsigned long long>(stride),
                     static_cast<unsigned long long>(pixel_bytes));
            return -1;
        }
        return 0;
    }
    // Compressed data of any kind: the stream's declared length.
    if (header.image_size > pixel_bytes) {
        NoteStop(pixels_at, "the compressed data declares %lu bytes; %llu remain",
                 static_cast<unsigned long>(header.image_size), static_cast<unsigned long long>(pixel_bytes));
        return -1;
    }
    return 0;
}

}  // namespace

int CheckDibExtent(const void* info, uint64_t info_bytes, uint64_t pixel_bytes) {
    return MeasureDibExtent(info, info_bytes, pixel_bytes, 0, static_cast<int64_t>(info_bytes));
}

int UploadLoadedBitmap(HDC dc, HBITMAP bitmap, const LoadedBitmap* record) {
    if (!record || !record->buffer) {
        NoteStop(-1, "no file is loaded");
        return 0;
    }
    // The reader accepted the file only with bfSize equal to the block's length.
    ByteCursor cursor = MakeCursor(record->buffer, 14);
    uint32_t length = 0, offset = 0;
    if (SeekCursor(&cursor, 2) != 0 || ReadU32Le(&cursor, &length) != 0 || length < 18) {
        NoteStop(2, "the file ends before the header's size");
        return 0;
    }
    if (SeekCursor(&cursor, 10) != 0 || ReadU32Le(&cursor, &offset) != 0 || offset > length) {
        NoteStop(10, "bfOffBits %lu lies past the file's end at byte %lu", static_cast<unsigned long>(offset),
                 static_cast<unsigned long>(length));
        return 0;
    }
    if (MeasureDibExtent(record->buffer + 14, length - 14, length - offset, 14, offset) != 0) return 0;
    return SetDIBits(dc, bitmap, 0, static_cast<UINT>(record->height), record->pixels, record->info,
                     DIB_RGB_COLORS);
}
