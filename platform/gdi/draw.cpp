// Software GDI drawing calls: each finds the pixels it may touch, cut by the
// bitmap and the clip, and paints them with the pixel primitives, reproducing
// what the reference GDI draws pixel for pixel.
#include <string.h>

#include "gdi.h"
#include "line_steps.h"

int DrawArea(const SoftDc* dc, Area* area) {
    SoftBitmap* b = dc->bitmap;
    // DIB sections are never drawn into here.
    if (!b || b->is_dib || (b->bits_per_pixel != 32 && b->bits_per_pixel != 1) || MakeWritablePixels(b) != 0)
        return 0;
    *area = {0, 0, b->width, b->height};
    return CutToClip(dc, area);
}

namespace {

// Fills left <= x < right, top <= y < bottom after the reference's
// normalisation of reversed edges, which shifts them by one pixel.
void PaintRect(SoftDc* dc, int64_t left, int64_t top, int64_t right, int64_t bottom,
               uint32_t word, COLORREF colour) {
    if (left > right) {
        int64_t l = left;
        left = right + 1;
        right = l + 1;
    }
    if (top > bottom) {
        int64_t t = top;
        top = bottom + 1;
        bottom = t + 1;
    }
    Area area;
    if (!DrawArea(dc, &area)) return;
    Area painted = {left, top, right, bottom};
    if (!CutArea(&painted, area)) return;
    for (int64_t y = painted.top; y < painted.bottom; y++)
        PaintSpan(dc->bitmap, static_cast<int>(y), static_cast<int>(painted.left), static_cast<int>(painted.right),
                  word, colour);
}

// Lines at least this long are stepped in four lanes, each moving four
// steps at a time: one lane's steps depend on each other, the lanes do not.
const int64_t kLanedLine = 32;
// Bitmaps smaller than this keep every pixel's byte offset, and one move
// of eight steps past it, within 32 bits.
const int64_t kMaxNarrowBitmap = int64_t{1} << 30;

// Paints `count` steps of a one-pixel line, one lane, from the byte offset
// `at` and the remainder `rest` there: each step moves by `move`, and by
// one more minor step when the remainder wraps. With masks rather than
// conditions, which the compiler may turn into branches that the slope's
// pattern of wraps would keep mispredicting.
inline void StepOneLane(unsigned char* bits, int64_t at, int64_t rest, int64_t move, int64_t minor_bytes,
                        const LineSteps& steps, int64_t count, uint32_t word) {
    const int64_t part = steps.part - steps.period;
    for (int64_t i = 0; i < count; i++) {
        memcpy(bits + at, &word, 4);
        const int64_t next = rest + part;
        const int64_t kept = next >> 63;  // all ones when the remainder did not wrap
        at += move + (minor_bytes & ~kept);
        rest = next + (steps.period & kept);
    }
}

// Paints the steps first to last of a one-pixel line on a 32-bit bitmap,
// every one of them inside it, `steps` standing at step first. Each lane
// keeps the byte offset of its pixel and moves it by its major steps and
// whole minor steps, plus one more minor step when its remainder wraps. The
// bitmap's fields are read once: stores to its pixels could otherwise alias
// them. Both orientations share one body, told apart by selects rather than
// by a branch: in a long polyline the orientation of the next segment is
// as good as random.
void StepLineOnWords(SoftBitmap* b, int x_major, int64_t major0, int64_t step, int64_t minor0, int64_t a,
                     LineSteps steps, int64_t first, int64_t last, uint32_t word) {
    unsigned char* const bits = b->bits;
    const int64_t stride = b->stride;
    const int64_t major_bytes = x_major ? 4 * step : step * stride, minor_bytes = x_major ? stride : 4;
    const int64_t count = last - first + 1;
    const int64_t period = steps.period;
    const int64_t origin = x_major ? minor0 * stride + 4 * major0 : major0 * stride + 4 * minor0;
    auto offset_of = [&](int64_t i, int64_t minor_offset) { return origin + i * major_bytes + minor_offset * minor_bytes; };
    // As StepOneLane moves its lane.
    auto advance = [&](int64_t* at, int64_t* rest, int64_t move, int64_t part) {
        const int64_t next = *rest + part;
        const int64_t kept = next >> 63;  // all ones when the remainder did not wrap
        *at += move + (minor_bytes & ~kept);
        *rest = next + (period & kept);
    };
    int64_t i = 0;
    if (count >= kLanedLine && a <= kMaxNarrowLine && static_cast<int64_t>(b->height) * stride < kMaxNarrowBitmap) {
        // Eight lanes of 32-bit offsets and remainders, two vectors of four:
        // the lanes' arithmetic costs a few vector operations per eight
        // pixels, leaving mostly the stores. Lane k starts k steps on.
        typedef int32_t Quad __attribute__((vector_size(16)));
        const int64_t offset0 = steps.offset, remainder0 = steps.remainder;
        // The lanes are built in registers, one named value each: vectors
        // loaded from eight separate stores would wait for the stores to
        // reach the cache.
        int64_t lane_step = first;
        auto lane_at = [&]() { return static_cast<int32_t>(offset_of(lane_step, steps.offset)); };
        auto lane_rest = [&]() {
            const int32_t rest = static_cast<int32_t>(steps.remainder);
            NextLineStep(&steps);
            lane_step++;
            return rest;
        };
        const int32_t at_0 = lane_at(), rest_0 = lane_rest(), at_1 = lane_at(), rest_1 = lane_rest();
        const int32_t at_2 = lane_at(), rest_2 = lane_rest(), at_3 = lane_at(), rest_3 = lane_rest();
        const int32_t at_4 = lane_at(), rest_4 = lane_rest(), at_5 = lane_at(), rest_5 = lane_rest();
        const int32_t at_6 = lane_at(), rest_6 = lane_rest(), at_7 = lane_at(), rest_7 = lane_rest();
        // Eight steps add 8 whole and 8 parts; whole periods of the parts
        // carry into the offset. Lane 0, now eight steps on, tells both
        // without a division: its remainder fell exactly when it wrapped.
        const int64_t wrapped = steps.remainder < remainder0;
        const int64_t eight_parts = steps.remainder - remainder0 + (period & -wrapped);  // below one period
        const int64_t carried = steps.offset - offset0 - 8 * steps.whole - wrapped;
        const int64_t move = 8 * major_bytes + (8 * steps.whole + carried) * minor_bytes;
        const Quad moves = {static_cast<int32_t>(move), static_cast<int32_t>(move), static_cast<int32_t>(move),
                            static_cast<int32_t>(move)};
        const int32_t part = static_cast<int32_t>(eight_parts - period);
        const Quad parts = {part, part, part, part};
        const Quad periods = {static_cast<int32_t>(period), static_cast<int32_t>(period),
                              static_cast<int32_t>(period), static_cast<int32_t>(period)};
        const Quad minors = {static_cast<int32_t>(minor_bytes), static_cast<int32_t>(minor_bytes),
                             static_cast<int32_t>(minor_bytes), static_cast<int32_t>(minor_bytes)};
        // The lanes stay in registers, copied out once per eight steps.
        Quad at0 = {at_0, at_1, at_2, at_3}, at1 = {at_4, at_5, at_6, at_7};
        Quad rest0 = {rest_0, rest_1, rest_2, rest_3}, rest1 = {rest_4, rest_5, rest_6, rest_7};
        int32_t where[8];
        for (; i + 8 <= count; i += 8) {
            memcpy(where, &at0, sizeof at0);
            memcpy(where + 4, &at1, sizeof at1);
            // Two vector stores and eight plain loads cost less than taking
            // the lanes out of the registers one by one, which the compiler
            // would otherwise do.
            __asm__("" : "+m"(where));
            memcpy(bits + where[0], &word, 4);
            memcpy(bits + where[1], &word, 4);
            memcpy(bits + where[2], &word, 4);
            memcpy(bits + where[3], &word, 4);
            memcpy(bits + where[4], &word, 4);
            memcpy(bits + where[5], &word, 4);
            memcpy(bits + where[6], &word, 4);
            memcpy(bits + where[7], &word, 4);
            const Quad next0 = rest0 + parts, next1 = rest1 + parts;
            const Quad kept0 = next0 >> 31, kept1 = next1 >> 31;  // all ones when the remainder did not wrap
            at0 += moves + (minors & ~kept0);
            at1 += moves + (minors & ~kept1);
            rest0 = next0 + (periods & kept0);
            rest1 = next1 + (periods & kept1);
        }
        memcpy(where, &at0, sizeof at0);
        memcpy(where + 4, &at1, sizeof at1);
        // Up to seven steps are left. Seven stores, those past the end
        // repainting the line's first pixel in its own word, cost less than
        // a loop whose length the branch predictor cannot know.
        const int64_t left = count - i;
        for (int k = 0; k < 7; k++) memcpy(bits + (k < left ? where[k] : at_0), &word, 4);
        return;
    }
    if (count >= kLanedLine && a <= kMaxNarrowLine) {
        // Lane k starts k steps on; four steps add 4 whole and 4 parts, of
        // which whole periods carry into the offset.
        int64_t at[4], rest[4];
        for (int k = 0; k < 4; k++) {
            at[k] = offset_of(first + k, steps.offset);
            rest[k] = steps.remainder;
            NextLineStep(&steps);
        }
        const int64_t carried = 4 * steps.part / period;
        const int64_t move = 4 * major_bytes + (4 * steps.whole + carried) * minor_bytes;
        const int64_t part = 4 * steps.part - carried * period - period;
        int64_t at0 = at[0], at1 = at[1], at2 = at[2], at3 = at[3];
        int64_t r0 = rest[0], r1 = rest[1], r2 = rest[2], r3 = rest[3];
        for (; i + 4 <= count; i += 4) {
            memcpy(bits + at0, &word, 4);
            memcpy(bits + at1, &word, 4);
            memcpy(bits + at2, &word, 4);
            memcpy(bits + at3, &word, 4);
            advance(&at0, &r0, move, part);
            advance(&at1, &r1, move, part);
            advance(&at2, &r2, move, part);
            advance(&at3, &r3, move, part);
        }
        const int64_t tail[3] = {at0, at1, at2};
        for (int k = 0; i < count; i++, k++) memcpy(bits + tail[k], &word, 4);
        return;
    }
    StepOneLane(bits, offset_of(first, steps.offset), steps.remainder, major_bytes + steps.whole * minor_bytes,
                minor_bytes, steps, count, word);
}

// A line shorter than kLanedLine along both axes, whose every pixel lies on
// the 32-bit bitmap, as most segments of a polyline are: stepped from its
// start, with nothing to cut.
inline void StepShortLine(SoftBitmap* b, int64_t x0, int64_t y0, int64_t dx, int64_t dy, uint32_t word) {
    const int64_t stride = b->stride;
    const int64_t across = dx < 0 ? -dx : dx, down = dy < 0 ? -dy : dy;
    const int x_major = across >= down;
    const int64_t major_bytes = x_major ? (dx < 0 ? -4 : 4) : (dy < 0 ? -stride : stride);
    const int64_t minor_bytes = x_major ? stride : 4;
    const int64_t a = x_major ? across : down;
    LineSteps steps;
    StartLineStepsAtZero(x_major ? dy : dx, a, &steps);
    StepOneLane(b->bits, y0 * stride + 4 * x0, steps.remainder, major_bytes + steps.whole * minor_bytes, minor_bytes,
                steps, a, word);
}

// The one-pixel line on a 32-bit bitmap: one pixel per step of the major
// axis, start included, end excluded; the minor coordinate is the exact value
// rounded to nearest, an exact half going to the smaller coordinate whatever
// the direction. Only the steps that can land inside `area`, which lies on
// the bitmap, are visited.
__attribute__((noinline)) void PaintCosmeticLine(SoftBitmap* bitmap, const Area& area, int64_t x0, int64_t y0,
                                                  int64_t x1, int64_t y1, uint32_t word) {
    if (y0 == y1) {
        PaintLevelLine(bitmap, area, x0, x1, y0, word, ColourFromWord(word));
        return;
    }
    LineCut cut;
    if (!CutLineAlongMajor(x0, y0, x1, y1, area, &cut) || !CutLineAlongMinor(area, &cut)) return;
    // Never refused: a segment between two 32-bit points, moved by at most
    // a window's offset, is far shorter than the stepper's longest line.
    LineSteps steps = {};
    StartLineSteps(cut.minor_delta, cut.a, cut.first, 1, &steps);
    StepLineOnWords(bitmap, cut.x_major, cut.major0, cut.step, cut.minor0, cut.a, steps, cut.first, cut.last, word);
}

// Wide solid pens along one segment, end points included. Width 2 stamps
// {x-1, x} x {y-1, y} at every point of the segment, width 3 a plus sign;
// other widths, which the program never uses, stamp a square.
void PaintWideSegment(SoftDc* dc, int width, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
                      uint32_t word, COLORREF colour) {
    int64_t left = x0 < x1 ? x0 : x1, right = x0 < x1 ? x1 : x0;
    int64_t top = y0 < y1 ? y0 : y1, bottom = y0 < y1 ? y1 : y0;
    if (width == 3 && (x0 == x1 || y0 == y1)) {
        if (y0 == y1) {
            PaintRect(dc, left - 1, top, right + 2, top + 1, word, colour);
            PaintRect(dc, left, top - 1, right + 1, top, word, colour);
            PaintRect(dc, left, top + 1, right + 1, top + 2, word, colour);
        } else {
            PaintRect(dc, left, top - 1, left + 1, bottom + 2, word, colour);
            PaintRect(dc, left - 1, top, left, bottom + 1, word, colour);
            PaintRect(dc, left + 1, top, left + 2, bottom + 1, word, colour);
        }
        return;
    }
    int64_t before = width / 2, after = (width - 1) / 2;
    PaintRect(dc, left - before, top - before, right + after + 1, bottom + after + 1, word, colour);
}

// A crowded polyline into a memory DC's 32-bit bitmap, painted its latest
// segment first as a window DC paints the ones it keeps: 0, or -1, having
// painted nothing, when it is not crowded or painting it so does not pay.
int PaintCrowdedNow(SoftDc* dc, const POINT* points, int count) {
    Area area;
    if (!DrawArea(dc, &area) || dc->bitmap->bits_per_pixel != 32 || !IsCrowdedPolyline(dc, area, points, count))
        return -1;
    const CrowdedBatch batch = {points, count, 0, 0, area, WordFromColour(ResolveColour(dc->pen->colour))};
    return PaintCrowdedBatches(dc->bitmap, &batch, 1);
}

// FALSE, painting nothing, for one-pixel lines on a monochrome bitmap: no
// caller draws them there, and what real GDI paints there was never observed.
BOOL DrawSegments(SoftDc* dc, const POINT* points, int count) {
    if (dc->dc_kind == DC_WINDOW)
        PaintSegmentsOnWindow(dc, points, count);
    else if (dc->bitmap && dc->bitmap->bits_per_pixel == 1 && dc->pen->width <= 1)
        return FALSE;
    else if (PaintCrowdedNow(dc, points, count) != 0)
        PaintSegments(dc, points, count, 0, 0);
    return TRUE;
}

}  // namespace

