// CSnmpMgr: the binding list, the columns of a request and the base OIDs of a walk.
#include <climits>
#include <cstdio>
#include <string>

#include "base/oid_text.h"
#include "clients/snmp_mgr.h"
#include "snmp_mgr_trace.h"

namespace {

void MakeFresh(SnmpVarBind& entry) {
    entry = {};
    entry.value.asnType = ASN_NULL;
}

// The text up to its first sub-identifier 0: a scalar instance ("...1.1.0") or a column written
// with trailing zeros ("...4.1.1.0.0.0.0") becomes the column, so a GETNEXT finds its first row.
std::string ColumnOf(const char* text) {
    std::string column = text;
    for (std::size_t at = column.find(".0"); at != std::string::npos;
         at = column.find(".0", at + 1)) {
        const std::size_t after = at + 2;
        if (after == column.size() || column[after] == '.') {
            column.erase(at);
            break;
        }
    }
    return column;
}

}  // namespace

BOOL CSnmpMgr::ResizeVarBindList(UINT count, BOOL keepValues) {
    if (!keepValues) {
        for (UINT i = 0; m_VarBindList.list != nullptr && i < m_VarBindList.len; ++i) {
            SnmpUtilVarBindFree(&m_VarBindList.list[i]);
            MakeFresh(m_VarBindList.list[i]);
        }
    }
    if (count <= m_VarBindList.len) return TRUE;
    void* grown = nullptr;
    if (count <= UINT_MAX / sizeof(SnmpVarBind))
        grown = SnmpUtilMemReAlloc(m_VarBindList.list, count * sizeof(SnmpVarBind));
    if (grown == nullptr) {
        // The old entries go with the list, so that nothing they point to is lost.
        SnmpUtilVarBindListFree(&m_VarBindList);
        return FALSE;
    }
    m_VarBindList.list = static_cast<SnmpVarBind*>(grown);
    for (UINT i = m_VarBindList.len; i < count; ++i)
        MakeFresh(m_VarBindList.list[i]);
    m_VarBindList.len = count;
    return TRUE;
}

SnmpVarBind& CSnmpMgr::GetVarBind(UINT i) {
    if (i < UINT_MAX && ResizeVarBindList(i + 1, TRUE)) return m_VarBindList.list[i];
    // Out of memory: the caller still gets an entry to read and write, one that no request
    // carries.
    thread_local SnmpVarBind spare;
    SnmpUtilVarBindFree(&spare);
    MakeFresh(spare);
    return spare;
}

void CSnmpMgr::SetOID(const char* oidText, UINT position, int index1, int index2, int index3) {
    std::string text = oidText != nullptr ? ColumnOf(oidText) : std::string();
    for (const int index : {index1, index2, index3}) {
        if (index == -1) break;
        text += "." + std::to_string(index);
    }
    if (position == 0) {
        SetBaseOid(text.c_str(), 0);
        SNMPMGR_TRACE(5, "BaseOID %s", text.c_str());
    }
    AsnObjectIdentifier& name = GetVarBind(position).name;
    SnmpUtilOidFree(&name);
    StringToOid(text.c_str(), &name);
    SNMPMGR_TRACE(5, "SetOID %s %s", text.c_str(), index1 != -1 ? "(Index)" : "");
}

BOOL CSnmpMgr::SetBaseOid(const char* oidText, UINT i) {
    if (i >= m_nRequestOids) {
        FreeRequestOids();
        if (i >= UINT_MAX / sizeof(AsnObjectIdentifier)) return FALSE;
        m_pRequestOids = static_cast<AsnObjectIdentifier*>(
            SnmpUtilMemAlloc((i + 1) * sizeof(AsnObjectIdentifier)));
        if (m_pRequestOids == nullptr) return FALSE;
        m_nRequestOids = i + 1;
        SNMPMGR_TRACE(5, "realloc RequestOids --> %d", static_cast<int>(m_nRequestOids));
    }
    SnmpUtilOidFree(&m_pRequestOids[i]);
    if (oidText != nullptr) StringToOid(oidText, &m_pRequestOids[i]);
    return TRUE;
}

void CSnmpMgr::FreeRequestOids() {
    for (UINT i = 0; m_pRequestOids != nullptr && i < m_nRequestOids; ++i)
        SnmpUtilOidFree(&m_pRequestOids[i]);
    SnmpUtilMemFree(m_pRequestOids);
    m_pRequestOids = nullptr;
    m_nRequestOids = 0;
}
