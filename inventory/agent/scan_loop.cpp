// The scan thread: one scan after another, "ScanTime" seconds apart or at once when SWITCH asks
// for a rescan, until the agent shuts down.
#include <ctime>

#include "base/file_debug.h"
#include "framework/agent_globals.h"
#include "inventory/cx_agent.h"
#include "inventory/scan_stamp.h"

namespace {

constexpr DWORD kDefaultScanTime = 7200;
constexpr DWORD kMinimumScanTime = 300;
constexpr DWORD kStartDelayMs = 300;

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

DWORD CCX_Agent::ReadScanTime() {
    DWORD scan_time = 0;
    GetAgentRegParam("ScanTime", &scan_time);
    if (scan_time == 0) {
        scan_time = kDefaultScanTime;
    } else if (scan_time < kMinimumScanTime) {
        scan_time = kMinimumScanTime;
    }
    CX_TRACE(3, "\n   ScanTime = %d sec%s", static_cast<int>(scan_time),
             scan_time == kDefaultScanTime ? " (default)" : "");
    return scan_time;
}

void CCX_Agent::CxRescan() {
    try {
        Sleep(kStartDelayMs);
        CX_TRACE(2, "\n*** CX Scan thread started ***");
        while (AgentShutdown == 0) {
            const ScanStamp start(time(nullptr));
            CX_TRACE(1, "\n  --> Start Rescan %s (%s)", start.clock, start.seconds);
            SetScanState(kScanStateScanning);
            if (ScanDriver()) FillMib();
            SetScanState(kScanStateDone);
            CX_TRACE(1, "\n\n  Rescan done");

            const DWORD scan_time = ReadScanTime();
            if (m_RescanEvent.Wait(ScanWaitMs(scan_time)) == WAIT_OBJECT_0 && AgentShutdown == 0) {
                CX_TRACE(3, "\nCX_MIB              : FORCED RESCAN");
                m_RescanEvent.Reset();
            }
        }
        CX_TRACE(2, "\n*** CX Scan thread exit ***");
    } catch (...) {
        CX_TRACE(1, "\nCxRescan  : FATAL ERROR! Exception in CxRescan thread!");
    }
}
