// Raster strips: the record's pixel walk, checked on whole canvases and
// against a plain per-bit painter kept here as the reference.
#include <gtest/gtest.h>

#include <random>

#include "tests/fixtures/canvas.h"
#include "drawing/drawing.h"
#include "drawing/drawing_format.h"
#include "drawing/raster_paint.h"
#include "tests/fixtures/support.h"
#include "tests/fixtures/temp_convert.h"

namespace {

const uint32_t kWhite = 0x00FFFFFF;

// A canvas's pixels as the written file holds them, the fourth byte 0.
std::vector<uint32_t> AsWritten(std::vector<uint32_t> words) {
    for (uint32_t& word : words) word &= 0x00FFFFFF;
    return words;
}

struct Strip {
    uint16_t y_base, left, top, width, rows, bytes_per_row, colour;
    uint32_t polarity;
    std::vector<unsigned char> data;
};

// The record's walk, bit by bit, exactly as the format describes it.
void ReferencePaint(HDC dc, float scale, const Strip& s) {
    const int ink = s.polarity == INK_ON_ONES ? 1 : 0;
    const bool thinning = scale < 0.25f;
    const int32_t right_limit = static_cast<int32_t>(s.left) + s.width;
    const int32_t first_row = static_cast<int32_t>(s.y_base) + s.top;
    for (int32_t i = 0; i < s.rows; i++) {
        int32_t row = static_cast<int32_t>(static_cast<double>(first_row + i) * static_cast<double>(scale));
        for (int32_t j = 0; j < s.bytes_per_row; j++) {
            int32_t previous = 0;
            unsigned char byte = s.data[static_cast<size_t>(i) * s.bytes_per_row + j];
            for (int k = 0; k < 8; k++) {
                if (thinning && (k == 2 || k == 4 || k == 6)) continue;
                if (((byte >> (7 - k)) & 1) != ink) continue;
                int32_t x = s.left + 8 * j + k;
                if (x >= right_limit) goto next_row;
                int32_t column = static_cast<int32_t>(static_cast<double>(x) * static_cast<double>(scale));
                if (column != previous) SetPixel(dc, column, row, DrawingPalette[s.colour]);
                previous = column;
            }
        }
    next_row:;
    }
}

// The pixels a drawing of these strips should give, painted by the reference.
std::vector<uint32_t> ReferenceCanvas(uint16_t width, uint16_t height, const std::vector<Strip>& strips,
                                      int* canvas_width, int* canvas_height) {
    uint16_t cw, ch;
    CanvasSizeFor(width, height, &cw, &ch);
    float scale = static_cast<float>(static_cast<double>(cw) / width);
    Canvas canvas(cw, ch);
    BitBlt(canvas.dc, 0, 0, cw, ch, nullptr, 0, 0, WHITENESS);
    EnableDirectSurfaces(0);
    for (const Strip& s : strips) ReferencePaint(canvas.dc, scale, s);
    EnableDirectSurfaces(1);
    *canvas_width = cw;
    *canvas_height = ch;
    return AsWritten(canvas.Words());
}

DrawingBuilder Drawing(uint16_t width, uint16_t height, const std::vector<Strip>& strips) {
    DrawingBuilder drawing(width, height);
    for (const Strip& s : strips)
        drawing.Raster(s.y_base, s.left, s.top, s.width, s.rows, s.bytes_per_row, s.colour, s.polarity, s.data);
    return drawing;
}

void ExpectPainted(const WrittenBmp& bmp, const std::vector<std::pair<int, int>>& painted, uint32_t word) {
    std::vector<uint32_t> expected(bmp.pixels.size(), kWhite);
    for (const auto& pixel : painted)
        if (pixel.first >= 0 && pixel.second >= 0 && pixel.first < bmp.width && pixel.second < bmp.height)
            expected[static_cast<size_t>(pixel.second) * bmp.width + pixel.first] = word;
    EXPECT_EQ(ImageDifference(bmp.pixels, expected, bmp.width), "");
}

TEST(Raster, WorkedExampleAtThreeScales) {
    const struct {
        uint16_t width, height;
        std::vector<std::pair<int, int>> painted;
    } cases[] = {
        {1024, 768, {{3, 10}, {4, 10}, {10, 10}, {11, 10}, {12, 10}}},
        {2048, 1536, {{1, 5}, {2, 5}, {5, 5}, {6, 5}}},
        {8192, 6144, {{1, 1}}},  // thinning: x 13 is dropped, x 14 ends the row
    };
    for (const auto& c : cases) {
        WrittenBmp bmp;
        Strip s = {0, 3, 10, 10, 1, 2, 1, INK_ON_ONES, {0xC1, 0xFF}};
        ASSERT_EQ(ConvertInTempDir(Drawing(c.width, c.height, {s}), &bmp), 0);
        ExpectPainted(bmp, c.painted, 0x00FF0000);
    }
}

TEST(Raster, ColumnZeroNeverTakesInkAndPolarityIsTheWholeWord) {
    const struct {
        uint32_t polarity;
        std::vector<unsigned char> data;
        std::vector<std::pair<int, int>> painted;
    } cases[] = {
        {0, {0x00, 0xFF}, {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}}},
        {0x01E20746, {0x00, 0xFF}, {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}}},
        {INK_ON_ONES, {0x00, 0xFF}, {{8, 0}, {9, 0}, {10, 0}, {11, 0}, {12, 0}, {13, 0}, {14, 0}, {15, 0}}},
        {INK_ON_ONES, {0x80, 0x01}, {{15, 0}}},
    };
    for (const auto& c : cases) {
        WrittenBmp bmp;
        Strip s = {0, 0, 0, 16, 1, 2, 7, c.polarity, c.data};
        ASSERT_EQ(ConvertInTempDir(Drawing(1024, 768, {s}), &bmp), 0);
        ExpectPainted(bmp, c.painted, 0x00FF6600);
    }
}

