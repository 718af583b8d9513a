// CThread: one worker thread with a name, a bounded wait for its end and a last-resort stop.
//
// Owners stop a thread in three stages: ask it to stop (a flag or event it polls), WaitForEnd
// with their own bound, and finally the destructor's 5-second wait followed by Terminate. On
// Linux Terminate cannot stop a running thread; it traces the warning, lets the thread go and
// returns FALSE, so that the owner knows the thread may still run its code.
#pragma once

#include "platform/windows.h"

class CThread {
  public:
    CThread() = default;
    ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    BOOL Start(LPTHREAD_START_ROUTINE function, LPVOID argument,
               int priority = THREAD_PRIORITY_NORMAL, BOOL create_suspended = FALSE,
               UINT stack_size = 0, DWORD_PTR affinity = 0);
    void SetName(const char* name, const char* suffix);
    BOOL IsRunning();
    BOOL WaitForEnd(DWORD timeout_ms);
    BOOL Terminate(DWORD exit_code);
    BOOL Close();

    HANDLE m_hThread = nullptr;
    DWORD m_dwThreadId = 0;
    DWORD m_dwLastError = 0;
    DWORD bTerminateThread = 1;
    char m_szName[32] = {};
};
