// Painting raster strips: one-bit rows painted pixel by pixel in one colour.
//
// The painting reproduces the record's pixel walk exactly, including its
// quirks: within each byte the first ink pixel is compared with column 0, so
// canvas column 0 never receives raster ink; duplicates are suppressed within
// a byte only; under thinning the pixels k = 2, 4 and 6 of every byte are not
// considered; and a data row ends at its first ink pixel at or past the right
// limit. What it skips is only what could not change the canvas: bytes
// without ink, rows that map outside the canvas and pixels that map past its
// right edge.
#include <string.h>

#include "raster_bits.h"
#include "raster_paint.h"

namespace {

// The data rows of one canvas row merged before the row is first tested for
// holding every column it can; each later run is twice the one before.
const uint32_t kFirstMergedRun = 8;


// The record's own walk, one pixel at a time, for contexts whose pixels are
// not directly at hand: within a byte, a pixel is painted only when its
// column differs from the previous one, which starts at 0.
void PaintRowPixelByPixel(HDC dc, const RasterStrip* strip, const RasterLayout* layout,
                          const unsigned char* bits, int32_t row, const DirectSurface* surface,
                          uint32_t word) {
    const unsigned considered = strip->thinning ? kThinnedPixels : kAllPixels;
    uint32_t* target = surface ? surface->words + static_cast<size_t>(row) * surface->stride_words : nullptr;
    for (uint32_t j = 0; j < layout->byte_end; j++) {
        unsigned pending = InkBits(bits[j], strip->ink, considered);
        int32_t previous = 0;
        while (pending) {
            int bit = 31 - __builtin_clz(pending);  // the highest bit is the leftmost pixel
            pending &= ~(1u << bit);
            uint32_t pixel = 8 * j + static_cast<uint32_t>(7 - bit);
            // Pixels from here on either lie past the right limit, where the
            // row ends, or past the canvas, where nothing paints.
            if (pixel >= layout->usable) return;
            int32_t column = layout->columns[pixel];
            if (column != previous) {
                if (target)
                    target[column] = word;
                else
                    SetPixel(dc, column, row, strip->colour);
            }
            previous = column;
        }
    }
}


// Adds a data row at a scale of 1/2^n, n from 1 to 4, where pixel i lies on
// column (left + i) >> n: the ink bits of each byte, mirrored so that the
// leftmost pixel is the lowest bit, are gathered group by group into columns.
// (Scale 1 has a path of its own.)
template <int n>
void AddRowAtPowerOfTwo(const RasterStrip* strip, const RasterLayout* layout, const unsigned char* bits,
                        ColumnSet* painted) {
    const uint64_t flip = strip->ink ? 0 : ~0ull;
    const uint64_t considered = 0x0101010101010101ull * (strip->thinning ? kThinnedPixels : kAllPixels);
    // The first pixel's place within its group: 64 pixels always hold whole groups.
    const int phase = strip->left & ((1 << n) - 1);
    for (uint32_t pixel = 0; pixel < layout->usable; pixel += 64) {
        uint32_t j = pixel / 8;
        uint64_t v = 0;
        if (layout->byte_end - j >= 8)
            memcpy(&v, bits + j, 8);
        else
            memcpy(&v, bits + j, layout->byte_end - j);
        v = (v ^ flip) & considered;
        v = ((v >> 1) & 0x5555555555555555ull) | ((v & 0x5555555555555555ull) << 1);
        v = ((v >> 2) & 0x3333333333333333ull) | ((v & 0x3333333333333333ull) << 2);
        v = ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
        if (layout->usable - pixel < 64) v &= (1ull << (layout->usable - pixel)) - 1;
        const int32_t first_x = strip->left + static_cast<int32_t>(pixel) - phase;
        if (phase == 0) {
            AddSet(painted, GatherGroups<n>(v), first_x >> n);
        } else {
            const uint64_t low = v << phase, high = (v >> 1) >> (63 - phase);
            AddSet(painted, GatherGroups<n>(low) | (GatherGroups<n>(high) << (64 >> n)), first_x >> n);
        }
    }
}

void AddRowAtPowerOfTwo(const RasterStrip* strip, const RasterLayout* layout, const unsigned char* bits,
                        ColumnSet* painted) {
    switch (layout->shift) {
        case 1: AddRowAtPowerOfTwo<1>(strip, layout, bits, painted); break;
        case 2: AddRowAtPowerOfTwo<2>(strip, layout, bits, painted); break;
        case 3: AddRowAtPowerOfTwo<3>(strip, layout, bits, painted); break;
        default: AddRowAtPowerOfTwo<4>(strip, layout, bits, painted); break;
    }
}

// Adds a data row at a scale below 1, eight bytes at a time: the column
// sets of the eight bytes are gathered in a register, relative to the
// group's first column, and added to the row once. Below scale 1 the 64
// pixels of a group reach at most 64 columns from its first, so the sets of
// a group fit in one word. Runs of 32 bytes without ink are passed over;
// shorter ones are not worth a branch that random ink would make
// unpredictable. The row has ink, so it has bytes.
void AddRowBySets(const RasterStrip* strip, const RasterLayout* layout, const unsigned char* bits,
                  ColumnSet* painted) {
    const unsigned considered = strip->thinning ? kThinnedPixels : kAllPixels;
    const int ink = strip->ink;
    const unsigned flip = ink ? 0 : 0xFF;
    const uint32_t end = layout->byte_end;
    // The two words of the row that the current group can reach are kept
    // in registers and written once the groups have moved past them: added
    // to in memory, each group would wait for the stores of the one before.
    int32_t word = layout->group_base[0] >> 6;
    uint64_t first_word = 0, second_word = 0;
    for (uint32_t j = 0; j < end; j += 8) {
        if ((j & 31) == 0 && end - j >= 32) {
            uint64_t run[4];
            memcpy(run, bits + j, 32);
            const uint64_t words_flip = 0x0101010101010101ull * flip;
            if ((((run[0] ^ words_flip) | (run[1] ^ words_flip) | (run[2] ^ words_flip) | (run[3] ^ words_flip)) &
                 (0x0101010101010101ull * considered)) == 0) {
                j += 24;
                continue;
            }
        }
        uint64_t gathered = 0;
        if (end - j >= 8) {
            // A whole group: its eight bytes in one load, each taken from it
            // by a shift, written out so that nothing but the lookups is left.
            uint64_t group;
            memcpy(&group, bits + j, 8);
            group ^= 0x0101010101010101ull * flip;
            const uint16_t* tables = layout->byte_table + j;
            const uint8_t* deltas = layout->byte_delta + j;
            const uint16_t* patterns = layout->patterns;
            auto set_of = [&](int k) {
                return static_cast<uint64_t>(patterns[tables[k] + ((group >> (8 * k)) & 0xFF)]) << deltas[k];
            };
            gathered = (set_of(0) | set_of(1)) | (set_of(2) | set_of(3)) | (set_of(4) | set_of(5)) |
                       (set_of(6) | set_of(7));
        } else {
            for (uint32_t k = j; k < end; k++)
                gathered |= static_cast<uint64_t>(layout->patterns[layout->byte_table[k] + (bits[k] ^ flip)])
                            << layout->byte_delta[k];
        }
        const int32_t base = layout->group_base[j / 8];
        for (; word < base >> 6; word++) {
            painted->bits[word] |= first_word;
            first_word = second_word;
            second_word = 0;
        }
        const int shift = base & 63;
        first_word |= gathered << shift;
        second_word |= (gathered >> 1) >> (63 - shift);
    }
    painted->bits[word] |= first_word;
    painted->bits[word + 1] |= second_word;
}

// Adds a data row at a scale so small that every column spans two bytes or
// more: each column tests the bytes its pixels lie in, two words at a time.
void AddRowBySpans(const RasterStrip* strip, const RasterLayout* layout, const unsigned char* bits,
                   ColumnSet* painted) {
    const uint64_t flip = strip->ink ? 0 : ~0ull;
    const uint32_t bytes = strip->bytes_per_row;
    uint64_t gathered = 0;
    for (int32_t column = layout->span_first; column <= layout->span_last; column++) {
        const int32_t index = column - layout->span_first;
        const uint32_t start = layout->span_start[index];
        uint64_t words[2] = {0, 0};
        if (start + 16 <= bytes)
            memcpy(words, bits + start, 16);
        else
            memcpy(words, bits + start, bytes - start);  // masks cover no byte past the row
        const uint64_t hit = ((words[0] ^ flip) & layout->span_masks[2 * index]) |
                             ((words[1] ^ flip) & layout->span_masks[2 * index + 1]);
        gathered |= static_cast<uint64_t>(hit != 0) << (column & 63);
        if ((column & 63) == 63 || column == layout->span_last) {
            painted->bits[column >> 6] |= gathered;
            gathered = 0;
        }
    }
}

// Merges `rows` data rows, `bytes` apart, into one row of their first `used`
// bytes: a pixel is ink in it when it is ink in any of them, which for ink
// on zeros is a zero in any of them. The rows have just been read, so they
// are merged 16 bytes of every row at a time and the merged row is written
// once.
void MergeRows(unsigned char* merged, const unsigned char* bits, uint32_t rows, size_t bytes, uint32_t used,
               int ink) {
    typedef uint64_t Pair __attribute__((vector_size(16)));
    uint32_t j = 0;
    for (; j + 16 <= used; j += 16) {
        const unsigned char* at = bits + j;
        Pair a;
        memcpy(&a, at, 16);
        if (ink) {
            for (uint32_t r = 1; r < rows; r++) {
                Pair b;
                memcpy(&b, at + r * bytes, 16);
                a |= b;
            }
        } else {
            for (uint32_t r = 1; r < rows; r++) {
                Pair b;
                memcpy(&b, at + r * bytes, 16);
                a &= b;
            }
        }
        memcpy(merged + j, &a, 16);
    }
    for (; j < used; j++) {
        unsigned char m = bits[j];
        for (uint32_t r = 1; r < rows; r++)
            m = static_cast<unsigned char>(ink ? (m | bits[r * bytes + j]) : (m & bits[r * bytes + j]));
        merged[j] = m;
    }
}

inline int Saturated(const ColumnSet* painted, const RasterLayout* layout) {
    uint64_t missing = 0;
    for (int b = 0; b < RASTER_SET_WORDS; b++) missing |= layout->reachable[b] & ~painted->bits[b];
    return missing == 0;
}

// `row` when `bits` is not empty, else `spare`, chosen without a branch:
// which it is depends on the data and would be mispredicted often.
inline uint32_t* ChooseRow(uint64_t bits, uint32_t* row, uint32_t* spare) {
    const uintptr_t mask = 0 - static_cast<uintptr_t>(bits != 0);
    return reinterpret_cast<uint32_t*>((reinterpret_cast<uintptr_t>(row) & mask) |
                                       (reinterpret_cast<uintptr_t>(spare) & ~mask));
}

}  // namespace

