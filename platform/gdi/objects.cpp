// Software GDI objects: the stock objects, device contexts, bitmaps (device
// dependent and DIB sections), pens, brushes and regions, and what can be
// asked of them.
#include <stdlib.h>
#include <string.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "../../reading/reading.h"
#include "gdi.h"
#include "../handle_table.h"

namespace {

unsigned char g_stock_mono_bits[2];
SoftBitmap g_stock_bitmap = {
    .header = {.kind = OBJ_BITMAP, .stock = 1, .selections = 0},
    .width = 1,
    .height = 1,
    .bits_per_pixel = 1,
    .stride = 2,
    .bits = g_stock_mono_bits,
    .is_dib = 0,
    .section = {},
    .colours = {},
    .colour_count = 0,
    .pixels_unmade = 0,
    .pending = nullptr,
    .lent_to = nullptr,
};
SoftPen g_stock_pen = {.header = {.kind = OBJ_PEN, .stock = 1, .selections = 0}, .width = 1, .colour = 0x000000};
SoftBrush g_stock_brush = {.header = {.kind = OBJ_BRUSH, .stock = 1, .selections = 0}, .colour = 0xFFFFFF};

// Every live object, so that a stale or foreign handle is recognised without
// being dereferenced.
HandleTable g_live = {};

int Register(GdiHeader* object) {
    return AddHandle(&g_live, object, 0);
}

void Unregister(GdiHeader* object) {
    RemoveHandle(&g_live, object);
}

// ---- Pens, brushes and regions ----
// The program makes and deletes one of these for nearly every record it
// draws (a pen per polyline, a brush per rectangle): the memory of deleted
// ones is kept for the next, instead of costing the C library's allocator
// twice per record.
union SmallObject {
    SoftPen pen;
    SoftBrush brush;
    SoftRegion region;
};
const int kKeptSmallObjects = 16;
SmallObject* g_kept_objects[kKeptSmallObjects];
int g_kept_object_count = 0;

// A zeroed, registered object of `kind`, NULL when memory runs out.
GdiHeader* NewSmallObject(int kind) {
    SmallObject* object = nullptr;
    if (g_kept_object_count) {
        object = g_kept_objects[--g_kept_object_count];
#if defined(__SANITIZE_ADDRESS__)
        ASAN_UNPOISON_MEMORY_REGION(object, sizeof(SmallObject));
#endif
        memset(object, 0, sizeof(SmallObject));
    } else {
        object = static_cast<SmallObject*>(calloc(1, sizeof(SmallObject)));
        if (!object) return nullptr;
    }
    GdiHeader* header = &object->pen.header;
    header->kind = kind;
    if (Register(header) != 0) {
        free(object);
        return nullptr;
    }
    return header;
}

void FreeSmallObject(GdiHeader* header) {
    Unregister(header);
    SmallObject* object = reinterpret_cast<SmallObject*>(header);
    if (g_kept_object_count == kKeptSmallObjects) {
        free(object);
        return;
    }
    g_kept_objects[g_kept_object_count++] = object;
#if defined(__SANITIZE_ADDRESS__)
    // A deleted object stays freed memory to the sanitizer while it is kept.
    ASAN_POISON_MEMORY_REGION(object, sizeof(SmallObject));
#endif
}

void ReleaseSelections(SoftDc* dc) {
    if (dc->bitmap) dc->bitmap->header.selections--;
    if (dc->pen) dc->pen->header.selections--;
    if (dc->brush) dc->brush->header.selections--;
}

// The format a bitmap compatible with `reference` takes: the screen's 32 bits,
// or the format of the bitmap a memory context currently holds.
int CompatibleBitsPerPixel(const SoftDc* reference) {
    if (reference && reference->dc_kind == DC_MEMORY && reference->bitmap)
        return reference->bitmap->bits_per_pixel == 1 ? 1 : 32;
    return 32;
}

// Drops a kept upload, and with it the pin on the heap block it reads.
void DropPending(SoftBitmap* b) {
    if (!b->pending) return;
    UnpinHeapBlock(HeapBlockHolding(b->pending->info));
    free(b->pending);
    b->pending = nullptr;
}

void FreeBitmap(SoftBitmap* b) {
    Unregister(&b->header);
    DropPending(b);
    if (b->lent_to) LeaveSharedPixels(b);
    ReleaseZeroed(b->bits);
    free(b);
}

// A registered bitmap of zeroed pixels, made now or at their first use; the
// sizes are already checked.
SoftBitmap* NewBitmap(int64_t width, int64_t height, int bits_per_pixel, int64_t stride, int made_later) {
    SoftBitmap* b = static_cast<SoftBitmap*>(calloc(1, sizeof(SoftBitmap)));
    const size_t size = static_cast<size_t>(stride * height);
    unsigned char* bits = made_later ? nullptr : static_cast<unsigned char*>(AllocateZeroed(size));
    if (!b || (!made_later && !bits) || Register(&b->header) != 0) {
        free(b);
        ReleaseZeroed(bits);
        return nullptr;
    }
    b->header.kind = OBJ_BITMAP;
    b->width = static_cast<int>(width);
    b->height = static_cast<int>(height);
    b->bits_per_pixel = bits_per_pixel;
    b->stride = static_cast<int>(stride);
    b->bits = bits;
    b->pixels_unmade = made_later;
    return b;
}

// Paints every kept upload that reads from the heap block [start, start + size),
// before the block is freed.
void SettleUploadsFrom(const void* start, size_t size) {
    const unsigned char* low = static_cast<const unsigned char*>(start);
    for (int i = 0; i < g_live.count; i++) {
        GdiHeader* header = static_cast<GdiHeader*>(g_live.entries[i].handle);
        if (header->kind != OBJ_BITMAP) continue;
        SoftBitmap* b = reinterpret_cast<SoftBitmap*>(header);
        if (!b->pending) continue;
        const unsigned char* info = reinterpret_cast<const unsigned char*>(b->pending->info);
        const unsigned char* bits = static_cast<const unsigned char*>(b->pending->bits);
        if ((info < low || info >= low + size) && (bits < low || bits >= low + size)) continue;
        // Without memory for its pixels the upload is lost rather than left
        // reading freed memory.
        if (MakePixels(b) != 0) DropPending(b);
    }
}

}  // namespace

