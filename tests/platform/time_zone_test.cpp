// GetTimeZoneInformation over the C library's zone rules, for zones with and without daylight
// time on both hemispheres.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "platform/errors.h"
#include "platform/timing.h"
#include "scoped_env.h"

namespace {

std::string Narrow(const WCHAR* text) {
    std::string out;
    for (; *text != 0; ++text)
        out += static_cast<char>(*text);
    return out;
}

bool DaylightNow() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return parts.tm_isdst > 0;
}

// "bias standard-bias daylight-bias standard-name daylight-name", then for zones with daylight
// time " daylight-month/hour standard-month/hour".
std::string Summary(const TIME_ZONE_INFORMATION& zone) {
    std::string text = std::to_string(zone.Bias) + " " + std::to_string(zone.StandardBias) + " " +
                       std::to_string(zone.DaylightBias) + " " + Narrow(zone.StandardName) + " " +
                       Narrow(zone.DaylightName);
    const SYSTEMTIME& on = zone.DaylightDate;
    const SYSTEMTIME& off = zone.StandardDate;
    if (on.wMonth == 0 && off.wMonth == 0 && on.wHour == 0 && off.wHour == 0) return text;
    return text + " " + std::to_string(on.wMonth) + "/" + std::to_string(on.wHour) + " " +
           std::to_string(off.wMonth) + "/" + std::to_string(off.wHour);
}

// The zone rules decide; a NULL argument is refused.
TEST(TimeZone, BiasesNamesAndTransitionsFollowTheZoneRules) {
    cx::test::ScopedEnv zone_variable("TZ", "UTC0");
    const struct {
        const char* tz;
        std::string summary;
    } cases[] = {
        {"UTC0", "0 0 0 UTC UTC"},
        {"JST-9", "-540 0 0 JST JST"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", "-60 0 -60 CET CEST 3/2 10/3"},
        {"EST5EDT,M3.2.0,M11.1.0", "300 0 -60 EST EDT 3/2 11/2"},
        {"AEST-10AEDT,M10.1.0,M4.1.0/3", "-600 0 -60 AEST AEDT 10/2 4/3"},
        {"LHST-10:30LHDT-11,M10.1.0,M4.1.0", "-630 0 -30 LHST LHDT 10/2 4/2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tz);
        zone_variable.Set(c.tz);
        TIME_ZONE_INFORMATION zone{};
        DWORD result = GetTimeZoneInformation(&zone);
        EXPECT_EQ(Summary(zone), c.summary);
        const bool daylight = zone.DaylightBias != 0;
        EXPECT_EQ(result, !daylight       ? TIME_ZONE_ID_UNKNOWN
                          : DaylightNow() ? TIME_ZONE_ID_DAYLIGHT
                                          : TIME_ZONE_ID_STANDARD);
        if (daylight) {
            // Transitions fall on a Sunday, as the rules say, in the year around now.
            EXPECT_EQ(zone.DaylightDate.wDayOfWeek + zone.StandardDate.wDayOfWeek, 0);
            EXPECT_NE(zone.DaylightDate.wYear, 0);
        }
    }
    SetLastError(0);
    EXPECT_EQ(GetTimeZoneInformation(nullptr), TIME_ZONE_ID_INVALID);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
