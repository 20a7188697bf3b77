// The fast painter of raster strips, shared by the strip record's reader and
// the painter's tests and benchmarks: what it works out once per strip, and
// how it paints data rows with it.
//
// Which path runs when. ChooseRasterPath (raster_layout.cpp) picks one per
// strip, the first row whose condition holds; every path paints exactly what
// the record's pixel walk paints.
//
//   path                 condition                             function (raster_paint.cpp, raster_gather.cpp)
//   RASTER_BY_PIXEL      the DC's pixels are not at hand        PaintRowPixelByPixel, through SetPixel
//                        (Windows, a clip, not the strip's
//                        canvas)
//   RASTER_BY_PIXEL      a canvas wider than kMaxSetColumns     PaintRowPixelByPixel, into the pixels
//   RASTER_SCALE_ONE     scale 1                                GatherRowAtScaleOne, or PaintRowAtScaleOne
//   RASTER_HALF_GATHERED scale 1/2, gathered, left a multiple   GatherRowsAtHalf
//                        of 16
//   RASTER_POWER_OF_TWO  scale 1/2, 1/4, 1/8 or 1/16            AddRowAtPowerOfTwo<1..4>, then a column set
//   RASTER_BY_SPANS      scale below 1/16, and each column's    AddRowBySpans, then a column set
//                        pixels lie within 16 bytes
//   RASTER_BY_PIXEL      scale above 1                          PaintRowPixelByPixel, into the pixels
//   RASTER_BY_SETS       any other scale below 1, with at most  AddRowBySets, then a column set
//                        kMaxPatterns kinds of byte
//   RASTER_BY_PIXEL      the rest                               PaintRowPixelByPixel, into the pixels
//
// Gathered: the record loop gathers ink for this canvas (`pending` of its
// size) and the path is not RASTER_BY_PIXEL. "Then a column set": the data
// rows of a canvas row are merged (AddMergedRows) and the columns they reach
// are gathered (GatherColumnSet) or, not gathered, written (WriteColumnSet).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "drawing.h"

// One raster strip, ready to paint. Ink is the bit value that paints; with
// thinning only the pixels k = 0, 1, 3, 5 and 7 of each byte are considered.
struct RasterStrip {
    int32_t left;
    int32_t right_limit;  // left + width, exclusive
    int32_t first_row;    // y_base + top
    uint32_t bytes_per_row;
    COLORREF colour;
    int ink;
    int thinning;
    float scale;
    int32_t canvas_width;
    int32_t canvas_height;
};

// How a strip's rows reach the canvas: the table above says when each runs.
enum RasterPath {
    RASTER_BY_PIXEL,       // the walk itself, pixel by pixel
    RASTER_SCALE_ONE,      // pixel i lies on column left + i: the row's bits are its columns
    RASTER_HALF_GATHERED,  // two data rows merged and halved into the gathered ink in one pass
    RASTER_POWER_OF_TWO,   // pixel i lies on column (left + i) >> shift
    RASTER_BY_SPANS,       // each column tests the bytes its pixels lie in
    RASTER_BY_SETS,        // bytes map their ink to sets of columns through tables
};

struct RasterPending;

#define RASTER_SET_WORDS 19  // 64-column words of a canvas row of up to 1024, with spill room

