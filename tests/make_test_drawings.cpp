// Writes the drawings that both builds convert for the byte-for-byte
// comparison: a fixed set covering every record form and edge, and on request
// random drawings from a seed.
//   make_test_drawings OUTDIR
//   make_test_drawings OUTDIR --random COUNT SEED
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <string>

#include "support.h"

namespace {

int Save(const std::string& directory, const char* name, const DrawingBuilder& drawing) {
    std::string path = directory + "/" + name + ".drw";
    if (!WriteFileBytes(path, drawing.bytes)) {
        fprintf(stderr, "make_test_drawings: cannot write %s\n", path.c_str());
        return -1;
    }
    return 0;
}

int WriteFixedSet(const std::string& dir) {
    int failed = 0;
    failed |= Save(dir, "header_only_2000x1000", DrawingBuilder(2000, 1000));
    failed |= Save(dir, "tall_1000x1500", DrawingBuilder(1000, 1500).Rect(0, 0, 0, 1000, 1500, 2));
    failed |= Save(dir, "square_500", DrawingBuilder(500, 500).Rect(3, 10, 10, 490, 20, 5));
    failed |= Save(dir, "odd_36927x34583", DrawingBuilder(36927, 34583).Rect(0, 36000, 34000, 36927, 34583, 6));
    failed |= Save(dir, "scale_800x600", DrawingBuilder(800, 600).Rect(0, 100, 100, 200, 600, 4));
    failed |= Save(dir, "rect_example", DrawingBuilder(1024, 768).Rect(10, 5, 20, 15, 40, 1));
    failed |= Save(dir, "rect_half_scale", DrawingBuilder(2048, 1000).Rect(0, 3, 0, 7, 2, 1));
    failed |= Save(dir, "rect_reversed", DrawingBuilder(1024, 768).Rect(30, 10, 10, 5, 20, 3).Rect(0, 50, 60, 40, 50, 7));
    failed |= Save(dir, "rect_wide_sums", DrawingBuilder(65535, 65535).Rect(65535, 0, 65535, 65535, 65535, 1));
    failed |= Save(dir, "rect_off_canvas", DrawingBuilder(1024, 768).Rect(0, 1000, 700, 2000, 900, 4));
    failed |= Save(dir, "runs_example", DrawingBuilder(1024, 768).Runs(7, 4, {{10, 20}, {30, 30}}).Rect(0, 0, 0, 2, 2, 2));
    failed |= Save(dir, "runs_empty_counts", DrawingBuilder(1024, 768).RunsHead(1, 1, 5).RunsHead(0, 2, 6).RunsHead(-1, 3, 7).Rect(0, 0, 0, 1, 1, 2));
    failed |= Save(dir, "runs_reversed_negative", DrawingBuilder(2048, 1536).Runs(3, 1, {{20, 10}, {-1, 6}, {-40, -30}, {5000, -5000}}).Runs(-1, 5, {{0, 4}}));
    failed |= Save(dir, "runs_far_off", DrawingBuilder(10, 10).Runs(5, 6, {{-32768, 32767}, {32767, -32768}}));
    DrawingBuilder palette(1024, 768);
    for (uint16_t colour = 0; colour < 8; colour++) {
        palette.Rect(0, static_cast<uint16_t>(colour * 100), 0, static_cast<uint16_t>(colour * 100 + 90), 90, colour);
        palette.Runs(static_cast<int16_t>(100 + colour), colour, {{0, 1000}});
    }
    failed |= Save(dir, "palette", palette);
    failed |= Save(dir, "stray_byte", DrawingBuilder(1024, 768).Rect(0, 0, 0, 1, 1, 1).Raw({0x42}));
    // Malformed drawings: both builds must fail and leave nothing.
    failed |= Save(dir, "bad_tag", DrawingBuilder(1024, 768).Rect(0, 0, 0, 5, 5, 1).U16(0xFFFD));
    failed |= Save(dir, "bad_colour", DrawingBuilder(1024, 768).Rect(0, 0, 0, 5, 5, 8));
    failed |= Save(dir, "bad_two_stray", DrawingBuilder(1024, 768).Raw({0x42, 0x42}));
    DrawingBuilder cut(1024, 768);
    cut.Rect(0, 1, 2, 3, 4, 1).bytes.resize(4 + 2 + 6);
    failed |= Save(dir, "bad_cut_rect", cut);
    failed |= Save(dir, "bad_cut_runs", DrawingBuilder(1024, 768).RunsHead(4, 1, 1).U16(1).U16(5));
    failed |= Save(dir, "bad_zero_width", DrawingBuilder(0, 100));
    failed |= Save(dir, "bad_flat_canvas", DrawingBuilder(4000, 2));
    // Raster strips: the worked example at three scales, both polarities,
    // the thinning boundary, truncation, and records cut short.
    const std::vector<unsigned char> example = {0xC1, 0xFF};
    failed |= Save(dir, "raster_scale_1", DrawingBuilder(1024, 768).Raster(0, 3, 10, 10, 1, 2, 1, 0x00E20746, example));
    failed |= Save(dir, "raster_scale_half", DrawingBuilder(2048, 1536).Raster(0, 3, 10, 10, 1, 2, 1, 0x00E20746, example));
    failed |= Save(dir, "raster_scale_eighth", DrawingBuilder(8192, 6144).Raster(0, 3, 10, 10, 1, 2, 1, 0x00E20746, example));
    failed |= Save(dir, "raster_ink_on_zeros", DrawingBuilder(1024, 768).Raster(5, 0, 0, 16, 2, 2, 7, 0, {0x00, 0xFF, 0x0F, 0xF0}));
    failed |= Save(dir, "raster_high_byte_polarity", DrawingBuilder(1024, 768).Raster(0, 0, 0, 16, 1, 2, 6, 0x01E20746, {0x00, 0xFF}));
    failed |= Save(dir, "raster_4096", DrawingBuilder(4096, 3000).Raster(0, 80, 40, 64, 2, 1, 4, 0x00E20746, {0x20, 0xFF}));
    failed |= Save(dir, "raster_4097", DrawingBuilder(4097, 3000).Raster(0, 80, 40, 64, 2, 1, 4, 0x00E20746, {0x20, 0xFF}));
    failed |= Save(dir, "raster_truncation_1028", DrawingBuilder(1028, 1028).Raster(0, 256, 0, 8, 1, 1, 1, 0x00E20746, {0x40}));
    failed |= Save(dir, "raster_no_rows", DrawingBuilder(1024, 768).Raster(0, 0, 0, 8, 0, 5000, 1, 0, {}).Rect(0, 0, 0, 2, 2, 2));
    failed |= Save(dir, "bad_raster_empty_rows", DrawingBuilder(1024, 768).Raster(0, 0, 0, 8, 1, 0, 1, 0, {}));
    failed |= Save(dir, "bad_raster_colour_8", DrawingBuilder(1024, 768).Raster(0, 0, 0, 8, 1, 1, 8, 0, {0}));
    DrawingBuilder cut_raster(1024, 768);
    cut_raster.Raster(0, 0, 0, 16, 3, 2, 1, 0, {1, 2, 3, 4, 5, 6}).bytes.pop_back();
    failed |= Save(dir, "bad_raster_cut", cut_raster);
    DrawingBuilder short_header(1024, 768);
    short_header.bytes.resize(3);
    failed |= Save(dir, "bad_short_header", short_header);
    return failed;
}

// Random drawings of rectangles and run sets, sizes and coordinates drawn
// mostly near the canvas with a share of extremes.
int WriteRandomSet(const std::string& dir, int count, unsigned seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    auto extent = [&]() -> uint16_t {
        int kind = pick(0, 9);
        if (kind == 0) return static_cast<uint16_t>(pick(1, 64));
        if (kind == 1) return static_cast<uint16_t>(pick(4097, 65535));
        return static_cast<uint16_t>(pick(100, 5000));
    };
    int failed = 0;
    for (int n = 0; n < count; n++) {
        uint16_t width = extent(), height = extent();
        if (static_cast<uint32_t>(width < height ? width : height) * 1024 < static_cast<uint32_t>(width > height ? width : height))
            width = height;  // keep both canvas sides non-zero
        DrawingBuilder drawing(width, height);
        int records = pick(0, 60);
        for (int r = 0; r < records; r++) {
            auto coordinate = [&](int limit) {
                return static_cast<uint16_t>(pick(0, 9) == 0 ? pick(0, 65535) : pick(0, limit + limit / 8));
            };
            int kind = pick(0, 5);
            if (kind <= 1) {
                drawing.Rect(static_cast<uint16_t>(pick(0, 3) == 0 ? pick(0, height) : 0), coordinate(width),
                             coordinate(height), coordinate(width), coordinate(height),
                             static_cast<uint16_t>(pick(0, 7)));
            } else if (kind <= 3) {
                std::vector<std::pair<int16_t, int16_t>> runs(static_cast<size_t>(pick(0, 12)));
                for (auto& run : runs)
                    run = {static_cast<int16_t>(pick(-200, width + 200)), static_cast<int16_t>(pick(-200, width + 200))};
                drawing.Runs(static_cast<int16_t>(pick(-50, height + 50)), static_cast<uint16_t>(pick(0, 7)), runs);
            } else {
                // A raster strip of random size, place, polarity and density.
                uint16_t rows = static_cast<uint16_t>(pick(0, 40));
                uint16_t bytes_per_row = static_cast<uint16_t>(pick(1, 24));
                std::vector<unsigned char> data(static_cast<size_t>(rows) * bytes_per_row);
                int density = pick(0, 3);
                for (unsigned char& b : data)
                    b = static_cast<unsigned char>(density == 0 ? 0 : density == 1 ? (pick(0, 9) == 0 ? 1 << pick(0, 7) : 0)
                                                  : density == 2 ? pick(0, 255) : 255);
                uint32_t polarity = pick(0, 1) ? 0x00E20746u : static_cast<uint32_t>(pick(0, 2));
                drawing.Raster(static_cast<uint16_t>(pick(0, 3) == 0 ? pick(0, height) : 0), coordinate(width),
                               coordinate(height), static_cast<uint16_t>(pick(0, 4) == 0 ? pick(0, 65535) : pick(0, 200)),
                               rows, bytes_per_row, static_cast<uint16_t>(pick(0, 7)), polarity, data);
            }
        }
        if (pick(0, 9) == 0) drawing.Raw({static_cast<unsigned char>(pick(0, 255))});
        char name[64];
        snprintf(name, sizeof name, "random_%u_%03d", seed, n);
        failed |= Save(dir, name, drawing);
    }
    return failed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2) return WriteFixedSet(argv[1]) ? 1 : 0;
    if (argc == 5 && strcmp(argv[2], "--random") == 0)
        return WriteRandomSet(argv[1], atoi(argv[3]), static_cast<unsigned>(strtoul(argv[4], nullptr, 10))) ? 1 : 0;
    fprintf(stderr, "usage: make_test_drawings OUTDIR [--random COUNT SEED]\n");
    return 2;
}
