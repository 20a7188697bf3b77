// Shared by the files of the software GDI only: its objects, the pixel
// primitives, the drawing calls and the window-DC bridge.
//
// Device-dependent bitmaps are 32 bits per pixel, top row first, one word per
// pixel laid out 0xAARRGGBB. The one exception is the shared 1x1 monochrome
// bitmap that every new memory context holds until something else is selected.
#pragma once

#include <string.h>

#include "../backend.h"
#include "foreign_window.h"

// The pixels of a 32-bit device-dependent bitmap, top row first, for the DIB
// upload: 0 and *words, or -1 for any other kind of bitmap or handle, or
// when its pixels cannot be made.
struct DeviceBitmapWords {
    uint32_t* words;
    int width;
    int height;
    int stride_words;
};
int GetDeviceBitmapWords(HBITMAP bitmap, DeviceBitmapWords* words);
// 1 for a 32-bit device-dependent bitmap, 0 for anything else.
int IsDeviceBitmap(HBITMAP bitmap);

// ---- Uploads kept for later ----
// A device bitmap's pixels are made when something first uses them. A
// SetDIBits into a bitmap that has none yet, from a header and pixels inside
// one heap block, is kept as its arguments instead: a stretch then decodes
// only the pixels it picks, and any other use of the bitmap, or freeing the
// block, first paints the whole upload as the call would have.
struct PendingUpload {
    UINT start;
    UINT lines;
    const void* bits;
    const BITMAPINFO* info;
};
// 0 when the bitmap keeps the upload for later, -1 when it must be painted now.
int KeepUploadPending(HBITMAP bitmap, const PendingUpload* upload);
// Paints an accepted upload into zeroed words: 0, or -1 when memory runs out.
int PaintUpload(const PendingUpload* upload, const DeviceBitmapWords* target);
// The pixels of a width x height bitmap, holding nothing but the upload, at
// the picked rows (ascending, distinct, inside the bitmap) and columns
// (ascending, any value; those outside the bitmap read 0): `take` is called
// once per picked row with its index and the words of the picked columns.
struct UploadPick {
    const int64_t* rows;
    int64_t row_count;
    const int64_t* columns;
    int64_t column_count;
    void (*take)(void* context, int64_t row_index, const uint32_t* words);
    void* context;
};
int ReadUploadPicks(const PendingUpload* upload, int64_t width, int64_t height, const UploadPick* pick);

// ---- Windows (bitmap_window.cpp) ----
// A window's size and pixels, as the window DC reaches them: a window over a
// memory bitmap (CreateBitmapWindow) through that bitmap, any other through
// the windowing system (foreign_window.h), with the same results.
int WindowSize(HWND window, int32_t* width, int32_t* height);
int ReadWindowPixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t* words);
int WriteWindowPixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, const uint32_t* words,
                      int32_t stride_words);
int CountBitmapWindows(void);

enum DcKind { DC_MEMORY, DC_SCREEN, DC_WINDOW };

struct CrowdedBatch;
struct SoftDc;

struct GdiHeader {
    int kind;  // OBJ_PEN, OBJ_BRUSH, OBJ_BITMAP, OBJ_MEMDC or OBJ_DC
    int stock;
    int selections;  // device contexts that currently hold this object
};

struct SoftBitmap {
    GdiHeader header;
    int width;
    int height;
    int bits_per_pixel;
    int stride;
    unsigned char* bits;
    int is_dib;
    DIBSECTION section;  // what GetObject reports for a DIB section
    RGBQUAD colours[256];
    int colour_count;
    // A device bitmap's pixels are made at their first use: until then
    // `bits` is NULL, and `pending` may hold an upload to paint them with.
    int pixels_unmade;
    PendingUpload* pending;
    // The window DC whose shadow shares these pixels, NULL for none.
    SoftDc* lent_to;
};

struct SoftPen {
    GdiHeader header;
    int width;
    COLORREF colour;
};

struct SoftBrush {
    GdiHeader header;
    COLORREF colour;
};

struct SoftRegion {
    GdiHeader header;
    RECT rect;
};

// Rectangles in 64 bits, so that a position plus an extent never overflows:
// left <= x < right, top <= y < bottom.
struct Area {
    int64_t left;
    int64_t top;
    int64_t right;
    int64_t bottom;
};

