// Process status: memory figures, handle counts and the /proc parsers behind them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "debug/proc_status.h"
#include "platform/psapi.h"
#include "platform/windows.h"

namespace {

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
