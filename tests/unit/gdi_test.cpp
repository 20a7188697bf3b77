// The software GDI against what the reference GDI was observed to draw.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "tests/fixtures/canvas.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/line_steps.h"
#include "platform/platform.h"
#include "tests/fixtures/support.h"

namespace {

const uint32_t kBackground = 0x00123456;

void Fill(Canvas* canvas, uint32_t word) {
    HBRUSH brush = CreateSolidBrush(RGB((word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF));
    RECT all = {0, 0, canvas->width, canvas->height};
    FillRect(canvas->dc, &all, brush);
    DeleteObject(brush);
}

// A w x h canvas filled with the marker.
struct MarkedCanvas : Canvas {
    MarkedCanvas(int w, int h) : Canvas(w, h) { Fill(this, kBackground); }
};

// Every pixel: the ones in `painted` must hold `word`, all others the background.
void ExpectExactly(const Canvas& canvas, const std::set<std::pair<int, int>>& painted, uint32_t word,
                   const std::string& what) {
    std::vector<uint32_t> expected(static_cast<size_t>(canvas.width) * canvas.height, kBackground);
    for (const auto& pixel : painted)
        if (pixel.first >= 0 && pixel.second >= 0 && pixel.first < canvas.width && pixel.second < canvas.height)
            expected[static_cast<size_t>(pixel.second) * canvas.width + pixel.first] = word;
    EXPECT_EQ(ImageDifference(canvas.Words(), expected, canvas.width), "") << what;
}

void DrawLine(HDC dc, COLORREF colour, int width, const std::vector<POINT>& points) {
    HPEN pen = CreatePen(PS_SOLID, width, colour);
    HGDIOBJ previous = SelectObject(dc, pen);
    MoveToEx(dc, points[0].x, points[0].y, nullptr);
    for (size_t i = 1; i < points.size(); i++) LineTo(dc, points[i].x, points[i].y);
    SelectObject(dc, previous);
    DeleteObject(pen);
}

struct ObservedLine {
    int x0, y0, x1, y1;
    std::set<std::pair<int, int>> pixels;
    std::string text;
};

// Every observed one-pixel line: its end points and the pixels it painted.
std::vector<ObservedLine> ObservedLines() {
    std::vector<ObservedLine> lines;
    std::ifstream in(TEST_DATA_DIR "/line_vectors.txt");
    std::string text;
    while (std::getline(in, text)) {
        ObservedLine line;
        line.text = text;
        std::istringstream fields(text);
        char colon;
        fields >> line.x0 >> line.y0 >> line.x1 >> line.y1 >> colon;
        std::string pair;
        int x, y;
        while (fields >> pair)
            if (sscanf(pair.c_str(), "%d,%d", &x, &y) == 2) line.pixels.insert({x, y});
        lines.push_back(line);
    }
    return lines;
}

TEST(SoftGdi, OnePixelLinesMatchEveryObservedLine) {
    std::vector<ObservedLine> lines = ObservedLines();
    ASSERT_GT(lines.size(), 900u);
    for (const ObservedLine& line : lines) {
        MarkedCanvas canvas(400, 400);
        DrawLine(canvas.dc, RGB(200, 10, 20), 1, {{line.x0, line.y0}, {line.x1, line.y1}});
        ExpectExactly(canvas, line.pixels, 0x00C80A14, line.text);
    }
}

// The stepper against the formula it replaces: random slopes in every
// direction, lengths 1 to 65,535 and beyond, started at step 0 or at a step
// inside the line as clipping does, then followed for some moves of one to
// four steps; some lines are followed to their end.
TEST(SoftGdi, LineStepperFollowsTheRoundingFormula) {
    std::mt19937_64 rng(19);
    auto pick = [&](int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(rng); };
    int wrong = 0;
    for (int line = 0; line < 1200000 && wrong < 5; line++) {
        const int whole = line % 2000 == 0;
        const int64_t longest = line % 1000 == 1 ? kMaxSteppedLine : 65535;
        const int64_t a = line % 7 == 0 ? pick(1, 64) : pick(1, pick(1, longest));
        const int64_t delta = line % 11 == 0 ? (pick(0, 1) ? a : -a) : pick(-a, a);
        const int64_t first = pick(0, 1) ? 0 : pick(0, a - 1);
        const int64_t stride = pick(1, 4);
        const int64_t last = whole ? a - 1 : std::min(a - 1, first + stride * pick(0, 24));
        LineSteps steps = {};
        ASSERT_EQ(StartLineSteps(delta, a, first, stride, &steps), 0);
        for (int64_t i = first; i <= last; i += stride, NextLineStep(&steps)) {
            if ((whole && i % 61 != 0 && i + stride <= last) || steps.offset == LineOffsetAt(delta, a, i)) continue;
            ADD_FAILURE() << "a " << a << ", delta " << delta << ", from " << first << " by " << stride << ": step "
                          << i << " gives "
                          << steps.offset << ", expected " << LineOffsetAt(delta, a, i);
            wrong++;
            break;
        }
    }
    LineSteps steps = {};
    EXPECT_EQ(StartLineSteps(1, kMaxSteppedLine + 1, 0, 1, &steps), -1);
}

// Random lines in every octant, short and long, through a small clip and far
// past it, with their ends on the bitmap and far off it: every pixel as the
// formula paints it, the later line over the earlier. On a small bitmap, and
// in the last corner of one of 1 GiB, the largest box a view takes, where
// the pixels' byte offsets pass 32 bits; there the lines are always clipped
// to that corner, whose pixels alone are painted and compared.
TEST(SoftGdi, RandomLinesPaintWhatTheFormulaGives) {
    std::mt19937 rng(1912);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    const int width = 96, height = 64;
    struct Case {
        int side;  // of the bitmap, 0 for width x height
        int rounds;
    };
    for (const Case& c : {Case{0, 1500}, Case{16384, 150}}) {
        Canvas canvas(c.side ? c.side : width, c.side ? c.side : height);
        DeviceBitmapWords words;
        if (GetDeviceBitmapWords(canvas.bitmap, &words) != 0) GTEST_SKIP() << "no memory for the bitmap";
        // The corner compared, at (left, top) of the bitmap.
        const int left = canvas.width - width, top = canvas.height - height;
        auto pixel = [&](int x, int y) -> uint32_t& {
            return words.words[static_cast<size_t>(top + y) * words.stride_words + left + x];
        };
        for (int round = 0; round < c.rounds; round++) {
            for (int y = 0; y < height; y++)
                for (int x = 0; x < width; x++) pixel(x, y) = kBackground;
            std::vector<uint32_t> expected(static_cast<size_t>(width) * height, kBackground);
            RECT clip = {0, 0, width, height};
            SelectClipRgn(canvas.dc, nullptr);
            if (round % 2 || c.side) {
                clip = {pick(-5, 60), pick(-5, 40), 0, 0};
                clip.right = clip.left + pick(1, 50);
                clip.bottom = clip.top + pick(1, 40);
                HRGN region = CreateRectRgn(left + clip.left, top + clip.top, left + clip.right, top + clip.bottom);
                SelectClipRgn(canvas.dc, region);
                DeleteObject(region);
            }
            for (int n = 0; n < 6; n++) {
                const int reach = n % 3 == 0 ? 65535 : n % 3 == 1 ? 150 : 20;
                POINT ends[2];
                for (POINT& end : ends) end = {pick(-reach, reach) + width / 2, pick(-reach, reach) + height / 2};
                if (n == 5) ends[1].y = ends[0].y;
                const uint32_t word = 0x00010101u * static_cast<uint32_t>(round % 50 + 1) + static_cast<uint32_t>(n);
                DrawLine(canvas.dc, RGB((word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF), 1,
                         {{left + ends[0].x, top + ends[0].y}, {left + ends[1].x, top + ends[1].y}});
                const int64_t dx = ends[1].x - ends[0].x, dy = ends[1].y - ends[0].y;
                const int x_major = std::abs(dx) >= std::abs(dy);
                const int64_t a = x_major ? std::abs(dx) : std::abs(dy), delta = x_major ? dy : dx;
                const int64_t step = (x_major ? dx : dy) < 0 ? -1 : 1;
                for (int64_t i = 0; i < a; i++) {
                    const int64_t major = (x_major ? ends[0].x : ends[0].y) + step * i;
                    if (major < 0 || major >= (x_major ? width : height)) continue;
                    const int64_t minor = (x_major ? ends[0].y : ends[0].x) + LineOffsetAt(delta, a, i);
                    const int64_t x = x_major ? major : minor, y = x_major ? minor : major;
                    if (x >= std::max<int64_t>(0, clip.left) && x < std::min<int64_t>(width, clip.right) &&
                        y >= std::max<int64_t>(0, clip.top) && y < std::min<int64_t>(height, clip.bottom))
                        expected[static_cast<size_t>(y) * width + x] = word;
                }
            }
            std::vector<uint32_t> shown(static_cast<size_t>(width) * height);
            for (int y = 0; y < height; y++)
                for (int x = 0; x < width; x++) shown[static_cast<size_t>(y) * width + x] = pixel(x, y);
            ASSERT_EQ(shown, expected) << "side " << c.side << ", round " << round;
        }
    }
}

// Polylines that cross their area many times over, painted together the
// latest first through tiles that close as they fill: every pixel as
// painting them one after another gives, or, when that does not pay,
// nothing. Areas of every size up to a few
// tiles, the tiles at their edges cut short; segments through them, along
// their edges, level, upright and far off.
TEST(SoftGdi, CrowdedPolylinesPaintWhatTheyPaintInTurn) {
    std::mt19937 rng(4711);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    int painted_together = 0;
    for (int round = 0; round < 120; round++) {
        const int width = pick(1, 70), height = pick(1, 60);
        MarkedCanvas together(width, height), in_turn(width, height);
        const int batches = pick(1, 5);
        std::vector<std::vector<POINT>> points(batches);
        std::vector<CrowdedBatch> kept;
        for (int b = 0; b < batches; b++) {
            Area area = {pick(0, width - 1), pick(0, height - 1), 0, 0};
            if (round % 3 == 0) area = {0, 0, width, height};
            else area = {area.left, area.top, pick(static_cast<int>(area.left) + 1, width),
                         pick(static_cast<int>(area.top) + 1, height)};
            const int64_t shift_x = pick(-3, 3), shift_y = pick(-3, 3);
            const int reach = b % 2 ? 8 : 200;
            for (int n = pick(2, round % 2 ? 3000 : 300); n > 0; n--) {
                POINT point = {pick(-reach, width + reach), pick(-reach, height + reach)};
                if (!points[b].empty() && pick(0, 5) == 0) point.y = points[b].back().y;
                if (!points[b].empty() && pick(0, 5) == 0) point.x = points[b].back().x;
                points[b].push_back(point);
            }
            const uint32_t word = 0x00010203u * static_cast<uint32_t>(b + 1) + static_cast<uint32_t>(round);
            kept.push_back({points[b].data(), static_cast<int>(points[b].size()), shift_x, shift_y, area, word});
            PaintOnePixelSegments(LookUpBitmap(in_turn.bitmap), area, points[b].data(),
                                  static_cast<int>(points[b].size()), shift_x, shift_y, word);
        }
        // When painting them together does not pay, nothing is painted.
        const int result = PaintCrowdedBatches(LookUpBitmap(together.bitmap), kept.data(), batches);
        painted_together += result == 0;
        ASSERT_EQ(ImageDifference(together.Words(), result == 0 ? in_turn.Words() : MarkedCanvas(width, height).Words(),
                                  width),
                  "")
            << "round " << round;
    }
    EXPECT_GE(painted_together, 100);
    // One path retraced closes no tile: claiming its steps does not pay.
    MarkedCanvas canvas(64, 48);
    std::vector<POINT> path;
    for (int n = 0; n < 5000; n++) path.push_back(n % 2 ? POINT{63, 47} : POINT{0, 0});
    const CrowdedBatch batch = {path.data(), static_cast<int>(path.size()), 0, 0, {0, 0, 64, 48}, 0x00445566};
    EXPECT_EQ(PaintCrowdedBatches(LookUpBitmap(canvas.bitmap), &batch, 1), -1);
    EXPECT_EQ(canvas.Words(), MarkedCanvas(64, 48).Words());
}

TEST(SoftGdi, WidePensMatchEveryObservedGrid) {
    std::ifstream in(TEST_DATA_DIR "/wide_pen_vectors.txt");
    ASSERT_TRUE(in.good());
    std::string line;
    int checked = 0;
    std::getline(in, line);
    while (in.good()) {
        if (line.rfind("W ", 0) != 0) {
            std::getline(in, line);
            continue;
        }
        std::istringstream fields(line.substr(2));
        int width;
        fields >> width;
        std::vector<POINT> points;
        int x, y, min_x = 1 << 30, min_y = 1 << 30;
        while (fields >> x >> y) {
            points.push_back({x, y});
            min_x = std::min(min_x, x);
            min_y = std::min(min_y, y);
        }
        std::string header;
        std::getline(in, header);
        if (header.find("pixels:") != std::string::npos) {  // a summary, not a grid
            std::getline(in, line);
            continue;
        }
        std::set<std::pair<int, int>> expected;
        int first_row = -1, rows = 0;
        while (std::getline(in, line) && line.rfind("W ", 0) != 0) {
            std::istringstream row(line);
            int row_number;
            std::string cells;
            if (!(row >> row_number >> cells)) break;
            if (first_row < 0) first_row = row_number;
            for (size_t i = 0; i < cells.size(); i++)
                if (cells[i] == '#') expected.insert({min_x - 2 + static_cast<int>(i), row_number});
            rows++;
        }
        ASSERT_EQ(first_row, min_y - 2) << "grid layout of " << header;
        MarkedCanvas canvas(64, 64);
        DrawLine(canvas.dc, RGB(0, 0, 175), width, points);
        ExpectExactly(canvas, expected, 0x000000AF, "wide pen grid");
        checked++;
    }
    EXPECT_GT(checked, 50);
}

TEST(SoftGdi, FillRectNormalisesReversedEdgesWithAShift) {
    struct Case {
        RECT rect;
        int left, top, right, bottom;  // painted columns and rows, right and bottom exclusive
    } cases[] = {
        {{6, 1, 2, 4}, 3, 1, 7, 4},  {{2, 4, 6, 1}, 2, 2, 6, 5},   {{6, 4, 2, 1}, 3, 2, 7, 5},
        {{-3, -2, 2, 3}, 0, 0, 2, 3}, {{4, 4, 4, 7}, 0, 0, 0, 0},  {{1, 2, 11, 3}, 1, 2, 11, 3},
    };
    for (const Case& c : cases) {
        MarkedCanvas canvas(12, 8);
        HBRUSH brush = CreateSolidBrush(RGB(0x20, 0x40, 0x60));
        EXPECT_TRUE(FillRect(canvas.dc, &c.rect, brush));
        DeleteObject(brush);
        std::set<std::pair<int, int>> expected;
        for (int y = c.top; y < c.bottom; y++)
            for (int x = c.left; x < c.right; x++) expected.insert({x, y});
        ExpectExactly(canvas, expected, 0x00204060, "FillRect");
    }
}

TEST(SoftGdi, FourthByteOfEachOperation) {
    MarkedCanvas canvas(8, 1);
    BitBlt(canvas.dc, 0, 0, 1, 1, nullptr, 0, 0, WHITENESS);
    SetPixel(canvas.dc, 1, 0, RGB(0x11, 0x22, 0x33));
    DrawLine(canvas.dc, RGB(0x44, 0x55, 0x66), 1, {{2, 0}, {3, 0}});
    HBRUSH brush = CreateSolidBrush(RGB(0x77, 0x88, 0x99));
    RECT r = {3, 0, 4, 1};
    FillRect(canvas.dc, &r, brush);
    DeleteObject(brush);
    BitBlt(canvas.dc, 4, 0, 1, 1, nullptr, 0, 0, BLACKNESS);
    BitBlt(canvas.dc, 5, 0, 1, 1, canvas.dc, 0, 0, SRCCOPY);
    std::vector<uint32_t> words = canvas.Words();
    const uint32_t expected[8] = {0xFFFFFFFF, 0x00112233, 0x00445566, 0x00778899,
                                  0x00000000, 0xFFFFFFFF, kBackground, kBackground};
    for (int i = 0; i < 8; i++) EXPECT_EQ(words[i], expected[i]) << "pixel " << i;
    EXPECT_EQ(GetPixel(canvas.dc, 0, 0), 0x00FFFFFFu);  // the fourth byte is never shown
}

TEST(SoftGdi, FlaggedColours) {
    const struct {
        COLORREF colour;
        uint32_t word;
    } cases[] = {{0xFFFFFFFF, 0}, {0xFF000000, 0}, {0x80123456, 0x00563412}, {0x02123456, 0x00563412},
                 {0x01000003, 0x00808000}, {0x10000003, 0x00030000}, {0x04123456, 0x00563412}};
    for (const auto& c : cases) {
        MarkedCanvas canvas(3, 1);
        HBRUSH brush = CreateSolidBrush(c.colour);
        RECT r = {0, 0, 1, 1};
        FillRect(canvas.dc, &r, brush);
        DeleteObject(brush);
        DrawLine(canvas.dc, c.colour, 1, {{1, 0}, {2, 0}});
        SetPixel(canvas.dc, 2, 0, c.colour);
        std::vector<uint32_t> words = canvas.Words();
        for (int i = 0; i < 3; i++) EXPECT_EQ(words[i], c.word) << std::hex << c.colour << " pixel " << i;
    }
}

TEST(SoftGdi, PixelsOutsideTheBitmap) {
    MarkedCanvas canvas(4, 4);
    const int points[][2] = {{4, 0}, {0, 4}, {-1, 0}, {0, -1}, {100000, 5}, {-100000, -100000}};
    for (const auto& p : points) {
        EXPECT_EQ(SetPixel(canvas.dc, p[0], p[1], RGB(0x12, 0x34, 0x56)), RGB(0x12, 0x34, 0x56));
        EXPECT_EQ(GetPixel(canvas.dc, p[0], p[1]), CLR_INVALID);
    }
    ExpectExactly(canvas, {}, 0, "nothing painted");
    EXPECT_EQ(GetPixel(canvas.dc, 3, 3), RGB(0x12, 0x34, 0x56));
}

TEST(SoftGdi, FreshMemoryDcHoldsOneMonochromePixel) {
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(GetPixel(dc, 0, 0), 0u);
    EXPECT_EQ(GetPixel(dc, 1, 0), CLR_INVALID);
    EXPECT_EQ(SetPixel(dc, 0, 0, RGB(200, 10, 10)), 0u);
    EXPECT_EQ(SetPixel(dc, 0, 0, RGB(255, 255, 255)), 0x00FFFFFFu);
    EXPECT_EQ(GetPixel(dc, 0, 0), 0x00FFFFFFu);
    // A view whose box bitmap could not be made draws its box on it: a fill
    // takes the nearer of black and white, and copied from, it gives its one
    // pixel to the destination's (0, 0) alone, or, stretched, to all of it.
    HBRUSH brush = CreateSolidBrush(RGB(0x20, 0x40, 0x60));
    RECT box = {0, 0, 8, 8};
    FillRect(dc, &box, brush);
    DeleteObject(brush);
    EXPECT_EQ(GetPixel(dc, 0, 0), 0u);
    BitBlt(dc, 0, 0, 8, 8, nullptr, 0, 0, WHITENESS);
    EXPECT_EQ(GetPixel(dc, 0, 0), 0x00FFFFFFu);
    // One-pixel lines are refused there, not reported as drawn.
    const POINT line[2] = {{0, 0}, {5, 0}};
    EXPECT_FALSE(Polyline(dc, line, 2));
    EXPECT_FALSE(LineTo(dc, 5, 0));
    EXPECT_EQ(GetPixel(dc, 0, 0), 0x00FFFFFFu);
    {
        MarkedCanvas copied(6, 4), stretched(6, 4);
        BitBlt(copied.dc, 0, 0, 6, 4, dc, 0, 0, SRCCOPY);
        ExpectExactly(copied, {{0, 0}}, 0x00FFFFFF, "copied from the monochrome pixel");
        StretchBlt(stretched.dc, 0, 0, 6, 4, dc, 0, 0, 1, 1, SRCCOPY);
        std::set<std::pair<int, int>> all;
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 6; x++) all.insert({x, y});
        ExpectExactly(stretched, all, 0x00FFFFFF, "stretched from the monochrome pixel");
    }
    // A zero-sided compatible bitmap is that same shared monochrome bitmap.
    HDC screen = GetDC(nullptr);
    HBITMAP empty = CreateCompatibleBitmap(screen, 0, 10);
    ReleaseDC(nullptr, screen);
    BITMAP bm;
    ASSERT_EQ(GetObject(empty, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 1);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(bm.bmWidthBytes, 2);
    EXPECT_EQ(SelectObject(dc, empty), static_cast<HGDIOBJ>(empty));
    DeleteDC(dc);
    EXPECT_NOTHING_LIVE();
}

TEST(SoftGdi, GetBitmapBitsCopiesTopRowFirst) {
    MarkedCanvas canvas(3, 2);
    Fill(&canvas, 0x00FFFFFF);
    SetPixel(canvas.dc, 0, 0, RGB(255, 0, 0));
    SetPixel(canvas.dc, 1, 0, RGB(0, 255, 0));
    SetPixel(canvas.dc, 2, 0, RGB(0, 0, 255));
    SetPixel(canvas.dc, 0, 1, RGB(12, 34, 56));
    unsigned char bytes[32];
    memset(bytes, 0xCC, sizeof bytes);
    EXPECT_EQ(GetBitmapBits(canvas.bitmap, 64, bytes), 24);
    const unsigned char expected[32] = {0, 0, 0xff, 0, 0, 0xff, 0, 0, 0xff, 0, 0, 0, 56, 34, 12, 0,
                                        0xff, 0xff, 0xff, 0, 0xff, 0xff, 0xff, 0, 0xcc, 0xcc, 0xcc,
                                        0xcc, 0xcc, 0xcc, 0xcc, 0xcc};
    EXPECT_EQ(memcmp(bytes, expected, sizeof bytes), 0);
    memset(bytes, 0xCC, sizeof bytes);
    EXPECT_EQ(GetBitmapBits(canvas.bitmap, 10, bytes), 10);
    EXPECT_EQ(bytes[8], 0xff);
    EXPECT_EQ(bytes[9], 0x00);
    EXPECT_EQ(bytes[10], 0xcc);
    EXPECT_EQ(GetBitmapBits(canvas.bitmap, 100, nullptr), 24);
}

TEST(SoftGdi, DibSectionsReportWhatTheReferenceReports) {
    const struct {
        int bpp, width_bytes, colours, compression;
        DWORD masks[3];
    } cases[] = {
        {1, 4, 2, BI_RGB, {0, 0, 0}},         {4, 8, 16, BI_RGB, {0, 0, 0}},
        {8, 16, 256, BI_RGB, {0, 0, 0}},      {16, 32, 0, BI_BITFIELDS, {0x7C00, 0x03E0, 0x001F}},
        {24, 48, 0, BI_RGB, {0, 0, 0}},       {32, 64, 0, BI_RGB, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> request(sizeof(BITMAPINFOHEADER) + 1024, 0);
        BITMAPINFOHEADER* header = reinterpret_cast<BITMAPINFOHEADER*>(request.data());
        header->biSize = 40;
        header->biWidth = 16;
        header->biHeight = 8;
        header->biPlanes = 1;
        header->biBitCount = static_cast<WORD>(c.bpp);
        for (int i = 0; i < 4 * (c.bpp <= 8 ? 1 << c.bpp : 0); i++) request[40 + i] = static_cast<unsigned char>(i);
        void* bits = nullptr;
        HBITMAP dib = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(request.data()),
                                       DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(dib, nullptr) << c.bpp;
        ASSERT_NE(bits, nullptr);
        DIBSECTION ds;
        ASSERT_EQ(GetObject(dib, sizeof ds, &ds), sizeof(void*) == 8 ? 104 : 84);
        EXPECT_EQ(ds.dsBm.bmWidthBytes, c.width_bytes);
        EXPECT_EQ(ds.dsBm.bmBits, bits);
        EXPECT_EQ(ds.dsBmih.biSizeImage, static_cast<DWORD>(c.width_bytes * 8));
        EXPECT_EQ(ds.dsBmih.biClrUsed, static_cast<DWORD>(c.colours));
        EXPECT_EQ(ds.dsBmih.biCompression, static_cast<DWORD>(c.compression));
        EXPECT_EQ(ds.dsBmih.biHeight, 8);
        for (int i = 0; i < 3; i++) EXPECT_EQ(ds.dsBitfields[i], c.masks[i]) << c.bpp;
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ previous = SelectObject(dc, dib);
        RGBQUAD table[256];
        EXPECT_EQ(GetDIBColorTable(dc, 0, 256, table), static_cast<UINT>(c.colours));
        if (c.colours) {
            EXPECT_EQ(memcmp(table, request.data() + 40, 4u * c.colours), 0);
        }
        if (c.bpp == 8) {
            EXPECT_EQ(GetDIBColorTable(dc, 1, 300, table), 255u);
        }
        SelectObject(dc, previous);
        DeleteDC(dc);
        EXPECT_TRUE(DeleteObject(dib));
    }
    EXPECT_NOTHING_LIVE();
}

TEST(SoftGdi, DibSectionRefusals) {
    const struct {
        LONG width, height;
        WORD bpp;
        DWORD compression;
    } cases[] = {{0, 8, 32, BI_RGB}, {16, 0, 32, BI_RGB}, {-16, 8, 32, BI_RGB},
                 {16, 8, 2, BI_RGB}, {16, 8, 24, BI_BITFIELDS}, {16, 8, 8, BI_RLE8}};
    for (const auto& c : cases) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = 40;
        info.bmiHeader.biWidth = c.width;
        info.bmiHeader.biHeight = c.height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = c.bpp;
        info.bmiHeader.biCompression = c.compression;
        void* bits = &info;
        EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
        EXPECT_EQ(bits, nullptr);
    }
    EXPECT_NOTHING_LIVE();
}

TEST(SoftGdi, SelectedObjectsAreNotDeletedAndStaleHandlesAreRefused) {
    HDC dc = CreateCompatibleDC(nullptr);
    // The live counts hold while objects live, however many are made and
    // deleted, and whatever memory the deleted ones leave for the next.
    for (int round = 0; round < 2; round++) {
        std::vector<HGDIOBJ> objects;
        for (int n = 0; n < 40; n++)
            objects.push_back(n % 3 == 0   ? static_cast<HGDIOBJ>(CreatePen(PS_SOLID, 1, RGB(n, 0, 0)))
                              : n % 3 == 1 ? static_cast<HGDIOBJ>(CreateSolidBrush(RGB(0, n, 0)))
                                           : static_cast<HGDIOBJ>(CreateRectRgn(0, 0, n, n)));
        EXPECT_EQ(GetPlatformCounts().gdi_objects, 40);
        EXPECT_EQ(GetPlatformCounts().device_contexts, 1);
        for (HGDIOBJ object : objects) EXPECT_TRUE(DeleteObject(object));
        EXPECT_EQ(GetPlatformCounts().gdi_objects, 0);
    }
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    HGDIOBJ previous = SelectObject(dc, pen);
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_EQ(SelectObject(dc, previous), static_cast<HGDIOBJ>(pen));
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_EQ(SelectObject(dc, pen), nullptr);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_NOTHING_LIVE();
}

}  // namespace

namespace {

// Each source pixel holds its own index, so a destination pixel names the
// source pixel it shows.
std::vector<int> Stretched(int n, int m, bool vertical, bool mirrored) {
    MarkedCanvas source(vertical ? 1 : n, vertical ? n : 1);
    for (int i = 0; i < n; i++) SetPixel(source.dc, vertical ? 0 : i, vertical ? i : 0, static_cast<COLORREF>(i + 1));
    MarkedCanvas target(vertical ? 1 : m + 4, vertical ? m + 4 : 1);
    SetStretchBltMode(target.dc, COLORONCOLOR);
    int origin = mirrored ? 2 + m - 1 : 0;
    if (vertical)
        StretchBlt(target.dc, 0, origin, 1, mirrored ? -m : m, source.dc, 0, 0, 1, n, SRCCOPY);
    else
        StretchBlt(target.dc, origin, 0, mirrored ? -m : m, 1, source.dc, 0, 0, n, 1, SRCCOPY);
    std::vector<uint32_t> words = target.Words();
    std::vector<int> shown;
    int first = mirrored ? 2 : 0;
    for (int d = 0; d < m; d++) {
        uint32_t word = words[static_cast<size_t>(first + d)];
        uint32_t index = Word(word);  // the swap is its own inverse
        shown.push_back(static_cast<int>(index) - 1);
    }
    // Nothing outside the destination changes.
    for (size_t i = 0; i < words.size(); i++)
        if (i < static_cast<size_t>(first) || i >= static_cast<size_t>(first + m)) {
            EXPECT_EQ(words[i], kBackground);
        }
    return shown;
}

TEST(SoftGdi, StretchPicksTheObservedSourcePixels) {
    std::ifstream in(TEST_DATA_DIR "/stretch_vectors.txt");
    ASSERT_TRUE(in.good());
    std::string line;
    int n = 0, m = 0, checked = 0;
    while (std::getline(in, line)) {
        if (sscanf(line.c_str(), "N=%d M=%d", &n, &m) == 2) continue;
        char kind[3] = {};
        if (sscanf(line.c_str(), " %2[HVM]", kind) != 1) continue;
        std::istringstream values(line.substr(line.find(':') + 1));
        std::vector<int> expected;
        int value;
        while (values >> value) expected.push_back(value);
        if (expected.size() != static_cast<size_t>(m)) continue;  // a shortened list
        bool vertical = kind[0] == 'V';
        bool mirrored = kind[1] == 'M';
        ASSERT_EQ(Stretched(n, m, vertical, mirrored), expected) << "N=" << n << " M=" << m << " " << kind;
        checked++;
    }
    EXPECT_GT(checked, 1000);
    EXPECT_NOTHING_LIVE();
}

}  // namespace

namespace {

TEST(SoftGdi, ClipRegionKeepsOnlyPixelsInsideAndOutlivesTheRegion) {
    std::vector<ObservedLine> lines = ObservedLines();
    ASSERT_GT(lines.size(), 900u);
    for (const ObservedLine& line : lines) {
        // Right and bottom edges of the region are excluded.
        std::set<std::pair<int, int>> expected;
        for (const auto& p : line.pixels)
            if (p.first >= 195 && p.first < 205 && p.second >= 193 && p.second < 207) expected.insert(p);
        MarkedCanvas canvas(400, 400);
        HRGN region = CreateRectRgn(195, 193, 205, 207);
        EXPECT_EQ(SelectClipRgn(canvas.dc, region), SIMPLEREGION);
        EXPECT_TRUE(DeleteObject(region));
        DrawLine(canvas.dc, RGB(1, 2, 3), 1, {{line.x0, line.y0}, {line.x1, line.y1}});
        ExpectExactly(canvas, expected, 0x00010203, line.text);
    }
    EXPECT_NOTHING_LIVE();
}

TEST(SoftGdi, PolylineIsItsSegmentsAndKeepsThePosition) {
    const POINT points[] = {{2, 2}, {9, 2}, {9, 6}, {4, 3}};
    MarkedCanvas by_polyline(12, 8), by_segments(12, 8);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(9, 9, 9));
    HGDIOBJ previous = SelectObject(by_polyline.dc, pen);
    MoveToEx(by_polyline.dc, 7, 7, nullptr);
    EXPECT_TRUE(Polyline(by_polyline.dc, points, 4));
    EXPECT_FALSE(Polyline(by_polyline.dc, points, 1));
    EXPECT_FALSE(Polyline(by_polyline.dc, points, 0));
    POINT position;
    MoveToEx(by_polyline.dc, 0, 0, &position);
    EXPECT_EQ(position.x, 7);
    EXPECT_EQ(position.y, 7);
    SelectObject(by_polyline.dc, previous);
    DeleteObject(pen);
    DrawLine(by_segments.dc, RGB(9, 9, 9), 1, {points[0], points[1], points[2], points[3]});
    EXPECT_EQ(by_polyline.Words(), by_segments.Words());
    EXPECT_EQ(by_polyline.Words()[static_cast<size_t>(3) * 12 + 4], kBackground);  // the last point is not drawn
}

}  // namespace

// The quotients lines and stretches are picked by, where x y needs more
// than 64 bits: the two-word way of 32-bit targets against the hand-worked
// values and, where the compiler has 128-bit integers, against them.
TEST(SoftGdi, WideQuotientsAreExactOnEveryWordSize) {
    struct Case {
        int64_t x, y, c, d, quotient, remainder;
    };
    const int64_t big = int64_t{1} << 61;
    const Case cases[] = {
        {7, 3, 1, 4, 5, 2},
        {-7, 3, 1, 4, -5, 0},
        {-7, 3, 0, 4, -6, 3},
        {big, 8, -1, big, 7, big - 1},        // 2^64 - 1 over 2^61
        {-big, 8, 1, big, -8, 1},             // -(2^64) + 1 over 2^61
        {big, big, 0, 2 * big, big / 2, 0},   // 2^122 over 2^62
        {big, big, 5, 3, kWideQuotientLimit, 0},  // beyond 64 bits: held at the limit
        {-big, big, 5, 3, -kWideQuotientLimit, 0},
        {INT64_MAX / 4, 2, INT64_MAX / 4 - 1, INT64_MAX / 2 - 1, 1, INT64_MAX / 4 - 1},
    };
    for (const Case& test : cases) {
        int64_t remainder = -1;
        EXPECT_EQ(FloorOfProductBy64(test.x, test.y, test.c, test.d, &remainder), test.quotient)
            << test.x << " " << test.y << " " << test.c << " " << test.d;
        if (test.quotient != kWideQuotientLimit && test.quotient != -kWideQuotientLimit) {
            EXPECT_EQ(remainder, test.remainder) << test.x << " " << test.y << " " << test.c << " " << test.d;
        }
    }
#if defined(__SIZEOF_INT128__)
    std::mt19937_64 rng(25);
    for (int n = 0; n < 200000; n++) {
        const int bits = static_cast<int>(rng() % 63);
        auto value = [&](int width) { return static_cast<int64_t>(rng() >> (64 - width - 1)) * (rng() % 2 ? 1 : -1); };
        const int64_t x = value(bits), y = value(62 - bits / 2), c = value(62);
        const int64_t d = std::max<int64_t>(1, static_cast<int64_t>(rng() >> (rng() % 63 + 1)));
        int64_t narrow_rest, wide_rest;
        ASSERT_EQ(FloorOfProductBy64(x, y, c, d, &narrow_rest), FloorOfProduct(x, y, c, d, &wide_rest))
            << x << " " << y << " " << c << " " << d;
        ASSERT_EQ(narrow_rest, wide_rest) << x << " " << y << " " << c << " " << d;
    }
#endif
}
