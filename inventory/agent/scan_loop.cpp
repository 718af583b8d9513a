// The scan thread: one scan after another, "ScanTime" seconds apart or at once when SWITCH asks
// for a rescan, until the agent shuts down.
#include <ctime>

#include "base/file_debug.h"
#include "framework/agent_globals.h"
#include "inventory/cx_agent.h"
#include "inventory/scan_stamp.h"
#include "platform/eventlog.h"

namespace {

constexpr DWORD kDefaultScanTime = 7200;
constexpr DWORD kMinimumScanTime = 300;
constexpr DWORD kStartDelayMs = 300;
// After a failed scan the next one comes sooner: this long after the first failure, twice as
// long after each further one, never later than ScanTime.
constexpr DWORD kDefaultRetryTime = 60;
constexpr DWORD kMinimumRetryTime = 10;

// The wait of `seconds` in milliseconds; a time too long for the 32-bit wait stays finite.
DWORD ScanWaitMs(DWORD seconds) {
    constexpr DWORD kLongest = INFINITE - 1;
    return seconds > kLongest / 1000 ? kLongest : seconds * 1000;
}

}  // namespace

DWORD WINAPI CCX_Agent::ScanThreadMain(LPVOID agent) {
    static_cast<CCX_Agent*>(agent)->CxRescan();
    return 0;
}

// A time parameter in seconds: 0 or missing gives the default, less than the floor the floor.
DWORD CCX_Agent::ReadSeconds(const char* name, DWORD default_value, DWORD floor) {
    DWORD seconds = 0;
    GetAgentRegParam(name, &seconds);
    if (seconds == 0) return default_value;
    return seconds < floor ? floor : seconds;
}

DWORD CCX_Agent::ReadScanTime() {
    const DWORD scan_time = ReadSeconds("ScanTime", kDefaultScanTime, kMinimumScanTime);
    CX_TRACE(3, "\n   ScanTime = %d sec%s", static_cast<int>(scan_time),
             scan_time == kDefaultScanTime ? " (default)" : "");
    return scan_time;
}

DWORD CCX_Agent::RetryTime(DWORD scan_time) {
    DWORD retry_time = ReadSeconds("ScanRetryTime", kDefaultRetryTime, kMinimumRetryTime);
    for (DWORD n = 1; n < m_dwFailedScans && retry_time < scan_time; ++n)
        retry_time = retry_time > scan_time / 2 ? scan_time : retry_time * 2;
    if (retry_time > scan_time) retry_time = scan_time;
    CX_TRACE(3, "\n   ScanRetryTime = %d sec (failed scans: %d)", static_cast<int>(retry_time),
             static_cast<int>(m_dwFailedScans));
    return retry_time;
}

// The scan's end: a failed one is not "done". It keeps the served inventory, says so in the
// host's log and is tried again sooner; the first good scan after failures says so too.
DWORD CCX_Agent::FinishScan() {
    const bool failed = !m_ScanFailure.empty() && AgentShutdown == 0;
    SetScanState(failed ? kScanStateOther : kScanStateDone);
    CX_TRACE(1, "\n\n  Rescan done");
    const DWORD scan_time = ReadScanTime();
    if (!failed) {
        if (m_dwFailedScans != 0 && AgentShutdown == 0) {
            ReportToHost(EVENTLOG_INFORMATION_TYPE, "scan done again after %u failed scans",
                         static_cast<unsigned>(m_dwFailedScans));
        }
        m_dwFailedScans = 0;
        return scan_time;
    }
    ++m_dwFailedScans;
    const DWORD retry_time = RetryTime(scan_time);
    ReportToHost(EVENTLOG_WARNING_TYPE,
                 "scan failed: %s; the saved inventory is kept; next scan in %u s",
                 m_ScanFailure.c_str(), static_cast<unsigned>(retry_time));
    return retry_time;
}

void CCX_Agent::CxRescan() {
    try {
        m_ScanStopEvent.Wait(kStartDelayMs);  // cut short by a shutdown
        CX_TRACE(2, "\n*** CX Scan thread started ***");
        while (AgentShutdown == 0) {
            m_ScanProfile.Begin();
            const ScanStamp start(time(nullptr));
            CX_TRACE(1, "\n  --> Start Rescan %s (%s)", start.clock, start.seconds);
            SetScanState(kScanStateScanning);
            m_ScanProfile.Mark("state");
            if (ScanDriver()) {
                FillMib();
                m_ScanProfile.Mark("FillMib");
            }
            const DWORD wait_time = FinishScan();
            m_ScanProfile.Mark("finish");
            m_ScanProfile.End();
            if (m_RescanEvent.Wait(ScanWaitMs(wait_time)) == WAIT_OBJECT_0 && AgentShutdown == 0) {
                CX_TRACE(3, "\nCX_MIB              : FORCED RESCAN");
                m_RescanEvent.Reset();
            }
        }
        CX_TRACE(2, "\n*** CX Scan thread exit ***");
    } catch (...) {
        CX_TRACE(1, "\nCxRescan  : FATAL ERROR! Exception in CxRescan thread!");
    }
}
