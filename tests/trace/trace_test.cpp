// The trace and its platform calls: mutexes within and between processes, OutputDebugStringA
// to the system log, the console, the process status figures, the text of a line, CFileDebug
// against a registry of the test's own, and processes sharing one trace file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#include "child_process.h"
#include "file_modes.h"
#include "platform/debug.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "temp_dir.h"

#include "base/file_debug.h"
#include "debug/proc_status.h"
#include "platform/psapi.h"
#include "platform/windows.h"
#include "trace_capture.h"
#include "trace_line.h"
#include "trace_reader.h"

// What the trace tests share: a registry and directory of the test's own for CFileDebug, a
// datagram socket standing in for the system log, and standard error pointed elsewhere.
namespace cx::test {

inline constexpr char kApplication[] = "CX_MIB";
inline constexpr char kDebugKey[] = "SOFTWARE\\Debug\\CX_MIB";

class TraceFixture : public ::testing::Test {
  protected:
    TraceFixture() { CxRegistrySetPath(directory_.File("registry.db").c_str()); }
    ~TraceFixture() override { CxRegistrySetPath(nullptr); }

    // A value of the application's key with the bytes given; SetRegDword and SetRegString for
    // the ordinary ones.
    static void SetRaw(const char* name, DWORD type, const std::string& text, DWORD size) {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDebugKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        EXPECT_EQ(
            RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.data()), size),
            ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void UseTraceFile(DWORD level) { TraceToFile(kApplication, TracePath(), level); }
    // The name of the mutex that guards the trace file between processes.
    std::string FileMutexName() const {
        std::string name = "CFileDebug_" + TracePath();
        std::replace(name.begin(), name.end(), '/', '_');
        return name;
    }
    std::string TracePath() const { return directory_.File("trace.log"); }
    // The trace file as written, "\r\n" and all; empty when there is none.
    std::string TraceText() const { return ReadFile(TracePath()); }

    TempDir directory_;
};

// Binds a socket in its own directory and points OutputDebugStringA at it; points it back
// at the system log when destroyed.
class LogReceiver {
  public:
    LogReceiver() {
        std::string path = directory_.File("log");
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
            ADD_FAILURE() << "cannot bind " << path;
        CxSetDebugOutputSocket(path.c_str());
    }
    ~LogReceiver() {
        CxSetDebugOutputSocket(nullptr);
        if (fd_ >= 0) close(fd_);
    }
    LogReceiver(const LogReceiver&) = delete;
    LogReceiver& operator=(const LogReceiver&) = delete;

    // The next records, waiting at most `limit` for each.
    std::vector<std::string> Receive(size_t count,
                                     std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::vector<std::string> records;
        char buffer[4096];
        while (records.size() < count) {
            pollfd ready{fd_, POLLIN, 0};
            if (poll(&ready, 1, static_cast<int>(limit.count())) <= 0) break;
            ssize_t got = recv(fd_, buffer, sizeof(buffer), 0);
            if (got < 0) break;
            records.emplace_back(buffer, static_cast<size_t>(got));
        }
        return records;
    }
    // Records that are waiting now.
    std::vector<std::string> ReceiveWaiting() { return Receive(SIZE_MAX, {}); }
    // The text after the "<15>Mmm dd hh:mm:ss NAME[PID]: " header, checking the header.
    static std::string Message(const std::string& record, const std::string& name) {
        std::regex header("<15>[A-Z][a-z]{2} [ 123][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] " + name +
                          "\\[" + std::to_string(getpid()) + "\\]: ");
        std::smatch match;
        if (!std::regex_search(record, match, header) || match.position(0) != 0) {
            ADD_FAILURE() << "record without the expected header: " << record.substr(0, 80);
            return record;
        }
        return match.suffix();
    }

