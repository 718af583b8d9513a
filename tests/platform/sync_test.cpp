// Events, waits, critical sections, last error and the time scale.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/windows.h"

namespace {

using namespace std::chrono_literals;

// Waits (bounded) until `condition` holds.
template <class Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = 5s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

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

TEST(Event, AutoResetReleasesExactlyOneWaiter) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, 10000) == WAIT_OBJECT_0) ++released;
        });
    }
    SetEvent(event);
    ASSERT_TRUE(Eventually([&] { return released.load() == 1; }));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "the signal was consumed";
    for (int expected = 2; expected <= 4; ++expected) {
        SetEvent(event);
        ASSERT_TRUE(Eventually([&] { return released.load() == expected; }));
    }
    for (auto& waiter : waiters)
        waiter.join();
    EXPECT_EQ(released.load(), 4);
    CloseHandle(event);
}

TEST(Event, ManualResetReleasesAllWaiters) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0) ++released;
        });
    }
    SetEvent(event);
    for (auto& waiter : waiters)
        waiter.join();
    EXPECT_EQ(released.load(), 4);
    CloseHandle(event);
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

TEST(Interlocked, CountsAcrossThreads) {
    LONG volatile counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i)
                InterlockedIncrement(&counter);
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(counter, 40000);
    EXPECT_EQ(InterlockedDecrement(&counter), 39999);
    EXPECT_EQ(InterlockedExchange(&counter, 5), 39999);
    EXPECT_EQ(InterlockedCompareExchange(&counter, 7, 4), 5) << "no exchange when unequal";
    EXPECT_EQ(InterlockedCompareExchange(&counter, 7, 5), 5);
    EXPECT_EQ(counter, 7);
}

TEST(LastError, IsPerThread) {
    SetLastError(1234);
    std::thread([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(99);
    }).join();
    EXPECT_EQ(GetLastError(), 1234u);
}

class TimeScale : public ::testing::Test {
  protected:
    void TearDown() override {
        unsetenv("CX_TIME_SCALE");
        CxResetTimeScale();
    }
    static void Scale(const char* value) {
        setenv("CX_TIME_SCALE", value, 1);
        CxResetTimeScale();
    }
};

TEST_F(TimeScale, ShortensWaitsAndSpeedsTheTickCount) {
    Scale("1000");
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

TEST_F(TimeScale, IgnoresNonsense) {
    for (const char* value : {"0", "-3", "abc", "", "1e999", "nan", "5x"}) {
        Scale(value);
        EXPECT_EQ(CxTimeScale(), 1.0) << value;
    }
    Scale("2.5");
    EXPECT_EQ(CxTimeScale(), 2.5);
}

TEST(Clock, LocalTimeIsPlausible) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    EXPECT_GE(now.wYear, 2024);
    EXPECT_GE(now.wMonth, 1);
    EXPECT_LE(now.wMonth, 12);
    EXPECT_LE(now.wHour, 23);
    EXPECT_LE(now.wMilliseconds, 999);
    FILETIME file_time{};
    GetSystemTimeAsFileTime(&file_time);
    ULONGLONG value = (ULONGLONG{file_time.dwHighDateTime} << 32) | file_time.dwLowDateTime;
    // Later than 2024-01-01 in 100 ns units since 1601.
    EXPECT_GT(value, 133485408000000000ULL);
}

}  // namespace
