// Conversion between the host's neutral bindings and the extension API's SnmpVarBindList.
#include "varbind_convert.h"

namespace cx::host {
namespace {

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

bool VarBindListFromBindings(const std::vector<Binding>& bindings, SnmpVarBindList* list) {
    list->list = nullptr;
    list->len = 0;
    if (bindings.empty()) return true;
    auto* entries = static_cast<SnmpVarBind*>(
        SnmpUtilMemAlloc(static_cast<UINT>(bindings.size() * sizeof(SnmpVarBind))));
    if (entries == nullptr) return false;
    list->list = entries;
    for (const Binding& binding : bindings) {
        // A binding that fails frees its own part; the list frees what was filled before it.
        if (!StoreBinding(binding, &entries[list->len])) {
            SnmpUtilVarBindListFree(list);
            list->list = nullptr;
            list->len = 0;
            return false;
        }
        ++list->len;
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
