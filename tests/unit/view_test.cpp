// The bitmap view in a real X window: a stand-in host maps a window, the
// program draws into it, and every pixel of the window is checked.
// Runs under the private X server that tests/fixtures/with_xvfb.sh starts.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <sys/resource.h>
#include <unistd.h>

#include <random>
#include <set>

#include "bitmap/bitmap.h"
#include "tests/fixtures/file_builders.h"
#include "tests/fixtures/canvas.h"
#include "reading/byte_cursor.h"
#include "present/present.h"
#include "tests/fixtures/support.h"
#include "tests/fixtures/x11_host.h"

namespace {

const uint32_t kHostColour = 0x336699;
const uint32_t kSampleColour = 0x123456;  // what the host shows at the sample point
const uint32_t kFrame = 0x0000AF;
const int kWindowX = 40, kWindowY = 30;

// The frame around the picture rectangle, cut at the box's edges.
void PaintFrame(const HostWindow& host, int box_width, int box_height, int fitted_width, int fitted_height, int left,
                int top, std::vector<uint32_t>* words) {
    const int right = left + fitted_width, bottom = top + fitted_height;
    for (int y = top - 1; y <= bottom; y++)
        for (int x = left - 1; x <= right; x++) {
            bool hole = x >= left + 1 && x <= right - 2 && y >= top + 1 && y <= bottom - 2;
            if (!hole && x >= 0 && y >= 0 && x < box_width && y < box_height)
                (*words)[static_cast<size_t>(y) * host.width + x] = kFrame;
        }
}

// The picture of the BMP at `path` as the GDI stretches it into `placement`
// on a memory canvas of the window's size: which source pixels a shrink
// keeps is pinned against the reference GDI by the GDI and Wine tests, so
// here it is taken from the GDI rather than written out again.
std::vector<uint32_t> StretchedPicture(const HostWindow& host, const std::string& path, const BoxPlacement& placement) {
    LoadedBitmap picture;
    if (LoadBmpFile(&picture, path.c_str()) != 0) return {};
    std::vector<uint32_t> words;
    {
        // Released before the file's block, so that an upload kept for later
        // is dropped rather than painted whole.
        Canvas window(host.width, host.height), source(picture.width, picture.height);
        if (UploadLoadedBitmap(source.dc, source.bitmap, &picture) != 0)
            StretchPictureMirrored(window.dc, &placement, source.dc, picture.width, picture.height);
        words = window.Words();
    }
    FreeBmpFile(&picture);
    return words;
}

// What the window should show: the host's colour outside the box; inside it
// the sampled background and, for a picture, the picture fitted in
// `placement`, stretched and mirrored, and its frame.
std::vector<uint32_t> Expected(const HostWindow& host, int box_width, int box_height,
                               const std::string* picture_path = nullptr, const BoxPlacement* placement = nullptr) {
    std::vector<uint32_t> words(static_cast<size_t>(host.width) * host.height, kHostColour);
    words[static_cast<size_t>(box_height + 2) * host.width] = kSampleColour;
    for (int y = 0; y < box_height; y++)
        for (int x = 0; x < box_width; x++) words[static_cast<size_t>(y) * host.width + x] = kSampleColour;
    if (!picture_path) return words;
    const BoxPlacement& p = *placement;
    const std::vector<uint32_t> stretched = StretchedPicture(host, *picture_path, p);
    if (stretched.size() != words.size()) return {};
    for (int y = p.top; y < p.top + p.fitted_height; y++)
        for (int x = p.left; x < p.left + p.fitted_width; x++) {
            const size_t i = static_cast<size_t>(y) * host.width + x;
            words[i] = stretched[i] & 0x00FFFFFF;
        }
    PaintFrame(host, box_width, box_height, p.fitted_width, p.fitted_height, p.left, p.top, &words);
    return words;
}

// Clips the DC to `r`, the region deleted at once: the DC keeps its copy.
void ClipTo(HDC dc, const RECT& r) {
    HRGN region = CreateRectRgn(r.left, r.top, r.right, r.bottom);
    SelectClipRgn(dc, region);
    DeleteObject(region);
}

void ExpectWindow(const HostWindow& host, const std::vector<uint32_t>& expected, const char* what) {
    EXPECT_EQ(ImageDifference(ReadHostWindow(host), expected, host.width), "") << what;
}

class BitmapView : public ::testing::Test {
  protected:
    HostWindow host;
    TempDir dir;
    void SetUp() override {
        ASSERT_EQ(OpenHostWindow(&host, kWindowX, kWindowY, 440, 340, kHostColour), 0) << "no X display";
        PaintHostWindow(host, 0, 302, 1, 1, kSampleColour);
    }
    void TearDown() override { CloseHostWindow(&host); }
    // The program in `mode` on `path`, its box at the window's corner.
    int Run(const char* mode, const std::string& path, int box_width = 400, int box_height = 300,
            const char* directory = nullptr) {
        return RunBlitview({mode, path, std::to_string(kWindowX), std::to_string(kWindowY),
                            std::to_string(kWindowX + box_width), std::to_string(kWindowY + box_height)},
                           directory);
    }
    void Check(int image_width, int image_height, int fitted_width, int fitted_height, int left, int top) {
        std::string path = dir.File("picture.bmp");
        ASSERT_TRUE(WriteFileBytes(path, PatternBmp(image_width, image_height)));
        ASSERT_EQ(Run("-b", path), 0);
        BoxPlacement p = FitToBox(400, 300, image_width, image_height);
        ASSERT_EQ(p.fitted_width, fitted_width);
        ASSERT_EQ(p.fitted_height, fitted_height);
        ASSERT_EQ(p.left, left);
        ASSERT_EQ(p.top, top);
        ExpectWindow(host, Expected(host, 400, 300, &path, &p), "bitmap view");
    }
};

TEST_F(BitmapView, NaturalSizeCentredAndFramed) { Check(200, 100, 200, 100, 100, 100); }
TEST_F(BitmapView, EqualProportionsLoseARow) { Check(1024, 768, 400, 299, 0, 0); }
TEST_F(BitmapView, WidePictureShrunk) { Check(1024, 512, 400, 200, 0, 50); }

TEST_F(BitmapView, FirstStoredRowsShowOnTop) {
    std::vector<unsigned char> file = PatternBmp(20, 10);
    for (int x = 0; x < 40; x++) PutU32Le(file.data() + 54 + x * 4, 0xFF0000);  // stored rows 0 and 1: red
    std::string path = dir.File("red.bmp");
    ASSERT_TRUE(WriteFileBytes(path, file));
    ASSERT_EQ(Run("-b", path), 0);
    std::vector<uint32_t> shown = ReadHostWindow(host);
    // The picture sits at (190, 145) under its frame: its second row is red,
    // its second last is stored row 8.
    for (int x = 191; x < 209; x++) {
        EXPECT_EQ(shown[static_cast<size_t>(146) * host.width + x], 0xFF0000u) << x;
        EXPECT_EQ(shown[static_cast<size_t>(153) * host.width + x], PatternColour(x - 190, 8)) << x;
    }
}

TEST_F(BitmapView, FailedUploadShowsTheBackgroundOnly) {
    std::string path = dir.File("jpeg.bmp");
    ASSERT_TRUE(WriteFileBytes(path, PatternBmp(200, 100, 4)));  // BI_JPEG
    ASSERT_EQ(Run("-b", path), 0);
    ExpectWindow(host, Expected(host, 400, 300), "failed upload");
}

TEST_F(BitmapView, FailuresLeaveTheWindowAlone) {
    std::vector<uint32_t> before = ReadHostWindow(host);
    std::string path = dir.File("picture.bmp");
    ASSERT_TRUE(WriteFileBytes(path, PatternBmp(20, 10)));
    EXPECT_EQ(Run("-b", dir.File("missing.bmp")), 255);
    EXPECT_EQ(RunBlitview({"-b", path, "5000", "5000", "5400", "5300"}), 255);  // no window there
    EXPECT_EQ(Run("-b", path, 0, 300), 255);                                     // empty box
    EXPECT_EQ(RunBlitview({"-b", path, "100", "100", "50", "400"}), 255);        // inverted box
    EXPECT_EQ(RunBlitview({"-b", path, "1", "2", "3"}), 255);
    EXPECT_EQ(ReadHostWindow(host), before);
}

// 20000 x 20000 declared in 3 MiB: shown in about the memory of the file,
// since the shrink keeps 300 of its rows and columns. Under a limit of the
// file plus 256 MiB, a view that made the whole picture would run out.
TEST_F(BitmapView, HugeDeclaredPictureShownWithinTheFilesMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
#endif
    const int side = 20000;
    std::vector<unsigned char> file = MakeRunLengthBmp(side, side);
    std::string path = dir.File("huge.bmp");
    ASSERT_TRUE(WriteFileBytes(path, file));
    ASSERT_EQ(RunBlitview({"-b", path, std::to_string(kWindowX), std::to_string(kWindowY), std::to_string(kWindowX + 400),
                           std::to_string(kWindowY + 300)},
                          nullptr, file.size() + (256ull << 20)),
              0);
    BoxPlacement p = FitToBox(400, 300, side, side);
    ExpectWindow(host, Expected(host, 400, 300, &path, &p), "huge picture");
}

TEST_F(BitmapView, PathsOf255CharactersAndNoMore) {
    std::string path = dir.path + "/" + std::string(255 - dir.path.size() - 1, 'p');
    ASSERT_TRUE(WriteFileBytes(path, PatternBmp(200, 100)));
    EXPECT_EQ(Run("-b", path), 0);
    EXPECT_EQ(Run("-b", path + "q"), 255);
}

// Each coordinate is a whole decimal word that fits in 32 bits; a leading
// zero or plus and words after y2 are what hosts send and still work.
TEST_F(BitmapView, CoordinatesAreWholeNumbersOrTheRunFails) {
    std::string path = dir.File("picture.bmp");
    ASSERT_TRUE(WriteFileBytes(path, PatternBmp(200, 100)));
    std::vector<uint32_t> before = ReadHostWindow(host);
    ASSERT_EQ(RunBlitview({"-b", path, "40", "30", "440", "330"}), 0);
    std::vector<uint32_t> drawn = ReadHostWindow(host);
    ASSERT_NE(drawn, before);
    const struct {
        const char* mode;
        std::vector<std::string> coordinates;
        int status;
    } cases[] = {
        {"-b", {"040", "+30", "0000440", "330"}, 0},
        {"-b", {"40", "30", "440", "330", "and", "more", "words"}, 0},
        {"-b", {"40", "30", "440", "330abc"}, 255},
        {"-b", {"40", "30", "440", "330.0"}, 255},
        {"-b", {"40", "30", "440", "4294967626"}, 255},   // 330 + 2^32
        {"-b", {"40", "30", "440", "-4294966966"}, 255},  // wraps to 330
        {"-b", {"40", "30", "440", "99999999999999999999330"}, 255},
        {"-b", {"40x", "30", "440", "330"}, 255},
        {"-b", {"40", "30", "440", "+"}, 255},
        {"-b", {"40", "30", "440", "--330"}, 255},
        {"-v", {"40", "30", "440", "330abc"}, 255},
        {"-v", {"40", "30", "440", "4294967626"}, 255},
        {"-d", {"40", "30", "440", "330abc"}, 255},
        {"-d", {"40", "30", "4294967736", "330"}, 255},
    };
    for (const auto& c : cases) {
        PaintHostWindow(host, 0, 0, host.width, host.height, kHostColour);
        PaintHostWindow(host, 0, 302, 1, 1, kSampleColour);
        std::vector<std::string> arguments = {c.mode, path};
        arguments.insert(arguments.end(), c.coordinates.begin(), c.coordinates.end());
        std::string shown = c.mode;
        for (const std::string& word : c.coordinates) shown += " " + word;
        EXPECT_EQ(RunBlitview(arguments), c.status) << shown;
        EXPECT_TRUE(ReadHostWindow(host) == (c.status == 0 ? drawn : before)) << shown;
    }
}

}  // namespace

