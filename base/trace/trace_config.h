// The trace's settings as the registry holds them under "SOFTWARE\Debug".
#pragma once

#include "platform/windef.h"

namespace cx::trace {

struct TraceConfig {
    DWORD dynamic_update = 0;
    // Whether the application's subkey opened; when it did not, the sinks keep what they had.
    bool application_key = false;
    DWORD time_stamp = 0;
    DWORD date_stamp = 0;
    DWORD thread_id = 0;
    DWORD cpu_id = 0;
    DWORD app_name = 0;
    DWORD mem_usage = 0;
    DWORD handle_count = 0;
    DWORD con_level = 0;
    DWORD win_level = 0;
    DWORD file_level = 0;
    DWORD file_limit_mb = 10;
    char file_path[MAX_PATH] = {};
};

// Reads the settings of `application_name`. A key or value that cannot be read, or that has
// another type than expected, leaves the default.
TraceConfig ReadTraceConfig(const char* application_name);

}  // namespace cx::trace
