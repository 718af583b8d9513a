// Reading the trace settings from the registry.
#include "trace_config.h"

#include <cstdio>
#include <cstring>

#include "platform/winreg.h"

namespace cx::trace {
namespace {

constexpr const char kDebugKey[] = "SOFTWARE\\Debug";
// A larger limit would not fit the 32-bit byte count.
constexpr DWORD kLargestFileLimitMb = 4095;

// Opens a key for reading in the 64-bit view, and without the view when that is refused.
HKEY OpenForReading(const char* path) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, &key);
    if (status == ERROR_ACCESS_DENIED) {
        status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key);
    }
    return status == ERROR_SUCCESS ? key : nullptr;
}

void ReadDword(HKEY key, const char* name, DWORD& value) {
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&data), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof(data)) {
        value = data;
    }
}

// "TraceFile": text of at most MAX_PATH - 1 characters; an expandable one has its environment
// references expanded, and an expansion that does not fit counts as unreadable.
void ReadPath(HKEY key, char (&path)[MAX_PATH]) {
    char raw[MAX_PATH + 1] = {};
    DWORD type = REG_NONE;
    DWORD size = MAX_PATH;
    if (RegQueryValueExA(key, "TraceFile", nullptr, &type, reinterpret_cast<LPBYTE>(raw), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return;
    }
    raw[size < MAX_PATH ? size : MAX_PATH] = '\0';
    // A path of MAX_PATH characters has no room for its NUL; cutting it would name another
    // file.
    if (std::strlen(raw) >= MAX_PATH) return;
    char expanded[MAX_PATH] = {};
    const char* value = raw;
    if (type == REG_EXPAND_SZ) {
        DWORD needed = ExpandEnvironmentStringsA(raw, expanded, MAX_PATH);
        if (needed == 0 || needed > MAX_PATH) return;
        value = expanded;
    }
    std::snprintf(path, MAX_PATH, "%s", value);
}

void ReadApplicationKey(HKEY key, TraceConfig& config) {
    ReadDword(key, "TimeStampOn", config.time_stamp);
    ReadDword(key, "DateStampOn", config.date_stamp);
    ReadDword(key, "ThreadIdOn", config.thread_id);
    ReadDword(key, "CpuIdOn", config.cpu_id);
    ReadDword(key, "AppNameOn", config.app_name);
    ReadDword(key, "MemUsageOn", config.mem_usage);
    ReadDword(key, "HandleCountOn", config.handle_count);
    ReadDword(key, "ConDebugLevel", config.con_level);
    ReadDword(key, "WinDebugLevel", config.win_level);
    ReadDword(key, "FileDebugLevel", config.file_level);
    if (config.file_level == 0) return;
    ReadDword(key, "TraceFileLimit", config.file_limit_mb);
    if (config.file_limit_mb > kLargestFileLimitMb) config.file_limit_mb = kLargestFileLimitMb;
    ReadPath(key, config.file_path);
}

}  // namespace

TraceConfig ReadTraceConfig(const char* application_name) {
    TraceConfig config;
    if (HKEY key = OpenForReading(kDebugKey)) {
        ReadDword(key, "DynamicUpdate", config.dynamic_update);
        RegCloseKey(key);
    }
    char path[sizeof(kDebugKey) + 32];
    std::snprintf(path, sizeof(path), "%s\\%s", kDebugKey, application_name);
    if (HKEY key = OpenForReading(path)) {
        config.application_key = true;
        ReadApplicationKey(key, config);
        RegCloseKey(key);
    }
    return config;
}

}  // namespace cx::trace
