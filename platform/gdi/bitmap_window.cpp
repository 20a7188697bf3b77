// Windows over memory bitmaps. A program that renders a box without a window
// to draw into (the inspector) lends the views such a window: its window DC
// is a window DC like any other, with the same shadow, kept polylines and
// settling, and only its pixels come from a 32-bit device bitmap instead of
// the windowing system. What the views draw there takes the path it takes
// into a foreign window, and costs what it costs there.
#include <stdlib.h>
#include <string.h>

#include "../handle_table.h"
#include "gdi.h"

namespace {

// Told apart from the windowing system's handles by being in this table.
struct BitmapWindow {
    HBITMAP bitmap;
};

HandleTable g_bitmap_windows = {};

// The device bitmap's pixels behind a window of this table: 0, or -1 for
// any other window, or a bitmap that is gone or was never one of 32 bits.
int PixelsOf(HWND window, DeviceBitmapWords* words) {
    const int index = FindHandle(&g_bitmap_windows, window);
    if (index < 0) return -1;
    const BitmapWindow* held = static_cast<const BitmapWindow*>(g_bitmap_windows.entries[index].handle);
    return GetDeviceBitmapWords(held->bitmap, words);
}

// Whether `x`, `y`, `width` x `height` lies inside the bitmap, as a window
// transfer must.
int Inside(const DeviceBitmapWords& words, int32_t x, int32_t y, int32_t width, int32_t height) {
    return x >= 0 && y >= 0 && width >= 0 && height >= 0 && static_cast<int64_t>(x) + width <= words.width &&
           static_cast<int64_t>(y) + height <= words.height;
}

}  // namespace

HWND CreateBitmapWindow(HBITMAP bitmap) {
    DeviceBitmapWords words;
    if (GetDeviceBitmapWords(bitmap, &words) != 0) return nullptr;
    BitmapWindow* window = static_cast<BitmapWindow*>(malloc(sizeof(BitmapWindow)));
    if (!window) return nullptr;
    window->bitmap = bitmap;
    if (AddHandle(&g_bitmap_windows, window, 0) != 0) {
        free(window);
        return nullptr;
    }
    return reinterpret_cast<HWND>(window);
}

BOOL DestroyBitmapWindow(HWND window) {
    if (RemoveHandle(&g_bitmap_windows, window) != 0) return FALSE;
    free(window);
    return TRUE;
}

int CountBitmapWindows(void) {
    return g_bitmap_windows.count;
}

int WindowSize(HWND window, int32_t* width, int32_t* height) {
    if (FindHandle(&g_bitmap_windows, window) < 0) return ForeignWindowSize(window, width, height);
    DeviceBitmapWords words;
    if (PixelsOf(window, &words) != 0) return -1;
    *width = words.width;
    *height = words.height;
    return 0;
}

int ReadWindowPixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t* out) {
    if (FindHandle(&g_bitmap_windows, window) < 0) return ReadForeignPixels(window, x, y, width, height, out);
    DeviceBitmapWords words;
    if (PixelsOf(window, &words) != 0 || !Inside(words, x, y, width, height)) return -1;
    // A window holds colours alone, as a foreign window's pixels read back.
    for (int32_t row = 0; row < height; row++) {
        const uint32_t* from = words.words + static_cast<size_t>(y + row) * words.stride_words + x;
        uint32_t* to = out + static_cast<size_t>(row) * width;
        for (int32_t column = 0; column < width; column++) to[column] = from[column] & 0x00FFFFFF;
    }
    return 0;
}

int WriteWindowPixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, const uint32_t* in,
                      int32_t stride_words) {
    if (FindHandle(&g_bitmap_windows, window) < 0)
        return WriteForeignPixels(window, x, y, width, height, in, stride_words);
    DeviceBitmapWords words;
    if (PixelsOf(window, &words) != 0 || !Inside(words, x, y, width, height)) return -1;
    for (int32_t row = 0; row < height; row++)
        memcpy(words.words + static_cast<size_t>(y + row) * words.stride_words + x,
               in + static_cast<size_t>(row) * stride_words, sizeof(uint32_t) * static_cast<size_t>(width));
    return 0;
}
