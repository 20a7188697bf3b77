// Writes the inputs of the window-mode comparison: pictures, vector files and
// the table of cases that tests/wine/view_compare.sh runs with both builds.
//
//   view_inputs DIR CORPUS_DIR SEED RANDOM_COUNT
//
// DIR receives the files and DIR/cases.txt, one case a line:
//
//   NAME HOST_X HOST_Y HOST_W HOST_H HOST_RGB SAMPLE_RGB MODE FILE X1 Y1 X2 Y2
//
// The host window sits at (HOST_X, HOST_Y) with HOST_W x HOST_H pixels in
// HOST_RGB, with SAMPLE_RGB at client (0, Y2 - Y1 + 2) when that is inside
// it; then the program runs as "MODE DIR/FILE X1 Y1 X2 Y2". Corpus pictures
// are copied from CORPUS_DIR. The random cases depend on SEED alone.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "../fixtures/file_builders.h"

namespace {

const int kScreenWidth = 1280, kScreenHeight = 1024;

std::string g_dir;
FILE* g_cases = nullptr;
int g_failed = 0;

// A small generator of our own, so that a seed means the same cases
// wherever the test runs.
struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
    uint32_t Next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return static_cast<uint32_t>((state * 0x2545F4914F6CDD1Dull) >> 32);
    }
    // lo..hi, both included.
    int Between(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint32_t>(hi - lo + 1)); }
    int Percent() { return Between(0, 99); }
};

void WriteBytes(const std::string& name, const std::vector<unsigned char>& bytes) {
    std::string path = g_dir + "/" + name;
    FILE* file = fopen(path.c_str(), "wb");
    if (!file || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || fclose(file) != 0) {
        fprintf(stderr, "view_inputs: cannot write %s\n", path.c_str());
        g_failed = 1;
    }
}

void CopyFile(const std::string& from, const std::string& name) {
    std::vector<unsigned char> bytes;
    FILE* file = fopen(from.c_str(), "rb");
    if (!file) {
        fprintf(stderr, "view_inputs: cannot read %s\n", from.c_str());
        g_failed = 1;
        return;
    }
    unsigned char block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0) bytes.insert(bytes.end(), block, block + got);
    fclose(file);
    WriteBytes(name, bytes);
}

// A 24-bit bottom-up BMP of random pixels, rows padded to whole words.
std::vector<unsigned char> RandomBmp(Random* random, int width, int height) {
    const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4;
    BmpBuilder bmp;
    bmp.FileHeader(54).InfoHeader(width, height, 24, 0, stride * static_cast<uint32_t>(height), 2835);
    for (int r = 0; r < height; r++) {
        for (int x = 0; x < width; x++)
            for (int c = 0; c < 3; c++) bmp.bytes.push_back(static_cast<unsigned char>(random->Next()));
        for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < stride; pad++) bmp.bytes.push_back(0);
    }
    return bmp.Finish();
}

// A point of a polyline, in file units.
using Point = std::pair<int, int>;

struct Host {
    int x = 40, y = 30, width = 440, height = 340;
    uint32_t colour = 0x336699, sample = 0x123456;
};

void AddCase(const char* name, const Host& host, const char* mode, const std::string& file, int x1, int y1, int box_width,
             int box_height) {
    fprintf(g_cases, "%s %d %d %d %d %06X %06X %s %s %d %d %d %d\n", name, host.x, host.y, host.width, host.height,
            host.colour, host.sample, mode, file.c_str(), x1, y1, x1 + box_width, y1 + box_height);
}

// The usual arrangement: the box's corner at the host's top-left, the sample
// row inside the host.
void AddBoxCase(const char* name, const char* mode, const std::string& file, int box_width, int box_height) {
    Host host;
    host.width = box_width + 40;
    host.height = box_height + 40;
    AddCase(name, host, mode, file, host.x, host.y, box_width, box_height);
}

