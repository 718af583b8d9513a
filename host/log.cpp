// The host's log lines; they go where net-snmp logs (standard error or syslog).
#include "log.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include <cstdarg>
#include <cstdio>

#include "platform/eventlog.h"

namespace cx::host {

void Log(LogLevel level, const char* format, ...) {
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof(line), format, arguments);
    va_end(arguments);
    const int priority = level == LogLevel::kError     ? LOG_ERR
                         : level == LogLevel::kWarning ? LOG_WARNING
                                                       : LOG_INFO;
    snmp_log(priority, "%s\n", line);
}

void LogAgentEvents() {
    CxSetEventSink([](WORD type, const char* source, const char* text) {
        const LogLevel level = type == EVENTLOG_ERROR_TYPE     ? LogLevel::kError
                               : type == EVENTLOG_WARNING_TYPE ? LogLevel::kWarning
                                                               : LogLevel::kInfo;
        Log(level, "%s: %s", source, text);
    });
}

}  // namespace cx::host