void PaintLevelLine(SoftBitmap* bitmap, const Area& area, int64_t x0, int64_t x1, int64_t y, uint32_t word,
                    COLORREF colour) {
    // A horizontal line rounds nothing: the columns from the start,
    // included, toward the end, excluded, filled as one span.
    Area span = x1 > x0 ? Area{x0, y, x1, y + 1} : Area{x1 + 1, y, x0 + 1, y + 1};
    if (x1 != x0 && CutArea(&span, area))
        PaintSpan(bitmap, static_cast<int>(y), static_cast<int>(span.left), static_cast<int>(span.right), word,
                  colour);
}

int CutLineAlongMajor(int64_t x0, int64_t y0, int64_t x1, int64_t y1, const Area& area, LineCut* cut) {
    const int64_t dx = x1 - x0, dy = y1 - y0;
    const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    cut->x_major = adx >= ady;
    cut->a = cut->x_major ? adx : ady;
    if (cut->a == 0) return 0;
    cut->major0 = cut->x_major ? x0 : y0;
    cut->minor0 = cut->x_major ? y0 : x0;
    cut->minor_delta = cut->x_major ? dy : dx;
    cut->step = (cut->x_major ? dx : dy) < 0 ? -1 : 1;
    const int64_t low = cut->x_major ? area.left : area.top;
    const int64_t high = (cut->x_major ? area.right : area.bottom) - 1;
    cut->first = 0;
    cut->last = cut->a - 1;
    if (cut->step > 0) {
        if (low - cut->major0 > cut->first) cut->first = low - cut->major0;
        if (high - cut->major0 < cut->last) cut->last = high - cut->major0;
    } else {
        if (cut->major0 - high > cut->first) cut->first = cut->major0 - high;
        if (cut->major0 - low < cut->last) cut->last = cut->major0 - low;
    }
    return cut->first <= cut->last;
}