struct SoftDc {
    GdiHeader header;
    int dc_kind;
    SoftBitmap* bitmap;
    SoftPen* pen;
    SoftBrush* brush;
    LONG x;
    LONG y;
    int clipped;
    RECT clip;
    int stretch_mode;
    HWND window;  // the foreign window of a window DC
    // A window DC's copy of part of its window, written back in one transfer
    // before the window is read or written otherwise: the window inside the
    // clip, read when a line is drawn, or a block copied in, whose pixels
    // are known. Lines drawn where every pixel they may touch lies in it are
    // drawn into it. `shadow_serves` is the area whose window pixels it all
    // holds.
    SoftBitmap* shadow;
    int64_t shadow_x;
    int64_t shadow_y;
    Area shadow_serves;
    // The bitmap whose pixels the shadow shares, NULL when it has its own.
    SoftBitmap* shadow_lender;
    // Crowded polylines for the shadow, painted all together, the latest
    // first, before anything else touches it.
    CrowdedBatch* crowded;
    POINT* crowded_points_kept;  // all of their points, one after another
    int crowded_count;
    int crowded_capacity;
    int64_t crowded_points;
};

// ---- Objects ----
// The live object behind a handle, NULL for a stale or foreign one.
GdiHeader* LookUp(const void* handle);
SoftDc* LookUpDc(HDC handle);
SoftBitmap* LookUpBitmap(const void* handle);
// A device context of that kind holding the stock objects, registered.
SoftDc* NewDc(int dc_kind);
void FreeDc(SoftDc* dc);
// Makes a bitmap's pixels, painting a kept upload into them: 0 when `bits`
// can be used, -1 when memory runs out.
int MakePixels(SoftBitmap* b);
// The same before the pixels are written: a window DC's shadow that shares
// them gets its own first.
int MakeWritablePixels(SoftBitmap* b);

// ---- Areas ----
// Cuts `area` down to its part inside `limit`: 1 when something is left.
int CutArea(Area* area, const Area& limit);
// Cuts `area` by the DC's clip rectangle, when it has one: 1 when something is left.
int CutToClip(const SoftDc* dc, Area* area);

// ---- Pixels ----
// What a COLORREF paints with, as a COLORREF without flags.
COLORREF ResolveColour(COLORREF colour);
uint32_t WordFromColour(COLORREF colour);
COLORREF ColourFromWord(uint32_t word);
// Monochrome targets take the nearer of black and white: 1 for white.
int MonoBitFromColour(COLORREF colour);

// Four words at a time, as the compiler would not otherwise do it: this is
// the fill of every rectangle, canvas and box.
typedef uint32_t FourWords __attribute__((vector_size(16)));
// The fuzzing build traces every comparison in the program's code, the
// sanitizers' checks of each store among them: whitening a canvas took
// several traced calls a pixel, four fifths of the drawing fuzzer's time.
// The fill decides nothing but its length, which its callers' own branches
// already show, so there it is kept out of the tracing (and, not inlined,
// out of its callers') and of the undefined-behaviour checks; the address
// sanitizer still checks every store.
#if defined(__has_feature)
#if __has_feature(coverage_sanitizer)
__attribute__((noinline, no_sanitize("coverage", "undefined")))
#endif
#endif
inline void FillWords(uint32_t* words, size_t count, uint32_t word) {
    const FourWords four = {word, word, word, word};
    size_t i = 0;
    for (; i + 4 <= count; i += 4) memcpy(words + i, &four, sizeof four);
    for (; i < count; i++) words[i] = word;
}

inline uint32_t* RowWords(SoftBitmap* b, int y) {
    return reinterpret_cast<uint32_t*>(b->bits + static_cast<size_t>(y) * b->stride);
}

// Paints columns x0 <= x < x1 of row y, already clipped, with a 32-bit word
// (or, on a monochrome target, with the bit nearest to `colour`).
void PaintSpan(SoftBitmap* b, int y, int x0, int x1, uint32_t word, COLORREF colour);
// Paints one pixel when it lies inside `area`.
void PaintPoint(SoftBitmap* b, const Area& area, int64_t x, int64_t y, uint32_t word, COLORREF colour);
// The word a 32-bit or monochrome source pixel copies as.
uint32_t SourceWord(SoftBitmap* b, int64_t x, int64_t y);
// The colour of a pixel inside any bitmap, CLR_INVALID for formats without one.
COLORREF PixelColour(SoftBitmap* b, int x, int y);

