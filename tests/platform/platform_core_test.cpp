// The platform layer: events, waits, critical sections, last error and the time scale, OID
// order, module names, the computer-name calls and the time zone.
#include <gtest/gtest.h>
#include <unistd.h>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "last_error.h"
#include "platform/errors.h"
#include "platform/snmp.h"
#include "platform/timing.h"
#include "platform/windows.h"
#include "scoped_env.h"

namespace {

using cx::test::WaitUntil;
using namespace std::chrono_literals;

// SetEvent on an auto-reset event releases one waiter and is consumed; on a manual-reset
// event it releases every waiter and stays until reset.
TEST(Event, SetReleasesOneWaiterOrAllAndResetClears) {
    for (BOOL manual : {FALSE, TRUE}) {
        SCOPED_TRACE(manual ? "manual" : "automatic");
        HANDLE event = CreateEventA(nullptr, manual, FALSE, nullptr);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitForSingleObject(event, 30), WAIT_TIMEOUT);
        EXPECT_GE(std::chrono::steady_clock::now() - start, 25ms);
        std::atomic<int> released{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 4; ++i) {
            waiters.emplace_back([&] {
                if (WaitForSingleObject(event, 10000) == WAIT_OBJECT_0) ++released;
            });
        }
        for (int signals = 1; signals <= (manual ? 1 : 4); ++signals) {
            SetEvent(event);
            ASSERT_TRUE(WaitUntil([&] { return released.load() == (manual ? 4 : signals); }));
            EXPECT_EQ(WaitForSingleObject(event, 0), manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        }
        for (auto& waiter : waiters)
            waiter.join();
        EXPECT_TRUE(ResetEvent(event));
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
        EXPECT_TRUE(CloseHandle(event));
    }
    HANDLE set = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(set, 0), WAIT_OBJECT_0) << "created signalled";
    CloseHandle(set);
}

TEST(Handles, InvalidOrClosedHandlesFailAndAWaiterSurvivesTheClose) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<DWORD> result{12345};
    std::thread waiter([&] { result = WaitForSingleObject(event, 200); });
    std::this_thread::sleep_for(20ms);  // most often closed while the waiter waits
    EXPECT_TRUE(CloseHandle(event));
    waiter.join();
    EXPECT_EQ(result.load(), WAIT_TIMEOUT);
    EXPECT_FALSE(CloseHandle(event)) << "closed twice";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x1234567), 0), WAIT_FAILED);
}

TEST(CriticalSectionAndLastError, SectionIsRecursiveAndLastErrorPerThread) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    auto other_enters = [&] {
        BOOL entered = FALSE;
        std::thread([&] {
            entered = TryEnterCriticalSection(&section);
            if (entered) LeaveCriticalSection(&section);
        }).join();
        return entered;
    };
    EXPECT_FALSE(other_enters());
    LeaveCriticalSection(&section);
    EXPECT_FALSE(other_enters()) << "still held once";
    LeaveCriticalSection(&section);
    EXPECT_TRUE(other_enters());
    DeleteCriticalSection(&section);

    SetLastError(1234);
    std::thread([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(99);
    }).join();
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST(TimeScale, ShortensWaitsSpeedsTheTickCountAndIgnoresNonsense) {
    cx::test::ScopedEnv scale("CX_TIME_SCALE", "1");
    for (const char* value : {"0", "-3", "abc", "", "1e999", "nan", "5x"}) {
        scale.Set(value);
        EXPECT_EQ(CxTimeScale(), 1.0) << value;
    }
    scale.Set("2.5");
    EXPECT_EQ(CxTimeScale(), 2.5);
    scale.Set("1000");
    EXPECT_EQ(CxScaleWait(60000), 60u);
    EXPECT_EQ(CxScaleWait(1), 1u) << "a non-zero wait stays non-zero";
    EXPECT_EQ(CxScaleWait(0), 0u);
    EXPECT_EQ(CxScaleWait(INFINITE), INFINITE);

    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    auto start = std::chrono::steady_clock::now();
    DWORD ticks_before = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(event, 20000), WAIT_TIMEOUT);  // 20 s agent time
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_GE(GetTickCount() - ticks_before, 19000u) << "the agent's clock saw 20 s pass";
    CloseHandle(event);
}

// An OID whose ids point into the vector (not allocated: never freed).
AsnObjectIdentifier View(std::vector<UINT>& ids) {
    return AsnObjectIdentifier{static_cast<UINT>(ids.size()), ids.empty() ? nullptr : ids.data()};
}