int CutLineAlongMinor(const Area& area, LineCut* cut) {
    // The minor coordinate runs from minor0 toward minor0 + minor_delta:
    // when both lie inside, so does every step.
    const int64_t low = cut->x_major ? area.top : area.left, high = cut->x_major ? area.bottom : area.right;
    const int64_t minor1 = cut->minor0 + cut->minor_delta;
    if (cut->minor0 >= low && cut->minor0 < high && minor1 >= low && minor1 < high) return 1;
    return KeepMinorInside(cut->minor_delta, cut->a, cut->minor0, low, high, &cut->first, &cut->last);
}

void PaintOnePixelSegments(SoftBitmap* bitmap, const Area& area, const POINT* points, int count, int64_t shift_x,
                           int64_t shift_y, uint32_t word) {
    auto inside = [&](int64_t x, int64_t y) {
        return x >= area.left && x < area.right && y >= area.top && y < area.bottom;
    };
    for (int i = 1; i < count; i++) {
        const int64_t x0 = points[i - 1].x + shift_x, y0 = points[i - 1].y + shift_y;
        const int64_t x1 = points[i].x + shift_x, y1 = points[i].y + shift_y;
        const int64_t dx = x1 - x0, dy = y1 - y0;
        if (dy != 0 && dx > -kLanedLine && dx < kLanedLine && dy > -kLanedLine && dy < kLanedLine && inside(x0, y0) &&
            inside(x1, y1))
            StepShortLine(bitmap, x0, y0, dx, dy, word);
        else
            PaintCosmeticLine(bitmap, area, x0, y0, x1, y1, word);
    }
}

