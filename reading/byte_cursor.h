// Bounds-checked reading of little-endian binary input, the same on every
// platform. Every reader returns 0 and advances, or returns -1 and leaves the
// cursor where it was when fewer bytes remain than it needs.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>

struct ByteCursor {
    const unsigned char* data;
    size_t size;
    size_t position;
};

inline ByteCursor MakeCursor(const void* data, size_t size) {
    ByteCursor cursor = {static_cast<const unsigned char*>(data), size, 0};
    return cursor;
}

inline size_t CursorRemaining(const ByteCursor* cursor) {
    return cursor->position <= cursor->size ? cursor->size - cursor->position : 0;
}

// Moves to an absolute position: 0, or -1 when it lies past the end.
inline int SeekCursor(ByteCursor* cursor, size_t position) {
    if (position > cursor->size) return -1;
    cursor->position = position;
    return 0;
}

inline int ReadU16Le(ByteCursor* cursor, uint16_t* value) {
    if (CursorRemaining(cursor) < 2) return -1;
    const unsigned char* p = cursor->data + cursor->position;
    *value = static_cast<uint16_t>(p[0] | (p[1] << 8));
    cursor->position += 2;
    return 0;
}

inline int ReadI16Le(ByteCursor* cursor, int16_t* value) {
    uint16_t raw;
    if (ReadU16Le(cursor, &raw) != 0) return -1;
    *value = static_cast<int16_t>(raw);
    return 0;
}

inline int ReadU32Le(ByteCursor* cursor, uint32_t* value) {
    if (CursorRemaining(cursor) < 4) return -1;
    const unsigned char* p = cursor->data + cursor->position;
    *value = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
             (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    cursor->position += 4;
    return 0;
}

inline int ReadI32Le(ByteCursor* cursor, int32_t* value) {
    uint32_t raw;
    if (ReadU32Le(cursor, &raw) != 0) return -1;
    *value = static_cast<int32_t>(raw);
    return 0;
}

// Reads up to `size` bytes from a stream: how many it read, fewer only where
// the stream ends or fails. The readers take a few bytes at a time from a
// stream that only this thread uses: where the C library offers it, the read
// skips the stream's lock, which would otherwise cost more than copying the
// bytes, and a read of a few bytes takes them from the stream's buffer one
// by one, which costs less than the library's general copy. They are
// gathered in a register and stored at once: bytes stored one by one and
// read back as wider numbers would make each such read wait.
inline size_t ReadStreamUpTo(FILE* stream, void* buffer, size_t size) {
#ifdef __GLIBC__
    if (size <= 8) {
        unsigned char* bytes = static_cast<unsigned char*>(buffer);
        uint64_t gathered = 0;
        size_t read = 0;
        for (; read < size; read++) {
            const int byte = getc_unlocked(stream);
            if (byte == EOF) break;
            gathered |= static_cast<uint64_t>(byte) << (8 * read);
        }
        // A whole read of a size known here, a record's head or a point, is
        // one store.
        if (read == size) {
            for (size_t i = 0; i < size; i++) bytes[i] = static_cast<unsigned char>(gathered >> (8 * i));
            return size;
        }
        for (size_t i = 0; i < read; i++) bytes[i] = static_cast<unsigned char>(gathered >> (8 * i));
        return read;
    }
    return fread_unlocked(buffer, 1, size, stream);
#else
    return fread(buffer, 1, size, stream);
#endif
}

// Reads exactly `size` bytes from a stream: 0, or -1 when the stream ends first.
inline int ReadStreamExact(FILE* stream, void* buffer, size_t size) {
    return ReadStreamUpTo(stream, buffer, size) == size ? 0 : -1;
}

// How many bytes a stream of a regular file still holds: 0 and *left, or -1
// when that cannot be known (a pipe, say).
inline int StreamBytesLeft(FILE* stream, uint64_t* left) {
#ifdef _WIN32
    struct _stati64 status;
    if (_fstati64(_fileno(stream), &status) != 0 || !(status.st_mode & _S_IFREG)) return -1;
    long long position = _ftelli64(stream);
#else
    struct stat status;
    if (fstat(fileno(stream), &status) != 0 || !S_ISREG(status.st_mode)) return -1;
    long long position = ftello(stream);
#endif
    if (position < 0) return -1;
    *left = status.st_size > position ? static_cast<uint64_t>(status.st_size - position) : 0;
    return 0;
}
