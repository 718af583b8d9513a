// The trace: the text of a line, CFileDebug against a registry of the test's own, and
// processes sharing one trace file.
#include <gtest/gtest.h>
#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/file_debug.h"
#include "child_process.h"
#include "platform/registry_store.h"
#include "platform/windows.h"
#include "platform/winreg.h"
#include "trace_line.h"
#include "trace_reader.h"
#include "trace_test_support.h"

namespace {

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
        {"date", Only(&StampValues::date), "\n[2024-03-05] CSnmpMgr            : text"},
        {"time", Only(&StampValues::time), "\n[07:08:09.010] CSnmpMgr            : text"},
        {"thread", Only(&StampValues::thread), "\n(00042) CSnmpMgr            : text"},
        {"wide thread", wide, "\n(4194303) CSnmpMgr            : text"},
        {"processor", Only(&StampValues::processor), "\n#03 CSnmpMgr            : text"},
        {"memory", big_memory, "\n{PB 123456kB, MU 00000kB} CSnmpMgr            : text"},
        {"handles", Only(&StampValues::handles), "\n{007 H} CSnmpMgr            : text"},
        {"name", NameOnly("CX_MIB"), "\nCX_MIB:        CSnmpMgr            : text"},
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
using namespace std::chrono_literals;

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
    auto level = [&](DWORD value) { SetDword(kApplication, "FileDebugLevel", value); };
    auto path = [&](const std::string& text, DWORD size) {
        SetValue(kApplication, "TraceFile", REG_SZ, text.data(), size);
    };
    const std::string full = TracePath() + std::string(MAX_PATH - TracePath().size(), 'x');
    struct Case {
        const char* label;
        std::function<void()> settings;
        bool active;
        std::string file;  // a pattern; empty: no file at all
    } const cases[] = {
        {"no key", [] {}, false, ""},
        {"DynamicUpdate alone", [&] { SetDword("", "DynamicUpdate", 5); }, true, ""},
        {"level without TraceFile", [&] { level(3); }, false, ""},
        {"TraceFile without level", [&] { SetText(kApplication, "TraceFile", TracePath()); }, false,
         ""},
        {"level 3", [&] { UseTraceFile(3); }, true, started + levels_1_to_3},
        {"level of another type",
         [&] { UseTraceFile(3), SetText(kApplication, "FileDebugLevel", "3"); }, false, ""},
        {"expandable path",
         [&] {
             level(3);
             SetText(kApplication, "TraceFile", "%CX_TRACE_TEST_DIR%/trace.log", REG_EXPAND_SZ);
         },
         true, started + levels_1_to_3},
        {"path without its NUL",
         [&] { level(1), path(TracePath(), static_cast<DWORD>(TracePath().size())); }, true,
         started + "\r\nlevel 1"},
        {"260 characters without a NUL", [&] { level(1), path(full, MAX_PATH); }, false, ""},
        {"path too long",
         [&] { level(3), SetText(kApplication, "TraceFile", TracePath() + std::string(300, 'x')); },
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
        SetDword(kApplication, stamp, 1);
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
    SetDword(kApplication, "ConDebugLevel", 2);
    SetDword(kApplication, "WinDebugLevel", 3);
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
        SetDword(kApplication, "TraceFileLimit", c.limit_mb);
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

TEST_F(FileDebug, TheFileMutexIsNamedAfterThePath) {
    UseTraceFile(1);
    SetDword(kApplication, "TraceFileLimit", 0xFFFFFFFF);
    auto trace = std::make_unique<CFileDebug>();
    trace->Init(kApplication, FALSE);
    EXPECT_EQ(trace->m_dwFileSizeLimit.load(), 4095u << 20) << "the largest limit that fits";
    std::string name = "CFileDebug_" + TracePath();
    for (char& c : name)
        c = c == '/' ? '_' : c;
    HANDLE same = CreateMutexA(nullptr, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(same);
    HANDLE own = trace->m_hFileMutex;
    trace.reset();
    EXPECT_FALSE(CloseHandle(own)) << "closed with the trace";
}

TEST_F(FileDebug, DynamicUpdateRereadsOnceTheIntervalHasPassed) {
    SetDword("", "DynamicUpdate", 5);
    UseTraceFile(1);
    CFileDebug trace;
    trace.Init(kApplication, FALSE);
    SetDword(kApplication, "FileDebugLevel", 3);
    DWORD now = GetTickCount() >> 10;
    trace.m_dwLastRead = now - 3;
    trace.Trace(3, "\nearly");
    trace.m_dwLastRead = now - 5;
    trace.Trace(3, "\ndue");
    SetDword(kApplication, "FileDebugLevel", 1);
    trace.m_dwLastRead = now + 100;  // the tick counter wrapped
    trace.Trace(3, "\nafter the wrap");
    EXPECT_EQ(TraceText(), "\r\ndue");
}

TEST_F(FileDebug, FailuresStayInsideTheTrace) {
    SetDword(kApplication, "FileDebugLevel", 2);
    SetText(kApplication, "TraceFile", directory_.File("missing/trace.log"));
    SetDword(kApplication, "WinDebugLevel", 1);
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
            HKEY key = nullptr;
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Debug\\CX_MIB", 0, KEY_SET_VALUE, &key);
            RegSetValueExA(key, "ThreadIdOn", 0, REG_DWORD, reinterpret_cast<BYTE*>(&on),
                           sizeof(on));
            RegCloseKey(key);
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
            std::string name = "CFileDebug_" + TracePath();
            for (char& c : name)
                c = c == '/' ? '_' : c;
            busy = CreateMutexA(nullptr, TRUE, name.c_str());
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
