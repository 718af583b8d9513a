// The MIB tree at the size of a large inventory: 30,000 entries (2,000 components of 13
// columns and 1,000 containers of 4): GETNEXT lookups per second. (A whole rebuild is
// bench_fill_mib's.)
#include <benchmark/benchmark.h>

#include <string>

#include "framework/mib_tree.h"

namespace {

class BenchAgent : public CSnmpMibTree<BenchAgent> {};

constexpr LONG kComponents = 2000;
constexpr LONG kContainers = 1000;
constexpr std::size_t kEntries = kComponents * 13 + kContainers * 4;

// The component table (.5.1.1, texts from column 5 on) and the container table (.4.1.1, a
// text in column 4), column by column as the builder registers them.
void Build(BenchAgent& agent) {
    const char* text = "Catalix CX2200 S4 system board A1234";
    for (LONG row = 1; row <= kContainers + kComponents; ++row) {
        const bool container = row <= kContainers;
        const LONG index = container ? row : row - kContainers;
        for (int column = 1; column <= (container ? 4 : 13); ++column) {
            const std::string oid = std::string(".1.3.6.1.4.1.7391.2.10.2.10.") +
                                    (container ? "4" : "5") + ".1.1." + std::to_string(column) +
                                    ".0";
            if (column >= (container ? 4 : 5)) {
                agent.AddConstTableEntry(oid.c_str(), "column", text, ASN_OCTETSTRING, index);
            } else {
                agent.AddConstTableEntry(oid.c_str(), "column", index, ASN_INTEGER, index);
            }
        }
    }
}

// A manager's walk: each GETNEXT starts from the OID the previous one answered.
void BM_GetNextWalk(benchmark::State& state) {
    BenchAgent agent;
    Build(agent);
    if (agent.MibEntryCount() != kEntries) state.SkipWithError("unexpected tree size");
    SnmpVarBind binding{};
    binding.value.asnType = ASN_NULL;
    AsnInteger32 status = 0;
    for (auto _ : state) {
        if (!agent.MibGetVarbind(&binding, SNMP_PDU_GETNEXT, &status, nullptr))
            SnmpUtilOidFree(&binding.name);  // end of the tree: start the walk again
    }
    SnmpUtilVarBindFree(&binding);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetNextWalk);

}  // namespace
