// BMP files of any content, loaded and uploaded into a device bitmap of
// their size, as the bitmap view does.
#include "bitmap/bitmap.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = FuzzFile(data, size);
    if (!path) return 0;
    LoadedBitmap picture;
    if (LoadBmpFile(&picture, path) != 0) {
        CheckNothingLive();
        return 0;
    }
    // Pictures too large to hold here are loaded and checked, not uploaded.
    const int64_t width = picture.width;
    const int64_t pixels = (width < 0 ? -width : width) * picture.height;
    if (pixels > (1 << 30)) {
        // The view's device bitmap for them is over 4 GiB: refused, with no
        // size wrapping on the way.
        HDC screen = GetDC(nullptr);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, picture.width, picture.height);
        ReleaseDC(nullptr, screen);
        if (bitmap) abort();
    } else if (pixels > 0 && pixels <= (1 << 18)) {
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, picture.width, picture.height);
        ReleaseDC(nullptr, screen);
        HGDIOBJ previous = SelectObject(dc, bitmap);
        UploadLoadedBitmap(dc, bitmap, &picture);
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    FreeBmpFile(&picture);
    CheckNothingLive();
    return 0;
}