namespace {

// The box as the overlay prepares it, with polylines drawn by the same
// rasteriser on a memory DC and clipped to the picture rectangle.
std::vector<uint32_t> ExpectedOverlay(const HostWindow& host, const std::vector<uint32_t>& before, int box_width,
                                      int box_height, int fitted_width, int fitted_height, int left, int top,
                                      float scale, const std::vector<std::pair<COLORREF, std::vector<POINT>>>& lines,
                                      bool prepare) {
    std::vector<uint32_t> words = before;
    if (prepare) {
        words = Expected(host, box_width, box_height);
        for (int y = top; y < top + fitted_height; y++)
            for (int x = left; x < left + fitted_width; x++) words[static_cast<size_t>(y) * host.width + x] = 0xFFFFFF;
        PaintFrame(host, box_width, box_height, fitted_width, fitted_height, left, top, &words);
    }
    Canvas canvas(host.width, host.height);
    HDC dc = canvas.dc;
    HRGN clip = CreateRectRgn(left, top, left + fitted_width, top + fitted_height);
    SelectClipRgn(dc, clip);
    DeleteObject(clip);
    for (const auto& line : lines) {
        std::vector<POINT> points = line.second;
        for (POINT& p : points) {
            p.x = left + static_cast<LONG>(static_cast<double>(p.x) * scale);
            p.y = top + static_cast<LONG>(static_cast<double>(p.y) * scale);
        }
        // Paint the line in a marker colour over black, then carry it over.
        BitBlt(dc, 0, 0, host.width, host.height, nullptr, 0, 0, BLACKNESS);
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
        HGDIOBJ previous_pen = SelectObject(dc, pen);
        Polyline(dc, points.data(), static_cast<int>(points.size()));
        SelectObject(dc, previous_pen);
        DeleteObject(pen);
        std::vector<uint32_t> marks = canvas.Words();
        uint32_t word = Word(line.first);
        for (size_t i = 0; i < marks.size(); i++)
            if (marks[i] == 0x00FFFFFF) words[i] = word;
    }
    return words;
}

TEST_F(BitmapView, OverlayPreparesTheBoxAndDrawsClippedPolylines) {
    // 2000 x 1500 in 400 x 300: 400 x 299 at (0, 0), scale 0.2f.
    VectorBuilder vectors(2000, 1500);
    vectors.Polyline(1, {{0, 0}, {1000, 750}, {2000, 1500}}).Polyline(4, {{-7, 3}, {1990, 3}}).Polyline(7, {{50, 1400}, {1950, 900}});
    ASSERT_TRUE(WriteFileBytes(dir.File("plan.VCT"), vectors.bytes));
    std::vector<uint32_t> before = ReadHostWindow(host);
    ASSERT_EQ(Run("-v", dir.File("plan.bmp")), 0);
    ExpectWindow(host,
                 ExpectedOverlay(host, before, 400, 300, 400, 299, 0, 0, 0.2f,
                                 {{RGB(255, 0, 0), {{0, 0}, {1000, 750}, {2000, 1500}}},
                                  {RGB(0, 0, 255), {{-7, 3}, {1990, 3}}},
                                  {RGB(255, 102, 0), {{50, 1400}, {1950, 900}}}},
                                 true),
                 "overlay");
}

// A record that fails ends the run with -1; the records before it stay drawn.
TEST_F(BitmapView, OverlayStopsAtAFailedRecordAndKeepsWhatItDrew) {
    struct Case {
        const char* what;
        VectorBuilder vectors;
        std::vector<std::pair<COLORREF, std::vector<POINT>>> drawn;
    };
    Case cases[2] = {{"overlay up to the bad record", VectorBuilder(300, 200),
                      {{RGB(0, 255, 0), {{10, 20}, {60, 20}}}}},
                     {"overlay up to the record cut short", VectorBuilder(300, 200),
                      {{RGB(255, 255, 0), {{10, 20}, {290, 190}, {5, 150}}},
                       {RGB(0, 0, 255), {{-20, 100}, {350, 90}}}}}};
    cases[0].vectors.Polyline(2, {{10, 20}, {60, 20}}).Polyline(5, {{5, 5}}).Polyline(6, {});
    cases[0].vectors.Polyline(8, {{0, 0}, {100, 100}}).Polyline(1, {{0, 5}, {9, 5}});
    cases[1].vectors.Polyline(3, {{10, 20}, {290, 190}, {5, 150}}).Polyline(4, {{-20, 100}, {350, 90}});
    cases[1].vectors.U16(1).U16(3).U16(0).U16(0).U16(100);  // one point and a half of three
    for (const Case& c : cases) {
        PaintHostWindow(host, 0, 0, host.width, host.height, kHostColour);
        PaintHostWindow(host, 0, 302, 1, 1, kSampleColour);
        ASSERT_TRUE(WriteFileBytes(dir.File("pVCT"), c.vectors.bytes));
        std::vector<uint32_t> before = ReadHostWindow(host);
        ASSERT_EQ(Run("-v", dir.File("plan")), 255);
        // 300 x 200 in 400 x 300: unscaled at (50, 50).
        ExpectWindow(host, ExpectedOverlay(host, before, 400, 300, 300, 200, 50, 50, 1.0f, c.drawn, true), c.what);
    }
}

TEST_F(BitmapView, CombinedModeDrawsOverTheBitmapWithoutClearing) {
    ASSERT_TRUE(WriteFileBytes(dir.File("both.bmp"), PatternBmp(200, 100)));
    VectorBuilder vectors(200, 100);
    vectors.Polyline(3, {{-20, 50}, {250, 50}}).Polyline(0, {{0, 0}, {199, 99}});
    ASSERT_TRUE(WriteFileBytes(dir.File("both.VCT"), vectors.bytes));
    ASSERT_EQ(Run("-b", dir.File("both.bmp")), 0);
    std::vector<uint32_t> bitmap_only = ReadHostWindow(host);
    PaintHostWindow(host, 0, 0, 400, 300, kHostColour);
    ASSERT_EQ(Run("-d", dir.File("both.bmp")), 0);
    ExpectWindow(host,
                 ExpectedOverlay(host, bitmap_only, 400, 300, 200, 100, 100, 100, 1.0f,
                                 {{RGB(255, 255, 0), {{-20, 50}, {250, 50}}}, {RGB(0, 0, 0), {{0, 0}, {199, 99}}}},
                                 false),
                 "combined");
    // A bitmap that cannot be shown: no overlay either.
    std::vector<uint32_t> before = ReadHostWindow(host);
    ASSERT_TRUE(WriteFileBytes(dir.File("none.VCT"), vectors.bytes));
    EXPECT_EQ(Run("-d", dir.File("none.bmp")), 255);
    EXPECT_EQ(ReadHostWindow(host), before);
}

TEST_F(BitmapView, OverlayFileNamesAndLimits) {
    VectorBuilder header_only(300, 200);
    // The last three characters are replaced, whatever they are.
    ASSERT_TRUE(WriteFileBytes(dir.File("D:\\maps\\plan.VCT"), header_only.bytes));
    EXPECT_EQ(Run("-v", dir.File("D:\\maps\\plan.bmp")), 0);
    ASSERT_TRUE(WriteFileBytes(dir.File("VCT"), header_only.bytes));
    EXPECT_EQ(Run("-v", "abc", 400, 300, dir.path.c_str()), 0);
    EXPECT_EQ(Run("-v", "ab", 400, 300, dir.path.c_str()), 255);
    // A header with a zero side has no picture rectangle.
    ASSERT_TRUE(WriteFileBytes(dir.File("zero.VCT"), VectorBuilder(0, 200).bytes));
    EXPECT_EQ(Run("-v", dir.File("zero.bmp")), 255);
    // A record of 65535 points, all on one pixel but the last.
    std::vector<std::pair<int, int>> many(65535, {5, 5});
    many.back() = {100, 5};
    VectorBuilder long_line(300, 200);
    long_line.Polyline(2, many);
    ASSERT_TRUE(WriteFileBytes(dir.File("long.VCT"), long_line.bytes));
    std::vector<uint32_t> before = ReadHostWindow(host);
    EXPECT_EQ(Run("-v", dir.File("long.bmp")), 0);
    ExpectWindow(host, ExpectedOverlay(host, before, 400, 300, 300, 200, 50, 50, 1.0f, {{RGB(0, 255, 0), {{5, 5}, {100, 5}}}}, true),
                 "65535 points");
}

// The views run in this process, with the platform's failures injected:
// each gives its result and leaves nothing behind.
TEST_F(BitmapView, EveryFailureReleasesEverything) {
    ASSERT_TRUE(WriteFileBytes(dir.File("p.bmp"), PatternBmp(200, 100)));
    VectorBuilder vectors(300, 200);
    vectors.Polyline(1, {{0, 0}, {100, 100}});
    ASSERT_TRUE(WriteFileBytes(dir.File("p.VCT"), vectors.bytes));
    const std::string box = " " + std::to_string(kWindowX) + " " + std::to_string(kWindowY) + " " +
                            std::to_string(kWindowX + 400) + " " + std::to_string(kWindowY + 300);
    const std::string bitmap = "-b " + dir.File("p.bmp") + box, overlay = "-v " + dir.File("p.bmp") + box;
    const struct {
        const char* what;
        const std::string* command;
        PlatformFault kind;
        int skip;
        int result;
    } cases[] = {
        {"the file's block", &bitmap, FAULT_HEAP_ALLOC, 0, -1},
        {"opening the file", &bitmap, FAULT_CREATE_FILE, 0, -1},
        {"the file's length", &bitmap, FAULT_FILE_SIZE, 0, -1},
        {"reading the file", &bitmap, FAULT_READ_FILE, 0, -1},
        {"the box's memory DC", &bitmap, FAULT_CREATE_DC, 0, 0},
        {"the source's memory DC", &bitmap, FAULT_CREATE_DC, 1, 0},
        {"the box bitmap", &bitmap, FAULT_CREATE_BITMAP, 0, 0},
        {"the source bitmap", &bitmap, FAULT_CREATE_BITMAP, 1, 0},
        {"the background brush", &bitmap, FAULT_CREATE_OBJECT, 0, 0},
        {"the frame pen", &bitmap, FAULT_CREATE_OBJECT, 1, 0},
        {"the box bitmap of the preparation", &overlay, FAULT_CREATE_BITMAP, 0, 0},
        {"the clip region", &overlay, FAULT_CREATE_OBJECT, 2, 0},
        {"the point array", &overlay, FAULT_HEAP_ALLOC, 0, -1},
        {"the polyline's pen", &overlay, FAULT_CREATE_OBJECT, 3, -1},
    };
    // The allocation message goes to standard error, not to a dialog.
    const std::string display = getenv("DISPLAY");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InjectFault(c.kind, c.skip);
        int result;
        if (c.kind == FAULT_HEAP_ALLOC && c.command == &bitmap) {
            unsetenv("DISPLAY");
            testing::internal::CaptureStderr();
            result = ShowBitmap(c.command->c_str());
            EXPECT_NE(testing::internal::GetCapturedStderr().find("Unable to allocate memory for image data."),
                      std::string::npos);
            setenv("DISPLAY", display.c_str(), 1);
        } else {
            result = c.command == &bitmap ? ShowBitmap(c.command->c_str()) : ShowVectors(c.command->c_str(), 1);
        }
        EXPECT_EQ(ClearFaults(), 0) << "the fault never fired";
        EXPECT_EQ(result, c.result);
        EXPECT_NOTHING_LIVE();
    }
}