TEST(Raster, RecordLengthsAndFailures) {
    const struct {
        const char* what;
        Strip strip;
        size_t cut;  // bytes removed from the end of the file
        int result;
    } cases[] = {
        {"no rows: 18 bytes whatever the row length", {0, 0, 0, 8, 0, 5000, 1, 0, {}}, 0, 0},
        {"rows of no bytes", {0, 0, 0, 8, 1, 0, 1, 0, {}}, 0, -1},
        {"colour 8", {0, 0, 0, 8, 1, 1, 8, 0, {0x00}}, 0, -1},
        {"width 0 consumes its data", {0, 0, 0, 0, 2, 1, 1, 0, {0x00, 0x00}}, 0, 0},
        {"data cut short", {0, 0, 0, 8, 4, 2, 1, 0, {1, 2, 3, 4, 5, 6, 7, 8}}, 1, -1},
        {"polarity cut short", {0, 0, 0, 8, 0, 0, 1, 0, {}}, 2, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DrawingBuilder drawing = Drawing(1024, 768, {c.strip});
        if (c.result == 0) drawing.Rect(0, 0, 0, 1, 1, 2);  // the next record follows at once
        drawing.bytes.resize(drawing.bytes.size() - c.cut);
        WrittenBmp bmp;
        ASSERT_EQ(ConvertInTempDir(drawing, &bmp), c.result);
        if (c.result == 0) ExpectPainted(bmp, {{0, 0}}, 0x0000FF00);
    }
}

TEST(Raster, ThinningStartsBelowAQuarter) {
    // 4096 wide: scale exactly 0.25, no thinning; 4097: thinning. Ink only at
    // k = 2 of each byte is dropped by thinning.
    for (uint16_t width : {4096, 4097}) {
        Strip s = {0, 80, 40, 64, 1, 1, 4, INK_ON_ONES, {0x20}};
        int cw, ch;
        std::vector<uint32_t> expected = ReferenceCanvas(width, 3000, {s}, &cw, &ch);
        WrittenBmp bmp;
        ASSERT_EQ(ConvertInTempDir(Drawing(width, 3000, {s}), &bmp), 0);
        ASSERT_EQ(bmp.pixels, expected);
        bool painted = bmp.At(20, 10) == 0x000000FF;
        EXPECT_EQ(painted, width == 4096) << width;
    }
}

TEST(Raster, TruncationOfTheSinglePrecisionScale) {
    // 1028 wide: the scale is the float nearest 1024/1028, and x 257 lands on
    // column 255, not 256.
    Strip s = {0, 256, 0, 8, 1, 1, 1, INK_ON_ONES, {0x40}};
    WrittenBmp bmp;
    ASSERT_EQ(ConvertInTempDir(Drawing(1028, 1028, {s}), &bmp), 0);
    ExpectPainted(bmp, {{255, 0}}, 0x00FF0000);
}

// Random strips, random scales and densities: the fast painter and the
// reference must agree on every pixel.
TEST(Raster, RandomStripsMatchTheReferencePainter) {
    std::mt19937 rng(20261208);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    const uint16_t widths[] = {1024, 1028, 2048, 3000, 4096, 4097, 8192, 300, 65535, 517, 16384, 20000, 40000, 32768};
    for (int round = 0; round < 70; round++) {
        uint16_t width = widths[round % 14];
        // Tall drawings too, whose canvas width is no multiple of 64.
        uint16_t height = static_cast<uint16_t>(pick(width / 4 + 1, width < 32768 ? 2 * width : 65535));
        std::vector<Strip> strips;
        int count = pick(1, 4);
        for (int n = 0; n < count; n++) {
            Strip s;
            s.y_base = static_cast<uint16_t>(pick(0, 3) == 0 ? pick(0, height) : 0);
            s.left = static_cast<uint16_t>(pick(0, width));
            s.top = static_cast<uint16_t>(pick(0, height));
            s.width = static_cast<uint16_t>(pick(0, 3) == 0 ? pick(0, 65535) : pick(0, 600));
            s.rows = static_cast<uint16_t>(pick(1, 200));
            s.bytes_per_row = static_cast<uint16_t>(pick(1, 90));
            s.colour = static_cast<uint16_t>(pick(0, 7));
            s.polarity = pick(0, 1) ? INK_ON_ONES : static_cast<uint32_t>(pick(0, 3));
            int density = pick(0, 3);  // blank, sparse, dense, full
            for (int b = 0; b < s.rows * s.bytes_per_row; b++) {
                int ones = density == 0 ? 0 : density == 1 ? (pick(0, 50) == 0) : density == 2 ? pick(0, 255) : 255;
                unsigned char byte = density == 1 ? static_cast<unsigned char>(ones ? 1 << pick(0, 7) : 0)
                                                  : static_cast<unsigned char>(ones);
                s.data.push_back(s.polarity == INK_ON_ONES ? byte : static_cast<unsigned char>(~byte));
            }
            strips.push_back(s);
        }
        int cw, ch;
        std::vector<uint32_t> expected = ReferenceCanvas(width, height, strips, &cw, &ch);
        for (int direct = 1; direct >= 0; direct--) {
            EnableDirectSurfaces(direct);
            WrittenBmp bmp;
            int result = ConvertInTempDir(Drawing(width, height, strips), &bmp);
            EnableDirectSurfaces(1);
            ASSERT_EQ(result, 0);
            ASSERT_EQ(bmp.width, cw);
            ASSERT_EQ(bmp.height, ch);
            ASSERT_TRUE(bmp.pixels == expected) << "round " << round << ", direct " << direct;
        }
    }
}

// Strips of one colour around a record of another kind, at a scale of 1 and
// below: the record paints over the strip before it and under the one after,
// as in file order, though the strips' ink may be written together.
TEST(Raster, RecordsBetweenStripsOfOneColourKeepTheirOrder) {
    for (uint16_t width : {1024, 2048, 3000}) {
        uint16_t cw, ch;
        CanvasSizeFor(width, static_cast<uint16_t>(width / 4 * 3), &cw, &ch);
        const float scale = static_cast<float>(static_cast<double>(cw) / width);
        Strip before = {0, 0, 0, 400, 40, 50, 1, INK_ON_ONES, std::vector<unsigned char>(40 * 50, 0xFF)};
        Strip after = {0, 100, 20, 400, 40, 50, 1, INK_ON_ONES, std::vector<unsigned char>(40 * 50, 0x5A)};
        DrawingBuilder drawing = Drawing(width, static_cast<uint16_t>(width / 4 * 3), {before});
        drawing.Rect(0, 50, 10, 300, 50, 2);
        drawing.Raster(after.y_base, after.left, after.top, after.width, after.rows, after.bytes_per_row,
                       after.colour, after.polarity, after.data);
        WrittenBmp bmp, rect_alone;
        ASSERT_EQ(ConvertInTempDir(drawing, &bmp), 0);
        ASSERT_EQ(ConvertInTempDir(DrawingBuilder(width, static_cast<uint16_t>(width / 4 * 3)).Rect(0, 50, 10, 300, 50, 2),
                                   &rect_alone),
                  0);
        Canvas expected(cw, ch);
        BitBlt(expected.dc, 0, 0, cw, ch, nullptr, 0, 0, WHITENESS);
        EnableDirectSurfaces(0);
        ReferencePaint(expected.dc, scale, before);
        for (int y = 0; y < ch; y++)
            for (int x = 0; x < cw; x++)
                if (rect_alone.pixels[static_cast<size_t>(y) * cw + x] != kWhite)
                    SetPixel(expected.dc, x, y, DrawingPalette[2]);
        ReferencePaint(expected.dc, scale, after);
        EnableDirectSurfaces(1);
        ASSERT_EQ(bmp.width, cw);
        ASSERT_EQ(bmp.height, ch);
        EXPECT_EQ(ImageDifference(bmp.pixels, AsWritten(expected.Words()), cw), "") << "width " << width;
    }
}

// The strip's data rows at a density of 0 (no ink), 1 (sparse: about one
// byte in six holds one ink pixel), 2 (random bytes) or 3 (all ink), in the
// strip's polarity.
template <typename Pick>
void FillStripData(Strip* s, int density, Pick& pick) {
    for (int b = 0; b < s->rows * s->bytes_per_row; b++) {
        unsigned char byte = density == 0 ? 0 : density == 3 ? 0xFF
                           : density == 2 ? static_cast<unsigned char>(pick(0, 255))
                                          : static_cast<unsigned char>(pick(0, 5) ? 0 : 1 << pick(0, 7));
        s->data.push_back(s->polarity == INK_ON_ONES ? byte : static_cast<unsigned char>(~byte));
    }
}

// A strip of more data than the reader takes in one piece (1 MiB) is
// painted piece by piece, each piece's rows where the whole strip puts them:
// at scale 1 and at a thinned scale, sparse ink in both polarities.
TEST(Raster, StripsOfSeveralPiecesMatchTheReferencePainter) {
    std::mt19937 rng(27);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    for (uint16_t width : {1024, 5000}) {
        const uint16_t height = static_cast<uint16_t>(width / 4 * 3);
        Strip s = {0, 5, 3, 9000, 700, 1600, 2, width == 1024 ? INK_ON_ONES : 0, {}};
        FillStripData(&s, 1, pick);
        int cw, ch;
        std::vector<uint32_t> expected = ReferenceCanvas(width, height, {s}, &cw, &ch);
        WrittenBmp bmp;
        ASSERT_EQ(ConvertInTempDir(Drawing(width, height, {s}), &bmp), 0);
        ASSERT_TRUE(bmp.pixels == expected) << "width " << width;
    }
}

// Paints `s` by the reference walk onto `expected` and by the painter onto
// `painted`, gathering into `pending` when one is given.
void PaintBoth(Canvas& expected, Canvas& painted, float scale, const Strip& s, RasterPending* pending) {
    EnableDirectSurfaces(0);
    ReferencePaint(expected.dc, scale, s);
    EnableDirectSurfaces(1);
    RasterStrip strip = {s.left, static_cast<int32_t>(s.left) + s.width, s.top, s.bytes_per_row,
                         DrawingPalette[s.colour], s.polarity == INK_ON_ONES, scale < THINNING_THRESHOLD,
                         scale, painted.width, painted.height};
    std::vector<uint64_t> scratch(RasterScratchSize(&strip) / 8 + 1);
    RasterLayout layout;
    PrepareRaster(painted.dc, &strip, pending, scratch.data(), &layout);
    PaintRasterRows(&strip, &layout, s.data.data(), 0, s.rows);
}

// The painter straight on canvases, beside the reference, at every kind of
// scale (1, powers of two, plain, thinned, tiny), both polarities, offsets
// and right limits around whole bytes and words, ink from none to full:
// one data row to a canvas row and many.
TEST(Raster, PainterMatchesTheReferenceAtEveryScaleOffsetAndLimit) {
    std::mt19937 rng(1919);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    const uint16_t widths[] = {1024, 2048, 4096, 4097, 5120, 1028, 3000, 8192, 16384, 40000};
    const int lefts[] = {0, 1, 7, 8, 63, 64, 65, -1};
    const int limits[] = {0, 1, 63, 64, 65, 512, 1024, 65535, -1};
    for (uint16_t width : widths) {
        uint16_t cw, ch;
        CanvasSizeFor(width, static_cast<uint16_t>(width / 4 * 3), &cw, &ch);
        const float scale = static_cast<float>(static_cast<double>(cw) / width);
        Canvas expected(cw, ch), painted(cw, ch);
        std::vector<uint32_t> want(static_cast<size_t>(cw) * ch), got(want.size());
        for (int round = 0; round < 32; round++) {
            Strip s = {};
            s.left = static_cast<uint16_t>(lefts[round % 8] >= 0 ? lefts[round % 8] : pick(0, width));
            s.top = static_cast<uint16_t>(pick(0, width / 2));
            s.width = static_cast<uint16_t>(limits[round % 9] >= 0 ? limits[round % 9] : pick(0, 65535));
            s.rows = static_cast<uint16_t>(pick(1, 24));
            s.bytes_per_row = static_cast<uint16_t>(pick(1, 150));
            s.colour = static_cast<uint16_t>(round % 8);
            s.polarity = (round / 8) % 2 ? INK_ON_ONES : 0;
            const int density = (round + round / 8) % 4;  // none, sparse, dense, full
            FillStripData(&s, density, pick);
            BitBlt(expected.dc, 0, 0, cw, ch, nullptr, 0, 0, WHITENESS);
            BitBlt(painted.dc, 0, 0, cw, ch, nullptr, 0, 0, WHITENESS);
            PaintBoth(expected, painted, scale, s, nullptr);
            GetBitmapBits(expected.bitmap, static_cast<LONG>(want.size() * 4), want.data());
            GetBitmapBits(painted.bitmap, static_cast<LONG>(got.size() * 4), got.data());
            ASSERT_TRUE(got == want) << "width " << width << ", round " << round;
        }
    }
}

// Gathered ink, written by a flush, beside the reference painting strip
// after strip: two strips of one colour a round, at every kind of scale,
// offsets and right limits around whole bytes and words, both polarities.
TEST(Raster, GatheredInkMatchesTheReferenceAtEveryScaleOffsetAndLimit) {
    std::mt19937 rng(2026);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    const uint16_t widths[] = {1024, 2048, 4096, 4097, 1028, 3000, 8192, 40000};
    const int lefts[] = {0, 1, 7, 8, 63, 64, 65, -1};
    const int limits[] = {0, 1, 9, 63, 64, 65, 517, 65535, -1};
    for (uint16_t width : widths) {
        uint16_t cw, ch;
        CanvasSizeFor(width, static_cast<uint16_t>(width / 4 * 3), &cw, &ch);
        const float scale = static_cast<float>(static_cast<double>(cw) / width);
        Canvas expected(cw, ch), painted(cw, ch);
        std::vector<uint32_t> want(static_cast<size_t>(cw) * ch), got(want.size());
        std::vector<unsigned char> block(RasterPendingSize(ch));
        RasterPending pending;
        StartRasterPending(&pending, block.data(), cw, ch);
        for (int round = 0; round < 36; round++) {
            BitBlt(expected.dc, 0, 0, cw, ch, nullptr, 0, 0, WHITENESS);
            BitBlt(painted.dc, 0, 0, cw, ch, nullptr, 0, 0, WHITENESS);
            for (int n = 0; n < 2; n++) {
                Strip s = {};
                s.left = static_cast<uint16_t>(lefts[(round + n) % 8] >= 0 ? lefts[(round + n) % 8] : pick(0, width));
                s.top = static_cast<uint16_t>(pick(0, width / 2));
                s.width = static_cast<uint16_t>(limits[(round + 3 * n) % 9] >= 0 ? limits[(round + 3 * n) % 9]
                                                                                 : pick(0, 65535));
                s.rows = static_cast<uint16_t>(pick(1, 24));
                s.bytes_per_row = static_cast<uint16_t>(pick(1, 150));
                s.colour = static_cast<uint16_t>(round % 8);
                s.polarity = (round / 8 + n) % 2 ? INK_ON_ONES : 0;
                const int density = (round + n) % 3;  // sparse, dense, full
                FillStripData(&s, density + 1, pick);
                PaintBoth(expected, painted, scale, s, &pending);
            }
            FlushRasterPending(&pending);
            GetBitmapBits(expected.bitmap, static_cast<LONG>(want.size() * 4), want.data());
            GetBitmapBits(painted.bitmap, static_cast<LONG>(got.size() * 4), got.data());
            ASSERT_TRUE(got == want) << "width " << width << ", round " << round;
        }
    }
}

}  // namespace
