// The windowing system of a build without one: no foreign window is ever
// found, so the window modes fail with -1 as they do on X11 without a
// display, and the drawing conversion, which needs no window, is unchanged.
#include "../gdi/foreign_window.h"

HWND ForeignWindowAtPoint(int32_t x, int32_t y) {
    (void)x;
    (void)y;
    return nullptr;
}

int ForeignWindowSize(HWND window, int32_t* width, int32_t* height) {
    (void)window;
    (void)width;
    (void)height;
    return -1;
}

int ReadForeignPixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t* words) {
    (void)window;
    (void)x;
    (void)y;
    (void)width;
    (void)height;
    (void)words;
    return -1;
}

int WriteForeignPixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, const uint32_t* words,
                       int32_t stride_words) {
    (void)window;
    (void)x;
    (void)y;
    (void)width;
    (void)height;
    (void)words;
    (void)stride_words;
    return -1;
}
