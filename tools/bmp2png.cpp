// Writes the picture of a BMP made by "blitview -f" as a PNG for a person to
// look at. Those BMPs store the top row first under a positive height, so the
// rows are written in stored order to come out upright.
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../platform/bytes.h"

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

// Rows are written in stored order. Nothing that setjmp must preserve is
// changed after it is called.
static int WritePng(const char* path, const unsigned char* pixels, size_t stride, int32_t width,
                    int32_t height, int step) {
    FILE* out = fopen(path, "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    unsigned char* row = static_cast<unsigned char*>(malloc(static_cast<size_t>(width) * 3));
    if (!out || !png || !info || !row || setjmp(png_jmpbuf(png))) {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
        if (out) fclose(out);
        free(row);
        return -1;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; y++) {
        const unsigned char* source = pixels + stride * static_cast<size_t>(y);
        for (int32_t x = 0; x < width; x++) {
            row[x * 3 + 0] = source[x * step + 2];
            row[x * 3 + 1] = source[x * step + 1];
            row[x * 3 + 2] = source[x * step + 0];
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    free(row);
    return fclose(out) == 0 ? 0 : -1;
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
