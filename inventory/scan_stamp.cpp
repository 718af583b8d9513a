// The time stamps of a scan as the inventory files and the trace write them.
#include "inventory/scan_stamp.h"

#include <cstdio>

#include "platform/windef.h"

ScanStamp::ScanStamp(std::time_t at) : when(at) {
    std::tm local{};
    if (localtime_r(&when, &local) != nullptr) {
        std::strftime(date, sizeof(date), "%Y-%m-%d %H:%M:%S", &local);
        std::strftime(clock, sizeof(clock), "%H:%M:%S", &local);
    }
    std::snprintf(seconds, sizeof(seconds), "%08X", static_cast<DWORD>(when));
}
