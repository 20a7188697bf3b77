// The inspector's verdict is blitview's exit status: for every test drawing,
// every corpus file, and thousands of mutated drawing, BMP and vector files.
// The inspector runs as a program, once per group over all of its files.
// blitview runs as a program for the fixed groups and, for the thousands,
// through its own dispatcher in this process, which is what its process
// runs; the window modes draw into a stand-in host window. Runs under the
// private X server that tests/fixtures/with_xvfb.sh starts.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <random>

#include "app/app.h"
#include "drawing/drawing_format.h"
#include "tests/fixtures/inspect_support.h"
#include "reading/byte_cursor.h"
#include "reading/dib_header.h"
#include "tests/fixtures/support.h"
#include "tests/fixtures/x11_host.h"

namespace {

const int kWindowX = 30, kWindowY = 20;
const char kBox[] = " 30 20 94 68";  // a box of 64 x 48 at the window's origin

typedef std::mt19937 Random;

int Pick(Random& random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    ReadFileBytes(path, &bytes);
    return bytes;
}

// A run of mutations of a base file: bits flipped, words set to values that
// formats care about, bytes cut off or added.
std::vector<unsigned char> Mutate(std::vector<unsigned char> bytes, Random& random, size_t protect,
                                  const std::vector<uint32_t>& values, int word_bytes) {
    const int steps = Pick(random, 1, 3);
    for (int step = 0; step < steps; step++) {
        const int what = Pick(random, 0, 9);
        const size_t size = bytes.size();
        if (what <= 2 && size > protect) {
            bytes[static_cast<size_t>(Pick(random, static_cast<int>(protect), static_cast<int>(size) - 1))] ^=
                static_cast<unsigned char>(1 << Pick(random, 0, 7));
        } else if (what <= 6 && size >= protect + word_bytes) {
            size_t at = static_cast<size_t>(Pick(random, static_cast<int>(protect), static_cast<int>(size) - word_bytes));
            if (Pick(random, 0, 1)) at &= ~static_cast<size_t>(1);
            const uint32_t value = values[static_cast<size_t>(Pick(random, 0, static_cast<int>(values.size()) - 1))];
            for (int i = 0; i < word_bytes && at + i < size; i++) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
        } else if (what == 7 && size > 0) {
            bytes.resize(static_cast<size_t>(Pick(random, 0, static_cast<int>(size) - 1)));
        } else if (what == 8) {
            for (int i = Pick(random, 1, 3); i > 0; i--) bytes.push_back(static_cast<unsigned char>(Pick(random, 0, 255)));
        } else if (size > protect + 2) {
            const size_t at = static_cast<size_t>(Pick(random, static_cast<int>(protect), static_cast<int>(size) - 2));
            bytes.erase(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + 1 + Pick(random, 0, 1)));
        }
    }
    return bytes;
}

struct Files {
    std::string directory;
    std::vector<std::string> paths;
    void Add(const std::string& name, const std::vector<unsigned char>& bytes) {
        paths.push_back(directory + "/" + name);
        ASSERT_TRUE(WriteFileBytes(paths.back(), bytes));
    }
};

void TestDrawings(Files* files, Random&) {
    ASSERT_EQ(RunProgram(MAKE_DRAWINGS_PATH, {files->directory}, nullptr), 0);
    ASSERT_EQ(RunProgram(MAKE_DRAWINGS_PATH, {files->directory, "--random", "40", "20240611"}, nullptr), 0);
    for (const std::string& name : ListDirectory(files->directory)) files->paths.push_back(files->directory + "/" + name);
}

void CorpusFiles(Files* files, Random&) {
    for (const char* set : {"b", "g", "q", "x"}) {
        const std::string directory = std::string(TEST_DATA_DIR) + "/bmpsuite/" + set;
        for (const std::string& name : ListDirectory(directory)) files->paths.push_back(directory + "/" + name);
    }
}

