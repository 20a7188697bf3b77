// The demo's host window: what it saves of its window after a -d job is the
// box as the inspector renders it, in a window of the host's own grey.
#include <gtest/gtest.h>

#include "tests/fixtures/file_builders.h"
#include "tests/fixtures/inspect_support.h"
#include "tests/fixtures/support.h"

namespace {

TEST(DemoHost, SavesTheBoxItsWindowShows) {
    const int window_x = 60, window_y = 40, window_width = 560, window_height = 440;
    const int box_width = 512, box_height = 384;
    const uint32_t grey = 0xD8D8D8;
    TempDir dir;
    const std::string picture = dir.File("plan.bmp");
    ASSERT_TRUE(WriteFileBytes(picture, PatternBmp(300, 200)));
    VectorBuilder overlay(300, 200);
    overlay.Polyline(1, {{0, 0}, {299, 199}}).Polyline(6, {{10, 190}, {290, 10}, {150, 100}});
    ASSERT_TRUE(WriteFileBytes(dir.File("plan.VCT"), overlay.bytes));

    const std::string saved = dir.File("window.png");
    ASSERT_EQ(RunProgram(DEMO_HOST_PATH,
                         {std::to_string(window_x), std::to_string(window_y), std::to_string(window_width),
                          std::to_string(window_height), saved, BLITVIEW_PATH, "-d", picture,
                          std::to_string(window_x), std::to_string(window_y), std::to_string(window_x + box_width),
                          std::to_string(window_y + box_height)},
                         nullptr),
              0);
    const std::string rendered = dir.File("box.png");
    ASSERT_EQ(RunProgram(INSPECT_PATH,
                         {"--render", "d", "--box", std::to_string(box_width) + "x" + std::to_string(box_height),
                          "--background", "D8D8D8", "--png", rendered, picture},
                         nullptr),
              0);
    PngPicture window, box;
    ASSERT_TRUE(ReadPng(saved, &window));
    ASSERT_TRUE(ReadPng(rendered, &box));
    ASSERT_EQ(window.width, window_width);
    ASSERT_EQ(window.height, window_height);
    int wrong = 0;
    for (int y = 0; y < window_height; y++)
        for (int x = 0; x < window_width; x++) {
            const bool in_box = x < box_width && y < box_height;
            const uint32_t expected = in_box ? box.words[static_cast<size_t>(y) * box_width + x] : grey;
            const uint32_t got = window.words[static_cast<size_t>(y) * window_width + x];
            if (got != expected && wrong++ < 5)
                ADD_FAILURE() << "(" << x << "," << y << ") is " << std::hex << got << ", not " << expected;
        }
    EXPECT_EQ(wrong, 0);

    // A command line short of its words, or a blitview that cannot be
    // started, is no success of the demo's.
    EXPECT_EQ(RunProgram(DEMO_HOST_PATH, {saved, BLITVIEW_PATH}, nullptr), 2);
    EXPECT_NE(RunProgram(DEMO_HOST_PATH,
                         {std::to_string(window_x), std::to_string(window_y), std::to_string(window_width),
                          std::to_string(window_height), saved, dir.File("no-blitview"), "-d", picture, "0", "0",
                          "10", "10"},
                         nullptr),
              0);
}

}  // namespace
