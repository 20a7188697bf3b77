// Where a strip's pixels land on the canvas: the column of every pixel of a
// data row, worked out once per strip, and the one choice of the path that
// paints its rows (ChooseRasterPath), with what that path needs.
#include <string.h>

#include "raster_paint.h"

namespace {

// Each column's pixels as a first byte and masks over the 16 bytes from it.
// 0 when some column's pixels do not fit in 16 bytes.
int PrepareSpans(const RasterStrip* strip, RasterLayout* layout) {
    const unsigned considered = strip->thinning ? kThinnedPixels : kAllPixels;
    if (layout->usable == 0) return 0;
    layout->span_first = layout->columns[0];
    layout->span_last = layout->columns[layout->usable - 1];
    uint32_t pixel = 0;
    for (int32_t column = layout->span_first; column <= layout->span_last; column++) {
        const int32_t index = column - layout->span_first;
        uint64_t* masks = layout->span_masks + 2 * index;
        masks[0] = masks[1] = 0;
        const uint32_t start = pixel / 8;
        layout->span_start[index] = start;
        for (; pixel < layout->usable && layout->columns[pixel] == column; pixel++) {
            const uint32_t offset = pixel / 8 - start;
            if (offset >= 16) return 0;
            const unsigned k = pixel % 8;
            if ((considered >> (7 - k)) & 1) masks[offset / 8] |= 1ull << (8 * (offset % 8) + 7 - k);
        }
    }
    return 1;
}

}  // namespace

size_t RasterScratchSize(const RasterStrip* strip) {
    size_t bytes = strip->bytes_per_row;
    return AlignToWords(sizeof(int32_t) * 8 * bytes) + AlignToWords(sizeof(int32_t) * (bytes / 8 + 1)) +
           AlignToWords(bytes) + AlignToWords(2 * bytes) + sizeof(uint16_t) * 256 * kMaxPatterns +
           sizeof(uint32_t) * kMaxSetColumns + 2 * sizeof(uint64_t) * kMaxSetColumns + AlignToWords(bytes);
}

namespace {

// Column sets per byte position: the columns of its considered, usable
// pixels as offsets from the byte's first column. Bytes with the same
// offsets share one table of 256 sets. Below scale 1 a byte spans at most 8
// columns and a group of 8 bytes at most 64 more. 0 when the bytes need more
// than kMaxPatterns tables.
int PrepareSets(const RasterStrip* strip, RasterLayout* layout) {
    const unsigned considered = strip->thinning ? kThinnedPixels : kAllPixels;
    int8_t offsets[kMaxPatterns][8];
    int count = 0;
    for (uint32_t j = 0; j < layout->byte_end; j++) {
        int32_t base = layout->columns[8 * j];
        if (j % 8 == 0) layout->group_base[j / 8] = base;
        int8_t mine[8];
        for (int k = 0; k < 8; k++) {
            uint32_t pixel = 8 * j + static_cast<uint32_t>(k);
            int32_t offset = pixel < layout->usable ? layout->columns[pixel] - base : -1;
            mine[k] = static_cast<int8_t>(((considered >> (7 - k)) & 1) ? offset : -1);
        }
        int index = 0;
        while (index < count && memcmp(offsets[index], mine, 8) != 0) index++;
        if (index == count) {
            if (count == kMaxPatterns) return 0;
            memcpy(offsets[count], mine, 8);
            // Each set is the set without its lowest ink bit, plus that bit's column.
            uint16_t* table = layout->patterns + 256 * count;
            table[0] = 0;
            for (unsigned ink_bits = 1; ink_bits < 256; ink_bits++) {
                const unsigned lowest = ink_bits & (0u - ink_bits);
                const int k = 7 - __builtin_ctz(ink_bits);
                const unsigned column = mine[k] >= 0 ? 1u << mine[k] : 0u;
                table[ink_bits] = static_cast<uint16_t>(table[ink_bits ^ lowest] | column);
            }
            count++;
        }
        layout->byte_delta[j] = static_cast<uint8_t>(base - layout->group_base[j / 8]);
        layout->byte_table[j] = static_cast<uint16_t>(256 * index);
    }
    return 1;
}

// n when the scale is 1 / 2^n for n from 0 to 4, else -1.
int PowerOfTwoShift(float scale) {
    for (int n = 0; n <= 4; n++)
        if (scale == 1.0f / static_cast<float>(1 << n)) return n;
    return -1;
}

// The path that paints the strip's rows onto `dc`, by the table in
// raster_paint.h, row by row; the spans and sets a path needs are prepared
// as its row is tried. Sets the layout's path and what it paints into.
void ChooseRasterPath(HDC dc, const RasterStrip* strip, RasterPending* pending, RasterLayout* layout) {
    layout->dc = dc;
    layout->pending = pending;
    layout->direct = GetDirectSurface(dc, &layout->surface) == 0 && layout->surface.width == strip->canvas_width &&
                     layout->surface.height == strip->canvas_height;
    const int gathering = layout->direct && pending && pending->width == strip->canvas_width &&
                          pending->height == strip->canvas_height;
    const float scale = strip->scale;
    const int shift = PowerOfTwoShift(scale);
    layout->shift = shift;
    if (!layout->direct || strip->canvas_width > kMaxSetColumns)
        layout->path = RASTER_BY_PIXEL;
    else if (shift == 0)
        layout->path = RASTER_SCALE_ONE;
    else if (shift == 1 && gathering && (strip->left & 15) == 0)
        layout->path = RASTER_HALF_GATHERED;
    else if (shift > 0)
        layout->path = RASTER_POWER_OF_TWO;
    else if (scale < 0.0625f && PrepareSpans(strip, layout))
        layout->path = RASTER_BY_SPANS;
    else if (!(scale < 1.0f))  // above scale 1 a row has few pixels on the canvas
        layout->path = RASTER_BY_PIXEL;
    else if (PrepareSets(strip, layout))
        layout->path = RASTER_BY_SETS;
    else
        layout->path = RASTER_BY_PIXEL;
    layout->gathered = gathering && layout->path != RASTER_BY_PIXEL;
}

}  // namespace