// Writes the painted columns of a canvas row. A byte's walk paints every
// column its ink reaches except column 0: a pixel skipped as a duplicate
// shares its column with one painted just before it in the same byte, and
// within a strip every paint is the same colour. So the union of the sets
// of all data rows on a canvas row, less column 0, is exactly what the walk
// paints there.
// Every column set lies inside the canvas, so the words past its last block
// stay empty; the blocks are emptied as they are written, ready for the next row.
void WriteColumnSet(ColumnSet* painted, uint32_t* target, int32_t canvas_width, uint32_t word) {
    painted->bits[0] &= ~1ull;
    const int32_t blocks = (canvas_width + 63) / 64;
    const Lanes colour = {word, word, word, word};
    uint32_t spare[64];
    for (int32_t b = 0; b < blocks; b++) {
        uint64_t bits64 = painted->bits[b];
        painted->bits[b] = 0;
        uint32_t* out = target + b * 64;
        uint64_t second = bits64 & (bits64 - 1);
        uint64_t third = second & (second - 1);
        if ((third & (third - 1)) == 0) {
            // Three columns or fewer, stored without branches and without
            // reading the canvas: a column that is absent is stored into a
            // spare row instead.
            const uint64_t guard = 1ull << 63;
            ChooseRow(bits64, out, spare)[__builtin_ctzll(bits64 | guard)] = word;
            ChooseRow(second, out, spare)[__builtin_ctzll(second | guard)] = word;
            ChooseRow(third, out, spare)[__builtin_ctzll(third | guard)] = word;
            continue;
        }
        // Lanes of four columns, without a branch per column; the last
        // block of a row may hold fewer than 64, and no lane reaches past it.
        const int32_t columns = canvas_width - b * 64 < 64 ? canvas_width - b * 64 : 64;
        int lane = 0;
        for (; 4 * lane + 4 <= columns; lane++, bits64 >>= 4) {
            const Lanes select = kNibbleLanes[bits64 & 15];
            Lanes current;
            memcpy(&current, out + 4 * lane, sizeof current);
            current = (current & ~select) | (colour & select);
            memcpy(out + 4 * lane, &current, sizeof current);
        }
        for (int column = 4 * lane; column < columns; column++, bits64 >>= 1)
            if (bits64 & 1) out[column] = word;
    }
}

