// The MIB tree at the size of a large inventory: 30,000 entries (2,000 components of 13
// columns and 1,000 containers of 4). GETNEXT lookups per second, and the time to delete and
// rebuild the whole tree from OID texts as the MIB builder does after a changed scan.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "base/oid_text.h"
#include "framework/mib_tree.h"

namespace {

class BenchAgent : public CSnmpMibTree<BenchAgent> {};

constexpr LONG kComponents = 2000;
constexpr LONG kContainers = 1000;
constexpr std::size_t kEntries = kComponents * 13 + kContainers * 4;

struct Column {
    const char* oid;
    const char* name;
    bool text;
};

const Column kComponentColumns[] = {
    {".1.3.6.1.4.1.7391.2.10.2.10.5.1.1.1.0", "avkCxInfoNo", false},
    {".1.3.6.1.4.1.7391.2.10.2.10.5.1.1.2.0", "avkCxInfoPhysContNo", false},
    {".1.3.6.1.4.1.7391.2.10.2.10.5.1.1.3.0", "avkCxInfoFuncContNo", false},
    {".1.3.6.1.4.1.7391.2.10.2.10.5.1.1.4.0", "avkCxInfoCompType", false},
    {".1.3.6.1.4.1.7391.2.10.2.10.5.1.1.5.0", "avkCxInfoVendor", true},
    {".1.3.6.1.4.1.7391.2.10.2.10.5.1.1.6.0", "avkCxInfoProductName", true},
    {".1.3.6.1.4.1.7391.2.10.2.10.5.1.1.7.0", "avkCxInfoProductNumber", true},
    {".1.3.6.1.4.1.7391.2.10.2.10.5.1.1.8.0", "avkCxInfoProductDescription", true},
    {".1.3.6.1.4.1.7391.2.10.2.10.5.1.1.9.0", "avkCxInfoVersion", true},
    {".1.3.6.1.4.1.7391.2.10.2.10.5.1.1.10.0", "avkCxInfoManufacturingDate", true},
    {".1.3.6.1.4.1.7391.2.10.2.10.5.1.1.11.0", "avkCxInfoSerialNo", true},
    {".1.3.6.1.4.1.7391.2.10.2.10.5.1.1.12.0", "avkCxInfoLanguage", true},
    {".1.3.6.1.4.1.7391.2.10.2.10.5.1.1.13.0", "avkCxInfoCompId", true},
};

const Column kContainerColumns[] = {
    {".1.3.6.1.4.1.7391.2.10.2.10.4.1.1.1.0", "avkCxPhysContNo", false},
    {".1.3.6.1.4.1.7391.2.10.2.10.4.1.1.2.0", "avkCxPhysContType", false},
    {".1.3.6.1.4.1.7391.2.10.2.10.4.1.1.3.0", "avkCxPhysContParent", false},
    {".1.3.6.1.4.1.7391.2.10.2.10.4.1.1.4.0", "avkCxPhyscContName", true},
};

void AddRows(BenchAgent& agent, const Column* columns, std::size_t count, LONG rows,
             const std::string& text) {
    for (LONG row = 1; row <= rows; ++row) {
        for (std::size_t i = 0; i < count; ++i) {
            const Column& column = columns[i];
            if (column.text) {
                agent.AddConstTableEntry(column.oid, column.name, text.c_str(), ASN_OCTETSTRING,
                                         row);
            } else {
                agent.AddConstTableEntry(column.oid, column.name, row, ASN_INTEGER, row);
            }
        }
    }
}

void Build(BenchAgent& agent) {
    const std::string text = "Catalix CX2200 S4 system board A1234";
    AddRows(agent, kContainerColumns, 4, kContainers, text);
    AddRows(agent, kComponentColumns, 13, kComponents, text);
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
        if (!agent.MibGetVarbind(&binding, SNMP_PDU_GETNEXT, &status, nullptr)) {
            SnmpUtilOidFree(&binding.name);  // end of the tree: start the walk again
        }
    }
    SnmpUtilVarBindFree(&binding);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetNextWalk);

// Independent GETNEXTs from OIDs spread over the tree, with the name kept for the trace.
void BM_GetNextRandom(benchmark::State& state) {
    BenchAgent agent;
    Build(agent);
    std::vector<AsnObjectIdentifier> starts;
    std::mt19937 random(7391);
    for (int i = 0; i < 4096; ++i) {
        AsnObjectIdentifier oid{};
        std::string text = kComponentColumns[random() % 13].oid;
        text.back() = '\0';
        text.pop_back();
        text += std::to_string(random() % (kComponents + 1));
        StringToOid(text.c_str(), &oid);
        starts.push_back(oid);
    }
    SnmpVarBind binding{};
    binding.value.asnType = ASN_NULL;
    std::string name;
    std::size_t next = 0;
    for (auto _ : state) {
        SnmpUtilOidCpy(&binding.name, &starts[next++ % starts.size()]);
        agent.MibGetVarbind(&binding, SNMP_PDU_GETNEXT, nullptr, &name);
        SnmpUtilVarBindFree(&binding);
    }
    for (auto& oid : starts)
        SnmpUtilOidFree(&oid);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetNextRandom);

void BM_DeleteAndRebuild(benchmark::State& state) {
    BenchAgent agent;
    Build(agent);
    for (auto _ : state) {
        agent.DeleteMib();
        Build(agent);
    }
    if (agent.MibEntryCount() != kEntries) state.SkipWithError("unexpected tree size");
}
BENCHMARK(BM_DeleteAndRebuild)->Unit(benchmark::kMillisecond);

}  // namespace
