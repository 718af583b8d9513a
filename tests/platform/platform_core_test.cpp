// The platform layer's core: events, waits, critical sections, last error and the time scale,
// OID order, and module names.
#include <gtest/gtest.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "platform/snmp.h"
#include "platform/windows.h"
#include "scoped_env.h"

namespace {

using cx::test::WaitUntil;
using namespace std::chrono_literals;

// SetEvent on an auto-reset event releases one waiter and is consumed; on a manual-reset
// event it releases every waiter and stays until reset.
TEST(Event, SetReleasesOneWaiterOrAllAndResetClears) {
    for (BOOL manual : {FALSE, TRUE}) {
        SCOPED_TRACE(manual ? "manual" : "automatic");
        HANDLE event = CreateEventA(nullptr, manual, FALSE, nullptr);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitForSingleObject(event, 30), WAIT_TIMEOUT);
        EXPECT_GE(std::chrono::steady_clock::now() - start, 25ms);
        std::atomic<int> released{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 4; ++i) {
            waiters.emplace_back([&] {
                if (WaitForSingleObject(event, 10000) == WAIT_OBJECT_0) ++released;
            });
        }
        for (int signals = 1; signals <= (manual ? 1 : 4); ++signals) {
            SetEvent(event);
            ASSERT_TRUE(WaitUntil([&] { return released.load() == (manual ? 4 : signals); }));
            EXPECT_EQ(WaitForSingleObject(event, 0), manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        }
        for (auto& waiter : waiters)
            waiter.join();
        EXPECT_TRUE(ResetEvent(event));
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
        EXPECT_TRUE(CloseHandle(event));
    }
    HANDLE set = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(set, 0), WAIT_OBJECT_0) << "created signalled";
    CloseHandle(set);
}

TEST(Handles, InvalidOrClosedHandlesFailAndAWaiterSurvivesTheClose) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<DWORD> result{12345};
    std::thread waiter([&] { result = WaitForSingleObject(event, 200); });
    std::this_thread::sleep_for(20ms);  // most often closed while the waiter waits
    EXPECT_TRUE(CloseHandle(event));
    waiter.join();
    EXPECT_EQ(result.load(), WAIT_TIMEOUT);
    EXPECT_FALSE(CloseHandle(event)) << "closed twice";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x1234567), 0), WAIT_FAILED);
}

TEST(CriticalSectionAndLastError, SectionIsRecursiveAndLastErrorPerThread) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    auto other_enters = [&] {
        BOOL entered = FALSE;
        std::thread([&] {
            entered = TryEnterCriticalSection(&section);
            if (entered) LeaveCriticalSection(&section);
        }).join();
        return entered;
    };
    EXPECT_FALSE(other_enters());
    LeaveCriticalSection(&section);
    EXPECT_FALSE(other_enters()) << "still held once";
    LeaveCriticalSection(&section);
    EXPECT_TRUE(other_enters());
    DeleteCriticalSection(&section);

    SetLastError(1234);
    std::thread([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(99);
    }).join();
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST(TimeScale, ShortensWaitsSpeedsTheTickCountAndIgnoresNonsense) {
    cx::test::ScopedEnv scale("CX_TIME_SCALE", "1");
    for (const char* value : {"0", "-3", "abc", "", "1e999", "nan", "5x"}) {
        scale.Set(value);
        EXPECT_EQ(CxTimeScale(), 1.0) << value;
    }
    scale.Set("2.5");
    EXPECT_EQ(CxTimeScale(), 2.5);
    scale.Set("1000");
    EXPECT_EQ(CxScaleWait(60000), 60u);
    EXPECT_EQ(CxScaleWait(1), 1u) << "a non-zero wait stays non-zero";
    EXPECT_EQ(CxScaleWait(0), 0u);
    EXPECT_EQ(CxScaleWait(INFINITE), INFINITE);

    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    auto start = std::chrono::steady_clock::now();
    DWORD ticks_before = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(event, 20000), WAIT_TIMEOUT);  // 20 s agent time
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_GE(GetTickCount() - ticks_before, 19000u) << "the agent's clock saw 20 s pass";
    CloseHandle(event);
}

// An OID whose ids point into the vector (not allocated: never freed).
AsnObjectIdentifier View(std::vector<UINT>& ids) {
    return AsnObjectIdentifier{static_cast<UINT>(ids.size()), ids.empty() ? nullptr : ids.data()};
}

// SnmpUtilOidCmp (n 0) orders by sub-identifiers, unsigned, then by length; SnmpUtilOidNCmp
// looks at the first n sub-identifiers only.
TEST(OidCmp, OrdersBySubIdentifiersThenLength) {
    struct Case {
        std::vector<UINT> first, second;
        int sign;
        UINT n = 0;
    } cases[] = {
        {.first = {1, 3, 6}, .second = {1, 3, 6}, .sign = 0},
        {.first = {1, 3}, .second = {1, 3, 6}, .sign = -1},  // a prefix is less
        {.first = {1, 3, 6}, .second = {1, 3}, .sign = 1},
        {.first = {1, 3, 7}, .second = {1, 3, 6, 1}, .sign = 1},
        {.first = {}, .second = {1}, .sign = -1},
        {.first = {}, .second = {}, .sign = 0},
        {.first = {0xFFFFFFFFu}, .second = {1}, .sign = 1},
        {.first = {1, 3, 6, 1, 4}, .second = {1, 3, 6, 2}, .sign = 0, .n = 3},
        {.first = {1, 3, 6, 1, 4}, .second = {1, 3, 6, 2}, .sign = -1, .n = 4},
        {.first = {1, 3, 6, 1, 4}, .second = {1, 3}, .sign = 0, .n = 2},
    };
    for (auto& c : cases) {
        auto first = View(c.first);
        auto second = View(c.second);
        int result =
            c.n == 0 ? SnmpUtilOidCmp(&first, &second) : SnmpUtilOidNCmp(&first, &second, c.n);
        EXPECT_EQ((result > 0) - (result < 0), c.sign)
            << "case " << (&c - cases) << " gave " << result;
    }
}

// The executable, or the module of an address, truncated as Windows does.
TEST(ModuleFileName, NamesTheModuleAndTruncatesAsWindows) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::string(path).size(), length);
    EXPECT_NE(std::string(path).find("platform_core_test"), std::string::npos);

    char small[5];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof(small)), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), std::string(path, 4));

    HMODULE module = CxModuleFromAddress(reinterpret_cast<const void*>(&GetModuleFileNameA));
    ASSERT_NE(module, nullptr);
    EXPECT_GT(GetModuleFileNameA(module, path, sizeof(path)), 0u);
    EXPECT_EQ(CxModuleFromAddress(nullptr), nullptr);
    EXPECT_EQ(GetModuleBaseNameA(nullptr, nullptr, path, sizeof(path)), 0u) << "no process";
}

TEST(ModuleLock, TakesOnlyModulesAlreadyLoaded) {
    EXPECT_NE(CxLockLoadedModule("libc.so.6"), nullptr);
    EXPECT_EQ(CxLockLoadedModule("libcx-not-installed.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(CxLockLoadedModule(""), nullptr);
}

}  // namespace