void PaintSegments(SoftDc* dc, const POINT* points, int count, int64_t shift_x, int64_t shift_y) {
    SoftPen* pen = dc->pen;
    COLORREF colour = ResolveColour(pen->colour);
    uint32_t word = WordFromColour(colour);
    if (pen->width <= 1) {
        // Painting moves neither the bitmap nor the clip: the area is found
        // once. One-pixel lines are drawn on 32-bit bitmaps only.
        Area area;
        if (DrawArea(dc, &area) && dc->bitmap->bits_per_pixel == 32)
            PaintOnePixelSegments(dc->bitmap, area, points, count, shift_x, shift_y, word);
        return;
    }
    for (int i = 1; i < count; i++) {
        int64_t x0 = points[i - 1].x + shift_x, y0 = points[i - 1].y + shift_y;
        int64_t x1 = points[i].x + shift_x, y1 = points[i].y + shift_y;
        PaintWideSegment(dc, pen->width, x0, y0, x1, y1, word, colour);
    }
}

int FillRect(HDC handle, const RECT* rect, HBRUSH brush_handle) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc || !rect) return FALSE;
    GdiHeader* header = LookUp(brush_handle);
    // A missing or deleted brush paints nothing, and the call still succeeds.
    if (!header || header->kind != OBJ_BRUSH) return TRUE;
    COLORREF colour = ResolveColour(reinterpret_cast<SoftBrush*>(header)->colour);
    PaintRect(dc, rect->left, rect->top, rect->right, rect->bottom, WordFromColour(colour), colour);
    return TRUE;
}

