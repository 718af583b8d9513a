// The trace's platform calls: mutexes within and between processes, OutputDebugStringA to
// the system log, the console, and the process status figures.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "child_process.h"
#include "debug/proc_status.h"
#include "platform/debug.h"
#include "platform/psapi.h"
#include "platform/windows.h"
#include "temp_dir.h"
#include "trace_test_support.h"

namespace {

using namespace std::chrono_literals;

std::string UniqueName(const std::string& what) {
    static std::atomic<int> counter{0};
    return "cx-trace-test-" + what + "-" + std::to_string(getpid()) + "-" +
           std::to_string(++counter);
}

// What another thread gets from WaitForSingleObject(mutex, milliseconds); it lets go again.
DWORD WaitFromOtherThread(HANDLE mutex, DWORD milliseconds) {
    DWORD result = 0;
    std::thread([&] {
        result = WaitForSingleObject(mutex, milliseconds);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ReleaseMutex(mutex);
    }).join();
    return result;
}

// Unnamed and named alike: recursive for its owner, exclusive for others, and abandoned when
// the owning thread ends.
TEST(Mutex, IsRecursiveExcludesOthersAndIsAbandonedWithItsOwner) {
    for (bool named : {false, true}) {
        SCOPED_TRACE(named ? "named" : "unnamed");
        HANDLE mutex = CreateMutexA(nullptr, TRUE, named ? UniqueName("kinds").c_str() : nullptr);
        ASSERT_NE(mutex, nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "again, by its owner";
        EXPECT_EQ(WaitFromOtherThread(mutex, 20), WAIT_TIMEOUT);
        DWORD error = 0;
        std::thread([&] {
            if (!ReleaseMutex(mutex)) error = GetLastError();
        }).join();
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_OWNER));
        EXPECT_TRUE(ReleaseMutex(mutex));
        EXPECT_EQ(WaitFromOtherThread(mutex, 0), WAIT_TIMEOUT) << "still held once";
        EXPECT_TRUE(ReleaseMutex(mutex));
        EXPECT_FALSE(ReleaseMutex(mutex));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
        EXPECT_EQ(WaitFromOtherThread(mutex, 0), WAIT_OBJECT_0);

        std::thread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); }).join();
        EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_ABANDONED);
        EXPECT_EQ(WaitFromOtherThread(mutex, 0), WAIT_TIMEOUT) << "the new owner has it";
        EXPECT_TRUE(ReleaseMutex(mutex));
        EXPECT_EQ(WaitFromOtherThread(mutex, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(CloseHandle(mutex));
    }
}

// Child side of the test below: takes the mutex, says so with a file, then either ends
// holding it or holds it until told to let go.
TEST(NamedMutexChild, HoldsTheMutexForItsParent) {
    std::string name = cx::test::ChildSetting("CX_MUTEX_CHILD_NAME");
    if (name.empty()) GTEST_SKIP() << "runs only as a child of the cross-process test";
    std::string directory = cx::test::ChildSetting("CX_MUTEX_CHILD_DIR");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_EQ(WaitForSingleObject(mutex, 10000), WAIT_OBJECT_0);
    std::fclose(std::fopen((directory + "/held").c_str(), "w"));
    if (cx::test::ChildSetting("CX_MUTEX_CHILD_EXIT_HOLDING") == "1") _exit(0);
    ASSERT_TRUE(
        cx::test::WaitUntil([&] { return std::filesystem::exists(directory + "/release"); }));
    EXPECT_TRUE(ReleaseMutex(mutex));
}

// The child lets go by releasing the mutex, or by ending while it holds it (its lock file goes
// with it).
TEST(NamedMutexAcrossProcesses, ExcludesAnotherProcessUntilItLetsGo) {
    for (bool exit_holding : {false, true}) {
        SCOPED_TRACE(exit_holding ? "ends holding it" : "releases it");
        cx::test::TempDir directory;
        std::string name = UniqueName("process");
        cx::test::ChildOptions options;
        options.environment = {{"CX_MUTEX_CHILD_NAME", name},
                               {"CX_MUTEX_CHILD_DIR", directory.Path()},
                               {"CX_MUTEX_CHILD_EXIT_HOLDING", exit_holding ? "1" : "0"}};
        cx::test::ChildProcess child(
            {"/proc/self/exe", "--gtest_filter=NamedMutexChild.HoldsTheMutexForItsParent"},
            options);
        ASSERT_TRUE(
            cx::test::WaitUntil([&] { return std::filesystem::exists(directory.File("held")); }));
        HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
        ASSERT_NE(mutex, nullptr);
        if (!exit_holding) {
            EXPECT_EQ(WaitForSingleObject(mutex, 30), WAIT_TIMEOUT);
            std::fclose(std::fopen(directory.File("release").c_str(), "w"));
        }
        EXPECT_EQ(WaitForSingleObject(mutex, 10000), WAIT_OBJECT_0);
        EXPECT_TRUE(ReleaseMutex(mutex));
        EXPECT_EQ(child.Wait(10s), 0);
        CloseHandle(mutex);
    }
}

using cx::test::LogReceiver;