// Lines drawn through a window DC reach the window before anything else reads
// or writes it through that DC, and a new clip holds for the lines after it.
TEST_F(BitmapView, WindowLinesLandBeforeTheWindowIsUsedOtherwise) {
    POINT corner = {kWindowX + 5, kWindowY + 5};
    HWND window = WindowFromPoint(corner);
    HDC dc = GetDC(window);
    ASSERT_NE(dc, nullptr);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 2, 2);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, 2, 2, nullptr, 0, 0, WHITENESS);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ previous_pen = SelectObject(dc, pen);
    MoveToEx(dc, 10, 10, nullptr);
    LineTo(dc, 30, 10);
    EXPECT_EQ(GetPixel(dc, 15, 10), RGB(255, 0, 0));
    LineTo(dc, 30, 20);
    BitBlt(dc, 30, 15, 2, 2, memory, 0, 0, SRCCOPY);  // over the line's (30, 15) and (30, 16)
    MoveToEx(dc, 40, 30, nullptr);
    LineTo(dc, 40, 40);
    ClipTo(dc, {0, 0, 20, 100});
    MoveToEx(dc, 30, 20, nullptr);
    LineTo(dc, 0, 20);
    SelectObject(dc, previous_pen);
    DeleteObject(pen);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    EXPECT_NOTHING_LIVE();

    std::vector<uint32_t> expected(static_cast<size_t>(host.width) * host.height, kHostColour);
    expected[static_cast<size_t>(302) * host.width] = kSampleColour;
    auto at = [&](int x, int y) -> uint32_t& { return expected[static_cast<size_t>(y) * host.width + x]; };
    for (int x = 10; x < 30; x++) at(x, 10) = 0xFF0000;
    for (int y = 10; y < 20; y++) at(30, y) = 0xFF0000;
    for (int y = 15; y < 17; y++)
        for (int x = 30; x < 32; x++) at(x, y) = 0xFFFFFF;
    for (int y = 30; y < 40; y++) at(40, y) = 0xFF0000;
    for (int x = 1; x < 20; x++) at(x, 20) = 0xFF0000;
    ExpectWindow(host, expected, "lines, copy and clip through one window DC");
}

