// Clocks, Sleep and the CX_TIME_SCALE factor.
#include <sched.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <thread>

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

}  // namespace

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