// Drawings with small canvases, so that thousands convert in seconds: every
// record kind, valid and not, mutated.
void MutatedDrawings(Files* files, Random& random) {
    std::vector<std::vector<unsigned char>> bases;
    std::vector<unsigned char> data(24);
    for (size_t i = 0; i < data.size(); i++) data[i] = static_cast<unsigned char>(i * 53);
    bases.push_back(DrawingBuilder(1024, 16).Rect(1, 2, 3, 40, 9, 1).Runs(5, 2, {{1, 30}, {60, 4}}).Raster(0, 8, 2, 40, 3, 8, 3, INK_ON_ONES, data).bytes);
    bases.push_back(DrawingBuilder(8192, 64).Raster(0, 100, 3, 64, 4, 6, 6, 0, data).RunsHead(1, 4, 2).Rect(0, 0, 0, 8192, 64, 5).bytes);
    bases.push_back(DrawingBuilder(600, 9).Runs(3, 7, {{0, 600}}).Rect(2, 0, 0, 300, 4, 0).Raw({0x42}).bytes);
    const std::vector<uint32_t> values = {0, 1, 2, 7, 8, 9, 0x4D42, 0x7FFF, 0x8000, 0xFFFC, 0xFFFD, 0xFFFE, 0xFFFF};
    for (int n = 0; n < 1500; n++) {
        const std::vector<unsigned char>& base = bases[static_cast<size_t>(n) % bases.size()];
        // The header is mutated in one case of ten: most canvases stay small.
        files->Add("drawing" + std::to_string(n), Mutate(base, random, Pick(random, 0, 9) == 0 ? 0 : 4, values, 2));
    }
}

// BMP files of the corpus and of -f, mutated in their headers and tables,
// most with bfSize then set to their length so that the upload's bounds and
// GDI's own refusals are reached. Pictures of more than 4M pixels are left
// out: the view would need gigabytes for them.
void MutatedBmps(Files* files, Random& random) {
    std::vector<std::vector<unsigned char>> bases;
    for (const char* name : {"g/pal1.bmp", "g/pal4.bmp", "g/pal8.bmp", "g/pal8rle.bmp", "g/pal8v4.bmp", "g/pal8w124.bmp",
                             "g/rgb16-565pal.bmp", "g/rgb16bfdef.bmp", "g/rgb24.bmp", "g/rgb32bfdef.bmp", "q/pal8os2.bmp",
                             "q/rgb32fakealpha.bmp", "q/pal4rletrns.bmp"}) {
        std::vector<unsigned char> bytes = ReadBytes(std::string(TEST_DATA_DIR) + "/bmpsuite/" + name);
        if (!bytes.empty()) bases.push_back(bytes);
    }
    ASSERT_GE(bases.size(), 10u);
    const std::vector<uint32_t> values = {0, 1, 2, 3, 4, 5, 8, 12, 16, 24, 32, 40, 52, 56, 64, 108, 124, 255, 256,
                                          0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xF800, 0x07E0, 0x001F};
    int made = 0;
    while (made < 1500) {
        const std::vector<unsigned char>& base = bases[static_cast<size_t>(Pick(random, 0, static_cast<int>(bases.size()) - 1))];
        std::vector<unsigned char> head(base.begin(), base.begin() + static_cast<long>(std::min<size_t>(base.size(), 14 + 124 + 1024)));
        std::vector<unsigned char> bytes = Mutate(head, random, 0, values, Pick(random, 0, 1) ? 2 : 4);
        if (bytes.size() == head.size()) bytes.insert(bytes.end(), base.begin() + static_cast<long>(head.size()), base.end());
        if (bytes.size() >= 6 && Pick(random, 0, 3) != 0) PutU32Le(bytes.data() + 2, static_cast<uint32_t>(bytes.size()));
        if (bytes.size() >= 2 && Pick(random, 0, 9) != 0) bytes[0] = 'B', bytes[1] = 'M';
        if (bytes.size() >= 26) {
            ByteCursor cursor = MakeCursor(bytes.data() + 14, bytes.size() - 14);
            DibHeader header;
            if (ReadDibDimensions(&cursor, &header) == 0 &&
                (header.width < -4096 || header.width > 4096 || header.height < -4096 || header.height > 4096 ||
                 llabs(header.width * header.height) > (1 << 22)))
                continue;
        }
        files->Add("bitmap" + std::to_string(made++), bytes);
    }
}

void MutatedVectors(Files* files, Random& random) {
    auto build = [](uint16_t width, uint16_t height, int polylines, Random& r) {
        DrawingBuilder file(width, height);  // the same header; the body is polylines
        for (int i = 0; i < polylines; i++) {
            const int points = Pick(r, 0, 6);
            file.U16(static_cast<uint16_t>(Pick(r, 0, 7))).U16(static_cast<uint16_t>(points));
            for (int p = 0; p < points; p++) file.U16(static_cast<uint16_t>(Pick(r, -50, 2100))).U16(static_cast<uint16_t>(Pick(r, -50, 1600)));
        }
        return file.bytes;
    };
    const std::vector<uint32_t> values = {0, 1, 2, 7, 8, 9, 0x7FFF, 0x8000, 0xFFFF};
    for (int n = 0; n < 1000; n++) {
        std::vector<unsigned char> base = build(static_cast<uint16_t>(Pick(random, 1, 3000)), static_cast<uint16_t>(Pick(random, 1, 3000)),
                                                Pick(random, 0, 6), random);
        files->Add("vectors" + std::to_string(n) + ".VCT", Mutate(base, random, Pick(random, 0, 9) == 0 ? 0 : 4, values, 2));
    }
}

