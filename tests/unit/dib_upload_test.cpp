// The DIB upload against what the reference GDI was seen to do, as recorded in
// tests/data/dib_uploads.txt: every form of header, depth and compression, the
// colour rules, RLE escapes and refusals, each checked pixel by pixel on a
// bitmap pre-filled with 0xA5A5A5A5 so that untouched pixels show. Then the
// bound that keeps an upload inside a loaded file, and the BMP Suite corpus.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bitmap/internal.h"
#include "tests/fixtures/file_builders.h"
#include "tests/fixtures/canvas.h"
#include "reading/byte_cursor.h"
#include "tests/fixtures/support.h"

namespace {

// A DIB as the test builds it: the header with what follows it, and the bits.
struct Dib {
    std::vector<unsigned char> header = std::vector<unsigned char>(2048, 0);
    std::vector<unsigned char> bits = std::vector<unsigned char>(65536, 0);
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(header.data()); }
    void Put32(size_t at, uint32_t value) { PutU32Le(header.data() + at, value); }
};

// The header's fields as the builder lays them out, at the start of the DIB.
void PlaceHeader(Dib* d, const BmpBuilder& fields) {
    std::copy(fields.bytes.begin(), fields.bytes.end(), d->header.begin());
}

// Table entry i is {B=C0, G=40, R=i, reserved=77} after an info header and
// {B=C1, G=41, R=i} after a core header.
void InfoHeader(Dib* d, int32_t w, int32_t h, int bpp, uint32_t compression, int colours,
                uint32_t colours_used = 0, uint32_t image_size = 0) {
    *d = Dib();
    PlaceHeader(d, BmpBuilder().InfoHeader(w, h, static_cast<uint16_t>(bpp), compression, image_size));
    d->Put32(32, colours_used);
    for (int i = 0; i < colours; i++) {
        unsigned char* q = d->header.data() + 40 + 4 * i;
        q[0] = 0xC0, q[1] = 0x40, q[2] = static_cast<unsigned char>(i), q[3] = 0x77;
    }
}

void CoreHeader(Dib* d, int w, int h, int bpp, int colours) {
    *d = Dib();
    PlaceHeader(d, BmpBuilder().U32(12).U16(static_cast<uint32_t>(w)).U16(static_cast<uint32_t>(h)).U16(1).U16(
                       static_cast<uint32_t>(bpp)));
    for (int i = 0; i < colours; i++) {
        unsigned char* q = d->header.data() + 12 + 3 * i;
        q[0] = 0xC1, q[1] = 0x41, q[2] = static_cast<unsigned char>(i);
    }
}

int Stride(int w, int bpp) {
    return (w * bpp + 31) / 32 * 4;
}

// Pixel value v at x of stored row r.
void Put(Dib* d, int w, int bpp, int x, int r, uint32_t v) {
    unsigned char* row = d->bits.data() + r * Stride(w, bpp);
    switch (bpp) {
        case 1:
            row[x / 8] = static_cast<unsigned char>(v ? row[x / 8] | (0x80 >> (x % 8)) : row[x / 8] & ~(0x80 >> (x % 8)));
            break;
        case 4:
            row[x / 2] = static_cast<unsigned char>(x & 1 ? (row[x / 2] & 0xF0) | v : (row[x / 2] & 0x0F) | (v << 4));
            break;
        case 8:
            row[x] = static_cast<unsigned char>(v);
            break;
        case 16:
            PutU16Le(row + 2 * x, static_cast<uint16_t>(v));
            break;
        case 24:
            row[3 * x] = static_cast<unsigned char>(v), row[3 * x + 1] = static_cast<unsigned char>(v >> 8);
            row[3 * x + 2] = static_cast<unsigned char>(v >> 16);
            break;
        case 32:
            PutU32Le(row + 4 * x, v);
            break;
    }
}

void SetSize(Dib* d, uint32_t size) { d->Put32(0, size); }
void SetRle(Dib* d, std::initializer_list<unsigned char> stream, uint32_t image_size) {
    std::copy(stream.begin(), stream.end(), d->bits.begin());
    d->Put32(20, image_size);
}

