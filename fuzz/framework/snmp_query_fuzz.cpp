// Random binding lists through the whole request dispatch (SnmpQuery) of an initialised agent:
// any request type, the bindings of fuzz_bindings.h, and the GETNEXT answer past the end of the
// region.
#include <cstdlib>
#include <string>

#include "framework/snmp_agent.h"
#include "fuzz_bindings.h"
#include "platform/registry_store.h"

namespace {

class QueryAgent : public CSnmpAgent {
  public:
    void InitializeMib() override {}
};

const BYTE kRequestTypes[] = {SNMP_PDU_GET, SNMP_PDU_GETNEXT, SNMP_PDU_SET, 0xA2, 0xA4, 0x00};

QueryAgent& Agent() {
    static QueryAgent* agent = [] {
        const char* tmp = std::getenv("TMPDIR");
        CxRegistrySetPath(
            (std::string(tmp != nullptr ? tmp : "/tmp") + "/cx_fuzz_query.db").c_str());
        auto* made = new QueryAgent;
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
        list.list[i] = SnmpVarBind{};
        MakeOid(data, &list.list[i].name);
        MakeValue(data, &list.list[i].value);
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
