// blitview-inspect's options, one test each, run as a person runs it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "drawing/drawing_format.h"
#include "tests/fixtures/inspect_support.h"
#include "reading/byte_cursor.h"
#include "tests/fixtures/support.h"

namespace {

int Inspect(const std::vector<std::string>& arguments, std::string* output = nullptr) {
    return RunProgram(INSPECT_PATH, arguments, output);
}

// Every record kind, in several colours, on a canvas of 682 x 1024.
DrawingBuilder SampleDrawing() {
    DrawingBuilder drawing(1000, 1500);
    drawing.Rect(0, 0, 0, 1000, 1500, 6).Rect(100, 50, 60, 400, 700, 1).Rect(0, 900, 1400, 990, 1490, 7);
    drawing.Runs(300, 4, {{10, 900}, {950, 20}}).Runs(301, 2, {{-40, 500}});
    std::vector<unsigned char> data(40 * 8);
    for (size_t i = 0; i < data.size(); i++) data[i] = static_cast<unsigned char>(i * 37);
    drawing.Raster(20, 600, 800, 60, 40, 8, 0, INK_ON_ONES, data).Raster(0, 3, 10, 10, 1, 2, 5, 0, {0xC1, 0x0F});
    return drawing;
}

void ExpectSamePixels(const WrittenBmp& bmp, const PngPicture& png) {
    ASSERT_EQ(png.width, bmp.width);
    ASSERT_EQ(png.height, bmp.height);
    std::vector<uint32_t> colours = bmp.pixels;  // a PNG of RGB holds no fourth byte
    for (uint32_t& word : colours) word &= 0xFFFFFF;
    EXPECT_EQ(ImageDifference(png.words, colours, bmp.width), "");
}

TEST(InspectOptions, RecordsListsEveryRecordAtItsTag) {
    TempDir dir;
    const std::string drawing = dir.File("plan.drw"), vectors = dir.File("plan.VCT");
    ASSERT_TRUE(WriteFileBytes(drawing, DrawingBuilder(1024, 768)
                                            .Rect(10, 5, 20, 15, 40, 1)
                                            .Runs(7, 4, {{10, 20}, {30, 30}})
                                            .Raster(0, 3, 10, 10, 1, 2, 1, INK_ON_ONES, {0xC1, 0xFF})
                                            .bytes));
    ASSERT_TRUE(WriteFileBytes(vectors, VectorBuilder(2000, 1500).Polyline(2, {{0, 0}, {10, 20}}).Polyline(7, {}).bytes));
    const std::vector<std::string> records = {
        "  record: offset 4, kind rectangle, y base 10, left 5, top 20, right 15, bottom 40, colour index 1",
        "  record: offset 18, kind run set, count 3, colour index 4, y 7, runs 2",
        "  record: offset 36, kind raster strip, y base 0, left 3, top 10, width 10, rows 1, bytes per row 2, "
        "colour index 1, polarity 0x00E20746, ink 1, data bytes 2",
        "  record: offset 4, kind polyline, colour index 2, points 2",
        "  record: offset 16, kind polyline, colour index 7, points 0",
    };
    std::string listed, plain;
    ASSERT_EQ(Inspect({"--records", drawing, vectors}, &listed), 0);
    ASSERT_EQ(Inspect({drawing, vectors}, &plain), 0);
    // The records come in file order, and --records adds nothing else.
    std::vector<std::string> rest;
    size_t next = 0;
    for (const std::string& line : SplitLines(listed)) {
        if (next < records.size() && line == records[next])
            next++;
        else
            rest.push_back(line);
    }
    EXPECT_EQ(next, records.size()) << listed;
    EXPECT_EQ(rest, SplitLines(plain));
    EXPECT_NE(plain.find("  summary: raster strips 1, rectangles 1, run sets 1, strip data bytes 2\n"), std::string::npos)
        << plain;
    EXPECT_NE(plain.find("  summary: polylines 2, points 2\n"), std::string::npos) << plain;
}

TEST(InspectOptions, PngIsThePictureMinusFWritesAndMinusBShows) {
    TempDir dir;
    const std::string drawing = dir.File("plan.drw"), converted = dir.File("converted.drw");
    const std::vector<unsigned char> bytes = SampleDrawing().bytes;
    ASSERT_TRUE(WriteFileBytes(drawing, bytes));
    ASSERT_TRUE(WriteFileBytes(converted, bytes));
    ASSERT_EQ(RunProgram(BLITVIEW_PATH, {"-f", converted}, nullptr), 0);
    std::vector<unsigned char> file;
    WrittenBmp bmp;
    ASSERT_TRUE(ReadFileBytes(converted, &file));
    ASSERT_TRUE(ParseWrittenBmp(file, &bmp));

    const bool netpbm = access(kPnmToPng, X_OK) == 0;
    for (const std::string form : {"png", "ppm"}) {
        SCOPED_TRACE(form);
        if (form == "ppm" && !netpbm) continue;
        // The drawing, painted here without touching it.
        PngPicture painted;
        ASSERT_EQ(Inspect({"--" + form, dir.File("painted." + form), drawing}), 0);
        ASSERT_TRUE(ReadFileBytes(drawing, &file));
        EXPECT_EQ(file, bytes) << "the drawing was changed";
        ASSERT_TRUE(ReadPicture(dir.File("painted." + form), form, &painted));
        ExpectSamePixels(bmp, painted);

        // -f's BMP as the bitmap view shows it: upright, the first stored row on top.
        PngPicture shown;
        ASSERT_EQ(Inspect({"--" + form, dir.File("shown." + form), converted}), 0);
        ASSERT_TRUE(ReadPicture(dir.File("shown." + form), form, &shown));
        ExpectSamePixels(bmp, shown);
    }

    // No picture, no file: a drawing that fails, a BMP the upload refuses.
    const size_t files = ListDirectory(dir.path).size();
    ASSERT_TRUE(WriteFileBytes(dir.File("bad.drw"), DrawingBuilder(1024, 768).Rect(0, 0, 0, 5, 5, 8).bytes));
    EXPECT_EQ(Inspect({"--png", dir.File("bad.png"), dir.File("bad.drw")}), 1);
    ASSERT_TRUE(ReadFileBytes(converted, &file));
    file[30] = 4;  // BI_JPEG
    ASSERT_TRUE(WriteFileBytes(dir.File("jpeg.bmp"), file));
    EXPECT_EQ(Inspect({"--png", dir.File("jpeg.png"), dir.File("jpeg.bmp")}), 1);
    EXPECT_EQ(Inspect({"--png", dir.File("nowhere/x.png"), drawing}), 1);
    // A directory is never replaced, and a name with no room for the partial
    // file beside it is refused: neither leaves anything behind.
    ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0700), 0);
    EXPECT_EQ(Inspect({"--png", dir.File("folder"), drawing}), 1);
    EXPECT_TRUE(ListDirectory(dir.File("folder")).empty());
    EXPECT_EQ(Inspect({"--png", dir.File(std::string(4090, 'n')), drawing}), 1);
    EXPECT_EQ(ListDirectory(dir.path).size(), files + 3);
    EXPECT_EQ(Inspect({"--ppm", dir.File("bad.ppm"), dir.File("bad.drw")}), 1);
    EXPECT_EQ(ListDirectory(dir.path).size(), files + 3);
    if (!netpbm) GTEST_SKIP() << "no " << kPnmToPng << " to read the PPM (scripts/setup.sh --test installs netpbm)";
}

