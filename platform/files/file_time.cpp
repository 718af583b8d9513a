// FILETIME conversions: calendar arithmetic on 100 ns intervals since 1601-01-01 UTC.
#include <ctime>

#include "platform/errors.h"
#include "platform/files.h"

namespace {

constexpr ULONGLONG kTicksPerSecond = 10000000ULL;
constexpr ULONGLONG kTicksPerDay = kTicksPerSecond * 86400ULL;
constexpr ULONGLONG kLargestFileTime = 0x7FFFFFFFFFFFFFFFULL;
// Days from 0000-03-01 (the proleptic Gregorian start the conversions count from) to
// 1601-01-01.
constexpr long long kDaysTo1601 = 584694;

ULONGLONG ToTicks(const FILETIME* time) {
    return (static_cast<ULONGLONG>(time->dwHighDateTime) << 32) | time->dwLowDateTime;
}

FILETIME FromTicks(ULONGLONG ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// Days since 0000-03-01 of a date, and back (Howard Hinnant's civil-calendar algorithms).
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2;
    long long era = year / 400;
    auto year_of_era = static_cast<unsigned>(year - era * 400);
    unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + static_cast<long long>(day_of_era);
}

void CivilFromDays(long long days, long long* year, unsigned* month, unsigned* day) {
    long long era = days / 146097;
    auto day_of_era = static_cast<unsigned>(days - era * 146097);
    unsigned year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    unsigned shifted_month = (5 * day_of_year + 2) / 153;
    *day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
    *month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
    *year = static_cast<long long>(year_of_era) + era * 400 + (*month <= 2);
}

bool IsLeapYear(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(unsigned year, unsigned month) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

BOOL Invalid() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

}  // namespace

BOOL FileTimeToSystemTime(const FILETIME* file_time, LPSYSTEMTIME system_time) {
    if (file_time == nullptr || system_time == nullptr) return Invalid();
    ULONGLONG ticks = ToTicks(file_time);
    if (ticks > kLargestFileTime) return Invalid();
    auto days = static_cast<long long>(ticks / kTicksPerDay);
    ULONGLONG in_day = ticks % kTicksPerDay;
    long long year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days + kDaysTo1601, &year, &month, &day);
    system_time->wYear = static_cast<WORD>(year);
    system_time->wMonth = static_cast<WORD>(month);
    system_time->wDay = static_cast<WORD>(day);
    system_time->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    system_time->wHour = static_cast<WORD>(in_day / (3600 * kTicksPerSecond));
    system_time->wMinute = static_cast<WORD>(in_day / (60 * kTicksPerSecond) % 60);
    system_time->wSecond = static_cast<WORD>(in_day / kTicksPerSecond % 60);
    system_time->wMilliseconds = static_cast<WORD>(in_day / 10000 % 1000);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* system_time, LPFILETIME file_time) {
    if (system_time == nullptr || file_time == nullptr) return Invalid();
    const SYSTEMTIME& t = *system_time;
    // The day of the week is ignored, as on Windows.
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 ||
        t.wSecond > 59 || t.wMilliseconds > 999) {
        return Invalid();
    }
    auto days = static_cast<ULONGLONG>(DaysFromCivil(t.wYear, t.wMonth, t.wDay) - kDaysTo1601);
    ULONGLONG ticks = days * kTicksPerDay +
                      (t.wHour * 3600ULL + t.wMinute * 60ULL + t.wSecond) * kTicksPerSecond +
                      t.wMilliseconds * 10000ULL;
    *file_time = FromTicks(ticks);
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* file_time, LPFILETIME local_file_time) {
    if (file_time == nullptr || local_file_time == nullptr) return Invalid();
    time_t now = time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    long long offset = static_cast<long long>(local.tm_gmtoff) * 10000000LL;
    ULONGLONG ticks = ToTicks(file_time);
    if (ticks > kLargestFileTime) return Invalid();
    if (offset > 0 && ticks > kLargestFileTime - static_cast<ULONGLONG>(offset)) return Invalid();
    long long shifted = static_cast<long long>(ticks) + offset;
    if (shifted < 0) return Invalid();
    *local_file_time = FromTicks(static_cast<ULONGLONG>(shifted));
    return TRUE;
}

LONG CompareFileTime(const FILETIME* first, const FILETIME* second) {
    ULONGLONG a = ToTicks(first), b = ToTicks(second);
    return a < b ? -1 : a > b ? 1 : 0;
}
