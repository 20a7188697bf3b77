// The reasons the readers give when they stop: the first failure of a
// drawing, a BMP file or its upload, in words and with the byte it concerns,
// and none at all when everything was read.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "drawing/drawing.h"
#include "drawing/drawing_format.h"
#include "reading/stop_reason.h"
#include "tests/fixtures/canvas.h"
#include "tests/fixtures/support.h"

namespace {

// A 2 x 2 BMP with a 40-byte header, pixels declared at byte 54 and `tail`
// (table, masks, pixels) after the header; bfSize is its length plus `extra`.
std::vector<unsigned char> Bmp(uint16_t bit_count, uint32_t compression, std::vector<unsigned char> tail,
                               uint32_t extra = 0) {
    BmpBuilder bmp;
    bmp.FileHeader(54).InfoHeader(2, 2, bit_count, compression).Raw(tail.data(), tail.size());
    return bmp.FileSize(static_cast<int64_t>(bmp.bytes.size()) + extra).bytes;
}

// The view's steps: load, then upload into a bitmap of the picture's size.
// 0 when the picture would be shown.
int ShowBmp(const std::string& path) {
    LoadedBitmap picture;
    if (LoadBmpFile(&picture, path.c_str()) != 0) return -1;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, picture.width, picture.height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    int rows = UploadLoadedBitmap(dc, bitmap, &picture);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    FreeBmpFile(&picture);
    return rows > 0 ? 0 : -1;
}

int ConvertOnly(const std::string& path) {
    g_render_state = RenderState();
    int result = RenderDrawing(path.c_str());
    ReleaseCanvas();
    return result;
}

// A stream that cannot tell its size, as a pipe's: the file's bytes, then
// the end or, from a failing disk, a read error.
struct StreamBytes {
    std::vector<unsigned char> bytes;
    size_t at;
    bool fails;
};

ssize_t ReadStreamBytes(void* cookie, char* buffer, size_t size) {
    StreamBytes* stream = static_cast<StreamBytes*>(cookie);
    const size_t n = std::min(size, stream->bytes.size() - stream->at);
    if (n == 0) return stream->fails ? -1 : 0;
    memcpy(buffer, stream->bytes.data() + stream->at, n);
    stream->at += n;
    return static_cast<ssize_t>(n);
}

// The drawing's records read from such a stream onto a small canvas.
int DrawFromStream(const std::string& path, bool fails) {
    StreamBytes bytes = {{}, 0, fails};
    if (!ReadFileBytes(path, &bytes.bytes)) return -2;
    FILE* stream = fopencookie(&bytes, "rb", cookie_io_functions_t{ReadStreamBytes, nullptr, nullptr, nullptr});
    uint16_t width, height;
    int result = ReadDrawingHeader(stream, &width, &height);
    if (result == 0) {
        Canvas canvas(64, 48);
        g_render_state.device_context = canvas.dc;
        g_render_state.canvas_width = 64;
        g_render_state.canvas_height = 48;
        g_render_state.scale = 64.0f / width;
        result = DrawRecords(stream);
        g_render_state = RenderState();
    }
    fclose(stream);
    return result;
}

int DrawFromPipe(const std::string& path) {
    return DrawFromStream(path, false);
}

int DrawFromFailingDisk(const std::string& path) {
    return DrawFromStream(path, true);
}

struct ReasonCase {
    const char* name;
    int (*run)(const std::string& path);
    std::vector<unsigned char> bytes;
    int64_t offset;
    const char* text;  // null: the read succeeds and leaves no reason
};

TEST(StopReason, NamesTheFirstFailureAndItsByte) {
    std::vector<unsigned char> short_header = DrawingBuilder(1024, 768).bytes;
    short_header.resize(3);
    const ReasonCase cases[] = {
        {"a drawing that converts", ConvertOnly, DrawingBuilder(1024, 768).Rect(0, 1, 1, 5, 5, 1).bytes, 0, nullptr},
        {"a header cut short", ConvertOnly, short_header, 2, "the file ends before the header's height"},
        {"a tag of no record", ConvertOnly, DrawingBuilder(1024, 768).Rect(0, 1, 1, 5, 5, 1).U16(0xFFFD).bytes, 18,
         "tag 0xFFFD at byte 18 is no record"},
        {"a raster strip longer than the file", ConvertOnly,
         DrawingBuilder(1024, 768).Raster(0, 0, 0, 64, 100, 8, 1, 0, std::vector<unsigned char>(40)).bytes, 4,
         "raster strip at byte 4 declares 100 rows of 8 bytes; 40 remain"},
        {"a raster strip longer than a pipe's drawing", DrawFromPipe,
         DrawingBuilder(1024, 768).Raster(0, 0, 0, 64, 100, 8, 1, 0, std::vector<unsigned char>(40)).bytes, 4,
         "raster strip at byte 4 declares 100 rows of 8 bytes; the file ends first"},
        {"a read that fails where a tag begins", DrawFromFailingDisk,
         DrawingBuilder(1024, 768).Rect(0, 1, 1, 5, 5, 1).bytes, 18, "the file cannot be read at byte 18"},
        {"a colour index past the palette", ConvertOnly,
         DrawingBuilder(1024, 768).Runs(3, 1, {{1, 5}}).Rect(0, 1, 1, 5, 5, 9).bytes, 18,
         "colour index 9 in the rectangle at byte 18"},
        {"a BMP that is shown", ShowBmp, Bmp(24, BI_RGB, std::vector<unsigned char>(16)), 0, nullptr},
        {"bfSize against the length", ShowBmp, Bmp(24, BI_RGB, std::vector<unsigned char>(16), 1), 2,
         "bfSize says 71 bytes; the file holds 70"},
        {"a colour table longer than the file", ShowBmp, Bmp(8, BI_RGB, std::vector<unsigned char>(16)), 54,
         "the colour table of 256 entries needs 1024 bytes; 16 remain"},
        {"pixel data longer than the file", ShowBmp, Bmp(24, BI_RGB, std::vector<unsigned char>(8)), 54,
         "the pixel data declares 2 rows of 8 bytes; 8 remain"},
        {"a zero bit-field mask", ShowBmp,
         Bmp(16, BI_BITFIELDS, {0x00, 0xF8, 0, 0, 0, 0, 0, 0, 0x1F, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}), -1,
         "the green bit-field mask is zero"},
    };
    TempDir dir;
    for (const ReasonCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("input");
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        ClearStopReason();
        const int result = c.run(path);
        StopReason reason;
        const int held = GetStopReason(&reason);
        if (!c.text) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(held, -1) << reason.text;
            continue;
        }
        EXPECT_EQ(result, -1);
        ASSERT_EQ(held, 0);
        EXPECT_STREQ(reason.text, c.text);
        EXPECT_EQ(reason.offset, c.offset);
    }
    EXPECT_NOTHING_LIVE();
}

}  // namespace