void Pattern1(Dib* d) {
    for (int r = 0; r < 3; r++)
        for (int x = 0; x < 10; x++) Put(d, 10, 1, x, r, (x + r) % 3 == 0);
}
void Pattern4(Dib* d) {
    for (int r = 0; r < 4; r++)
        for (int x = 0; x < 5; x++) Put(d, 5, 4, x, r, (r * 5 + x) & 15);
}
void Pattern8(Dib* d) {
    const int index[3][6] = {{0, 1, 2, 3, 4, 5}, {6, 7, 8, 100, 200, 255}, {3, 2, 1, 0, 9, 10}};
    for (int r = 0; r < 3; r++)
        for (int x = 0; x < 6; x++) Put(d, 6, 8, x, r, index[r][x]);
}
void Pattern24(Dib* d, int w, int rows) {
    for (int i = 0; i < w * rows; i++) Put(d, w, 24, i % w, i / w, 0x010203u * (i + 1));
}
void Pattern32(Dib* d) {
    const uint32_t words[6] = {0x80FF0000, 0xFF00FF00, 0x010000FF, 0x00123456, 0x7F000000, 0xFFFFFFFF};
    for (int i = 0; i < 6; i++) Put(d, 3, 32, i % 3, i / 3, words[i]);
}
void Masks(Dib* d, uint32_t r, uint32_t g, uint32_t b) {
    d->Put32(40, r), d->Put32(44, g), d->Put32(48, b);
}
const std::initializer_list<unsigned char> kRle8 = {3, 5, 0, 3, 7, 8, 9, 0, 0, 0, 2, 10, 0, 2, 2, 1, 2, 11, 0, 0, 8, 12, 0, 1};

void V5Bitfields(Dib* d, uint32_t size) {
    *d = Dib();
    d->Put32(0, size), d->Put32(4, 3), d->Put32(8, 1);
    PutU16Le(d->header.data() + 12, 1);
    PutU16Le(d->header.data() + 14, 32);
    d->Put32(16, BI_BITFIELDS);
    Masks(d, 0xFF, 0xFF00, 0xFF0000);
    d->Put32(52, 0xFF000000);
    d->Put32(124, 0xFF0000), d->Put32(128, 0xFF00), d->Put32(132, 0xFF);
    Put(d, 3, 32, 0, 0, 0x800000FF), Put(d, 3, 32, 1, 0, 0x4000FF00), Put(d, 3, 32, 2, 0, 0x20FF0000);
}

struct UploadCase {
    const char* name;
    void (*build)(Dib* d);
    int width, height;  // the bitmap's
    UINT start, lines;
};

