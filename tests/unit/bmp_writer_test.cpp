// The DIB image, the packed-DIB layout with its colour fix-ups and the writer.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "bitmap/internal.h"
#include "drawing/drawing.h"
#include "tests/fixtures/canvas.h"
#include "reading/byte_cursor.h"
#include "tests/fixtures/support.h"

namespace {

// A DIB image of the given depth whose colour table holds 0xA0 + i in every
// byte of entry i (as far as a byte goes), so entries left alone are recognisable.
DibImage* MakeImage(int bpp, int width, int height) {
    int entries = bpp <= 8 ? 1 << bpp : 0;
    std::vector<unsigned char> request(40 + 4 * entries, 0);
    BITMAPINFOHEADER* header = reinterpret_cast<BITMAPINFOHEADER*>(request.data());
    header->biSize = 40;
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = static_cast<WORD>(bpp);
    for (int i = 0; i < entries; i++) memset(&request[40 + 4 * i], 0xA0 + i, 4);
    return CreateDibImage(reinterpret_cast<BITMAPINFO*>(request.data()));
}

uint32_t EntryAt(const unsigned char* table, int i) {
    ByteCursor c = MakeCursor(table + 4 * i, 4);
    uint32_t word = 0;
    ReadU32Le(&c, &word);
    return word;
}

// The drawing colours and white as colour-table entries, the only values the
// writer puts in place of a section's own.
bool IsDrawingColourOrWhite(uint32_t entry) {
    if (entry == 0x00FFFFFF) return true;
    for (COLORREF colour : DrawingPalette)
        if (entry == Word(colour)) return true;
    return false;
}

// Every depth written and read back by the BMP reader: the file's layout, the
// header as the section reports it, the pixels as they were (at 32 bits with
// their fourth byte 0), the 16-bit masks, and the colour table as it was but
// for a few entries that carry the drawing colours and white. A section may
// report no image size, which the writer then works out from the width, the
// depth and the height.
TEST(BmpWriter, EveryDepthRoundTripsThroughTheReader) {
    const struct {
        int bpp, width, height;
        uint32_t stride, pixel_offset;
        int replaced_entries;
        int size_unreported;
    } cases[] = {
        {32, 1024, 768, 4096, 54, 0, 0}, {24, 1023, 4, 3072, 54, 0, 0}, {24, 1023, 4, 3072, 54, 0, 1},
        {16, 5, 3, 12, 66, 0, 0},        {8, 5, 2, 8, 1078, 8, 0},      {4, 9, 2, 8, 118, 9, 0},
        {1, 17, 2, 4, 62, 2, 0},         {1, 17, 2, 4, 62, 2, 1},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpp << (c.size_unreported ? " bits, no size reported" : " bits"));
        DibImage* image = MakeImage(c.bpp, c.width, c.height);
        ASSERT_TRUE(IsDibImage(image));
        if (c.size_unreported) image->description.dsBmih.biSizeImage = 0;
        const size_t image_size = static_cast<size_t>(c.stride) * c.height;
        unsigned char* pixels = static_cast<unsigned char*>(image->pixels);
        for (size_t i = 0; i < image_size; i++) pixels[i] = static_cast<unsigned char>(i * 37 + c.bpp);
        std::vector<unsigned char> written_pixels(pixels, pixels + image_size);
        if (c.bpp == 32)
            for (size_t i = 3; i < image_size; i += 4) written_pixels[i] = 0;
        const BITMAPINFOHEADER reported = image->description.dsBmih;
        const std::string path = dir.File("depth.bmp");
        ASSERT_EQ(WriteBmpFile(image, path.c_str()), 1);
        EXPECT_EQ(FreeDibImage(image), 1);

        std::vector<unsigned char> bytes;
        ASSERT_TRUE(ReadFileBytes(path, &bytes));
        ASSERT_EQ(bytes.size(), c.pixel_offset + image_size);
        const unsigned char* file = bytes.data();
        LoadedBitmap loaded;
        ASSERT_EQ(LoadBmpFile(&loaded, path.c_str()), 0);
        EXPECT_EQ(loaded.width, c.width);
        EXPECT_EQ(loaded.height, c.height);
        FreeBmpFile(&loaded);
        ByteCursor cursor = MakeCursor(file, bytes.size());
        uint32_t offset = 0;
        ASSERT_EQ(SeekCursor(&cursor, 10), 0);
        ASSERT_EQ(ReadU32Le(&cursor, &offset), 0);
        EXPECT_EQ(offset, c.pixel_offset);
        EXPECT_EQ(memcmp(file + 14, &reported, 40), 0) << "the header is not the section's";
        EXPECT_EQ(memcmp(file + c.pixel_offset, written_pixels.data(), image_size), 0) << "the pixels changed";
        if (c.bpp == 16) {
            EXPECT_EQ(EntryAt(file + 54, 0), 0x7C00u);
            EXPECT_EQ(EntryAt(file + 54, 1), 0x03E0u);
            EXPECT_EQ(EntryAt(file + 54, 2), 0x001Fu);
        }
        const int entries = c.bpp <= 8 ? 1 << c.bpp : 0;
        int replaced = 0;
        for (int i = 0; i < entries; i++) {
            const uint32_t entry = EntryAt(file + 54, i);
            if (entry == 0x01010101u * ((0xA0u + static_cast<uint32_t>(i)) & 0xFF)) continue;
            replaced++;
            EXPECT_TRUE(IsDrawingColourOrWhite(entry)) << "entry " << i << " holds " << std::hex << entry;
        }
        EXPECT_EQ(replaced, c.replaced_entries);
    }
    EXPECT_NOTHING_LIVE();
}