// blitview's exit status for one file, 0 or 255, from its process or its dispatcher.
int BlitviewStatus(const std::string& kind, const std::string& path, const std::string& scratch, bool in_process) {
    std::string argument = path;
    if (kind == "drawing") {
        // -f replaces its file: it converts a copy.
        if (!WriteFileBytes(scratch, ReadBytes(path))) return -2;
        argument = scratch;
    }
    const std::string mode = kind == "drawing" ? "-f" : kind == "bmp" ? "-b" : "-v";
    if (!in_process) {
        std::vector<std::string> arguments = {mode, argument};
        if (kind != "drawing")
            for (const char* number : {"30", "20", "94", "68"}) arguments.push_back(number);
        return RunProgram(BLITVIEW_PATH, arguments, nullptr);
    }
    const std::string line = mode + " " + argument + (kind == "drawing" ? "" : kBox);
    return DispatchCommand(line.c_str()) == 0 ? 0 : 255;
}

// The inspector's verdict on each file: 0 when blitview would succeed, 255 when it would fail.
std::map<std::string, std::pair<int, std::string>> InspectorVerdicts(const std::string& kind, const Files& files) {
    std::vector<std::string> arguments = {"--json", "--kind", kind == "drawing" ? "drawing" : kind};
    arguments.insert(arguments.end(), files.paths.begin(), files.paths.end());
    std::string output;
    RunProgram(INSPECT_PATH, arguments, &output);
    std::map<std::string, std::pair<int, std::string>> verdicts;
    for (const std::string& line : SplitLines(output)) {
        const size_t file = line.find("{\"file\":\"") + 9;
        const std::string path = line.substr(file, line.find('"', file) - file);
        const size_t verdict = line.find(",\"verdict\":\"");
        if (verdict == std::string::npos) continue;
        verdicts[path] = {line.compare(verdict + 12, 6, "fails\"") == 0 ? 255 : 0, line.substr(verdict)};
    }
    return verdicts;
}

struct Group {
    const char* name;
    const char* kind;
    void (*make)(Files* files, Random& random);
    bool in_process;
    size_t at_least;
};

TEST(InspectVerdicts, EqualBlitviewsExitStatus) {
    HostWindow host;
    ASSERT_EQ(OpenHostWindow(&host, kWindowX, kWindowY, 120, 90, 0x446688), 0) << "no X display";
    const Group groups[] = {
        {"test drawings", "drawing", TestDrawings, true, 70},
        {"corpus files", "bmp", CorpusFiles, false, 80},
        {"mutated drawings", "drawing", MutatedDrawings, true, 1500},
        {"mutated BMP files", "bmp", MutatedBmps, true, 1500},
        {"mutated vector files", "vectors", MutatedVectors, true, 1000},
    };
    Random random(20261208);
    // -f's copies go to memory where there is some: the conversion syncs
    // each BMP to its disk.
    char scratch_pattern[] = "/dev/shm/inspect-verdict-XXXXXX";
    TempDir fallback;
    const char* scratch_directory = mkdtemp(scratch_pattern);
    const std::string scratch = std::string(scratch_directory ? scratch_directory : fallback.path.c_str()) + "/scratch";
    for (const Group& group : groups) {
        TempDir dir;
        Files files;
        files.directory = dir.File("files");
        ASSERT_EQ(mkdir(files.directory.c_str(), 0755), 0);
        group.make(&files, random);
        ASSERT_GE(files.paths.size(), group.at_least) << group.name;
        const auto verdicts = InspectorVerdicts(group.kind, files);
        int failing = 0, wrong = 0;
        for (const std::string& path : files.paths) {
            const auto found = verdicts.find(path);
            ASSERT_NE(found, verdicts.end()) << group.name << ": no verdict for " << path;
            const int status = BlitviewStatus(group.kind, path, scratch, group.in_process);
            if (status == 255) failing++;
            if (status != found->second.first && wrong++ < 10)
                ADD_FAILURE() << group.name << ": " << path << ": blitview exits with " << status << ", the inspector says "
                              << found->second.second;
        }
        EXPECT_EQ(wrong, 0) << group.name;
        // Both outcomes are there to be told apart.
        EXPECT_GT(failing, 0) << group.name;
        EXPECT_LT(static_cast<size_t>(failing), files.paths.size()) << group.name;
        printf("%s: %zu files, %d fail\n", group.name, files.paths.size(), failing);
    }
    CloseHostWindow(&host);
    unlink(scratch.c_str());
    if (scratch_directory) rmdir(scratch_directory);
}

}  // namespace
