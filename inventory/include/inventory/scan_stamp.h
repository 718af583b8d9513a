// The time stamps of a scan as the inventory files and the trace write them.
#pragma once

#include <ctime>

struct ScanStamp {
    explicit ScanStamp(std::time_t at);

    std::time_t when;
    char date[32] = "";     // local time, "%Y-%m-%d %H:%M:%S"
    char clock[16] = "";    // local time, "%H:%M:%S"
    char seconds[16] = "";  // seconds since 1970, low 32 bits, "%08X"
};
