// Software GDI: memory device contexts, device-dependent and DIB-section
// bitmaps, pens, brushes and the drawing calls the program makes, reproducing
// what the reference GDI draws pixel for pixel.
//
// Device-dependent bitmaps are 32 bits per pixel, top row first, one word per
// pixel laid out 0xAARRGGBB. The one exception is the shared 1x1 monochrome
// bitmap that every new memory context holds until something else is selected.
#include <stdlib.h>
#include <string.h>

#include "internal.h"

namespace {

enum DcKind { DC_MEMORY, DC_SCREEN, DC_WINDOW };

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
};

struct SoftPen {
    GdiHeader header;
    int style;
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
};

unsigned char g_stock_mono_bits[2];
SoftBitmap g_stock_bitmap = {{OBJ_BITMAP, 1, 0}, 1, 1, 1, 2, g_stock_mono_bits, 0, {}, {}, 0};
SoftPen g_stock_pen = {{OBJ_PEN, 1, 0}, PS_SOLID, 1, 0x000000};
SoftBrush g_stock_brush = {{OBJ_BRUSH, 1, 0}, 0xFFFFFF};

// Every live object, so that a stale or foreign handle is recognised without
// being dereferenced.
GdiHeader** g_live = nullptr;
int g_live_count = 0;
int g_live_capacity = 0;

int Register(GdiHeader* object) {
    if (g_live_count == g_live_capacity) {
        int capacity = g_live_capacity ? g_live_capacity * 2 : 64;
        void* grown = realloc(g_live, sizeof(GdiHeader*) * static_cast<size_t>(capacity));
        if (!grown) return -1;
        g_live = static_cast<GdiHeader**>(grown);
        g_live_capacity = capacity;
    }
    g_live[g_live_count++] = object;
    return 0;
}

void Unregister(GdiHeader* object) {
    for (int i = 0; i < g_live_count; i++) {
        if (g_live[i] == object) {
            g_live[i] = g_live[--g_live_count];
            return;
        }
    }
}

GdiHeader* LookUp(const void* handle) {
    if (!handle) return nullptr;
    if (handle == &g_stock_bitmap || handle == &g_stock_pen || handle == &g_stock_brush)
        return static_cast<GdiHeader*>(const_cast<void*>(handle));
    for (int i = 0; i < g_live_count; i++)
        if (g_live[i] == handle) return g_live[i];
    return nullptr;
}

SoftDc* LookUpDc(HDC handle) {
    GdiHeader* header = LookUp(handle);
    if (!header || (header->kind != OBJ_MEMDC && header->kind != OBJ_DC)) return nullptr;
    return reinterpret_cast<SoftDc*>(header);
}

SoftBitmap* LookUpBitmap(const void* handle) {
    GdiHeader* header = LookUp(handle);
    if (!header || header->kind != OBJ_BITMAP) return nullptr;
    return reinterpret_cast<SoftBitmap*>(header);
}

// The 20 reserved entries of the default palette, for PALETTEINDEX colours.
const COLORREF kDefaultPalette[20] = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000,
    0xC0C0C0, 0xC0DCC0, 0xF0CAA6, 0xF0FBFF, 0xA4A0A0, 0x808080, 0x0000FF,
    0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};

// What a COLORREF paints with, as a COLORREF without flags. A top byte of FF
// (CLR_INVALID among them) paints black.
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

// Monochrome targets take the nearer of black and white.
int MonoBitFromColour(COLORREF colour) {
    long r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
    long to_black = r * r + g * g + b * b;
    long to_white = (255 - r) * (255 - r) + (255 - g) * (255 - g) + (255 - b) * (255 - b);
    return to_white < to_black ? 1 : 0;
}

// The pixels a DC may draw into: its bitmap, cut by its clip rectangle.
// Only 32-bit and monochrome bitmaps are drawing targets.
int DrawArea(const SoftDc* dc, RECT* area) {
    const SoftBitmap* b = dc->bitmap;
    // DIB sections are never drawn into here.
    if (!b || b->is_dib || (b->bits_per_pixel != 32 && b->bits_per_pixel != 1) || !b->bits) return 0;
    RECT r = {0, 0, b->width, b->height};
    if (dc->clipped) {
        if (dc->clip.left > r.left) r.left = dc->clip.left;
        if (dc->clip.top > r.top) r.top = dc->clip.top;
        if (dc->clip.right < r.right) r.right = dc->clip.right;
        if (dc->clip.bottom < r.bottom) r.bottom = dc->clip.bottom;
    }
    *area = r;
    return r.left < r.right && r.top < r.bottom;
}

inline uint32_t* RowWords(SoftBitmap* b, int y) {
    return reinterpret_cast<uint32_t*>(b->bits + static_cast<size_t>(y) * b->stride);
}