const UploadCase kCases[] = {
    {"1bpp BITMAPINFOHEADER 10x3 bottom-up, 2 colours", [](Dib* d) { InfoHeader(d, 10, 3, 1, BI_RGB, 2); Pattern1(d); }, 10, 3, 0, 3},
    {"1bpp BITMAPINFOHEADER 10x-3 top-down", [](Dib* d) { InfoHeader(d, 10, -3, 1, BI_RGB, 2); Pattern1(d); }, 10, 3, 0, 3},
    {"1bpp BITMAPCOREHEADER 10x3 (RGBTRIPLE table)", [](Dib* d) { CoreHeader(d, 10, 3, 1, 2); Pattern1(d); }, 10, 3, 0, 3},
    {"4bpp BITMAPINFOHEADER 5x4, 16 colours", [](Dib* d) { InfoHeader(d, 5, 4, 4, BI_RGB, 16); Pattern4(d); }, 5, 4, 0, 4},
    {"4bpp BITMAPINFOHEADER 5x4, biClrUsed=6 (indices 6..15 out of range)", [](Dib* d) { InfoHeader(d, 5, 4, 4, BI_RGB, 16, 6); Pattern4(d); }, 5, 4, 0, 4},
    {"4bpp BITMAPCOREHEADER 5x4", [](Dib* d) { CoreHeader(d, 5, 4, 4, 16); Pattern4(d); }, 5, 4, 0, 4},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=0 (256 entries)", [](Dib* d) { InfoHeader(d, 6, 3, 8, BI_RGB, 256); Pattern8(d); }, 6, 3, 0, 3},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=4 (table of 4, bytes after it = 0xEE)", [](Dib* d) {
         InfoHeader(d, 6, 3, 8, BI_RGB, 4, 4);
         memset(d->header.data() + 56, 0xEE, 1024);
         Pattern8(d);
     }, 6, 3, 0, 3},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=4 (bytes after table = 0)", [](Dib* d) { InfoHeader(d, 6, 3, 8, BI_RGB, 4, 4); Pattern8(d); }, 6, 3, 0, 3},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=300 (> 256)", [](Dib* d) { InfoHeader(d, 6, 3, 8, BI_RGB, 256, 300); Pattern8(d); }, 6, 3, 0, 3},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=0 biClrImportant=3", [](Dib* d) {
         InfoHeader(d, 6, 3, 8, BI_RGB, 256);
         d->Put32(36, 3);
         Pattern8(d);
     }, 6, 3, 0, 3},
    {"8bpp BITMAPCOREHEADER 6x3", [](Dib* d) { CoreHeader(d, 6, 3, 8, 256); Pattern8(d); }, 6, 3, 0, 3},
    {"8bpp BITMAPINFOHEADER 6x-3 top-down", [](Dib* d) { InfoHeader(d, 6, -3, 8, BI_RGB, 256); Pattern8(d); }, 6, 3, 0, 3},
    {"16bpp BI_RGB (555) 32x3", [](Dib* d) {
         InfoHeader(d, 32, 3, 16, BI_RGB, 0);
         for (uint32_t x = 0; x < 32; x++) Put(d, 32, 16, x, 2, x << 10), Put(d, 32, 16, x, 1, x << 5), Put(d, 32, 16, x, 0, x | 0x8000);
     }, 32, 3, 0, 3},
    {"16bpp BI_BITFIELDS 565 64x3", [](Dib* d) {
         InfoHeader(d, 64, 3, 16, BI_BITFIELDS, 0);
         Masks(d, 0xF800, 0x07E0, 0x001F);
         for (uint32_t x = 0; x < 64; x++) Put(d, 64, 16, x, 2, (x & 31) << 11), Put(d, 64, 16, x, 1, x << 5), Put(d, 64, 16, x, 0, x & 31);
     }, 64, 3, 0, 3},
    {"16bpp BI_BITFIELDS with 555 masks 4x1: 7C00 03E0 001F 4210", [](Dib* d) {
         InfoHeader(d, 4, 1, 16, BI_BITFIELDS, 0);
         Masks(d, 0x7C00, 0x03E0, 0x001F);
         Put(d, 4, 16, 0, 0, 0x7C00), Put(d, 4, 16, 1, 0, 0x03E0), Put(d, 4, 16, 2, 0, 0x001F), Put(d, 4, 16, 3, 0, 0x4210);
     }, 4, 1, 0, 1},
    {"24bpp 3x2 bottom-up", [](Dib* d) {
         InfoHeader(d, 3, 2, 24, BI_RGB, 0);
         Put(d, 3, 24, 0, 0, 0xFF0000), Put(d, 3, 24, 1, 0, 0x00FF00), Put(d, 3, 24, 2, 0, 0x0000FF);
         Put(d, 3, 24, 0, 1, 0x123456), Put(d, 3, 24, 2, 1, 0xFFFFFF);
     }, 3, 2, 0, 2},
    {"24bpp 3x-2 top-down", [](Dib* d) {
         InfoHeader(d, 3, -2, 24, BI_RGB, 0);
         Put(d, 3, 24, 0, 0, 0xFF0000), Put(d, 3, 24, 1, 0, 0x00FF00), Put(d, 3, 24, 2, 0, 0x0000FF);
         Put(d, 3, 24, 0, 1, 0x123456), Put(d, 3, 24, 2, 1, 0xFFFFFF);
     }, 3, 2, 0, 2},
    {"32bpp BI_RGB 3x2 (alpha bytes 80,FF,01 / 00,7F,FF)", [](Dib* d) { InfoHeader(d, 3, 2, 32, BI_RGB, 0); Pattern32(d); }, 3, 2, 0, 2},
    {"32bpp BI_BITFIELDS masks FF0000/FF00/FF, same data", [](Dib* d) {
         InfoHeader(d, 3, 2, 32, BI_BITFIELDS, 0);
         Masks(d, 0xFF0000, 0xFF00, 0xFF);
         Pattern32(d);
     }, 3, 2, 0, 2},
    {"32bpp BI_BITFIELDS masks R=FF G=FF00 B=FF0000 (swapped), same data", [](Dib* d) {
         InfoHeader(d, 3, 2, 32, BI_BITFIELDS, 0);
         Masks(d, 0xFF, 0xFF00, 0xFF0000);
         Pattern32(d);
     }, 3, 2, 0, 2},
    {"32bpp BI_BITFIELDS 10:10:10 masks: 3FF00000 000FFC00 000003FF / 20080200 0 FFFFFFFF", [](Dib* d) {
         InfoHeader(d, 3, 2, 32, BI_BITFIELDS, 0);
         Masks(d, 0x3FF00000, 0xFFC00, 0x3FF);
         Put(d, 3, 32, 0, 0, 0x3FF00000), Put(d, 3, 32, 1, 0, 0x000FFC00), Put(d, 3, 32, 2, 0, 0x000003FF);
         Put(d, 3, 32, 0, 1, 0x20080200), Put(d, 3, 32, 2, 1, 0xFFFFFFFF);
     }, 3, 2, 0, 2},
    {"RLE8 8x4 bottom-up, biSizeImage = data size", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, kRle8, 24); }, 8, 4, 0, 4},
    {"RLE8 8x4 bottom-up, biSizeImage = 0", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, kRle8, 0); }, 8, 4, 0, 4},
    {"RLE8 8x-4 (negative height)", [](Dib* d) { InfoHeader(d, 8, -4, 8, BI_RLE8, 256); SetRle(d, kRle8, 24); }, 8, 4, 0, 4},
    {"RLE8 8x4: run of 12 in an 8-wide row, EOL, run 2x7, EOB", [](Dib* d) {
         InfoHeader(d, 8, 4, 8, BI_RLE8, 256);
         SetRle(d, {12, 6, 0, 0, 2, 7, 0, 1}, 8);
     }, 8, 4, 0, 4},
    {"RLE8 8x4: runs 4x6 4x7 4x8 without EOL/EOB", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, {4, 6, 4, 7, 4, 8}, 6); }, 8, 4, 0, 4},
    {"RLE4 8x3 bottom-up", [](Dib* d) {
         InfoHeader(d, 8, 3, 4, BI_RLE4, 16);
         SetRle(d, {5, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 3, 0, 2, 0x66, 0, 0, 8, 0x78, 0, 1}, 20);
     }, 8, 3, 0, 3},
    {"2bpp BI_RGB", [](Dib* d) { InfoHeader(d, 4, 2, 2, BI_RGB, 4); }, 4, 2, 0, 2},
    {"0bpp BI_RGB", [](Dib* d) { InfoHeader(d, 4, 2, 0, BI_RGB, 0); }, 4, 2, 0, 2},
    {"24bpp BI_BITFIELDS", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_BITFIELDS, 0); }, 4, 2, 0, 2},
    {"8bpp with BI_RLE4", [](Dib* d) { InfoHeader(d, 4, 2, 8, BI_RLE4, 256); }, 4, 2, 0, 2},
    {"24bpp BI_JPEG", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_JPEG, 0); }, 4, 2, 0, 2},
    {"24bpp BI_PNG", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_PNG, 0); }, 4, 2, 0, 2},
    {"24bpp biPlanes=2", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); PutU16Le(d->header.data() + 12, 2); }, 4, 2, 0, 2},
    {"24bpp biPlanes=0", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); PutU16Le(d->header.data() + 12, 0); }, 4, 2, 0, 2},
    {"24bpp biSize=20", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 20); }, 4, 2, 0, 2},
    {"24bpp biSize=64 (OS/2 2.x size)", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 64); }, 4, 2, 0, 2},
    {"24bpp biSize=108 (V4 size, rest zero)", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 108); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biSize=124 (V5 size, rest zero)", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 124); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biSize=52", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 52); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biSize=41", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 41); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biSize=200", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 200); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biWidth=0", [](Dib* d) { InfoHeader(d, 0, 2, 24, BI_RGB, 0); }, 4, 2, 0, 2},
    {"24bpp biHeight=0 (lines=2)", [](Dib* d) { InfoHeader(d, 4, 0, 24, BI_RGB, 0); }, 4, 2, 0, 2},
    {"24bpp biWidth=-4", [](Dib* d) { InfoHeader(d, -4, 2, 24, BI_RGB, 0); }, 4, 2, 0, 2},
    {"24bpp 4x2 lines=0", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); Pattern24(d, 4, 2); }, 4, 2, 0, 0},
    {"24bpp 4x2 lines=5 (> height)", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); Pattern24(d, 4, 2); }, 4, 2, 0, 5},
    {"24bpp 4x2 start=1 lines=1", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); Pattern24(d, 4, 2); }, 4, 2, 1, 1},
    {"24bpp 4x2 into a 6x3 bitmap", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); Pattern24(d, 4, 2); }, 6, 3, 0, 2},
    {"24bpp 4x2 into a 3x1 bitmap", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); Pattern24(d, 4, 2); }, 3, 1, 0, 2},
    {"24bpp 4x3 into a 4x2 bitmap (DIB taller)", [](Dib* d) { InfoHeader(d, 4, 3, 24, BI_RGB, 0); Pattern24(d, 4, 3); }, 4, 2, 0, 3},
    {"24bpp biPlanes=2 (with data 0x010203*(i+1))", [](Dib* d) {
         InfoHeader(d, 4, 2, 24, BI_RGB, 0);
         PutU16Le(d->header.data() + 12, 2);
         Pattern24(d, 4, 2);
     }, 4, 2, 0, 2},
    {"24bpp biSize=64 (with data)", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 64); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biSize=16 (OS/2 2.x short)", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 16); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biSize=39", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 39); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp-looking BITMAPINFOHEADER but biSize=12 (read as core header: width=4|height<<16?)", [](Dib* d) {
         InfoHeader(d, 4, 2, 24, BI_RGB, 0);
         SetSize(d, 12);
         Pattern24(d, 4, 2);
     }, 4, 2, 0, 2},
    {"24bpp BITMAPCOREHEADER 4x2", [](Dib* d) { CoreHeader(d, 4, 2, 24, 0); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"32bpp BITMAPCOREHEADER 4x2", [](Dib* d) {
         CoreHeader(d, 4, 2, 32, 0);
         for (uint32_t i = 0; i < 8; i++) Put(d, 4, 32, i % 4, i / 4, 0xAB010203u * (i + 1));
     }, 4, 2, 0, 2},
    {"16bpp BITMAPCOREHEADER 4x2 (values 7C00>>i)", [](Dib* d) {
         CoreHeader(d, 4, 2, 16, 0);
         for (int i = 0; i < 8; i++) Put(d, 4, 16, i % 4, i / 4, 0x7C00u >> i);
     }, 4, 2, 0, 2},
    {"V5 (124) 32bpp BI_BITFIELDS, header masks R=FF G=FF00 B=FF0000 A=FF000000; masks after header say the opposite",
     [](Dib* d) { V5Bitfields(d, 124); }, 3, 1, 0, 1},
    {"same with bV5Size=108 (V4)", [](Dib* d) { V5Bitfields(d, 108); }, 3, 1, 0, 1},
    {"same with biSize=40 (masks after header: FF0000 FF00 FF)", [](Dib* d) { V5Bitfields(d, 40); }, 3, 1, 0, 1},
    {"V5 16bpp BI_BITFIELDS 565 in header: F800 07E0 001F", [](Dib* d) {
         V5Bitfields(d, 124);
         PutU16Le(d->header.data() + 14, 16);
         Masks(d, 0xF800, 0x07E0, 0x1F);
         d->Put32(52, 0);
         std::fill(d->bits.begin(), d->bits.begin() + 64, 0);
         Put(d, 3, 16, 0, 0, 0xF800), Put(d, 3, 16, 1, 0, 0x07E0), Put(d, 3, 16, 2, 0, 0x001F);
     }, 3, 1, 0, 1},
    {"V5 8bpp, biClrUsed=2, table after the 124-byte header {112233,445566}, pixels 0 1 2", [](Dib* d) {
         V5Bitfields(d, 124);
         PutU16Le(d->header.data() + 14, 8);
         d->Put32(16, BI_RGB);
         d->Put32(32, 2);
         d->Put32(124, 0x00112233), d->Put32(128, 0x00445566);
         d->bits[0] = 0, d->bits[1] = 1, d->bits[2] = 2;
     }, 3, 1, 0, 1},
    {"RLE8 first example with biSizeImage=6 (truncated stream)", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, kRle8, 6); }, 8, 4, 0, 4},
    {"RLE8 first example with biSizeImage=1000 (larger than data)", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, kRle8, 1000); }, 8, 4, 0, 4},
    {"RLE8 8x4: runs 4x6 4x7 4x8 then EOB (no EOL)", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, {4, 6, 4, 7, 4, 8, 0, 1}, 8); }, 8, 4, 0, 4},
    {"RLE8 8x4: 4x6 EOL 4x7 EOL, then data ends (no EOB)", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, {4, 6, 0, 0, 4, 7, 0, 0}, 8); }, 8, 4, 0, 4},
    {"RLE8 8x4 biClrUsed=4: runs 2x1 2x3 2x9 2x200, EOB", [](Dib* d) {
         InfoHeader(d, 8, 4, 8, BI_RLE8, 4, 4);
         SetRle(d, {2, 1, 2, 3, 2, 9, 2, 200, 0, 1}, 10);
     }, 8, 4, 0, 4},
    {"RLE8 8x4: 2x1, delta(+200,0), 2x3, EOB", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, {2, 1, 0, 2, 200, 0, 2, 3, 0, 1}, 10); }, 8, 4, 0, 4},
};

