// StretchBlt in the software GDI: which source pixel each destination pixel
// shows, picked as the reference picks them, decoded from a kept upload where
// the source has one.
#include <stdlib.h>

#include "gdi.h"
#include "wide_division.h"

namespace {

// Which source pixels survive a stretch, the way the reference picks them:
// a destination column d of M shows source column round((d + 1) * N / M) - 1,
// halves rounding up, so that columns take the last pixel of each group and
// rows, d showing round(d * N / M), the first. A destination one column wide
// treats the source as one column narrower. Every destination pixel copies
// one source pixel whole: nothing is blended, whatever the stretch mode.
struct StretchPick {
    int64_t x, y, width, height;        // the destination, as given
    int64_t source_x, source_y, source_height;
    int64_t columns, rows, n;           // |width|, |height|, the source width the columns divide
    int64_t first_row, last_row, first_column, last_column;  // the steps inside the draw area
};

int64_t PickedRow(const StretchPick& p, int64_t d) {
    // Enlarged more than twice, the last rows would round past the source's
    // last row, which shows there: a 1-row source fills every row.
    const int64_t pick = FloorOfProduct(2 * d, p.source_height, p.rows, 2 * p.rows);
    return p.source_y + (pick < p.source_height ? pick : p.source_height - 1);
}

int64_t PickedColumn(const StretchPick& p, int64_t c) {
    int64_t pick = FloorOfProduct(2 * (c + 1), p.n, p.columns, 2 * p.columns) - 1;
    return p.source_x + (pick < 0 ? 0 : pick);
}

// A stretch from an upload kept for later: the picked rows, each with the
// destination steps that show it, and the picked columns.
struct PickedCopy {
    const StretchPick* pick;
    SoftBitmap* to;
    const int64_t* first_steps;
    const int64_t* last_steps;
    const int64_t* columns;
    int64_t source_width;
};

void TakePickedRow(void* context, int64_t index, const uint32_t* words) {
    const PickedCopy* copy = static_cast<const PickedCopy*>(context);
    const StretchPick& p = *copy->pick;
    for (int64_t d = copy->first_steps[index]; d <= copy->last_steps[index]; d++) {
        uint32_t* row = RowWords(copy->to, static_cast<int>(p.height > 0 ? p.y + d : p.y - d));
        for (int64_t c = p.first_column; c <= p.last_column; c++) {
            const int64_t sx = copy->columns[c - p.first_column];
            if (sx >= 0 && sx < copy->source_width) row[p.width > 0 ? p.x + c : p.x - c] = words[c - p.first_column];
        }
    }
}

// Decodes only the picked pixels of the source's kept upload: 0, or -1 when
// memory runs out before anything is copied.
int StretchFromUpload(const StretchPick& p, SoftBitmap* from, SoftBitmap* to) {
    const int64_t row_steps = p.last_row - p.first_row + 1, column_steps = p.last_column - p.first_column + 1;
    int64_t* rows = static_cast<int64_t*>(calloc(static_cast<size_t>(row_steps) * 3, sizeof(int64_t)));
    int64_t* columns = static_cast<int64_t*>(calloc(static_cast<size_t>(column_steps), sizeof(int64_t)));
    int result = -1;
    if (rows && columns) {
        int64_t* first_steps = rows + row_steps;
        int64_t* last_steps = first_steps + row_steps;
        // Picked rows only grow with the step, so equal picks are neighbours.
        int64_t count = 0;
        for (int64_t d = p.first_row; d <= p.last_row; d++) {
            const int64_t sy = PickedRow(p, d);
            if (sy < 0 || sy >= from->height) continue;
            if (count > 0 && rows[count - 1] == sy) {
                last_steps[count - 1] = d;
                continue;
            }
            rows[count] = sy;
            first_steps[count] = last_steps[count] = d;
            count++;
        }
        for (int64_t c = p.first_column; c <= p.last_column; c++) columns[c - p.first_column] = PickedColumn(p, c);
        PickedCopy copy = {&p, to, first_steps, last_steps, columns, from->width};
        const UploadPick pick = {rows, count, columns, column_steps, TakePickedRow, &copy};
        result = ReadUploadPicks(from->pending, from->width, from->height, &pick);
    }
    free(columns);
    free(rows);
    return result;
}

// The steps d of a stretch along one axis, from `origin` by `extent` (each
// step one pixel, backwards for a negative extent), that land in [low, high).
void StepsInside(int64_t origin, int64_t extent, int64_t low, int64_t high, int64_t* first, int64_t* last) {
    const int64_t count = extent < 0 ? -extent : extent;
    if (extent > 0) {
        *first = low - origin > 0 ? low - origin : 0;
        *last = high - 1 - origin < count - 1 ? high - 1 - origin : count - 1;
    } else {
        *first = origin - (high - 1) > 0 ? origin - (high - 1) : 0;
        *last = origin - low < count - 1 ? origin - low : count - 1;
    }
}

}  // namespace

BOOL StretchBlt(HDC handle, int x, int y, int width, int height, HDC source_handle, int source_x,
                int source_y, int source_width, int source_height, DWORD rop) {
    SoftDc* dc = LookUpDc(handle);
    SoftDc* source = LookUpDc(source_handle);
    if (!dc || !source || rop != SRCCOPY || source_width <= 0 || source_height <= 0) return FALSE;
    if (width == 0 || height == 0) return TRUE;
    Area area;
    if (!DrawArea(dc, &area)) return TRUE;
    SoftBitmap* from = source->bitmap;
    SoftBitmap* to = dc->bitmap;
    if (!from || (from->bits_per_pixel != 32 && from->bits_per_pixel != 1) || to->bits_per_pixel != 32)
        return TRUE;
    StretchPick p = {};
    p.x = x;
    p.y = y;
    p.width = width;
    p.height = height;
    p.source_x = source_x;
    p.source_y = source_y;
    p.source_height = source_height;
    p.columns = width < 0 ? -static_cast<int64_t>(width) : width;
    p.rows = height < 0 ? -static_cast<int64_t>(height) : height;
    p.n = (width > 0 && p.columns == 1 && source_width > 1) ? source_width - 1 : source_width;
    // Only the destination steps that land inside the draw area are visited.
    StepsInside(y, height, area.top, area.bottom, &p.first_row, &p.last_row);
    StepsInside(x, width, area.left, area.right, &p.first_column, &p.last_column);
    if (p.first_row > p.last_row || p.first_column > p.last_column) return TRUE;
    if (from->pending && StretchFromUpload(p, from, to) == 0) return TRUE;
    if (MakePixels(from) != 0) return TRUE;
    for (int64_t d = p.first_row; d <= p.last_row; d++) {
        const int64_t sy = PickedRow(p, d);
        if (sy < 0 || sy >= from->height) continue;
        uint32_t* row = RowWords(to, static_cast<int>(height > 0 ? y + d : y - d));
        for (int64_t c = p.first_column; c <= p.last_column; c++) {
            const int64_t sx = PickedColumn(p, c);
            if (sx < 0 || sx >= from->width) continue;
            row[width > 0 ? x + c : x - c] = SourceWord(from, sx, sy);
        }
    }
    return TRUE;
}