// Paints columns x0 <= x < x1 of row y, already clipped, with a 32-bit word
// (or, on a monochrome target, with the bit nearest to `colour`).
void PaintSpan(SoftBitmap* b, int y, int x0, int x1, uint32_t word, COLORREF colour) {
    if (b->bits_per_pixel == 32) {
        uint32_t* row = RowWords(b, y);
        for (int x = x0; x < x1; x++) row[x] = word;
        return;
    }
    int bit = MonoBitFromColour(colour);
    unsigned char* row = b->bits + static_cast<size_t>(y) * b->stride;
    for (int x = x0; x < x1; x++) {
        unsigned char mask = static_cast<unsigned char>(0x80 >> (x & 7));
        row[x >> 3] = static_cast<unsigned char>(bit ? row[x >> 3] | mask : row[x >> 3] & ~mask);
    }
}

void PaintPoint(SoftBitmap* b, const RECT& area, int64_t x, int64_t y, uint32_t word,
                COLORREF colour) {
    if (x < area.left || x >= area.right || y < area.top || y >= area.bottom) return;
    PaintSpan(b, static_cast<int>(y), static_cast<int>(x), static_cast<int>(x) + 1, word, colour);
}

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
    RECT area;
    if (!DrawArea(dc, &area)) return;
    if (left < area.left) left = area.left;
    if (top < area.top) top = area.top;
    if (right > area.right) right = area.right;
    if (bottom > area.bottom) bottom = area.bottom;
    for (int64_t y = top; y < bottom; y++)
        PaintSpan(dc->bitmap, static_cast<int>(y), static_cast<int>(left), static_cast<int>(right),
                  word, colour);
}

int64_t FloorDiv(__int128 numerator, __int128 denominator) {
    __int128 q = numerator / denominator;
    if ((numerator % denominator != 0) && ((numerator < 0) != (denominator < 0))) q--;
    return static_cast<int64_t>(q);
}

// The one-pixel line: one pixel per step of the major axis, start included,
// end excluded; the minor coordinate is the exact value rounded to nearest,
// an exact half going to the smaller coordinate whatever the direction.
// Only the steps that can land inside the draw area are visited.
void PaintCosmeticLine(SoftDc* dc, int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t word,
                       COLORREF colour) {
    RECT area;
    if (!DrawArea(dc, &area)) return;
    int64_t dx = x1 - x0, dy = y1 - y0;
    int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    int x_major = adx >= ady;
    int64_t a = x_major ? adx : ady;
    if (a == 0) return;
    int64_t major0 = x_major ? x0 : y0;
    int64_t minor0 = x_major ? y0 : x0;
    int64_t minor_delta = x_major ? dy : dx;
    int64_t step = (x_major ? dx : dy) < 0 ? -1 : 1;
    int64_t low = x_major ? area.left : area.top;
    int64_t high = (x_major ? area.right : area.bottom) - 1;
    int64_t first = 0, last = a - 1;
    if (step > 0) {
        if (low - major0 > first) first = low - major0;
        if (high - major0 < last) last = high - major0;
    } else {
        if (major0 - high > first) first = major0 - high;
        if (major0 - low < last) last = major0 - low;
    }
    for (int64_t i = first; i <= last; i++) {
        int64_t minor = minor0 + FloorDiv(static_cast<__int128>(2) * minor_delta * i + a - 1,
                                          static_cast<__int128>(2) * a);
        int64_t major = major0 + step * i;
        if (x_major)
            PaintPoint(dc->bitmap, area, major, minor, word, colour);
        else
            PaintPoint(dc->bitmap, area, minor, major, word, colour);
    }
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

void ReleaseSelections(SoftDc* dc) {
    if (dc->bitmap) dc->bitmap->header.selections--;
    if (dc->pen) dc->pen->header.selections--;
    if (dc->brush) dc->brush->header.selections--;
}

SoftDc* NewDc(int dc_kind) {
    SoftDc* dc = static_cast<SoftDc*>(calloc(1, sizeof(SoftDc)));
    if (!dc) return nullptr;
    dc->header.kind = dc_kind == DC_MEMORY ? OBJ_MEMDC : OBJ_DC;
    dc->dc_kind = dc_kind;
    if (dc_kind == DC_MEMORY) {
        dc->bitmap = &g_stock_bitmap;
        g_stock_bitmap.header.selections++;
    }
    dc->pen = &g_stock_pen;
    dc->brush = &g_stock_brush;
    dc->stretch_mode = BLACKONWHITE;
    g_stock_pen.header.selections++;
    g_stock_brush.header.selections++;
    if (Register(&dc->header) != 0) {
        ReleaseSelections(dc);
        free(dc);
        return nullptr;
    }
    return dc;
}

void FreeDc(SoftDc* dc) {
    ReleaseSelections(dc);
    Unregister(&dc->header);
    free(dc);
}

// The format a bitmap compatible with `reference` takes: the screen's 32 bits,
// or the format of the bitmap a memory context currently holds.
int CompatibleBitsPerPixel(const SoftDc* reference) {
    if (reference && reference->dc_kind == DC_MEMORY && reference->bitmap)
        return reference->bitmap->bits_per_pixel == 1 ? 1 : 32;
    return 32;
}

void FreeBitmap(SoftBitmap* b) {
    Unregister(&b->header);
    free(b->bits);
    free(b);
}

}  // namespace