const WordGrid* FindObserved(const std::vector<WordGrid>& observed, const char* name) {
    for (const WordGrid& o : observed)
        if (o.name == name) return &o;
    return nullptr;
}

// Every word of the canvas set to `fill`, the fourth byte included.
void Prefill(Canvas* canvas, uint32_t fill) {
    Dib fill_dib;
    InfoHeader(&fill_dib, canvas->width, -canvas->height, 32, BI_RGB, 0);
    for (int i = 0; i < canvas->width * canvas->height; i++)
        Put(&fill_dib, canvas->width, 32, i % canvas->width, i / canvas->width, fill);
    ASSERT_EQ(SetDIBits(canvas->dc, canvas->bitmap, 0, static_cast<UINT>(canvas->height), fill_dib.bits.data(),
                        fill_dib.Info(), DIB_RGB_COLORS), canvas->height);
}

TEST(DibUpload, MatchesEveryObservedForm) {
    std::vector<WordGrid> observed;
    ASSERT_TRUE(ReadWordGrids(TEST_DATA_DIR "/dib_uploads.txt", &observed));
    ASSERT_EQ(sizeof kCases / sizeof kCases[0], observed.size()) << "a form is not tried";
    for (const UploadCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const WordGrid* seen = FindObserved(observed, c.name);
        ASSERT_NE(seen, nullptr);
        Dib dib;
        c.build(&dib);
        Canvas t(c.width, c.height);
        Prefill(&t, 0xA5A5A5A5);
        int result = SetDIBits(t.dc, t.bitmap, c.start, c.lines, dib.bits.data(), dib.Info(), DIB_RGB_COLORS);
        EXPECT_EQ(result, seen->result);
        std::vector<uint32_t> words = t.Words();
        const std::vector<std::vector<uint32_t>>& rows = seen->rows;
        ASSERT_EQ(rows.size(), static_cast<size_t>(c.height));
        for (int y = 0; y < c.height; y++) {
            ASSERT_EQ(rows[y].size(), static_cast<size_t>(c.width));
            for (int x = 0; x < c.width; x++)
                EXPECT_EQ(words[static_cast<size_t>(y) * c.width + x], rows[y][x]) << "pixel " << x << "," << y;
        }
    }
    EXPECT_NOTHING_LIVE();
}