namespace {

// Paints a data row at scale 1, where pixel i lies on column left + i,
// straight from its bits, 64 pixels at a time. Read as a little-endian
// word, pixel i of the 64 is bit i ^ 7. The order of the stores does not
// matter: every paint of a strip is the same colour.
void PaintRowAtScaleOne(const RasterStrip* strip, const RasterLayout* layout, const unsigned char* bits,
                        uint32_t* target, uint32_t word) {
    const uint64_t flip = strip->ink ? 0 : ~0ull;
    const Lanes colour = {word, word, word, word};
    uint32_t* const row = target + strip->left;
    uint32_t spare[64];
    const uint32_t usable = layout->usable, byte_end = layout->byte_end;
    for (uint32_t pixel = 0; pixel < usable; pixel += 64) {
        const uint32_t j = pixel / 8, left_over = usable - pixel;
        uint64_t v = 0;
        if (byte_end - j >= 8)
            memcpy(&v, bits + j, 8);  // a load of fixed size keeps v in a register
        else
            memcpy(&v, bits + j, byte_end - j);
        v ^= flip;
        if (left_over < 64) {
            // The first left_over pixels: whole bytes, then the high bits of the next.
            const uint32_t whole = left_over / 8;
            v &= ((1ull << (8 * whole)) - 1) | (static_cast<uint64_t>((0xFF00u >> (left_over % 8)) & 0xFF) << (8 * whole));
        }
        if (pixel == 0 && strip->left == 0) v &= ~0x80ull;  // column 0 never takes raster ink
        uint32_t* out = row + pixel;
        const uint64_t second = v & (v - 1), third = second & (second - 1), rest = third & (third - 1);
        if (rest == 0) {
            // Three pixels or fewer, stored without branches; an absent one
            // is stored into a spare row.
            const uint64_t guard = 1ull << 63;
            ChooseRow(v, out, spare)[__builtin_ctzll(v | guard) ^ 7] = word;
            ChooseRow(second, out, spare)[__builtin_ctzll(second | guard) ^ 7] = word;
            ChooseRow(third, out, spare)[__builtin_ctzll(third | guard) ^ 7] = word;
        } else if (left_over >= 64) {
            for (int k = 0; k < 8; k++, v >>= 8) {
                for (int half = 0; half < 2; half++) {
                    const Lanes select = kMirroredNibbleLanes[half ? v & 15 : (v >> 4) & 15];
                    Lanes current;
                    memcpy(&current, out + 8 * k + 4 * half, sizeof current);
                    current = (current & ~select) | (colour & select);
                    memcpy(out + 8 * k + 4 * half, &current, sizeof current);
                }
            }
        } else {
            for (; v; v &= v - 1) out[__builtin_ctzll(v) ^ 7] = word;
        }
    }
}

// The ink of `rows` data rows, `bytes` apart, as one row: rows without ink
// are passed over at the speed of reading them, and the rows from the first
// with ink on are merged when another one has ink. NULL when none has ink.
const unsigned char* MergedInk(const RasterStrip* strip, const RasterLayout* layout, const unsigned char* bits,
                               uint32_t rows) {
    const unsigned considered = strip->thinning ? kThinnedPixels : kAllPixels;
    const size_t bytes = strip->bytes_per_row;
    uint32_t first_inked = rows, inked = 0;
    for (uint32_t k = 0; k < rows; k++) {
        if (!RowHasInk(bits + k * bytes, layout->byte_end, strip->ink, considered)) continue;
        if (inked++ == 0) first_inked = k;
    }
    if (inked == 0) return nullptr;
    bits += first_inked * bytes;
    if (inked > 1) {
        MergeRows(layout->merged, bits, rows - first_inked, bytes, layout->byte_end, strip->ink);
        bits = layout->merged;
    }
    return bits;
}

// Adds the columns of `rows` data rows, `bytes` apart, to `painted`, by the
// strip's path: 1 when some row had ink.
int AddMergedRows(const RasterStrip* strip, const RasterLayout* layout, const unsigned char* bits, uint32_t rows,
                  ColumnSet* painted) {
    bits = MergedInk(strip, layout, bits, rows);
    if (!bits) return 0;
    if (layout->path == RASTER_BY_SPANS)
        AddRowBySpans(strip, layout, bits, painted);
    else if (layout->path == RASTER_BY_SETS)
        AddRowBySets(strip, layout, bits, painted);
    else
        AddRowAtPowerOfTwo(strip, layout, bits, painted);
    return 1;
}

// Gathers a data row at scale 1, where pixel i lies on column left + i: the
// row's ink bits are already in the gathered order, shifted by left % 8,
// eight bytes at a time read as big-endian words. Pixels from `usable` on
// are dropped; column 0 is dropped when the ink is written.
void GatherRowAtScaleOne(const RasterStrip* strip, const RasterLayout* layout, const unsigned char* bits,
                         unsigned char* row) {
    const uint64_t flip = strip->ink ? 0 : ~0ull;
    const int shift = strip->left & 7;
    unsigned char* out = row + strip->left / 8;
    const uint32_t usable = layout->usable, byte_end = layout->byte_end;
    if (shift == 0) {
        // Bytes land on bytes: the row is ORed in, 16 bytes at a time, and
        // its last byte keeps only its usable pixels.
        typedef uint64_t Pair __attribute__((vector_size(16)));
        const Pair flips = {flip, flip};
        const uint32_t whole = usable / 8;
        uint32_t j = 0;
        for (; j + 16 <= whole; j += 16) {
            Pair a, b;
            memcpy(&a, bits + j, 16);
            memcpy(&b, out + j, 16);
            b |= a ^ flips;
            memcpy(out + j, &b, 16);
        }
        for (; j < whole; j++) out[j] = static_cast<unsigned char>(out[j] | (bits[j] ^ flip));
        if (usable % 8)
            out[whole] = static_cast<unsigned char>(out[whole] | ((bits[whole] ^ flip) & (0xFF00u >> (usable % 8))));
        return;
    }
    uint64_t carry = 0;
    uint32_t pixel = 0;
    for (; pixel < usable; pixel += 64) {
        const uint32_t j = pixel / 8;
        uint64_t v = 0;
        if (byte_end - j >= 8)
            memcpy(&v, bits + j, 8);
        else
            memcpy(&v, bits + j, byte_end - j);
        v = __builtin_bswap64(v ^ flip);  // pixel 8 j + k is bit 63 - k
        if (usable - pixel < 64) v &= ~0ull << (64 - (usable - pixel));
        const uint64_t shifted = (v >> shift) | carry;
        carry = v << (64 - shift);  // shift is 1 to 7 here
        uint64_t gathered;
        memcpy(&gathered, out + j, 8);
        gathered |= __builtin_bswap64(shifted);
        memcpy(out + j, &gathered, 8);
    }
    if (carry) {
        uint64_t gathered;
        memcpy(&gathered, out + pixel / 8, 8);
        gathered |= __builtin_bswap64(carry);
        memcpy(out + pixel / 8, &gathered, 8);
    }
}

}  // namespace