int CountLiveGdiObjects(void) {
    int count = 0;
    for (int i = 0; i < g_live_count; i++)
        if (g_live[i]->kind != OBJ_MEMDC && g_live[i]->kind != OBJ_DC) count++;
    return count;
}

int CountLiveDeviceContexts(void) {
    return g_live_count - CountLiveGdiObjects();
}

HDC CreateCompatibleDC(HDC reference) {
    if (reference && !LookUpDc(reference)) return nullptr;
    if (TakeFault(FAULT_CREATE_DC)) return nullptr;
    return reinterpret_cast<HDC>(NewDc(DC_MEMORY));
}

BOOL DeleteDC(HDC handle) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc || dc->dc_kind != DC_MEMORY) return FALSE;
    FreeDc(dc);
    return TRUE;
}

HDC GetDC(HWND window) {
    if (!window) return reinterpret_cast<HDC>(NewDc(DC_SCREEN));
    int32_t width, height;
    if (X11WindowSize(window, &width, &height) != 0) return nullptr;
    SoftDc* dc = NewDc(DC_WINDOW);
    if (dc) dc->window = window;
    return reinterpret_cast<HDC>(dc);
}

int ReleaseDC(HWND window, HDC handle) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc || dc->dc_kind == DC_MEMORY || dc->window != window) return 0;
    FreeDc(dc);
    return 1;
}

HWND WindowFromPoint(POINT point) {
    return X11WindowAtPoint(point.x, point.y);
}

