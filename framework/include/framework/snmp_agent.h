// CSnmpAgent: the shell every extension agent of the family shares. It owns the MIB tree, the
// agent's registry parameters and run state, the trap queue, the SWITCH client and the
// initialisation thread; a derived agent supplies the MIB through the virtual operations.
#pragma once

#include <atomic>
#include <deque>

#include "base/file_version_info.h"
#include "base/sys_base.h"
#include "base/thread.h"
#include "clients/rcmi_client.h"
#include "framework/agent_globals.h"
#include "framework/agent_status.h"
#include "framework/mib_tree.h"
#include "platform/snmp.h"

// One ready trap of the queue; owns its OID and bindings (SnmpUtilMem memory).
struct TrapRecord {
    SnmpVarBindList Bindings{};
    AsnObjectIdentifier Enterprise{};
    AsnInteger32 SpecificTrap = 0;
};

class CSnmpAgent : public CSnmpMibTree<CSnmpAgent>, public CSysBase {
  public:
    CSnmpAgent();
    virtual ~CSnmpAgent();
    CSnmpAgent(const CSnmpAgent&) = delete;
    CSnmpAgent& operator=(const CSnmpAgent&) = delete;

    // Called by the SWITCH client for every reply and event it receives.
    virtual void RcmiReply(CSwitchCommand* command);
    virtual void InitializeMib() = 0;
    virtual void CloseMib();
    virtual const char* GetAgentName();
    virtual DWORD GetAgentPurpose();
    virtual BOOL ResolveTrap(AsnObjectIdentifier* enterprise, AsnInteger32* specific_trap,
                             SnmpVarBindList* bindings);
    virtual BOOL ResolveTrapEx(AsnObjectIdentifier* enterprise, AsnInteger32* specific_trap,
                               SnmpVarBindList* bindings, DWORD trap_param);
    virtual BOOL QueryPrologue(BYTE request_type, SnmpVarBindList* bindings,
                               AsnInteger32* error_status, AsnInteger32* error_index);
    virtual void QueryEpilogue(BYTE request_type, SnmpVarBindList* bindings,
                               AsnInteger32* error_status, AsnInteger32* error_index);
    virtual BOOL InitSupportedRegions();
    // Called on the initialisation thread when SWITCH events, lost with the server's
    // connection, are enabled again: whatever the server sent meanwhile did not arrive.
    virtual void SwitchEventsRestored();

    // Serves `build` in place of the whole MIB, swapped in under the MIB lock; the old entries
    // are freed after the lock is dropped. FALSE, and the MIB stays, when the build failed.
    BOOL PublishMib(CSnmpMibBuild<CSnmpAgent>& build);

    // Appends a MIB region: its root OID as dotted text and an optional second text.
    void AddMibRegion(const char* root_oid, const char* text = nullptr);

    // Run state and parameters in the registry; TRUE when written or queued to be (they never
    // wait for another process's hold on the registry).
    BOOL SetAgentRunState(DWORD state);
    BOOL SetAgentStatus(DWORD status);
    BOOL SetAgentLastError(const char* text);
    BOOL SetAgentPurpose(DWORD purpose);
    BOOL SetInvTableIndex(const char* oid_text);
    BOOL DeleteVolatileParameters();
    // Settings: a DWORD of "Parameters" (the out value stays on failure), and a file path of
    // "<common root>\<agent name>\FILE" made absolute against the data root.
    BOOL GetAgentRegParam(const char* name, DWORD* value);
    BOOL GetAgentRegFilePath(const char* name, char* path, DWORD size,
                             const char* agent_name = nullptr);
    // Asks the SWITCH server for the three permission flags; always succeeds.
    BOOL CheckRights();
    // One record in the host's log (the event log), with the module name as its source.
    void ReportToHost(WORD type, const char* format, ...) __attribute__((format(printf, 3, 4)));