int MakePixels(SoftBitmap* b) {
    if (!b->pixels_unmade) return b->bits ? 0 : -1;
    unsigned char* bits =
        static_cast<unsigned char*>(AllocateZeroed(static_cast<size_t>(b->stride) * static_cast<size_t>(b->height)));
    if (!bits) return -1;
    b->bits = bits;
    b->pixels_unmade = 0;
    if (b->pending) {
        const DeviceBitmapWords target = {reinterpret_cast<uint32_t*>(bits), b->width, b->height, b->stride / 4};
        PaintUpload(b->pending, &target);
        DropPending(b);
    }
    return 0;
}

int MakeWritablePixels(SoftBitmap* b) {
    if (b->lent_to) UnshareShadow(b->lent_to);
    return MakePixels(b);
}

int KeepUploadPending(HBITMAP handle, const PendingUpload* upload) {
    SoftBitmap* b = LookUpBitmap(handle);
    if (!b || b->is_dib || b->bits_per_pixel != 32 || !b->pixels_unmade || b->pending) return -1;
    const void* block = HeapBlockHolding(upload->info);
    if (!block || HeapBlockHolding(upload->bits) != block) return -1;
    PendingUpload* kept = static_cast<PendingUpload*>(malloc(sizeof(PendingUpload)));
    if (!kept) return -1;
    if (PinHeapBlock(block, SettleUploadsFrom) != 0) {
        free(kept);
        return -1;
    }
    *kept = *upload;
    b->pending = kept;
    return 0;
}

