// The windowing system of a build without one: no foreign window is ever
// found, so the window modes fail with -1 as they do on X11 without a
// display, and the drawing conversion, which needs no window, is unchanged.
#include "../gdi/foreign_window.h"

HWND ForeignWindowAtPoint(int32_t, int32_t) {
    return nullptr;
}

int ForeignWindowSize(HWND, int32_t*, int32_t*) {
    return -1;
}

int ReadForeignPixels(HWND, int32_t, int32_t, int32_t, int32_t, uint32_t*) {
    return -1;
}

int WriteForeignPixels(HWND, int32_t, int32_t, int32_t, int32_t, const uint32_t*, int32_t) {
    return -1;
}
