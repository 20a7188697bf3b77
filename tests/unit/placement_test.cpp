// Fitting a picture into the host's box, and the frame around it.
#include <gtest/gtest.h>

#include <set>

#include "tests/fixtures/canvas.h"
#include "present/present.h"
#include "tests/fixtures/support.h"

namespace {

TEST(Placement, FitAndCentre) {
    const struct {
        int32_t box_width, box_height, width, height;
        int32_t fitted_width, fitted_height, left, top;
    } cases[] = {
        {400, 300, 200, 100, 200, 100, 100, 100},   // natural size
        {401, 301, 200, 100, 200, 100, 100, 100},   // the odd pixel goes right and down
        {400, 300, 400, 300, 400, 300, 0, 0},       // exactly the box
        {400, 300, 800, 400, 400, 200, 0, 50},
        {400, 300, 300, 600, 150, 300, 125, 0},
        {400, 300, 500, 100, 400, 80, 0, 110},
        {300, 400, 768, 1024, 300, 400, 0, 0},      // ratio exact as a float: no loss
        {400, 200, 800, 400, 400, 200, 0, 0},
        {400, 300, 1024, 768, 400, 299, 0, 0},      // float ratio above the true one: a row lost
        {640, 480, 1024, 768, 640, 479, 0, 0},
        {500, 300, 1500, 900, 499, 300, 0, 0},      // float ratio below: a column lost
        {400, 300, 401, 300, 400, 299, 0, 0},       // one pixel too wide: scaled, never cropped
        {400, 300, 1024, 512, 400, 200, 0, 50},
        {400, 300, 2000, 1500, 400, 299, 0, 0},
        {400, 300, 1000, 1000, 300, 300, 50, 0},
    };
    for (const auto& c : cases) {
        BoxPlacement p = FitToBox(c.box_width, c.box_height, c.width, c.height);
        EXPECT_EQ(p.fitted_width, c.fitted_width) << c.width << "x" << c.height << " in " << c.box_width << "x" << c.box_height;
        EXPECT_EQ(p.fitted_height, c.fitted_height) << c.width << "x" << c.height;
        EXPECT_EQ(p.left, c.left) << c.width << "x" << c.height;
        EXPECT_EQ(p.top, c.top) << c.width << "x" << c.height;
    }
}

TEST(Placement, DegenerateSizesStayDefined) {
    // Zero and negative sides divide by zero on the way; the result is
    // still some placement, and the sanitizers see nothing undefined.
    const int32_t sides[] = {0, -5, 1, 2147483647, INT32_MIN};
    for (int32_t a : sides)
        for (int32_t b : sides) {
            BoxPlacement p = FitToBox(400, 300, a, b);
            EXPECT_EQ(p.box_width, 400);
            p = FitToBox(a, b, 200, 100);
            EXPECT_EQ(p.box_height, b);
        }
}

TEST(Placement, FrameCoversThePictureEdgesAndTheRingOutside) {
    std::vector<uint32_t> words;
    {
        Canvas canvas(400, 300);
        DrawFrame(canvas.dc, 100, 100, 300, 200);
        words = canvas.Words();
    }
    int painted = 0;
    for (int y = 0; y < 300; y++) {
        for (int x = 0; x < 400; x++) {
            bool ring = x >= 99 && x <= 300 && y >= 99 && y <= 200 && !(x >= 101 && x <= 298 && y >= 101 && y <= 198);
            uint32_t expected = ring ? 0x000000AF : 0;
            if (words[static_cast<size_t>(y) * 400 + x] != expected) ADD_FAILURE() << x << "," << y;
            painted += ring;
        }
    }
    EXPECT_EQ(painted, 1200);
    EXPECT_NOTHING_LIVE();
}

}  // namespace
