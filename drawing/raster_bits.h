// The painter's bit-level means: a data byte's ink, columns gathered from
// groups of pixels, the column sets of a canvas row, and what the painting
// and the gathered ink call of each other. Shared by the files of the strip
// painter only.
#pragma once

#include <stdint.h>
#include <string.h>

#include "raster_paint.h"

// Four pixels at a time: lane i of kNibbleLanes[n] is all ones when bit i of n is set.
typedef uint32_t Lanes __attribute__((vector_size(16)));
#define LANES(n) {(n) & 1 ? ~0u : 0u, (n) & 2 ? ~0u : 0u, (n) & 4 ? ~0u : 0u, (n) & 8 ? ~0u : 0u}
inline const Lanes kNibbleLanes[16] = {LANES(0),  LANES(1),  LANES(2),  LANES(3), LANES(4),  LANES(5),
                                LANES(6),  LANES(7),  LANES(8),  LANES(9), LANES(10), LANES(11),
                                LANES(12), LANES(13), LANES(14), LANES(15)};
// The same for four pixels of a data byte's nibble, whose highest bit is the leftmost.
#define MIRRORED_LANES(n) {(n) & 8 ? ~0u : 0u, (n) & 4 ? ~0u : 0u, (n) & 2 ? ~0u : 0u, (n) & 1 ? ~0u : 0u}
inline const Lanes kMirroredNibbleLanes[16] = {
    MIRRORED_LANES(0),  MIRRORED_LANES(1),  MIRRORED_LANES(2),  MIRRORED_LANES(3),
    MIRRORED_LANES(4),  MIRRORED_LANES(5),  MIRRORED_LANES(6),  MIRRORED_LANES(7),
    MIRRORED_LANES(8),  MIRRORED_LANES(9),  MIRRORED_LANES(10), MIRRORED_LANES(11),
    MIRRORED_LANES(12), MIRRORED_LANES(13), MIRRORED_LANES(14), MIRRORED_LANES(15)};
#undef MIRRORED_LANES
#undef LANES

inline unsigned InkBits(unsigned value, int ink, unsigned considered) {
    return (ink ? value : ~value) & considered;
}

// Painted columns of one canvas row, one bit each, with spare words for the
// spill of sets that straddle the last one.
struct ColumnSet {
    uint64_t bits[RASTER_SET_WORDS];
};
static_assert(RASTER_SET_WORDS >= kMaxSetColumns / 64 + 3, "room for a row and its spill");

inline void AddSet(ColumnSet* painted, uint64_t set, int32_t base) {
    painted->bits[base >> 6] |= set << (base & 63);
    painted->bits[(base >> 6) + 1] |= (set >> 1) >> (63 - (base & 63));
}

constexpr uint64_t FirstBitOfEachGroup(int group) {
    uint64_t mask = 0;
    for (int k = 0; k < 64; k += group) mask |= 1ull << k;
    return mask;
}

constexpr uint64_t RunsAt(int run, int spacing) {
    uint64_t mask = 0;
    for (int k = 0; k < 64; k += spacing) mask |= ((1ull << run) - 1) << k;
    return mask;
}

// Folds every group of `group` bits onto its first bit.
template <int group>
inline uint64_t FoldGroups(uint64_t x) {
    if constexpr (group == 1) {
        return x;
    } else {
        x = FoldGroups<group / 2>(x);
        return x | (x >> (group / 2));
    }
}

// Runs of `run` gathered bits, `spacing` apart, joined pairwise until they
// are one run from bit 0.
template <int run, int spacing>
inline uint64_t JoinRuns(uint64_t x) {
    if constexpr (spacing >= 64) {
        return x;
    } else {
        constexpr uint64_t keep = RunsAt(2 * run, 2 * spacing);
        return JoinRuns<2 * run, 2 * spacing>((x | (x >> (spacing - run))) & keep);
    }
}

// Each group of 2^n bits becomes one bit, set when any of the group's is:
// group k lands on bit k.
template <int n>
inline uint64_t GatherGroups(uint64_t x) {
    constexpr int group = 1 << n;
    return JoinRuns<1, group>(FoldGroups<group>(x) & FirstBitOfEachGroup(group));
}
// Column c of a column set is bit c % 64 of word c / 64; in gathered ink it
// is bit 7 - c % 8 of byte c / 8. A little-endian word holds the same eight
// bytes either way, so one order becomes the other by mirroring each byte.
inline uint64_t MirrorBytes(uint64_t v) {
    v = ((v >> 1) & 0x5555555555555555ull) | ((v & 0x5555555555555555ull) << 1);
    v = ((v >> 2) & 0x3333333333333333ull) | ((v & 0x3333333333333333ull) << 2);
    return ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
}

// At scale 0.5 sixteen pixels, two data bytes, land on eight columns, one
// byte of gathered ink when left is a multiple of 16: column k of the
// eight is set when pixel 2k or 2k + 1 is ink. Made at its first use.
inline uint8_t g_halved[1 << 16];
inline int g_halved_made = 0;

inline void MakeHalvedTable(void) {
    for (uint32_t v = 0; v < (1u << 16); v++) {
        unsigned columns = 0;
        for (int k = 0; k < 8; k++)
            if ((v >> (14 - 2 * k)) & 3) columns |= 0x80u >> k;
        g_halved[v] = static_cast<uint8_t>(columns);
    }
    g_halved_made = 1;
}

// Whether a row holds any considered ink in its first `end` bytes, in one
// pass of wide ORs (ink on ones) or ANDs (ink on zeros): far cheaper than
// testing column by column a row that has none.
inline int RowHasInk(const unsigned char* bits, uint32_t end, int ink, unsigned considered) {
    typedef uint64_t Pair __attribute__((vector_size(16)));
    const uint64_t start = ink ? 0 : ~0ull;
    Pair first = {start, start}, second = {start, start};
    uint32_t j = 0;
    if (ink) {
        for (; j + 32 <= end; j += 32) {
            Pair a, b;
            memcpy(&a, bits + j, 16);
            memcpy(&b, bits + j + 16, 16);
            first |= a;
            second |= b;
        }
    } else {
        for (; j + 32 <= end; j += 32) {
            Pair a, b;
            memcpy(&a, bits + j, 16);
            memcpy(&b, bits + j + 16, 16);
            first &= a;
            second &= b;
        }
    }
    const uint64_t flip = ink ? 0 : ~0ull;
    const uint64_t mask = 0x0101010101010101ull * considered;
    uint64_t found = ((first[0] ^ flip) | (first[1] ^ flip) | (second[0] ^ flip) | (second[1] ^ flip)) & mask;
    for (; j < end; j++) found |= (bits[j] ^ (ink ? 0u : 0xFFu)) & considered;
    return found != 0;
}

// Writes the painted columns of a canvas row and empties the set.
void WriteColumnSet(ColumnSet* painted, uint32_t* target, int32_t canvas_width, uint32_t word);

// Gathered ink, one bit per canvas pixel in rows of RASTER_PENDING_ROW_BYTES:
// the data rows of one canvas row at scale 0.5 with left a multiple of 16
// (1 when some had ink), and a canvas row's column set, which is emptied.
int GatherRowsAtHalf(const RasterStrip* strip, const RasterLayout* layout, const unsigned char* bits, uint32_t rows,
                     unsigned char* row);
void GatherColumnSet(ColumnSet* painted, unsigned char* row);

inline void MarkPendingRow(RasterPending* pending, int32_t row) {
    if (row < pending->first_row) pending->first_row = row;
    if (row > pending->last_row) pending->last_row = row;
}
