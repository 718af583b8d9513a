// FillMib from a large saved inventory: 2,000 components in 60 physical and 200 functional
// containers, with 300 firmware-update objects. Reports the time of one rebuild (`wall_ms`),
// the longest time that a second thread, taking the MIB lock as an SNMP request would, waited
// for it (`lock_ms`) and the memory the published tree takes per component; and the GETNEXT
// latency a manager walking during back-to-back rebuilds sees.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <malloc.h>
#include <unistd.h>

#include "child_process.h"
#include "inventory/cx_agent.h"
#include "platform/registry_store.h"
#include "platform/synch.h"
#include "temp_dir.h"

namespace {

constexpr int kComponents = 2000;
constexpr int kPhysicalContainers = 60;
constexpr int kFunctionalContainers = 200;
constexpr int kFirmwareObjects = 300;
constexpr int kComponentTypes = 40;
constexpr int kNodeTypes = 30;

// "Key.row=value" lines of one row.
std::string Row(int row, std::initializer_list<std::pair<const char*, std::string>> keys) {
    std::string text;
    for (const auto& [key, value] : keys)
        text += std::string(key) + "." + std::to_string(row) + "=" + value + "\r\n";
    return text;
}

std::string SavedInventory() {
    std::string text =
        "[Last Date]\r\nLastCollectionDate=2026-12-06 10:00:00\r\nLastScanDate=2026-12-06 "
        "10:00:00\r\nLastDate=6956F3F5\r\nLastScan=6956F3F5\r\nScanState=DONE\r\n"
        "[Agent Info]\r\nAgentId=Catalix Inventory Agent\r\nAgentCompany=Arvenmark\r\n"
        "AgentVersion=4.10.0\r\nAgentBuild=Build: Oct 20 2006, 08:57:39\r\n"
        "[Component Definition]\r\n";
    for (int type = 1; type <= kComponentTypes; ++type) {
        char line[64];
        std::snprintf(line, sizeof(line), "%02X=Component type %d\r\n", type, type);
        text += line;
    }
    for (const char* section : {"[Physical Definition]\r\n", "[Functional Definition]\r\n"}) {
        text += section;
        for (int row = 1; row <= kNodeTypes; ++row)
            text += Row(
                row, {{"Type", std::to_string(row)}, {"Name", "Node type " + std::to_string(row)}});
    }
    for (const auto& [section, count] : {std::pair{"Physical", kPhysicalContainers},
                                         std::pair{"Functional", kFunctionalContainers}}) {
        text += "[" + std::string(section) + " Container]\r\nNrContainer=" + std::to_string(count) +
                "\r\n";
        for (int row = 1; row <= count; ++row) {
            text += Row(row, {{"Type", std::to_string(row % kNodeTypes + 1)},
                              {"Parent", std::to_string(row / 2)},
                              {"Name", "Container " + std::to_string(row)}});
        }
    }
    text += "[Component Table]\r\nNrComponents=" + std::to_string(kComponents) + "\r\n";
    for (int row = 1; row <= kComponents; ++row) {
        text += Row(row, {{"PhysCont", std::to_string(row % kPhysicalContainers + 1)},
                          {"FuncCont", std::to_string(row % kFunctionalContainers + 1)},
                          {"CompType", std::to_string(row % 170)},
                          {"Vendor", "Arvenmark Systems"},
                          {"ProdName", "Catalix CX2200 S4 system board A1234"},
                          {"ProdNumber", "Q47120-A1234-A10"},
                          {"ProdDescript", "System board of the server, revision GS 3"},
                          {"ManuDate", "2006-10-18 00:00:00"},
                          {"Version", "6.00 R1.12.1234//6.00//a1234//NT"},
                          {"SerialNo", "LBXX" + std::to_string(100000 + row)},
                          {"Language", "English (United States)"},
                          {"CompId", "COMP-" + std::to_string(row)}});
    }
    text += "[Firmware Update]\r\nNrUpdObjects=" + std::to_string(kFirmwareObjects) + "\r\n";
    for (int row = 1; row <= kFirmwareObjects; ++row) {
        text += Row(row, {{"ObjectName", "Firmware object " + std::to_string(row)},
                          {"ObjectParent", "Board"},
                          {"ObjectPath", "/lib/firmware/object" + std::to_string(row) + ".bin"},
                          {"UpdateState", "0"},
                          {"CompIndex", std::to_string(row)}});
    }
    return text;
}

struct Setting {
    cx::test::TempDir dir;
    std::unique_ptr<CCX_Agent> agent;

