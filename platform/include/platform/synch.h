// Synchronisation: critical sections, events, mutexes, waits and interlocked operations.
#pragma once

#include "platform/windef.h"

// A recursive lock, as on Windows. The storage holds the lock itself so that the structure can
// be a plain member; it must be initialised before use and deleted afterwards.
struct CRITICAL_SECTION {
    alignas(16) unsigned char opaque[64];
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spin_count);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);

// Events. A name makes the event shared within this process: a second create with the same
// name opens the same event and sets ERROR_ALREADY_EXISTS. Events are not shared between
// processes on Linux.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state,
                    LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Mutexes. A named mutex is shared between processes (see docs/PLATFORM.md for the lock file
// that carries the name); an unnamed one serves this process only. Recursive for the owner.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCSTR name);
BOOL ReleaseMutex(HANDLE mutex);

// Waits on an event, mutex or thread. The time-out is in agent milliseconds (CX_TIME_SCALE).
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

void Sleep(DWORD milliseconds);
BOOL SwitchToThread();

LONG InterlockedIncrement(LONG volatile* value);
LONG InterlockedDecrement(LONG volatile* value);
LONG InterlockedExchange(LONG volatile* target, LONG value);
LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand);
