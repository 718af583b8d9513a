// CSnmpMgr: the session and the requests.
#include "clients/snmp_mgr.h"

#include <cstdint>

#include "base/oid_text.h"
#include "clients/find_community.h"
#include "clients/transport_faults.h"
#include "platform/errors.h"
#include "snmp_mgr_trace.h"

namespace {

constexpr const char* kLocalAgent = "127.0.0.1";
constexpr DWORD kCommunitySize = 260;

unsigned HandleNumber(LPSNMP_MGR_SESSION session) {
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(session));
}

void TraceList(const char* format, const SnmpVarBindList& list) {
    for (UINT i = 0; i < list.len; ++i)
        SNMPMGR_TRACE(5, "%s [%d] : %s", format, static_cast<int>(i),
                      OidToString(&list.list[i].name, 0));
}

// No answer came, or the request could not be sent: from an agent that answered before, that
// means it is gone or cut off, not that it has nothing to say.
bool IsLostAgent(DWORD error) {
    return error == SNMP_MGMTAPI_TIMEOUT || error == SNMP_MGMTAPI_SELECT_FDERRORS;
}

}  // namespace

CSnmpMgr::CSnmpMgr(const char* address, const char* community, INT timeoutMs, INT retries) {
    if (address != nullptr) OpenSession(address, community, timeoutMs, retries);
}

CSnmpMgr::~CSnmpMgr() {
    CloseSession();
    SnmpUtilVarBindListFree(&m_VarBindList);
    FreeRequestOids();
}

BOOL CSnmpMgr::OpenSession(const char* address, const char* community, INT timeoutMs, INT retries) {
    SNMPMGR_TRACE(5, "-> OpenSession");
    SNMPMGR_TRACE(6, "Current session handle: 0x%X", HandleNumber(m_hSession));
    if (address == nullptr || *address == '\0') address = kLocalAgent;
    char found[kCommunitySize] = {};
    if (community == nullptr || *community == '\0') {
        community = FindFirstCommunity(found, sizeof(found)) ? found : kDefaultCommunity;
    }
    SNMPMGR_TRACE(4, "OpenSession: IP=%s, community=%s, timeout=%d msec., retries=%d", address,
                  community, timeoutMs, retries);
    // The manager calls are linked into the process (there is no library to load on demand),
    // so the guard against a failed load has nothing to catch here.
    m_hSession = SnmpMgrOpen(address, community, timeoutMs, retries);
    m_bAnswered = FALSE;
    if (m_hSession == nullptr) {
        m_LastError = GetLastError();
        SNMPMGR_TRACE(1, "## ERROR 0x%X: OpenSession() - SnmpMgrOpen() FAILED!", m_LastError);
    }
    SNMPMGR_TRACE(5, "<- OpenSession: hSession = 0x%X", HandleNumber(m_hSession));
    return m_hSession != nullptr;
}

BOOL CSnmpMgr::CloseSession() {
    if (m_hSession == nullptr) return TRUE;
    BOOL closed = SnmpMgrClose(m_hSession);
    if (!closed) m_LastError = GetLastError();
    m_hSession = nullptr;
    return closed;
}

BOOL CSnmpMgr::Request(BYTE type, SnmpVarBindList* list, AsnInteger* pErrorStatus,
                       AsnInteger* pErrorIndex) {
    m_LastError = 0;
    SNMPMGR_TRACE(5, "-> Request - type = \"%s\"", RequestTypeText(type));
    if (m_hSession == nullptr) {
        SNMPMGR_TRACE(1, "## ERROR: CSnmpMgr::Request - no open session!");
        m_ErrorStatus = SNMP_ERRORSTATUS_GENERR;
        return FALSE;
    }
    SnmpVarBindList* used = list != nullptr ? list : &m_VarBindList;
    if (used->list == nullptr) {
        SNMPMGR_TRACE(1, "## ERROR: CSnmpMgr::Request - no varbind list defined!");
        m_ErrorStatus = SNMP_ERRORSTATUS_GENERR;
        return FALSE;
    }
    SNMPMGR_TRACE(5, "      session %d Type (%02X) %s", static_cast<int>(HandleNumber(m_hSession)),
                  static_cast<unsigned>(type), RequestTypeText(type));
    TraceList("request OID", *used);
    SNMPMGR_TRACE(5, "   call SnmpMgrRequest()...");
    if (!SnmpMgrRequest(m_hSession, type, used, &m_ErrorStatus, &m_ErrorIndex)) {
        m_LastError = GetLastError();
        SNMPMGR_TRACE(1, "## ERROR: SnmpMgrRequest() failed, LastError=%d",
                      static_cast<int>(m_LastError));
        m_ErrorStatus = SNMP_ERRORSTATUS_GENERR;
        if (m_bAnswered && IsLostAgent(m_LastError)) {
            SNMPMGR_TRACE(1, "## ERROR: CSnmpMgr::Request - agent stopped answering!");
            CTransportFaults::Report();
        }
    } else {
        m_bAnswered = TRUE;
    }
    SNMPMGR_TRACE(5, "after SnmpMgrRequest(), errorStatus=%d, errorIndex=%d",
                  static_cast<int>(m_ErrorStatus), static_cast<int>(m_ErrorIndex));
    if (m_ErrorStatus != SNMP_ERRORSTATUS_NOERROR) {
        SNMPMGR_TRACE(4, "SNMP error status: <<%s>> at index %d", ErrorStatusText(m_ErrorStatus),
                      static_cast<int>(m_ErrorIndex));
    } else if (type == SNMP_PDU_GETNEXT) {
        TraceList("return OID", *used);
    }
    if (pErrorStatus != nullptr) *pErrorStatus = m_ErrorStatus;
    if (pErrorIndex != nullptr) *pErrorIndex = m_ErrorIndex;
    SNMPMGR_TRACE(5, "<- Request (LastError = 0x%X)", m_LastError);
    SetLastError(m_LastError);
    return m_ErrorStatus == SNMP_ERRORSTATUS_NOERROR;
}

