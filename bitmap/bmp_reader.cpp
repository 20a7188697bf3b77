// The BMP reader: the whole file in one block of exactly its length, checked
// only as far as the bitmap view needs, with pointers at its header and pixels.
#include <string.h>

#include "../reading/reading.h"
#include "bitmap.h"

namespace {

// The fields the reader relies on: "BM", a bfSize equal to the block's length,
// and the picture's size. A block too short to hold them is refused too.
int ReadFileFields(const unsigned char* block, DWORD length, LoadedBitmap* record) {
    ByteCursor cursor = MakeCursor(block, length);
    uint16_t mark = 0;
    uint32_t size = 0, offset = 0;
    if (ReadU16Le(&cursor, &mark) != 0 || mark != 0x4D42) {
        NoteStop(0, "the file does not start with \"BM\"");
        return -1;
    }
    if (ReadU32Le(&cursor, &size) != 0) {
        NoteStop(2, "the file ends at byte %lu, inside bfSize", static_cast<unsigned long>(length));
        return -1;
    }
    if (size != length) {
        NoteStop(2, "bfSize says %lu bytes; the file holds %lu", static_cast<unsigned long>(size),
                 static_cast<unsigned long>(length));
        return -1;
    }
    // A file that says it is shorter than its own header is refused here,
    // before any field past its end is read.
    if (SeekCursor(&cursor, 10) != 0 || ReadU32Le(&cursor, &offset) != 0) {
        NoteStop(2, "bfSize says %lu bytes, fewer than the 14-byte file header", static_cast<unsigned long>(size));
        return -1;
    }
    // Only the picture's size is read here; the rest of the header is the
    // upload's to measure.
    DibHeader header;
    if (ReadDibDimensions(&cursor, &header) != 0) {
        NoteStop(14, "the file ends at byte %lu, before the picture's width and height",
                 static_cast<unsigned long>(length));
        return -1;
    }
    // The one height whose row count does not fit the field.
    if (header.height == INT32_MIN) {
        NoteStop(22, "the height -2147483648 has no row count");
        return -1;
    }
    record->width = static_cast<int32_t>(header.width);
    record->height = static_cast<int32_t>(header.height < 0 ? -header.height : header.height);
    record->info = reinterpret_cast<const BITMAPINFO*>(block + 14);
    // An offset past the block is kept at its end; the upload refuses such
    // a file before it reads a pixel.
    record->pixels = block + (offset <= length ? offset : length);
    return 0;
}

// The whole open file in one new heap block: 0, or -1 with the reason noted
// and nothing held.
int ReadWholeFile(HANDLE file, unsigned char** whole, DWORD* whole_length) {
    // A file of 4 GiB or more is refused here: its low 32 bits alone could
    // pass for the length of a small, valid BMP at its start.
    DWORD high = 0;
    DWORD length = GetFileSize(file, &high);
    if (length == INVALID_FILE_SIZE || high != 0) {
        NoteStop(-1, high != 0 ? "the file holds 4 GiB or more" : "the file's length cannot be had");
        return -1;
    }
    unsigned char* block = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, length));
    if (!block) {
        NoteStop(-1, "no memory for the file's %lu bytes", static_cast<unsigned long>(length));
        MessageBoxA(GetFocus(), "Unable to allocate memory for image data.", "Error", MB_OK | MB_ICONERROR);
        return -1;
    }
    DWORD read_count = 0;
    BOOL read = ReadFile(file, block, length, &read_count, nullptr);
    if (!read || read_count != length) {
        NoteStop(-1, "only %lu of the file's %lu bytes could be read",
                 static_cast<unsigned long>(read ? read_count : 0), static_cast<unsigned long>(length));
        HeapFree(GetProcessHeap(), 0, block);
        return -1;
    }
    *whole = block;
    *whole_length = length;
    return 0;
}

}  // namespace

int LoadBmpFile(LoadedBitmap* record, const char* path) {
    if (!record || !path || path[0] == '\0') {
        NoteStop(-1, "no path given");
        return -1;
    }
    memset(record, 0, sizeof *record);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        NoteStop(-1, "the file cannot be opened");
        return -1;
    }
    unsigned char* block = nullptr;
    DWORD length = 0;
    int result = ReadWholeFile(file, &block, &length);
    CloseHandle(file);
    if (result == 0 && ReadFileFields(block, length, record) != 0) {
        HeapFree(GetProcessHeap(), 0, block);
        memset(record, 0, sizeof *record);
        result = -1;
    }
    if (result == 0) record->buffer = block;
    return result;
}

void FreeBmpFile(LoadedBitmap* record) {
    if (!record || !record->buffer) return;
    HeapFree(GetProcessHeap(), 0, record->buffer);
    memset(record, 0, sizeof *record);
}
