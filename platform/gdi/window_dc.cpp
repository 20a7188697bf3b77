// The window-DC bridge: GetDC and ReleaseDC for foreign windows, and the
// drawing calls that land in one.
//
// The shadow. A window DC keeps a copy of part of its window: a block copied
// into the window, whose pixels are known (a whole bitmap's are shared with
// the bitmap until either is written), or the window inside the clip, read
// when a line is first drawn. Lines are painted into it with the same
// primitives as a memory DC, and it reaches the window in one transfer when
// it is settled: at the release, before a GetPixel or a block copied into the
// window, and before a line under a clip whose pixels it does not all hold.
//
// Kept polylines. A polyline that would paint its part of the shadow many
// times over is not painted when it is drawn: the DC keeps it (IsCrowdedPolyline
// below says which), to paint all it keeps together, the latest first
// (crowded_lines.cpp), where each step paints only a pixel that no later one
// paints again. What is kept is painted before anything else touches the
// shadow: before the next polyline that is not kept, when the shadow is
// settled, and when the store is full. When painting them together cannot be
// done (no memory for it, their areas together too large) or does not pay
// (polylines that retrace one path), PaintCrowded paints them one after
// another. Either way the shadow ends with the pixels that painting each
// polyline at once gives.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "gdi.h"

HDC GetDC(HWND window) {
    if (!window) return reinterpret_cast<HDC>(NewDc(DC_SCREEN));
    int32_t width, height;
    if (WindowSize(window, &width, &height) != 0) return nullptr;
    SoftDc* dc = NewDc(DC_WINDOW);
    if (dc) dc->window = window;
    return reinterpret_cast<HDC>(dc);
}

int ReleaseDC(HWND window, HDC handle) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc || dc->dc_kind == DC_MEMORY || dc->window != window) return 0;
    SettleWindowShadow(dc);
    FreeDc(dc);
    return 1;
}

namespace {

// Set when pixels meant for a foreign window did not reach it (the window
// went away, or the server refused them) by a call whose own result says
// nothing of it: GdiFlush reports it.
int g_window_failed = 0;

}  // namespace

BOOL GdiFlush(void) {
    const int failed = g_window_failed;
    g_window_failed = 0;
    return failed ? FALSE : TRUE;
}

HWND WindowFromPoint(POINT point) {
    return ForeignWindowAtPoint(point.x, point.y);
}

namespace {

// Makes `words`, a copy of the window's pixels in `area`, the DC's shadow,
// holding all of the window inside `serves`; 0, or -1 when memory runs out.
int InstallShadow(SoftDc* dc, uint32_t* words, const Area& area, const Area& serves) {
    SoftBitmap* shadow = static_cast<SoftBitmap*>(calloc(1, sizeof(SoftBitmap)));
    if (!shadow) return -1;
    shadow->header.kind = OBJ_BITMAP;
    shadow->bits_per_pixel = 32;
    shadow->width = static_cast<int32_t>(area.right - area.left);
    shadow->height = static_cast<int32_t>(area.bottom - area.top);
    shadow->stride = shadow->width * 4;
    shadow->bits = reinterpret_cast<unsigned char*>(words);
    dc->shadow = shadow;
    dc->shadow_x = area.left;
    dc->shadow_y = area.top;
    dc->shadow_serves = serves;
    return 0;
}

}  // namespace

// A block of a memory DC's bitmap copied into a foreign window: only what
// lies inside both the window and the source bitmap. The block becomes the
// DC's shadow, so that lines drawn over it next cost no read of the window,
// and the block and the lines reach the window in one transfer. A whole
// device bitmap, as each view's box is, is not copied: the shadow shares its
// pixels until either is written, and keeps them when the bitmap goes first.
BOOL CopyToWindow(SoftDc* dc, int x, int y, int width, int height, SoftDc* source, int source_x, int source_y) {
    SettleWindowShadow(dc);
    SoftBitmap* from = source->bitmap;
    int32_t window_width, window_height;
    if (!from || from->bits_per_pixel != 32 || width <= 0 || height <= 0 || MakePixels(from) != 0) return TRUE;
    if (WindowSize(dc->window, &window_width, &window_height) != 0) {
        g_window_failed = 1;
        return FALSE;
    }
    const int64_t shift_x = static_cast<int64_t>(source_x) - x, shift_y = static_cast<int64_t>(source_y) - y;
    Area copied = {x, y, static_cast<int64_t>(x) + width, static_cast<int64_t>(y) + height};
    const Area inside_window = {0, 0, window_width, window_height};
    const Area inside_source = {-shift_x, -shift_y, from->width - shift_x, from->height - shift_y};
    if (!CutArea(&copied, inside_window) || !CutArea(&copied, inside_source)) return TRUE;
    const size_t columns = static_cast<size_t>(copied.right - copied.left);
    const size_t rows = static_cast<size_t>(copied.bottom - copied.top);
    if (!from->is_dib && !from->lent_to && copied.left + shift_x == 0 && copied.top + shift_y == 0 &&
        columns == static_cast<size_t>(from->width) && rows == static_cast<size_t>(from->height)) {
        if (InstallShadow(dc, reinterpret_cast<uint32_t*>(from->bits), copied, copied) != 0) {
            g_window_failed = 1;
            return FALSE;
        }
        dc->shadow_lender = from;
        from->lent_to = dc;
        return TRUE;
    }
    const size_t size = columns * rows * 4;
    uint32_t* block = static_cast<uint32_t*>(AllocateZeroed(size));
    if (!block) {
        g_window_failed = 1;
        return FALSE;
    }
    for (size_t r = 0; r < rows; r++) {
        const uint32_t* line =
            RowWords(from, static_cast<int>(copied.top + shift_y + static_cast<int64_t>(r))) + copied.left + shift_x;
        memcpy(block + r * columns, line, columns * 4);
    }
    if (InstallShadow(dc, block, copied, copied) != 0) {
        ReleaseZeroed(block);
        g_window_failed = 1;
        return FALSE;
    }
    return TRUE;
}

