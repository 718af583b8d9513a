// CSnmpMgr: values of an answer as text or as a number.
#include <climits>
#include <cstring>

#include "clients/snmp_mgr.h"

const char* CSnmpMgr::GetString(SnmpVarBind& varBind) {
    static const char kEmpty[] = "";
    if (varBind.value.asnType != ASN_OCTETSTRING) return "<<GetString type mismatch>>";
    AsnOctetString& octets = varBind.value.asnValue.string;
    if (octets.length == 0 || octets.stream == nullptr) return kEmpty;
    if (octets.stream[octets.length - 1] == '\0')
        return reinterpret_cast<const char*>(octets.stream);
    if (octets.length == UINT_MAX) return "<<SnmpUtilMemReAlloc ERROR>>";
    // The terminator goes after the last byte; the value's length stays as the agent sent it.
    // Bytes the binding does not own (not dynamic) are copied rather than reallocated.
    BYTE* terminated = nullptr;
    if (octets.dynamic) {
        terminated = static_cast<BYTE*>(SnmpUtilMemReAlloc(octets.stream, octets.length + 1));
    } else {
        terminated = static_cast<BYTE*>(SnmpUtilMemAlloc(octets.length + 1));
        if (terminated != nullptr) std::memcpy(terminated, octets.stream, octets.length);
    }
    if (terminated == nullptr) return "<<SnmpUtilMemReAlloc ERROR>>";
    terminated[octets.length] = '\0';
    octets.stream = terminated;
    octets.dynamic = TRUE;
    return reinterpret_cast<const char*>(terminated);
}

UINT CSnmpMgr::GetInteger(const SnmpVarBind& varBind) {
    switch (varBind.value.asnType) {
        case ASN_INTEGER: return static_cast<UINT>(varBind.value.asnValue.number);
        case ASN_COUNTER32:
        case ASN_GAUGE32:
        case ASN_TIMETICKS: return varBind.value.asnValue.unsigned32;
        default: return 0;
    }
}
