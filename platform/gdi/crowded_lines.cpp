// Polylines that cross their area many times over, as ones through
// thousands of scattered points do. Painted one after another, most of
// their steps paint pixels that a later step paints again. Painted the
// latest first, each step paints only a pixel that no later one has
// claimed, and claims it: the pixels end as they would have. Once every
// pixel of a part of the area is claimed, nothing painted earlier can show
// there, and the segments pass that part by without stepping through it.
// The area is cut into tiles of 16 x 16 pixels; a tile whose pixels are all
// claimed is closed. A claim is a byte per pixel naming the polyline that
// paints it: the steps touch only the claims, a few hundred kilobytes that
// stay in the cache, and the pixels are painted in one pass at the end.
#include <stdlib.h>
#include <string.h>

#include "gdi.h"
#include "line_steps.h"

namespace {

const int kTileShift = 4;
const int64_t kTile = int64_t{1} << kTileShift;

struct Tiles {
    Area area;
    // A byte per pixel of the area, row by row: 0, or 1 + the index of the
    // polyline that claimed it.
    unsigned char* claims;
    int64_t claims_stride;
    int64_t claims_size;
    int64_t columns;
    int64_t rows;
    int64_t row_words;  // words of `open` per row of tiles
    uint64_t* open;     // per row of tiles, a bit per tile not yet closed
    // How many tiles are open above and left of each tile corner, (rows + 1)
    // x (columns + 1) of them: any box of tiles is counted in four reads.
    // Tiles close only when they are looked at, and the counts with them.
    int32_t* open_above_left;
};

void CountOpenTiles(Tiles* tiles) {
    const int64_t corners = tiles->columns + 1;
    for (int64_t row = 0; row < tiles->rows; row++) {
        int32_t in_row = 0;
        for (int64_t column = 0; column < tiles->columns; column++) {
            in_row += static_cast<int32_t>((tiles->open[row * tiles->row_words + column / 64] >> (column % 64)) & 1);
            tiles->open_above_left[(row + 1) * corners + column + 1] =
                tiles->open_above_left[row * corners + column + 1] + in_row;
        }
    }
}

// Tiles over `area`, every one open.
int OpenTiles(Tiles* tiles, const Area& area) {
    tiles->area = area;
    tiles->columns = (area.right - area.left + kTile - 1) >> kTileShift;
    tiles->rows = (area.bottom - area.top + kTile - 1) >> kTileShift;
    tiles->row_words = (tiles->columns + 63) / 64;
    const int64_t open_words = tiles->rows * tiles->row_words;
    const int64_t corner_words = ((tiles->rows + 1) * (tiles->columns + 1) + 1) / 2;
    tiles->claims_stride = area.right - area.left;
    tiles->claims_size = tiles->claims_stride * (area.bottom - area.top);
    tiles->claims = static_cast<unsigned char*>(AllocateZeroed(static_cast<size_t>(tiles->claims_size)));
    if (!tiles->claims) return -1;
    tiles->open = static_cast<uint64_t*>(calloc(static_cast<size_t>(open_words + corner_words), 8));
    if (!tiles->open) {
        ReleaseZeroed(tiles->claims);
        return -1;
    }
    tiles->open_above_left = reinterpret_cast<int32_t*>(tiles->open + open_words);
    for (int64_t row = 0; row < tiles->rows; row++)
        for (int64_t column = 0; column < tiles->columns; column++)
            tiles->open[row * tiles->row_words + column / 64] |= uint64_t{1} << (column % 64);
    CountOpenTiles(tiles);
    return 0;
}

void CloseTiles(Tiles* tiles) {
    free(tiles->open);
    ReleaseZeroed(tiles->claims);
}

// 1 when a tile holding a pixel of columns x_a or x_b, rows y_a or y_b,
// all inside the tiles' area, is open.
inline int64_t OpenAround(const Tiles& tiles, int64_t x_a, int64_t x_b, int64_t y_a, int64_t y_b) {
    const uint64_t column_a = static_cast<uint64_t>(x_a - tiles.area.left) >> kTileShift;
    const uint64_t column_b = static_cast<uint64_t>(x_b - tiles.area.left) >> kTileShift;
    const uint64_t row_a = static_cast<uint64_t>(y_a - tiles.area.top) >> kTileShift;
    const uint64_t row_b = static_cast<uint64_t>(y_b - tiles.area.top) >> kTileShift;
    const uint64_t row_words = static_cast<uint64_t>(tiles.row_words);
    const uint64_t* const line_a = tiles.open + row_a * row_words;
    const uint64_t* const line_b = tiles.open + row_b * row_words;
    const uint64_t bits = (line_a[column_a / 64] | line_b[column_a / 64]) >> (column_a % 64) |
                          (line_a[column_b / 64] | line_b[column_b / 64]) >> (column_b % 64);
    return static_cast<int64_t>(bits & 1);
}

// Whether a tile over any pixel of `box`, inside the tiles' area, is open.
int AnyOpenIn(const Tiles& tiles, const Area& box) {
    const int64_t first_column = (box.left - tiles.area.left) >> kTileShift;
    const int64_t end_column = ((box.right - 1 - tiles.area.left) >> kTileShift) + 1;
    const int64_t first_row = (box.top - tiles.area.top) >> kTileShift;
    const int64_t end_row = ((box.bottom - 1 - tiles.area.top) >> kTileShift) + 1;
    const int64_t corners = tiles.columns + 1;
    const int32_t* sums = tiles.open_above_left;
    return sums[end_row * corners + end_column] - sums[first_row * corners + end_column] -
               sums[end_row * corners + first_column] + sums[first_row * corners + first_column] >
           0;
}

// Closes every open tile whose pixels are all claimed.
void CloseClaimedTiles(Tiles* tiles) {
    const int64_t height = tiles->area.bottom - tiles->area.top;
    for (int64_t row = 0; row < tiles->rows; row++) {
        uint64_t* open = tiles->open + row * tiles->row_words;
        for (int64_t w = 0; w < tiles->row_words; w++) {
            for (uint64_t bits = open[w]; bits; bits &= bits - 1) {
                const int64_t column = w * 64 + __builtin_ctzll(bits);
                const int64_t left = column * kTile, top = row * kTile;
                const int64_t right = left + kTile < tiles->claims_stride ? left + kTile : tiles->claims_stride;
                const int64_t bottom = top + kTile < height ? top + kTile : height;
                int unclaimed = 0;
                for (int64_t y = top; y < bottom; y++) {
                    const unsigned char* line = tiles->claims + y * tiles->claims_stride;
                    for (int64_t x = left; x < right; x++) unclaimed |= line[x] == 0;
                }
                if (!unclaimed) open[w] &= ~(uint64_t{1} << (column % 64));
            }
        }
    }
    CountOpenTiles(tiles);
}

// Claims, for the polyline `claim` names, the pixels no later step has
// claimed along steps first to last of a cut line, `steps` standing at step
// first; the number of steps.
int64_t ClaimSteps(const Tiles& tiles, const LineCut& cut, LineSteps steps, int64_t first, int64_t last,
                   unsigned char claim) {
    const int64_t width = tiles.claims_stride;
    const int64_t minor_move = cut.x_major ? width : 1;
    const int64_t major_move = (cut.x_major ? 1 : width) * cut.step;
    const int64_t period = steps.period;
    auto at_step = [&]() {
        const int64_t major = cut.major0 + cut.step * first, minor = cut.minor0 + steps.offset;
        const int64_t x = cut.x_major ? major : minor, y = cut.x_major ? minor : major;
        return tiles.claims + (y - tiles.area.top) * width + (x - tiles.area.left);
    };
    // Without a branch: which pixels are claimed is as good as random.
    auto take = [claim](unsigned char* at) {
        const unsigned char held = *at;
        *at = held ? held : claim;
    };
    // Four lanes, lane k starting k steps on and moving four steps at a
    // time: one lane's steps depend on each other, the lanes do not. Four
    // steps add 4 whole and 4 parts, of which whole periods carry into
    // the offset. Each remainder is kept less one period, so that its sign
    // tells whether it wraps.
    unsigned char* lane[4];
    int64_t rest[4];
    int64_t n = last - first + 1;
    for (int k = 0; k < 4; k++) {
        lane[k] = at_step();
        rest[k] = steps.remainder - period;
        NextLineStep(&steps);
        first++;
    }
    const int64_t carried = 4 * steps.part / period;
    const int64_t move = 4 * major_move + (4 * steps.whole + carried) * minor_move;
    const int64_t part = 4 * steps.part - carried * period;
    unsigned char *at0 = lane[0], *at1 = lane[1], *at2 = lane[2], *at3 = lane[3];
    int64_t r0 = rest[0], r1 = rest[1], r2 = rest[2], r3 = rest[3];
    auto advance = [&](unsigned char** at, int64_t* r) {
        const int64_t next = *r + part;
        const int64_t kept = next >> 63;  // all ones when the remainder did not wrap
        *at += move + (minor_move & ~kept);
        *r = next - (period & ~kept);
    };
    const int64_t count = n;
    for (; n >= 4; n -= 4) {
        take(at0);
        take(at1);
        take(at2);
        take(at3);
        advance(&at0, &r0);
        advance(&at1, &r1);
        advance(&at2, &r2);
        advance(&at3, &r3);
    }
    if (n > 0) take(at0);
    if (n > 1) take(at1);
    if (n > 2) take(at2);
    return count;
}

// A horizontal line's pixels that no later step has claimed.
int64_t ClaimLevel(const Tiles& tiles, const Area& area, int64_t x0, int64_t x1, int64_t y, unsigned char claim) {
    Area span = x1 > x0 ? Area{x0, y, x1, y + 1} : Area{x1 + 1, y, x0 + 1, y + 1};
    if (x1 == x0 || !CutArea(&span, area)) return 0;
    unsigned char* claims = tiles.claims + (y - tiles.area.top) * tiles.claims_stride;
    for (int64_t x = span.left - tiles.area.left; x < span.right - tiles.area.left; x++)
        if (!claims[x]) claims[x] = claim;
    return span.right - span.left;
}

// Claims a segment's unclaimed pixels in the tiles still open: the steps
// from the first sixteen that reach an open tile to the last such sixteen.
// *inside is set to at least the number of its steps inside `area`.
int64_t ClaimSegment(const Tiles& tiles, const Area& area, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
                     unsigned char claim, int64_t* inside) {
    *inside = 0;
    if (y0 == y1) return *inside = ClaimLevel(tiles, area, x0, x1, y0, claim);
    Area box = {x0 < x1 ? x0 : x1, y0 < y1 ? y0 : y1, (x0 < x1 ? x1 : x0) + 1, (y0 < y1 ? y1 : y0) + 1};
    if (!CutArea(&box, area)) return 0;
    *inside = box.right - box.left > box.bottom - box.top ? box.right - box.left : box.bottom - box.top;
    if (!AnyOpenIn(tiles, box)) return 0;
    LineCut cut;
    if (!CutLineAlongMajor(x0, y0, x1, y1, area, &cut) || !CutLineAlongMinor(area, &cut)) return 0;
    LineSteps steps = {};
    // Never refused: a segment between two 32-bit points is shorter than
    // 2^33 steps.
    if (StartLineSteps(cut.minor_delta, cut.a, cut.first, 1, &steps) != 0) return 0;
    const int64_t sixteen = 2 * kTile * cut.minor_delta;
    const int64_t whole = FloorDiv64(sixteen, steps.period), part = sixteen - whole * steps.period;
    const int64_t lean = cut.minor_delta > 0 ? 1 : cut.minor_delta < 0 ? -1 : 0;
    const int64_t minor_low = cut.x_major ? area.top : area.left;
    const int64_t minor_high = (cut.x_major ? area.bottom : area.right) - 1;
    int64_t from = -1, to = -1;
    LineSteps from_steps = steps;
    for (int64_t i = cut.first; i <= cut.last; i += kTile) {
        // Sixteen steps reach at most two tiles along each axis; the ones
        // at the corners of the box they span stand for them.
        const int64_t end = i + kTile - 1 < cut.last ? i + kTile - 1 : cut.last;
        const int64_t major = cut.major0 + cut.step * i, major_end = cut.major0 + cut.step * end;
        const int64_t minor = cut.minor0 + steps.offset;
        int64_t minor_end = minor + lean * (end - i);
        minor_end = minor_end < minor_low ? minor_low : minor_end > minor_high ? minor_high : minor_end;
        const int64_t open = cut.x_major ? OpenAround(tiles, major, major_end, minor, minor_end)
                                         : OpenAround(tiles, minor, minor_end, major, major_end);
        // Selects rather than branches: whether the next sixteen steps
        // meet an open tile follows no pattern.
        const int64_t starts = open & (from < 0);
        from = starts ? i : from;
        from_steps.offset = starts ? steps.offset : from_steps.offset;
        from_steps.remainder = starts ? steps.remainder : from_steps.remainder;
        to = open ? end : to;
        steps.offset += whole;
        steps.remainder += part;
        const int64_t wrap = steps.remainder >= steps.period;
        steps.offset += wrap;
        steps.remainder -= steps.period & -wrap;
    }
    return from < 0 ? 0 : ClaimSteps(tiles, cut, from_steps, from, to, claim);
}

}  // namespace