// A whole bitmap copied into a window shows there as it was when copied,
// whatever is drawn afterwards into the bitmap or, over the copy, into the
// window, and the bitmap keeps its own pixels, fourth bytes included; a
// bitmap deleted after the copy leaves the copy in the window. A part of
// one is copied too.
TEST_F(BitmapView, ABitmapCopiedIntoAWindowShowsAsItWasCopied) {
    POINT corner = {kWindowX + 5, kWindowY + 5};
    HWND window = WindowFromPoint(corner);
    HDC dc = GetDC(window);
    ASSERT_NE(dc, nullptr);
    auto fill = [](HDC target, const RECT& r, COLORREF colour) {
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(target, &r, brush);
        DeleteObject(brush);
    };
    // A level line from (x0, y) to (x1, y), clipped to [x0, x1) x [top, bottom).
    auto level_line = [dc](int x0, int x1, int y, int top, int bottom) {
        ClipTo(dc, {x0, top, x1, bottom});
        MoveToEx(dc, x0, y, nullptr);
        LineTo(dc, x1, y);
        SelectClipRgn(dc, nullptr);
    };
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 255, 0));
    HGDIOBJ previous_pen = SelectObject(dc, pen);
    std::vector<uint32_t> kept;
    {
        Canvas block(4, 4, dc);
        BitBlt(block.dc, 0, 0, 4, 4, nullptr, 0, 0, WHITENESS);
        BitBlt(dc, 50, 50, 4, 4, block.dc, 0, 0, SRCCOPY);
        fill(block.dc, {0, 0, 1, 1}, RGB(255, 0, 0));
        BitBlt(dc, 60, 50, 4, 4, block.dc, 0, 0, SRCCOPY);
        level_line(60, 64, 53, 50, 54);
        kept = block.Words();
        BitBlt(dc, 80, 50, 2, 2, block.dc, 0, 0, SRCCOPY);
        {
            Canvas gone(4, 4, dc);
            fill(gone.dc, {0, 0, 4, 4}, RGB(0, 0, 255));
            BitBlt(dc, 70, 50, 4, 4, gone.dc, 0, 0, SRCCOPY);
        }
        level_line(70, 74, 50, 50, 54);
        SelectObject(dc, previous_pen);
        DeleteObject(pen);
        EXPECT_EQ(ReleaseDC(window, dc), 1);
        EXPECT_EQ(block.Words(), kept);
    }
    EXPECT_NOTHING_LIVE();
    std::vector<uint32_t> expect_block(16, 0xFFFFFFFFu);
    expect_block[0] = 0x00FF0000;
    EXPECT_EQ(kept, expect_block);

    std::vector<uint32_t> expected(static_cast<size_t>(host.width) * host.height, kHostColour);
    expected[static_cast<size_t>(302) * host.width] = kSampleColour;
    auto at = [&](int x, int y) -> uint32_t& { return expected[static_cast<size_t>(y) * host.width + x]; };
    for (int y = 50; y < 54; y++)
        for (int x = 0; x < 4; x++) {
            at(50 + x, y) = 0xFFFFFF;
            at(60 + x, y) = y == 53 ? 0x00FF00 : 0xFFFFFF;
            at(70 + x, y) = y == 50 ? 0x00FF00 : 0x0000FF;
        }
    at(60, 50) = 0xFF0000;
    at(80, 50) = 0xFF0000;
    at(81, 50) = at(80, 51) = at(81, 51) = 0xFFFFFF;
    ExpectWindow(host, expected, "copies of bitmaps drawn into after they were copied");
}