  private:
    TempDir directory_;
    int fd_ = -1;
};

// Points standard error at a file, or at a full pipe that nobody reads, until destroyed.
class StderrCapture {
  public:
    explicit StderrCapture(const std::string& path) : saved_(dup(STDERR_FILENO)) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) ADD_FAILURE() << "cannot redirect to " << path;
        if (fd >= 0) close(fd);
    }
    StderrCapture() : saved_(dup(STDERR_FILENO)) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "cannot make a pipe";
            return;
        }
        pipe_read_ = ends[0];
        // Fill it without blocking, then leave the writing end blocking as standard error is.
        fcntl(ends[1], F_SETFL, O_NONBLOCK);
        char block[4096] = {};
        while (write(ends[1], block, sizeof(block)) > 0) {
        }
        while (write(ends[1], block, 1) > 0) {
        }
        fcntl(ends[1], F_SETFL, 0);
        dup2(ends[1], STDERR_FILENO);
        close(ends[1]);
    }
    ~StderrCapture() {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        if (pipe_read_ >= 0) close(pipe_read_);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

  private:
    int saved_ = -1;
    int pipe_read_ = -1;
};

}  // namespace cx::test

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

using cx::trace::StampValues;

std::string Line(const StampValues& stamps, const char* format, ...) {
    char line[cx::trace::kLineCapacity];
    va_list args;
    va_start(args, format);
    int length = cx::trace::FormatTraceLine(line, stamps, format, args);
    va_end(args);
    return length < 0 ? "<nothing>" : std::string(line, static_cast<size_t>(length));
}

StampValues AllStamps(const char* name = "CX_MIB") {
    StampValues stamps;
    stamps.date = stamps.time = stamps.thread = stamps.processor = true;
    stamps.memory = stamps.handles = true;
    stamps.local_time = {2024, 3, 2, 5, 7, 8, 9, 10};
    stamps.thread_id = 42;
    stamps.processor_number = 3;
    stamps.private_kb = 1234;
    stamps.resident_kb = 5678;
    stamps.handle_count = 7;
    stamps.application_name = name;
    return stamps;
}

StampValues Only(bool StampValues::*flag) {
    StampValues only = AllStamps(nullptr);
    only.date = only.time = only.thread = only.processor = only.memory = only.handles = false;
    only.*flag = true;
    return only;
}

StampValues NameOnly(const char* name) {
    StampValues stamps;
    stamps.application_name = name;
    return stamps;
}

TEST(TraceLine, NewlinesFirstThenTheStampsInTheirOrder) {
    const std::string all =
        "[2024-03-05] [07:08:09.010] (00042) #03 {PB 01234kB, MU 05678kB} {007 H} CX_MIB:        ";
    StampValues wide = Only(&StampValues::thread);
    wide.thread_id = 4194303;
    StampValues big_memory = Only(&StampValues::memory);
    big_memory.private_kb = 123456;
    big_memory.resident_kb = 0;
    struct Case {
        const char* label;
        StampValues stamps;
        std::string expected;
    } const cases[] = {
        {"no stamps", {}, "\nCSnmpMgr            : text"},
        {"all stamps", AllStamps(), "\n" + all + "CSnmpMgr            : text"},
        {"thread", Only(&StampValues::thread), "\n(00042) CSnmpMgr            : text"},
        {"wide thread", wide, "\n(4194303) CSnmpMgr            : text"},
        {"memory", big_memory, "\n{PB 123456kB, MU 00000kB} CSnmpMgr            : text"},
        {"13-letter name", NameOnly("ABCDEFGHIJKLM"),
         "\nABCDEFGHIJKLM: CSnmpMgr            : text"},
        {"empty name", NameOnly(""), "\n:              CSnmpMgr            : text"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Line(c.stamps, "\nCSnmpMgr            : %s", "text"), c.expected) << c.label;
    }
    EXPECT_EQ(Line(AllStamps(), "\n\nx\ny"), "\n\n" + all + "x\ny") << "only leading newlines";
    EXPECT_EQ(Line(AllStamps(), "x"), all + "x") << "no newline";
}

TEST(TraceLine, APrefixOfAHundredCharactersIsReplaced) {
    const std::string too_long = "!! BUFFER TOO SMALL - FIXME !! ";
    const std::string all = Line(AllStamps(), "");  // 88 characters
    const std::string name31(31, 'N');
    struct Case {
        const char* label;
        StampValues stamps;
        std::string format;
        std::string expected;
    } const cases[] = {
        {"99 newlines", {}, std::string(99, '\n') + "m", std::string(99, '\n') + "m"},
        {"100 newlines", {}, std::string(100, '\n') + "m", too_long + "m"},
        {"stamps and 11 newlines", AllStamps(), std::string(11, '\n') + "m",
         std::string(11, '\n') + all + "m"},
        {"stamps and 12 newlines", AllStamps(), std::string(12, '\n') + "m", too_long + "m"},
        {"a long name", AllStamps(name31.c_str()), "\nm", too_long + "m"},
        {"newlines past 1123 stay in the message",
         {},
         std::string(1200, '\n') + "m",
         too_long + std::string(77, '\n') + "m"},
    };
    ASSERT_EQ(all.size(), 88u);
    for (const Case& c : cases)
        EXPECT_EQ(Line(c.stamps, c.format.c_str()), c.expected) << c.label;
}

