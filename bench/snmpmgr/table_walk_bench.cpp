// GetNextInTable over a 9-column, 1,000-row table replayed from a walk file by REPLAY_MIB in
// extagentd: one iteration is one whole walk, nine columns per GETNEXT, as the bus collector
// walks its table. The counter "rows/s" is the figure to report.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <memory>
#include <string>

#include "clients/snmp_mgr.h"
#include "host_start.h"
#include "platform/registry_store.h"

namespace {

constexpr int kColumns = 9;
constexpr int kRows = 1000;
constexpr const char* kEntry = "1.3.6.1.4.1.99999.7.1.1";

// extagentd with the table for the whole run; columns alternate numbers and texts, as the bus
// table does.
struct Host {
    Host() {
        CxRegistrySetPath(dir.File("registry.db").c_str());
        std::string walk;
        for (int column = 1; column <= kColumns; ++column) {
            for (int row = 1; row <= kRows; ++row) {
                walk += "." + std::string(kEntry) + "." + std::to_string(column) + "." +
                        std::to_string(row) + " = ";
                walk += column % 2 == 1 ? "INTEGER: " + std::to_string(row * 10 + column)
                                        : "STRING: \"row " + std::to_string(row) + " column " +
                                              std::to_string(column) + "\"";
                walk += "\n";
            }
        }
        cx::test::WriteFile(dir.File("table.walk"), walk);
        ready = cx::test::StartReplayHost(host, CX_EXTAGENTD_PATH, CX_REPLAY_AGENT_PATH, dir,
                                          dir.File("table.walk"), "1.3.6.1.4.1.99999.7");
    }
    ~Host() {
        if (host != nullptr) host->Signal(SIGTERM);
        if (host != nullptr) host->Wait(std::chrono::seconds(30));
        CxRegistrySetPath(nullptr);
    }
    cx::test::TempDir dir;
    std::unique_ptr<cx::test::ChildProcess> host;
    bool ready = false;
};

void BM_GetNextInTableNineColumns(benchmark::State& state) {
    static Host host;
    CSnmpMgr manager;
    // The address without a port: the host's UdpPort from the registry.
    if (!host.ready || !manager.OpenSession("127.0.0.1", "public", 5000, 2)) {
        state.SkipWithError("no host or no session");
        return;
    }
    std::int64_t rows = 0;
    for (auto _ : state) {
        manager.ResizeVarBindList(kColumns, FALSE);
        for (int column = 1; column <= kColumns; ++column)
            manager.SetOID((std::string(kEntry) + "." + std::to_string(column) + ".0").c_str(),
                           static_cast<UINT>(column - 1));
        int walked = 0;
        while (manager.GetNextInTable(nullptr))
            ++walked;
        if (walked != kRows) {
            state.SkipWithError("the walk did not return every row");
            return;
        }
        rows += walked;
    }
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GetNextInTableNineColumns)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
