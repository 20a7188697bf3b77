// Pictures written for people and for other programs: what blitview made or
// would show, as a PNG or a binary PPM. The inspector and the demo's host
// window both write through here; nothing of blitview itself does.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

// The forms of a picture: PNG, compressed, for people and image software;
// binary PPM (P6), the pixels as they are after a header of a few bytes, for
// hosts that take them without a decoder.
enum PictureForm {
    PICTURE_PNG,
    PICTURE_PPM,
};

// Each writes 32-bit pixels (0x00RRGGBB words, `stride_words` a row, first
// row on top) as an 8-bit RGB picture to an open stream that stays open, and
// flushes it. 0 or -1.
int WritePngStream(FILE* out, const uint32_t* words, int32_t stride_words, int32_t width, int32_t height);
// The header is "P6\n", the width, a blank, the height, "\n255\n", the
// numbers in decimal; red, green and blue bytes follow, row by row.
int WritePpmStream(FILE* out, const uint32_t* words, int32_t stride_words, int32_t width, int32_t height);
int WritePictureStream(FILE* out, PictureForm form, const uint32_t* words, int32_t stride_words, int32_t width,
                       int32_t height);

// Writes the picture in `form` at `path`: in full or not at all, through a
// new file in the same directory renamed into place. 0, or -1 with the
// reason in `error`.
int SavePicture(const char* path, PictureForm form, const uint32_t* words, int32_t stride_words, int32_t width,
                int32_t height, char* error, size_t error_size);
