// Every failure the platform can report during "-f": the conversion fails,
// the path holds nothing, nothing is left beside it and nothing leaks.
#include <ctype.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "drawing/drawing.h"
#include "tests/fixtures/support.h"

namespace {

struct FaultCase {
    const char* what;
    PlatformFault kind;
    int skip;
    int with_strip;  // the drawing ends with a raster strip, whose block is its first heap block
};

const FaultCase kFaults[] = {
    {"the canvas memory context", FAULT_CREATE_DC, 0, 0},
    {"the canvas bitmap", FAULT_CREATE_BITMAP, 0, 0},
    {"the rectangle's brush", FAULT_CREATE_OBJECT, 0, 0},
    {"the run set's pen", FAULT_CREATE_OBJECT, 1, 0},
    {"the request block", FAULT_HEAP_ALLOC, 0, 0},
    {"the DIB section", FAULT_CREATE_BITMAP, 1, 0},
    {"the DIB image record", FAULT_HEAP_ALLOC, 1, 0},
    {"creating the file", FAULT_CREATE_FILE, 0, 0},
    {"writing the file header", FAULT_WRITE_FILE, 0, 0},
    {"a short file header", FAULT_SHORT_WRITE, 0, 0},
    {"the packed block", FAULT_HEAP_ALLOC, 2, 0},
    {"writing the packed DIB", FAULT_WRITE_FILE, 1, 0},
    {"a short packed DIB", FAULT_SHORT_WRITE, 1, 0},
    {"closing the file", FAULT_CLOSE_HANDLE, 0, 0},
    {"the raster strip's block", FAULT_HEAP_ALLOC, 0, 1},
};

// What a failure report shows of a case, in place of its bytes.
void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.what << " (fault " << c.kind << ", skip " << c.skip << ")";
}

// The case's description as a test name: "the rectangle's brush" gives
// TheRectanglesBrush.
std::string CaseName(const ::testing::TestParamInfo<FaultCase>& param) {
    std::string name;
    bool word_start = true;
    for (const char* p = param.param.what; *p; p++) {
        if (isalnum(static_cast<unsigned char>(*p))) {
            name += word_start ? static_cast<char>(toupper(static_cast<unsigned char>(*p))) : *p;
            word_start = false;
        } else if (*p == ' ') {
            word_start = true;
        }
    }
    return name;
}

// Whether anything was put in place under `name` since the watch began: a
// file created or moved there. Nothing may be, unless every write succeeded.
bool WasPublished(int watch, const std::string& name) {
    alignas(inotify_event) char events[4096];
    bool published = false;
    ssize_t n;
    while ((n = read(watch, events, sizeof events)) > 0) {
        for (char* p = events; p < events + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len) {
            const inotify_event* event = reinterpret_cast<inotify_event*>(p);
            if (event->len && name == event->name && (event->mask & (IN_CREATE | IN_MOVED_TO))) published = true;
        }
    }
    return published;
}

class ConvertFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ConvertFault, FailsCleanly) {
    const FaultCase& c = GetParam();
    TempDir dir;
    std::string path = dir.File("drawing.drw");
    DrawingBuilder drawing(1024, 768);
    drawing.Rect(0, 1, 1, 5, 5, 1).Runs(9, 4, {{0, 8}});
    if (c.with_strip) drawing.Raster(0, 0, 0, 16, 2, 2, 1, 0, {1, 2, 3, 4});
    ASSERT_TRUE(WriteFileBytes(path, drawing.bytes));
    int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, dir.path.c_str(), IN_CREATE | IN_MOVED_TO), 0);
    int descriptors = CountOpenDescriptors();
    InjectFault(c.kind, c.skip);
    int result = ConvertDrawing(("-f " + path).c_str());
    EXPECT_EQ(ClearFaults(), 0) << "the fault never fired";
    EXPECT_FALSE(WasPublished(watch, "drawing.drw")) << "a file was put in place before it was removed";
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(ListDirectory(dir.path).empty()) << "a file was left beside the path";
    EXPECT_EQ(CountOpenDescriptors(), descriptors);
    close(watch);
    EXPECT_NOTHING_LIVE();
}

INSTANTIATE_TEST_SUITE_P(EveryFailure, ConvertFault, ::testing::ValuesIn(kFaults), CaseName);

TEST(ConvertFault, WithoutFaultsTheSameDrawingConverts) {
    TempDir dir;
    std::string path = dir.File("drawing.drw");
    ASSERT_TRUE(WriteFileBytes(path, DrawingBuilder(1024, 768).Rect(0, 1, 1, 5, 5, 1).Runs(9, 4, {{0, 8}}).bytes));
    EXPECT_EQ(ConvertDrawing(("-f " + path).c_str()), 0);
    EXPECT_EQ(ListDirectory(dir.path).size(), 1u);
    EXPECT_NOTHING_LIVE();
}

}  // namespace