TEST(DibImage, InvalidImagesAreRefusedWithoutBeingRead) {
    DibImage* impostor = static_cast<DibImage*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DibImage)));
    impostor->signature = 0x00626945;
    DibImage on_stack = {};
    on_stack.signature = DIB_SIGNATURE;  // looks right, but is no live image
    // A block too small to hold a whole record is refused before its
    // signature is read.
    uint32_t* short_block = static_cast<uint32_t*>(HeapAlloc(GetProcessHeap(), 0, 4));
    *short_block = DIB_SIGNATURE;
    const DibImage* invalid[] = {nullptr, impostor, &on_stack, reinterpret_cast<DibImage*>(short_block)};
    for (const DibImage* image : invalid) {
        EXPECT_FALSE(IsDibImage(image));
        EXPECT_EQ(GetDibWidth(image), 0);
        EXPECT_EQ(GetDibStride(image), 0u);
        EXPECT_EQ(GetDibPackedSize(image), 0u);
        EXPECT_EQ(PackDib(image), nullptr);
        EXPECT_EQ(FreeDibImage(const_cast<DibImage*>(image)), 0);
    }
    TempDir dir;
    std::string path = dir.File("old.bmp");
    ASSERT_TRUE(WriteFileBytes(path, {1, 2, 3}));
    EXPECT_EQ(WriteBmpFile(impostor, path.c_str()), 0);
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(ListDirectory(dir.path).empty());
    HeapFree(GetProcessHeap(), 0, impostor);
    HeapFree(GetProcessHeap(), 0, short_block);
    EXPECT_NOTHING_LIVE();
}

// A canvas-like bitmap written by SaveBitmapAsBmp, read back.
// Heap blocks, however often freed ones are handed out again: readable to
// their last byte and no further, cleared, and counted while they live.
TEST(ProcessHeap, BlocksAreTheirSizeAndComeCleared) {
    const size_t sizes[] = {1, 20, 4096, 500000, 700000, size_t{3} << 20};
    for (size_t size : sizes) {
        for (int round = 0; round < 2; round++) {
            std::vector<unsigned char*> blocks;
            for (int n = 0; n < 8; n++) {
                unsigned char* block = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, size));
                ASSERT_NE(block, nullptr);
                EXPECT_FALSE(IsBadReadPtr(block, size)) << size;
                EXPECT_TRUE(IsBadReadPtr(block, size + 1)) << size;
                size_t set = 0;
                for (size_t i = 0; i < size; i++) set += block[i] != 0;
                EXPECT_EQ(set, 0u) << size << " bytes, round " << round << ", block " << n;
                memset(block, 0xA5, size);
                blocks.push_back(block);
            }
            EXPECT_EQ(GetPlatformCounts().heap_blocks, 8);
            for (unsigned char* block : blocks) EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, block));
        }
    }
    EXPECT_NOTHING_LIVE();
}

TEST(BmpWriter, TopRowIsStoredFirstUnderAPositiveHeight) {
    TempDir dir;
    {
        Canvas canvas(5, 3);
        BitBlt(canvas.dc, 0, 0, 5, 3, nullptr, 0, 0, WHITENESS);
        for (int x = 0; x < 5; x++) SetPixel(canvas.dc, x, 0, RGB(255, 0, 0));
        SetPixel(canvas.dc, 4, 2, RGB(0, 0, 255));
        ASSERT_EQ(SaveBitmapAsBmp(dir.File("a.bmp").c_str(), canvas.bitmap), 1);
    }
    EXPECT_NOTHING_LIVE();

    std::vector<unsigned char> file;
    ASSERT_TRUE(ReadFileBytes(dir.File("a.bmp"), &file));
    WrittenBmp bmp;
    ASSERT_TRUE(ParseWrittenBmp(file, &bmp));
    EXPECT_EQ(bmp.file_size, file.size());
    EXPECT_EQ(file.size(), 54u + 5 * 3 * 4);
    EXPECT_EQ(bmp.pixel_offset, 54u);
    EXPECT_EQ(bmp.width, 5);
    EXPECT_EQ(bmp.height, 3);
    for (int y = 0; y < 3; y++) {
        for (int x = 0; x < 5; x++) {
            uint32_t expected = y == 0 ? 0x00FF0000 : (x == 4 && y == 2 ? 0x000000FF : 0x00FFFFFF);
            EXPECT_EQ(bmp.At(x, y), expected) << x << "," << y;
        }
    }
}

TEST(BmpWriter, MonochromeDeviceBitmapGivesATwoColourFile) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP mono = CreateCompatibleBitmap(dc, 16, 2);  // compatible with the DC's 1-bit bitmap
    TempDir dir;
    ASSERT_EQ(SaveBitmapAsBmp(dir.File("m.bmp").c_str(), mono), 1);
    DeleteObject(mono);
    DeleteDC(dc);
    std::vector<unsigned char> file;
    ASSERT_TRUE(ReadFileBytes(dir.File("m.bmp"), &file));
    ASSERT_EQ(file.size(), 62u + 8);
    EXPECT_EQ(file[10], 62);
    EXPECT_EQ(file[28], 1);  // biBitCount
    const unsigned char table[8] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0};
    EXPECT_EQ(memcmp(&file[54], table, 8), 0);
    EXPECT_NOTHING_LIVE();
}

}  // namespace
