// The BMP reader: what it accepts and the fields it hands on, what it refuses
// and that it leaves nothing behind either way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "tests/fixtures/file_builders.h"
#include "tests/fixtures/support.h"

namespace {

// A file header and the start of a DIB header, `total` bytes in all, with the
// given bfSize (the file's length unless told otherwise).
std::vector<unsigned char> HeaderBytes(size_t total, uint32_t header_size, int32_t width, int32_t height,
                                       int64_t file_size = -1) {
    BmpBuilder bmp;
    bmp.FileHeader(54).U32(header_size);
    if (header_size == 12)
        bmp.U16(static_cast<uint32_t>(width)).U16(static_cast<uint32_t>(height));
    else
        bmp.U32(static_cast<uint32_t>(width)).U32(static_cast<uint32_t>(height));
    bmp.bytes.resize(total < 54 ? 54 : total);
    bmp.FileSize(file_size < 0 ? static_cast<int64_t>(total) : file_size);
    bmp.bytes.resize(total);
    return bmp.bytes;
}

struct ReaderCase {
    const char* name;
    std::vector<unsigned char> bytes;
    int result;
    int32_t width;
    int32_t height;
};

std::vector<ReaderCase> ReaderCases() {
    std::vector<unsigned char> not_bm = HeaderBytes(60, 40, 2, 2);
    not_bm[1] = 'A';
    std::vector<unsigned char> appended = HeaderBytes(60, 40, 2, 2);
    appended.push_back(0);
    return {
        {"top-down height counts its rows", HeaderBytes(60, 40, 300, -200), 0, 300, 200},
        {"negative width stays negative", HeaderBytes(60, 40, -5, 7), 0, -5, 7},
        {"core header 300 x 200", HeaderBytes(60, 12, 300, 200), 0, 300, 200},
        {"core header sizes are unsigned", HeaderBytes(60, 12, 0xFFFF, 0x8000), 0, 0xFFFF, 0x8000},
        {"core header, 22 bytes", HeaderBytes(22, 12, 3, 4), 0, 3, 4},
        {"info header, 26 bytes", HeaderBytes(26, 40, 3, -4), 0, 3, 4},
        {"one byte appended", appended, -1, 0, 0},
        {"bfSize 0", HeaderBytes(60, 40, 2, 2, 0), -1, 0, 0},
        {"not BM", not_bm, -1, 0, 0},
        {"empty file", {}, -1, 0, 0},
        {"BM and bfSize 20 in 20 bytes", HeaderBytes(20, 40, 2, 2), -1, 0, 0},
        {"17 bytes", HeaderBytes(17, 40, 2, 2), -1, 0, 0},
        {"core header, 21 bytes", HeaderBytes(21, 12, 3, 4), -1, 0, 0},
        {"info header, 25 bytes", HeaderBytes(25, 40, 3, 4), -1, 0, 0},
        {"height with no row count", HeaderBytes(60, 40, 2, INT32_MIN), -1, 0, 0},
    };
}

// WriteFileBytes hands fwrite the data of an empty vector, a null pointer.
bool WriteCaseFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    if (!bytes.empty()) return WriteFileBytes(path, bytes);
    FILE* f = fopen(path.c_str(), "wb");
    return f && fclose(f) == 0;
}