HBITMAP CreateCompatibleBitmap(HDC reference, int width, int height) {
    SoftDc* dc = LookUpDc(reference);
    if (!dc) return nullptr;
    // A zero side gives the shared 1x1 monochrome bitmap; negative sides count
    // by their magnitude.
    if (width == 0 || height == 0) return reinterpret_cast<HBITMAP>(&g_stock_bitmap);
    int64_t w = width < 0 ? -static_cast<int64_t>(width) : width;
    int64_t h = height < 0 ? -static_cast<int64_t>(height) : height;
    int bpp = CompatibleBitsPerPixel(dc);
    int64_t stride = bpp == 32 ? w * 4 : ((w + 15) / 16) * 2;
    // Each factor is bounded before the product is formed, so it cannot wrap.
    if (w > 0x7FFFFFFF || h > 0x7FFFFFFF || stride > 0x7FFFFFFF || stride * h > 0xFFFFFFFFll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (TakeFault(FAULT_CREATE_BITMAP)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    SoftBitmap* b = static_cast<SoftBitmap*>(calloc(1, sizeof(SoftBitmap)));
    unsigned char* bits = static_cast<unsigned char*>(calloc(1, static_cast<size_t>(stride * h)));
    if (!b || !bits || Register(&b->header) != 0) {
        free(b);
        free(bits);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    b->header.kind = OBJ_BITMAP;
    b->width = static_cast<int>(w);
    b->height = static_cast<int>(h);
    b->bits_per_pixel = bpp;
    b->stride = static_cast<int>(stride);
    b->bits = bits;
    return reinterpret_cast<HBITMAP>(b);
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset) {
    (void)dc;
    if (bits) *bits = nullptr;
    if (!info || info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) return nullptr;
    const BITMAPINFOHEADER& request = info->bmiHeader;
    int bpp = request.biBitCount;
    if (request.biWidth <= 0 || request.biHeight == 0) return nullptr;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
    DWORD compression = request.biCompression;
    if (compression != BI_RGB && !(compression == BI_BITFIELDS && (bpp == 16 || bpp == 32)))
        return nullptr;
    int64_t width = request.biWidth;
    int64_t height = request.biHeight < 0 ? -static_cast<int64_t>(request.biHeight) : request.biHeight;
    int64_t stride = ((width * bpp + 31) / 32) * 4;
    if (stride > 0x7FFFFFFF || stride * height > 0xFFFFFFFFll) return nullptr;
    if (TakeFault(FAULT_CREATE_BITMAP)) return nullptr;

    SoftBitmap* b = static_cast<SoftBitmap*>(calloc(1, sizeof(SoftBitmap)));
    unsigned char* pixels =
        static_cast<unsigned char*>(calloc(1, static_cast<size_t>(stride * height)));
    if (!b || !pixels || Register(&b->header) != 0) {
        free(b);
        free(pixels);
        return nullptr;
    }
    b->header.kind = OBJ_BITMAP;
    b->width = static_cast<int>(width);
    b->height = static_cast<int>(height);
    b->bits_per_pixel = bpp;
    b->stride = static_cast<int>(stride);
    b->bits = pixels;
    b->is_dib = 1;

    const unsigned char* after_header = reinterpret_cast<const unsigned char*>(info) + request.biSize;
    DWORD masks[3] = {0, 0, 0};
    if (bpp <= 8) {
        int full = 1 << bpp;
        int given = request.biClrUsed == 0 || request.biClrUsed > static_cast<DWORD>(full)
                        ? full
                        : static_cast<int>(request.biClrUsed);
        if (usage == DIB_RGB_COLORS) memcpy(b->colours, after_header, sizeof(RGBQUAD) * given);
        b->colour_count = full;
    } else if (compression == BI_BITFIELDS) {
        memcpy(masks, after_header, sizeof(masks));
    } else if (bpp == 16) {
        // A 16-bit section is reported as 5-5-5 bit fields.
        compression = BI_BITFIELDS;
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }

    DIBSECTION& s = b->section;
    s.dsBm.bmType = 0;
    s.dsBm.bmWidth = b->width;
    s.dsBm.bmHeight = b->height;
    s.dsBm.bmWidthBytes = b->stride;
    s.dsBm.bmPlanes = 1;
    s.dsBm.bmBitsPixel = static_cast<WORD>(bpp);
    s.dsBm.bmBits = pixels;
    s.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
    s.dsBmih.biWidth = b->width;
    s.dsBmih.biHeight = b->height;
    s.dsBmih.biPlanes = 1;
    s.dsBmih.biBitCount = static_cast<WORD>(bpp);
    s.dsBmih.biCompression = compression;
    s.dsBmih.biSizeImage = static_cast<DWORD>(stride * height);
    s.dsBmih.biXPelsPerMeter = request.biXPelsPerMeter;
    s.dsBmih.biYPelsPerMeter = request.biYPelsPerMeter;
    s.dsBmih.biClrUsed = static_cast<DWORD>(b->colour_count);
    s.dsBmih.biClrImportant = 0;
    memcpy(s.dsBitfields, masks, sizeof(masks));
    s.dshSection = section;
    s.dsOffset = offset;
    if (bits) *bits = pixels;
    return reinterpret_cast<HBITMAP>(b);
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ object) {
    SoftDc* dc = LookUpDc(handle);
    GdiHeader* header = LookUp(object);
    if (!dc || !header) return nullptr;
    GdiHeader* previous = nullptr;
    switch (header->kind) {
        case OBJ_BITMAP: {
            SoftBitmap* b = reinterpret_cast<SoftBitmap*>(header);
            if (dc->dc_kind != DC_MEMORY) return nullptr;
            // A bitmap lives in one memory context at a time; the shared
            // monochrome bitmap is the exception.
            if (b->header.selections > 0 && !b->header.stock && dc->bitmap != b) return nullptr;
            previous = &dc->bitmap->header;
            dc->bitmap->header.selections--;
            dc->bitmap = b;
            break;
        }
        case OBJ_PEN:
            previous = &dc->pen->header;
            dc->pen->header.selections--;
            dc->pen = reinterpret_cast<SoftPen*>(header);
            break;
        case OBJ_BRUSH:
            previous = &dc->brush->header;
            dc->brush->header.selections--;
            dc->brush = reinterpret_cast<SoftBrush*>(header);
            break;
        default:
            return nullptr;
    }
    header->selections++;
    return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
    GdiHeader* header = LookUp(object);
    if (!header || header->kind == OBJ_MEMDC || header->kind == OBJ_DC) return FALSE;
    if (header->stock) return TRUE;
    // Objects still selected somewhere are refused, so a missing deselection
    // shows up as a leak rather than as a dangling pointer.
    if (header->selections > 0) return FALSE;
    if (header->kind == OBJ_BITMAP) {
        FreeBitmap(reinterpret_cast<SoftBitmap*>(header));
        return TRUE;
    }
    Unregister(header);
    free(header);
    return TRUE;
}

int GetObjectA(HANDLE object, int size, LPVOID buffer) {
    SoftBitmap* b = LookUpBitmap(object);
    if (!b) return 0;
    BITMAP bm = {};
    if (b->is_dib) {
        bm = b->section.dsBm;
    } else {
        bm.bmWidth = b->width;
        bm.bmHeight = b->height;
        bm.bmWidthBytes = b->stride;
        bm.bmPlanes = 1;
        bm.bmBitsPixel = static_cast<WORD>(b->bits_per_pixel);
    }
    if (!buffer) return b->is_dib ? static_cast<int>(sizeof(DIBSECTION)) : static_cast<int>(sizeof(BITMAP));
    if (b->is_dib && size >= static_cast<int>(sizeof(DIBSECTION))) {
        memcpy(buffer, &b->section, sizeof(DIBSECTION));
        return sizeof(DIBSECTION);
    }
    if (size >= static_cast<int>(sizeof(BITMAP))) {
        memcpy(buffer, &bm, sizeof(BITMAP));
        return sizeof(BITMAP);
    }
    return 0;
}

HBRUSH CreateSolidBrush(COLORREF colour) {
    if (TakeFault(FAULT_CREATE_OBJECT)) return nullptr;
    SoftBrush* brush = static_cast<SoftBrush*>(calloc(1, sizeof(SoftBrush)));
    if (!brush) return nullptr;
    brush->header.kind = OBJ_BRUSH;
    brush->colour = colour;
    if (Register(&brush->header) != 0) {
        free(brush);
        return nullptr;
    }
    return reinterpret_cast<HBRUSH>(brush);
}

HPEN CreatePen(int style, int width, COLORREF colour) {
    if (TakeFault(FAULT_CREATE_OBJECT)) return nullptr;
    SoftPen* pen = static_cast<SoftPen*>(calloc(1, sizeof(SoftPen)));
    if (!pen) return nullptr;
    pen->header.kind = OBJ_PEN;
    pen->style = style;
    pen->width = width < 0 ? -width : width;
    pen->colour = colour;
    if (Register(&pen->header) != 0) {
        free(pen);
        return nullptr;
    }
    return reinterpret_cast<HPEN>(pen);
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

// A block of a memory DC's bitmap copied into a foreign window in one
// transfer: only what lies inside both the window and the source bitmap.
static BOOL CopyToWindow(SoftDc* dc, int x, int y, int width, int height, SoftDc* source, int source_x, int source_y) {
    SoftBitmap* from = source->bitmap;
    int32_t window_width, window_height;
    if (!from || from->bits_per_pixel != 32 || width <= 0 || height <= 0 ||
        X11WindowSize(dc->window, &window_width, &window_height) != 0)
        return TRUE;
    int64_t left = x, top = y, right = static_cast<int64_t>(x) + width, bottom = static_cast<int64_t>(y) + height;
    const int64_t shift_x = static_cast<int64_t>(source_x) - x, shift_y = static_cast<int64_t>(source_y) - y;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (right > window_width) right = window_width;
    if (bottom > window_height) bottom = window_height;
    if (left + shift_x < 0) left = -shift_x;
    if (top + shift_y < 0) top = -shift_y;
    if (right + shift_x > from->width) right = from->width - shift_x;
    if (bottom + shift_y > from->height) bottom = from->height - shift_y;
    if (left >= right || top >= bottom) return TRUE;
    const size_t columns = static_cast<size_t>(right - left), rows = static_cast<size_t>(bottom - top);
    uint32_t* block = static_cast<uint32_t*>(malloc(columns * rows * 4));
    if (!block) return FALSE;
    // A window shows colours, not the fourth byte.
    for (size_t r = 0; r < rows; r++) {
        const uint32_t* line = RowWords(from, static_cast<int>(top + shift_y + static_cast<int64_t>(r))) + left + shift_x;
        for (size_t c = 0; c < columns; c++) block[r * columns + c] = line[c] & 0x00FFFFFF;
    }
    int written = X11WritePixels(dc->window, static_cast<int32_t>(left), static_cast<int32_t>(top),
                                 static_cast<int32_t>(columns), static_cast<int32_t>(rows), block,
                                 static_cast<int32_t>(columns));
    free(block);
    return written == 0;
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
    RECT area;
    if (!DrawArea(dc, &area)) return TRUE;
    SoftBitmap* from = source->bitmap;
    SoftBitmap* to = dc->bitmap;
    if (from->bits_per_pixel != 32 && from->bits_per_pixel != 1) return TRUE;
    // Only the part that lies inside the source bitmap is copied.
    int64_t left = x, top = y, right = static_cast<int64_t>(x) + width,
            bottom = static_cast<int64_t>(y) + height;
    int64_t shift_x = static_cast<int64_t>(source_x) - x, shift_y = static_cast<int64_t>(source_y) - y;
    if (left + shift_x < 0) left = -shift_x;
    if (top + shift_y < 0) top = -shift_y;
    if (right + shift_x > from->width) right = from->width - shift_x;
    if (bottom + shift_y > from->height) bottom = from->height - shift_y;
    if (left < area.left) left = area.left;
    if (top < area.top) top = area.top;
    if (right > area.right) right = area.right;
    if (bottom > area.bottom) bottom = area.bottom;
    if (left >= right || top >= bottom) return TRUE;
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
            int sx = static_cast<int>(column + shift_x);
            COLORREF colour;
            uint32_t word;
            if (from->bits_per_pixel == 1) {
                int bit = (from->bits[static_cast<size_t>(sy) * from->stride + (sx >> 3)] >> (7 - (sx & 7))) & 1;
                colour = bit ? 0xFFFFFF : 0;
                word = bit ? 0x00FFFFFFu : 0u;
            } else {
                word = RowWords(from, sy)[sx];
                colour = ColourFromWord(word);
            }
            PaintSpan(to, static_cast<int>(row), static_cast<int>(column), static_cast<int>(column) + 1,
                      word, colour);
        }
    }
    return TRUE;
}

int SetStretchBltMode(HDC handle, int mode) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc || mode < 1 || mode > 4) return 0;
    int previous = dc->stretch_mode;
    dc->stretch_mode = mode;
    return previous;
}

