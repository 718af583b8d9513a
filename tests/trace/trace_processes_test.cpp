// Two processes of four threads each share one trace file: every message arrives whole and
// none is lost, also when every wait for the file's mutex times out.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/file_debug.h"
#include "child_process.h"
#include "platform/registry_store.h"
#include "platform/windows.h"
#include "trace_fixture.h"
#include "trace_reader.h"

namespace {

using namespace std::chrono_literals;

constexpr int kProcesses = 2;
constexpr int kThreads = 4;
constexpr int kMessages = 2000;

// The padding makes messages of many lengths, so that a torn one shows.
std::string Padding(int message) { return std::string(message % 97 * 3, 'p'); }

// Child side: writes its share through the process-wide trace and the call-site macro.
TEST(TraceWriterChild, WritesItsShare) {
    std::string registry = cx::test::ChildSetting("CX_TRACE_CHILD_REGISTRY");
    if (registry.empty()) GTEST_SKIP() << "runs only as a child of the test below";
    int process = std::stoi(cx::test::ChildSetting("CX_TRACE_CHILD_ID"));
    CxRegistrySetPath(registry.c_str());
    g_FileDebug.Init(cx::test::kApplication, FALSE);
    ASSERT_TRUE(g_FileDebug.m_bActive.load());
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
}

class TraceProcesses : public cx::test::TraceFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(TraceProcesses, ShareOneFileWithoutLosingOrTearingAMessage) {
    bool mutex_always_busy = GetParam();
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

    std::regex whole("P(\\d) T(\\d) M(\\d{4}) (p*)");
    std::set<std::string> seen;
    size_t torn = 0;
    for (const std::string& line : cx::test::CrlfLines(TraceText())) {
        std::smatch parts;
        if (!std::regex_match(line, parts, whole) ||
            static_cast<int>(parts[4].length()) != std::stoi(parts[3]) % 97 * 3) {
            if (++torn <= 5) ADD_FAILURE() << "torn: " << line.substr(0, 80);
        } else {
            seen.insert(parts[1].str() + parts[2].str() + parts[3].str());
        }
    }
    EXPECT_EQ(torn, 0u);
    EXPECT_EQ(seen.size(), size_t{kProcesses * kThreads * kMessages});
}

INSTANTIATE_TEST_SUITE_P(MutexFreeOrBusy, TraceProcesses, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Busy" : "Free"; });

}  // namespace