// What a strip's painter works out once per strip, in scratch memory that
// RasterScratchSize tells the size of: the canvas column of every pixel
// position of a row and, per byte position, the columns its pixels reach.
struct RasterLayout {
    HDC dc;
    RasterPath path;
    int direct;             // `surface` holds the canvas's pixels
    DirectSurface surface;
    RasterPending* pending; // the record loop's gathered ink, or null
    int gathered;           // this strip's ink goes to `pending`
    uint32_t usable;        // pixels at or past this position never paint
    uint32_t byte_end;      // bytes at or past this position never paint
    int32_t* columns;       // column of pixel position i, i < usable
    int32_t* group_base;    // column of the first pixel of each group of 8 bytes
    uint8_t* byte_delta;    // column of the byte's first pixel, less its group's
    uint16_t* byte_table;   // where in `patterns` the byte's table starts
    uint16_t* patterns;     // 256 column sets per table, as offsets from the byte's first column
    int shift;              // RASTER_POWER_OF_TWO: the scale is 1 / 2^shift
    // Columns by spans: for columns span_first to span_last, the first byte
    // of each column's pixels and masks of its pixels in the 16 bytes from there.
    int32_t span_first;
    int32_t span_last;
    uint32_t* span_start;
    uint64_t* span_masks;
    // Every column that some considered pixel can paint: once a canvas row
    // holds them all, further data rows on it change nothing.
    uint64_t reachable[RASTER_SET_WORDS];
    // The data rows that land on one canvas row, merged into one.
    unsigned char* merged;
};

// Raster ink that has not reached the canvas yet. Every paint of a strip is
// its one colour and lands on a pixel that only later records can change,
// so the ink of strips in one colour, one after another, can be gathered
// as one bit per canvas pixel and written once: a canvas row is then
// written once for them all, however many strips cover it. Column c of a
// row is bit 7 - c % 8 of its byte c / 8, the order of the strips' own data.
// It is written (flushed) before anything else paints or reads the canvas.
#define RASTER_PENDING_ROW_BYTES (8 * RASTER_SET_WORDS)
struct RasterPending {
    unsigned char* rows;  // `height` rows of RASTER_PENDING_ROW_BYTES bytes
    int32_t width;
    int32_t height;
    HDC dc;
    DirectSurface surface;  // dc's pixels, which the ink is gathered for
    uint32_t word;        // the canvas word of the gathered ink's colour
    int32_t first_row;    // the rows that may hold ink; none when first > last
    int32_t last_row;
};

// The block that StartRasterPending takes for a canvas of `height` rows.
size_t RasterPendingSize(int32_t height);
// Starts gathering, with nothing gathered, in `block`, which must hold only
// zeros: every flush leaves it so.
void StartRasterPending(RasterPending* pending, void* block, int32_t width, int32_t height);
// Writes the gathered ink onto its canvas, which must still be the one
// selected into its DC, and starts over.
void FlushRasterPending(RasterPending* pending);

size_t RasterScratchSize(const RasterStrip* strip);
// Works out, once per strip and in `scratch`, where its pixels land on the
// canvas selected into `dc` and the path that paints them there. With
// `pending`, the record loop's, ink that can be gathered is gathered there,
// to be written by a later flush.
void PrepareRaster(HDC dc, const RasterStrip* strip, RasterPending* pending, void* scratch, RasterLayout* layout);

// Paints `count` data rows, the first being data row `first_index`, from
// `data` (count x bytes_per_row bytes), by the path PrepareRaster chose. Ink
// that is not gathered is painted at once, after what is gathered is written.
void PaintRasterRows(const RasterStrip* strip, const RasterLayout* layout, const unsigned char* data,
                     uint32_t first_index, uint32_t count);

// Pixel k of a byte is bit 7 - k; thinning drops k = 2, 4 and 6.
inline constexpr unsigned kAllPixels = 0xFF;
inline constexpr unsigned kThinnedPixels = 0xD5;

// Column sets: how many distinct byte patterns are kept before painting
// falls back to pixel by pixel. No scale needs more than 9: a whole byte's
// pattern is fixed by where within it its columns begin, which can fall in
// at most 8 ways, and only the row's last byte is cut short. The bound stays
// as the size of the tables.
inline constexpr int kMaxPatterns = 32;
// The widest canvas whose row fits the painter's column set.
inline constexpr int32_t kMaxSetColumns = 1024;

// Sizes within the painter's scratch block, and the data before it in one
// allocation, are kept to whole 8-byte words.
inline size_t AlignToWords(size_t size) {
    return (size + 7) & ~static_cast<size_t>(7);
}