// The steps d of a stretch along one axis, from `origin` by `extent` (each
// step one pixel, backwards for a negative extent), that land in [low, high).
static void StepsInside(int64_t origin, int64_t extent, int64_t low, int64_t high, int64_t* first,
                        int64_t* last) {
    const int64_t count = extent < 0 ? -extent : extent;
    if (extent > 0) {
        *first = low - origin > 0 ? low - origin : 0;
        *last = high - 1 - origin < count - 1 ? high - 1 - origin : count - 1;
    } else {
        *first = origin - (high - 1) > 0 ? origin - (high - 1) : 0;
        *last = origin - low < count - 1 ? origin - low : count - 1;
    }
}

// Which source pixels survive a stretch, the way the reference picks them:
// a destination column d of M shows source column round((d + 1) * N / M) - 1,
// halves rounding up, so that columns take the last pixel of each group and
// rows, d showing round(d * N / M), the first. A destination one column wide
// treats the source as one column narrower. Every destination pixel copies
// one source pixel whole: nothing is blended, whatever the stretch mode.
BOOL StretchBlt(HDC handle, int x, int y, int width, int height, HDC source_handle, int source_x,
                int source_y, int source_width, int source_height, DWORD rop) {
    SoftDc* dc = LookUpDc(handle);
    SoftDc* source = LookUpDc(source_handle);
    if (!dc || !source || rop != SRCCOPY || source_width <= 0 || source_height <= 0) return FALSE;
    if (width == 0 || height == 0) return TRUE;
    RECT area;
    if (!DrawArea(dc, &area)) return TRUE;
    SoftBitmap* from = source->bitmap;
    SoftBitmap* to = dc->bitmap;
    if (!from || (from->bits_per_pixel != 32 && from->bits_per_pixel != 1) || to->bits_per_pixel != 32)
        return TRUE;
    const int64_t columns = width < 0 ? -static_cast<int64_t>(width) : width;
    const int64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
    const int64_t n = (width > 0 && columns == 1 && source_width > 1) ? source_width - 1 : source_width;
    // Only the destination steps that land inside the draw area are visited.
    int64_t first_row, last_row, first_column, last_column;
    StepsInside(y, height, area.top, area.bottom, &first_row, &last_row);
    StepsInside(x, width, area.left, area.right, &first_column, &last_column);
    for (int64_t d = first_row; d <= last_row; d++) {
        const int64_t target_y = height > 0 ? y + d : y - d;
        const int64_t sy = source_y + static_cast<int64_t>((static_cast<__int128>(2) * d * source_height + rows) / (2 * rows));
        if (sy < 0 || sy >= from->height) continue;
        uint32_t* row = RowWords(to, static_cast<int>(target_y));
        for (int64_t c = first_column; c <= last_column; c++) {
            const int64_t target_x = width > 0 ? x + c : x - c;
            int64_t pick = static_cast<int64_t>((static_cast<__int128>(2) * (c + 1) * n + columns) / (2 * columns)) - 1;
            if (pick < 0) pick = 0;
            const int64_t sx = source_x + pick;
            if (sx < 0 || sx >= from->width) continue;
            if (from->bits_per_pixel == 32) {
                row[target_x] = RowWords(from, static_cast<int>(sy))[sx];
            } else {
                const unsigned char* bits = from->bits + static_cast<size_t>(sy) * from->stride;
                row[target_x] = ((bits[sx >> 3] >> (7 - (sx & 7))) & 1) ? 0x00FFFFFFu : 0u;
            }
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

// Connected segments with the DC's pen, each from its start up to its end.
static void PaintSegments(SoftDc* dc, const POINT* points, int count, int64_t shift_x, int64_t shift_y) {
    SoftPen* pen = dc->pen;
    COLORREF colour = ResolveColour(pen->colour);
    uint32_t word = WordFromColour(colour);
    for (int i = 1; i < count; i++) {
        int64_t x0 = points[i - 1].x + shift_x, y0 = points[i - 1].y + shift_y;
        int64_t x1 = points[i].x + shift_x, y1 = points[i].y + shift_y;
        if (pen->width <= 1)
            PaintCosmeticLine(dc, x0, y0, x1, y1, word, colour);
        else
            PaintWideSegment(dc, pen->width, x0, y0, x1, y1, word, colour);
    }
}

// Lines straight into a foreign window: the part of the window they can
// touch, cut by the clip, is read, drawn with the same rasteriser, and
// written back, so the window gets exactly the pixels a memory DC would.
static void PaintSegmentsOnWindow(SoftDc* dc, const POINT* points, int count) {
    int32_t window_width, window_height;
    if (X11WindowSize(dc->window, &window_width, &window_height) != 0) return;
    int64_t left = points[0].x, top = points[0].y, right = left, bottom = top;
    for (int i = 1; i < count; i++) {
        if (points[i].x < left) left = points[i].x;
        if (points[i].x > right) right = points[i].x;
        if (points[i].y < top) top = points[i].y;
        if (points[i].y > bottom) bottom = points[i].y;
    }
    const int64_t reach = dc->pen->width > 1 ? dc->pen->width : 1;
    left -= reach;
    top -= reach;
    right += reach + 1;
    bottom += reach + 1;
    RECT area = {0, 0, window_width, window_height};
    if (dc->clipped) {
        if (dc->clip.left > area.left) area.left = dc->clip.left;
        if (dc->clip.top > area.top) area.top = dc->clip.top;
        if (dc->clip.right < area.right) area.right = dc->clip.right;
        if (dc->clip.bottom < area.bottom) area.bottom = dc->clip.bottom;
    }
    if (left < area.left) left = area.left;
    if (top < area.top) top = area.top;
    if (right > area.right) right = area.right;
    if (bottom > area.bottom) bottom = area.bottom;
    if (left >= right || top >= bottom) return;
    SoftBitmap block = {};
    block.header.kind = OBJ_BITMAP;
    block.width = static_cast<int>(right - left);
    block.height = static_cast<int>(bottom - top);
    block.bits_per_pixel = 32;
    block.stride = block.width * 4;
    block.bits = static_cast<unsigned char*>(malloc(static_cast<size_t>(block.stride) * block.height));
    if (!block.bits) return;
    uint32_t* words = reinterpret_cast<uint32_t*>(block.bits);
    if (X11ReadPixels(dc->window, static_cast<int32_t>(left), static_cast<int32_t>(top), block.width, block.height,
                      words) == 0) {
        SoftDc target = *dc;
        target.bitmap = &block;
        target.clipped = 0;
        PaintSegments(&target, points, count, -left, -top);
        for (int i = 0; i < block.width * block.height; i++) words[i] &= 0x00FFFFFF;
        X11WritePixels(dc->window, static_cast<int32_t>(left), static_cast<int32_t>(top), block.width,
                       block.height, words, block.width);
    }
    free(block.bits);
}

static void DrawSegments(SoftDc* dc, const POINT* points, int count) {
    if (dc->dc_kind == DC_WINDOW)
        PaintSegmentsOnWindow(dc, points, count);
    else
        PaintSegments(dc, points, count, 0, 0);
}

BOOL LineTo(HDC handle, int x, int y) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc) return FALSE;
    const POINT segment[2] = {{dc->x, dc->y}, {x, y}};
    DrawSegments(dc, segment, 2);
    dc->x = x;
    dc->y = y;
    return TRUE;
}

BOOL Polyline(HDC handle, const POINT* points, int count) {
    SoftDc* dc = LookUpDc(handle);
    // Fewer than two points draw nothing and report it; the current
    // position is neither used nor moved.
    if (!dc || !points || count < 2) return FALSE;
    DrawSegments(dc, points, count);
    return TRUE;
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    if (TakeFault(FAULT_CREATE_OBJECT)) return nullptr;
    SoftRegion* region = static_cast<SoftRegion*>(calloc(1, sizeof(SoftRegion)));
    if (!region) return nullptr;
    region->header.kind = OBJ_REGION;
    region->rect.left = left < right ? left : right;
    region->rect.right = left < right ? right : left;
    region->rect.top = top < bottom ? top : bottom;
    region->rect.bottom = top < bottom ? bottom : top;
    if (Register(&region->header) != 0) {
        free(region);
        return nullptr;
    }
    return reinterpret_cast<HRGN>(region);
}

int SelectClipRgn(HDC handle, HRGN region_handle) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc) return 0;
    if (!region_handle) {
        dc->clipped = 0;
        return SIMPLEREGION;
    }
    GdiHeader* header = LookUp(region_handle);
    if (!header || header->kind != OBJ_REGION) return 0;
    // The DC keeps its own copy: the region may be deleted at once.
    dc->clip = reinterpret_cast<SoftRegion*>(header)->rect;
    dc->clipped = 1;
    return dc->clip.left < dc->clip.right && dc->clip.top < dc->clip.bottom ? SIMPLEREGION : NULLREGION;
}