TEST(TraceLine, TheMessageFollowsPrintfRulesUpTo1024Characters) {
    const std::string long_text(2000, 'x');
    const char* volatile no_text = nullptr;  // a literal NULL is refused at compile time
    EXPECT_EQ(Line({}, "\n%s", long_text.c_str()), "\n" + long_text.substr(0, 1024));
    EXPECT_EQ(Line(AllStamps(), "%s", long_text.c_str()).size(), 88u + 1024);
    EXPECT_EQ(Line({}, "%s", long_text.substr(0, 1024).c_str()), long_text.substr(0, 1024));
    EXPECT_EQ(Line({}, "%d|%u|%X|%08X|%02X|%-20s|%.8s|%c", -5, 7u, 0xabu, 0x1fu, 0xau, "CX_MIB",
                   "1234567890", 'z'),
              "-5|7|AB|0000001F|0A|CX_MIB              |12345678|z");
    EXPECT_EQ(Line({}, "[%s]", no_text), "[(null)]") << "a missing text is named, not followed";
    EXPECT_EQ(Line({}, "%ls", L"\u00e9"), "<nothing>") << "text that cannot be converted";
    EXPECT_EQ(Line({}, "%s", ""), "");
}

using cx::test::kApplication;
using cx::test::kDebugKey;
using cx::test::SetRegDword;
using cx::test::SetRegString;

const char kBanner[] =
    "----- Application \\[CX_MIB\\] (started|closed) at \\d\\d:\\d\\d:\\d\\d "
    "\\d\\d/\\d\\d/\\d{4} -----";

class FileDebug : public cx::test::TraceFixture {
  protected:
    void TraceEveryLevel(CFileDebug& trace) {
        for (DWORD level = 1; level <= 5; ++level)
            trace.Trace(level, "\nlevel %u", level);
    }
    void Forget() {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Debug");
        std::filesystem::remove(TracePath());
    }
};

TEST_F(FileDebug, SettingsDecideWhatIsWritten) {
    const std::string started = std::string("\r\n\r\n") + kBanner + "\r\n";
    const std::string levels_1_to_3 = "\r\nlevel 1\r\nlevel 2\r\nlevel 3";
    setenv("CX_TRACE_TEST_DIR", directory_.Path().c_str(), 1);
    auto level = [&](DWORD value) { SetRegDword(kDebugKey, "FileDebugLevel", value); };
    auto path = [&](const std::string& text, DWORD size) {
        SetRaw("TraceFile", REG_SZ, text, size);
    };
    const std::string full = TracePath() + std::string(MAX_PATH - TracePath().size(), 'x');
    struct Case {
        const char* label;
        std::function<void()> settings;
        bool active;
        std::string file;  // a pattern; empty: no file at all
    } const cases[] = {
        {"no key", [] {}, false, ""},
        {"DynamicUpdate alone", [&] { SetRegDword("SOFTWARE\\Debug", "DynamicUpdate", 5); }, true,
         ""},
        {"level without TraceFile", [&] { level(3); }, false, ""},
        {"TraceFile without level", [&] { SetRegString(kDebugKey, "TraceFile", TracePath()); },
         false, ""},
        {"level 3", [&] { UseTraceFile(3); }, true, started + levels_1_to_3},
        {"level of another type",
         [&] { UseTraceFile(3), SetRegString(kDebugKey, "FileDebugLevel", "3"); }, false, ""},
        {"expandable path",
         [&] {
             level(3);
             const std::string text = "%CX_TRACE_TEST_DIR%/trace.log";
             SetRaw("TraceFile", REG_EXPAND_SZ, text, static_cast<DWORD>(text.size() + 1));
         },
         true, started + levels_1_to_3},
        {"path without its NUL",
         [&] { level(1), path(TracePath(), static_cast<DWORD>(TracePath().size())); }, true,
         started + "\r\nlevel 1"},
        {"260 characters without a NUL", [&] { level(1), path(full, MAX_PATH); }, false, ""},
        {"path too long",
         [&] {
             level(3), SetRegString(kDebugKey, "TraceFile", TracePath() + std::string(300, 'x'));
         },
         false, ""},
    };
    for (const Case& c : cases) {
        Forget();
        c.settings();
        CFileDebug trace;
        trace.Init(kApplication, TRUE);
        EXPECT_EQ(trace.m_bActive.load(), c.active ? 1u : 0u) << c.label;
        TraceEveryLevel(trace);
        if (c.file.empty()) {
            EXPECT_FALSE(std::filesystem::exists(TracePath())) << c.label;
        } else {
            EXPECT_TRUE(std::regex_match(TraceText(), std::regex(c.file)))
                << c.label << ": " << TraceText();
        }
    }
    unsetenv("CX_TRACE_TEST_DIR");
}

