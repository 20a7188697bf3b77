// blitview-inspect --render against the window modes themselves: for each
// window case of the view tests, -b, -v or -d draws into a stand-in host
// window of one colour, the inspector renders the same job with that colour
// as its background, and the PNG and the PPM, read back by readers of their
// own, must be the window's box pixel for pixel. A job that blitview fails
// must give 1 and write nothing, neither a file nor a byte on standard
// output. Runs under tests/fixtures/with_xvfb.sh.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "reading/byte_cursor.h"
#include "tests/fixtures/file_builders.h"
#include "tests/fixtures/inspect_support.h"
#include "tests/fixtures/support.h"
#include "tests/fixtures/x11_host.h"

namespace {

const int kWindowX = 40, kWindowY = 30, kWindowWidth = 440, kWindowHeight = 340;

std::vector<unsigned char> RedFirstRows() {
    std::vector<unsigned char> file = PatternBmp(20, 10);
    for (int x = 0; x < 40; x++) PutU32Le(file.data() + 54 + x * 4, 0xFF0000);
    return file;
}

VectorBuilder Overlay() {
    VectorBuilder v(2000, 1500);
    v.Polyline(1, {{0, 0}, {1000, 750}, {2000, 1500}}).Polyline(4, {{-7, 3}, {1990, 3}});
    return v.Polyline(7, {{50, 1400}, {1950, 900}});
}

VectorBuilder BadColour() {
    VectorBuilder v(300, 200);
    return v.Polyline(2, {{10, 20}, {60, 20}}).Polyline(5, {{5, 5}}).Polyline(6, {}).Polyline(8, {{0, 0}, {100, 100}});
}

VectorBuilder CutPoint() {
    VectorBuilder v(300, 200);
    v.Polyline(3, {{10, 20}, {290, 190}, {5, 150}}).Polyline(4, {{-20, 100}, {350, 90}});
    return v.U16(1).U16(3).U16(0).U16(0).U16(100);
}

VectorBuilder OverTheBitmap() {
    VectorBuilder v(200, 100);
    return v.Polyline(3, {{-20, 50}, {250, 50}}).Polyline(0, {{0, 0}, {199, 99}});
}

VectorBuilder LongLine() {
    std::vector<std::pair<int, int>> many(65535, {5, 5});
    many.back() = {100, 5};
    VectorBuilder v(300, 200);
    return v.Polyline(2, many);
}

// Polylines through scattered points that cross the box many times over,
// which the window DC keeps to paint together and the stand-in paints each
// the latest segment first.
VectorBuilder Crowded() {
    VectorBuilder v(300, 200);
    uint32_t seed = 99;
    for (uint16_t colour : {1, 4, 6}) {
        std::vector<std::pair<int, int>> points;
        for (int i = 0; i < 5000; i++) {
            seed = seed * 1103515245u + 12345u;
            points.push_back({static_cast<int>(seed >> 8) % 320 - 10, static_cast<int>(seed >> 20) % 220 - 10});
        }
        v.Polyline(colour, points);
    }
    return v;
}

struct File {
    std::string name;
    std::vector<unsigned char> bytes;
};

struct Case {
    const char* what;
    char mode;
    std::string path;  // in the test's directory, where the jobs run
    std::vector<File> files;
    uint32_t background;  // 0xRRGGBB; white is the inspector's default
    int width = 400, height = 300;
};

std::vector<Case> Cases() {
    // 255 characters with the folder, the most a mode's path holds.
    const std::string long_name = std::string(100, 'd') + "/" + std::string(154, 'p');
    return {
        {"natural size, centred and framed", 'b', "picture.bmp", {{"picture.bmp", PatternBmp(200, 100)}}, 0x336699},
        {"equal proportions lose a row", 'b', "picture.bmp", {{"picture.bmp", PatternBmp(1024, 768)}}, 0x123456},
        {"a wide picture shrunk", 'b', "picture.bmp", {{"picture.bmp", PatternBmp(1024, 512)}}, 0xFFFFFF},
        {"first stored rows on top", 'b', "red.bmp", {{"red.bmp", RedFirstRows()}}, 0x336699},
        {"a failed upload shows the background", 'b', "jpeg.bmp", {{"jpeg.bmp", PatternBmp(200, 100, 4)}}, 0x336699},
        {"a missing file", 'b', "missing.bmp", {}, 0x336699},
        {"a huge declared picture", 'b', "huge.bmp", {{"huge.bmp", MakeRunLengthBmp(20000, 20000)}}, 0x336699},
        {"an odd box", 'b', "picture.bmp", {{"picture.bmp", PatternBmp(200, 100)}}, 0x336699, 401, 301},
        {"a box wider than blitview takes", 'b', "picture.bmp", {{"picture.bmp", PatternBmp(200, 100)}}, 0x336699, 16385,
         10},
        {"a path of 255 characters", 'b', long_name, {{long_name, PatternBmp(200, 100)}}, 0x336699},
        {"a path of 256 characters", 'b', long_name + "q", {{long_name + "q", PatternBmp(200, 100)}}, 0x336699},
        {"the overlay, clipped", 'v', "plan.bmp", {{"plan.VCT", Overlay().bytes}}, 0x336699},
        {"the overlay up to a bad colour", 'v', "plan", {{"pVCT", BadColour().bytes}}, 0x336699},
        {"the overlay up to a cut point", 'v', "plan", {{"pVCT", CutPoint().bytes}}, 0x336699},
        {"the overlay without its file", 'v', "plan.bmp", {{"plan.bmp", PatternBmp(200, 100)}}, 0x336699},
        {"any last three characters", 'v', "D:\\maps\\plan.bmp",
         {{"D:\\maps\\plan.VCT", VectorBuilder(300, 200).bytes}}, 0x336699},
        {"a path of three characters", 'v', "abc", {{"VCT", VectorBuilder(300, 200).bytes}}, 0x336699},
        {"a path of two characters", 'v', "ab", {{"VCT", VectorBuilder(300, 200).bytes}}, 0x336699},
        {"a header with a zero side", 'v', "zero.bmp", {{"zero.VCT", VectorBuilder(0, 200).bytes}}, 0x336699},
        {"65535 points", 'v', "long.bmp", {{"long.VCT", LongLine().bytes}}, 0x336699},
        {"crowded polylines", 'v', "crowd.bmp", {{"crowd.VCT", Crowded().bytes}}, 0x336699},
        {"the overlay over the bitmap", 'd', "both.bmp",
         {{"both.bmp", PatternBmp(200, 100)}, {"both.VCT", OverTheBitmap().bytes}}, 0x336699},
        {"the overlay over a failed upload", 'd', "jpeg.bmp",
         {{"jpeg.bmp", PatternBmp(200, 100, 4)}, {"jpeg.VCT", OverTheBitmap().bytes}}, 0x336699},
        {"no bitmap, no overlay", 'd', "none.bmp", {{"none.VCT", OverTheBitmap().bytes}}, 0x336699},
        {"the bitmap without its overlay", 'd', "both.bmp", {{"both.bmp", PatternBmp(200, 100)}}, 0x336699},
    };
}

std::string Hex(uint32_t rgb) {
    char text[8];
    snprintf(text, sizeof text, "%06X", rgb);
    return text;
}

class Render : public ::testing::Test {
  protected:
    HostWindow host;
    void SetUp() override {
        ASSERT_EQ(OpenHostWindow(&host, kWindowX, kWindowY, kWindowWidth, kWindowHeight, 0), 0) << "no X display";
    }
    void TearDown() override { CloseHostWindow(&host); }
};

TEST_F(Render, TheBoxIsTheWindowsBox) {
    const bool netpbm = access(kPnmToPng, X_OK) == 0;
    std::vector<std::string> forms = {"png"};
    if (netpbm) forms.push_back("ppm");
    char previous_directory[4096];
    ASSERT_NE(getcwd(previous_directory, sizeof previous_directory), nullptr);
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        for (const File& f : c.files) {
            const size_t slash = f.name.rfind('/');
            if (slash != std::string::npos) mkdir(dir.File(f.name.substr(0, slash)).c_str(), 0700);
            ASSERT_TRUE(WriteFileBytes(dir.File(f.name), f.bytes));
        }
        // Relative paths, as short as the cases need them.
        ASSERT_EQ(chdir(dir.path.c_str()), 0);
        PaintHostWindow(host, 0, 0, host.width, host.height, c.background);
        const int shown = RunBlitview({std::string("-") + c.mode, c.path, std::to_string(kWindowX),
                                       std::to_string(kWindowY), std::to_string(kWindowX + c.width),
                                       std::to_string(kWindowY + c.height)});
        const std::vector<uint32_t> window = ReadHostWindow(host);
        const std::vector<std::string> before = ListDirectory(dir.path);

        std::vector<std::string> options = {"--render", std::string(1, c.mode),
                                            "--box", std::to_string(c.width) + "x" + std::to_string(c.height)};
        if (c.background != 0xFFFFFF) options.insert(options.end(), {"--background", Hex(c.background)});
        for (const std::string& form : forms) {
            SCOPED_TRACE(form);
            const std::string name = "box." + form;
            std::vector<std::string> to_file = options, to_output = options;
            to_file.insert(to_file.end(), {"--" + form, name, c.path});
            to_output.insert(to_output.end(), {"--" + form, "-", c.path});
            ASSERT_EQ(chdir(dir.path.c_str()), 0);
            std::string file_output, piped;
            const int rendered = RunProgram(INSPECT_PATH, to_file, &file_output);
            const int piped_status = RunProgram(INSPECT_PATH, to_output, &piped);
            ASSERT_EQ(chdir(previous_directory), 0);
            EXPECT_EQ(file_output, "");
            ASSERT_TRUE(shown == 0 || shown == 255) << shown;
            if (shown != 0) {
                EXPECT_EQ(rendered, 1);
                EXPECT_EQ(piped_status, 1);
                EXPECT_EQ(piped, "");
                EXPECT_EQ(ListDirectory(dir.path), before) << "a failed job wrote a file";
                continue;
            }
            ASSERT_EQ(rendered, 0);
            ASSERT_EQ(piped_status, 0);
            std::vector<unsigned char> written;
            ASSERT_TRUE(ReadFileBytes(dir.File(name), &written));
            EXPECT_EQ(std::string(written.begin(), written.end()), piped) << "the file and the pipe differ";
            // The header hosts compare byte for byte, knowing the box's size.
            const std::string header = "P6\n" + std::to_string(c.width) + " " + std::to_string(c.height) + "\n255\n";
            if (form == "ppm") {
                EXPECT_EQ(piped.compare(0, header.size(), header), 0) << "not the documented header";
            }
            PngPicture picture;
            ASSERT_TRUE(ReadPicture(dir.File(name), form, &picture));
            ASSERT_EQ(picture.width, c.width);
            ASSERT_EQ(picture.height, c.height);
            int wrong = 0;
            for (int y = 0; y < c.height; y++)
                for (int x = 0; x < c.width; x++) {
                    const uint32_t expected = window[static_cast<size_t>(y) * host.width + x];
                    const uint32_t got = picture.words[static_cast<size_t>(y) * picture.width + x];
                    if (got != expected && wrong++ < 5)
                        ADD_FAILURE() << "(" << x << "," << y << ") is " << std::hex << got << ", the window shows "
                                      << expected;
                }
            EXPECT_EQ(wrong, 0);
            ASSERT_EQ(unlink(dir.File(name).c_str()), 0);
        }
    }
    if (!netpbm) GTEST_SKIP() << "no " << kPnmToPng << " to read the PPM (scripts/setup.sh --test installs netpbm)";
}

