// Events, waits, critical sections, last error and the time scale.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "child_process.h"
#include "platform/windows.h"
#include "scoped_env.h"

namespace {

using cx::test::WaitUntil;
using namespace std::chrono_literals;

TEST(Event, InitialStateAndTimeouts) {
    HANDLE set = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE clear = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(WaitForSingleObject(set, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(set, 0), WAIT_OBJECT_0) << "manual reset stays signalled";
    EXPECT_EQ(WaitForSingleObject(clear, 0), WAIT_TIMEOUT);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(clear, 30), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 25ms);
    EXPECT_TRUE(ResetEvent(set));
    EXPECT_EQ(WaitForSingleObject(set, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(set));
    EXPECT_TRUE(CloseHandle(clear));
}

// SetEvent on an auto-reset event releases one waiter and is consumed; on a manual-reset
// event it releases every waiter and stays.
TEST(Event, SetReleasesOneWaiterOrAll) {
    for (BOOL manual : {FALSE, TRUE}) {
        HANDLE event = CreateEventA(nullptr, manual, FALSE, nullptr);
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
            EXPECT_EQ(WaitForSingleObject(event, 0), manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT)
                << "manual " << manual;
        }
        for (auto& waiter : waiters)
            waiter.join();
        EXPECT_EQ(released.load(), 4);
        CloseHandle(event);
    }
}

TEST(Event, NamedEventsAreSharedInTheProcess) {
    HANDLE first = CreateEventA(nullptr, TRUE, FALSE, "cx-test-named");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE second = CreateEventA(nullptr, TRUE, FALSE, "cx-test-named");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    SetEvent(first);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
    CloseHandle(first);
    CloseHandle(second);
}

TEST(Handles, InvalidHandlesFail) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_FALSE(CloseHandle(event)) << "closed twice";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x1234567), 0), WAIT_FAILED);
}

TEST(Handles, CloseDuringWaitKeepsTheWaiterSafe) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<DWORD> result{12345};
    std::thread waiter([&] { result = WaitForSingleObject(event, 200); });
    std::this_thread::sleep_for(20ms);
    CloseHandle(event);
    waiter.join();
    EXPECT_EQ(result.load(), WAIT_TIMEOUT);
}

TEST(CriticalSection, IsRecursiveAndExcludesOthers) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    std::atomic<BOOL> other{TRUE};
    std::thread([&] { other = TryEnterCriticalSection(&section); }).join();
    EXPECT_FALSE(other.load());
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    std::thread([&] {
        other = TryEnterCriticalSection(&section);
        if (other) LeaveCriticalSection(&section);
    }).join();
    EXPECT_TRUE(other.load());
    DeleteCriticalSection(&section);
}

TEST(LastError, IsPerThread) {
    SetLastError(1234);
    std::thread([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(99);
    }).join();
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST(TimeScale, ShortensWaitsAndSpeedsTheTickCount) {
    cx::test::ScopedEnv scale("CX_TIME_SCALE", "1000");
    EXPECT_EQ(CxTimeScale(), 1000.0);
    EXPECT_EQ(CxScaleWait(60000), 60u);
    EXPECT_EQ(CxScaleWait(1), 1u) << "a non-zero wait stays non-zero";
    EXPECT_EQ(CxScaleWait(0), 0u);
    EXPECT_EQ(CxScaleWait(INFINITE), INFINITE);

    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    auto start = std::chrono::steady_clock::now();
    DWORD ticks_before = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(event, 20000), WAIT_TIMEOUT);  // 20 s agent time
    auto real = std::chrono::steady_clock::now() - start;
    EXPECT_LT(real, 2s);
    EXPECT_GE(GetTickCount() - ticks_before, 19000u) << "the agent's clock saw 20 s pass";
    CloseHandle(event);
}

TEST(TimeScale, IgnoresNonsense) {
    cx::test::ScopedEnv scale("CX_TIME_SCALE", "1");
    for (const char* value : {"0", "-3", "abc", "", "1e999", "nan", "5x"}) {
        scale.Set(value);
        EXPECT_EQ(CxTimeScale(), 1.0) << value;
    }
    scale.Set("2.5");
    EXPECT_EQ(CxTimeScale(), 2.5);
}

}  // namespace
