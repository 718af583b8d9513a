// The device scanner of each storage family over one controller with a given number of disks,
// every vendor table served by REPLAY_MIB in extagentd. Reports the time per run and the SNMP
// round trips per run; the two sizes show whether a disk costs more the more came before it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench_servers.h"
#include "inventory/cx_agent.h"
#include "storage_walks.h"

namespace {

using namespace cx::test;

enum Family { kAac, kIom, kDpt, kLsi, kSata, kMylex, kTvc, kGeneric };

constexpr unsigned long kMem = 0xFE100000;
const HdAdapter kAdapter{5, 9, 1, "Catalix S9 SCSI", 1, 0xE800, 3};

// Every family's tables with `disks` disks on controller 1 at PCI bus 9, and the agent.
class StorageServer : public ReplayBench {
  public:
    explicit StorageServer(int disks) {
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
        ready_ = Serve(w.text, StorageRegions(), "[Functional Tree]\r\nSCSIDevice=8\r\n");
    }
    bool ready() const { return ready_; }

  private:
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
