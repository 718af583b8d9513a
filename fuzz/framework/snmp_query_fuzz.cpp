// Random binding lists through the whole request dispatch (SnmpQuery) of an initialised agent:
// any request type, OIDs of any length (none, and past the SNMP limit of 128), every ASN type,
// values whose streams are missing, and the GETNEXT answer past the end of the region.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "framework/snmp_agent.h"
#include "platform/registry_store.h"

namespace {

class FuzzAgent : public CSnmpAgent {
  public:
    void InitializeMib() override {}
};

const BYTE kTypes[] = {ASN_INTEGER,   ASN_OCTETSTRING, ASN_NULL,    ASN_OBJECTIDENTIFIER,
                       ASN_IPADDRESS, ASN_COUNTER32,   ASN_GAUGE32, ASN_TIMETICKS,
                       ASN_OPAQUE,    ASN_UNSIGNED32,  0x80,        0x81};
const BYTE kRequestTypes[] = {SNMP_PDU_GET, SNMP_PDU_GETNEXT, SNMP_PDU_SET, 0xA2, 0xA4, 0x00};
const UINT kRoot[] = {1, 3, 6, 1, 4, 1, 7391, 2, 10, 2, 10};

FuzzAgent& Agent() {
    static FuzzAgent* agent = [] {
        const char* tmp = std::getenv("TMPDIR");
        CxRegistrySetPath(
            (std::string(tmp != nullptr ? tmp : "/tmp") + "/cx_fuzz_query.db").c_str());
        auto* made = new FuzzAgent;
        const std::string root = "1.3.6.1.4.1.7391.2.10.2.10";
        made->AddMibRegion(root.c_str());
        made->AddConstMibEntry((root + ".1.1.0").c_str(), "text", "agent", ASN_OCTETSTRING, 0);
        made->AddConstMibEntry((root + ".1.2.0").c_str(), "rw", 5, ASN_INTEGER, 2);
        for (LONG row = 1; row <= 5; ++row)
            made->AddConstTableEntry((root + ".5.1.1.1.0").c_str(), "no", row, ASN_INTEGER, row);
        made->m_InitDone = 1;
        return made;
    }();
    return *agent;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    const BYTE request_type = data.PickValueInArray(kRequestTypes);
    SnmpVarBindList list{};
    list.len = data.ConsumeIntegralInRange<UINT>(0, 8);
    list.list = list.len > 0
                    ? static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(list.len * sizeof(SnmpVarBind)))
                    : nullptr;
    for (UINT i = 0; i < list.len; ++i) {
        SnmpVarBind& binding = list.list[i];
        binding = SnmpVarBind{};
        const UINT length = data.ConsumeIntegralInRange<UINT>(0, 140);
        binding.name.idLength = length;
        binding.name.ids =
            length > 0 ? static_cast<UINT*>(SnmpUtilMemAlloc(length * sizeof(UINT))) : nullptr;
        const bool inside = data.ConsumeBool();  // mostly in the region, to reach the tree
        for (UINT j = 0; j < length; ++j)
            binding.name.ids[j] =
                inside && j < 11 ? kRoot[j] : data.ConsumeIntegralInRange<UINT>(0, 9);
        AsnAny& value = binding.value;
        value.asnType = data.PickValueInArray(kTypes);
        if (value.asnType == ASN_OCTETSTRING || value.asnType == ASN_IPADDRESS ||
            value.asnType == ASN_OPAQUE) {
            // A missing stream with a length: the length must not be trusted.
            const std::string octets = data.ConsumeRandomLengthString(64);
            auto* stream =
                data.ConsumeBool()
                    ? nullptr
                    : static_cast<BYTE*>(SnmpUtilMemAlloc(static_cast<UINT>(octets.size() + 1)));
            if (stream != nullptr) octets.copy(reinterpret_cast<char*>(stream), octets.size());
            value.asnValue.string = {stream, static_cast<UINT>(octets.size()), stream != nullptr};
        } else if (value.asnType != ASN_OBJECTIDENTIFIER) {
            value.asnValue.number = data.ConsumeIntegral<AsnInteger32>();
        }
    }
    AsnInteger32 status = 0;
    AsnInteger32 index = 0;
    Agent().SnmpQuery(request_type, &list, &status, &index);
    // An error must name one of the bindings.
    if (status != 0 && (index < 1 || static_cast<UINT>(index) > (list.len > 0 ? list.len : 1)))
        std::abort();
    SnmpUtilVarBindListFree(&list);
    return 0;
}