void FixedCases(const std::string& corpus) {
    WriteBytes("natural.bmp", PatternBmp(200, 100));
    AddBoxCase("bitmap_200x100", "-b", "natural.bmp", 400, 300);
    WriteBytes("equal.bmp", PatternBmp(1024, 768));
    AddBoxCase("bitmap_1024x768", "-b", "equal.bmp", 400, 300);
    WriteBytes("wide.bmp", PatternBmp(1024, 512));
    AddBoxCase("bitmap_1024x512", "-b", "wide.bmp", 400, 300);
    WriteBytes("tall.bmp", PatternBmp(300, 900));
    AddBoxCase("bitmap_300x900", "-b", "tall.bmp", 400, 300);
    WriteBytes("jpeg.bmp", PatternBmp(200, 100, 4));
    AddBoxCase("bitmap_jpeg_background_only", "-b", "jpeg.bmp", 400, 300);

    // The program's point anywhere in the window, the box still at the
    // client origin; an odd box and other colours.
    {
        Host host;
        host.x = 611;
        host.y = 407;
        host.width = 380;
        host.height = 260;
        host.colour = 0xE0C040;
        host.sample = 0x20A0F0;
        AddCase("bitmap_point_inside_odd_box", host, "-b", "wide.bmp", 700, 450, 333, 211);
    }
    // No sample row inside the window: the background is black.
    {
        Host host;
        host.width = 440;
        host.height = 302;
        AddCase("bitmap_sample_outside", host, "-b", "natural.bmp", host.x, host.y, 400, 300);
    }

    const char* corpus_files[] = {"g/pal8.bmp",     "g/rgb24.bmp",      "g/pal8rle.bmp",    "q/pal4rletrns.bmp",
                                  "g/pal8topdown.bmp", "g/pal1.bmp",    "g/rgb16.bmp",      "g/rgb32bfdef.bmp",
                                  "q/pal8rlecut.bmp", "q/rgb24jpeg.bmp", "b/badrle4.bmp"};
    for (const char* relative : corpus_files) {
        std::string name = std::string("corpus_") + relative;
        for (char& c : name)
            if (c == '/') c = '_';
        CopyFile(corpus + "/" + relative, name);
        std::string case_name = name.substr(0, name.size() - 4);
        AddBoxCase(case_name.c_str(), "-b", name, 400, 300);
    }
    // Shrunk: the corpus pictures are 127 x 64.
    AddBoxCase("corpus_g_pal8_shrunk", "-b", "corpus_g_pal8.bmp", 100, 40);
    AddBoxCase("corpus_q_pal4rletrns_shrunk", "-b", "corpus_q_pal4rletrns.bmp", 61, 57);

    // 2000 x 1500 in 400 x 300: scale 0.2; every colour, points far outside
    // in every direction, and records of no point and of one.
    {
        VectorBuilder v(2000, 1500);
        v.Polyline(1, {{0, 0}, {1000, 750}, {2000, 1500}})
            .Polyline(4, {{-7, 3}, {1990, 3}})
            .Polyline(7, {{50, 1400}, {1950, 900}})
            .Polyline(0, {{100, 100}, {1900, 100}, {1900, 1400}, {100, 1400}, {100, 100}})
            .Polyline(2, {{-32768, -32768}, {32767, 32767}})
            .Polyline(3, {{1000, -30000}, {1000, 30000}, {-30000, 750}, {30000, 760}})
            .Polyline(5, {})
            .Polyline(6, {{1234, 567}})
            .Polyline(5, {{0, 1499}, {1999, 1499}, {1999, 0}})
            .Polyline(6, {{300, 200}, {310, 1300}, {1700, 1310}, {1690, 210}, {305, 205}})
            .Polyline(2, {{2000, 0}, {0, 1500}})
            .Polyline(0, {{-5, 5}})
            .Polyline(3, {{1, 1}, {2, 2}, {3, 1}, {4, 2}, {5, 1}, {6, 2}, {7, 1}})
            .Polyline(4, {{-1000, 1600}, {3000, -100}})
            .Polyline(7, {{999, 749}, {1001, 751}});
        WriteBytes("plan.VCT", v.bytes);
        AddBoxCase("vector_2000x1500", "-v", "plan.bmp", 400, 300);
    }
    // 300 x 200 in 400 x 300: unscaled at (50, 50), lines through the edges.
    {
        VectorBuilder v(300, 200);
        v.Polyline(2, {{10, 20}, {60, 20}})
            .Polyline(1, {{0, 0}, {299, 199}})
            .Polyline(4, {{-50, 100}, {350, 100}})
            .Polyline(7, {{150, -10}, {150, 210}})
            .Polyline(3, {{0, 199}, {299, 0}, {299, 199}, {0, 0}})
            .Polyline(0, {{20, 30}, {25, 150}, {280, 170}, {40, 35}})
            .Polyline(5, {{300, 200}, {300, 0}})
            .Polyline(6, {{7, 7}});
        WriteBytes("flat.VCT", v.bytes);
        AddBoxCase("vector_300x200_unscaled", "-v", "flat.bmp", 400, 300);
    }
    // A bad colour ends the drawing with what was drawn so far.
    {
        VectorBuilder v(300, 200);
        v.Polyline(2, {{10, 20}, {60, 20}}).Polyline(5, {{5, 5}}).Polyline(6, {}).Polyline(8, {{0, 0}, {100, 100}}).Polyline(1, {{0, 5}, {9, 5}});
        WriteBytes("bad.VCT", v.bytes);
        AddBoxCase("vector_bad_colour", "-v", "bad.bmp", 400, 300);
    }
    // Both: the bitmap, then the lines over it without clearing.
    {
        WriteBytes("both.bmp", PatternBmp(200, 100));
        VectorBuilder v(200, 100);
        v.Polyline(3, {{-20, 50}, {250, 50}}).Polyline(0, {{0, 0}, {199, 99}}).Polyline(6, {{199, 0}, {0, 99}, {100, 0}});
        WriteBytes("both.VCT", v.bytes);
        AddBoxCase("combined_200x100", "-d", "both.bmp", 400, 300);
        WriteBytes("bigboth.bmp", PatternBmp(1024, 768));
        VectorBuilder big(1024, 768);
        big.Polyline(1, {{0, 0}, {1023, 767}}).Polyline(7, {{0, 767}, {1023, 0}}).Polyline(4, {{512, -100}, {512, 900}});
        WriteBytes("bigboth.VCT", big.bytes);
        AddBoxCase("combined_1024x768", "-d", "bigboth.bmp", 400, 300);
    }
}

