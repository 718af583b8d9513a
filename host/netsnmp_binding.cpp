// Conversion between net-snmp's variable lists and the host's neutral bindings.
#include "netsnmp_binding.h"

#include <vector>

namespace cx::host {
namespace {

std::vector<oid> NetsnmpOid(const Oid& from) { return std::vector<oid>(from.begin(), from.end()); }

// The value in the form snmp_set_var_typed_value takes: a pointer and a length.
struct RawValue {
    u_char type = ASN_NULL;
    long integer = 0;
    u_long unsigned32 = 0;
    counter64 wide{};
    std::vector<oid> object;
    const void* data = nullptr;
    size_t length = 0;
};

bool MakeRawValue(const Binding& binding, RawValue* raw) {
    raw->type = binding.type;
    switch (binding.type) {
        case ASN_INTEGER:
            raw->integer = static_cast<long>(static_cast<std::int32_t>(binding.number));
            raw->data = &raw->integer;
            raw->length = sizeof(raw->integer);
            return true;
        case ASN_COUNTER:
        case ASN_GAUGE:
        case ASN_TIMETICKS:
        case ASN_UINTEGER:
            raw->unsigned32 = static_cast<u_long>(static_cast<std::uint32_t>(binding.number));
            raw->data = &raw->unsigned32;
            raw->length = sizeof(raw->unsigned32);
            return true;
        case ASN_COUNTER64: {
            const auto value = static_cast<std::uint64_t>(binding.number);
            raw->wide.high = static_cast<u_long>(value >> 32);
            raw->wide.low = static_cast<u_long>(value & 0xFFFFFFFFu);
            raw->data = &raw->wide;
            raw->length = sizeof(raw->wide);
            return true;
        }
        case ASN_IPADDRESS:
            // net-snmp encodes an address from exactly four bytes.
            if (binding.octets.size() != 4) return false;
            [[fallthrough]];
        case ASN_OCTET_STR:
        case ASN_OPAQUE:
            raw->data = binding.octets.data();
            raw->length = binding.octets.size();
            return true;
        case ASN_OBJECT_ID:
            if (binding.object.size() > MAX_OID_LEN) return false;
            raw->object = NetsnmpOid(binding.object);
            raw->data = raw->object.data();
            raw->length = raw->object.size() * sizeof(oid);
            return true;
        case SNMP_NOSUCHOBJECT:
        case SNMP_NOSUCHINSTANCE:
        case SNMP_ENDOFMIBVIEW:
        case ASN_NULL: return true;
        default: raw->type = ASN_NULL; return true;
    }
}

}  // namespace

Oid OidFromNetsnmp(const oid* name, size_t length) {
    Oid result;
    result.reserve(length);
    for (size_t i = 0; i < length; ++i)
        result.push_back(static_cast<std::uint32_t>(name[i]));
    return result;
}

Binding BindingFromVariable(const netsnmp_variable_list& variable) {
    Binding binding;
    binding.name = OidFromNetsnmp(variable.name, variable.name_length);
    binding.type = variable.type;
    switch (variable.type) {
        case ASN_INTEGER:
            if (variable.val.integer != nullptr) binding.number = *variable.val.integer;
            break;
        case ASN_COUNTER:
        case ASN_GAUGE:
        case ASN_TIMETICKS:
        case ASN_UINTEGER:
            if (variable.val.integer != nullptr)
                binding.number = static_cast<std::uint32_t>(*variable.val.integer);
            break;
        case ASN_COUNTER64:
            if (variable.val.counter64 != nullptr) {
                binding.number = static_cast<std::int64_t>(
                    (static_cast<std::uint64_t>(variable.val.counter64->high) << 32) |
                    (variable.val.counter64->low & 0xFFFFFFFFu));
            }
            break;
        case ASN_OCTET_STR:
        case ASN_IPADDRESS:
        case ASN_OPAQUE:
            if (variable.val.string != nullptr)
                binding.octets.assign(reinterpret_cast<const char*>(variable.val.string),
                                      variable.val_len);
            break;
        case ASN_OBJECT_ID:
            if (variable.val.objid != nullptr)
                binding.object = OidFromNetsnmp(variable.val.objid, variable.val_len / sizeof(oid));
            break;
        default: binding.type = cx::snmp::kTagNull; break;
    }
    return binding;
}

bool StoreBinding(const Binding& binding, bool set_name, netsnmp_variable_list* variable) {
    if (set_name) {
        if (binding.name.size() > MAX_OID_LEN) return false;
        const std::vector<oid> name = NetsnmpOid(binding.name);
        if (snmp_set_var_objid(variable, name.data(), name.size()) != 0) return false;
    }
    RawValue raw;
    if (!MakeRawValue(binding, &raw)) return false;
    return snmp_set_var_typed_value(variable, raw.type, raw.data, raw.length) == 0;
}

bool AppendBinding(const Binding& binding, netsnmp_variable_list** list) {
    if (binding.name.size() > MAX_OID_LEN) return false;
    RawValue raw;
    if (!MakeRawValue(binding, &raw)) return false;
    const std::vector<oid> name = NetsnmpOid(binding.name);
    return snmp_varlist_add_variable(list, name.data(), name.size(), raw.type, raw.data,
                                     raw.length) != nullptr;
}

}  // namespace cx::host
