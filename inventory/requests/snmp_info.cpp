// Component texts that the request table says to read from SNMP variables of another agent,
// through the collector's open manager session.
#include <cstdio>

#include "base/oid_text.h"
#include "inventory/cx_agent.h"
#include "request_trace.h"

namespace {

// The answer as the inventory shows it. INTEGER is signed; the counters, gauges and time ticks
// are unsigned and are written so, or a large count would read as a negative number. Other
// types, Opaque included, have no text an inventory field could show: their bytes are an
// encoding of their own, not characters.
void AnswerText(CSnmpMgr* manager, SnmpVarBind& answer, char* text, DWORD size) {
    char number[16] = {};
    switch (answer.value.asnType) {
        case ASN_OCTETSTRING: CopyText(text, size, manager->GetString(answer)); return;
        case ASN_INTEGER:
            std::snprintf(number, sizeof(number), "%d",
                          static_cast<int>(manager->GetInteger(answer)));
            break;
        case ASN_COUNTER32:
        case ASN_GAUGE32:
        case ASN_TIMETICKS:
            std::snprintf(number, sizeof(number), "%u", manager->GetInteger(answer));
            break;
        default: break;
    }
    CopyText(text, size, number);
}

}  // namespace

void CCX_Agent::GetInfoBySnmp(ComponentEntry* entry, CSnmpMgr* manager, const char* section,
                              LONG index) {
    if (entry == nullptr) return;
    entry->Clear();
    entry->CompType = m_RequestTable.ReadInt(section, "Class", 0);
    for (int i = 0; i < kSnmpInfoFieldCount; ++i) {
        GetSnmpValue(manager, section, kInfoFields[i].key, entry->*kInfoFields[i].text,
                     kEntryTextSize, index);
    }
}

void CCX_Agent::GetSnmpValue(CSnmpMgr* manager, const char* section, const char* key, char* text,
                             DWORD size, LONG index) {
    const char* value = m_RequestTable.ReadString(section, key, "");
    if (value[0] != '.') {
        REQUEST_DETAIL(3, "   %s", value);
        CopyText(text, size, value);
        return;
    }
    REQUEST_DETAIL(3, "   OID %s", value);
    if (manager == nullptr || manager->m_hSession == nullptr) return;
    SnmpVarBind request = {};
    // The table names the column; its last sub-identifier stands for the row.
    if (StringToOid(value, &request.name) && request.name.idLength > 0) {
        request.name.ids[request.name.idLength - 1] = static_cast<UINT>(index);
        CX_TRACE(5, "\nCX_MIB CXInfo       : SNMP Request OID %s", OidToString(&request.name, 0));
        if (manager->RequestVarBind(SNMP_PDU_GET, request, nullptr)) {
            AnswerText(manager, request, text, size);
            SnmpUtilVarBindFree(&request);
            return;
        }
    }
    REQUEST_DETAIL(3, "  Oid %s not found !!!", value);
    CopyText(text, size, "");
    SnmpUtilVarBindFree(&request);
}
