// Command lines and the mode dispatch.
#include <gtest/gtest.h>

#include "app/app.h"
#include "tests/fixtures/support.h"

namespace {

TEST(Dispatch, CommandLinesThatAreNoJob) {
    const char* lines[] = {
        "", "   ", "-F x", "-x", "-bb a 1 2 3 4", "f x", "-fx",
        "-b a 1 2 3",  // three numbers
        "-d a 1 2 3", "-v a 1 2",
        "-abcdefghijklmnopqrstuvwxyz",  // longer than 15 characters
        "-ffffffffffffffff x",           // 16 characters
    };
    for (const char* line : lines) EXPECT_EQ(DispatchCommand(line), -1) << "'" << line << "'";
    EXPECT_NOTHING_LIVE();
}

TEST(Dispatch, FirstWordPicksTheHandler) {
    TempDir dir;
    std::string path = dir.File("x.drw");
    ASSERT_TRUE(WriteFileBytes(path, DrawingBuilder(10, 10).bytes));
    EXPECT_EQ(DispatchCommand(("-f " + path).c_str()), 0);
    EXPECT_TRUE(FileExists(path));
    // A tab separates words as a space does. The handler reads its own mode
    // word at the very start of the line, so a leading blank fails there.
    ASSERT_TRUE(WriteFileBytes(path, DrawingBuilder(10, 10).bytes));
    EXPECT_EQ(DispatchCommand(("-f\t" + path).c_str()), 0);
    ASSERT_TRUE(WriteFileBytes(path, DrawingBuilder(10, 10).bytes));
    EXPECT_EQ(DispatchCommand((" -f " + path).c_str()), -1);
    // The window views are not available: they fail without touching the file.
    for (const char* mode : {"-b ", "-v ", "-d "}) {
        ASSERT_TRUE(WriteFileBytes(path, DrawingBuilder(10, 10).bytes));
        EXPECT_EQ(DispatchCommand((mode + path + " 0 0 10 10").c_str()), -1);
        std::vector<unsigned char> bytes;
        ASSERT_TRUE(ReadFileBytes(path, &bytes));
        EXPECT_EQ(bytes.size(), 4u);
    }
    EXPECT_NOTHING_LIVE();
}

TEST(Dispatch, NamedMutexIsClaimedOncePerName) {
    SetLastError(0);
    ASSERT_NE(CreateMutexA(nullptr, TRUE, "blitview-test-mutex"), nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    ASSERT_NE(CreateMutexA(nullptr, TRUE, "blitview-test-mutex"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

}  // namespace