TEST_F(FileDebug, BannersAndStampsAreWrittenExactly) {
    UseTraceFile(1);
    for (const char* stamp : {"DateStampOn", "TimeStampOn", "ThreadIdOn", "CpuIdOn", "MemUsageOn",
                              "HandleCountOn", "AppNameOn"}) {
        SetRegDword(kDebugKey, stamp, 1);
    }
    const std::string stamps =
        "\\[\\d{4}-\\d\\d-\\d\\d\\] \\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] \\(\\d{5,}\\) #\\d\\d "
        "\\{PB \\d{5,}kB, MU \\d{5,}kB\\} \\{\\d{3,} H\\} CX_MIB:        ";
    {
        CFileDebug trace;
        trace.Init(kApplication, TRUE);
        trace.Trace(1, "\n\nCSnmpMgr            : %s\nsecond line", "first");
        trace.PrintCloseBanner();
    }
    std::string pattern = "\r\n\r\n" + stamps + kBanner + "\r\n" + "\r\n\r\n" + stamps +
                          "CSnmpMgr            : first\r\nsecond line" + "\r\n\r\n" + stamps +
                          kBanner + "\r\n";
    EXPECT_TRUE(std::regex_match(TraceText(), std::regex(pattern))) << TraceText();
}

TEST_F(FileDebug, EachSinkHasItsOwnLevel) {
    UseTraceFile(1);
    SetRegDword(kDebugKey, "ConDebugLevel", 2);
    SetRegDword(kDebugKey, "WinDebugLevel", 3);
    cx::test::LogReceiver debugger;
    std::string console = directory_.File("console");
    {
        cx::test::StderrCapture capture(console);
        CFileDebug trace;
        trace.Init(kApplication, FALSE);
        TraceEveryLevel(trace);
        trace.Trace(1, "\n%s", std::string(2000, 'd').c_str());
    }
    std::string long_line(1024, 'd');
    EXPECT_EQ(TraceText(), "\r\nlevel 1\r\n" + long_line);
    EXPECT_EQ(cx::test::ReadFile(console), "\nlevel 1\nlevel 2\n" + long_line);
    std::vector<std::string> records = debugger.Receive(4);
    ASSERT_EQ(records.size(), 4u);
    const std::string expected[] = {"level 1", "level 2", "level 3", long_line};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(cx::test::LogReceiver::Message(records[i], kApplication), expected[i]);
    }
}

TEST_F(FileDebug, AFullFileBecomesTheOlderGeneration) {
    struct Case {
        const char* label;
        DWORD limit_mb;
        size_t size;
        bool rotated;
    } const cases[] = {
        {"at the limit", 1, 1u << 20, true},
        {"below the limit", 1, (1u << 20) - 1, false},
        {"no limit", 0, 1u << 20, false},
    };
    const std::string older = TracePath() + ".txt";
    for (const Case& c : cases) {
        std::ofstream(TracePath(), std::ios::binary) << std::string(c.size, 'a');
        std::ofstream(older, std::ios::binary) << "older";
        UseTraceFile(1);
        SetRegDword(kDebugKey, "TraceFileLimit", c.limit_mb);
        CFileDebug trace;
        trace.Init(kApplication, FALSE);
        trace.Trace(1, "\nnew");
        if (c.rotated) {
            EXPECT_EQ(TraceText(), "\r\nnew") << c.label;
            EXPECT_EQ(cx::test::ReadFile(older).size(), c.size) << c.label;
        } else {
            EXPECT_EQ(TraceText().size(), c.size + 5) << c.label;
            EXPECT_EQ(cx::test::ReadFile(older), "older") << c.label;
        }
    }
}