int64_t CountSteps(const POINT* points, int count, int64_t enough) {
    int64_t steps = 0;
    for (int i = 1; i < count && steps < enough; i++) {
        const int64_t dx = static_cast<int64_t>(points[i].x) - points[i - 1].x;
        const int64_t dy = static_cast<int64_t>(points[i].y) - points[i - 1].y;
        const int64_t across = dx < 0 ? -dx : dx, down = dy < 0 ? -dy : dy;
        steps += across > down ? across : down;
    }
    return steps;
}

int PaintCrowdedBatches(SoftBitmap* bitmap, const CrowdedBatch* batches, int count) {
    if (count <= 0) return 0;
    if (count > kMaxCrowdedBatches) return -1;
    Area all = batches[0].area;
    for (int b = 1; b < count; b++) {
        const Area& area = batches[b].area;
        all = {area.left < all.left ? area.left : all.left, area.top < all.top ? area.top : all.top,
               area.right > all.right ? area.right : all.right, area.bottom > all.bottom ? area.bottom : all.bottom};
    }
    Tiles tiles;
    if ((all.right - all.left) * (all.bottom - all.top) > kMaxCrowdedArea || OpenTiles(&tiles, all) != 0) return -1;
    // Looking at the open tiles reads their claims: once per area's worth of
    // claimed steps keeps that a fraction of the work.
    const int64_t look_after = (all.right - all.left) * (all.bottom - all.top);
    // A claimed step costs a few painted ones, and polylines that retrace
    // one path close no tile. Once the claims reach a dozen times the area,
    // the steps spared so far are weighed against them, once: fewer, and
    // nothing is painted here, the polylines being painted one after
    // another instead.
    const int64_t judged_after = 12 * look_after;
    int64_t since_look = 0, claimed = 0, spared = 0;
    int judged = 0;
    for (int b = count - 1; b >= 0; b--) {
        const CrowdedBatch& batch = batches[b];
        for (int i = batch.count - 1; i >= 1; i--) {
            int64_t inside;
            const int64_t steps =
                ClaimSegment(tiles, batch.area, batch.points[i - 1].x + batch.shift_x,
                             batch.points[i - 1].y + batch.shift_y, batch.points[i].x + batch.shift_x,
                             batch.points[i].y + batch.shift_y, static_cast<unsigned char>(b + 1), &inside);
            since_look += steps;
            claimed += steps;
            spared += inside - steps;
            if (since_look < look_after) continue;
            since_look = 0;
            if (!judged && claimed >= judged_after) {
                judged = 1;
                if (spared < claimed) {
                    CloseTiles(&tiles);
                    return -1;
                }
            }
            CloseClaimedTiles(&tiles);
        }
    }
    uint32_t words[kMaxCrowdedBatches + 1];
    for (int b = 0; b < count; b++) words[b + 1] = batches[b].word;
    for (int64_t y = all.top; y < all.bottom; y++) {
        const unsigned char* claims = tiles.claims + (y - all.top) * tiles.claims_stride;
        uint32_t* line = RowWords(bitmap, static_cast<int>(y)) + all.left;
        for (int64_t x = 0; x < tiles.claims_stride; x++)
            if (claims[x]) line[x] = words[claims[x]];
    }
    CloseTiles(&tiles);
    return 0;
}