// Polylines that cross their clip many times over wait in the window DC to
// be painted together; a wider pen, a clip the DC's copy does not hold, a
// read, a copy and the release each come after them. Polylines that retrace
// one path, for which painting together does not pay, are painted one after
// another. The window ends as a memory DC given the same calls does.
TEST_F(BitmapView, CrowdedWindowLinesLandInTheirTurn) {
    auto draw = [](HDC dc, std::vector<COLORREF>* read) {
        std::mt19937 rng(77);
        auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
        auto stroke = [&](COLORREF colour, int width, const std::vector<POINT>& line) {
            HPEN pen = CreatePen(PS_SOLID, width, colour);
            HGDIOBJ previous = SelectObject(dc, pen);
            Polyline(dc, line.data(), static_cast<int>(line.size()));
            SelectObject(dc, previous);
            DeleteObject(pen);
        };
        auto polyline = [&](COLORREF colour, int width, int points, const RECT& around) {
            std::vector<POINT> line;
            for (int n = 0; n < points; n++)
                line.push_back({pick(around.left - 9, around.right + 9), pick(around.top - 9, around.bottom + 9)});
            stroke(colour, width, line);
        };
        auto retrace = [&](COLORREF colour, POINT from, POINT to) {
            std::vector<POINT> line;
            for (int n = 0; n < 2000; n++) line.push_back(n % 2 ? to : from);
            stroke(colour, 1, line);
        };
        const RECT first = {10, 10, 130, 100}, inner = {20, 20, 90, 70}, second = {60, 40, 250, 200};
        const RECT apart = {260, 10, 430, 120};
        ClipTo(dc, apart);
        retrace(RGB(255, 128, 0), {255, 5}, {435, 125});
        retrace(RGB(128, 0, 255), {435, 5}, {255, 125});
        retrace(RGB(0, 128, 128), {435, 125}, {255, 5});
        polyline(RGB(0, 0, 255), 2, 6, apart);
        ClipTo(dc, first);
        polyline(RGB(255, 0, 0), 1, 3000, first);
        polyline(RGB(0, 255, 0), 1, 3000, first);
        polyline(RGB(0, 0, 255), 2, 6, first);
        ClipTo(dc, inner);
        polyline(RGB(255, 255, 0), 1, 3000, inner);
        ClipTo(dc, second);
        polyline(RGB(0, 255, 255), 1, 4000, second);
        read->push_back(GetPixel(dc, 100, 80));
        polyline(RGB(255, 0, 255), 1, 4000, second);
        Canvas white(40, 30, dc);
        BitBlt(white.dc, 0, 0, 40, 30, nullptr, 0, 0, WHITENESS);
        BitBlt(dc, 100, 80, 40, 30, white.dc, 0, 0, SRCCOPY);
        polyline(RGB(9, 9, 9), 1, 4000, second);
    };
    POINT corner = {kWindowX + 5, kWindowY + 5};
    HWND window = WindowFromPoint(corner);
    HDC dc = GetDC(window);
    ASSERT_NE(dc, nullptr);
    std::vector<COLORREF> read_in_window, read_in_memory;
    draw(dc, &read_in_window);
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    EXPECT_NOTHING_LIVE();

    Canvas memory(host.width, host.height);
    HBRUSH brush = CreateSolidBrush(RGB(0x33, 0x66, 0x99));
    RECT all = {0, 0, host.width, host.height};
    FillRect(memory.dc, &all, brush);
    DeleteObject(brush);
    SetPixel(memory.dc, 0, 302, RGB(0x12, 0x34, 0x56));
    draw(memory.dc, &read_in_memory);
    std::vector<uint32_t> expected = memory.Words();
    for (uint32_t& word : expected) word &= 0x00FFFFFF;
    EXPECT_EQ(read_in_window, read_in_memory);
    ExpectWindow(host, expected, "crowded polylines among other calls through one window DC");
}