// The trace file and its older generation are the owner's and the group's alone, whatever the
// umask; a link put in place of either is never written through.
TEST_F(FileDebug, TheFilesAreForOwnerAndGroupAndNeverALink) {
    const cx::test::ScopedUmask usual(022);
    const std::string older = TracePath() + ".txt", victim = directory_.File("victim");
    cx::test::WriteFile(victim, "victim");
    ASSERT_EQ(symlink(victim.c_str(), TracePath().c_str()), 0);
    ASSERT_EQ(symlink(victim.c_str(), older.c_str()), 0);
    UseTraceFile(1);
    SetRegDword(kDebugKey, "TraceFileLimit", 1);
    CFileDebug trace;
    trace.Init(kApplication, FALSE);
    trace.Trace(1, "\nlost");
    EXPECT_TRUE(cx::test::IsSymlink(TracePath()));

    std::filesystem::remove(TracePath());
    const std::string line(1024, 'x');
    auto rotated = [&] { return cx::test::FileMode(older) != 0 && !cx::test::IsSymlink(older); };
    for (int i = 0; i < 2000 && !rotated(); ++i)  // a little over the limit of 1 MiB
        trace.Trace(1, "\n%s", line.c_str());
    ASSERT_TRUE(rotated());
    EXPECT_EQ(cx::test::FileMode(TracePath()), 0640u);
    EXPECT_EQ(cx::test::FileMode(older), 0640u);
    EXPECT_EQ(cx::test::ReadFile(victim), "victim");
}

TEST_F(FileDebug, TheFileMutexIsNamedAfterThePath) {
    UseTraceFile(1);
    SetRegDword(kDebugKey, "TraceFileLimit", 0xFFFFFFFF);
    auto trace = std::make_unique<CFileDebug>();
    trace->Init(kApplication, FALSE);
    EXPECT_EQ(trace->m_dwFileSizeLimit.load(), 4095u << 20) << "the largest limit that fits";
    HANDLE same = CreateMutexA(nullptr, FALSE, FileMutexName().c_str());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(same);
    HANDLE own = trace->m_hFileMutex;
    trace.reset();
    EXPECT_FALSE(CloseHandle(own)) << "closed with the trace";
}

TEST_F(FileDebug, DynamicUpdateRereadsOnceTheIntervalHasPassed) {
    SetRegDword("SOFTWARE\\Debug", "DynamicUpdate", 5);
    UseTraceFile(1);
    CFileDebug trace;
    trace.Init(kApplication, FALSE);
    SetRegDword(kDebugKey, "FileDebugLevel", 3);
    DWORD now = GetTickCount() >> 10;
    trace.m_dwLastRead = now - 3;
    trace.Trace(3, "\nearly");
    trace.m_dwLastRead = now - 5;
    trace.Trace(3, "\ndue");
    SetRegDword(kDebugKey, "FileDebugLevel", 1);
    trace.m_dwLastRead = now + 100;  // the tick counter wrapped
    trace.Trace(3, "\nafter the wrap");
    EXPECT_EQ(TraceText(), "\r\ndue");
}

