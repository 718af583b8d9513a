// The device scanner of each storage family over one controller with a given number of disks,
// every vendor table served by REPLAY_MIB in extagentd. Reports the time per run and the SNMP
// round trips per run; the two sizes show whether a disk costs more the more came before it.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "bench_servers.h"
#include "collectors/catalix_collectors.h"
#include "host_start.h"
#include "inventory/cx_agent.h"
#include "platform/profile.h"
#include "platform/registry_store.h"
#include "registry_values.h"
#include "storage_walks.h"

namespace {

using namespace cx::test;

enum Family { kAac, kIom, kDpt, kLsi, kSata, kMylex, kTvc, kGeneric };

constexpr unsigned long kMem = 0xFE100000;
const HdAdapter kAdapter{5, 9, 1, "Catalix S9 SCSI", 1, 0xE800, 3};

// Every family's tables with `disks` disks on controller 1 at PCI bus 9, and the agent.
class StorageServer {
  public:
    explicit StorageServer(int disks) {
        CxRegistrySetPath(dir_.File("registry.db").c_str());
        Walk w;
        AddAac(w, 9, 1, disks);
        AddIom(w, 9, 1, 0x9005, 0x8017, disks);
        AddDpt(w, 1, kMem, disks);
        AddLsi(w, 1, 0xCA71, 0x1040, disks);
        AddLsiSata(w, 1, 11, disks);
        AddMylexView(w, 1, kMem, disks);
        AddTvc(w, 9, 1, disks);
        AddHdAdapter(w, kAdapter);
        for (int n = 1; n <= disks; ++n)
            AddHdDevice(w, kAdapter, n, 2, DiskInquiry(n), n / 16, n % 16, 0);
        std::ofstream(dir_.File("storage.walk")) << w.text;
        SetRegString("SOFTWARE\\Debug\\REPLAY_MIB", "TraceFile", dir_.File("replay-trace.txt"));
        SetRegDword("SOFTWARE\\Debug\\REPLAY_MIB", "FileDebugLevel", 2);
        ready_ = StartReplayHost(host_, CX_EXTAGENTD_PATH, CX_REPLAY_AGENT_PATH, dir_,
                                 dir_.File("storage.walk"), StorageRegions());
        agent_ = std::make_unique<CCX_Agent>(CatalixCollectors());
        const std::string table = dir_.File("CX_MIB.ini");
        std::ofstream(table) << "[Functional Tree]\r\nSCSIDevice=8\r\n";
        agent_->m_DefinitionTable.SetPath(table.c_str());
        agent_->m_DefinitionTable.Open(TRUE);
        agent_->m_ActualFile.SetPath(dir_.File("Catalix.act").c_str());
        agent_->m_ActualFile.Open(FALSE);
    }
    ~StorageServer() {
        agent_.reset();
        if (host_ != nullptr) host_->Signal(SIGTERM);
        if (host_ != nullptr) host_->Wait(std::chrono::seconds(60));
        CxRegistrySetPath(nullptr);
    }

    bool ready() const { return ready_; }
    CCX_Agent& agent() { return *agent_; }
    void FreshScan() {
        const std::string actual = dir_.File("Catalix.act");
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, actual.c_str());
        std::remove(actual.c_str());
        agent_->NrComponents = agent_->NrFuncContainers = 0;
    }
    std::size_t SnmpTrips() const { return Lines(dir_.File("replay-trace.txt"), "SNMP query:"); }

  private:
    TempDir dir_;
    std::unique_ptr<ChildProcess> host_;
    std::unique_ptr<CCX_Agent> agent_;
    bool ready_ = false;
};

void Scan(CCX_Agent& agent, Family family, ScsiCtrl* ctrl) {
    const DWORD types[] = {5, 4, 3, 6, 7, 1, 8, 0};
    ctrl->CtrlType = types[family];
    switch (family) {
        case kAac:
        case kIom: agent.ScanAICDevices(ctrl); break;
        case kDpt: agent.InitDPT(ctrl); break;
        case kLsi: agent.ScanLSIDevices(ctrl); break;
        case kSata: agent.ScanLSISATADevices(ctrl); break;
        case kMylex: agent.InitMylex(ctrl); break;
        case kTvc: agent.GetTvcRaidDev(ctrl); break;
        case kGeneric:
            agent.InitSCSIDevice(ctrl, kAdapter.bus_type, kAdapter.bus, kAdapter.adapter,
                                 kAdapter.port, 0, kAdapter.interface_type, 0);
            break;
    }
}

void BM_ScanDevices(benchmark::State& state) {
    const auto family = static_cast<Family>(state.range(0));
    const int disks = static_cast<int>(state.range(1));
    StorageServer& server = ServersFor<StorageServer>(disks);
    if (!server.ready()) {
        state.SkipWithError("the vendor tables are not served");
        return;
    }
    ScsiCtrl ctrl;
    ctrl.BusType = 5;
    ctrl.BusNo = 9;
    ctrl.FuncNo = 1;
    ctrl.CtrlIndex = family == kGeneric ? 0 : 1;
    std::size_t trips = 0;
    for (auto _ : state) {
        state.PauseTiming();
        server.FreshScan();
        const std::size_t before = server.SnmpTrips();
        state.ResumeTiming();
        Scan(server.agent(), family, &ctrl);
        state.PauseTiming();
        trips += server.SnmpTrips() - before;
        state.ResumeTiming();
    }
    state.counters["components"] = server.agent().NrComponents;
    state.counters["snmp_trips"] = static_cast<double>(trips) / state.iterations();
    state.SetItemsProcessed(static_cast<std::int64_t>(disks) * state.iterations());
}
BENCHMARK(BM_ScanDevices)
    ->ArgNames({"family", "disks"})
    ->ArgsProduct({{kAac, kIom, kDpt, kLsi, kSata, kMylex, kTvc, kGeneric}, {64, 256}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
