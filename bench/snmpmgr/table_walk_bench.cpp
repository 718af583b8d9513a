// GetNextInTable over a 9-column, 1,000-row table replayed from a walk file by an agent in
// extagentd: one iteration is one whole walk, nine columns per GETNEXT, as the bus collector
// walks its table. The counter "rows/s" is the figure to report.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <filesystem>
#include <string>

#include "child_process.h"
#include "clients/snmp_mgr.h"
#include "platform/registry_store.h"
#include "registry_values.h"
#include "temp_dir.h"

namespace {

using cx::test::ChildProcess;

constexpr int kColumns = 9;
constexpr int kRows = 1000;
constexpr const char* kEntry = "1.3.6.1.4.1.99999.7.1.1";
constexpr const char* kParameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";

// Columns alternate numbers and texts, as the bus table does.
std::string TableWalk() {
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
    return walk;
}

// extagentd with the table for the whole run.
class Host {
  public:
    Host() {
        port_ = cx::test::FreeUdpPort();
        CxRegistrySetPath((dir_ + "/registry.db").c_str());
        cx::test::SetRegDword(std::string(kParameters) + "\\ValidCommunities", "public", 4);
        const std::string agent = dir_ + "/walk_agent.so";
        std::filesystem::copy_file(CX_WALK_AGENT_PATH, agent);
        cx::test::WriteFile(dir_ + "/table.walk", TableWalk());
        cx::test::WriteFile(agent + ".conf",
                            "root 1.3.6.1.4.1.99999.7\nwalk " + dir_ + "/table.walk\n");
        cx::test::SetRegString("SOFTWARE\\Bench\\WalkAgent", "Pathname", agent);
        cx::test::SetRegString(std::string(kParameters) + "\\ExtensionAgents", "1",
                               "SOFTWARE\\Bench\\WalkAgent");
        host_.Start({CX_EXTAGENTD_PATH, "--foreground", "--registry", dir_ + "/registry.db",
                     "--state-dir", dir_ + "/state", "--listen", Address()},
                    dir_ + "/host.out", dir_ + "/host.err");
        cx::test::WaitUntil(cx::test::SnmpServiceRunning, std::chrono::seconds(30));
    }
    ~Host() {
        host_.Signal(SIGTERM);
        host_.Wait(std::chrono::seconds(30));
        CxRegistrySetPath(nullptr);
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    cx::test::TempDir temp_;
    const std::string dir_ = temp_.Path();
    int port_ = 0;
    ChildProcess host_;
};

Host& SharedHost() {
    static Host host;
    return host;
}

void BM_GetNextInTableNineColumns(benchmark::State& state) {
    Host& host = SharedHost();
    CSnmpMgr manager;
    if (!manager.OpenSession(host.Address().c_str(), "public", 5000, 2)) {
        state.SkipWithError("no session");
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