GdiHeader* LookUp(const void* handle) {
    if (!handle) return nullptr;
    if (handle == &g_stock_bitmap || handle == &g_stock_pen || handle == &g_stock_brush)
        return static_cast<GdiHeader*>(const_cast<void*>(handle));
    int index = FindHandle(&g_live, handle);
    return index < 0 ? nullptr : static_cast<GdiHeader*>(g_live.entries[index].handle);
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

int CountLiveGdiObjects(void) {
    int count = CountBitmapWindows();
    for (int i = 0; i < g_live.count; i++) {
        const GdiHeader* header = static_cast<const GdiHeader*>(g_live.entries[i].handle);
        if (header->kind != OBJ_MEMDC && header->kind != OBJ_DC) count++;
    }
    return count;
}

int CountLiveDeviceContexts(void) {
    return g_live.count - CountLiveGdiObjects();
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
    SoftBitmap* b = NewBitmap(w, h, bpp, stride, 1);
    if (!b) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
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
    SoftBitmap* b = NewBitmap(width, height, bpp, stride, 0);
    if (!b) return nullptr;
    unsigned char* pixels = b->bits;
    b->is_dib = 1;

    const unsigned char* after_header = reinterpret_cast<const unsigned char*>(info) + request.biSize;
    DWORD masks[3] = {0, 0, 0};
    if (bpp <= 8) {
        // The request's table holds the entries its indexes can reach, counted
        // as every reader of a DIB header counts them.
        DibHeader table = {};
        table.kind = DIB_HEADER_INFO;
        table.bit_count = static_cast<uint16_t>(bpp);
        table.colours_used = request.biClrUsed;
        const uint32_t given = DibReachableColourCount(&table);
        if (usage == DIB_RGB_COLORS) memcpy(b->colours, after_header, sizeof(RGBQUAD) * given);
        b->colour_count = 1 << bpp;
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
    FreeSmallObject(header);
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
    SoftBrush* brush = reinterpret_cast<SoftBrush*>(NewSmallObject(OBJ_BRUSH));
    if (!brush) return nullptr;
    brush->colour = colour;
    return reinterpret_cast<HBRUSH>(brush);
}

HPEN CreatePen(int style, int width, COLORREF colour) {
    // Every pen the program makes is solid: the style changes nothing it draws.
    (void)style;
    if (TakeFault(FAULT_CREATE_OBJECT)) return nullptr;
    SoftPen* pen = reinterpret_cast<SoftPen*>(NewSmallObject(OBJ_PEN));
    if (!pen) return nullptr;
    pen->width = width < 0 ? -width : width;
    pen->colour = colour;
    return reinterpret_cast<HPEN>(pen);
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    if (TakeFault(FAULT_CREATE_OBJECT)) return nullptr;
    SoftRegion* region = reinterpret_cast<SoftRegion*>(NewSmallObject(OBJ_REGION));
    if (!region) return nullptr;
    region->rect.left = left < right ? left : right;
    region->rect.right = left < right ? right : left;
    region->rect.top = top < bottom ? top : bottom;
    region->rect.bottom = top < bottom ? bottom : top;
    return reinterpret_cast<HRGN>(region);
}

int SelectClipRgn(HDC handle, HRGN region_handle) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc) return 0;
    // A window DC's shadow stays: lines under the new clip are drawn into it
    // only where it holds every pixel they may touch.
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

int SetStretchBltMode(HDC handle, int mode) {
    SoftDc* dc = LookUpDc(handle);
    if (!dc || mode < 1 || mode > 4) return 0;
    int previous = dc->stretch_mode;
    dc->stretch_mode = mode;
    return previous;
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
    if (count <= 0 || MakePixels(b) != 0) return 0;
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
    if (b->bits_per_pixel != 32 || b->is_dib || MakeWritablePixels(b) != 0) return -1;
    surface->words = reinterpret_cast<uint32_t*>(b->bits);
    surface->width = b->width;
    surface->height = b->height;
    surface->stride_words = b->stride / 4;
    return 0;
}

int GetDeviceBitmapWords(HBITMAP handle, DeviceBitmapWords* words) {
    SoftBitmap* b = LookUpBitmap(handle);
    if (!b || b->is_dib || b->bits_per_pixel != 32 || MakeWritablePixels(b) != 0) return -1;
    words->words = reinterpret_cast<uint32_t*>(b->bits);
    words->width = b->width;
    words->height = b->height;
    words->stride_words = b->stride / 4;
    return 0;
}

int IsDeviceBitmap(HBITMAP handle) {
    SoftBitmap* b = LookUpBitmap(handle);
    return b && !b->is_dib && b->bits_per_pixel == 32;
}