// One record per non-empty line, cut at 1122 characters, tagged with the name (blanks become
// '_', at most 31 characters).
TEST(OutputDebugString, SendsOneTaggedRecordPerLine) {
    const std::string long_line(2000, 'x');
    const std::string long_name = "A123456789B123456789C123456789D123456789";
    struct Case {
        std::string text;
        std::vector<std::string> records;
        std::string name = "CX_MIB";
        std::string tag = "CX_MIB";
    } const cases[] = {
        {"hello\n", {"hello"}},
        {"hello", {"hello"}},                              // no newline at the end
        {"\n\nfirst\n\n\nsecond\n", {"first", "second"}},  // empty lines are left out
        {"", {}},
        {long_line + "\nnext", {long_line.substr(0, 1122), "next"}},
        {"a\r\nb", {"a\r", "b"}},  // carriage returns stay
        {"tagged\n", {"tagged"}, "with blank\tand tab", "with_blank_and_tab"},
        {"tagged\n", {"tagged"}, long_name, long_name.substr(0, 31)},
    };
    LogReceiver log;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        CxSetDebugOutputName(c.name.c_str());
        OutputDebugStringA(c.text.c_str());
        std::vector<std::string> got = log.Receive(c.records.size());
        ASSERT_EQ(got.size(), c.records.size());
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(LogReceiver::Message(got[i], c.tag), c.records[i]);
        EXPECT_TRUE(log.ReceiveWaiting().empty());
    }
}

TEST(OutputDebugString, AFullLogLosesRecordsInsteadOfBlocking) {
    LogReceiver log;  // read only at the end
    std::string line(1000, 'z');
    for (int i = 0; i < 5000; ++i)
        OutputDebugStringA(line.c_str());
    EXPECT_FALSE(log.ReceiveWaiting().empty());
}

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

// Resident, peak, anonymous and swapped kB from /proc/PID/status; page faults from
// /proc/PID/stat. Missing or damaged figures read as 0 (status) or as none (stat).
TEST(ProcParsers, ReadTheFiguresAndSurviveDamage) {
    const std::pair<std::string_view, std::string> status_cases[] = {
        {"Name:\tx\nVmHWM:\t 2048 kB\nVmRSS:\t 1024 kB\nRssAnon:\t 512 kB\nVmSwap:\t16 kB",
         "1024 2048 512 16"},
        {"VmRSS:\t 7 kB\n", "7 0 0 0"},
        {"VmRSS:\tabc kB\nVmHWM:\t-5 kB\nRssAnon:\nVmSwap:\t99999999999999999999999", "0 0 0 0"},
        {"VmRSSx:\t5 kB\n VmRSS:\t6 kB\n", "0 0 0 0"},
        {std::string_view("VmRSS:\t3\0 kB\nVmSwap: 4 kB", 25), "3 0 0 4"},
    };
    for (const auto& [text, expected] : status_cases) {
        cx::platform::ProcMemory got = cx::platform::ParseProcStatus(text);
        EXPECT_EQ(std::to_string(got.resident_kb) + " " + std::to_string(got.peak_resident_kb) +
                      " " + std::to_string(got.anonymous_kb) + " " + std::to_string(got.swapped_kb),
                  expected)
            << text;
    }
    const std::pair<const char*, std::optional<std::uint64_t>> stat_cases[] = {
        {"42 (extagentd) S 1 42 42 0 -1 4194560 1500 0 25 0 3 1", 1525},
        {"7 (a) b) (c) R 1 7 7 0 -1 0 10 99 5 99 0", 15},         // parentheses in the name
        {"42 (x) S 1 42 42 0 -1 4194560 1500 0", std::nullopt},   // cut short
        {"42 S 1 42 42 0 -1 4194560 1500 0 25 0", std::nullopt},  // no name
        {"42 (x) S 1 42 42 0 -1 4194560 many 0 25 0", std::nullopt},
    };
    for (const auto& [text, faults] : stat_cases)
        EXPECT_EQ(cx::platform::ParseStatPageFaults(text), faults) << text;
}

PPROCESS_MEMORY_COUNTERS Plain(PROCESS_MEMORY_COUNTERS_EX* counters) {
    return reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(counters);
}

TEST(GetProcessMemoryInfo, FollowsTheMemoryTheProcessTouches) {
    PROCESS_MEMORY_COUNTERS_EX before{};
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), Plain(&before), sizeof(before)));
    EXPECT_EQ(before.cb, sizeof(PROCESS_MEMORY_COUNTERS_EX));
    EXPECT_GT(before.PageFaultCount, 0u);
    // Mapped rather than allocated, so that no allocator serves it from memory touched before.
    constexpr size_t kSize = 64u << 20;
    void* block = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(block, MAP_FAILED);
    std::memset(block, 1, kSize);
    PROCESS_MEMORY_COUNTERS_EX after{};
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), Plain(&after), sizeof(after)));
    munmap(block, kSize);
    EXPECT_GE(after.PrivateUsage, before.PrivateUsage + kSize / 2);
    EXPECT_EQ(after.PagefileUsage, after.PrivateUsage);
    EXPECT_GE(after.WorkingSetSize, before.WorkingSetSize + kSize / 2);
    EXPECT_GE(after.PeakWorkingSetSize, after.WorkingSetSize);

    PROCESS_MEMORY_COUNTERS plain{};
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &plain, sizeof(plain)));
    EXPECT_EQ(plain.cb, sizeof(PROCESS_MEMORY_COUNTERS)) << "the shape asked for";
    EXPECT_FALSE(GetProcessMemoryInfo(GetCurrentProcess(), &plain, sizeof(plain) - 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_FALSE(GetProcessMemoryInfo(reinterpret_cast<HANDLE>(0x7777), &plain, sizeof(plain)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(GetProcessHandleCount, CountsOpenDescriptors) {
    DWORD before = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    std::vector<int> opened;
    for (int i = 0; i < 10; ++i)
        opened.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
    DWORD during = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &during));
    for (int fd : opened)
        close(fd);
    EXPECT_EQ(during, before + 10);
    HANDLE self = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
    EXPECT_TRUE(GetProcessHandleCount(self, &during));
    EXPECT_EQ(during, before) << "by a process handle, which is no descriptor";
    CloseHandle(self);
}

}  // namespace