void PrepareRaster(HDC dc, const RasterStrip* strip, RasterPending* pending, void* scratch, RasterLayout* layout) {
    const size_t bytes = strip->bytes_per_row;
    unsigned char* p = static_cast<unsigned char*>(scratch);
    layout->columns = reinterpret_cast<int32_t*>(p);
    p += AlignToWords(sizeof(int32_t) * 8 * bytes);
    layout->group_base = reinterpret_cast<int32_t*>(p);
    p += AlignToWords(sizeof(int32_t) * (bytes / 8 + 1));
    layout->byte_delta = p;
    p += AlignToWords(bytes);
    layout->byte_table = reinterpret_cast<uint16_t*>(p);
    p += AlignToWords(2 * bytes);
    layout->patterns = reinterpret_cast<uint16_t*>(p);
    p += sizeof(uint16_t) * 256 * kMaxPatterns;
    layout->span_start = reinterpret_cast<uint32_t*>(p);
    p += sizeof(uint32_t) * kMaxSetColumns;
    layout->span_masks = reinterpret_cast<uint64_t*>(p);
    p += 2 * sizeof(uint64_t) * kMaxSetColumns;
    layout->merged = p;
    // Merging fills the bytes that can paint; those past them are read, never painted.
    memset(layout->merged, 0, bytes);

    // Columns never decrease along a row: once one lies past the canvas,
    // every later pixel does too, and nothing from there on can paint.
    int64_t width = static_cast<int64_t>(strip->right_limit) - strip->left;
    uint64_t limit = width <= 0 ? 0 : static_cast<uint64_t>(width);
    if (limit > 8 * bytes) limit = 8 * bytes;
    uint32_t usable = 0;
    for (; usable < limit; usable++) {
        int32_t column = ScaleCoordinate(strip->left + static_cast<int32_t>(usable), strip->scale);
        if (column >= strip->canvas_width) break;
        layout->columns[usable] = column;
    }
    layout->usable = usable;
    layout->byte_end = (usable + 7) / 8;

    ChooseRasterPath(dc, strip, pending, layout);
    if (layout->path == RASTER_BY_PIXEL || layout->path == RASTER_SCALE_ONE || layout->path == RASTER_HALF_GATHERED)
        return;
    // The paths that merge data rows stop once a canvas row holds every
    // column the strip can reach.
    const unsigned considered = strip->thinning ? kThinnedPixels : kAllPixels;
    memset(layout->reachable, 0, sizeof layout->reachable);
    for (uint32_t pixel = 0; pixel < usable; pixel++)
        if ((considered >> (7 - pixel % 8)) & 1)
            layout->reachable[layout->columns[pixel] >> 6] |= 1ull << (layout->columns[pixel] & 63);
    layout->reachable[0] &= ~1ull;  // column 0 never takes raster ink
}
