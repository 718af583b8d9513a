// CSnmpAgent: construction, the virtual defaults, the MIB regions, SnmpInit and
// SnmpExtensionInitEx, the initialisation thread and the shutdown sequence.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/oid_text.h"
#include "clients/rights_flags.h"
#include "framework/snmp_agent.h"
#include "framework/trace_banner.h"
#include "platform/eventlog.h"
#include "platform/objbase.h"

namespace {

constexpr UINT kInitThreadStackSize = 0x100000;
// How often the SWITCH connection that carries the events is checked, and the pauses between
// attempts to make it again once it was lost: doubled from the first up to the last.
constexpr DWORD kSwitchCheckMs = 5000;
constexpr DWORD kSwitchRetryFirstMs = 1000;
constexpr DWORD kSwitchRetryLastMs = 60000;
// How long the shutdown sequence waits for the initialisation thread; the message names it.
constexpr DWORD kInitThreadWaitMs = 30000;

const char* HResultText(HRESULT result) {
    switch (static_cast<DWORD>(result)) {
        case 0x80040154u: return "Class not registered";
        case 0x80080005u: return "Server execution failed";
        case 0x800706BAu: return "The RPC server is unavailable";
        case 0x80070005u: return "Access is denied";
        case 0x80004005u: return "Unspecified error";
        case 0x80004002u: return "No such interface supported";
        case 0x8007000Eu: return "Ran out of memory";
        case 0x800401F0u: return "CoInitialize has not been called";
        default: return "unknown error";
    }
}

// The flag that lets the shutdown sequence run only once per process.
std::atomic<DWORD> g_CloseDone{0};

}  // namespace

CSnmpAgent::CSnmpAgent() {
    AgentShutdown = 0;
    g_CloseDone = 0;
    SetAllowed = 0;
    ShutdownIsAllowed = 0;
    DoAccountCheck = 0;
    g_szModuleName[0] = '\0';
    InitializeCriticalSection(&m_TrapQueueLock);
    InitializeCriticalSection(&m_MibLock);
    m_hTrapEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_hTrapDoneEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_hShutdownEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_RcmiClient.SetReplyHandler([this](CSwitchCommand* command) { RcmiReply(command); });
}

CSnmpAgent::~CSnmpAgent() {
    SetAgentRunState(kRunStateUnloaded);
    if (m_hShutdownEvent != nullptr) CloseHandle(m_hShutdownEvent);
    if (m_hTrapEvent != nullptr) CloseHandle(m_hTrapEvent);
    if (m_hTrapDoneEvent != nullptr) CloseHandle(m_hTrapDoneEvent);
    SnmpUtilVarBindListFree(&m_Regions);
    for (TrapRecord& record : m_TrapQueue) {
        SnmpUtilOidFree(&record.Enterprise);
        SnmpUtilVarBindListFree(&record.Bindings);
    }
    m_TrapQueue.clear();
    SnmpUtilOidFree(&m_LastTrapEnterprise);
    DeleteMib();
    DeleteCriticalSection(&m_MibLock);
    DeleteCriticalSection(&m_TrapQueueLock);
}

void CSnmpAgent::RcmiReply(CSwitchCommand*) {}
void CSnmpAgent::CloseMib() {}
const char* CSnmpAgent::GetAgentName() { return g_szModuleName; }
DWORD CSnmpAgent::GetAgentPurpose() { return 1; }
BOOL CSnmpAgent::QueryPrologue(BYTE, SnmpVarBindList*, AsnInteger32*, AsnInteger32*) {
    return TRUE;
}
void CSnmpAgent::QueryEpilogue(BYTE, SnmpVarBindList*, AsnInteger32*, AsnInteger32*) {}
BOOL CSnmpAgent::InitSupportedRegions() { return FALSE; }
void CSnmpAgent::SwitchEventsRestored() {}

