// One complete inventory scan of the demo server, as the scan thread runs it: the readiness
// check, the table file, the SWITCH attach, the collectors against cx-switchd with the demo
// scenario and extagentd with REPLAY_MIB serving the demo walks, and the comparison; first
// scans (no saved file) and unchanged rescans.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "base/oid_text.h"
#include "child_process.h"
#include "clients/snmp_mgr.h"
#include "clients/switch_protocol.h"
#include "collectors/catalix_collectors.h"
#include "framework/agent_globals.h"
#include "inventory/cx_agent.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "registry_values.h"
#include "snmp_listen.h"
#include "switchd_process.h"
#include "temp_dir.h"

namespace {

using cx::test::ChildProcess;
using cx::test::FreeUdpPort;
using cx::test::ReadFile;
using cx::test::SetRegDword;
using cx::test::SetRegMultiString;
using cx::test::SetRegString;
using cx::test::SwitchdProcess;
using cx::test::TempDir;

// A data root, a registry file and cx-switchd with the demo scenario, all private.
class DemoServer {
  public:
    DemoServer() {
        const std::string data = CX_PROJECT_DATA;
        // The host's agents attach to SWITCH while they start: it listens first.
        switchd_.RegisterClass();  // and points this process at the private registry file
        switchd_.Start(ReadFile(data + "/scenarios/demo.scn"));
        // The other agents the collectors ask: REPLAY_MIB with the demo walks in a host of its
        // own on a free port, which the scan's SNMP sessions use.
        cx::test::ListenOnLoopback(FreeUdpPort());
        SetRegString(std::string(cx::test::kSnmpParameters) + "\\ExtensionAgents", "REPLAY_MIB",
                     "SOFTWARE\\Arvenmark\\REPLAY_MIB\\CurrentVersion");
        SetRegString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\CurrentVersion", "Pathname",
                     CX_REPLAY_AGENT_PATH);
        const std::string walks = data + "/walks/";
        SetRegMultiString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters", "WalkFiles",
                          walks + "demo-bus.walk" + '\0' + walks + "demo-hd.walk" + '\0' + walks +
                              "demo-ups.walk");
        SetRegMultiString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters", "Regions",
                          std::string(".1.3.6.1.4.1.7391.2.10.2.2") + '\0' + ".1.3.6.1.2.1.33" +
                              '\0' + ".1.3.6.1.4.1.318");
        host_.Start({CX_EXTAGENTD_PATH, "--foreground", "--registry", dir_ + "/registry.db",
                     "--state-dir", dir_ + "/state"});
        SetRegString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", dir_);
        SetRegString("SOFTWARE\\Arvenmark\\#Setup", "FileRoot", CX_PROJECT_DATA);
        SetRegDword(
            "SOFTWARE\\Arvenmark\\SC_MIB\\Subsystems\\Environment\\Parameters\\"
            "VolatileParameters",
            "AgentStatus", 1);
        // Serving once an object of the walks answers (bounded).
        CSnmpMgr manager;
        manager.OpenSession(nullptr, "public", 1000, 0);
        for (int attempt = 0; attempt < 3000; ++attempt) {
            SnmpVarBind binding{};
            StringToOid(".1.3.6.1.2.1.33.1.1.2.0", &binding.name);
            const BOOL answered = manager.RequestVarBind(SNMP_PDU_GET, binding, nullptr);
            SnmpUtilVarBindFree(&binding);
            if (answered) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~DemoServer() {
        host_.Signal(SIGTERM);
        host_.Wait(std::chrono::seconds(60));
    }
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // An agent with the roots the library's load would give it.
    std::unique_ptr<CCX_Agent> MakeAgent() const {
        auto agent = std::make_unique<CCX_Agent>(CatalixCollectors());
        std::snprintf(g_szModuleName, sizeof(g_szModuleName), "%s", "CX_MIB");
        CSnmpAgent& framework = *agent;
        std::snprintf(framework.m_szCommonRoot, sizeof(framework.m_szCommonRoot), "%s",
                      agent->m_szRegistryRoot);
        const std::string agent_root = std::string(agent->m_szRegistryRoot) + "\\CX_MIB";
        std::snprintf(framework.m_szAgentRoot, sizeof(framework.m_szAgentRoot), "%s",
                      agent_root.c_str());
        std::snprintf(framework.m_szDataRoot, sizeof(framework.m_szDataRoot), "%s", dir_.c_str());
        return agent;
    }
    std::string SavedFile() const { return dir_ + "/Catalix.sav"; }

  private:
    TempDir temp_;
    const std::string dir_ = temp_.Path();
    SwitchdProcess switchd_{temp_, false};
    ChildProcess host_;
};

void BM_FirstScan(benchmark::State& state) {
    DemoServer server;
    auto agent = server.MakeAgent();
    for (auto _ : state) {
        DeleteFileA(server.SavedFile().c_str());
        if (!agent->ScanDriver()) state.SkipWithError("the first scan reported no new inventory");
    }
    state.counters["components"] = agent->NrComponents;
}
BENCHMARK(BM_FirstScan)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UnchangedRescan(benchmark::State& state) {
    DemoServer server;
    auto agent = server.MakeAgent();
    agent->ScanDriver();
    for (auto _ : state) {
        if (agent->ScanDriver()) state.SkipWithError("an unchanged scan reported a change");
    }
    state.counters["components"] = agent->NrComponents;
}
BENCHMARK(BM_UnchangedRescan)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