TEST(InspectOptions, BoxGivesTheFitAndTheScale) {
    TempDir dir;
    const std::string picture = dir.File("picture.drw");
    ASSERT_TRUE(WriteFileBytes(picture, DrawingBuilder(1024, 768).bytes));
    ASSERT_EQ(RunProgram(BLITVIEW_PATH, {"-f", picture}, nullptr), 0);  // a BMP of 1024 x 768
    ASSERT_TRUE(WriteFileBytes(dir.File("wide.VCT"), VectorBuilder(2000, 1500).bytes));
    ASSERT_TRUE(WriteFileBytes(dir.File("small.VCT"), VectorBuilder(300, 200).bytes));
    std::string output;
    ASSERT_EQ(Inspect({"--box", "400x300", picture, dir.File("wide.VCT"), dir.File("small.VCT")}, &output), 0);
    const std::vector<std::string> lines = SplitLines(output);
    // Equal proportions lose a row to the float ratio; a small picture keeps its size, centred.
    for (const char* expected : {
             "  box: width 400, height 300, fitted width 400, fitted height 299, left 0, top 0",
             "  box: width 400, height 300, fitted width 400, fitted height 299, left 0, top 0, scale 0.200000003",
             "  box: width 400, height 300, fitted width 300, fitted height 200, left 50, top 50, scale 1",
         })
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected << " in\n" << output;
    ASSERT_EQ(Inspect({picture}, &output), 0);
    EXPECT_EQ(output.find("box"), std::string::npos) << output;
    for (const char* box : {"0x300", "400x0", "16385x10", "400", "400x300x2", "x300", "-4x3"})
        EXPECT_EQ(Inspect({"--box", box, picture}), 2) << box;
    EXPECT_EQ(Inspect({"--box", "16384x16384", picture}), 0);
}

