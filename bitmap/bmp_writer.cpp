// The packed DIB and the BMP file writer.
#include <string.h>

#include "internal.h"


const uint32_t FixupColors[FIXUP_COLOR_COUNT] = {
    0x00000000,  // black
    0x00FFFFFF,  // white
    0x00FF0000,  // red
    0x0000FF00,  // green
    0x00FFFF00,  // yellow
    0x000000FF,  // blue
    0x00FF00FF,  // magenta
    0x0000FFFF,  // cyan
    0x00FF6600,  // orange
};

enum { FIX_BLACK, FIX_WHITE, FIX_RED, FIX_GREEN, FIX_YELLOW, FIX_BLUE, FIX_MAGENTA, FIX_CYAN, FIX_ORANGE };
static_assert(FIX_ORANGE + 1 == FIXUP_COLOR_COUNT, "one colour for every fix-up name");

struct FixupEntry {
    uint32_t entry;
    int colour;
};

// Entries of the 2-, 16- and 256-colour tables that always carry the drawing's
// colours and white, whatever the section's table held.
const FixupEntry kFixups2[] = {{0, FIX_BLACK}, {1, FIX_WHITE}};
const FixupEntry kFixups16[] = {{0, FIX_BLACK}, {1, FIX_ORANGE}, {9, FIX_RED},      {10, FIX_GREEN},
                                {11, FIX_YELLOW}, {12, FIX_BLUE}, {13, FIX_MAGENTA}, {14, FIX_CYAN},
                                {15, FIX_WHITE}};
const FixupEntry kFixups256[] = {{0, FIX_BLACK},    {249, FIX_RED},  {250, FIX_GREEN},
                                 {251, FIX_YELLOW}, {252, FIX_BLUE}, {253, FIX_MAGENTA},
                                 {254, FIX_CYAN},   {255, FIX_WHITE}};

static void ApplyFixups(unsigned char* table, uint32_t colour_count) {
    const FixupEntry* fixups = nullptr;
    size_t n = 0;
    if (colour_count == 2) {
        fixups = kFixups2;
        n = sizeof kFixups2 / sizeof kFixups2[0];
    } else if (colour_count == 16) {
        fixups = kFixups16;
        n = sizeof kFixups16 / sizeof kFixups16[0];
    } else if (colour_count == 256) {
        fixups = kFixups256;
        n = sizeof kFixups256 / sizeof kFixups256[0];
    }
    for (size_t i = 0; i < n; i++) PutU32Le(table + 4 * fixups[i].entry, FixupColors[fixups[i].colour]);
}

// Whether every pixel has a fourth byte that carries no colour: 32-bit pixels
// under BI_RGB, or under colour masks that all lie in the low three bytes.
static int HasSpareFourthByte(const DibImage* image) {
    const DIBSECTION& d = image->description;
    if (d.dsBm.bmBitsPixel != 32) return 0;
    if (d.dsBmih.biCompression == BI_RGB) return 1;
    return d.dsBmih.biCompression == BI_BITFIELDS &&
           ((d.dsBitfields[0] | d.dsBitfields[1] | d.dsBitfields[2]) & 0xFF000000u) == 0;
}

// Copies 32-bit pixels with their fourth byte 0. The canvas holds 0xFF there
// where WHITENESS painted and 0 where a record did; image readers that take
// the byte for alpha would show such a file as a see-through mix. Four
// pixels a step in one vector: a loop of single pixels would be left to the
// compiler's vectoriser, which the checked copies of _FORTIFY_SOURCE keep
// from it.
static void CopyWithoutFourthByte(unsigned char* to, const unsigned char* from, uint32_t size) {
    typedef uint32_t Quad __attribute__((vector_size(16)));
    const Quad colour = {0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu};
    uint32_t i = 0;
    for (; i + 16 <= size; i += 16) {
        Quad pixels;
        memcpy(&pixels, from + i, 16);
        pixels &= colour;
        memcpy(to + i, &pixels, 16);
    }
    for (; i + 4 <= size; i += 4) {
        uint32_t pixel;
        memcpy(&pixel, from + i, 4);
        pixel &= 0x00FFFFFFu;
        memcpy(to + i, &pixel, 4);
    }
    memcpy(to + i, from + i, size - i);
}

// The packed size, when it and the whole file's size fit in 32 bits.
static int PackedSizeFits(const DibImage* image, uint32_t* packed_size) {
    uint64_t total = static_cast<uint64_t>(GetDibInfoHeaderSize(image)) + GetDibMaskSize(image) +
                     4ull * GetDibWrittenColourCount(image) + GetDibImageSize(image);
    if (total > 0xFFFFFFFFull - sizeof(BITMAPFILEHEADER)) return 0;
    *packed_size = static_cast<uint32_t>(total);
    return 1;
}

