// The host's log lines; they go where net-snmp logs (standard error or syslog).
#pragma once

namespace cx::host {

enum class LogLevel { kError, kWarning, kInfo };

void Log(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// From now on what the loaded agents report to the event log (ReportEventA) is logged here,
// as "<source>: <text>".
void LogAgentEvents();

}  // namespace cx::host
