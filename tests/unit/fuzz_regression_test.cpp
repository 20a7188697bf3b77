// Every input the fuzzers found a fault with, run again through the same
// harnesses; under the sanitizers (as CI runs the unit tests) a fault that
// came back would stop the run.
#include <gtest/gtest.h>

#include <string>

#include "tests/fixtures/support.h"

#define LLVMFuzzerTestOneInput FuzzDrawingInput
#include "fuzz/fuzz_drawing.cpp"
#undef LLVMFuzzerTestOneInput
#define LLVMFuzzerTestOneInput FuzzBmpInput
#include "fuzz/fuzz_bmp.cpp"
#undef LLVMFuzzerTestOneInput
#define LLVMFuzzerTestOneInput FuzzVectorsInput
#include "fuzz/fuzz_vectors.cpp"
#undef LLVMFuzzerTestOneInput

namespace {

void RunAll(const std::string& directory, int (*harness)(const uint8_t*, size_t)) {
    std::vector<std::string> names = ListDirectory(directory);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::vector<unsigned char> input;
        ASSERT_TRUE(ReadFileBytes(directory + "/" + name, &input));
        EXPECT_EQ(harness(input.data(), input.size()), 0);
        EXPECT_NOTHING_LIVE();
    }
}

TEST(FuzzRegressions, DrawingInputs) { RunAll(TEST_DATA_DIR "/fuzz/drawing", FuzzDrawingInput); }
TEST(FuzzRegressions, BmpInputs) { RunAll(TEST_DATA_DIR "/fuzz/bmp", FuzzBmpInput); }
TEST(FuzzRegressions, VectorInputs) {
    // No vector input has found a fault yet; the harness still runs on a few.
    const unsigned char header_only[] = {7, 9, 3, 4};
    EXPECT_EQ(FuzzVectorsInput(header_only, sizeof header_only), 0);
    const unsigned char one_record[] = {1, 2, 3, 4, 1, 0, 2, 0, 0xF0, 0xFF, 5, 0, 60, 0, 200, 0};
    EXPECT_EQ(FuzzVectorsInput(one_record, sizeof one_record), 0);
    EXPECT_NOTHING_LIVE();
}

}  // namespace
