// A minimal agent over the MIB tree for the framework tests, with helpers for bindings.
#pragma once

#include <string>
#include <vector>

#include "base/oid_text.h"
#include "framework/mib_tree.h"

namespace cx::test {

class TestAgent : public CSnmpMibTree<TestAgent> {};

// A request binding as the SNMP service hands it in: OID from text, NULL value, SnmpUtilMem
// memory throughout.
class RequestBinding {
  public:
    explicit RequestBinding(const char* oid_text) {
        binding.value.asnType = ASN_NULL;
        StringToOid(oid_text, &binding.name);
    }
    ~RequestBinding() { SnmpUtilVarBindFree(&binding); }
    RequestBinding(const RequestBinding&) = delete;
    RequestBinding& operator=(const RequestBinding&) = delete;

    std::string Oid() const { return OidToString(&binding.name, 0); }

    SnmpVarBind binding{};
};

inline std::string OctetsOf(const AsnAny& value) {
    const AsnOctetString& octets = value.asnValue.string;
    if (octets.stream == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(octets.stream), octets.length);
}

}  // namespace cx::test