TEST(InspectOptions, KindOverridesWhatTheNameAndFirstBytesSay) {
    TempDir dir;
    // A drawing 19778 units wide starts with "BM"; a vector file may have any name.
    const std::string drawing = dir.File("wide.drw"), vectors = dir.File("lines.vec");
    ASSERT_TRUE(WriteFileBytes(drawing, DrawingBuilder(0x4D42, 100).Rect(0, 0, 0, 10, 10, 1).bytes));
    ASSERT_TRUE(WriteFileBytes(vectors, VectorBuilder(2000, 1500).Polyline(3, {{1, 2}, {3, 4}}).bytes));
    std::string output;
    EXPECT_EQ(Inspect({drawing}, &output), 1);
    EXPECT_EQ(SplitLines(output)[0], drawing + ": bmp");
    EXPECT_EQ(Inspect({"--kind", "drawing", drawing}, &output), 0);
    EXPECT_EQ(SplitLines(output)[0], drawing + ": drawing");
    EXPECT_EQ(Inspect({vectors}, &output), 1);
    EXPECT_EQ(SplitLines(output)[0], vectors + ": drawing");
    EXPECT_EQ(Inspect({"--kind", "vectors", vectors}, &output), 0);
    EXPECT_EQ(SplitLines(output)[0], vectors + ": vectors");
    EXPECT_EQ(Inspect({"--kind", "bmp", vectors}), 1);
    EXPECT_EQ(Inspect({"--kind", "picture", vectors}), 2);
}

TEST(InspectOptions, JsonWritesOneObjectALine) {
    TempDir dir;
    const std::string good = dir.File("good.drw"), bad = dir.File("bad.drw"), blank = dir.File("a \"quoted\".drw");
    ASSERT_TRUE(WriteFileBytes(good, DrawingBuilder(2048, 1000).Rect(0, 3, 0, 7, 2, 1).bytes));
    ASSERT_TRUE(WriteFileBytes(bad, DrawingBuilder(1024, 768).U16(0xFFFD).bytes));
    ASSERT_TRUE(WriteFileBytes(blank, DrawingBuilder(1024, 768).bytes));
    std::string output;
    ASSERT_EQ(Inspect({"--json", "--records", good, bad, blank}, &output), 1);
    const std::vector<std::string> lines = SplitLines(output);
    ASSERT_EQ(lines.size(), 3u) << output;
    EXPECT_EQ(lines[0], "{\"file\":\"" + good +
                            "\",\"kind\":\"drawing\",\"header\":{\"width\":2048,\"height\":1000},\"records\":[{"
                            "\"offset\":4,\"kind\":\"rectangle\",\"y_base\":0,\"left\":3,\"top\":0,\"right\":7,"
                            "\"bottom\":2,\"colour_index\":1}],\"canvas\":{\"width\":1024,\"height\":500,\"scale\":0.5,"
                            "\"strips_thinned\":false},\"summary\":{\"raster_strips\":0,\"rectangles\":1,\"run_sets\":0,"
                            "\"strip_data_bytes\":0},\"verdict\":\"converts\"}");
    const size_t summary = lines[1].find(",\"summary\":");
    ASSERT_NE(summary, std::string::npos) << lines[1];
    EXPECT_EQ(lines[1].substr(summary), ",\"summary\":{\"raster_strips\":0,\"rectangles\":0,\"run_sets\":0,"
                                        "\"strip_data_bytes\":0},\"verdict\":\"fails\",\"reason\":\"tag 0xFFFD at byte 4 is no "
                                        "record\",\"offset\":4}");
    // Quotes are escaped; blitview takes no path with a blank.
    const std::string blank_json = dir.path + "/a \\\"quoted\\\".drw";
    EXPECT_EQ(lines[2].rfind("{\"file\":\"" + blank_json + "\",\"kind\":\"drawing\",", 0), 0u) << lines[2];
    EXPECT_NE(lines[2].find(",\"verdict\":\"fails\",\"reason\":\"the path holds a blank"), std::string::npos) << lines[2];
}

