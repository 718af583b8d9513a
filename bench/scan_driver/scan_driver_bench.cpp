// One complete inventory scan of the demo server, as the scan thread runs it: the readiness
// check, the table file, the SWITCH attach, the collectors against cx-switchd with the demo
// scenario and extagentd with REPLAY_MIB serving the demo walks, and the comparison; first
// scans (no saved file) and unchanged rescans.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "child_process.h"
#include "host_start.h"
#include "inventory/cx_agent.h"
#include "inventory_fixture.h"
#include "inventory_keys.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "registry_values.h"
#include "switchd_process.h"
#include "temp_dir.h"

namespace cx::test {
namespace {

// A data root, a registry file and cx-switchd with the demo scenario, all private.
class DemoServer {
  public:
    DemoServer() {
        const std::string data = CX_PROJECT_DATA;
        // The host's agents attach to SWITCH while they start: it listens first.
        switchd_.RegisterClass();  // and points this process at the private registry file
        switchd_.Start(ReadFile(data + "/scenarios/demo.scn"));
        SetRegString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", dir_);
        SetRegString("SOFTWARE\\Arvenmark\\#Setup", "FileRoot", data);
        SetRegDword(kReadinessKey, "AgentStatus", 1);
        // The other agents the collectors ask: REPLAY_MIB with the demo walks in a host of its
        // own on a free port, which the scan's SNMP sessions use.
        const std::string walks = data + "/walks/";
        if (!StartReplayHost(host_, CX_EXTAGENTD_PATH, CX_REPLAY_AGENT_PATH, temp_,
                             walks + "demo-bus.walk" + '\0' + walks + "demo-hd.walk" + '\0' +
                                 walks + "demo-ups.walk",
                             std::string(".1.3.6.1.4.1.7391.2.10.2.2") + '\0' + ".1.3.6.1.2.1.33" +
                                 '\0' + ".1.3.6.1.4.1.7391.2.58"))
            std::abort();
    }
    ~DemoServer() {
        host_->Signal(SIGTERM);
        host_->Wait(std::chrono::seconds(60));
    }
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    std::unique_ptr<CCX_Agent> MakeAgent() const { return MakeLoadedAgent(dir_); }
    std::string SavedFile() const { return dir_ + "/Catalix.sav"; }

  private:
    TempDir temp_;
    const std::string dir_ = temp_.Path();
    SwitchdProcess switchd_{temp_, false};
    std::unique_ptr<ChildProcess> host_;
};

// Arg 0: first scans (no saved file); 1: rescans of an unchanged inventory.
void BM_Scan(benchmark::State& state) {
    const bool rescan = state.range(0) == 1;
    DemoServer server;
    auto agent = server.MakeAgent();
    if (rescan) agent->ScanDriver();
    for (auto _ : state) {
        if (!rescan) DeleteFileA(server.SavedFile().c_str());
        if (agent->ScanDriver() == rescan) state.SkipWithError("unexpected comparison outcome");
    }
    state.counters["components"] = agent->NrComponents;
}
BENCHMARK(BM_Scan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace cx::test
