// GET and GETNEXT over the Catalix subtree for the MIB builder's tests.
#include "mib_walk.h"

#include <ostream>

#include "base/oid_text.h"

namespace cx::test {

namespace {

const std::string kRoot = "1.3.6.1.4.1.7391.2.10.2.10";

std::string ValueText(const AsnAny& value) {
    if (value.asnType == ASN_INTEGER) return std::to_string(value.asnValue.number);
    if (value.asnType == ASN_OCTETSTRING) {
        const AsnOctetString& text = value.asnValue.string;
        return "\"" + std::string(reinterpret_cast<const char*>(text.stream), text.length) + "\"";
    }
    return "type " + std::to_string(value.asnType);
}

// The request's binding after the tree answered, when the answer lies below the root.
std::optional<MibCellSeen> Ask(CCX_Agent& agent, const std::string& oid, BYTE type) {
    SnmpVarBind binding{};
    binding.value.asnType = ASN_NULL;
    StringToOid(oid.c_str(), &binding.name);
    AsnInteger32 status = 0;
    std::string name;
    std::optional<MibCellSeen> cell;
    if (agent.MibGetVarbind(&binding, type, &status, &name) && status == 0) {
        std::string answered = OidToString(&binding.name, 0);
        if (answered.rfind(kRoot + ".", 0) == 0) {
            cell = MibCellSeen{answered.substr(kRoot.size() + 1), name, ValueText(binding.value)};
        }
    }
    SnmpUtilVarBindFree(&binding);
    return cell;
}

}  // namespace

std::vector<MibCellSeen> WalkCatalix(CCX_Agent& agent) {
    std::vector<MibCellSeen> cells;
    std::string oid = kRoot;
    while (auto cell = Ask(agent, oid, SNMP_PDU_GETNEXT)) {
        oid = kRoot + "." + cell->oid;
        cells.push_back(std::move(*cell));
    }
    return cells;
}

std::optional<MibCellSeen> GetCatalix(CCX_Agent& agent, const std::string& oid) {
    return Ask(agent, kRoot + "." + oid, SNMP_PDU_GET);
}

void PrintTo(const MibCellSeen& cell, std::ostream* out) {
    *out << cell.oid << " [" << cell.name << "] = " << cell.value;
}

}  // namespace cx::test