// A refused form leaves the error code ERROR_INVALID_PARAMETER; so does a
// channel mask of zero, which the reference refuses too.
TEST(DibUpload, RefusalsSetTheErrorCode) {
    struct Refusal {
        const char* name;
        void (*build)(Dib* d);
    };
    const Refusal refusals[] = {
        {"2 bpp", [](Dib* d) { InfoHeader(d, 4, 2, 2, BI_RGB, 4); }},
        {"RLE8 upside down", [](Dib* d) { InfoHeader(d, 8, -4, 8, BI_RLE8, 256); SetRle(d, kRle8, 24); }},
        {"blue mask 0", [](Dib* d) { InfoHeader(d, 4, 2, 16, BI_BITFIELDS, 0); Masks(d, 0xFF00, 0xFF, 0); }},
        {"red mask 0 at 32 bpp", [](Dib* d) { InfoHeader(d, 4, 2, 32, BI_BITFIELDS, 0); Masks(d, 0, 0xFF00, 0xFF); }},
        {"alpha bit fields", [](Dib* d) { InfoHeader(d, 4, 2, 32, 6, 0); Masks(d, 0xFF0000, 0xFF00, 0xFF); }},
        {"64 bpp", [](Dib* d) { InfoHeader(d, 4, 2, 64, BI_RGB, 0); }},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        Dib dib;
        r.build(&dib);
        Canvas t(4, 2);
        Prefill(&t, 0xA5A5A5A5);
        SetLastError(0);
        EXPECT_EQ(SetDIBits(t.dc, t.bitmap, 0, 2, dib.bits.data(), dib.Info(), DIB_RGB_COLORS), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        for (uint32_t word : t.Words()) EXPECT_EQ(word, 0xA5A5A5A5u);
    }
    EXPECT_NOTHING_LIVE();
}

// Odd masks as the reference widens them: the bits from the lowest set bit of
// the mask up to its first gap, put at the top of the byte and repeated once.
TEST(DibUpload, NarrowAndUnusualMasks) {
    struct MaskCase {
        uint32_t masks[3];
        uint16_t pixel;
        uint32_t word;
    };
    const MaskCase cases[] = {
        {{0x30, 0x0E, 0x01}, 0x3F, 0x00F0FCC0},       // 2, 3 and 1 bits: 3 -> F0|3C, 7 -> E0|1C, 1 -> 80|40
        {{0x0F00, 0x00F0, 0x000F}, 0x0A5F, 0x00AA55FF},  // 4 bits each
        {{0x5, 0x2, 0x8}, 0x000F, 0x00C0C0C0},       // 0x5: one bit at the bottom, the gap ends the field
        {{0xF800, 0xFC00, 0x1F}, 0x8421, 0x00848608},  // overlapping masks each take their own bits
    };
    for (const MaskCase& m : cases) {
        Dib dib;
        InfoHeader(&dib, 1, 1, 16, BI_BITFIELDS, 0);
        Masks(&dib, m.masks[0], m.masks[1], m.masks[2]);
        Put(&dib, 1, 16, 0, 0, m.pixel);
        Canvas t(1, 1);
        Prefill(&t, 0xA5A5A5A5);
        EXPECT_EQ(SetDIBits(t.dc, t.bitmap, 0, 1, dib.bits.data(), dib.Info(), DIB_RGB_COLORS), 1);
        EXPECT_EQ(t.Words()[0], m.word) << std::hex << m.masks[0] << " " << m.masks[1] << " " << m.masks[2];
    }
    EXPECT_NOTHING_LIVE();
}

struct ExtentCase {
    const char* name;
    void (*build)(Dib* d);
    uint64_t info_bytes;
    uint64_t pixel_bytes;
    int expected;
};

const ExtentCase kExtentCases[] = {
    {"24 bpp, pixels complete", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); }, 40, 24, 0},
    {"24 bpp, one pixel byte short", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); }, 40, 23, -1},
    {"top-down counts its rows too", [](Dib* d) { InfoHeader(d, 4, -2, 24, BI_RGB, 0); }, 40, 23, -1},
    {"header cut short", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); }, 39, 24, -1},
    {"no room for the header size", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); }, 3, 24, -1},
    {"V5 header must be whole", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 124); }, 123, 24, -1},
    {"an unknown header size is not handed on", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 16); }, 2048, 24, -1},
    {"8 bpp full table", [](Dib* d) { InfoHeader(d, 4, 1, 8, BI_RGB, 256); }, 40 + 1024, 4, 0},
    {"8 bpp full table, one byte short", [](Dib* d) { InfoHeader(d, 4, 1, 8, BI_RGB, 256); }, 40 + 1023, 4, -1},
    {"8 bpp short table", [](Dib* d) { InfoHeader(d, 4, 1, 8, BI_RGB, 4, 4); }, 40 + 16, 4, 0},
    {"8 bpp 300 entries read as 256", [](Dib* d) { InfoHeader(d, 4, 1, 8, BI_RGB, 256, 300); }, 40 + 1024, 4, 0},
    {"core 8 bpp table of triples", [](Dib* d) { CoreHeader(d, 4, 1, 8, 256); }, 12 + 768, 4, 0},
    {"core 8 bpp table one byte short", [](Dib* d) { CoreHeader(d, 4, 1, 8, 256); }, 12 + 767, 4, -1},
    {"table after a V4 header", [](Dib* d) { InfoHeader(d, 4, 1, 1, BI_RGB, 0); SetSize(d, 108); }, 108 + 7, 4, -1},
    {"masks after a 40-byte header", [](Dib* d) { InfoHeader(d, 2, 1, 16, BI_BITFIELDS, 0); }, 51, 4, -1},
    {"masks present", [](Dib* d) { InfoHeader(d, 2, 1, 16, BI_BITFIELDS, 0); }, 52, 4, 0},
    {"RLE stream within the data", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 0, 1, 24); }, 44, 24, 0},
    {"RLE stream longer than the data", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 0, 1, 25); }, 44, 24, -1},
    {"embedded JPEG longer than the data", [](Dib* d) { InfoHeader(d, 8, 4, 24, BI_JPEG, 0, 0, 1000); }, 40, 999, -1},
    {"largest picture fits 64 bits", [](Dib* d) { InfoHeader(d, 0x7FFFFFFF, 0x7FFFFFFF, 32, BI_RGB, 0); }, 40, 1ull << 40, -1},
    {"stride x rows past 64 bits", [](Dib* d) { InfoHeader(d, 0x7FFFFFFF, 0x7FFFFFFF, 0xFFFF, BI_RGB, 0); }, 40, UINT64_MAX, -1},
    {"refused sizes read no pixels", [](Dib* d) { InfoHeader(d, -4, 2, 24, BI_RGB, 0); }, 40, 0, 0},
};