// SnmpUtilOidCmp (n 0) orders by sub-identifiers, unsigned, then by length; SnmpUtilOidNCmp
// looks at the first n sub-identifiers only.
TEST(OidCmp, OrdersBySubIdentifiersThenLength) {
    struct Case {
        std::vector<UINT> first, second;
        int sign;
        UINT n = 0;
    } cases[] = {
        {.first = {1, 3, 6}, .second = {1, 3, 6}, .sign = 0},
        {.first = {1, 3}, .second = {1, 3, 6}, .sign = -1},  // a prefix is less
        {.first = {1, 3, 7}, .second = {1, 3, 6, 1}, .sign = 1},
        {.first = {}, .second = {1}, .sign = -1},
        {.first = {0xFFFFFFFFu}, .second = {1}, .sign = 1},
        {.first = {1, 3, 6, 1, 4}, .second = {1, 3, 6, 2}, .sign = 0, .n = 3},
        {.first = {1, 3, 6, 1, 4}, .second = {1, 3, 6, 2}, .sign = -1, .n = 4},
        {.first = {1, 3, 6, 1, 4}, .second = {1, 3}, .sign = 0, .n = 2},
    };
    for (auto& c : cases) {
        auto first = View(c.first);
        auto second = View(c.second);
        int result =
            c.n == 0 ? SnmpUtilOidCmp(&first, &second) : SnmpUtilOidNCmp(&first, &second, c.n);
        EXPECT_EQ((result > 0) - (result < 0), c.sign)
            << "case " << (&c - cases) << " gave " << result;
    }
}

// The executable, or the module of an address, truncated as Windows does.
TEST(ModuleFileName, NamesTheModuleAndTruncatesAsWindows) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::string(path).size(), length);
    EXPECT_NE(std::string(path).find("platform_core_test"), std::string::npos);

    char small[5];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof(small)), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), std::string(path, 4));

    HMODULE module = CxModuleFromAddress(reinterpret_cast<const void*>(&GetModuleFileNameA));
    ASSERT_NE(module, nullptr);
    EXPECT_GT(GetModuleFileNameA(module, path, sizeof(path)), 0u);
    EXPECT_EQ(CxModuleFromAddress(nullptr), nullptr);
    EXPECT_EQ(GetModuleBaseNameA(nullptr, nullptr, path, sizeof(path)), 0u) << "no process";

    // Only modules already loaded are locked.
    EXPECT_NE(CxLockLoadedModule("libc.so.6"), nullptr);
    EXPECT_EQ(CxLockLoadedModule("libcx-not-installed.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(CxLockLoadedModule(""), nullptr);
}

using cx::test::FailedWith;

std::string Name(COMPUTER_NAME_FORMAT format) {
    char buffer[300] = {};
    DWORD size = sizeof(buffer);
    EXPECT_TRUE(GetComputerNameExA(format, buffer, &size)) << format;
    EXPECT_EQ(size, std::string(buffer).size()) << format;
    return buffer;
}

TEST(ComputerName, NamesAgreeWithTheHostName) {
    char host[256] = {};
    gethostname(host, sizeof(host) - 1);
    const std::string label = std::string(host).substr(0, std::string(host).find('.'));
    ASSERT_FALSE(label.empty());
    EXPECT_EQ(Name(ComputerNameDnsHostname), label);
    EXPECT_EQ(Name(ComputerNamePhysicalDnsHostname), label);

    std::string netbios = label.substr(0, MAX_COMPUTERNAME_LENGTH);
    for (char& c : netbios)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(Name(ComputerNameNetBIOS), netbios);
    EXPECT_EQ(Name(ComputerNamePhysicalNetBIOS), netbios);

    // The fully qualified name is the host label, then the domain when there is one.
    const std::string full = Name(ComputerNameDnsFullyQualified);
    const std::string domain = Name(ComputerNameDnsDomain);
    EXPECT_EQ(full, domain.empty() ? label : label + "." + domain);
    EXPECT_EQ(Name(ComputerNamePhysicalDnsFullyQualified), full);
}

// One character short, or no buffer: nothing is written and the size needed comes back;
// exactly the size needed: the name without its NUL.
TEST(ComputerName, BufferSizesAndArgumentsFollowTheWindowsContract) {
    for (bool extended : {true, false}) {
        SCOPED_TRACE(extended ? "GetComputerNameExA" : "GetComputerNameA");
        const std::string name =
            Name(extended ? ComputerNameDnsFullyQualified : ComputerNameNetBIOS);
        const DWORD needed = static_cast<DWORD>(name.size() + 1);
        auto call = [&](char* buffer, DWORD* size) {
            return extended ? GetComputerNameExA(ComputerNameDnsFullyQualified, buffer, size)
                            : GetComputerNameA(buffer, size);
        };
        char buffer[300];
        std::memset(buffer, 'x', sizeof(buffer));
        DWORD size = needed - 1;
        EXPECT_EQ(FailedWith(call(buffer, &size)),
                  static_cast<DWORD>(extended ? ERROR_MORE_DATA : ERROR_BUFFER_OVERFLOW));
        EXPECT_EQ(size, needed);
        EXPECT_EQ(buffer[0], 'x');
        size = 0;
        EXPECT_FALSE(call(nullptr, &size));
        EXPECT_EQ(size, needed);
        EXPECT_TRUE(call(buffer, &size));
        EXPECT_EQ(size, needed - 1);
        EXPECT_EQ(std::string(buffer), name);
        EXPECT_EQ(FailedWith(call(buffer, nullptr)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    char buffer[64];
    DWORD size = sizeof(buffer);
    for (auto format : {ComputerNameMax, static_cast<COMPUTER_NAME_FORMAT>(-1)})
        EXPECT_EQ(FailedWith(GetComputerNameExA(format, buffer, &size)),
                  static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

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
