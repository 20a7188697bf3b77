// Writes the picture of a BMP made by "blitview -f" as a PNG for a person to
// look at. Those BMPs store the top row first under a positive height, so the
// rows are written in stored order to come out upright.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../platform/bytes.h"
#include "png_writer.h"

static unsigned char* ReadWholeFile(const char* path, size_t* size) {
    FILE* f = fopen(path, "rb");
    if (!f) return nullptr;
    unsigned char* data = nullptr;
    size_t used = 0, capacity = 0;
    for (;;) {
        if (used == capacity) {
            capacity = capacity ? capacity * 2 : 1 << 20;
            unsigned char* grown = static_cast<unsigned char*>(realloc(data, capacity));
            if (!grown) break;
            data = grown;
        }
        size_t n = fread(data + used, 1, capacity - used, f);
        used += n;
        if (n == 0) break;
    }
    int failed = ferror(f);
    fclose(f);
    if (failed) {
        free(data);
        return nullptr;
    }
    *size = used;
    return data;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: bmp2png IN.bmp OUT.png\n");
        return 2;
    }
    size_t size = 0;
    unsigned char* file = ReadWholeFile(argv[1], &size);
    if (!file) {
        fprintf(stderr, "bmp2png: cannot read %s\n", argv[1]);
        return 1;
    }
    ByteCursor c = MakeCursor(file, size);
    uint16_t type, bit_count;
    uint32_t file_size, reserved, offset, header_size;
    int32_t width, height;
    uint16_t planes;
    if (ReadU16Le(&c, &type) || ReadU32Le(&c, &file_size) || ReadU32Le(&c, &reserved) ||
        ReadU32Le(&c, &offset) || ReadU32Le(&c, &header_size) || ReadI32Le(&c, &width) ||
        ReadI32Le(&c, &height) || ReadU16Le(&c, &planes) || ReadU16Le(&c, &bit_count) ||
        type != 0x4D42 || width <= 0 || height <= 0 || (bit_count != 32 && bit_count != 24)) {
        fprintf(stderr, "bmp2png: %s is not a 24- or 32-bit BMP\n", argv[1]);
        free(file);
        return 1;
    }
    size_t stride = ((static_cast<size_t>(width) * bit_count + 31) / 32) * 4;
    if (offset > size || stride * static_cast<size_t>(height) > size - offset) {
        fprintf(stderr, "bmp2png: %s is cut short\n", argv[1]);
        free(file);
        return 1;
    }
    int result = WritePng(argv[2], file + offset, stride, width, height, bit_count / 8);
    free(file);
    if (result != 0) {
        fprintf(stderr, "bmp2png: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