BOOL CSnmpMgr::RequestVarBind(BYTE type, SnmpVarBind& varBind, AsnInteger* pErrorStatus) {
    SnmpUtilVarBindListFree(&m_VarBindList);
    SnmpVarBind& entry = GetVarBind(0);
    if (m_VarBindList.list == nullptr || !SnmpUtilVarBindCpy(&entry, &varBind)) {
        m_ErrorStatus = SNMP_ERRORSTATUS_GENERR;
        if (pErrorStatus != nullptr) *pErrorStatus = m_ErrorStatus;
        return FALSE;
    }
    if (!Request(type, nullptr, pErrorStatus, nullptr)) return FALSE;
    SnmpVarBind answer = {};
    if (!SnmpUtilVarBindCpy(&answer, &m_VarBindList.list[0])) return FALSE;
    SnmpUtilVarBindFree(&varBind);
    varBind = answer;
    return TRUE;
}

BOOL CSnmpMgr::GetNextInTable(const char* startOidText) {
    if (startOidText != nullptr) {
        SnmpUtilVarBindListFree(&m_VarBindList);
        StringToOid(startOidText, &GetVarBind(0).name);
        SetBaseOid(startOidText, 0);
    }
    // An agent that answers with a name not beyond the one asked for would keep a walk going
    // round for ever: its table ends there.
    AsnObjectIdentifier asked{};
    SnmpUtilOidCpy(&asked, &GetVarBind(0).name);
    BOOL found = Request(SNMP_PDU_GETNEXT, nullptr, nullptr, nullptr);
    if (found && SnmpUtilOidCmp(&GetVarBind(0).name, &asked) <= 0) {
        SNMPMGR_TRACE(1, "## ERROR: GetNextInTable() - %s does not follow the row before",
                      OidToString(&GetVarBind(0).name, 0));
        found = FALSE;
    }
    SnmpUtilOidFree(&asked);
    return found && OidWithinRange();
}

BOOL CSnmpMgr::OidWithinRange() {
    SNMPMGR_TRACE(5, "OidWithinRange(): check for %d result varbinds still in table range",
                  static_cast<int>(m_VarBindList.len));
    if (m_pRequestOids == nullptr) {
        SNMPMGR_TRACE(1, "## ERROR: CSnmpMgr::OidWithinRange() m_pRequestOids == NULL");
        m_nRequestOids = 0;
        return FALSE;
    }
    for (UINT i = 0; i < m_nRequestOids && i < m_VarBindList.len; ++i) {
        const AsnObjectIdentifier& base = m_pRequestOids[i];
        const AsnObjectIdentifier& name = m_VarBindList.list[i].name;
        SNMPMGR_TRACE(5, "request OID [%d] : %s", static_cast<int>(i), OidToString(&base, 0));
        SNMPMGR_TRACE(5, "return  OID [%d] : %s", static_cast<int>(i), OidToString(&name, 0));
        if (SnmpUtilOidNCmp(&name, &base, base.idLength) != 0) {
            SNMPMGR_TRACE(5, "OID [%d] not in table range, return FALSE", static_cast<int>(i));
            return FALSE;
        }
        SNMPMGR_TRACE(5, "   OK");
    }
    return TRUE;
}
