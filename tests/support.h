// Shared test helpers: drawing files built from records, temporary files,
// BMP inspection and the platform's live-object counts.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "platform/platform_test.h"

// Builds a drawing file record by record, so that a test reads like the format.
struct DrawingBuilder {
    std::vector<unsigned char> bytes;

    DrawingBuilder(uint16_t width, uint16_t height);
    DrawingBuilder& U16(uint16_t value);
    DrawingBuilder& U32(uint32_t value);
    DrawingBuilder& Raw(std::initializer_list<unsigned char> data);
    DrawingBuilder& Rect(uint16_t y_base, uint16_t left, uint16_t top, uint16_t right, uint16_t bottom,
                         uint16_t colour);
    // A run set whose count is runs + 1, as the format counts it.
    DrawingBuilder& Runs(int16_t y, uint16_t colour, std::vector<std::pair<int16_t, int16_t>> runs);
    DrawingBuilder& RunsHead(int16_t count, uint16_t colour, int16_t y);
    DrawingBuilder& Raster(uint16_t y_base, uint16_t left, uint16_t top, uint16_t width, uint16_t rows,
                           uint16_t bytes_per_row, uint16_t colour, uint32_t polarity,
                           const std::vector<unsigned char>& data);
};

// A fresh directory for one test, removed with everything in it at the end.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    std::string File(const std::string& name) const;
};

bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);
bool ReadFileBytes(const std::string& path, std::vector<unsigned char>* bytes);
bool FileExists(const std::string& path);
// Names in a directory other than . and ..
std::vector<std::string> ListDirectory(const std::string& path);
int CountOpenDescriptors();

// A BMP file as "-f" writes it: 32 bits, top row first.
struct WrittenBmp {
    uint32_t file_size;
    uint32_t pixel_offset;
    int32_t width;
    int32_t height;
    uint16_t bit_count;
    std::vector<uint32_t> pixels;  // words 0xAARRGGBB, row 0 = first stored row
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
bool ParseWrittenBmp(const std::vector<unsigned char>& file, WrittenBmp* bmp);

// Named grids of pixel words read from a file in tests/data: each grid a line
// "@ RESULT NAME", then its rows, one line of hexadecimal words a row. Lines
// starting with '#' and blank lines are skipped.
struct WordGrid {
    std::string name;
    int result;
    std::vector<std::vector<uint32_t>> rows;
};
bool ReadWordGrids(const std::string& path, std::vector<WordGrid>* grids);

uint32_t Word(COLORREF colour);  // the 32-bit pixel word a fill of this colour writes

// An RLE8 BMP, bottom row first, that stores a picture of any declared size
// in about width / 128 bytes a row: stored row r, column x holds table entry
// RunLengthIndex(x, r), and entry i is the colour RunLengthColour(i).
std::vector<unsigned char> MakeRunLengthBmp(int width, int height);
inline unsigned RunLengthIndex(int x, int stored_row) {
    return static_cast<unsigned>(stored_row + x / 255) & 0xFF;
}
inline uint32_t RunLengthColour(unsigned index) {  // 0x00RRGGBB
    return index << 16 | (255 - index) << 8 | ((index * 37) & 0xFF);
}

inline bool operator==(const PlatformCounts& a, const PlatformCounts& b) {
    return a.gdi_objects == b.gdi_objects && a.device_contexts == b.device_contexts &&
           a.files == b.files && a.heap_blocks == b.heap_blocks;
}
std::string Describe(const PlatformCounts& counts);

// Runs a command line through the dispatcher and checks that everything the
// handler acquired was released.
#define EXPECT_NOTHING_LIVE()                                                            \
    do {                                                                                 \
        PlatformCounts zero_ = {0, 0, 0, 0};                                             \
        EXPECT_EQ(Describe(GetPlatformCounts()), Describe(zero_)) << "something leaked"; \
    } while (0)
