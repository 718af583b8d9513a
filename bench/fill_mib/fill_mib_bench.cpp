// FillMib from a large saved inventory: 2,000 components in 60 physical and 200 functional
// containers, with 300 firmware-update objects. Reports the time of one rebuild (`wall_ms`)
// and, through a second thread that keeps taking the MIB lock as an SNMP request would, the
// longest time a request waited for it (`lock_ms`); the GETNEXT latency a manager walking
// during back-to-back rebuilds sees; and the memory the published tree takes per component.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <malloc.h>
#include <unistd.h>

#include "inventory/cx_agent.h"
#include "platform/registry_store.h"
#include "platform/synch.h"

namespace {

constexpr int kComponents = 2000;
constexpr int kPhysicalContainers = 60;
constexpr int kFunctionalContainers = 200;
constexpr int kFirmwareObjects = 300;
constexpr int kComponentTypes = 40;
constexpr int kNodeTypes = 30;

void Key(std::string& out, const char* key, int row, const std::string& value) {
    out += key;
    out += '.';
    out += std::to_string(row);
    out += '=';
    out += value;
    out += "\r\n";
}

std::string SavedInventory() {
    std::string text =
        "[Last Date]\r\nLastCollectionDate=2026-12-06 10:00:00\r\nLastScanDate=2026-12-06 "
        "10:00:00\r\nLastDate=6956F3F5\r\nLastScan=6956F3F5\r\nScanState=DONE\r\n"
        "[Agent Info]\r\nAgentId=Catalix Inventory Agent\r\nAgentCompany=Arvenmark\r\n"
        "AgentVersion=4.10.0\r\nAgentBuild=Build: Oct 20 2006, 08:57:39\r\n"
        "[Component Definition]\r\n";
    for (int type = 1; type <= kComponentTypes; ++type) {
        char key[8];
        std::snprintf(key, sizeof(key), "%02X", type);
        text += std::string(key) + "=Component type " + std::to_string(type) + "\r\n";
    }
    for (const char* section : {"[Physical Definition]\r\n", "[Functional Definition]\r\n"}) {
        text += section;
        for (int row = 1; row <= kNodeTypes; ++row) {
            Key(text, "Type", row, std::to_string(row));
            Key(text, "Name", row, "Node type " + std::to_string(row));
        }
    }
    struct Tree {
        const char* section;
        int count;
    };
    for (Tree tree : {Tree{"[Physical Container]\r\n", kPhysicalContainers},
                      Tree{"[Functional Container]\r\n", kFunctionalContainers}}) {
        text += tree.section;
        text += "NrContainer=" + std::to_string(tree.count) + "\r\n";
        for (int row = 1; row <= tree.count; ++row) {
            Key(text, "Type", row, std::to_string(row % kNodeTypes + 1));
            Key(text, "Parent", row, std::to_string(row / 2));
            Key(text, "Name", row, "Container " + std::to_string(row));
        }
    }
    text += "[Component Table]\r\nNrComponents=" + std::to_string(kComponents) + "\r\n";
    for (int row = 1; row <= kComponents; ++row) {
        Key(text, "PhysCont", row, std::to_string(row % kPhysicalContainers + 1));
        Key(text, "FuncCont", row, std::to_string(row % kFunctionalContainers + 1));
        Key(text, "CompType", row, std::to_string(row % 170));
        Key(text, "Vendor", row, "Arvenmark Systems");
        Key(text, "ProdName", row, "Catalix CX2200 S4 system board A1234");
        Key(text, "ProdNumber", row, "Q47120-A1234-A10");
        Key(text, "ProdDescript", row, "System board of the server, revision GS 3");
        Key(text, "ManuDate", row, "2006-10-18 00:00:00");
        Key(text, "Version", row, "6.00 R1.12.1234//6.00//a1234//NT");
        Key(text, "SerialNo", row, "LBXX" + std::to_string(100000 + row));
        Key(text, "Language", row, "English (United States)");
        Key(text, "CompId", row, "COMP-" + std::to_string(row));
    }
    text += "[Firmware Update]\r\nNrUpdObjects=" + std::to_string(kFirmwareObjects) + "\r\n";
    for (int row = 1; row <= kFirmwareObjects; ++row) {
        Key(text, "ObjectName", row, "Firmware object " + std::to_string(row));
        Key(text, "ObjectParent", row, "Board");
        Key(text, "ObjectPath", row, "/lib/firmware/object" + std::to_string(row) + ".bin");
        Key(text, "UpdateState", row, "0");
        Key(text, "CompIndex", row, std::to_string(row));
    }
    return text;
}

struct Setting {
    std::string root;
    CCX_Agent* agent = nullptr;

