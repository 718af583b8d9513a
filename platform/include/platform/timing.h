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

// The current time zone. Local time = UTC - (Bias + StandardBias or DaylightBias) minutes.
struct TIME_ZONE_INFORMATION {
    LONG Bias;
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;  // when daylight time ends (local daylight time); wMonth 0: never
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;  // when daylight time begins (local standard time); wMonth 0: never
    LONG DaylightBias;
};
using LPTIME_ZONE_INFORMATION = TIME_ZONE_INFORMATION*;

#define TIME_ZONE_ID_UNKNOWN 0u  // the zone has no daylight time
#define TIME_ZONE_ID_STANDARD 1u
#define TIME_ZONE_ID_DAYLIGHT 2u
#define TIME_ZONE_ID_INVALID 0xFFFFFFFFu

// TIME_ZONE_ID_STANDARD or _DAYLIGHT for the time now, TIME_ZONE_ID_UNKNOWN for a zone without
// daylight time, TIME_ZONE_ID_INVALID (ERROR_INVALID_PARAMETER) for a NULL argument. The
// transition dates are the absolute ones (wYear set) nearest to now.
DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION zone);

// The factor read once from CX_TIME_SCALE; 1 when unset or not a positive number.
double CxTimeScale();
// A wait of `milliseconds` agent time in real milliseconds (INFINITE stays INFINITE; a non-zero
// wait stays non-zero).
DWORD CxScaleWait(DWORD milliseconds);
// Re-reads CX_TIME_SCALE; for tests that change it at run time.
void CxResetTimeScale();