TEST(BmpReader, AcceptsAndRefusesByTheFieldsItReads) {
    TempDir dir;
    int descriptors = CountOpenDescriptors();
    for (const ReaderCase& c : ReaderCases()) {
        SCOPED_TRACE(c.name);
        std::string path = dir.File("case.bmp");
        ASSERT_TRUE(WriteCaseFile(path, c.bytes));
        testing::internal::CaptureStderr();
        LoadedBitmap picture;
        int result = LoadBmpFile(&picture, path.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a refusal is silent";
        EXPECT_EQ(result, c.result);
        if (result == 0) {
            EXPECT_EQ(picture.width, c.width);
            EXPECT_EQ(picture.height, c.height);
            EXPECT_EQ(reinterpret_cast<const unsigned char*>(picture.info), picture.buffer + 14);
            // bfOffBits is 54; a shorter file has its pixel pointer kept at its end.
            EXPECT_EQ(picture.pixels, picture.buffer + std::min<size_t>(54, c.bytes.size()));
            EXPECT_EQ(memcmp(picture.buffer, c.bytes.data(), c.bytes.size()), 0);
            FreeBmpFile(&picture);
        }
        EXPECT_EQ(CountOpenDescriptors(), descriptors);
        EXPECT_NOTHING_LIVE();
    }
}

TEST(BmpReader, LoadsTheCanvasFileTheConverterWrites) {
    HDC screen = GetDC(nullptr);
    HBITMAP canvas = CreateCompatibleBitmap(screen, 300, 200);
    ReleaseDC(nullptr, screen);
    TempDir dir;
    std::string path = dir.File("canvas.bmp");
    ASSERT_EQ(SaveBitmapAsBmp(path.c_str(), canvas), 1);
    DeleteObject(canvas);
    LoadedBitmap picture;
    ASSERT_EQ(LoadBmpFile(&picture, path.c_str()), 0);
    EXPECT_EQ(picture.width, 300);
    EXPECT_EQ(picture.height, 200);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(picture.info), picture.buffer + 14);
    EXPECT_EQ(picture.pixels, picture.buffer + 54);
    FreeBmpFile(&picture);
    EXPECT_NOTHING_LIVE();
}

TEST(BmpReader, PathsThatNameNoFile) {
    int descriptors = CountOpenDescriptors();
    LoadedBitmap picture;
    InjectFault(FAULT_CREATE_FILE, 0);
    EXPECT_EQ(LoadBmpFile(&picture, ""), -1);
    EXPECT_EQ(ClearFaults(), 1) << "an empty path must not reach the file system";
    TempDir dir;
    EXPECT_EQ(LoadBmpFile(&picture, dir.File("missing.bmp").c_str()), -1);
    EXPECT_EQ(LoadBmpFile(&picture, dir.path.c_str()), -1);
    EXPECT_EQ(CountOpenDescriptors(), descriptors);
    EXPECT_NOTHING_LIVE();
}

// Lengths of 4 GiB and more are refused by their high part: the low part of
// 2^32 + 60 would pass for a valid 60-byte BMP at the start of the file.
TEST(BmpReader, FilesOfFourGibibytesOrMoreAreRefused) {
    TempDir dir;
    const uint64_t kFourGiB = 1ull << 32;
    const uint64_t lengths[] = {kFourGiB, kFourGiB + 60, 3 * kFourGiB + 60};
    for (uint64_t length : lengths) {
        std::string path = dir.File("big.bmp");
        ASSERT_TRUE(WriteFileBytes(path, HeaderBytes(60, 40, 2, 2)));
        int fd = open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        int truncated = ftruncate(fd, static_cast<off_t>(length));
        close(fd);
        if (truncated != 0) GTEST_SKIP() << "no sparse files of " << length << " bytes here";
        LoadedBitmap picture;
        EXPECT_EQ(LoadBmpFile(&picture, path.c_str()), -1) << length;
        EXPECT_NOTHING_LIVE();
    }
}

// Without a display the message goes to the standard error stream, once, and
// the file is closed and nothing kept.
TEST(BmpReader, AllocationFailureShowsTheMessageOnce) {
    TempDir dir;
    std::string path = dir.File("a.bmp");
    ASSERT_TRUE(WriteFileBytes(path, HeaderBytes(60, 40, 2, 2)));
    const char* display = getenv("DISPLAY");
    std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    InjectFault(FAULT_HEAP_ALLOC, 0);
    testing::internal::CaptureStderr();
    LoadedBitmap picture;
    int result = LoadBmpFile(&picture, path.c_str());
    std::string message = testing::internal::GetCapturedStderr();
    if (display) setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(ClearFaults(), 0);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(message, "Error: Unable to allocate memory for image data.\n");
    EXPECT_NOTHING_LIVE();
}

TEST(BmpReader, FreeLeavesEmptyRecordsAlone) {
    FreeBmpFile(nullptr);
    LoadedBitmap empty;
    memset(&empty, 0, sizeof empty);
    FreeBmpFile(&empty);
    EXPECT_NOTHING_LIVE();
}

}  // namespace
