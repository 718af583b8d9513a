// Manufacturing dates as collectors find them (mm/dd/yy, mm-dd-yyyy) turned into the
// inventory's "yyyy-mm-dd 00:00:00".
#include <climits>
#include <cstring>

#include "base/file_debug.h"
#include "inventory/cx_agent.h"

namespace {

// A decimal number the way atoi reads it (leading blanks, a sign, digits up to the first
// other character; 0 when there are none), but saturated instead of overflowing.
int ReadDecimal(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT_MAX) return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

// Two-digit years: 71 to 99 are 19xx, 0 to 70 are 20xx.
int FullYear(int year) {
    if (year >= 100) return year;
    return year < 71 ? 2000 + year : 1900 + year;
}

}  // namespace

void CCX_Agent::ConvertManuDate(ComponentEntry* component) {
    if (component == nullptr) return;
    char date[kEntryTextSize];
    CopyEntryText(date, component->ManuDate);
    for (int replaced = 0; replaced < 2; ++replaced) {
        char* dash = std::strchr(date, '-');
        if (dash == nullptr) break;
        *dash = '/';
    }
    char* first = std::strchr(date, '/');
    char* last = std::strrchr(date, '/');
    // Without a slash there is nothing to read; with only one there is no day part. Either
    // way the date stays as the collector found it.
    if (first == nullptr || first == last) {
        CX_TRACE(2, "\n   DATE NOT IN FORMAT mm/dd/yy");
        return;
    }
    int year = FullYear(ReadDecimal(last + 1));
    int month = ReadDecimal(date);
    int day = ReadDecimal(first + 1);
    std::snprintf(component->ManuDate, sizeof(component->ManuDate), "%d-%02d-%02d 00:00:00", year,
                  month, day);
}
