// CSnmpMgr: one SNMP manager session to one agent, with its own binding list, column-wise
// table walks inside a range, and values handed back as text or numbers.
#pragma once

#include "platform/mgmtapi.h"
#include "platform/snmp.h"

class CSnmpMgr {
  public:
    // Opens a session only when `address` is not NULL; collectors open it explicitly.
    CSnmpMgr(const char* address = nullptr, const char* community = nullptr, INT timeoutMs = 0,
             INT retries = 0);
    ~CSnmpMgr();
    CSnmpMgr(const CSnmpMgr&) = delete;
    CSnmpMgr& operator=(const CSnmpMgr&) = delete;

    // NULL or "" address: 127.0.0.1; NULL or "" community: FindFirstCommunity, else "norbel".
    BOOL OpenSession(const char* address, const char* community, INT timeoutMs, INT retries);
    BOOL CloseSession();

    // keepValues FALSE empties every entry first; the list grows to `count` and never shrinks.
    BOOL ResizeVarBindList(UINT count, BOOL keepValues);
    SnmpVarBind& GetVarBind(UINT i);
    // One column of a request: the text cut at its first ".0" sub-identifier, then the indexes
    // up to the first -1 appended; position 0 also becomes base OID 0.
    void SetOID(const char* oidText, UINT position, int index1 = -1, int index2 = -1,
                int index3 = -1);
    BOOL SetBaseOid(const char* oidText, UINT i);

    // TRUE exactly when the request got an answer with error status 0. A session whose agent
    // answered before and then stops answering reports a transport failure (CTransportFaults):
    // what the walk under way read is then incomplete. Without any answer yet there is simply
    // no agent.
    BOOL Request(BYTE type, SnmpVarBindList* list, AsnInteger* pErrorStatus,
                 AsnInteger* pErrorIndex);
    // varBind is replaced by the answer only when the request succeeds.
    BOOL RequestVarBind(BYTE type, SnmpVarBind& varBind, AsnInteger* pErrorStatus);
    // One row of a table walk: from startOidText when given, else from the names the previous
    // step left in the list. FALSE at the end of the table or of the agent's MIB, on failure, or
    // when the agent answers with a name that does not lie beyond the one asked for.
    BOOL GetNextInTable(const char* startOidText);
    BOOL OidWithinRange();

    // The text of an OCTET STRING, NUL-terminated in place; lives as long as the binding.
    const char* GetString(SnmpVarBind& varBind);
    UINT GetInteger(const SnmpVarBind& varBind);

    SnmpVarBindList m_VarBindList = {};
    AsnInteger m_ErrorStatus = 0;
    AsnInteger m_ErrorIndex = 0;
    LPSNMP_MGR_SESSION m_hSession = nullptr;
    AsnObjectIdentifier* m_pRequestOids = nullptr;
    UINT m_nRequestOids = 0;
    DWORD m_LastError = 0;
    // The agent answered a request of this session (since it was opened).
    BOOL m_bAnswered = FALSE;

  private:
    void FreeRequestOids();
};