TEST(DibExtent, MeasuresWhatTheUploadReads) {
    for (const ExtentCase& c : kExtentCases) {
        Dib dib;
        c.build(&dib);
        EXPECT_EQ(CheckDibExtent(dib.header.data(), c.info_bytes, c.pixel_bytes), c.expected) << c.name;
    }
}

// A file as the reader takes it: file header, the DIB header and table, pixels.
std::vector<unsigned char> BmpFile(const Dib& dib, size_t header_bytes, size_t pixel_bytes) {
    BmpBuilder bmp;
    bmp.FileHeader(static_cast<uint32_t>(14 + header_bytes));
    return bmp.Raw(dib.header.data(), header_bytes).Raw(dib.bits.data(), pixel_bytes).Finish();
}

TEST(DibExtent, UploadRefusesAFileThatDeclaresMoreThanItHolds) {
    TempDir dir;
    Dib dib;
    InfoHeader(&dib, 4, 3, 24, BI_RGB, 0);
    Pattern24(&dib, 4, 3);
    struct {
        size_t pixel_bytes;
        int lines;
    } cases[] = {{36, 3}, {35, 0}, {0, 0}};
    for (auto& c : cases) {
        ASSERT_TRUE(WriteFileBytes(dir.File("p.bmp"), BmpFile(dib, 40, c.pixel_bytes)));
        LoadedBitmap picture;
        ASSERT_EQ(LoadBmpFile(&picture, dir.File("p.bmp").c_str()), 0);
        Canvas t(4, 3);
        Prefill(&t, 0xA5A5A5A5);
        EXPECT_EQ(UploadLoadedBitmap(t.dc, t.bitmap, &picture), c.lines) << c.pixel_bytes;
        std::vector<uint32_t> words = t.Words();
        for (int i = 0; i < 12; i++) {
            int stored_row = 2 - i / 4;
            uint32_t expected = c.lines ? 0x010203u * static_cast<uint32_t>(stored_row * 4 + i % 4 + 1) : 0xA5A5A5A5u;
            EXPECT_EQ(words[static_cast<size_t>(i)], expected) << "pixel " << i;
        }
        FreeBmpFile(&picture);
    }
    EXPECT_NOTHING_LIVE();
}