// ---- Drawing ----
// The pixels a DC draws into: its bitmap, cut by its clip rectangle; 0 when
// there are none. Only 32-bit and monochrome bitmaps are drawing targets.
int DrawArea(const SoftDc* dc, Area* area);
// Connected segments with the DC's pen, each from its start up to its end,
// moved by (shift_x, shift_y).
void PaintSegments(SoftDc* dc, const POINT* points, int count, int64_t shift_x, int64_t shift_y);

// A one-pixel line, not horizontal, as steps along its major axis, cut down
// to the steps that may land inside an area.
struct LineCut {
    int x_major;
    int64_t major0;       // the start, along the major axis
    int64_t minor0;       // and along the minor one
    int64_t minor_delta;  // how far the minor axis moves over the whole line
    int64_t step;         // 1 or -1: the major axis's direction
    int64_t a;            // the line's length in steps
    int64_t first;        // the steps kept, first to last
    int64_t last;
};
// Cuts the line from (x0, y0) to (x1, y1) to the steps whose major
// coordinate lies inside `area`: 1 when some are left.
int CutLineAlongMajor(int64_t x0, int64_t y0, int64_t x1, int64_t y1, const Area& area, LineCut* cut);
// Narrows them to the steps whose minor coordinate lies inside too: 1 when
// some are left.
int CutLineAlongMinor(const Area& area, LineCut* cut);
// The one-pixel horizontal line from x0, included, toward x1, excluded, cut by `area`.
void PaintLevelLine(SoftBitmap* bitmap, const Area& area, int64_t x0, int64_t x1, int64_t y, uint32_t word,
                    COLORREF colour);
// The one-pixel segments of a polyline, cut by `area`, which lies on the
// 32-bit bitmap.
void PaintOnePixelSegments(SoftBitmap* bitmap, const Area& area, const POINT* points, int count, int64_t shift_x,
                           int64_t shift_y, uint32_t word);

// ---- Crowded polylines ----
// Polylines that a window DC keeps, to paint them later all together: which
// and when, window_dc.cpp; how, crowded_lines.cpp.
// Polylines of fewer points are never kept: painting them with others would
// spare less than it costs.
const int kFewestCrowdedPoints = 64;
// Painting the latest first pays once the steps would paint the area this
// many times over: below that, the tiles cost more than the steps they spare.
const int64_t kCrowding = 4;
// The largest area painted this way, whose claims then take 16 MiB.
const int64_t kMaxCrowdedArea = int64_t{1} << 24;
// The steps of a polyline's one-pixel segments, the sum of max(|dx|, |dy|),
// counted until they reach `enough`.
int64_t CountSteps(const POINT* points, int count, int64_t enough);
// Whether a polyline drawn with the DC's pen into `area` is crowded, every
// condition in one place (window_dc.cpp): a one-pixel pen, enough points to
// be worth it and few enough for a window DC to keep, an area that the
// claims can cover, and steps that would paint it kCrowding times over. A
// window DC keeps such a polyline to paint it later with the others it
// keeps; a memory DC paints it at once, its latest segment first.
int IsCrowdedPolyline(const SoftDc* dc, const Area& area, const POINT* points, int count);
// Such a polyline, kept by a window DC to be painted into its shadow later.
struct CrowdedBatch {
    const POINT* points;
    int count;
    int64_t shift_x;
    int64_t shift_y;
    Area area;  // where in the shadow it paints
    uint32_t word;
};
// A claim on a pixel names its batch in a byte.
const int kMaxCrowdedBatches = 255;
// Paints the batches into a 32-bit bitmap, as painting them one after
// another would: 0, or -1, having painted nothing, when memory runs out or
// when painting them together does not pay.
int PaintCrowdedBatches(SoftBitmap* bitmap, const CrowdedBatch* batches, int count);

// ---- Window DCs ----
// A block of a memory DC's bitmap copied into the window of `dc`.
BOOL CopyToWindow(SoftDc* dc, int x, int y, int width, int height, SoftDc* source, int source_x, int source_y);
void PaintSegmentsOnWindow(SoftDc* dc, const POINT* points, int count);
// Writes a window DC's shadow back into its window and drops it; nothing
// for any other DC.
void SettleWindowShadow(SoftDc* dc);
// Gives a shadow that shares a bitmap's pixels pixels of its own, before
// either is written; without memory for them the shadow is lost, and that
// is reported as a window that missed its pixels.
void UnshareShadow(SoftDc* dc);
// The bitmap `b`, whose shadow shares its pixels, goes: the shadow keeps them.
void LeaveSharedPixels(SoftBitmap* b);
COLORREF WindowPixel(SoftDc* dc, int x, int y);
