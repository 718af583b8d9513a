// A component described by a file: its date from the file's last write, its texts from the
// file's version resource and its language through the table file's [Language Code].
#include <ctime>
#include <string>

#include "base/file_debug.h"
#include "base/file_version_info.h"
#include "inventory/cx_agent.h"
#include "inventory/inventory_sections.h"
#include "platform/files.h"
#include "platform/timing.h"

using namespace cx::inventory;

namespace {

// 100 ns intervals from 1601-01-01 to 1970-01-01, and the last second the calendar formatting
// accepts (3000-12-31 23:59:59), as the C runtime's own limit for file dates.
constexpr ULONGLONG kUnixEpochTicks = 116444736000000000ULL;
constexpr long long kLatestSeconds = 32535215999LL;

bool IsAvailable(const FILETIME& time) {
    return time.dwLowDateTime != 0xFFFFFFFFu || time.dwHighDateTime != 0xFFFFFFFFu;
}

// Seconds to add to UTC for the local time of the zone as it is now.
long long LocalShiftSeconds() {
    TIME_ZONE_INFORMATION zone{};
    switch (GetTimeZoneInformation(&zone)) {
        case TIME_ZONE_ID_STANDARD: return -60LL * (zone.Bias + zone.StandardBias);
        case TIME_ZONE_ID_DAYLIGHT: return -60LL * (zone.Bias + zone.DaylightBias);
        // A zone without daylight time still has its bias.
        case TIME_ZONE_ID_UNKNOWN: return -60LL * zone.Bias;
        default: return 0;
    }
}

// The file's last write (else last access) as local time "%Y-%m-%d %H:%M:%S"; false when the
// file has no usable time.
bool FormatFileTime(const WIN32_FIND_DATAA& data, char* text, std::size_t size) {
    FILETIME time =
        IsAvailable(data.ftLastWriteTime) ? data.ftLastWriteTime : data.ftLastAccessTime;
    if (!IsAvailable(time)) return false;
    ULONGLONG ticks = static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    if (ticks < kUnixEpochTicks) return false;
    long long seconds = static_cast<long long>((ticks - kUnixEpochTicks) / 10000000ULL);
    if (seconds > kLatestSeconds) return false;
    seconds += LocalShiftSeconds();
    if (seconds < 0 || seconds > kLatestSeconds) return false;
    std::time_t shifted = static_cast<std::time_t>(seconds);
    std::tm calendar{};
    if (gmtime_r(&shifted, &calendar) == nullptr) return false;
    return std::strftime(text, size, "%Y-%m-%d %H:%M:%S", &calendar) != 0;
}

// "FileVersion//ProductVersion//InternalName//NT"; a missing product version takes its
// separator along, so a file without any strings reads "////NT". Cut to the field.
void JoinVersion(CFileVersionInfo& info, const char* path, char* field) {
    std::string version = info.QueryValue(path, "FileVersion");
    version += "//";
    std::string product = info.QueryValue(path, "ProductVersion");
    if (!product.empty()) version += product + "//";
    version += info.QueryValue(path, "InternalName");
    version += "//NT";
    CopyEntryText(field, version.c_str());
}

}  // namespace

BOOL CCX_Agent::ReadFileVersionInfo(ComponentEntry* component, const char* path) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA(path, &data);
    if (find == INVALID_HANDLE_VALUE) {
        CX_TRACE(3, "\n!!! ERROR 0X%X! FindFirstFile() FAILED", GetLastError());
        return FALSE;
    }
    FindClose(find);
    if (component == nullptr) return TRUE;

    char date[kEntryTextSize];
    if (FormatFileTime(data, date, sizeof(date))) {
        CopyEntryText(component->ManuDate, date);
    } else {
        CX_TRACE(3, "\n   !!! NO VALID FILE TIME !!!");
    }

    CFileVersionInfo info(path);
    CopyEntryText(component->Vendor, info.QueryValue(path, "CompanyName"));
    CopyEntryText(component->ProdName, data.cFileName);
    CopyEntryText(component->ProdDescript, info.QueryValue(path, "FileDescription"));
    JoinVersion(info, path, component->Version);

    char code[8];
    std::snprintf(code, sizeof(code), "%04X", info.GetLanguage(path));
    CopyEntryText(component->Language,
                  m_DefinitionTable.ReadString(kLanguageCodeSection, code, code));
    return TRUE;
}
