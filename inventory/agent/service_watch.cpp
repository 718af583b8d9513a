// The SNMP service watch: while the bus and storage collectors ask other agents of the same
// service, a service that begins to stop makes them give up instead of waiting for answers
// that cannot come.
#include "base/file_debug.h"
#include "inventory/cx_agent.h"
#include "platform/winsvc.h"

namespace {

constexpr DWORD kPollMs = 50;
constexpr DWORD kStopWaitMs = 5000;

}  // namespace

DWORD WINAPI CCX_Agent::WatchThreadMain(LPVOID agent) {
    static_cast<CCX_Agent*>(agent)->SnmpServiceWatch();
    return 0;
}

void CCX_Agent::StartSnmpServiceWatch() {
    m_bWatchRun = 1;
    m_WatchStopEvent.Reset();
    m_WatchThread.Start(WatchThreadMain, this, THREAD_PRIORITY_NORMAL);
}

// The watch ends as soon as it is told: the scan does not wait out its pause.
void CCX_Agent::StopSnmpServiceWatch() {
    m_bWatchRun = 0;
    m_WatchStopEvent.Set();
    m_WatchThread.WaitForEnd(kStopWaitMs);
}

void CCX_Agent::SnmpServiceWatch() {
    CX_TRACE(2, "\nCX_MIB              : START THREAD SnmpServiceWatch()");
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) {
        CX_TRACE(2, "\nCX_MIB              : EXIT THREAD SnmpServiceWatch()");
        return;
    }
    SC_HANDLE service = OpenServiceA(manager, "SNMP", SERVICE_QUERY_STATUS);
    if (service != nullptr) {
        while (m_bWatchRun == 1) {
            SERVICE_STATUS status{};
            if (QueryServiceStatus(service, &status) &&
                status.dwCurrentState == SERVICE_STOP_PENDING) {
                CX_TRACE(1, "\nCX_MIB              : !!SNMP stop pending!!");
                m_bAbortRequest = 1;
                m_ScanStopEvent.Set();
                break;
            }
            m_WatchStopEvent.Wait(kPollMs);
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    CX_TRACE(2, "\nCX_MIB              : EXIT THREAD SnmpServiceWatch()");
}
