// Clocks, the time zone, Sleep and the CX_TIME_SCALE factor.
#include <sched.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "platform/errors.h"
#include "platform/synch.h"
#include "platform/timing.h"

namespace {

std::atomic<double> g_scale{0.0};  // 0: not read yet

double ReadScale() {
    const char* text = std::getenv("CX_TIME_SCALE");
    if (text == nullptr || *text == '\0') return 1.0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value <= 0.0) return 1.0;
    return value;
}

// Agent milliseconds since the first call: real elapsed time times the scale.
ULONGLONG AgentMilliseconds() {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now() - std::chrono::hours(1);
    auto real = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return static_cast<ULONGLONG>(real * CxTimeScale());
}

void FillSystemTime(const std::tm& parts, long milliseconds, LPSYSTEMTIME time) {
    time->wYear = static_cast<WORD>(parts.tm_year + 1900);
    time->wMonth = static_cast<WORD>(parts.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    time->wDay = static_cast<WORD>(parts.tm_mday);
    time->wHour = static_cast<WORD>(parts.tm_hour);
    time->wMinute = static_cast<WORD>(parts.tm_min);
    time->wSecond = static_cast<WORD>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    time->wMilliseconds = static_cast<WORD>(milliseconds);
}

void SystemTimeFromClock(bool local, LPSYSTEMTIME time) {
    if (time == nullptr) return;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm parts{};
    if (local) {
        localtime_r(&now.tv_sec, &parts);
    } else {
        gmtime_r(&now.tv_sec, &parts);
    }
    FillSystemTime(parts, now.tv_nsec / 1000000, time);
}

// What the C library says about one instant of the local zone.
struct ZoneSample {
    time_t when = 0;
    long offset = 0;  // seconds east of UTC
    bool daylight = false;
    std::string name;
};

ZoneSample SampleZone(time_t when) {
    std::tm parts{};
    ZoneSample sample;
    sample.when = when;
    if (localtime_r(&when, &parts) == nullptr) return sample;
    sample.offset = parts.tm_gmtoff;
    sample.daylight = parts.tm_isdst > 0;
    sample.name = parts.tm_zone != nullptr ? parts.tm_zone : "";
    return sample;
}

// The first second after `before` that lies on `after`'s side of the change between daylight
// and standard time that the two samples enclose.
ZoneSample FindTransition(const ZoneSample& before, const ZoneSample& after) {
    time_t low = before.when, high = after.when;
    while (high - low > 1) {
        time_t middle = low + (high - low) / 2;
        if (SampleZone(middle).daylight == before.daylight) {
            low = middle;
        } else {
            high = middle;
        }
    }
    return SampleZone(high);
}

// A transition as the clocks read it when it happens: in the time that is ending.
SYSTEMTIME TransitionDate(time_t at, long offset_before) {
    time_t local = at + offset_before;
    std::tm parts{};
    SYSTEMTIME date{};
    if (gmtime_r(&local, &parts) != nullptr) FillSystemTime(parts, 0, &date);
    return date;
}

void CopyZoneName(const std::string& name, WCHAR* out) {
    size_t i = 0;
    for (; i < name.size() && i < 31; ++i)
        out[i] = static_cast<unsigned char>(name[i]);
    out[i] = 0;
}

}  // namespace

DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION zone) {
    if (zone == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    *zone = TIME_ZONE_INFORMATION{};
    tzset();
    constexpr time_t kWeek = 7 * 86400;
    time_t now = time(nullptr);
    ZoneSample current = SampleZone(now);
    ZoneSample standard = current;
    ZoneSample daylight;
    bool has_daylight = current.daylight;
    if (has_daylight) daylight = current;
    // Weekly samples over the year around now find the zone's daylight time, its offsets and
    // the transitions (no zone keeps daylight time for less than a week); the search between
    // two samples finds the second.
    ZoneSample previous = SampleZone(now - 26 * kWeek);
    bool standard_found = !current.daylight;
    for (int week = 1; week <= 53; ++week) {
        ZoneSample next = SampleZone(now - 26 * kWeek + week * kWeek);
        if (next.daylight != previous.daylight) {
            ZoneSample change = FindTransition(previous, next);
            SYSTEMTIME date = TransitionDate(change.when, SampleZone(change.when - 1).offset);
            if (change.daylight) {
                zone->DaylightDate = date;
            } else {
                zone->StandardDate = date;
            }
        }
        if (next.daylight && !has_daylight) {
            daylight = next;
            has_daylight = true;
        }
        if (!next.daylight && !standard_found) {
            standard = next;
            standard_found = true;
        }
        previous = next;
    }
    zone->Bias = static_cast<LONG>(-standard.offset / 60);
    zone->StandardBias = 0;
    zone->DaylightBias =
        has_daylight ? static_cast<LONG>(-(daylight.offset - standard.offset) / 60) : 0;
    CopyZoneName(standard.name, zone->StandardName);
    CopyZoneName(has_daylight ? daylight.name : standard.name, zone->DaylightName);
    if (!has_daylight) return TIME_ZONE_ID_UNKNOWN;
    return current.daylight ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

double CxTimeScale() {
    double scale = g_scale.load(std::memory_order_relaxed);
    if (scale == 0.0) {
        scale = ReadScale();
        g_scale.store(scale, std::memory_order_relaxed);
    }
    return scale;
}

void CxResetTimeScale() { g_scale.store(0.0); }

DWORD CxScaleWait(DWORD milliseconds) {
    if (milliseconds == INFINITE || milliseconds == 0) return milliseconds;
    double scaled = std::ceil(milliseconds / CxTimeScale());
    if (scaled >= static_cast<double>(INFINITE - 1)) return INFINITE - 1;
    return scaled < 1.0 ? 1 : static_cast<DWORD>(scaled);
}

ULONGLONG GetTickCount64() { return AgentMilliseconds(); }

DWORD GetTickCount() { return static_cast<DWORD>(AgentMilliseconds()); }

void GetLocalTime(LPSYSTEMTIME time) { SystemTimeFromClock(true, time); }

void GetSystemTime(LPSYSTEMTIME time) { SystemTimeFromClock(false, time); }

void GetSystemTimeAsFileTime(LPFILETIME time) {
    if (time == nullptr) return;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // 100 ns intervals between 1601-01-01 and 1970-01-01.
    constexpr ULONGLONG kEpochDifference = 116444736000000000ULL;
    ULONGLONG value = kEpochDifference + static_cast<ULONGLONG>(now.tv_sec) * 10000000ULL +
                      static_cast<ULONGLONG>(now.tv_nsec) / 100;
    time->dwLowDateTime = static_cast<DWORD>(value);
    time->dwHighDateTime = static_cast<DWORD>(value >> 32);
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    if (milliseconds == INFINITE) {
        // Nothing wakes an infinite Sleep on Windows either; sleep in long steps.
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(CxScaleWait(milliseconds)));
}

BOOL SwitchToThread() { return sched_yield() == 0 ? TRUE : FALSE; }