TEST_F(BitmapView, AWindowThatVanishesEndsNothing) {
    POINT corner = {kWindowX + 5, kWindowY + 5};
    HWND window = WindowFromPoint(corner);
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetPixel(dc, 0, 0), kHostColour >> 16 | (kHostColour & 0xFF00) | (kHostColour & 0xFF) << 16);
    {
        Canvas memory(10, 10, dc);
        // A block copied in before the window goes never reaches it, and
        // that is reported; every call on the vanished window fails
        // quietly, as on a destroyed one.
        BitBlt(dc, 0, 0, 10, 10, memory.dc, 0, 0, SRCCOPY);
        CloseHostWindow(&host);
        EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
        EXPECT_FALSE(GdiFlush());
        BitBlt(dc, 0, 0, 10, 10, memory.dc, 0, 0, SRCCOPY);
        const POINT points[] = {{0, 0}, {9, 9}};
        Polyline(dc, points, 2);
    }
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    // What never reached the window is reported once, for the view to fail.
    EXPECT_FALSE(GdiFlush());
    EXPECT_TRUE(GdiFlush());
    EXPECT_NOTHING_LIVE();
}

TEST_F(BitmapView, TheDeepestWindowUnderThePointTakesTheBox) {
    // A child of the host at (100, 80): a point inside it picks the child,
    // and the box lands at the child's own origin.
    Window child = XCreateSimpleWindow(host.display, host.window, 100, 80, 300, 240, 0, 0, 0x00FF00);
    XMapWindow(host.display, child);
    XSync(host.display, False);
    POINT inside = {kWindowX + 150, kWindowY + 100}, outside = {kWindowX + 20, kWindowY + 20};
    EXPECT_EQ(WindowFromPoint(inside), reinterpret_cast<HWND>(static_cast<uintptr_t>(child)));
    EXPECT_EQ(WindowFromPoint(outside), reinterpret_cast<HWND>(static_cast<uintptr_t>(host.window)));
    POINT far_away = {5000, 5000};
    EXPECT_EQ(WindowFromPoint(far_away), nullptr);
    ASSERT_TRUE(WriteFileBytes(dir.File("c.bmp"), PatternBmp(20, 10)));
    ASSERT_EQ(RunBlitview({"-b", dir.File("c.bmp"), std::to_string(kWindowX + 150), std::to_string(kWindowY + 100),
                           std::to_string(kWindowX + 150 + 100), std::to_string(kWindowY + 100 + 50)}),
              0);
    std::vector<uint32_t> shown = ReadHostWindow(host);
    // The child's origin is (100, 80) in the host: its box corner shows the
    // child's own sample colour (green at row 52), the host around it is untouched.
    EXPECT_EQ(shown[static_cast<size_t>(80) * host.width + 100], 0x00FF00u);
    EXPECT_EQ(shown[static_cast<size_t>(80 + 20) * host.width + 100 + 40], kFrame);
    EXPECT_EQ(shown[static_cast<size_t>(80 + 21) * host.width + 100 + 41], PatternColour(1, 1));
    EXPECT_EQ(shown[static_cast<size_t>(79) * host.width + 99], kHostColour);
    XDestroyWindow(host.display, child);
}

}  // namespace