    Setting() {
        CxRegistrySetPath(dir.File("registry.db").c_str());
        agent = std::make_unique<CCX_Agent>(CollectorSteps{});
        std::snprintf(agent->CSnmpAgent::m_szDataRoot, MAX_PATH, "%s", dir.Path().c_str());
        cx::test::WriteFile(dir.File("Catalix.sav"), SavedInventory());
    }
};

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

long ResidentBytes() {
    long pages = 0;
    long resident = 0;
    std::sscanf(cx::test::ReadFile("/proc/self/statm").c_str(), "%ld %ld", &pages, &resident);
    return resident * sysconf(_SC_PAGESIZE);
}

// Allocated bytes, large blocks (which malloc maps apart from its heap) included.
double HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

void BM_FillMib(benchmark::State& state) {
    Setting setting;
    CCX_Agent& agent = *setting.agent;
    agent.FillMib();
    double total_ms = 0;
    std::atomic<bool> stop{false};
    std::atomic<double> lock_ms{0};
    // Keeps asking for the MIB lock, as SNMP requests do, and notes the longest wait.
    std::thread probe([&] {
        while (!stop) {
            auto start = std::chrono::steady_clock::now();
            EnterCriticalSection(&agent.m_MibLock);
            const double waited = MsSince(start);
            LeaveCriticalSection(&agent.m_MibLock);
            if (waited > lock_ms) lock_ms = waited;
            std::this_thread::yield();
        }
    });
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        agent.FillMib();
        total_ms += MsSince(start);
    }
    stop = true;
    probe.join();
    // The published tree's memory: resident size and heap in use with the full MIB minus the
    // same with an empty one (the saved file's parsed copy is in both).
    agent.DeleteMib();
    malloc_trim(0);
    const long rss_empty = ResidentBytes();
    const double heap_empty = HeapInUse();
    agent.FillMib();
    malloc_trim(0);
    state.counters["rss_per_component_bytes"] =
        static_cast<double>(ResidentBytes() - rss_empty) / kComponents;
    state.counters["heap_per_component_bytes"] = (HeapInUse() - heap_empty) / kComponents;
    state.counters["entries"] = static_cast<double>(agent.MibEntryCount());
    state.counters["wall_ms"] = total_ms / static_cast<double>(state.iterations());
    state.counters["lock_ms"] = lock_ms.load();
}
BENCHMARK(BM_FillMib)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A manager walks the MIB, one GETNEXT per request through SnmpQuery, while another thread
// rebuilds it back to back. Each iteration is one request; the counters are its latency.
void BM_GetNextDuringRebuilds(benchmark::State& state) {
    Setting setting;
    CCX_Agent& agent = *setting.agent;
    agent.AddMibRegion(".1.3.6.1.4.1.7391.2.10.2.10");
    agent.FillMib();
    agent.m_InitDone = 1;
    std::atomic<bool> stop{false};
    std::atomic<int> rebuilds{0};
    std::thread rebuilder([&] {
        while (!stop) {
            agent.FillMib();
            ++rebuilds;
        }
    });

    SnmpVarBindList list{};
    list.len = 1;
    list.list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
    list.list[0] = SnmpVarBind{};
    list.list[0].value.asnType = ASN_NULL;
    AsnInteger32 status = 0;
    AsnInteger32 index = 0;
    std::vector<double> latencies;
    latencies.reserve(1 << 20);
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        agent.SnmpQuery(SNMP_PDU_GETNEXT, &list, &status, &index);
        latencies.push_back(MsSince(start));
        // Past the end the answer leaves the region (...2.10.2.11): start the walk again.
        const AsnObjectIdentifier& name = list.list[0].name;
        if (name.idLength == 11 && name.ids[10] == 11) SnmpUtilOidFree(&list.list[0].name);
    }
    stop = true;
    rebuilder.join();
    SnmpUtilVarBindListFree(&list);

    std::sort(latencies.begin(), latencies.end());
    auto percentile = [&](double p) {
        return latencies[static_cast<std::size_t>(p * static_cast<double>(latencies.size() - 1))];
    };
    state.counters["getnext_p50_ms"] = percentile(0.50);
    state.counters["getnext_p99_ms"] = percentile(0.99);
    state.counters["getnext_max_ms"] = latencies.back();
    state.counters["rebuilds"] = rebuilds.load();
}
BENCHMARK(BM_GetNextDuringRebuilds)->MinTime(3.0)->UseRealTime();

}  // namespace
