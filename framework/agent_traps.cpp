// The trap side of the agent: a pending trap resolved by the derived agent, or a queue of ready
// trap records, handed to the service one per SnmpExtensionTrap call.
#include "base/oid_text.h"
#include "framework/snmp_agent.h"
#include "platform/timing.h"

namespace {

constexpr AsnInteger32 kEnterpriseSpecificTrap = 6;

class QueueLock {
  public:
    explicit QueueLock(LPCRITICAL_SECTION lock) : lock_(lock) { EnterCriticalSection(lock_); }
    ~QueueLock() { LeaveCriticalSection(lock_); }
    QueueLock(const QueueLock&) = delete;
    QueueLock& operator=(const QueueLock&) = delete;

  private:
    LPCRITICAL_SECTION lock_;
};

void FreeTrapRecord(TrapRecord& record) {
    SnmpUtilOidFree(&record.Enterprise);
    SnmpUtilVarBindListFree(&record.Bindings);
}

}  // namespace

BOOL CSnmpAgent::ResolveTrap(AsnObjectIdentifier*, AsnInteger32*, SnmpVarBindList*) {
    CX_TRACE(1,
             "\n%-20s: ## ERROR in CSnmpAgent::ResolveTrap(): function not overloaded! Trap "
             "request ignored!!",
             g_szModuleName);
    return FALSE;
}

BOOL CSnmpAgent::ResolveTrapEx(AsnObjectIdentifier* enterprise, AsnInteger32* specific_trap,
                               SnmpVarBindList* bindings, DWORD) {
    return ResolveTrap(enterprise, specific_trap, bindings);
}

BOOL CSnmpAgent::QueueTrap(const AsnObjectIdentifier* enterprise, AsnInteger32 specific_trap,
                           const SnmpVarBindList* bindings) {
    TrapRecord record;
    record.SpecificTrap = specific_trap;
    if ((enterprise != nullptr && !SnmpUtilOidCpy(&record.Enterprise, enterprise)) ||
        (bindings != nullptr && !SnmpUtilVarBindListCpy(&record.Bindings, bindings))) {
        FreeTrapRecord(record);
        return FALSE;
    }
    {
        QueueLock lock(&m_TrapQueueLock);
        m_TrapQueue.push_back(record);
        m_dwTrapQueueCount = static_cast<DWORD>(m_TrapQueue.size());
    }
    m_bTrapQueueUsed = 1;
    if (m_hTrapEvent != nullptr) SetEvent(m_hTrapEvent);
    return TRUE;
}

BOOL CSnmpAgent::ResolveTrapFromQueue(AsnObjectIdentifier* enterprise, AsnInteger32* specific_trap,
                                      SnmpVarBindList* bindings) {
    if (m_dwTrapQueueCount == 0) {
        CX_TRACE(3, "\n%-20s: CSnmpAgent::ResolveTrap(): no (more) trap data in queue",
                 g_szModuleName);
        return FALSE;
    }
    QueueLock lock(&m_TrapQueueLock);
    if (m_TrapQueue.empty()) return FALSE;
    TrapRecord record = m_TrapQueue.front();
    m_TrapQueue.pop_front();
    m_dwTrapQueueCount = static_cast<DWORD>(m_TrapQueue.size());
    CX_TRACE(2, "\n%-20s: SnmpAgent::ResolveTrap(): Found trap #%d in trap queue, resolve trap",
             g_szModuleName, static_cast<int>(record.SpecificTrap));
    // The service frees the bindings; the enterprise OID it only copies, as agents commonly
    // hand out a static one, so the agent keeps this one until the next trap.
    SnmpUtilOidFree(&m_LastTrapEnterprise);
    m_LastTrapEnterprise = record.Enterprise;
    *enterprise = record.Enterprise;
    *bindings = record.Bindings;
    *specific_trap = record.SpecificTrap;
    return TRUE;
}

BOOL CSnmpAgent::SnmpTrap(AsnObjectIdentifier* enterprise, AsnInteger32* generic_trap,
                          AsnInteger32* specific_trap, AsnTimeticks* time_stamp,
                          SnmpVarBindList* bindings) {
    BOOL to_send = FALSE;
    try {
        if (m_bTrapQueueUsed != 0) {
            CX_TRACE(4,
                     "\n%-20s: SnmpTrap(): SNMP trap and trap queue used, calling "
                     "ResolveTrapFromQueue()...",
                     g_szModuleName);
            to_send = ResolveTrapFromQueue(enterprise, specific_trap, bindings);
        } else if (m_bTrapPending != 0) {
            CX_TRACE(4,
                     "\n%-20s: SnmpTrap(): SNMP trap (queue not used), calling ResolveTrapEx()...",
                     g_szModuleName);
            to_send = ResolveTrapEx(enterprise, specific_trap, bindings, m_dwTrapParam);
        }
        if (to_send) {
            CX_TRACE(4, "\n%-20s: SnmpTrap(): ResolveTrapEx() returned TRUE - trap to send...",
                     g_szModuleName);
            *generic_trap = kEnterpriseSpecificTrap;
            *time_stamp = GetTickCount() / 10 - m_dwStartTime;
            CX_TRACE(1, "\n\n%-20s: ## Trap %d (Param: %d, OID: %s) ##\n", g_szModuleName,
                     static_cast<int>(*specific_trap), static_cast<int>(bindings->len),
                     OidToString(enterprise, 0));
            CX_TRACE(2, "\n%-20s: SnmpTrap(): WARNING! Trap forwarding features not included!",
                     g_szModuleName);
            CX_TRACE(3,
                     "\n%-20s: SnmpTrap(): trap handling finished, send the trap to SNMP service",
                     g_szModuleName);
        } else {
            CX_TRACE(4, "\n%-20s: SnmpTrap(): No (more) traps to send!", g_szModuleName);
        }
    } catch (...) {
        CX_TRACE(
            1,
            "\n\n##############################################################################");
        CX_TRACE(
            1, "\n####                  %s - Exception in SnmpExtensionTrap !!                ####",
            g_szModuleName);
        CX_TRACE(
            1,
            "\n##############################################################################\n");
        RecordException(kRunStateExceptionTrap);
        to_send = FALSE;
    }
    m_dwTrapParam = 0;
    m_bTrapPending = 0;
    if (m_hTrapDoneEvent != nullptr) SetEvent(m_hTrapDoneEvent);
    CX_TRACE(4, "\n%-20s: SnmpTrap(): SNMP trap exit (TrapToSend=%s)", g_szModuleName,
             to_send ? "TRUE" : "FALSE");
    return to_send;
}