namespace {

// A file of `length` bytes that starts with `head` and is a hole after it,
// so that gigabytes cost no disk. Ink, when wanted, every MiB.
bool WriteSparseFile(const std::string& path, const std::vector<unsigned char>& head, uint64_t length,
                     bool ink = false) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = fwrite(head.data(), 1, head.size(), file) == head.size();
    const unsigned char pattern[64] = {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81};
    for (uint64_t at = 1 << 20; ink && ok && at + sizeof pattern < length; at += 1 << 20)
        ok = fseeko(file, static_cast<off_t>(at), SEEK_SET) == 0 &&
             fwrite(pattern, 1, sizeof pattern, file) == sizeof pattern;
    ok = ok && ftruncate(fileno(file), static_cast<off_t>(length)) == 0;
    return fclose(file) == 0 && ok;
}

// A BMP header (file and info) declaring width x height at `bits`, with a
// file size of `declared` and a table of 256 entries below 16 bits.
std::vector<unsigned char> BmpHead(int32_t width, int32_t height, uint16_t bits, uint32_t declared) {
    const uint32_t table = bits <= 8 ? 1024 : 0;
    BmpBuilder bmp;
    bmp.FileHeader(54 + table).InfoHeader(width, height, bits);
    std::vector<unsigned char> bytes = bmp.bytes;
    bytes.insert(bytes.end(), table, 0);
    for (int i = 0; i < 4; i++) bytes[2 + i] = static_cast<unsigned char>(declared >> (8 * i));
    return bytes;
}

}  // namespace

