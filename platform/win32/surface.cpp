// Device bitmaps stay behind GDI on Windows: every pixel goes through SetPixel.
#include "../platform.h"

int GetDirectSurface(HDC dc, DirectSurface* surface) {
    (void)dc;
    (void)surface;
    return -1;
}
