// Loads BMP files with the reader and uploads each one as the bitmap view
// does: into a fresh screen-compatible bitmap of the picture's size, selected
// into a memory context, through the bounded upload. Prints one line a file:
//
//   NAME load-refused
//   NAME no-bitmap
//   NAME LINES WIDTHxHEIGHT HASH     (FNV-1a 64 of the bitmap's bytes, top row first)
//
// Built twice from this one source: against our platform layer, and with
// MinGW-w64 against the real GDI, run under Wine. The two outputs must agree.
//
//   upload_probe DIRECTORY NAME...   (files are DIRECTORY/NAME)
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bitmap/bitmap.h"
#include "tests/fixtures/canvas.h"

namespace {

void ProbeFile(const char* directory, const char* name, HDC screen) {
    char path[1024];
    snprintf(path, sizeof path, "%s/%s", directory, name);
    LoadedBitmap picture;
    if (LoadBmpFile(&picture, path) != 0) {
        printf("%s load-refused\n", name);
        return;
    }
    int32_t width = picture.width < 0 ? -picture.width : picture.width;
    uint64_t size = static_cast<uint64_t>(width) * static_cast<uint64_t>(picture.height) * 4;
    unsigned char* bytes = size > 0 && size <= 0x7FFFFFFF ? static_cast<unsigned char*>(malloc(static_cast<size_t>(size))) : nullptr;
    if (!bytes) {
        printf("%s no-bitmap\n", name);
    } else {
        Canvas canvas(width, picture.height, screen);
        if (!canvas.dc || !canvas.bitmap) {
            printf("%s no-bitmap\n", name);
        } else {
            int lines = UploadLoadedBitmap(canvas.dc, canvas.bitmap, &picture);
            LONG got = GetBitmapBits(canvas.bitmap, static_cast<LONG>(size), bytes);
            printf("%s %d %dx%d %016llx\n", name, lines, static_cast<int>(width), static_cast<int>(picture.height),
                   static_cast<unsigned long long>(got == static_cast<LONG>(size) ? HashBytes(bytes, size) : 0));
        }
    }
    free(bytes);
    FreeBmpFile(&picture);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: upload_probe DIRECTORY NAME...\n");
        return 2;
    }
    HDC screen = GetDC(nullptr);
    if (!screen) return 1;
    for (int i = 2; i < argc; i++) ProbeFile(argv[1], argv[i], screen);
    ReleaseDC(nullptr, screen);
    fflush(stdout);
    return 0;
}