void CSnmpAgent::ReportToHost(WORD type, const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    HANDLE log = RegisterEventSourceA(nullptr, g_szModuleName);
    if (log == nullptr) return;
    LPCSTR strings[] = {text};
    ReportEventA(log, type, 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(log);
}

BOOL CSnmpAgent::PublishMib(CSnmpMibBuild<CSnmpAgent>& build) {
    build.Seal();  // before the lock: requests wait only for the swap
    EnterCriticalSection(&m_MibLock);
    const BOOL replaced = ReplaceMib(build);
    LeaveCriticalSection(&m_MibLock);
    build.Clear();
    return replaced;
}

void CSnmpAgent::AddMibRegion(const char* root_oid, const char* text) {
    if (root_oid == nullptr) return;
    SnmpVarBind region{};
    StringToOid(root_oid, &region.name);
    const char* second = text != nullptr ? text : "";
    std::size_t length = std::strlen(second);
    region.value.asnType = ASN_OCTETSTRING;
    if (length > 0) {
        auto* stream = static_cast<BYTE*>(SnmpUtilMemAlloc(static_cast<UINT>(length)));
        if (stream != nullptr) {
            std::memcpy(stream, second, length);
            region.value.asnValue.string = {stream, static_cast<UINT>(length), TRUE};
        }
    }
    auto* list = static_cast<SnmpVarBind*>(
        SnmpUtilMemReAlloc(m_Regions.list, (m_Regions.len + 1) * sizeof(SnmpVarBind)));
    if (list == nullptr) {
        SnmpUtilVarBindFree(&region);
        return;
    }
    m_Regions.list = list;
    m_Regions.list[m_Regions.len++] = region;
    if (text != nullptr) {
        CX_TRACE(1, "\n%-20s:  add MIB region: %s - %s", g_szModuleName, root_oid, text);
    } else {
        CX_TRACE(1, "\n%-20s:  add MIB region: %s", g_szModuleName, root_oid);
    }
}

void CSnmpAgent::RecordInitException() {
    TraceBanner("\n####                   Exception in SnmpExtensionInit !!                  ####");
    RecordException(kRunStateExceptionInit);
}

BOOL CSnmpAgent::SnmpInit(DWORD time_zero, HANDLE* trap_event,
                          AsnObjectIdentifier* supported_view) {
    CX_TRACE(2, "\n%-20s: SnmpInit(): Initializing agent...", g_szModuleName);
    SetAgentRunState(kRunStateInitializing);
    m_dwStartTime = time_zero;
    CX_TRACE(4, "\n%-20s:  Agent start time = %u...", g_szModuleName, time_zero);
    if (trap_event != nullptr) *trap_event = m_hTrapEvent;
    if (m_hTrapEvent == nullptr) {
        CX_TRACE(1, "\n##%-20s: ERROR: Could not create trap event!", g_szModuleName);
    }
    m_InitDone = 0;

    if (m_Regions.len == 0) {
        if (!InitSupportedRegions() || m_Regions.len == 0) {
            CX_TRACE(1,
                     "\n\n## FATAL ERROR: InitSupportedRegions() function not implemented or "
                     "failed!!\n");
            CX_TRACE(1,
                     "\nThe agent needs the MIB root OIDs to be defined in "
                     "InitSupportedRegions()!");
            CX_TRACE(1,
                     "\nCall AddMibRegion() for every MIB root OID there.\nException raised "
                     "to abort initialization!\n");
            RecordInitException();
            return FALSE;
        }
    } else {
        CX_TRACE(4,
                 "\n%-20s: InitSupportedRegions() not needed to be called because MIB root "
                 "already defined",
                 g_szModuleName);
    }
    // The view stays the agent's: the service copies what it needs and frees nothing.
    if (supported_view != nullptr) *supported_view = m_Regions.list[0].name;
    m_dwNextRegion = 1;

    CX_TRACE(3, "\n%-20s: Storing agent parameters...", g_szModuleName);
    // The stored index carries the leading dot that the readers of this value expect.
    SetInvTableIndex((std::string(".") + OidToString(&m_Regions.list[0].name, 0)).c_str());
    SetAgentPurpose(GetAgentPurpose());
    SetAgentStatus(kAgentStatusInitializing);
    SetAgentLastError("initializing");

    CX_TRACE(3, "\n%-20s: Starting MIB initialization thread...", g_szModuleName);
    m_InitThread.SetName(g_szModuleName, ":Thread_InitMib");
    m_InitThread.Start(&CSnmpAgent::Thread_InitMib, this, THREAD_PRIORITY_NORMAL, FALSE,
                       kInitThreadStackSize);
    CX_TRACE(3, "\n%-20s: ...MIB initialization thread started", g_szModuleName);
    if (m_hTrapDoneEvent != nullptr) SetEvent(m_hTrapDoneEvent);
    CX_TRACE(5, "\n%-20s: -> SnmpInit()", g_szModuleName);
    return TRUE;
}

BOOL CSnmpAgent::SnmpInitEx(AsnObjectIdentifier* supported_view) {
    CX_TRACE(2, "\n%-20s: SnmpInitEx(): Get next MIB region [%d]", g_szModuleName,
             static_cast<int>(m_dwNextRegion));
    if (m_dwNextRegion < m_Regions.len) {
        const SnmpVarBind& region = m_Regions.list[m_dwNextRegion];
        const AsnOctetString& text = region.value.asnValue.string;
        std::string second;
        if (text.stream != nullptr) {
            second.assign(reinterpret_cast<const char*>(text.stream), text.length);
        }
        CX_TRACE(3, "\n%-20s:  supplying additional MIB region: %s %s", g_szModuleName,
                 second.c_str(), OidToString(&region.name, 0));
        if (supported_view != nullptr) *supported_view = region.name;
        ++m_dwNextRegion;
        return TRUE;
    }
    CX_TRACE(3, "\n%-20s: no additional MIB regions available", g_szModuleName);
    return FALSE;
}

DWORD WINAPI CSnmpAgent::Thread_InitMib(LPVOID agent) {
    static_cast<CSnmpAgent*>(agent)->RunInitThread();
    return 0;
}

void CSnmpAgent::RunInitThread() {
    HRESULT com_init = E_FAIL;
    try {
        CX_TRACE(2, "\n\n%-20s: *** START THREAD Thread_InitMib() ***\n", g_szModuleName);
        SetAgentRunState(kRunStateStarting);
        com_init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const bool attached = m_RcmiClient.Attach(nullptr) != FALSE;
        if (!attached) {
            HRESULT result = m_RcmiClient.GetLastHResult();
            CX_TRACE(1, "\n\n%-20s: ## ERROR 0x%X! SWITCH attach FAILED (%s)!\n", g_szModuleName,
                     static_cast<unsigned>(result), HResultText(result));
        } else {
            m_RcmiClient.EnableCancelRequest(TRUE);
        }
        if ((attached || !m_bSwitchRequired) && AgentShutdown == 0) ServeUntilShutdown(attached);
        if (attached) m_RcmiClient.Detach();
    } catch (...) {
        TraceBanner(
            "\n####                   Exception in MIB Init Thread !!                    ####");
        RecordException(kRunStateExceptionInitializeMib);
        m_RcmiClient.Detach();
    }
    CX_TRACE(4, "\n\n%-20s: Start CoUninitialize() ...", g_szModuleName);
    if (com_init == S_OK || com_init == S_FALSE) CoUninitialize();
    CX_TRACE(4, "\n\n%-20s: ... CoUninitialize() done.", g_szModuleName);
    CX_TRACE(2, "\n\n%-20s: *** EXIT THREAD Thread_InitMib() ***\n", g_szModuleName);
}

void CSnmpAgent::ServeUntilShutdown(bool attached) {
    if (attached) {
        CX_TRACE(3, "\n%-20s: Enable SWITCH events ...", g_szModuleName);
        m_RcmiClient.EnableEvents(TRUE);
        CX_TRACE(3, "\n%-20s: ...SWITCH events enabled!", g_szModuleName);
        if (AgentShutdown == 0) CheckRights();
    } else {
        CX_TRACE(2, "\n%-20s: Serving without SWITCH", g_szModuleName);
    }
    if (AgentShutdown == 0) {
        CX_TRACE(3, "\n%-20s: Calling the agent's InitializeMib()...", g_szModuleName);
        InitializeMib();
    } else {
        CX_TRACE(2, "\n%-20s: Agent's InitializeMib() not called - agent shutdown in progress!",
                 g_szModuleName);
    }
    if (attached && AgentShutdown == 0) CheckRights();
    m_InitDone = 1;
    CX_TRACE(3, "\n%-20s: Initialization done - SNMP requests enabled!", g_szModuleName);
    SetAgentRunState(kRunStateStarted);

    if (attached) {
        KeepSwitchEvents();
    } else {
        WaitForSingleObject(m_hShutdownEvent, INFINITE);
    }
    CX_TRACE(1, "\n%-20s: Shutdown SNMP agent signaled!!", g_szModuleName);
    if (!attached) return;
    CX_TRACE(3, "\n%-20s: Disable SWITCH events ...", g_szModuleName);
    m_RcmiClient.EnableEvents(FALSE);
    CX_TRACE(3, "\n%-20s: ... SWITCH events disabled", g_szModuleName);
}

void CSnmpAgent::KeepSwitchEvents() {
    bool lost = false;
    DWORD pause_ms = kSwitchRetryFirstMs;
    while (WaitForSingleObject(m_hShutdownEvent, lost ? pause_ms : kSwitchCheckMs) ==
           WAIT_TIMEOUT) {
        if (!lost) {
            if (m_RcmiClient.IsConnected()) continue;
            lost = true;
            pause_ms = kSwitchRetryFirstMs;
            CX_TRACE(1, "\n%-20s: ## SWITCH connection lost! Events enabled again when it is back",
                     g_szModuleName);
            ReportToHost(EVENTLOG_WARNING_TYPE,
                         "connection to the SWITCH server lost; its events are enabled again "
                         "when it is back");
        }
        if (RestoreSwitchEvents()) {
            lost = false;
            continue;
        }
        CX_TRACE(3, "\n%-20s: SWITCH not reachable, next attempt in %u ms", g_szModuleName,
                 static_cast<unsigned>(pause_ms));
        pause_ms = pause_ms < kSwitchRetryLastMs / 2 ? pause_ms * 2 : kSwitchRetryLastMs;
    }
}

// The dead connection is given up and a new one made, with the events advised on it; then the
// rights are asked again (their events may have been missed) and the agent is told.
bool CSnmpAgent::RestoreSwitchEvents() {
    m_RcmiClient.EnableEvents(FALSE);
    m_RcmiClient.Detach();
    if (!m_RcmiClient.Attach(nullptr) || !m_RcmiClient.EnableEvents(TRUE) ||
        !m_RcmiClient.IsAdvised()) {
        return false;
    }
    CX_TRACE(1, "\n%-20s: SWITCH connection restored, events enabled!", g_szModuleName);
    ReportToHost(EVENTLOG_INFORMATION_TYPE,
                 "connection to the SWITCH server restored; events enabled");
    if (AgentShutdown == 0) CheckRights();
    SwitchEventsRestored();
    return true;
}

void CSnmpAgent::StopInitThread() {
    if (!m_InitThread.IsRunning()) {
        CX_TRACE(3, "\n%-20s: SnmpClose():   Init thread did already exit", g_szModuleName);
        return;
    }
    CX_TRACE(3, "\n%-20s: SnmpClose():   waiting for exit of init thread ...", g_szModuleName);
    if (m_InitThread.WaitForEnd(kInitThreadWaitMs)) {
        CX_TRACE(3, "\n%-20s: SnmpClose():   init thread terminated, do some other cleanup...",
                 g_szModuleName);
        return;
    }
    CX_TRACE(1,
             "\n\n##%-20s: ERROR in SnmpClose(): Init thread did not terminate within 30 "
             "seconds! Thread is being killed!\n",
             g_szModuleName);
    if (!m_InitThread.Terminate(0)) m_bInitThreadAbandoned = true;
}

void CSnmpAgent::SnmpClose() {
    DWORD expected = 0;
    if (!g_CloseDone.compare_exchange_strong(expected, 1)) return;
    try {
        SetAgentRunState(kRunStateStopping);
        AgentShutdown = 1;
        CX_TRACE(2, "\n%-20s: SnmpClose(): Shutting down agent", g_szModuleName);
        CX_TRACE(3, "\n%-20s: SnmpClose():   Cancel outstanding RCMI calls...", g_szModuleName);
        m_RcmiClient.CancelRequest(0);
        CX_TRACE(3, "\n%-20s: SnmpClose():   Calling the agent's CloseMib()...", g_szModuleName);
        CloseMib();
        CX_TRACE(3, "\n%-20s: SnmpClose():   ...CloseMib() done", g_szModuleName);
        SetAgentRunState(kRunStateShutdown);
        SetEvent(m_hShutdownEvent);
        StopInitThread();
        CX_TRACE(3, "\n%-20s: SnmpClose():   delete MIB...", g_szModuleName);
        DeleteMib();
        CX_TRACE(3, "\n%-20s: SnmpClose():   ... MIB deleted.", g_szModuleName);
        CX_TRACE(2, "\n%-20s: SnmpClose(): Agent shutdown finished.", g_szModuleName);
        SetAgentRunState(kRunStateStopped);
    } catch (...) {
        CX_TRACE(1, "\n%-20s: ####  Exception in SnmpExtensionClose() #### ", g_szModuleName);
        SetAgentRunState(kRunStateExceptionClose);
    }
}
