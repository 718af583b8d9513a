// Random binding lists against a populated MIB tree through the GET, GETNEXT and SET steps,
// as the request dispatch drives them: OIDs of any length (none, and past the SNMP limit of
// 128), every ASN type, values whose streams are missing, callbacks that fail or throw.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/mib_tree.h"

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

constexpr const char* kRoot = "1.3.6.1.4.1.7391.2.10.2.10";
const BYTE kTypes[] = {
    ASN_INTEGER,  ASN_BITS,      ASN_OCTETSTRING, ASN_NULL,    ASN_OBJECTIDENTIFIER,
    ASN_SEQUENCE, ASN_IPADDRESS, ASN_COUNTER32,   ASN_GAUGE32, ASN_TIMETICKS,
    ASN_OPAQUE,   ASN_COUNTER64, ASN_UNSIGNED32,  0x80,        0x81,
    0x82};
const BYTE kStaticBytes[] = {'s', 't', 'a', 't', 'i', 'c', 0, 0xFF};

void Populate(FuzzAgent& agent) {
    std::string root = kRoot;
    agent.AddConstMibEntry((root + ".1.1.0").c_str(), "text", "agent", ASN_OCTETSTRING, 0);
    agent.AddConstMibEntry((root + ".1.2.0").c_str(), "rw", "change me", ASN_OCTETSTRING, 2);
    agent.AddConstMibEntry((root + ".2.1.0").c_str(), "number", 5, ASN_INTEGER, 2);
    agent.AddConstMibEntry((root + ".2.2.0").c_str(), "address", "10.0.0.1", ASN_IPADDRESS, 2);
    agent.AddConstMibEntry((root + ".2.3.0").c_str(), "oid", kRoot, ASN_OBJECTIDENTIFIER, 2);
    agent.AddConstMibEntry((root + ".2.4.0").c_str(), "counter", -1, ASN_COUNTER32, 0);
    agent.AddConstMibEntry("bad text", "empty", 1, ASN_INTEGER, 2);
    for (LONG row = 1; row <= 5; ++row) {
        agent.AddConstTableEntry((root + ".5.1.1.1.0").c_str(), "no", row, ASN_INTEGER, row);
        agent.AddConstTableEntry((root + ".5.1.1.6.0").c_str(), "name", "CXSERVER", ASN_OCTETSTRING,
                                 row);
    }
    SnmpVarBind binding = MakeConstBinding((root + ".7.1.0").c_str());
    SetVarBindValue(&binding, 1, ASN_GAUGE32);
    agent.SetMibEntry(&binding, "fails", 2, &FuzzAgent::Fail, &FuzzAgent::Fail, &FuzzAgent::Fail,
                      &FuzzAgent::Fail);
    binding.name.ids[binding.name.idLength - 2] = 2;
    agent.SetMibEntry(&binding, "throws", 2, &FuzzAgent::Throw, &FuzzAgent::Throw,
                      &FuzzAgent::Throw, &FuzzAgent::Throw);
    binding.name.ids[binding.name.idLength - 2] = 3;
    agent.SetMibEntry(&binding, "rewrites", 2, &FuzzAgent::Rewrite, &FuzzAgent::Rewrite,
                      &FuzzAgent::Rewrite, &FuzzAgent::Rewrite);
    SnmpUtilVarBindFree(&binding);
}

// An OID near the tree's (a registered prefix with changes) or anywhere, of any length.
void MakeOid(FuzzedDataProvider& input, AsnObjectIdentifier* oid) {
    static const UINT kPrefix[] = {1, 3, 6, 1, 4, 1, 7391, 2, 10, 2, 10, 5, 1, 1, 6, 3};
    UINT length;
    switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0: length = 0; break;
        case 1: length = input.ConsumeIntegralInRange<UINT>(128, 400); break;
        default: length = input.ConsumeIntegralInRange<UINT>(1, 20); break;
    }
    if (length == 0) {
        // Sometimes a length without an array, as a careless peer might hand it over.
        oid->idLength = input.ConsumeBool() ? 0 : input.ConsumeIntegral<UINT>();
        oid->ids = nullptr;
        return;
    }
    oid->ids = static_cast<UINT*>(SnmpUtilMemAlloc(length * sizeof(UINT)));
    oid->idLength = length;
    bool near = input.ConsumeBool();
    for (UINT i = 0; i < length; ++i) {
        oid->ids[i] = near && i < 16 && input.ConsumeProbability<float>() < 0.9f
                          ? kPrefix[i]
                          : input.ConsumeIntegralInRange<UINT>(0, 12);
        if (input.ConsumeProbability<float>() < 0.02f) oid->ids[i] = input.ConsumeIntegral<UINT>();
    }
}

