// CThread and CEvent: start, names, bounded waits and the stop of a thread that will not end.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "base/event.h"
#include "base/thread.h"
#include "child_process.h"

namespace {

struct StopAndDone {
    CEvent stop{FALSE, TRUE};
    std::atomic<bool> done{false};
};

DWORD WaitThenReport(LPVOID parameter) {
    auto* state = static_cast<StopAndDone*>(parameter);
    state->stop.Wait(INFINITE);
    state->done = true;
    return 3;
}

TEST(CThreadName, KeepsAtMost31Characters) {
    const std::string forty(40, 'x');
    struct Case {
        const char* name;
        const char* suffix;
        std::string expected;
    } const cases[] = {
        {"CX_MIB", ":Thread_InitMib", "CX_MIB:Thread_InitMib"},
        {"ABCDEFGHIJKLMNOPQRST", "123456789012345", "ABCDEFGHIJKLMNOPQRST"},  // suffix dropped
        {"ABCDEFGHIJKLMNOPQRST", "12345678901", "ABCDEFGHIJKLMNOPQRST12345678901"},
        {forty.c_str(), "s", std::string(31, 'x')},
    };
    for (const Case& c : cases) {
        CThread thread;
        thread.SetName(c.name, c.suffix);
        EXPECT_EQ(thread.m_szName, c.expected) << c.name;
    }
    CThread thread;
    thread.SetName("kept", "");
    thread.SetName("", "z");
    thread.SetName(nullptr, "z");
    EXPECT_STREQ(thread.m_szName, "kept") << "empty names change nothing";
}

// Started suspended, the thread waits for Resume; the owner's bounded waits time out until it
// is told to stop.
TEST(CThreadRun, StartsSuspendedWaitsBoundedAndCloses) {
    StopAndDone state;
    CThread thread;
    ASSERT_TRUE(thread.Start(WaitThenReport, &state, THREAD_PRIORITY_NORMAL, TRUE));
    EXPECT_NE(thread.m_dwThreadId, 0u);
    EXPECT_TRUE(thread.IsRunning());
    state.stop.Set();
    EXPECT_FALSE(thread.WaitForEnd(20)) << "still suspended";
    EXPECT_FALSE(state.done.load());
    ResumeThread(thread.m_hThread);
    EXPECT_TRUE(thread.WaitForEnd(5000));
    EXPECT_FALSE(thread.IsRunning());
    DWORD code = 0;
    GetExitCodeThread(thread.m_hThread, &code);
    EXPECT_EQ(code, 3u);
    EXPECT_TRUE(thread.Terminate(0)) << "an ended thread needs no terminating";
    EXPECT_FALSE(thread.Close());
    EXPECT_TRUE(thread.WaitForEnd(0)) << "no thread: nothing to wait for";
}

TEST(CThreadRun, TerminateReportsAThreadThatCannotBeStopped) {
    StopAndDone state;
    {
        CThread thread;
        ASSERT_TRUE(thread.Start(WaitThenReport, &state));
        EXPECT_FALSE(thread.WaitForEnd(30)) << "the owner's bounded wait times out";
        DWORD before = CxAbandonedThreadCount();
        EXPECT_FALSE(thread.Terminate(0));
        EXPECT_EQ(thread.m_hThread, nullptr) << "the handle is closed all the same";
        EXPECT_EQ(CxAbandonedThreadCount(), before + 1);
    }
    state.stop.Set();  // let the abandoned thread end before its state goes away
    ASSERT_TRUE(cx::test::WaitUntil([&] { return state.done.load(); }));
}

TEST(CEventObject, ReportsANameInUseAndAMissingHandle) {
    CEvent first(FALSE, TRUE, "cx-base-test-event");
    CEvent second(FALSE, TRUE, "cx-base-test-event");
    EXPECT_EQ(first.m_dwCreateError, 0u);
    EXPECT_EQ(second.m_dwCreateError, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(first.Set());
    EXPECT_EQ(second.Wait(0), WAIT_OBJECT_0) << "one event under both names";
    EXPECT_TRUE(second.Reset());
    EXPECT_EQ(first.Wait(10), WAIT_TIMEOUT);
    CloseHandle(first.m_hEvent);
    first.m_hEvent = nullptr;
    EXPECT_FALSE(first.Set());
    EXPECT_FALSE(first.Reset());
    EXPECT_EQ(first.Wait(0), WAIT_FAILED);
}

}  // namespace
