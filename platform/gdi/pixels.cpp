// Software GDI pixels: what a colour paints with, and painting and reading
// single pixels and spans in each bitmap format.
#include "gdi.h"

namespace {

// The 20 reserved entries of the default palette, for PALETTEINDEX colours.
const COLORREF kDefaultPalette[20] = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000,
    0xC0C0C0, 0xC0DCC0, 0xF0CAA6, 0xF0FBFF, 0xA4A0A0, 0x808080, 0x0000FF,
    0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};

}  // namespace

int CutArea(Area* area, const Area& limit) {
    if (limit.left > area->left) area->left = limit.left;
    if (limit.top > area->top) area->top = limit.top;
    if (limit.right < area->right) area->right = limit.right;
    if (limit.bottom < area->bottom) area->bottom = limit.bottom;
    return area->left < area->right && area->top < area->bottom;
}

int CutToClip(const SoftDc* dc, Area* area) {
    if (!dc->clipped) return area->left < area->right && area->top < area->bottom;
    const Area clip = {dc->clip.left, dc->clip.top, dc->clip.right, dc->clip.bottom};
    return CutArea(area, clip);
}

// A top byte of FF (CLR_INVALID among them) paints black.
COLORREF ResolveColour(COLORREF colour) {
    switch (colour >> 24) {
        case 0xFF:
            return 0;
        case 0x01: {
            unsigned index = colour & 0xFFFF;
            return index < 20 ? kDefaultPalette[index] : 0;
        }
        case 0x10:
            return colour & 0xFFFF;  // DIBINDEX: the raw pixel value
        default:
            return colour & 0xFFFFFF;
    }
}

uint32_t WordFromColour(COLORREF colour) {
    return ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

COLORREF ColourFromWord(uint32_t word) {
    return ((word & 0xFF) << 16) | (word & 0xFF00) | ((word >> 16) & 0xFF);
}

int MonoBitFromColour(COLORREF colour) {
    long r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
    long to_black = r * r + g * g + b * b;
    long to_white = (255 - r) * (255 - r) + (255 - g) * (255 - g) + (255 - b) * (255 - b);
    return to_white < to_black ? 1 : 0;
}

namespace {

// Stores `word` into words[0] to words[count - 1]. The fuzzing build traces
// every comparison in the program's code, the sanitizers' checks of each
// store among them: whitening a canvas took several traced calls a pixel,
// four fifths of the drawing fuzzer's time. The loop decides nothing but its
// length, which its callers' own branches already show, so there it is kept
// out of the tracing and of the undefined-behaviour checks that stop it
// being vectorised; the address sanitizer still checks every store.
#if defined(__has_feature)
#if __has_feature(coverage_sanitizer)
__attribute__((noinline, no_sanitize("coverage", "undefined")))
#endif
#endif
void FillWords(uint32_t* words, int count, uint32_t word) {
    for (int i = 0; i < count; i++) words[i] = word;
}

}  // namespace

void PaintSpan(SoftBitmap* b, int y, int x0, int x1, uint32_t word, COLORREF colour) {
    if (b->bits_per_pixel == 32) {
        if (x0 < x1) FillWords(RowWords(b, y) + x0, x1 - x0, word);
        return;
    }
    int bit = MonoBitFromColour(colour);
    unsigned char* row = b->bits + static_cast<size_t>(y) * b->stride;
    for (int x = x0; x < x1; x++) {
        unsigned char mask = static_cast<unsigned char>(0x80 >> (x & 7));
        row[x >> 3] = static_cast<unsigned char>(bit ? row[x >> 3] | mask : row[x >> 3] & ~mask);
    }
}

void PaintPoint(SoftBitmap* b, const Area& area, int64_t x, int64_t y, uint32_t word, COLORREF colour) {
    if (x < area.left || x >= area.right || y < area.top || y >= area.bottom) return;
    PaintSpan(b, static_cast<int>(y), static_cast<int>(x), static_cast<int>(x) + 1, word, colour);
}

uint32_t SourceWord(SoftBitmap* b, int64_t x, int64_t y) {
    if (b->bits_per_pixel == 32) return RowWords(b, static_cast<int>(y))[x];
    const unsigned char* bits = b->bits + static_cast<size_t>(y) * b->stride;
    return ((bits[x >> 3] >> (7 - (x & 7))) & 1) ? 0x00FFFFFFu : 0u;
}

COLORREF PixelColour(SoftBitmap* b, int x, int y) {
    // DIB sections store their rows bottom-up.
    int row = b->is_dib ? b->height - 1 - y : y;
    const unsigned char* p = b->bits + static_cast<size_t>(row) * b->stride;
    switch (b->bits_per_pixel) {
        case 32:
            return ColourFromWord(reinterpret_cast<const uint32_t*>(p)[x]);
        case 24:
            return RGB(p[x * 3 + 2], p[x * 3 + 1], p[x * 3]);
        case 1:
            if (!b->is_dib) return ((p[x >> 3] >> (7 - (x & 7))) & 1) ? 0xFFFFFF : 0;
            [[fallthrough]];
        case 4:
        case 8: {
            int bpp = b->bits_per_pixel;
            int64_t bit_offset = static_cast<int64_t>(x) * bpp;
            int index = (p[bit_offset >> 3] >> (8 - bpp - (bit_offset & 7))) & ((1 << bpp) - 1);
            const RGBQUAD& q = b->colours[index];
            return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
        default:
            return CLR_INVALID;
    }
}