TEST_F(FileDebug, FailuresStayInsideTheTrace) {
    SetRegDword(kDebugKey, "FileDebugLevel", 2);
    SetRegString(kDebugKey, "TraceFile", directory_.File("missing/trace.log"));
    SetRegDword(kDebugKey, "WinDebugLevel", 1);
    cx::test::LogReceiver debugger;
    CFileDebug trace;
    trace.Init(kApplication, FALSE);
    SetLastError(1234);
    trace.Trace(1, "\nstill told");
    EXPECT_EQ(GetLastError(), 1234u);
    trace.Trace(5, "\nfiltered");
    EXPECT_EQ(GetLastError(), 1234u);
    trace.Trace(2, "%ls", L"\u00e9");
    EXPECT_EQ(GetLastError(), 1234u);
    std::vector<std::string> records = debugger.Receive(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(cx::test::LogReceiver::Message(records[0], kApplication), "still told");
    EXPECT_FALSE(std::filesystem::exists(directory_.File("missing")));
}

TEST_F(FileDebug, ACallSiteEvaluatesNothingWhileTheTraceIsOff) {
    int evaluated = 0;
    auto count = [&] { return ++evaluated; };
    CX_TRACE(1, "\ncall %d", count());
    EXPECT_EQ(evaluated, 0);
    UseTraceFile(1);
    g_FileDebug.Init(kApplication, FALSE);
    CX_TRACE(1, "\ncall %d", count());
    g_FileDebug.Init(nullptr, FALSE);
    CX_TRACE(1, "\ncall %d", count());
    EXPECT_EQ(evaluated, 1);
    EXPECT_EQ(TraceText(), "\r\ncall 1");
}

constexpr int kProcesses = 2;
constexpr int kThreads = 4;
constexpr int kMessages = 2000;

// The padding makes messages of many lengths, so that a torn one shows.
std::string Padding(int message) { return std::string(message % 97 * 3, 'p'); }

// Child side: writes its share through the process-wide trace and the call-site macro, while
// the thread stamp is switched on and off and the settings re-read.
TEST(TraceWriterChild, WritesItsShare) {
    std::string registry = cx::test::ChildSetting("CX_TRACE_CHILD_REGISTRY");
    if (registry.empty()) GTEST_SKIP() << "runs only as a child of the test below";
    int process = std::stoi(cx::test::ChildSetting("CX_TRACE_CHILD_ID"));
    CxRegistrySetPath(registry.c_str());
    g_FileDebug.Init(cx::test::kApplication, FALSE);
    ASSERT_TRUE(g_FileDebug.m_bActive.load());
    std::atomic<bool> done{false};
    std::thread rereader([&] {
        for (DWORD on = 0; !done; on ^= 1) {
            SetRegDword(kDebugKey, "ThreadIdOn", on);
            g_FileDebug.ReadConfig();
        }
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([process, t] {
            for (int m = 0; m < kMessages; ++m) {
                CX_TRACE(3, "\nP%d T%d M%04d %s", process, t, m, Padding(m).c_str());
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    done = true;
    rereader.join();
}

using TraceProcesses = cx::test::TraceFixture;

TEST_F(TraceProcesses, ShareOneFileWithoutLosingOrTearingAMessage) {
    for (bool mutex_always_busy : {false, true}) {
        SCOPED_TRACE(mutex_always_busy ? "mutex busy" : "mutex free");
        std::filesystem::remove(TracePath());
        UseTraceFile(3);
        cx::test::ChildOptions options;
        options.environment["CX_TRACE_CHILD_REGISTRY"] = directory_.File("registry.db");
        HANDLE busy = nullptr;
        if (mutex_always_busy) {
            busy = CreateMutexA(nullptr, TRUE, FileMutexName().c_str());
            // Every wait then times out; a shorter agent time keeps the 20 ms waits short.
            options.environment["CX_TIME_SCALE"] = "20";
        }
        std::vector<std::unique_ptr<cx::test::ChildProcess>> children;
        for (int p = 0; p < kProcesses; ++p) {
            options.environment["CX_TRACE_CHILD_ID"] = std::to_string(p);
            children.push_back(std::make_unique<cx::test::ChildProcess>(
                std::vector<std::string>{"/proc/self/exe",
                                         "--gtest_filter=TraceWriterChild.WritesItsShare"},
                options));
        }
        for (auto& child : children)
            EXPECT_EQ(child->Wait(240s), 0);
        if (busy != nullptr) CloseHandle(busy);

        std::regex whole("(\\(\\d{5,}\\) )?P(\\d) T(\\d) M(\\d{4}) (p*)");
        std::set<std::string> seen;
        size_t torn = 0;
        for (const std::string& line : cx::test::CrlfLines(TraceText())) {
            std::smatch parts;
            if (!std::regex_match(line, parts, whole) ||
                static_cast<int>(parts[5].length()) != std::stoi(parts[4]) % 97 * 3) {
                if (++torn <= 5) ADD_FAILURE() << "torn: " << line.substr(0, 80);
            } else {
                seen.insert(parts[2].str() + parts[3].str() + parts[4].str());
            }
        }
        EXPECT_EQ(torn, 0u);
        EXPECT_EQ(seen.size(), size_t{kProcesses * kThreads * kMessages});
    }
}

}  // namespace
