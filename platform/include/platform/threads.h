// Threads and processes.
//
// Linux cannot stop a thread from outside without corrupting the process, so TerminateThread
// refuses (FALSE, ERROR_NOT_SUPPORTED) and counts the thread as abandoned: it keeps running
// and may still execute code of the module that started it. CxAbandonedThreadCount tells a
// host whether unloading that code is safe.
#pragma once

#include "platform/windef.h"

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);

#define CREATE_SUSPENDED 0x00000004u
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000u

#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_TIME_CRITICAL 15

#define PROCESS_QUERY_INFORMATION 0x0400u
#define PROCESS_VM_READ 0x0010u
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000u

HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stack_size,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, LPDWORD thread_id);
// Returns the previous suspend count, or 0xFFFFFFFF on failure.
DWORD ResumeThread(HANDLE thread);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exit_code);
BOOL TerminateThread(HANDLE thread, DWORD exit_code);
// Priorities are accepted and recorded; Linux threads of one policy share one priority.
BOOL SetThreadPriority(HANDLE thread, int priority);
int GetThreadPriority(HANDLE thread);
// Returns the previous mask, or 0 on failure.
DWORD_PTR SetThreadAffinityMask(HANDLE thread, DWORD_PTR mask);
// The pseudo handle of the calling thread; valid only in the calling thread, never closed.
HANDLE GetCurrentThread();
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();
DWORD CxAbandonedThreadCount();

// A handle for asking about another process (its name and executable).
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD process_id);