void MakeValue(FuzzedDataProvider& input, AsnAny* value) {
    value->asnType = input.PickValueInArray(kTypes);
    if (input.ConsumeBool()) value->asnType = input.ConsumeIntegral<BYTE>();
    switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0: {  // octets owned by the binding
            std::string bytes = input.ConsumeRandomLengthString(600);
            auto* stream = static_cast<BYTE*>(SnmpUtilMemAlloc(static_cast<UINT>(bytes.size())));
            std::memcpy(stream, bytes.data(), bytes.size());
            value->asnValue.string = {stream, static_cast<UINT>(bytes.size()), TRUE};
            break;
        }
        case 1:  // a missing stream with any length
            value->asnValue.string = {nullptr, input.ConsumeIntegral<UINT>(), input.ConsumeBool()};
            break;
        case 2:  // octets the binding does not own
            value->asnValue.string = {const_cast<BYTE*>(kStaticBytes),
                                      input.ConsumeIntegralInRange<UINT>(0, sizeof(kStaticBytes)),
                                      FALSE};
            break;
        default: value->asnValue.counter64.QuadPart = input.ConsumeIntegral<std::uint64_t>(); break;
    }
    if (value->asnType == ASN_OBJECTIDENTIFIER) {
        if (value->asnValue.string.dynamic) SnmpUtilMemFree(value->asnValue.string.stream);
        value->asnValue.object = {};
        MakeOid(input, &value->asnValue.object);
    } else if (value->asnType != ASN_OCTETSTRING && value->asnType != ASN_BITS &&
               value->asnType != ASN_SEQUENCE && value->asnType != ASN_IPADDRESS &&
               value->asnType != ASN_OPAQUE && value->asnValue.string.dynamic &&
               value->asnValue.string.stream != nullptr) {
        // Only the octet types own a stream; other types read the union as numbers.
        SnmpUtilMemFree(value->asnValue.string.stream);
        value->asnValue.counter64.QuadPart = 0;
    }
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    FuzzAgent agent;
    Populate(agent);
    const BYTE request_types[] = {SNMP_PDU_GET, SNMP_PDU_GETNEXT, SNMP_PDU_SET, SNMP_PDU_GETBULK};
    BYTE request_type = input.PickValueInArray(request_types);

    std::vector<SnmpVarBind> list(input.ConsumeIntegralInRange<std::size_t>(0, 12));
    for (SnmpVarBind& binding : list) {
        binding = SnmpVarBind{};
        MakeOid(input, &binding.name);
        MakeValue(input, &binding.value);
        VarBindText(&binding);
    }

    AsnInteger32 status = 0;
    std::string name;
    if (request_type == SNMP_PDU_SET) {
        bool all_passed = true;
        for (SnmpVarBind& binding : list) {
            agent.MibCheckSetVarbind(&binding, &status, &name);
            all_passed = all_passed && status == SNMP_ERRORSTATUS_NOERROR;
        }
        for (SnmpVarBind& binding : list) {
            if (all_passed) agent.MibSetVarbind(&binding, &status);
        }
    } else {
        for (SnmpVarBind& binding : list) {
            AsnObjectIdentifier before{};
            SnmpUtilOidCpy(&before, &binding.name);
            for (int retry = 0; retry < 20; ++retry) {
                BOOL found = agent.MibGetVarbind(&binding, request_type, &status, &name);
                if (found && request_type == SNMP_PDU_GETNEXT) {
                    Check(SnmpUtilOidCmp(&before, &binding.name) < 0);
                }
                if (!found || status == SNMP_ERRORSTATUS_NOERROR ||
                    request_type != SNMP_PDU_GETNEXT) {
                    break;
                }
            }
            SnmpUtilOidFree(&before);
            VarBindText(&binding);
        }
    }
    for (SnmpVarBind& binding : list) {
        VarBindValueText(&binding.value);
        SnmpUtilVarBindFree(&binding);
    }
    return 0;
}