void PaintRasterRows(const RasterStrip* strip, const RasterLayout* layout, const unsigned char* data,
                     uint32_t first_index, uint32_t count) {
    HDC dc = layout->dc;
    RasterPending* pending = layout->pending;
    const uint32_t word = ((strip->colour & 0xFF) << 16) | (strip->colour & 0xFF00) |
                          ((strip->colour >> 16) & 0xFF);
    // Ink is gathered on the canvas it was gathered for, in one colour;
    // anything else first writes what is gathered, so that paint keeps its order.
    if (pending && !(layout->gathered && pending->dc == dc && pending->word == word)) FlushRasterPending(pending);
    if (layout->gathered) {
        pending->dc = dc;
        pending->surface = layout->surface;
        pending->word = word;
    }
    const unsigned considered = strip->thinning ? kThinnedPixels : kAllPixels;
    const size_t bytes = strip->bytes_per_row;
    const DirectSurface& surface = layout->surface;
    ColumnSet painted;  // emptied again by every write
    memset(&painted, 0, sizeof painted);
    int32_t next_row = ScaleCoordinate(strip->first_row + static_cast<int32_t>(first_index), strip->scale);
    for (uint32_t i = 0; i < count;) {
        // The data rows from i to end land on one canvas row.
        const int32_t row = next_row;
        uint32_t end = i + 1;
        for (; end < count; end++) {
            next_row = ScaleCoordinate(strip->first_row + static_cast<int32_t>(first_index + end), strip->scale);
            if (next_row != row) break;
        }
        const unsigned char* bits = data + i * bytes;
        const uint32_t rows = end - i;
        i = end;
        if (row < 0 || row >= strip->canvas_height) continue;
        if (layout->path == RASTER_BY_PIXEL) {
            for (uint32_t k = 0; k < rows; k++)
                PaintRowPixelByPixel(dc, strip, layout, bits + k * bytes, row, layout->direct ? &surface : nullptr,
                                     word);
            continue;
        }
        uint32_t* target = surface.words + static_cast<size_t>(row) * surface.stride_words;
        unsigned char* gathered =
            layout->gathered ? pending->rows + static_cast<size_t>(row) * RASTER_PENDING_ROW_BYTES : nullptr;
        if (layout->path == RASTER_SCALE_ONE) {
            // At scale 1 every data row has a canvas row of its own.
            if (!RowHasInk(bits, layout->byte_end, strip->ink, considered)) continue;
            if (gathered) {
                GatherRowAtScaleOne(strip, layout, bits, gathered);
                MarkPendingRow(pending, row);
            } else {
                PaintRowAtScaleOne(strip, layout, bits, target, word);
            }
            continue;
        }
        if (layout->path == RASTER_HALF_GATHERED) {
            // Two data rows at most, gathered in one pass.
            if (GatherRowsAtHalf(strip, layout, bits, rows, gathered)) MarkPendingRow(pending, row);
            continue;
        }
        // Which columns a data row paints depends only on its ink bits, and
        // every paint of a strip is the same colour: the rows on one canvas
        // row paint what their merged ink paints. They are merged in runs of
        // 8, 16, 32, ... rows, so that once the row holds every column the
        // strip can reach, the rest are not even read.
        int any = 0;
        for (uint32_t k = 0, run = kFirstMergedRun; k < rows; k += run, run *= 2) {
            const uint32_t n = rows - k < run ? rows - k : run;
            if (!AddMergedRows(strip, layout, bits + k * bytes, n, &painted)) continue;
            any = 1;
            if (k + n < rows && Saturated(&painted, layout)) break;
        }
        if (any && gathered) {
            GatherColumnSet(&painted, gathered);
            MarkPendingRow(pending, row);
        } else if (any) {
            WriteColumnSet(&painted, target, strip->canvas_width, word);
        }
    }
}
