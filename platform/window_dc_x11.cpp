// The window-DC bridge over X11: GetDC and ReleaseDC for foreign windows,
// and the drawing calls that land in one, which read the part of the window
// they touch, paint it with the same primitives as a memory DC and write it back.
#include <stdlib.h>

#include "gdi_internal.h"

HDC GetDC(HWND window) {
    if (!window) return reinterpret_cast<HDC>(NewDc(DC_SCREEN));
    int32_t width, height;
    if (X11WindowSize(window, &width, &height) != 0) return nullptr;
    SoftDc* dc = NewDc(DC_WINDOW);
    if (dc) dc->window = window;
    return reinterpret_cast<HDC>(dc);
}

int ReleaseDC(HWND window, HDC handle) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc || dc->dc_kind == DC_MEMORY || dc->window != window) return 0;
    FreeDc(dc);
    return 1;
}

HWND WindowFromPoint(POINT point) {
    return X11WindowAtPoint(point.x, point.y);
}

// A block of a memory DC's bitmap copied into a foreign window in one
// transfer: only what lies inside both the window and the source bitmap.
BOOL CopyToWindow(SoftDc* dc, int x, int y, int width, int height, SoftDc* source, int source_x, int source_y) {
    SoftBitmap* from = source->bitmap;
    int32_t window_width, window_height;
    if (!from || from->bits_per_pixel != 32 || width <= 0 || height <= 0 ||
        X11WindowSize(dc->window, &window_width, &window_height) != 0)
        return TRUE;
    const int64_t shift_x = static_cast<int64_t>(source_x) - x, shift_y = static_cast<int64_t>(source_y) - y;
    Area copied = {x, y, static_cast<int64_t>(x) + width, static_cast<int64_t>(y) + height};
    const Area inside_window = {0, 0, window_width, window_height};
    const Area inside_source = {-shift_x, -shift_y, from->width - shift_x, from->height - shift_y};
    if (!CutArea(&copied, inside_window) || !CutArea(&copied, inside_source)) return TRUE;
    const int64_t left = copied.left, top = copied.top, right = copied.right, bottom = copied.bottom;
    const size_t columns = static_cast<size_t>(right - left), rows = static_cast<size_t>(bottom - top);
    uint32_t* block = static_cast<uint32_t*>(malloc(columns * rows * 4));
    if (!block) return FALSE;
    // A window shows colours, not the fourth byte.
    for (size_t r = 0; r < rows; r++) {
        const uint32_t* line = RowWords(from, static_cast<int>(top + shift_y + static_cast<int64_t>(r))) + left + shift_x;
        for (size_t c = 0; c < columns; c++) block[r * columns + c] = line[c] & 0x00FFFFFF;
    }
    int written = X11WritePixels(dc->window, static_cast<int32_t>(left), static_cast<int32_t>(top),
                                 static_cast<int32_t>(columns), static_cast<int32_t>(rows), block,
                                 static_cast<int32_t>(columns));
    free(block);
    return written == 0;
}

// Lines straight into a foreign window: the part of the window they can
// touch, cut by the clip, is read, drawn with the same rasteriser, and
// written back, so the window gets exactly the pixels a memory DC would.
void PaintSegmentsOnWindow(SoftDc* dc, const POINT* points, int count) {
    int32_t window_width, window_height;
    if (X11WindowSize(dc->window, &window_width, &window_height) != 0) return;
    int64_t left = points[0].x, top = points[0].y, right = left, bottom = top;
    for (int i = 1; i < count; i++) {
        if (points[i].x < left) left = points[i].x;
        if (points[i].x > right) right = points[i].x;
        if (points[i].y < top) top = points[i].y;
        if (points[i].y > bottom) bottom = points[i].y;
    }
    const int64_t reach = dc->pen->width > 1 ? dc->pen->width : 1;
    Area area = {0, 0, window_width, window_height};
    Area touched = {left - reach, top - reach, right + reach + 1, bottom + reach + 1};
    if (!CutToClip(dc, &area) || !CutArea(&touched, area)) return;
    SoftBitmap block = {};
    block.header.kind = OBJ_BITMAP;
    block.width = static_cast<int>(touched.right - touched.left);
    block.height = static_cast<int>(touched.bottom - touched.top);
    block.bits_per_pixel = 32;
    block.stride = block.width * 4;
    block.bits = static_cast<unsigned char*>(malloc(static_cast<size_t>(block.stride) * block.height));
    if (!block.bits) return;
    uint32_t* words = reinterpret_cast<uint32_t*>(block.bits);
    const int32_t x = static_cast<int32_t>(touched.left), y = static_cast<int32_t>(touched.top);
    if (X11ReadPixels(dc->window, x, y, block.width, block.height, words) == 0) {
        SoftDc target = *dc;
        target.bitmap = &block;
        target.clipped = 0;
        PaintSegments(&target, points, count, -touched.left, -touched.top);
        for (int i = 0; i < block.width * block.height; i++) words[i] &= 0x00FFFFFF;
        X11WritePixels(dc->window, x, y, block.width, block.height, words, block.width);
    }
    free(block.bits);
}

COLORREF WindowPixel(SoftDc* dc, int x, int y) {
    int32_t width, height;
    uint32_t word;
    if (X11WindowSize(dc->window, &width, &height) != 0 || x < 0 || y < 0 || x >= width || y >= height ||
        X11ReadPixels(dc->window, x, y, 1, 1, &word) != 0)
        return CLR_INVALID;
    return ColourFromWord(word);
}
