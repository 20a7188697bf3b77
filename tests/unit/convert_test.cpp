// "-f": drawing files converted end to end, every pixel of the canvas checked.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "drawing/drawing.h"
#include "tests/fixtures/support.h"
#include "tests/fixtures/temp_convert.h"

namespace {

const uint32_t kWhite = 0x00FFFFFF;  // the untouched canvas, its fourth byte 0 in the file
const uint32_t kRed = 0x00FF0000, kBlue = 0x000000FF, kGreen = 0x0000FF00, kOrange = 0x00FF6600;

struct Expected {
    int width, height;
    std::vector<uint32_t> pixels;
    Expected(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h, kWhite) {}
    // Columns x0 <= x < x1 of rows y0 <= y < y1.
    Expected& Paint(int x0, int y0, int x1, int y1, uint32_t word) {
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) pixels[static_cast<size_t>(y) * width + x] = word;
        return *this;
    }
};

void ExpectCanvas(const WrittenBmp& bmp, const Expected& expected) {
    ASSERT_EQ(bmp.width, expected.width);
    ASSERT_EQ(bmp.height, expected.height);
    EXPECT_EQ(ImageDifference(bmp.pixels, expected.pixels, expected.width), "");
}

TEST(Convert, CanvasSizes) {
    const struct {
        uint16_t width, height;
        int canvas_width, canvas_height;
    } cases[] = {{2000, 1000, 1024, 512}, {1000, 1500, 682, 1024}, {500, 500, 1024, 1024},
                 {36927, 34583, 1024, 958}, {64, 65535, 1, 1024}, {65535, 65534, 1024, 1023}};
    for (const auto& c : cases) {
        WrittenBmp bmp;
        ASSERT_EQ(ConvertInTempDir(DrawingBuilder(c.width, c.height), &bmp), 0) << c.width << "x" << c.height;
        ExpectCanvas(bmp, Expected(c.canvas_width, c.canvas_height));
    }
}

TEST(Convert, ScaleIsASinglePrecisionFactorAppliedInDouble) {
    // 1000 x 1500: scale 0.682f for both axes; 1000 maps to column 681.
    WrittenBmp bmp;
    ASSERT_EQ(ConvertInTempDir(DrawingBuilder(1000, 1500).Rect(0, 0, 0, 1000, 1500, 2), &bmp), 0);
    ExpectCanvas(bmp, Expected(682, 1024).Paint(0, 0, 681, 1022, kGreen));
    // 800 x 600: the scale is just below 1.28, so 100 gives 127 and 600 gives 767.
    ASSERT_EQ(ConvertInTempDir(DrawingBuilder(800, 600).Rect(0, 100, 100, 200, 600, 4), &bmp), 0);
    ExpectCanvas(bmp, Expected(1024, 768).Paint(127, 127, 255, 767, kBlue));
}

TEST(Convert, Rectangles) {
    const struct {
        const char* what;
        uint16_t width, height, y_base, left, top, right, bottom, colour;
        int x0, y0, x1, y1;  // painted area
        int canvas_width, canvas_height;
    } cases[] = {
        {"base added to top only", 1024, 768, 10, 5, 20, 15, 40, 1, 5, 30, 15, 40, 1024, 768},
        {"half scale", 2048, 1000, 0, 3, 0, 7, 2, 1, 1, 0, 3, 1, 1024, 500},
        {"equal edges fill nothing", 1024, 768, 0, 9, 9, 9, 20, 1, 0, 0, 0, 0, 1024, 768},
        {"reversed edges are shifted by one", 1024, 768, 0, 10, 3, 5, 6, 1, 6, 3, 11, 6, 1024, 768},
        {"a base that pushes the top below the bottom", 1024, 768, 30, 0, 10, 4, 20, 1, 0, 21, 4, 41, 1024, 768},
        {"sums past 16 bits do not wrap", 65535, 65535, 65535, 0, 65535, 65535, 65535, 1, 0, 0, 0, 0, 1024, 1024},
        {"colour 7 is orange", 1024, 768, 0, 0, 0, 3, 3, 7, 0, 0, 3, 3, 1024, 768},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WrittenBmp bmp;
        DrawingBuilder drawing(c.width, c.height);
        drawing.Rect(c.y_base, c.left, c.top, c.right, c.bottom, c.colour);
        ASSERT_EQ(ConvertInTempDir(drawing, &bmp), 0);
        uint32_t word = c.colour == 7 ? kOrange : kRed;
        if (c.colour == 2) word = kGreen;
        ExpectCanvas(bmp, Expected(c.canvas_width, c.canvas_height).Paint(c.x0, c.y0, c.x1, c.y1, word));
    }
}

