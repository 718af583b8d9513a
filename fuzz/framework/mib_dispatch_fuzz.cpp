// Random binding lists against a populated MIB tree through the GET, GETNEXT and SET steps,
// as the request dispatch drives them: OIDs of any length (none, and past the SNMP limit of
// 128), every ASN type, values whose streams are missing, callbacks that fail or throw.
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_bindings.h"

namespace {

class FuzzAgent : public CSnmpMibTree<FuzzAgent> {
  public:
    AsnInteger32 Fail(SnmpVarBind*, UINT) { return SNMP_ERRORSTATUS_GENERR; }
    AsnInteger32 Throw(SnmpVarBind*, UINT) { throw std::runtime_error("fuzz"); }
    AsnInteger32 Rewrite(SnmpVarBind* binding, UINT) {
        SetVarBindValueText(binding, "rewritten", ASN_OCTETSTRING);
        return SNMP_ERRORSTATUS_NOERROR;
    }
};

const std::string kRoot = "1.3.6.1.4.1.7391.2.10.2.10";

void Populate(FuzzAgent& agent) {
    agent.AddConstMibEntry((kRoot + ".1.1.0").c_str(), "text", "agent", ASN_OCTETSTRING, 0);
    agent.AddConstMibEntry((kRoot + ".1.2.0").c_str(), "rw", "change me", ASN_OCTETSTRING, 2);
    agent.AddConstMibEntry((kRoot + ".2.1.0").c_str(), "number", 5, ASN_INTEGER, 2);
    agent.AddConstMibEntry((kRoot + ".2.2.0").c_str(), "address", "10.0.0.1", ASN_IPADDRESS, 2);
    agent.AddConstMibEntry((kRoot + ".2.3.0").c_str(), "oid", kRoot.c_str(), ASN_OBJECTIDENTIFIER,
                           2);
    agent.AddConstMibEntry("bad text", "empty", 1, ASN_INTEGER, 2);
    for (LONG row = 1; row <= 5; ++row)
        agent.AddConstTableEntry((kRoot + ".5.1.1.6.0").c_str(), "name", "CXSERVER",
                                 ASN_OCTETSTRING, row);
    using Callback = AsnInteger32 (FuzzAgent::*)(SnmpVarBind*, UINT);
    const Callback callbacks[] = {&FuzzAgent::Fail, &FuzzAgent::Throw, &FuzzAgent::Rewrite};
    for (UINT i = 0; i < 3; ++i) {
        SnmpVarBind binding = MakeConstBinding((kRoot + ".7." + std::to_string(i + 1)).c_str());
        SetVarBindValue(&binding, 1, ASN_GAUGE32);
        agent.SetMibEntry(&binding, "callback", 2, callbacks[i], callbacks[i], callbacks[i],
                          callbacks[i]);
        SnmpUtilVarBindFree(&binding);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    FuzzAgent agent;
    Populate(agent);
    const BYTE request_types[] = {SNMP_PDU_GET, SNMP_PDU_GETNEXT, SNMP_PDU_SET, SNMP_PDU_GETBULK};
    const BYTE request_type = input.PickValueInArray(request_types);
    std::vector<SnmpVarBind> list(input.ConsumeIntegralInRange<std::size_t>(0, 12));
    for (SnmpVarBind& binding : list) {
        MakeOid(input, &binding.name);
        MakeValue(input, &binding.value);
        VarBindText(&binding);
    }
    AsnInteger32 status = 0;
    std::string name;
    bool all_passed = true;
    for (SnmpVarBind& binding : list) {
        if (request_type == SNMP_PDU_SET) {
            agent.MibCheckSetVarbind(&binding, &status, &name);
            all_passed = all_passed && status == SNMP_ERRORSTATUS_NOERROR;
            continue;
        }
        AsnObjectIdentifier before{};
        SnmpUtilOidCpy(&before, &binding.name);
        for (int retry = 0; retry < 20; ++retry) {
            const BOOL found = agent.MibGetVarbind(&binding, request_type, &status, &name);
            // A GETNEXT answer lies beyond the OID asked for.
            if (found && request_type == SNMP_PDU_GETNEXT &&
                SnmpUtilOidCmp(&before, &binding.name) >= 0)
                __builtin_trap();
            if (!found || status == SNMP_ERRORSTATUS_NOERROR || request_type != SNMP_PDU_GETNEXT)
                break;
        }
        SnmpUtilOidFree(&before);
    }
    for (SnmpVarBind& binding : list) {
        if (request_type == SNMP_PDU_SET && all_passed) agent.MibSetVarbind(&binding, &status);
        VarBindValueText(&binding.value);
        SnmpUtilVarBindFree(&binding);
    }
    return 0;
}
