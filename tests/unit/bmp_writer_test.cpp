// The DIB image, the packed-DIB layout with its colour fix-ups and the writer.
#include <gtest/gtest.h>
#include <string.h>

#include "bitmap/internal.h"
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

TEST(DibImage, AccessorsFollowTheReportedDescription) {
    const struct {
        int bpp, width, height;
        uint32_t stride, colours, masks, header_size;
    } cases[] = {
        {32, 1024, 768, 4096, 0, 0, 40},   {24, 1023, 4, 3072, 0, 0, 40},
        {16, 5, 3, 12, 0, 12, 52},         {8, 5, 2, 8, 256, 0, 1064},
        {4, 9, 2, 8, 16, 0, 104},          {1, 17, 2, 4, 2, 0, 48},
    };
    for (const auto& c : cases) {
        DibImage* image = MakeImage(c.bpp, c.width, c.height);
        ASSERT_TRUE(IsDibImage(image)) << c.bpp;
        EXPECT_EQ(GetDibWidth(image), c.width);
        EXPECT_EQ(GetDibHeight(image), c.height);
        EXPECT_EQ(GetDibBitCount(image), static_cast<uint32_t>(c.bpp));
        EXPECT_EQ(GetDibStride(image), c.stride) << c.bpp;
        EXPECT_EQ(GetDibImageSize(image), c.stride * c.height);
        EXPECT_EQ(GetDibWrittenColourCount(image), c.colours);
        EXPECT_EQ(GetDibMaskSize(image), c.masks);
        EXPECT_EQ(GetDibHeaderSize(image), c.header_size) << c.bpp;
        EXPECT_EQ(GetDibPackedSize(image), c.header_size + c.stride * c.height);
        EXPECT_EQ(FreeDibImage(image), 1);
    }
    EXPECT_NOTHING_LIVE();
}

TEST(DibImage, FixupsOverwriteTheirEntriesOnly) {
    const struct {
        int bpp;
        std::vector<std::pair<int, uint32_t>> fixed;
    } cases[] = {
        {1, {{0, 0x000000}, {1, 0xFFFFFF}}},
        {4, {{0, 0x000000}, {1, 0xFF6600}, {9, 0xFF0000}, {10, 0x00FF00}, {11, 0xFFFF00},
             {12, 0x0000FF}, {13, 0xFF00FF}, {14, 0x00FFFF}, {15, 0xFFFFFF}}},
        {8, {{0, 0x000000}, {249, 0xFF0000}, {250, 0x00FF00}, {251, 0xFFFF00}, {252, 0x0000FF},
             {253, 0xFF00FF}, {254, 0x00FFFF}, {255, 0xFFFFFF}}},
    };
    for (const auto& c : cases) {
        DibImage* image = MakeImage(c.bpp, 3, 2);
        memset(image->pixels, 0x5C, GetDibImageSize(image));
        unsigned char* packed = PackDib(image);
        ASSERT_NE(packed, nullptr);
        EXPECT_EQ(memcmp(packed, &image->description.dsBmih, 40), 0);
        const unsigned char* table = packed + 40;
        int entries = 1 << c.bpp;
        for (int i = 0; i < entries; i++) {
            uint32_t expected = 0x01010101u * ((0xA0u + static_cast<uint32_t>(i)) & 0xFF);
            for (const auto& f : c.fixed)
                if (f.first == i) expected = f.second;
            EXPECT_EQ(EntryAt(table, i), expected) << c.bpp << " bits, entry " << i;
        }
        const unsigned char* pixels = table + 4 * entries;
        for (uint32_t i = 0; i < GetDibImageSize(image); i++) ASSERT_EQ(pixels[i], 0x5C);
        HeapFree(GetProcessHeap(), 0, packed);
        FreeDibImage(image);
    }
    EXPECT_NOTHING_LIVE();
}

TEST(DibImage, BitfieldMasksFollowTheHeader) {
    DibImage* image = MakeImage(16, 4, 2);
    unsigned char* packed = PackDib(image);
    ASSERT_NE(packed, nullptr);
    EXPECT_EQ(EntryAt(packed + 40, 0), 0x7C00u);
    EXPECT_EQ(EntryAt(packed + 40, 1), 0x03E0u);
    EXPECT_EQ(EntryAt(packed + 40, 2), 0x001Fu);
    HeapFree(GetProcessHeap(), 0, packed);
    TempDir dir;
    ASSERT_EQ(WriteBmpFile(image, dir.File("masks.bmp").c_str()), 1);
    std::vector<unsigned char> file;
    ASSERT_TRUE(ReadFileBytes(dir.File("masks.bmp"), &file));
    ASSERT_EQ(file.size(), 14u + 52 + 16);
    EXPECT_EQ(file[10], 66);
    FreeDibImage(image);
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
            uint32_t expected = y == 0 ? 0x00FF0000 : (x == 4 && y == 2 ? 0x000000FF : 0xFFFFFFFF);
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