    // The exception state an entry-point guard records: the run state, "AgentStatus" 4 and
    // "AgentLastError" "exception occured".
    void RecordException(DWORD state);
    // The banner and exception state of an initialisation (SnmpExtensionInit) that ended by an
    // exception or was given up as if by one.
    void RecordInitException();

    // Traps: a copy of the record joins the queue, which then serves every trap, and the
    // service is told; FALSE when the record could not be copied.
    BOOL QueueTrap(const AsnObjectIdentifier* enterprise, AsnInteger32 specific_trap,
                   const SnmpVarBindList* bindings);
    BOOL ResolveTrapFromQueue(AsnObjectIdentifier* enterprise, AsnInteger32* specific_trap,
                              SnmpVarBindList* bindings);

    // What the entry points run.
    void InitModule(HMODULE module);
    BOOL SnmpInit(DWORD time_zero, HANDLE* trap_event, AsnObjectIdentifier* supported_view);
    BOOL SnmpInitEx(AsnObjectIdentifier* supported_view);
    BOOL SnmpQuery(BYTE request_type, SnmpVarBindList* bindings, AsnInteger32* error_status,
                   AsnInteger32* error_index);
    BOOL SnmpTrap(AsnObjectIdentifier* enterprise, AsnInteger32* generic_trap,
                  AsnInteger32* specific_trap, AsnTimeticks* time_stamp, SnmpVarBindList* bindings);
    // The shutdown sequence; only the first call does anything.
    void SnmpClose();

    static DWORD WINAPI Thread_InitMib(LPVOID agent);

    // Members, in their documented order after the tree.
    HANDLE m_hShutdownEvent = nullptr;
    std::deque<TrapRecord> m_TrapQueue;
    std::atomic<DWORD> m_dwTrapQueueCount{0};
    CRITICAL_SECTION m_TrapQueueLock;
    std::atomic<DWORD> m_bTrapQueueUsed{0};
    CFileVersionInfo m_VersionInfo;
    CRcmiClient m_RcmiClient;
    CRITICAL_SECTION m_MibLock;
    CThread m_InitThread;
    SnmpVarBindList m_Regions{};
    HANDLE m_hTrapEvent = nullptr;
    HANDLE m_hTrapDoneEvent = nullptr;
    char m_szModulePath[MAX_PATH] = {};
    char m_szCommonRoot[MAX_PATH] = {};
    char m_szAgentRoot[MAX_PATH] = {};
    char m_szDataRoot[MAX_PATH] = {};
    std::atomic<DWORD> m_InitDone{0};
    DWORD m_dwStartTime = 0;
    DWORD m_dwNextRegion = 0;
    std::atomic<DWORD> m_dwTrapParam{0};
    std::atomic<DWORD> m_bTrapPending{0};
    char m_szComputerName[16] = {};
    // Set when the initialisation thread could not be stopped: it may still use the agent, so
    // library detach leaves the agent in place instead of deleting it under the thread.
    std::atomic<bool> m_bInitThreadAbandoned{false};
    // An agent that needs nothing of the SWITCH server (a stand-in replaying captures) clears
    // this in its constructor: it then builds its MIB and serves even when the attach fails.
    // Agents that do need the server keep it set and refuse every request without it.
    bool m_bSwitchRequired = true;
    // The enterprise OID of the last trap handed out of the queue: the service copies it and
    // leaves it to the agent, which frees it with the next one or at its end.
    AsnObjectIdentifier m_LastTrapEnterprise{};

  private:
    void RunInitThread();
    // Events, rights and InitializeMib, then requests are served until the shutdown event;
    // without `attached` only InitializeMib.
    void ServeUntilShutdown(bool attached);
    // Waits for the shutdown event and meanwhile keeps the SWITCH events coming: a connection
    // found lost is made again, with growing pauses, once the server is back.
    void KeepSwitchEvents();
    bool RestoreSwitchEvents();
    void LockModules();
    // A value of "Parameters" below the agent root, or of its volatile "VolatileParameters".
    BOOL PublishParameter(bool is_volatile, const char* name, DWORD type, const void* data,
                          DWORD size);
    void StopInitThread();
};
