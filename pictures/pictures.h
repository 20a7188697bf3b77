// Pictures written for people and for other programs: what blitview made or
// would show, as a PNG. The inspector and the demo's host window both write
// through here; nothing of blitview itself does.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

// Writes rows of blue, green, red bytes (`step` bytes a pixel, `stride`
// bytes a row) as an RGB PNG, first row on top, to an open stream that stays
// open. 0 or -1.
int WritePngStream(FILE* out, const unsigned char* pixels, size_t stride, int32_t width, int32_t height, int step);

// Writes 32-bit pixels (0x00RRGGBB words, `stride_words` a row, first row on
// top) as a PNG at `path`: in full or not at all, through a new file in the
// same directory renamed into place. 0, or -1 with the reason in `error`.
int SavePicture(const char* path, const uint32_t* words, int32_t stride_words, int32_t width, int32_t height,
                char* error, size_t error_size);