// What uploading one corpus file gives, in the expectations file's words.
std::string UploadCorpusFile(const std::string& name) {
    std::string path = std::string(TEST_DATA_DIR) + "/bmpsuite/" + name;
    LoadedBitmap picture;
    if (LoadBmpFile(&picture, path.c_str()) != 0) return "load-refused";
    int width = picture.width < 0 ? -picture.width : picture.width;
    Canvas t(width, picture.height);
    int lines = UploadLoadedBitmap(t.dc, t.bitmap, &picture);
    std::vector<uint32_t> words = t.Words();
    char text[96];
    snprintf(text, sizeof text, "%d %dx%d %016llx", lines, width, picture.height,
             static_cast<unsigned long long>(HashBytes(reinterpret_cast<unsigned char*>(words.data()), words.size() * 4)));
    FreeBmpFile(&picture);
    return text;
}

// Every corpus file against the recorded upload, which is what the real GDI
// gives. Good files must upload; bad ones must be refused or stay inside their
// block, which the sanitizer build checks on every read.
TEST(DibUpload, BmpSuiteCorpus) {
    std::ifstream list(std::string(TEST_DATA_DIR) + "/bmpsuite/expected_uploads.txt");
    ASSERT_TRUE(list.good());
    std::string line;
    int files = 0;
    printf("%-28s %-40s\n", "file", "result");
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') continue;
        size_t space = line.find(' ');
        ASSERT_NE(space, std::string::npos);
        std::string name = line.substr(0, space), expected = line.substr(space + 1);
        std::string got = UploadCorpusFile(name);
        const char* verdict = got == "load-refused" ? "refused by the reader"
                              : got.compare(0, 2, "0 ") == 0 ? "upload refused"
                                                              : "uploaded";
        printf("%-28s %-22s %s\n", name.c_str(), verdict, got == expected ? "as recorded" : "DIFFERENT");
        EXPECT_EQ(got, expected) << name;
        if (name.compare(0, 2, "g/") == 0) {
            EXPECT_EQ(strcmp(verdict, "uploaded"), 0) << name;
        }
        files++;
    }
    EXPECT_EQ(files, 80);
    EXPECT_NOTHING_LIVE();
}

