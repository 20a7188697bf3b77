// Pictures as PNG files, through libpng.
#include <png.h>
#include <stdlib.h>

#include "pictures.h"

// Nothing that setjmp must preserve is changed after it is called.
int WritePngStream(FILE* out, const uint32_t* words, int32_t stride_words, int32_t width, int32_t height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    unsigned char* row = static_cast<unsigned char*>(malloc(static_cast<size_t>(width) * 3));
    if (!png || !info || !row || setjmp(png_jmpbuf(png))) {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
        free(row);
        return -1;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // Written for speed: a host may render on every resize. The UP filter
    // turns the rows that repeat, as a stretched picture's and a flat
    // background's do, into zeros that zlib's fastest level packs well
    // enough; the filters' search and the default level cost several times
    // the drawing itself.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; y++) {
        const uint32_t* source = words + static_cast<size_t>(stride_words) * static_cast<size_t>(y);
        for (int32_t x = 0; x < width; x++) {
            row[x * 3 + 0] = static_cast<unsigned char>(source[x] >> 16);
            row[x * 3 + 1] = static_cast<unsigned char>(source[x] >> 8);
            row[x * 3 + 2] = static_cast<unsigned char>(source[x]);
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    free(row);
    return fflush(out) == 0 && !ferror(out) ? 0 : -1;
}
