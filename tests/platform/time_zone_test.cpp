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

struct ZoneCase {
    const char* tz;
    bool has_daylight;
    LONG bias;
    LONG daylight_bias;
    const char* standard_name;
    const char* daylight_name;
    WORD daylight_month;  // month daylight time begins, 0 for none
    WORD daylight_hour;
    WORD standard_month;
    WORD standard_hour;
};

// The zone rules decide; a NULL argument is refused.
TEST(TimeZone, BiasesNamesAndTransitionsFollowTheZoneRules) {
    cx::test::ScopedEnv zone_variable("TZ", "UTC0");
    const ZoneCase cases[] = {
        {"UTC0", false, 0, 0, "UTC", "UTC", 0, 0, 0, 0},
        {"JST-9", false, -540, 0, "JST", "JST", 0, 0, 0, 0},
        {"CET-1CEST,M3.5.0,M10.5.0/3", true, -60, -60, "CET", "CEST", 3, 2, 10, 3},
        {"EST5EDT,M3.2.0,M11.1.0", true, 300, -60, "EST", "EDT", 3, 2, 11, 2},
        {"AEST-10AEDT,M10.1.0,M4.1.0/3", true, -600, -60, "AEST", "AEDT", 10, 2, 4, 3},
        {"LHST-10:30LHDT-11,M10.1.0,M4.1.0", true, -630, -30, "LHST", "LHDT", 10, 2, 4, 2},
    };
    for (const ZoneCase& c : cases) {
        SCOPED_TRACE(c.tz);
        zone_variable.Set(c.tz);
        TIME_ZONE_INFORMATION zone{};
        DWORD result = GetTimeZoneInformation(&zone);
        DWORD expected = !c.has_daylight ? TIME_ZONE_ID_UNKNOWN
                         : DaylightNow() ? TIME_ZONE_ID_DAYLIGHT
                                         : TIME_ZONE_ID_STANDARD;
        EXPECT_EQ(result, expected);
        EXPECT_EQ(zone.Bias, c.bias);
        EXPECT_EQ(zone.StandardBias, 0);
        EXPECT_EQ(zone.DaylightBias, c.daylight_bias);
        EXPECT_EQ(Narrow(zone.StandardName), c.standard_name);
        EXPECT_EQ(Narrow(zone.DaylightName), c.daylight_name);
        EXPECT_EQ(zone.DaylightDate.wMonth, c.daylight_month);
        EXPECT_EQ(zone.DaylightDate.wHour, c.daylight_hour);
        EXPECT_EQ(zone.StandardDate.wMonth, c.standard_month);
        EXPECT_EQ(zone.StandardDate.wHour, c.standard_hour);
        if (c.has_daylight) {
            // Transitions fall on a Sunday, as the rules say, in the year around now.
            EXPECT_EQ(zone.DaylightDate.wDayOfWeek, 0);
            EXPECT_EQ(zone.StandardDate.wDayOfWeek, 0);
            EXPECT_NE(zone.DaylightDate.wYear, 0);
        }
    }
    SetLastError(0);
    EXPECT_EQ(GetTimeZoneInformation(nullptr), TIME_ZONE_ID_INVALID);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