// A picture uploaded into a bitmap that has no pixels yet is decoded only
// where a stretch picks; it must show exactly what the whole upload shows,
// also once the file's block is freed under it.
enum SourceUse { STRETCH_AT_ONCE, STRETCH_AFTER_A_READ, STRETCH_AFTER_THE_FILE_IS_FREED };

std::vector<uint32_t> StretchCorpusFile(const std::string& name, int columns, int rows, SourceUse use) {
    LoadedBitmap picture;
    if (LoadBmpFile(&picture, (std::string(TEST_DATA_DIR) + "/bmpsuite/" + name).c_str()) != 0) return {};
    const int width = picture.width, height = picture.height;
    std::vector<uint32_t> words;
    {
        Canvas source(width, height);
        if (UploadLoadedBitmap(source.dc, source.bitmap, &picture) != 0) {
            if (use == STRETCH_AFTER_A_READ) GetPixel(source.dc, 0, 0);
            if (use == STRETCH_AFTER_THE_FILE_IS_FREED) FreeBmpFile(&picture);
            // Mirrored as the view draws, with a margin that must stay untouched.
            Canvas box(columns + 2, rows + 2);
            Prefill(&box, 0xA5A5A5A5);
            SetStretchBltMode(box.dc, COLORONCOLOR);
            StretchBlt(box.dc, 1, rows, columns, -rows, source.dc, 0, 0, width, height, SRCCOPY);
            words = box.Words();
        }
    }
    FreeBmpFile(&picture);
    return words;
}

TEST(DibUpload, BmpSuiteStretchesReadOnlyWhatTheyPick) {
    std::ifstream list(std::string(TEST_DATA_DIR) + "/bmpsuite/expected_uploads.txt");
    ASSERT_TRUE(list.good());
    std::string line;
    int stretched = 0;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::string name = line.substr(0, line.find(' '));
        LoadedBitmap picture;
        if (LoadBmpFile(&picture, (std::string(TEST_DATA_DIR) + "/bmpsuite/" + name).c_str()) != 0) continue;
        const int width = picture.width, height = picture.height;
        FreeBmpFile(&picture);
        if (width <= 0 || height <= 0 || width > 4096 || height > 4096) continue;
        const int sizes[][2] = {{width, height}, {(width + 2) / 3, (height + 1) / 2}, {1, 1}, {width + 3, height + 2}};
        for (const auto& size : sizes) {
            SCOPED_TRACE(name + " in " + std::to_string(size[0]) + " x " + std::to_string(size[1]));
            const std::vector<uint32_t> whole = StretchCorpusFile(name, size[0], size[1], STRETCH_AFTER_A_READ);
            EXPECT_EQ(StretchCorpusFile(name, size[0], size[1], STRETCH_AT_ONCE), whole);
            EXPECT_EQ(StretchCorpusFile(name, size[0], size[1], STRETCH_AFTER_THE_FILE_IS_FREED), whole);
            if (!whole.empty()) stretched++;
        }
    }
    EXPECT_GT(stretched, 200);
    EXPECT_NOTHING_LIVE();
}

}  // namespace
