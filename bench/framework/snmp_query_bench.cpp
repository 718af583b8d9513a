// GETNEXT through the whole request dispatch (SnmpQuery: refusal check, prologue, MIB lock,
// tree step, epilogue) over a MIB of 30,000 entries, as a manager's walk drives it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "framework/snmp_agent.h"
#include "platform/registry_store.h"

namespace {

class BenchAgent : public CSnmpAgent {
  public:
    void InitializeMib() override {}
};

constexpr LONG kRows = 2000;
constexpr int kColumns = 15;

void BM_SnmpQueryGetNextWalk(benchmark::State& state) {
    // The agent writes its run state when it goes; keep that out of the machine's registry.
    std::string registry =
        std::string(std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp") +
        "/cx_bench_snmp_query.db";
    CxRegistrySetPath(registry.c_str());
    BenchAgent agent;
    agent.AddMibRegion("1.3.6.1.4.1.7391.2.10.2.10");
    for (int column = 1; column <= kColumns; ++column) {
        std::string oid = ".1.3.6.1.4.1.7391.2.10.2.10.5.1.1." + std::to_string(column) + ".0";
        for (LONG row = 1; row <= kRows; ++row) {
            agent.AddConstTableEntry(oid.c_str(), "column", "Catalix CX2200 S4", ASN_OCTETSTRING,
                                     row);
        }
    }
    if (agent.MibEntryCount() != kRows * kColumns) state.SkipWithError("unexpected tree size");
    agent.m_InitDone = 1;

    SnmpVarBindList list{};
    list.len = 1;
    list.list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
    list.list[0] = SnmpVarBind{};
    list.list[0].value.asnType = ASN_NULL;
    AsnInteger32 status = 0;
    AsnInteger32 index = 0;
    for (auto _ : state) {
        agent.SnmpQuery(SNMP_PDU_GETNEXT, &list, &status, &index);
        // Past the end the answer leaves the region: start the walk again from nothing.
        if (list.list[0].name.idLength == 10 && list.list[0].name.ids[9] == 11) {
            SnmpUtilOidFree(&list.list[0].name);
        }
    }
    SnmpUtilVarBindListFree(&list);
    state.counters["lookups/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SnmpQueryGetNextWalk);

}  // namespace
