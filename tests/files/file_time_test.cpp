// FILETIME conversions: known instants, calendar edges and refused values.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/errors.h"
#include "platform/files.h"
#include "scoped_env.h"

namespace {

FILETIME Ticks(ULONGLONG ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

ULONGLONG TicksOf(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::string Text(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof(text), "%u-%u-%u (%u) %u:%u:%u.%u", t.wYear, t.wMonth, t.wDay,
                  t.wDayOfWeek, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

struct Instant {
    ULONGLONG ticks;
    SYSTEMTIME parts;  // year, month, day of week, day, hour, minute, second, milliseconds
};

TEST(FileTime, ConvertsBothWaysAtKnownInstants) {
    const Instant cases[] = {
        {0ULL, {1601, 1, 1, 1, 0, 0, 0, 0}},
        {116444736000000000ULL, {1970, 1, 4, 1, 0, 0, 0, 0}},
        {116444736000000000ULL + 1161334659ULL * 10000000ULL + 1234567,
         {2006, 10, 5, 20, 8, 57, 39, 123}},
        {125962560000000000ULL, {2000, 2, 2, 29, 0, 0, 0, 0}},
        {0x7FFFFFFFFFFFFFFFULL - 0x7FFFFFFFFFFFFFFFULL % 10000ULL,
         {30828, 9, 4, 14, 2, 48, 5, 477}},
    };
    for (const auto& c : cases) {
        FILETIME time = Ticks(c.ticks);
        SYSTEMTIME parts{};
        ASSERT_TRUE(FileTimeToSystemTime(&time, &parts)) << c.ticks;
        EXPECT_EQ(Text(parts), Text(c.parts)) << c.ticks;
        if (c.parts.wYear > 30827) continue;  // beyond what SystemTimeToFileTime accepts
        FILETIME back{};
        ASSERT_TRUE(SystemTimeToFileTime(&parts, &back)) << c.ticks;
        EXPECT_EQ(TicksOf(back), c.ticks - c.ticks % 10000) << "milliseconds are kept";
    }
}

TEST(FileTime, RefusesInvalidValues) {
    const SYSTEMTIME invalid[] = {
        {1600, 12, 0, 31, 0, 0, 0, 0}, {2005, 2, 0, 29, 0, 0, 0, 0}, {2004, 13, 0, 1, 0, 0, 0, 0},
        {2004, 0, 0, 1, 0, 0, 0, 0},   {2004, 4, 0, 31, 0, 0, 0, 0}, {2004, 1, 0, 1, 24, 0, 0, 0},
        {2004, 1, 0, 1, 0, 60, 0, 0},  {2004, 1, 0, 1, 0, 0, 60, 0}, {2004, 1, 0, 1, 0, 0, 0, 1000},
    };
    for (const auto& parts : invalid) {
        FILETIME time{};
        EXPECT_FALSE(SystemTimeToFileTime(&parts, &time)) << parts.wYear << "-" << parts.wMonth;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    FILETIME negative = Ticks(0x8000000000000000ULL);
    SYSTEMTIME parts{};
    EXPECT_FALSE(FileTimeToSystemTime(&negative, &parts));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FileTime, LocalTimeUsesTheCurrentOffsetAndTimesCompareLikeNumbers) {
    cx::test::ScopedEnv zone("TZ", "UTC-2");  // POSIX sign: two hours east of UTC, no daylight
    FILETIME utc = Ticks(116444736000000000ULL), local{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    EXPECT_EQ(TicksOf(local), 116444736000000000ULL + 2ULL * 3600 * 10000000ULL);
    FILETIME start = Ticks(0);
    zone.Set("UTC+2");
    EXPECT_FALSE(FileTimeToLocalFileTime(&start, &local)) << "before 1601";
    EXPECT_EQ(CompareFileTime(&start, &utc), -1);
    EXPECT_EQ(CompareFileTime(&utc, &start), 1);
    EXPECT_EQ(CompareFileTime(&utc, &utc), 0);
}

}  // namespace