Point RandomPoint(Random* random, int width, int height) {
    int kind = random->Percent();
    if (kind < 80) return {random->Between(-width / 4, width + width / 4), random->Between(-height / 4, height + height / 4)};
    if (kind < 90) return {random->Between(-32768, 32767), random->Between(-32768, 32767)};
    // On the picture's edges, where clipping decides.
    const int xs[] = {0, 1, width - 1, width, width + 1};
    const int ys[] = {0, 1, height - 1, height, height + 1};
    return {xs[random->Between(0, 4)], ys[random->Between(0, 4)]};
}

void RandomCases(uint32_t seed, int count) {
    Random random(seed);
    for (int n = 0; n < count; n++) {
        char name[64], file[64];
        const bool combined = n % 4 == 3;
        snprintf(name, sizeof name, "%s_random_%02d", combined ? "combined" : "vector", n);
        snprintf(file, sizeof file, "random%02d.bmp", n);

        // Some pictures smaller than the box (unscaled), most larger.
        int width, height;
        if (random.Percent() < 25) {
            width = random.Between(1, 400);
            height = random.Between(1, 300);
        } else {
            width = random.Between(1, 3000);
            height = random.Between(1, 3000);
        }
        VectorBuilder v(width, height);
        const int records = random.Between(1, 12);
        for (int r = 0; r < records; r++) {
            int points = random.Percent() < 10 ? random.Between(0, 1) : random.Between(2, 16);
            if (random.Percent() < 5) points = random.Between(100, 300);
            std::vector<Point> line;
            for (int p = 0; p < points; p++) line.push_back(RandomPoint(&random, width, height));
            v.Polyline(random.Between(0, 7), line);
        }
        // Now and then a record cut short: what came before stays drawn.
        if (random.Percent() < 10) {
            v.U16(static_cast<uint32_t>(random.Between(0, 7)));
            v.U16(5);
            v.U16(1);
        }
        std::string vct = file;
        vct.replace(vct.size() - 3, 3, "VCT");
        WriteBytes(vct, v.bytes);
        if (combined) {
            const int picture_width = random.Between(1, 700);
            const int picture_height = random.Between(1, 500);
            WriteBytes(file, RandomBmp(&random, picture_width, picture_height));
        }

        Host host;
        const int box_width = random.Between(20, 600);
        const int box_height = random.Between(20, 480);
        host.width = box_width + random.Between(3, 60);
        host.height = box_height + random.Between(3, 60);
        host.x = random.Between(0, kScreenWidth - host.width);
        host.y = random.Between(0, kScreenHeight - host.height);
        host.colour = random.Next() & 0xFFFFFF;
        host.sample = random.Next() & 0xFFFFFF;
        const int x1 = host.x + random.Between(0, host.width - 1);
        const int y1 = host.y + random.Between(0, host.height - 1);
        AddCase(name, host, combined ? "-d" : "-v", file, x1, y1, box_width, box_height);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: view_inputs DIR CORPUS_DIR SEED RANDOM_COUNT\n");
        return 2;
    }
    g_dir = argv[1];
    std::string cases = g_dir + "/cases.txt";
    g_cases = fopen(cases.c_str(), "w");
    if (!g_cases) {
        fprintf(stderr, "view_inputs: cannot write %s\n", cases.c_str());
        return 1;
    }
    FixedCases(argv[2]);
    RandomCases(static_cast<uint32_t>(strtoul(argv[3], nullptr, 10)), atoi(argv[4]));
    if (fclose(g_cases) != 0) g_failed = 1;
    return g_failed;
}