TEST(RenderOptions, UsageErrors) {
    TempDir dir;
    const std::string path = dir.File("picture.bmp");
    ASSERT_TRUE(WriteFileBytes(path, PatternBmp(20, 10)));
    const std::vector<std::vector<std::string>> usages = {
        {"--render", "x", "--box", "40x30", "--png", "-", path},
        {"--render", "bv", "--box", "40x30", "--png", "-", path},
        {"--render", "b", "--png", "-", path},
        {"--render", "b", "--box", "40x30", path},
        {"--render", "b", "--box", "0x30", "--png", "-", path},
        {"--render", "b", "--box", "40x30", "--png", "-", "--json", path},
        {"--render", "b", "--box", "40x30", "--png", "-", path, path},
        {"--render", "b", "--box", "40x30", "--png", "-", "--ppm", "-", path},
        {"--render", "b", "--box", "40x30", "--background", "12345", "--png", "-", path},
        {"--render", "b", "--box", "40x30", "--background", "12345G", "--png", "-", path},
    };
    for (const auto& arguments : usages) {
        std::string output;
        EXPECT_EQ(RunProgram(INSPECT_PATH, arguments, &output), 2) << arguments[1] << " " << arguments[3];
        EXPECT_EQ(output, "");
    }
}

}  // namespace
