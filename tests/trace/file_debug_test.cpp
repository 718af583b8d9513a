// CFileDebug against a registry of the test's own: settings, sinks, banners, stamps,
// rotation, re-reading, failures and threads.
#include "base/file_debug.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <vector>

#include "platform/windows.h"
#include "platform/winreg.h"
#include "trace_test_support.h"

namespace {

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

}  // namespace