// The three faults the manual shows, each at the byte of its record's tag,
// and a polyline's, at its own first byte.
TEST(InspectVerdicts, NameTheFirstFaultAndTheByteOfItsRecord) {
    TempDir dir;
    DrawingBuilder colour(1024, 768);
    for (int i = 0; i < 6; i++) colour.Rect(0, 0, 0, 5, 5, 2);
    colour.Rect(0, 0, 0, 5, 5, 9).Rect(0, 0, 0, 5, 5, 10);
    DrawingBuilder strip(1024, 768);
    strip.Rect(0, 0, 0, 5, 5, 2).Raster(0, 0, 0, 64, 100, 8, 1, 0, std::vector<unsigned char>(40, 0x55));
    DrawingBuilder tag(1024, 768);
    for (int i = 0; i < 5; i++) tag.Rect(0, 0, 0, 5, 5, 2);
    for (int i = 0; i < 116; i++) tag.RunsHead(1, 3, static_cast<int16_t>(i));
    tag.U16(0xFFFD).Rect(0, 0, 0, 5, 5, 9);
    const std::pair<DrawingBuilder*, const char*> cases[] = {
        {&colour, "  verdict: fails: colour index 9 in the rectangle at byte 88"},
        {&strip, "  verdict: fails: raster strip at byte 18 declares 100 rows of 8 bytes; 40 remain"},
        {&tag, "  verdict: fails: tag 0xFFFD at byte 1234 is no record"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFileBytes(dir.File("fault.drw"), c.first->bytes));
        std::string output;
        EXPECT_EQ(Inspect({dir.File("fault.drw")}, &output), 1);
        EXPECT_EQ(SplitLines(output).back(), c.second);
    }
    ASSERT_TRUE(WriteFileBytes(dir.File("fault.VCT"),
                               VectorBuilder(2000, 1500).Polyline(2, {{0, 0}, {1, 1}}).Polyline(8, {{2, 2}}).bytes));
    std::string output;
    EXPECT_EQ(Inspect({dir.File("fault.VCT")}, &output), 1);
    EXPECT_EQ(SplitLines(output).back(), "  verdict: fails: colour index 8 in the polyline at byte 16");
}

TEST(InspectOptions, HelpShowsEveryOptionTheManualDocuments) {
    std::string help;
    ASSERT_EQ(Inspect({"--help"}, &help), 0);
    EXPECT_EQ(help.rfind("Usage: blitview-inspect [OPTIONS] FILE...\n", 0), 0u) << help;
    std::vector<unsigned char> page;
    ASSERT_TRUE(ReadFileBytes(MANUAL_PAGE, &page));
    const std::string manual(page.begin(), page.end());
    int options = 0;
    for (const std::string& line : SplitLines(help)) {
        if (line.rfind("  --", 0) != 0) continue;
        const std::string name = line.substr(4, line.find(' ', 4) - 4);
        const bool documented = manual.find("\n.B \\-\\-" + name + "\n") != std::string::npos ||
                                manual.find("\n.BI \\-\\-" + name + " ") != std::string::npos;
        EXPECT_TRUE(documented) << "--" << name << " is not in the manual";
        options++;
    }
    EXPECT_EQ(options, 10) << help;
}

TEST(InspectOptions, VersionIsTheProjects) {
    std::string output;
    ASSERT_EQ(Inspect({"--version"}, &output), 0);
    EXPECT_NE(std::string(BLITVIEW_VERSION), "");
    EXPECT_EQ(output, std::string("blitview-inspect ") + BLITVIEW_VERSION + "\n");
}

TEST(InspectOptions, ExitStatusSaysWhetherEveryFileWouldSucceed) {
    TempDir dir;
    const std::string good = dir.File("good.drw"), bad = dir.File("bad.drw");
    ASSERT_TRUE(WriteFileBytes(good, DrawingBuilder(1024, 768).bytes));
    ASSERT_TRUE(WriteFileBytes(bad, DrawingBuilder(1024, 768).Raw({1, 2}).bytes));
    EXPECT_EQ(Inspect({good, good}), 0);
    EXPECT_EQ(Inspect({good, bad, good}), 1);
    EXPECT_EQ(Inspect({dir.File("missing.drw")}), 1);
    EXPECT_EQ(Inspect({}), 2);
    EXPECT_EQ(Inspect({"--frobnicate", good}), 2);
    EXPECT_EQ(Inspect({good, "--png"}), 2);
    EXPECT_EQ(Inspect({"--png", dir.File("x.png"), good, good}), 2);
    EXPECT_EQ(Inspect({"--png", good, good}), 2);
    EXPECT_EQ(ListDirectory(dir.path).size(), 2u);
}

}  // namespace