COLORREF SetPixel(HDC handle, int x, int y, COLORREF requested) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc) return CLR_INVALID;
    COLORREF colour = ResolveColour(requested);
    if (dc->bitmap && dc->bitmap->bits_per_pixel == 1) colour = MonoBitFromColour(colour) ? 0xFFFFFF : 0;
    RECT area;
    if (DrawArea(dc, &area)) PaintPoint(dc->bitmap, area, x, y, WordFromColour(colour), colour);
    // Points outside the bitmap change nothing, and the colour is still reported.
    return colour;
}

COLORREF GetPixel(HDC handle, int x, int y) {
    SoftDc* dc = LookUpDc(handle);
    if (dc && dc->dc_kind == DC_WINDOW) {
        // Points outside the client area, or a window that cannot be read,
        // give CLR_INVALID.
        int32_t width, height;
        uint32_t word;
        if (X11WindowSize(dc->window, &width, &height) != 0 || x < 0 || y < 0 || x >= width || y >= height ||
            X11ReadPixels(dc->window, x, y, 1, 1, &word) != 0)
            return CLR_INVALID;
        return ColourFromWord(word);
    }
    if (!dc || !dc->bitmap) return CLR_INVALID;
    SoftBitmap* b = dc->bitmap;
    if (x < 0 || y < 0 || x >= b->width || y >= b->height) return CLR_INVALID;
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

UINT GetDIBColorTable(HDC handle, UINT start, UINT count, RGBQUAD* colours) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc || !dc->bitmap || !dc->bitmap->is_dib || dc->bitmap->bits_per_pixel > 8) return 0;
    UINT full = static_cast<UINT>(dc->bitmap->colour_count);
    if (start >= full) return 0;
    UINT n = count < full - start ? count : full - start;
    if (colours) memcpy(colours, dc->bitmap->colours + start, sizeof(RGBQUAD) * n);
    return n;
}