namespace {

// Everything a line drawn through the DC may touch: its clip, or with none
// the whole window.
Area DrawLimit(const SoftDc* dc) {
    if (dc->clipped) return {dc->clip.left, dc->clip.top, dc->clip.right, dc->clip.bottom};
    return {INT64_MIN / 2, INT64_MIN / 2, INT64_MAX / 2, INT64_MAX / 2};
}

int Covers(const Area& outer, const Area& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The shadow of the window inside the clip. A window that cannot be read, or
// a clip that leaves nothing of it, gets a shadow without pixels, into which
// nothing is drawn.
void OpenWindowShadow(SoftDc* dc) {
    int32_t window_width, window_height;
    Area area = {0, 0, 0, 0};
    const int readable = WindowSize(dc->window, &window_width, &window_height) == 0;
    if (!readable) g_window_failed = 1;
    if (readable) area = {0, 0, window_width, window_height};
    uint32_t* words = nullptr;
    size_t size = 0;
    if (readable && CutToClip(dc, &area)) {
        size = static_cast<size_t>(area.right - area.left) * static_cast<size_t>(area.bottom - area.top) * 4;
        words = static_cast<uint32_t*>(AllocateZeroed(size));
        if (!words ||
            ReadWindowPixels(dc->window, static_cast<int32_t>(area.left), static_cast<int32_t>(area.top),
                              static_cast<int32_t>(area.right - area.left),
                              static_cast<int32_t>(area.bottom - area.top), words) != 0) {
            g_window_failed = 1;
            ReleaseZeroed(words);
            words = nullptr;
        }
    }
    if (!words) area = {0, 0, 0, 0};
    if (InstallShadow(dc, words, area, DrawLimit(dc)) != 0) {
        g_window_failed = 1;
        ReleaseZeroed(words);
    }
}

}  // namespace

namespace {

// Polylines kept for the shadow at most, in points, before they are painted.
const int64_t kMaxCrowdedPoints = int64_t{1} << 21;

}  // namespace

int IsCrowdedPolyline(const SoftDc* dc, const Area& area, const POINT* points, int count) {
    if (dc->pen->width > 1 || count < kFewestCrowdedPoints || count > kMaxCrowdedPoints) return 0;
    const int64_t pixels = (area.right - area.left) * (area.bottom - area.top);
    return pixels <= kMaxCrowdedArea && CountSteps(points, count, kCrowding * pixels) >= kCrowding * pixels;
}

namespace {

void DropCrowded(SoftDc* dc) {
    ReleaseZeroed(dc->crowded_points_kept);
    free(dc->crowded);
    dc->crowded = nullptr;
    dc->crowded_points_kept = nullptr;
    dc->crowded_count = 0;
    dc->crowded_capacity = 0;
    dc->crowded_points = 0;
}

// Paints the kept polylines into the shadow, one by one when painting them
// together cannot be done or does not pay.
void PaintCrowded(SoftDc* dc) {
    if (!dc->crowded_count) return;
    UnshareShadow(dc);
    if (!dc->shadow->bits) return;
    if (PaintCrowdedBatches(dc->shadow, dc->crowded, dc->crowded_count) != 0) {
        for (int b = 0; b < dc->crowded_count; b++) {
            const CrowdedBatch& batch = dc->crowded[b];
            PaintOnePixelSegments(dc->shadow, batch.area, batch.points, batch.count, batch.shift_x, batch.shift_y,
                                  batch.word);
        }
    }
    DropCrowded(dc);
}

// Keeps a polyline for the shadow, painting what is kept first when the
// store is full: 0, or -1 when it must be painted now.
int KeepCrowded(SoftDc* dc, const POINT* points, int count, int64_t shift_x, int64_t shift_y, const Area& area,
                uint32_t word) {
    if (dc->crowded_points + count > kMaxCrowdedPoints || dc->crowded_count == kMaxCrowdedBatches) PaintCrowded(dc);
    if (dc->crowded_count == dc->crowded_capacity) {
        const int capacity = dc->crowded_capacity ? 2 * dc->crowded_capacity : 8;
        CrowdedBatch* grown = static_cast<CrowdedBatch*>(realloc(dc->crowded, sizeof(CrowdedBatch) * capacity));
        if (!grown) return -1;
        dc->crowded = grown;
        dc->crowded_capacity = capacity;
    }
    // One block for all the points, of which only the part used is ever
    // touched: fresh memory costs a fault per page it is first written in.
    if (!dc->crowded_points_kept) {
        dc->crowded_points_kept = static_cast<POINT*>(AllocateZeroed(sizeof(POINT) * kMaxCrowdedPoints));
        if (!dc->crowded_points_kept) return -1;
    }
    POINT* copy = dc->crowded_points_kept + dc->crowded_points;
    memcpy(copy, points, sizeof(POINT) * static_cast<size_t>(count));
    dc->crowded[dc->crowded_count++] = {copy, count, shift_x, shift_y, area, word};
    dc->crowded_points += count;
    return 0;
}

}  // namespace

void UnshareShadow(SoftDc* dc) {
    SoftBitmap* lender = dc->shadow_lender;
    if (!lender) return;
    SoftBitmap* shadow = dc->shadow;
    const size_t size = static_cast<size_t>(shadow->stride) * static_cast<size_t>(shadow->height);
    unsigned char* own = static_cast<unsigned char*>(AllocateZeroed(size));
    if (own) {
        memcpy(own, shadow->bits, size);
    } else {
        g_window_failed = 1;
        DropCrowded(dc);
    }
    shadow->bits = own;
    lender->lent_to = nullptr;
    dc->shadow_lender = nullptr;
}

void LeaveSharedPixels(SoftBitmap* b) {
    b->lent_to->shadow_lender = nullptr;
    b->lent_to = nullptr;
    b->bits = nullptr;
}

void SettleWindowShadow(SoftDc* dc) {
    SoftBitmap* shadow = dc->shadow;
    if (!shadow) return;
    // The window gets colours only, cleared here in the shadow's own pixels.
    UnshareShadow(dc);
    PaintCrowded(dc);
    if (shadow->bits) {
        // A window shows colours, not the fourth byte; four words at a time.
        uint32_t* words = reinterpret_cast<uint32_t*>(shadow->bits);
        const size_t count = static_cast<size_t>(shadow->width) * static_cast<size_t>(shadow->height);
        const FourWords colours = {0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF};
        size_t i = 0;
        for (; i + 4 <= count; i += 4) {
            FourWords four;
            memcpy(&four, words + i, sizeof four);
            four &= colours;
            memcpy(words + i, &four, sizeof four);
        }
        for (; i < count; i++) words[i] &= 0x00FFFFFF;
        if (WriteWindowPixels(dc->window, static_cast<int32_t>(dc->shadow_x), static_cast<int32_t>(dc->shadow_y),
                               shadow->width, shadow->height, words, shadow->width) != 0)
            g_window_failed = 1;
    }
    ReleaseZeroed(shadow->bits);
    free(shadow);
    dc->shadow = nullptr;
}

// Lines straight into a foreign window, drawn with the same rasteriser into
// its shadow, so that the window gets exactly the pixels a memory DC would,
// for at most one read and one write of the window however many lines there
// are.
void PaintSegmentsOnWindow(SoftDc* dc, const POINT* points, int count) {
    const Area limit = DrawLimit(dc);
    if (dc->shadow && !Covers(dc->shadow_serves, limit)) SettleWindowShadow(dc);
    if (!dc->shadow) OpenWindowShadow(dc);
    SoftBitmap* shadow = dc->shadow;
    if (!shadow || !shadow->bits) return;
    // Where the lines may land: the clip, moved with the shadow, cut by its
    // edges.
    const int64_t shift_x = -dc->shadow_x, shift_y = -dc->shadow_y;
    Area area = {0, 0, shadow->width, shadow->height};
    if (!CutArea(&area, {limit.left + shift_x, limit.top + shift_y, limit.right + shift_x, limit.bottom + shift_y}))
        return;
    const uint32_t word = WordFromColour(ResolveColour(dc->pen->colour));
    if (IsCrowdedPolyline(dc, area, points, count) && KeepCrowded(dc, points, count, shift_x, shift_y, area, word) == 0)
        return;
    PaintCrowded(dc);
    if (dc->shadow_lender) UnshareShadow(dc);
    if (!shadow->bits) return;
    if (dc->pen->width <= 1) {
        PaintOnePixelSegments(shadow, area, points, count, shift_x, shift_y, word);
        return;
    }
    SoftDc target = *dc;
    target.bitmap = shadow;
    target.clipped = 1;
    target.clip = {static_cast<LONG>(area.left), static_cast<LONG>(area.top), static_cast<LONG>(area.right),
                   static_cast<LONG>(area.bottom)};
    PaintSegments(&target, points, count, shift_x, shift_y);
}

COLORREF WindowPixel(SoftDc* dc, int x, int y) {
    SettleWindowShadow(dc);
    // A point past the window's far edges cannot be read either.
    uint32_t word;
    if (x < 0 || y < 0 || ReadWindowPixels(dc->window, x, y, 1, 1, &word) != 0) return CLR_INVALID;
    return ColourFromWord(word);
}