TEST(Convert, RunSets) {
    WrittenBmp bmp;
    // count 3 carries two runs; the next record follows at once.
    DrawingBuilder example(1024, 768);
    example.Runs(7, 4, {{10, 20}, {30, 30}}).Rect(0, 0, 0, 2, 2, 2);
    ASSERT_EQ(example.bytes.size(), 4u + 2 + 16 + 14);
    ASSERT_EQ(ConvertInTempDir(example, &bmp), 0);
    ExpectCanvas(bmp, Expected(1024, 768).Paint(10, 7, 20, 8, kBlue).Paint(0, 0, 2, 2, kGreen));

    // Counts of 1, 0 and -1 carry no runs and take 8 bytes.
    for (int16_t count : {1, 0, -1}) {
        DrawingBuilder empty(1024, 768);
        empty.RunsHead(count, 1, 5).Rect(0, 0, 0, 1, 1, 2);
        ASSERT_EQ(ConvertInTempDir(empty, &bmp), 0) << count;
        ExpectCanvas(bmp, Expected(1024, 768).Paint(0, 0, 1, 1, kGreen));
    }

    // A reversed run paints from its start down to just after its end.
    ASSERT_EQ(ConvertInTempDir(DrawingBuilder(1024, 768).Runs(3, 1, {{20, 10}}), &bmp), 0);
    ExpectCanvas(bmp, Expected(1024, 768).Paint(11, 3, 21, 4, kRed));

    // Negative coordinates truncate toward zero: -1 at scale 0.5 is column 0.
    ASSERT_EQ(ConvertInTempDir(DrawingBuilder(2048, 1536).Runs(-1, 1, {{-1, 6}, {-40, -30}}), &bmp), 0);
    ExpectCanvas(bmp, Expected(1024, 768).Paint(0, 0, 3, 1, kRed));
}

TEST(Convert, FileEndings) {
    WrittenBmp bmp;
    DrawingBuilder stray(1024, 768);
    stray.Rect(0, 0, 0, 1, 1, 1).Raw({0x42});
    EXPECT_EQ(ConvertInTempDir(stray, &bmp), 0);
    ExpectCanvas(bmp, Expected(1024, 768).Paint(0, 0, 1, 1, kRed));

    DrawingBuilder two_stray(1024, 768);
    two_stray.Rect(0, 0, 0, 1, 1, 1).Raw({0x42, 0x42});
    EXPECT_EQ(ConvertInTempDir(two_stray, &bmp), -1);
}

