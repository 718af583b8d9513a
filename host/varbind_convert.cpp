// Conversion between the host's neutral bindings and the extension API's SnmpVarBindList.
#include "varbind_convert.h"

#include <cstring>

namespace cx::host {
namespace {

bool CopyOid(const Oid& from, AsnObjectIdentifier* to) {
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

bool CopyOctets(const std::string& from, AsnOctetString* to) {
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

bool ValueToAsn(const Binding& from, AsnAny* to) {
    to->asnType = from.type;
    switch (from.type) {
        case ASN_INTEGER: to->asnValue.number = static_cast<AsnInteger32>(from.number); return true;
        case ASN_COUNTER32:
        case ASN_GAUGE32:
        case ASN_TIMETICKS:
        case ASN_UNSIGNED32:
            to->asnValue.unsigned32 = static_cast<AsnUnsigned32>(from.number);
            return true;
        case ASN_COUNTER64:
            to->asnValue.counter64.QuadPart = static_cast<ULONGLONG>(from.number);
            return true;
        case ASN_OCTETSTRING:
        case ASN_IPADDRESS:
        case ASN_OPAQUE: return CopyOctets(from.octets, &to->asnValue.string);
        case ASN_OBJECTIDENTIFIER: return CopyOid(from.object, &to->asnValue.object);
        default: to->asnType = ASN_NULL; return true;
    }
}

std::string OctetsFromAsn(const AsnOctetString& octets) {
    if (octets.stream == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(octets.stream), octets.length);
}

Binding BindingFromAsn(const SnmpVarBind& from) {
    Binding to;
    to.name = OidFromAsn(from.name);
    to.type = from.value.asnType;
    const auto& value = from.value.asnValue;
    switch (from.value.asnType) {
        case ASN_INTEGER: to.number = value.number; break;
        case ASN_COUNTER32:
        case ASN_GAUGE32:
        case ASN_TIMETICKS:
        case ASN_UNSIGNED32: to.number = value.unsigned32; break;
        case ASN_COUNTER64: to.number = static_cast<std::int64_t>(value.counter64.QuadPart); break;
        case ASN_OCTETSTRING:
        case ASN_IPADDRESS:
        case ASN_OPAQUE: to.octets = OctetsFromAsn(value.string); break;
        case ASN_OBJECTIDENTIFIER: to.object = OidFromAsn(value.object); break;
        case ASN_NULL:
        case SNMP_EXCEPTION_NOSUCHOBJECT:
        case SNMP_EXCEPTION_NOSUCHINSTANCE:
        case SNMP_EXCEPTION_ENDOFMIBVIEW: break;
        default: to.type = ASN_NULL; break;
    }
    return to;
}

}  // namespace

Oid OidFromAsn(const AsnObjectIdentifier& oid) {
    if (oid.ids == nullptr) return {};
    return Oid(oid.ids, oid.ids + oid.idLength);
}

bool VarBindListFromBindings(const std::vector<Binding>& bindings, SnmpVarBindList* list) {
    list->list = nullptr;
    list->len = 0;
    if (bindings.empty()) return true;
    auto* entries = static_cast<SnmpVarBind*>(
        SnmpUtilMemAlloc(static_cast<UINT>(bindings.size() * sizeof(SnmpVarBind))));
    if (entries == nullptr) return false;
    list->list = entries;
    for (const Binding& binding : bindings) {
        SnmpVarBind& entry = entries[list->len];
        ++list->len;  // counted before filling so that a failure frees what was filled
        if (!CopyOid(binding.name, &entry.name) || !ValueToAsn(binding, &entry.value)) {
            SnmpUtilVarBindListFree(list);
            list->list = nullptr;
            list->len = 0;
            return false;
        }
    }
    return true;
}

std::vector<Binding> BindingsFromVarBindList(const SnmpVarBindList& list) {
    std::vector<Binding> bindings;
    if (list.list == nullptr) return bindings;
    bindings.reserve(list.len);
    for (UINT i = 0; i < list.len; ++i)
        bindings.push_back(BindingFromAsn(list.list[i]));
    return bindings;
}

}  // namespace cx::host