BOOL BitBlt(HDC handle, int x, int y, int width, int height, HDC source_handle, int source_x,
            int source_y, DWORD rop) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc) return FALSE;
    if (rop == WHITENESS || rop == BLACKNESS) {
        // WHITENESS sets all 32 bits, the fourth byte included.
        uint32_t word = rop == WHITENESS ? 0xFFFFFFFFu : 0u;
        COLORREF colour = rop == WHITENESS ? 0xFFFFFF : 0;
        if (width == 0 || height == 0) return TRUE;
        PaintRect(dc, x, y, static_cast<int64_t>(x) + width, static_cast<int64_t>(y) + height, word,
                  colour);
        return TRUE;
    }
    if (rop != SRCCOPY) return FALSE;
    SoftDc* source = LookUpDc(source_handle);
    if (dc->dc_kind == DC_WINDOW) return source ? CopyToWindow(dc, x, y, width, height, source, source_x, source_y) : FALSE;
    if (!source || !source->bitmap || width <= 0 || height <= 0) return source ? TRUE : FALSE;
    Area area;
    if (!DrawArea(dc, &area)) return TRUE;
    SoftBitmap* from = source->bitmap;
    SoftBitmap* to = dc->bitmap;
    if ((from->bits_per_pixel != 32 && from->bits_per_pixel != 1) || MakePixels(from) != 0) return TRUE;
    // Only the part that lies inside the source bitmap is copied.
    const int64_t shift_x = static_cast<int64_t>(source_x) - x, shift_y = static_cast<int64_t>(source_y) - y;
    Area copied = {x, y, static_cast<int64_t>(x) + width, static_cast<int64_t>(y) + height};
    const Area inside_source = {-shift_x, -shift_y, from->width - shift_x, from->height - shift_y};
    if (!CutArea(&copied, inside_source) || !CutArea(&copied, area)) return TRUE;
    const int64_t left = copied.left, top = copied.top, right = copied.right, bottom = copied.bottom;
    int overlapping = from == to;
    int64_t first = top, last = bottom, direction = 1;
    if (overlapping && shift_y < 0) {
        first = bottom - 1;
        last = top - 1;
        direction = -1;
    }
    for (int64_t row = first; row != last; row += direction) {
        int sy = static_cast<int>(row + shift_y);
        if (from->bits_per_pixel == 32 && to->bits_per_pixel == 32) {
            memmove(RowWords(to, static_cast<int>(row)) + left, RowWords(from, sy) + left + shift_x,
                    static_cast<size_t>(right - left) * 4);
            continue;
        }
        for (int64_t column = left; column < right; column++) {
            const uint32_t word = SourceWord(from, column + shift_x, sy);
            PaintSpan(to, static_cast<int>(row), static_cast<int>(column), static_cast<int>(column) + 1,
                      word, ColourFromWord(word));
        }
    }
    return TRUE;
}