LONG GetBitmapBits(HBITMAP handle, LONG count, LPVOID bits) {
    SoftBitmap* b = LookUpBitmap(handle);
    if (!b) return 0;
    int64_t total = static_cast<int64_t>(b->stride) * b->height;
    if (total > 0x7FFFFFFF) total = 0x7FFFFFFF;
    if (!bits) return static_cast<LONG>(total);
    if (count <= 0) return 0;
    int64_t n = count < total ? count : total;
    memcpy(bits, b->bits, static_cast<size_t>(n));
    return static_cast<LONG>(n);
}

static int g_direct_surfaces = 1;

void EnableDirectSurfaces(int enabled) {
    g_direct_surfaces = enabled;
}

int GetDirectSurface(HDC handle, DirectSurface* surface) {
    SoftDc* dc = LookUpDc(handle);
    if (!g_direct_surfaces || !dc || dc->dc_kind != DC_MEMORY || dc->clipped || !dc->bitmap) return -1;
    SoftBitmap* b = dc->bitmap;
    if (b->bits_per_pixel != 32 || b->is_dib) return -1;
    surface->words = reinterpret_cast<uint32_t*>(b->bits);
    surface->width = b->width;
    surface->height = b->height;
    surface->stride_words = b->stride / 4;
    return 0;
}

int GetDeviceBitmapWords(HBITMAP handle, DeviceBitmapWords* words) {
    SoftBitmap* b = LookUpBitmap(handle);
    if (!b || b->is_dib || b->bits_per_pixel != 32 || !b->bits) return -1;
    words->words = reinterpret_cast<uint32_t*>(b->bits);
    words->width = b->width;
    words->height = b->height;
    words->stride_words = b->stride / 4;
    return 0;
}