TEST(Convert, MalformedDrawingsFailAndLeaveNothing) {
    struct Case {
        const char* what;
        DrawingBuilder drawing;
    };
    std::vector<Case> cases;
    cases.push_back({"empty file", DrawingBuilder(0, 0)});
    cases.back().drawing.bytes.clear();
    cases.push_back({"3-byte header", DrawingBuilder(1024, 768)});
    cases.back().drawing.bytes.resize(3);
    cases.push_back({"rectangle cut 6 bytes in", DrawingBuilder(1024, 768)});
    cases.back().drawing.Rect(0, 1, 2, 3, 4, 1).bytes.resize(4 + 2 + 6);
    cases.push_back({"run set head cut short", DrawingBuilder(1024, 768)});
    cases.back().drawing.RunsHead(2, 1, 1).bytes.resize(4 + 2 + 5);
    cases.push_back({"run set whose pairs stop early", DrawingBuilder(1024, 768)});
    cases.back().drawing.RunsHead(4, 1, 1).U16(1).U16(5).U16(7);
    cases.push_back({"tag FFFD after a valid record", DrawingBuilder(1024, 768)});
    cases.back().drawing.Rect(0, 0, 0, 5, 5, 1).U16(0xFFFD);
    cases.push_back({"tag 0000", DrawingBuilder(1024, 768)});
    cases.back().drawing.U16(0x0000);
    cases.push_back({"rectangle colour 8", DrawingBuilder(1024, 768)});
    cases.back().drawing.Rect(0, 0, 0, 5, 5, 8);
    cases.push_back({"run set colour 8", DrawingBuilder(1024, 768)});
    cases.back().drawing.Runs(0, 8, {{1, 2}});
    cases.push_back({"zero width", DrawingBuilder(0, 100)});
    cases.push_back({"zero height", DrawingBuilder(100, 0)});
    cases.push_back({"a canvas side of zero pixels", DrawingBuilder(4000, 2)});
    for (const Case& c : cases) {
        WrittenBmp bmp;
        EXPECT_EQ(ConvertInTempDir(c.drawing, &bmp), -1) << c.what;
    }
}

TEST(Convert, ExistingBmpAtThePathIsReplaced) {
    TempDir dir;
    std::string path = dir.File("d.drw");
    ASSERT_TRUE(WriteFileBytes(path, DrawingBuilder(1024, 768).Rect(0, 0, 0, 4, 4, 1).bytes));
    ASSERT_EQ(ConvertDrawing(("-f " + path).c_str()), 0);
    std::vector<unsigned char> first;
    ASSERT_TRUE(ReadFileBytes(path, &first));
    EXPECT_EQ(first.size(), 54u + 1024 * 768 * 4);
    // Converting the BMP again reads it as a drawing of 0x4D42 x 0x0036 whose
    // first tag, 0x0030, is no record tag: it fails and the path is emptied.
    EXPECT_EQ(ConvertDrawing(("-f " + path).c_str()), -1);
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(ListDirectory(dir.path).empty());
    EXPECT_NOTHING_LIVE();
}

TEST(Convert, CommandLinesThatNameNoUsableFile) {
    TempDir dir;
    std::string bystander = dir.File("keep");
    ASSERT_TRUE(WriteFileBytes(bystander, {1}));
    EXPECT_EQ(ConvertDrawing("-f"), -1);
    EXPECT_EQ(ConvertDrawing("-f   "), -1);
    EXPECT_EQ(ConvertDrawing(("-f " + dir.File("missing.drw")).c_str()), -1);
    // A directory is never removed.
    std::string sub = dir.File("sub");
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    EXPECT_EQ(ConvertDrawing(("-f " + sub).c_str()), -1);
    EXPECT_TRUE(FileExists(sub));
    // A path longer than 255 characters is refused, not cut to one that exists.
    std::string long_name = dir.path + "/" + std::string(255 - dir.path.size() - 1, 'a');
    ASSERT_EQ(long_name.size(), 255u);
    ASSERT_TRUE(WriteFileBytes(long_name, DrawingBuilder(100, 100).bytes));
    EXPECT_EQ(ConvertDrawing(("-f " + long_name + "b").c_str()), -1);
    std::vector<unsigned char> untouched;
    ASSERT_TRUE(ReadFileBytes(long_name, &untouched));
    EXPECT_EQ(untouched.size(), 4u);
    // Exactly 255 characters are accepted; anything after the path is ignored.
    EXPECT_EQ(ConvertDrawing(("-f " + long_name + " trailing words").c_str()), 0);
    EXPECT_TRUE(FileExists(bystander));
    EXPECT_NOTHING_LIVE();
}

}  // namespace