// Sizes at the edges of 32 bits, the same on every word size: what the
// program does with each, and at what peak of resident memory (which
// counts the test's own pages the child starts with). A refusal takes no
// memory beyond the file's own bytes, shows no allocation dialog (which
// would hold the run until the time limit), and leaves the window as it
// was; a product that overflows 32 bits is refused, never wrapped into a
// small picture that the file seems to hold.
TEST_F(BitmapView, SizesAtTheEdgesOf32Bits) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory is not the program's";
#endif
    enum Shows { kNothing, kUntouched, kPicture };
    struct Case {
        const char* name;
        const char* mode;
        uint64_t length;                  // the file's, a hole after its head
        std::vector<unsigned char> head;  // or, for a whole file, all of it
        int status;
        uint64_t peak_mib;
        Shows shows;
        bool ink;
    };
    const uint64_t kGiB = 1ull << 30;
    // One strip of 16384 rows of 65535 bytes: 1 GiB of raster data.
    std::vector<unsigned char> strip =
        DrawingBuilder(60000, 30000).Raster(0, 0, 0, 65535, 16384, 65535, 1, 0x00E20746, {}).bytes;
    // A strip that declares 65535 rows of 65535 bytes, just under 4 GiB, and holds 1 KiB.
    std::vector<unsigned char> short_strip =
        DrawingBuilder(60000, 30000).Raster(0, 0, 0, 65535, 65535, 65535, 1, 0x00E20746, {}).bytes;
    std::vector<unsigned char> rle = MakeRunLengthBmp(32767, 32767);
    auto small = [](std::vector<unsigned char> head) {  // a BMP that holds its head and 4 KiB of pixels
        const uint32_t length = static_cast<uint32_t>(head.size()) + 4096;
        for (int i = 0; i < 4; i++) head[2 + i] = static_cast<unsigned char>(length >> (8 * i));
        return head;
    };
    const Case cases[] = {
        {"1 GiB strip", "-f", strip.size() + 16384ull * 65535, strip, 0, 64, kNothing, true},
        {"strip declaring 4 GiB", "-f", short_strip.size() + 1024, short_strip, 255, 64, kNothing, true},
        {"RLE8 32767 x 32767 in 8 MiB", "-b", rle.size(), rle, 0, 64, kPicture, false},
        {"BMP head declaring 2 GiB", "-b", 0, BmpHead(32768, 16384, 32, 0x80000000u), 255, 64, kUntouched, false},
        {"BMP head declaring 3 GiB", "-b", 0, BmpHead(32768, 24576, 32, 0xC0000000u), 255, 64, kUntouched, false},
        {"BMP file of 4 GiB and 1 KiB", "-b", 4 * kGiB + 1078, BmpHead(16, 16, 8, 1078), 255, 64, kUntouched, false},
        {"65536 x 65536 x 8 bits: 4 GiB", "-b", 0, small(BmpHead(65536, 65536, 8, 0)), 255, 64, kUntouched, false},
        {"65536 x 32768 x 32 bits: 8 GiB", "-b", 0, small(BmpHead(65536, 32768, 32, 0)), 255, 64, kUntouched, false},
        {"width x 32 bits past 32 bits", "-b", 0, small(BmpHead(0x08000001, 1, 32, 0)), 255, 64, kUntouched, false},
        {"width x 24 bits past 32 bits", "-b", 0, small(BmpHead(0x0AAAAAAB, 2, 24, 0)), 255, 64, kUntouched, false},
        {"stride 65536 x 65536 rows", "-b", 0, small(BmpHead(16384, 65536, 32, 0)), 255, 64, kUntouched, false},
        {"stride x rows, top-down", "-b", 0, small(BmpHead(16384, -65536, 32, 0)), 255, 64, kUntouched, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        PaintHostWindow(host, 0, 0, host.width, host.height, kHostColour);
        PaintHostWindow(host, 0, 302, 1, 1, kSampleColour);
        const std::string path = dir.File("case");
        ASSERT_TRUE(test.length ? WriteSparseFile(path, test.head, test.length, test.ink)
                                : WriteFileBytes(path, test.head));
        RunLimits limits;
        limits.seconds = 120;
        struct rusage usage = {};
        std::vector<std::string> arguments = {test.mode, path};
        if (test.mode[1] == 'b')
            for (int value : {kWindowX, kWindowY, kWindowX + 400, kWindowY + 300})
                arguments.push_back(std::to_string(value));
        EXPECT_EQ(RunBlitviewWithin(arguments, limits, &usage), test.status);
        const uint64_t peak_kib = static_cast<uint64_t>(usage.ru_maxrss);
        printf("%-34s peak %6.1f MiB\n", test.name, static_cast<double>(peak_kib) / 1024);
        EXPECT_LT(peak_kib, test.peak_mib << 10);
        if (test.mode[1] == 'f' && test.status == 0) {
            std::vector<unsigned char> written;
            EXPECT_TRUE(ReadFileBytes(path, &written) && written.size() == 54u + 1024u * 512u * 4u);
        }
        if (test.shows == kUntouched) {
            std::vector<uint32_t> untouched(static_cast<size_t>(host.width) * host.height, kHostColour);
            untouched[static_cast<size_t>(302) * host.width] = kSampleColour;
            ExpectWindow(host, untouched, test.name);
        }
        if (test.shows == kPicture) {
            // Every pixel of the fitted picture is one of the picture's own
            // colours; around it the frame, and the background outside.
            const BoxPlacement p = FitToBox(400, 300, 32767, 32767);
            std::vector<uint32_t> shown = ReadHostWindow(host), expected = Expected(host, 400, 300);
            PaintFrame(host, 400, 300, p.fitted_width, p.fitted_height, p.left, p.top, &expected);
            std::set<uint32_t> colours;
            for (unsigned i = 0; i < 256; i++) colours.insert(RunLengthColour(i));
            int strange = 0;
            for (int y = p.top + 1; y < p.top + p.fitted_height - 1; y++)
                for (int x = p.left + 1; x < p.left + p.fitted_width - 1; x++) {
                    const size_t i = static_cast<size_t>(y) * host.width + x;
                    strange += !colours.count(shown[i] & 0x00FFFFFF);
                    expected[i] = shown[i];
                }
            EXPECT_EQ(strange, 0);
            EXPECT_EQ(ImageDifference(shown, expected, host.width), "");
        }
        unlink(path.c_str());
    }
}