unsigned char* PackDib(const DibImage* image) {
    uint32_t packed_size;
    if (!IsDibImage(image) || !PackedSizeFits(image, &packed_size)) return nullptr;
    unsigned char* block = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, packed_size));
    if (!block) return nullptr;

    const DIBSECTION& d = image->description;
    memcpy(block, &d.dsBmih, sizeof(BITMAPINFOHEADER));
    unsigned char* table = block + sizeof(BITMAPINFOHEADER);
    if (d.dsBmih.biCompression == BI_BITFIELDS) {
        for (int i = 0; i < 3; i++) PutU32Le(table + 4 * i, d.dsBitfields[i]);
        table += 12;
    }

    uint32_t colour_count = GetDibWrittenColourCount(image);
    if (colour_count > 0) {
        // Entries the section cannot supply stay zero rather than undefined.
        memset(table, 0, 4ull * colour_count);
        HDC dc = CreateCompatibleDC(nullptr);
        if (dc) {
            HGDIOBJ previous = SelectObject(dc, image->handle);
            GetDIBColorTable(dc, 0, colour_count, reinterpret_cast<RGBQUAD*>(table));
            SelectObject(dc, previous);
            DeleteDC(dc);
        }
        ApplyFixups(table, colour_count);
    }
    unsigned char* pixels = table + 4ull * colour_count;
    if (HasSpareFourthByte(image))
        CopyWithoutFourthByte(pixels, static_cast<const unsigned char*>(image->pixels), GetDibImageSize(image));
    else
        memcpy(pixels, image->pixels, GetDibImageSize(image));
    return block;
}

// Drops a file whose writing failed and removes what was at the path.
static int AbandonFile(HANDLE file, const char* path) {
    CloseReplacementFile(file, path, FALSE);
    DeleteFileA(path);
    return 0;
}

// The file is written beside the path and replaces it only once complete.
int WriteBmpFile(const DibImage* image, const char* path) {
    HANDLE file = CreateReplacementFile(path);
    if (file == INVALID_HANDLE_VALUE) return 0;

    uint32_t packed_size = 0;
    if (IsDibImage(image) && !PackedSizeFits(image, &packed_size)) return AbandonFile(file, path);
    uint32_t image_size = GetDibImageSize(image);
    unsigned char header[sizeof(BITMAPFILEHEADER)];
    header[0] = 'B';
    header[1] = 'M';
    PutU32Le(header + 2, packed_size + 14);
    PutU16Le(header + 6, 0);
    PutU16Le(header + 8, 0);
    PutU32Le(header + 10, packed_size + 14 - image_size);

    DWORD written = 0;
    if (!WriteFile(file, header, sizeof header, &written, nullptr) || written != sizeof header)
        return AbandonFile(file, path);

    unsigned char* packed = PackDib(image);
    if (!packed) return AbandonFile(file, path);
    BOOL wrote = WriteFile(file, packed, packed_size, &written, nullptr) && written == packed_size;
    // The close is checked too: data that did not reach the file is a failure.
    BOOL replaced = CloseReplacementFile(file, path, wrote);
    HeapFree(GetProcessHeap(), 0, packed);
    if (!replaced) {
        DeleteFileA(path);
        return 0;
    }
    return 1;
}

int SaveBitmapAsBmp(const char* path, HBITMAP bitmap) {
    BITMAP description;
    if (GetObject(bitmap, sizeof description, &description) != sizeof description) return 0;

    // At 8 bits or fewer the section is created from a colour table of full
    // length, all zero, so that the entries the fix-ups leave alone are defined.
    uint32_t table_entries = description.bmBitsPixel <= 8 ? 1u << description.bmBitsPixel : 0;
    size_t request_size = sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD) * table_entries;
    BITMAPINFO* request =
        static_cast<BITMAPINFO*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, request_size));
    if (!request) return 0;
    request->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    request->bmiHeader.biWidth = description.bmWidth;
    request->bmiHeader.biHeight = description.bmHeight;
    request->bmiHeader.biPlanes = description.bmPlanes;
    request->bmiHeader.biBitCount = description.bmBitsPixel;

    DibImage* image = CreateDibImage(request);
    HeapFree(GetProcessHeap(), 0, request);
    if (!image) return 0;

    // The device's rows land unchanged, top row first, under the positive
    // height of the header: readers that mirror every BMP show them upright.
    uint32_t image_size = GetDibImageSize(image);
    if (image_size > 0x7FFFFFFF) {
        FreeDibImage(image);
        return 0;
    }
    GetBitmapBits(bitmap, static_cast<LONG>(image_size), image->pixels);
    int result = WriteBmpFile(image, path);
    FreeDibImage(image);
    return result;
}