BOOL MoveToEx(HDC handle, int x, int y, LPPOINT previous) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc) return FALSE;
    if (previous) {
        previous->x = dc->x;
        previous->y = dc->y;
    }
    dc->x = x;
    dc->y = y;
    return TRUE;
}

BOOL LineTo(HDC handle, int x, int y) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc) return FALSE;
    const POINT segment[2] = {{dc->x, dc->y}, {x, y}};
    const BOOL drawn = DrawSegments(dc, segment, 2);
    dc->x = x;
    dc->y = y;
    return drawn;
}

BOOL Polyline(HDC handle, const POINT* points, int count) {
    SoftDc* dc = LookUpDc(handle);
    // Fewer than two points draw nothing and report it; the current
    // position is neither used nor moved.
    if (!dc || !points || count < 2) return FALSE;
    return DrawSegments(dc, points, count);
}

COLORREF SetPixel(HDC handle, int x, int y, COLORREF requested) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc) return CLR_INVALID;
    COLORREF colour = ResolveColour(requested);
    if (dc->bitmap && dc->bitmap->bits_per_pixel == 1) colour = MonoBitFromColour(colour) ? 0xFFFFFF : 0;
    Area area;
    if (DrawArea(dc, &area)) PaintPoint(dc->bitmap, area, x, y, WordFromColour(colour), colour);
    // Points outside the bitmap change nothing, and the colour is still reported.
    return colour;
}

COLORREF GetPixel(HDC handle, int x, int y) {
    SoftDc* dc = LookUpDc(handle);
    // Points outside the client area, or a window that cannot be read, give CLR_INVALID.
    if (dc && dc->dc_kind == DC_WINDOW) return WindowPixel(dc, x, y);
    if (!dc || !dc->bitmap) return CLR_INVALID;
    SoftBitmap* b = dc->bitmap;
    if (x < 0 || y < 0 || x >= b->width || y >= b->height || MakePixels(b) != 0) return CLR_INVALID;
    return PixelColour(b, x, y);
}
