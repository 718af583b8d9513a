// InitBus over a generated bus table: every function on a PCI bus position of its own, the
// device classes in turn (plain, network with a hardware address, graphics, storage, management,
// communication, processor, Fibre Channel), served by REPLAY_MIB in extagentd, the headers by
// cx-switchd. Reports the time per run and the SWITCH and SNMP round trips per run; two sizes
// show whether a row costs more the more rows came before it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_servers.h"
#include "bus_table.h"
#include "platform/objbase.h"
#include "switchd_process.h"

namespace {

using namespace cx::test;

std::vector<BusDevice> Functions(int count) {
    static const int kClasses[] = {0, 6, 7, 1, 12, 13, 14, 8};
    std::vector<BusDevice> devices;
    for (int i = 0; i < count; ++i) {
        const int device_class = kClasses[i % 8];
        devices.push_back({5, 1 + i / 32, i % 32, 1, device_class, "Controller", "Catalix Device",
                           "Catalix", PciIds{0xCA71, 0x100 + i, 0xCA71, i, i % 7, 0},
                           device_class == 6 ? "Hex-STRING: 00 0E 0C 3A 5B 7F" : nullptr});
    }
    return devices;
}

// cx-switchd and REPLAY_MIB serving the table, and the agent attached to them.
class BusServer : public ReplayBench {
  public:
    explicit BusServer(int functions) : switchd_(dir_) {
        const std::vector<BusDevice> devices = Functions(functions);
        switchd_.RegisterClass();
        ready_ = switchd_.Start(PciHeaderLines(devices)) &&
                 Serve(BusTableWalk(devices), kServerManagementRegion,
                       "[Functional Tree]\r\nLANSystem=6\r\nGraphicSystem=5\r\n");
        agent_->m_SavedFile.SetPath(dir_.File("Catalix.sav").c_str());
        agent_->m_SavedFile.Open(FALSE);
        agent_->ServerCabinetNr = 1;
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ready_ = ready_ && agent_->m_SwitchClient.Attach(nullptr);
    }
    ~BusServer() {
        agent_->m_SwitchClient.Detach();
        agent_.reset();
        CoUninitialize();
    }

    bool ready() const { return ready_; }
    std::size_t SwitchTrips() const { return Lines(switchd_.journal_path(), "opcode=0x1401"); }

  private:
    SwitchdProcess switchd_;
    bool ready_ = false;
};

void BM_InitBus(benchmark::State& state) {
    const int functions = static_cast<int>(state.range(0));
    BusServer& server = ServersFor<BusServer>(functions);
    if (!server.ready()) {
        state.SkipWithError("the bus table or SWITCH is not served");
        return;
    }
    std::size_t switch_trips = 0;
    std::size_t snmp_trips = 0;
    for (auto _ : state) {
        state.PauseTiming();
        server.FreshScan();
        const std::size_t switch_before = server.SwitchTrips();
        const std::size_t snmp_before = server.SnmpTrips();
        state.ResumeTiming();
        server.agent().InitBus();
        state.PauseTiming();
        switch_trips += server.SwitchTrips() - switch_before;
        snmp_trips += server.SnmpTrips() - snmp_before;
        state.ResumeTiming();
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["components"] = server.agent().NrComponents;
    state.counters["switch_trips"] = static_cast<double>(switch_trips) / runs;
    state.counters["snmp_trips"] = static_cast<double>(snmp_trips) / runs;
    state.SetItemsProcessed(static_cast<std::int64_t>(functions) * state.iterations());
}
BENCHMARK(BM_InitBus)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