    Setting() {
        char pattern[] = "/tmp/bench_fill_mib.XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        root = pattern;
        CxRegistrySetPath((root + "/registry.db").c_str());
        agent = new CCX_Agent(CollectorSteps{});
        std::snprintf(agent->CSnmpAgent::m_szDataRoot, MAX_PATH, "%s", root.c_str());
        std::ofstream(root + "/Catalix.sav", std::ios::binary) << SavedInventory();
    }
    ~Setting() {
        delete agent;
        std::remove((root + "/Catalix.sav").c_str());
        std::remove((root + "/registry.db").c_str());
        rmdir(root.c_str());
    }
};

// Keeps asking for the MIB lock, as SNMP requests do, and notes the longest wait.
class LockProbe {
  public:
    explicit LockProbe(CCX_Agent& agent) : agent_(agent), thread_([this] { Run(); }) {}
    ~LockProbe() {
        stop_ = true;
        thread_.join();
    }
    double LongestWaitMs() const { return longest_ns_.load() / 1e6; }

  private:
    void Run() {
        while (!stop_) {
            auto start = std::chrono::steady_clock::now();
            EnterCriticalSection(&agent_.m_MibLock);
            auto waited = std::chrono::steady_clock::now() - start;
            LeaveCriticalSection(&agent_.m_MibLock);
            long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(waited).count();
            if (ns > longest_ns_.load()) longest_ns_ = ns;
            std::this_thread::yield();
        }
    }

    CCX_Agent& agent_;
    std::atomic<bool> stop_{false};
    std::atomic<long long> longest_ns_{0};
    std::thread thread_;
};

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void BM_FillMib(benchmark::State& state) {
    Setting setting;
    setting.agent->FillMib();
    const std::size_t entries = setting.agent->MibEntryCount();
    double total_ms = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        setting.agent->FillMib();
        total_ms += MsSince(start);
    }
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["wall_ms"] = total_ms / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FillMib)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_FillMibLockHeld(benchmark::State& state) {
    Setting setting;
    double total = 0;
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto probe = std::make_unique<LockProbe>(*setting.agent);
        state.ResumeTiming();
        setting.agent->FillMib();
        state.PauseTiming();
        total += probe->LongestWaitMs();
        longest = std::max(longest, probe->LongestWaitMs());
        probe.reset();
        state.ResumeTiming();
    }
    state.counters["lock_mean_ms"] = total / static_cast<double>(state.iterations());
    state.counters["lock_ms"] = longest;
}
BENCHMARK(BM_FillMibLockHeld)->Unit(benchmark::kMillisecond)->MinTime(2.0);

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

long ResidentBytes() {
    long pages = 0;
    long resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return 0;
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
    return resident * sysconf(_SC_PAGESIZE);
}

// The published tree's memory per component: resident size and heap in use with the full MIB
// minus the same with an empty one (the saved file's parsed copy is in both).
void BM_MibMemoryPerComponent(benchmark::State& state) {
    Setting setting;
    CCX_Agent& agent = *setting.agent;
    agent.FillMib();
    double rss = 0;
    double heap = 0;
    for (auto _ : state) {
        agent.DeleteMib();
        malloc_trim(0);
        const long rss_empty = ResidentBytes();
        const std::size_t heap_empty = mallinfo2().uordblks;
        agent.FillMib();
        malloc_trim(0);
        rss = static_cast<double>(ResidentBytes() - rss_empty);
        heap = static_cast<double>(mallinfo2().uordblks) - static_cast<double>(heap_empty);
    }
    state.counters["rss_per_component_bytes"] = rss / kComponents;
    state.counters["heap_per_component_bytes"] = heap / kComponents;
    state.counters["entries"] = static_cast<double>(agent.MibEntryCount());
}
BENCHMARK(BM_MibMemoryPerComponent)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
