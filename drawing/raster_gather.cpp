// Gathered raster ink: the ink of strips of one colour in a row, kept as
// one bit per canvas pixel and written to the canvas once, at the next
// flush, however many strips cover a canvas row.
#include <string.h>

#include "raster_bits.h"
#include "raster_paint.h"

namespace {

typedef uint64_t InkPair __attribute__((vector_size(16)));

// Halves 128 pixels of ink, sixteen data bytes read as two little-endian
// words: column k of each byte pair is set when pixel 2k or 2k + 1 is ink.
// Each byte's four pairs are folded onto its low nibble, the pair's nibbles
// are joined into one byte, first byte high, and each word's four bytes are
// packed: eight bytes of gathered ink.
inline uint64_t HalveInk(InkPair v) {
    // Both lanes' masks as constants: a helper returning a vector would
    // change the calling convention on targets without SSE.
    const InkPair fives = {0x5555555555555555ull, 0x5555555555555555ull};
    const InkPair threes = {0x3333333333333333ull, 0x3333333333333333ull};
    const InkPair nibbles = {0x0F0F0F0F0F0F0F0Full, 0x0F0F0F0F0F0F0F0Full};
    const InkPair bytes = {0x00FF00FF00FF00FFull, 0x00FF00FF00FF00FFull};
    const InkPair halves = {0x0000FFFF0000FFFFull, 0x0000FFFF0000FFFFull};
    const InkPair words = {0x00000000FFFFFFFFull, 0x00000000FFFFFFFFull};
    v = (v | (v >> 1)) & fives;  // pair k of a byte on bit 6 - 2k
    v = (v | (v >> 1)) & threes;
    v = (v | (v >> 2)) & nibbles;  // pair k on bit 3 - k
    v = ((v << 4) | (v >> 8)) & bytes;
    v = (v | (v >> 8)) & halves;
    v = (v | (v >> 16)) & words;
    return v[0] | (v[1] << 32);
}

}  // namespace

// Gathers the data rows of one canvas row at scale 0.5, with left a
// multiple of 16, straight into the gathered row: the rows' ink is merged
// and halved in one pass, 256 pixels at a time, and the pixels left after
// the last whole 256 go through the table g_halved (raster_bits.h); pixels
// from `usable` on are dropped. 1 when some row had ink.
int GatherRowsAtHalf(const RasterStrip* strip, const RasterLayout* layout, const unsigned char* bits, uint32_t rows,
                     unsigned char* row) {
    const uint64_t flip = strip->ink ? 0 : ~0ull;
    const InkPair flips = {flip, flip};
    const size_t bytes = strip->bytes_per_row;
    unsigned char* out = row + strip->left / 16;
    const uint32_t usable = layout->usable, byte_end = layout->byte_end;
    // Blank rows are common and cost no more than reading them. (Scale 0.5
    // is never thinned: every pixel counts.)
    const unsigned considered = kAllPixels;
    uint32_t inked = 0;
    while (inked < rows && !RowHasInk(bits + inked * bytes, byte_end, strip->ink, considered)) inked++;
    if (inked == rows) return 0;
    uint64_t any = 0;
    uint32_t pixel = 0;
    auto add = [&](InkPair ink, uint32_t at) {
        const uint64_t halved = HalveInk(ink);
        uint64_t gathered;
        memcpy(&gathered, out + at / 16, 8);
        gathered |= halved;
        memcpy(out + at / 16, &gathered, 8);
        any |= halved;
    };
    // 256 pixels a pass.
    for (; pixel + 256 <= usable; pixel += 256) {
        const uint32_t j = pixel / 8;
        InkPair first = {0, 0}, second = {0, 0};
        for (uint32_t r = 0; r < rows; r++) {
            InkPair data[2];
            memcpy(data, bits + r * bytes + j, 32);
            first |= data[0] ^ flips;
            second |= data[1] ^ flips;
        }
        add(first, pixel);
        add(second, pixel + 128);
    }
    if (pixel < usable && !g_halved_made) MakeHalvedTable();
    for (; pixel < usable; pixel += 16) {
        const uint32_t j = pixel / 8;
        unsigned v = 0;
        for (uint32_t r = 0; r < rows; r++) {
            const unsigned char* data = bits + r * bytes + j;
            v |= (data[0] ^ static_cast<unsigned>(flip & 0xFF)) << 8;
            if (j + 1 < byte_end) v |= data[1] ^ static_cast<unsigned>(flip & 0xFF);
        }
        if (usable - pixel < 16) v &= (0xFFFF0000u >> (usable - pixel)) & 0xFFFF;
        out[pixel / 16] = static_cast<unsigned char>(out[pixel / 16] | g_halved[v]);
        any |= g_halved[v];
    }
    return any != 0;
}

// Gathers the columns of a canvas row's set and empties the set.
void GatherColumnSet(ColumnSet* painted, unsigned char* row) {
    for (int b = 0; b < RASTER_SET_WORDS; b++) {
        if (!painted->bits[b]) continue;
        uint64_t gathered;
        memcpy(&gathered, row + 8 * b, 8);
        gathered |= MirrorBytes(painted->bits[b]);
        memcpy(row + 8 * b, &gathered, 8);
        painted->bits[b] = 0;
    }
}

size_t RasterPendingSize(int32_t height) {
    return static_cast<size_t>(height > 0 ? height : 0) * RASTER_PENDING_ROW_BYTES;
}

void StartRasterPending(RasterPending* pending, void* block, int32_t width, int32_t height) {
    pending->rows = static_cast<unsigned char*>(block);
    pending->width = width;
    pending->height = height;
    pending->dc = nullptr;
    pending->surface = {};
    pending->word = 0;
    pending->first_row = height;
    pending->last_row = -1;
}

void FlushRasterPending(RasterPending* pending) {
    if (pending->first_row > pending->last_row) return;
    // Ink is gathered only on a canvas whose pixels are at hand, and its
    // rows and columns lie inside it.
    const DirectSurface& surface = pending->surface;
    ColumnSet painted;
    memset(&painted, 0, sizeof painted);
    const int32_t blocks = (pending->width + 63) / 64;
    for (int32_t r = pending->first_row; r <= pending->last_row; r++) {
        unsigned char* row = pending->rows + static_cast<size_t>(r) * RASTER_PENDING_ROW_BYTES;
        uint64_t any = 0;
        for (int32_t b = 0; b < blocks; b++) {
            uint64_t gathered;
            memcpy(&gathered, row + 8 * b, 8);
            painted.bits[b] = MirrorBytes(gathered);
            any |= gathered;
        }
        memset(row, 0, RASTER_PENDING_ROW_BYTES);
        if (any)
            WriteColumnSet(&painted, surface.words + static_cast<size_t>(r) * surface.stride_words, pending->width,
                           pending->word);
    }
    pending->first_row = pending->height;
    pending->last_row = -1;
}
