// CCX_Agent's construction and destruction, its factory, and the framework slots that start and
// stop it: InitializeMib, CloseMib and RcmiReply.
#include "inventory/cx_agent.h"

#include <new>

#include "base/file_debug.h"
#include "clients/switch_protocol.h"
#include "framework/agent_globals.h"

namespace {

constexpr DWORD kCloseWaitMs = 20000;
// What the scan thread's own destruction would wait before terminating it.
constexpr DWORD kThreadEndWaitMs = 5000;

constexpr BYTE kRescanRequest = 1;
constexpr BYTE kInventoryChanged = 3;

}  // namespace

BOOL CreateCatalixAgent(CSnmpAgent** agent, CollectorSteps collectors) {
    auto* created = new (std::nothrow) CCX_Agent(collectors);
    if (created != nullptr) created->AddMibRegion(kCatalixMibRoot, nullptr);
    *agent = created;
    return created != nullptr;
}

CCX_Agent::CCX_Agent(CollectorSteps collectors) : m_Collectors(collectors) {
    // Both threads keep their empty names and end (or are terminated) with the agent.
    m_ScanThread.bTerminateThread = 1;
    m_WatchThread.bTerminateThread = 1;
}

CCX_Agent::~CCX_Agent() {
    // The members go in their documented order (the controller list first, the threads last).
    // A thread that still runs would use them after that: it gets its bounded chance to end
    // before anything is destroyed.
    m_bWatchRun = 0;
    m_WatchStopEvent.Set();
    m_WatchThread.WaitForEnd(kThreadEndWaitMs);
    if (m_ScanThread.IsRunning()) {
        m_RescanEvent.Set();
        m_ScanThread.WaitForEnd(kThreadEndWaitMs);
    }
}

void CCX_Agent::InitializeMib() {
    CX_TRACE(1, "\nCX_MIB Initialize   : Starting Catalix MIB init...");
    FillMib();
    DWORD status = 1;
    if (!m_ScanThread.Start(ScanThreadMain, this, THREAD_PRIORITY_NORMAL, FALSE, 0)) {
        CX_TRACE(1, "\nCX_MIB Initialize   : **** Start Scan Thread FAILED *****");
        status = 4;
    }
    SetAgentStatus(status);
    SetAgentLastError("");
    CX_TRACE(1, "\nCX_MIB Initialize   : DONE - Status : (%d)", static_cast<int>(status));
}

void CCX_Agent::CloseMib() {
    CX_TRACE(1, "\nCX_MIB Close        : **** START Terminate Scan Thread *****");
    m_ScanStopEvent.Set();
    m_RescanEvent.Set();
    m_ScanThread.WaitForEnd(kCloseWaitMs);
    CX_TRACE(1, "\nCX_MIB Close        : ****   END Terminate Scan Thread   *****");
    if (m_ScanThread.IsRunning() && !m_ScanThread.WaitForEnd(kThreadEndWaitMs) &&
        !m_ScanThread.Terminate(0)) {
        // A running thread cannot be stopped from outside here: the agent it uses must outlive
        // it, so the library keeps the agent (and the host keeps the library loaded).
        m_bInitThreadAbandoned = true;
    }
}

void CCX_Agent::SwitchEventsRestored() {
    if (m_dwFailedScans == 0 || ScanState == kScanStateScanning) return;
    CX_TRACE(3, "\nCX_MIB              : RETRY FAILED SCAN");
    m_RescanEvent.Set();
}

void CCX_Agent::RcmiReply(CSwitchCommand* command) {
    const CmdHeader* frame = command != nullptr ? command->GetHeader() : nullptr;
    const DWORD op_code = frame != nullptr ? frame->OpCode : 0;
    const DWORD status = frame != nullptr ? frame->Status : CMD_STATUS_NO_FRAME;
    CX_TRACE(5, "\nCX_MIB RcmiReply    : Event Received (0x%04X::0x%02X)",
             static_cast<unsigned>(op_code), static_cast<unsigned>(status));
    if (op_code != switch_op::kScanEvent) {
        CX_TRACE(5, "\nCX_MIB RcmiReply    : NO ACTION");
        return;
    }
    const BYTE request = command->GetByte(0);
    if (request == kRescanRequest) {
        CX_TRACE(5, "\nCX_MIB RcmiReply    : RESCAN");
        if (ScanState != kScanStateScanning) {
            m_ScanProfile.Requested();
            m_RescanEvent.Set();
        } else {
            CX_TRACE(3, "\nCX_MIB RcmiReply    : SCAN ALREADY ACTIVE");
        }
    } else if (request == kInventoryChanged) {
        CX_TRACE(5, "\nCX_MIB RcmiReply    : CX INFO CHANGED");
    } else {
        CX_TRACE(5, "\nCX_MIB RcmiReply    : Scan State 0x%02X", static_cast<unsigned>(request));
    }
}
