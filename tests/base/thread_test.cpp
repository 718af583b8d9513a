// CThread and CEvent: start, names, bounded waits and the stop of a thread that will not end.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "base/event.h"
#include "base/thread.h"

namespace {

DWORD WaitForEvent(LPVOID parameter) {
    static_cast<CEvent*>(parameter)->Wait(INFINITE);
    return 3;
}

struct StopAndDone {
    CEvent stop{FALSE, TRUE};
    std::atomic<bool> done{false};
};

DWORD WaitThenReport(LPVOID parameter) {
    auto* state = static_cast<StopAndDone*>(parameter);
    state->stop.Wait(INFINITE);
    state->done = true;
    return 0;
}

DWORD Increment(LPVOID parameter) {
    ++*static_cast<std::atomic<int>*>(parameter);
    return 0;
}

TEST(CThreadName, KeepsAtMost31Characters) {
    CThread thread;
    thread.SetName("CX_MIB", ":Thread_InitMib");
    EXPECT_STREQ(thread.m_szName, "CX_MIB:Thread_InitMib");
    CThread twenty;
    twenty.SetName("ABCDEFGHIJKLMNOPQRST", "123456789012345");
    EXPECT_STREQ(twenty.m_szName, "ABCDEFGHIJKLMNOPQRST") << "suffix dropped when it won't fit";
    CThread exact;
    exact.SetName("ABCDEFGHIJKLMNOPQRST", "12345678901");
    EXPECT_EQ(std::string(exact.m_szName).size(), 31u) << "31 characters still fit";
    CThread longer;
    longer.SetName(std::string(40, 'x').c_str(), "s");
    EXPECT_EQ(std::string(longer.m_szName), std::string(31, 'x'));
    longer.SetName("", "z");
    longer.SetName(nullptr, "z");
    EXPECT_EQ(std::string(longer.m_szName), std::string(31, 'x')) << "empty names change nothing";
}

TEST(CThreadRun, StartsWaitsAndCloses) {
    std::atomic<int> counter{0};
    CThread thread;
    ASSERT_TRUE(thread.Start(Increment, &counter));
    EXPECT_NE(thread.m_dwThreadId, 0u);
    EXPECT_TRUE(thread.WaitForEnd(5000));
    EXPECT_EQ(counter.load(), 1);
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_TRUE(thread.Close());
    EXPECT_FALSE(thread.Close());
    EXPECT_TRUE(thread.WaitForEnd(0)) << "no thread: nothing to wait for";
}

TEST(CThreadRun, SuspendedStartRunsAfterResume) {
    std::atomic<int> counter{0};
    CThread thread;
    ASSERT_TRUE(thread.Start(Increment, &counter, THREAD_PRIORITY_NORMAL, TRUE));
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_FALSE(thread.WaitForEnd(20));
    ResumeThread(thread.m_hThread);
    EXPECT_TRUE(thread.WaitForEnd(5000));
    EXPECT_EQ(counter.load(), 1);
}

TEST(CThreadRun, OwnerStopsThreadInStages) {
    CEvent stop(FALSE, TRUE);
    CThread thread;
    ASSERT_TRUE(thread.Start(WaitForEvent, &stop));
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_FALSE(thread.WaitForEnd(30)) << "the owner's bounded wait times out";
    stop.Set();
    EXPECT_TRUE(thread.WaitForEnd(5000));
    DWORD code = 0;
    GetExitCodeThread(thread.m_hThread, &code);
    EXPECT_EQ(code, 3u);
}

TEST(CThreadRun, TerminateReportsAThreadThatCannotBeStopped) {
    StopAndDone state;
    {
        CThread thread;
        ASSERT_TRUE(thread.Start(WaitThenReport, &state));
        DWORD before = CxAbandonedThreadCount();
        EXPECT_FALSE(thread.Terminate(0));
        EXPECT_EQ(thread.m_hThread, nullptr) << "the handle is closed all the same";
        EXPECT_EQ(CxAbandonedThreadCount(), before + 1);
    }
    state.stop.Set();  // let the abandoned thread end before its state goes away
    for (int i = 0; i < 5000 && !state.done; ++i)
        Sleep(1);
    ASSERT_TRUE(state.done.load());
    CThread ended;
    std::atomic<int> counter{0};
    ASSERT_TRUE(ended.Start(Increment, &counter));
    ASSERT_TRUE(ended.WaitForEnd(5000));
    EXPECT_TRUE(ended.Terminate(0)) << "an ended thread needs no terminating";
}

TEST(CEventObject, SetResetWaitAndMissingHandle) {
    CEvent manual(FALSE, TRUE);
    EXPECT_EQ(manual.Wait(0), WAIT_TIMEOUT);
    EXPECT_TRUE(manual.Set());
    EXPECT_EQ(manual.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(manual.Wait(0), WAIT_OBJECT_0);
    EXPECT_TRUE(manual.Reset());
    EXPECT_EQ(manual.Wait(10), WAIT_TIMEOUT);

    CEvent automatic(TRUE, FALSE);
    EXPECT_EQ(automatic.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(automatic.Wait(0), WAIT_TIMEOUT);

    CEvent first(FALSE, TRUE, "cx-base-test-event");
    CEvent second(FALSE, TRUE, "cx-base-test-event");
    EXPECT_EQ(first.m_dwCreateError, 0u);
    EXPECT_EQ(second.m_dwCreateError, static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    CloseHandle(manual.m_hEvent);
    manual.m_hEvent = nullptr;
    EXPECT_FALSE(manual.Set());
    EXPECT_FALSE(manual.Reset());
    EXPECT_EQ(manual.Wait(0), WAIT_FAILED);
}

}  // namespace
