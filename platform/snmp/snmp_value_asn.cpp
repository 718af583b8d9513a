// The neutral binding to and from the extension API's types.
#include <cstring>

#include "platform/snmp_value_asn.h"

namespace cx::snmp {
namespace {

bool StoreOctets(const std::string& from, AsnOctetString* to) {
    to->stream = nullptr;
    to->length = 0;
    to->dynamic = FALSE;
    if (from.empty()) return true;
    auto* stream = static_cast<BYTE*>(SnmpUtilMemAlloc(static_cast<UINT>(from.size())));
    if (stream == nullptr) return false;
    std::memcpy(stream, from.data(), from.size());
    to->stream = stream;
    to->length = static_cast<UINT>(from.size());
    to->dynamic = TRUE;
    return true;
}

}  // namespace

Oid OidFromAsn(const AsnObjectIdentifier& oid) {
    if (oid.ids == nullptr) return {};
    return Oid(oid.ids, oid.ids + oid.idLength);
}

bool StoreOid(const Oid& from, AsnObjectIdentifier* to) {
    to->idLength = 0;
    to->ids = nullptr;
    if (from.empty()) return true;
    auto* ids = static_cast<UINT*>(SnmpUtilMemAlloc(static_cast<UINT>(from.size() * sizeof(UINT))));
    if (ids == nullptr) return false;
    std::memcpy(ids, from.data(), from.size() * sizeof(UINT));
    to->ids = ids;
    to->idLength = static_cast<UINT>(from.size());
    return true;
}

bool StoreBinding(const Binding& from, SnmpVarBind* to) {
    *to = {};
    to->value.asnType = ASN_NULL;
    if (!StoreOid(from.name, &to->name)) return false;
    AsnAny& value = to->value;
    value.asnType = from.type;
    bool stored = true;
    switch (from.type) {
        case ASN_INTEGER: value.asnValue.number = static_cast<AsnInteger32>(from.number); break;
        case ASN_COUNTER32:
        case ASN_GAUGE32:
        case ASN_TIMETICKS:
        case ASN_UNSIGNED32:
            value.asnValue.unsigned32 = static_cast<AsnUnsigned32>(from.number);
            break;
        case ASN_COUNTER64:
            value.asnValue.counter64.QuadPart = static_cast<ULONGLONG>(from.number);
            break;
        case ASN_OCTETSTRING:
        case ASN_IPADDRESS:
        case ASN_OPAQUE: stored = StoreOctets(from.octets, &value.asnValue.string); break;
        case ASN_OBJECTIDENTIFIER: stored = StoreOid(from.object, &value.asnValue.object); break;
        case SNMP_EXCEPTION_NOSUCHOBJECT:
        case SNMP_EXCEPTION_NOSUCHINSTANCE:
        case SNMP_EXCEPTION_ENDOFMIBVIEW: break;
        default: value.asnType = ASN_NULL; break;
    }
    if (!stored) {
        value.asnType = ASN_NULL;
        SnmpUtilVarBindFree(to);
    }
    return stored;
}

}  // namespace cx::snmp
