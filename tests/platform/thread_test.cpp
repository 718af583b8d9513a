// Threads: suspended start, exit codes, waits and the refusal to kill a running thread.
#include <gtest/gtest.h>

#include "platform/windows.h"

namespace {

DWORD WaitOnEvent(LPVOID parameter) {
    WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE);
    return 7;
}

DWORD ReportId(LPVOID parameter) {
    *static_cast<DWORD*>(parameter) = GetCurrentThreadId();
    return 42;
}

TEST(Thread, SuspendedThreadRunsAfterResumeAndReportsItsExitCode) {
    DWORD reported = 0, id = 0, code = 0;
    HANDLE thread = CreateThread(nullptr, 64 * 1024, ReportId, &reported, CREATE_SUSPENDED, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(reported, id) << "CreateThread reports the identifier the thread sees";
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "an ended thread stays signalled";
    EXPECT_EQ(ResumeThread(thread), 0u);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// A suspended thread is ended for real; a running one is refused and counted as abandoned.
TEST(Thread, TerminateEndsOnlyASuspendedThread) {
    DWORD reported = 0;
    HANDLE suspended = CreateThread(nullptr, 0, ReportId, &reported, CREATE_SUSPENDED, nullptr);
    EXPECT_TRUE(TerminateThread(suspended, 99));
    EXPECT_EQ(WaitForSingleObject(suspended, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(suspended, &code);
    EXPECT_EQ(code, 99u);
    EXPECT_EQ(reported, 0u) << "the routine never ran";
    CloseHandle(suspended);

    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, WaitOnEvent, event, 0, nullptr);
    DWORD abandoned_before = CxAbandonedThreadCount();
    EXPECT_FALSE(TerminateThread(thread, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(TerminateThread(thread, 1));
    EXPECT_EQ(CxAbandonedThreadCount(), abandoned_before + 1) << "counted once";
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 7u) << "the thread ended by itself";
    CloseHandle(thread);
    CloseHandle(event);
}

}  // namespace
