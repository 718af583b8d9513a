// Clocks and the process-wide time scale.
//
// CX_TIME_SCALE (a positive factor, default 1) makes the agent's own time run faster: Sleep and
// timed waits last 1/factor of what they ask for, and GetTickCount advances factor times faster,
// so that minute-long agent waits run in milliseconds in tests while elapsed-time arithmetic
// stays consistent. Wall-clock time (GetLocalTime, GetSystemTime) and network time-outs are not
// scaled.
#pragma once

#include "platform/windef.h"

DWORD GetTickCount();
ULONGLONG GetTickCount64();
void GetLocalTime(LPSYSTEMTIME time);
void GetSystemTime(LPSYSTEMTIME time);
void GetSystemTimeAsFileTime(LPFILETIME time);

// The factor read once from CX_TIME_SCALE; 1 when unset or not a positive number.
double CxTimeScale();
// A wait of `milliseconds` agent time in real milliseconds (INFINITE stays INFINITE; a non-zero
// wait stays non-zero).
DWORD CxScaleWait(DWORD milliseconds);
// Re-reads CX_TIME_SCALE; for tests that change it at run time.
void CxResetTimeScale();
