// The console: AllocConsole points standard output at standard error, and a write never
// hangs on a stream that nobody reads.
#include <gtest/gtest.h>

#include <cstring>

#include "child_process.h"
#include "platform/debug.h"
#include "platform/windows.h"
#include "temp_dir.h"
#include "trace_test_support.h"

namespace {

BOOL Write(HANDLE console, const char* text, DWORD* written) {
    return WriteConsoleA(console, text, static_cast<DWORD>(std::strlen(text)), written, nullptr);
}

// The only test of this program that allocates the console: that happens once per process.
TEST(AllocConsole, SendsStandardOutputToStandardError) {
    cx::test::TempDir directory;
    std::string captured = directory.File("stderr");
    DWORD written = 0;
    {
        cx::test::StderrCapture capture(captured);
        ASSERT_TRUE(AllocConsole());
        EXPECT_FALSE(AllocConsole());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
        EXPECT_EQ(output, GetStdHandle(STD_OUTPUT_HANDLE));
        EXPECT_TRUE(Write(output, "line one\n", &written));
        EXPECT_EQ(written, 9u);
        EXPECT_TRUE(Write(GetStdHandle(STD_ERROR_HANDLE), "line two\n", &written));
    }
    EXPECT_EQ(cx::test::ReadFile(captured), "line one\nline two\n");
    EXPECT_EQ(GetStdHandle(7), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(Write(nullptr, "x", &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(WriteConsole, GivesUpOnAStreamThatTakesNothing) {
    cx::test::StderrCapture full_pipe;
    DWORD written = 12345;
    EXPECT_FALSE(Write(GetStdHandle(STD_ERROR_HANDLE), "nobody reads this\n", &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(written, 0u);
}

}  // namespace
