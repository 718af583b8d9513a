// Two processes of four threads each share one trace file while a fifth thread in each keeps
// re-reading the settings: every message arrives whole and none is lost, also when every wait
// for the file's mutex times out.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/file_debug.h"
#include "child_process.h"
#include "platform/registry_store.h"
#include "platform/windows.h"
#include "trace_reader.h"
#include "trace_test_support.h"

namespace {

using namespace std::chrono_literals;

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
