// cx-switchd --linux against OpenIPMI's BMC simulator and NUT's upsd on the loopback: one whole
// read of the controller (session, device ID, repository, sensors, FRUs), and a read of every
// source as a scan's first request waits for it. The simulator holds the server of the
// collector's source test: 7 SDRs, 3 fans, 2 power supplies with FRUs, the system FRU.
#include <benchmark/benchmark.h>

#include "ipmi_session.h"
#include "machine_sources.h"
#include "peer_servers.h"
#include "temp_dir.h"

namespace {

using namespace cx::test;

struct Peers {
    TempDir dir;
    BmcSimulator bmc;
    UpsServer ups;
    std::string error;
    Peers() {
        error = BmcSimulator::Missing() + UpsServer::Missing();
        if (error.empty() && bmc.Start(dir.File("bmc"), InventedServer(), &error))
            ups.Start(dir.File("ups"), "cxups", "ups.mfr: Arvenmark\nups.model: Catalix U1500\n",
                      &error);
    }
};

Peers& Servers() {
    static Peers peers;
    return peers;
}

cx::switchd::IpmiOptions Lan() {
    return {Servers().bmc.lan(), BmcSimulator::kUser, BmcSimulator::kPassword, ""};
}

void BM_WholeBmcRead(benchmark::State& state) {
    if (!Servers().error.empty()) return state.SkipWithError(Servers().error.c_str());
    for (auto _ : state) {
        std::string error;
        auto session = cx::switchd::IpmiSession::Open(Lan(), &error);
        if (session == nullptr) return state.SkipWithError(error.c_str());
        auto reading = cx::switchd::ReadBmc(
            *session, cx::switchd::IpmiClock::now() + std::chrono::seconds(30));
        if (!reading.complete) return state.SkipWithError(reading.note.c_str());
        benchmark::DoNotOptimize(reading.info.fans.data());
    }
}
BENCHMARK(BM_WholeBmcRead)->Unit(benchmark::kMillisecond);

void BM_ReadMachineWithControllerAndUps(benchmark::State& state) {
    if (!Servers().error.empty()) return state.SkipWithError(Servers().error.c_str());
    cx::switchd::SourceOptions options;
    options.ipmi = Lan();
    cx::switchd::NutTarget nut;
    if (!cx::switchd::ParseNutTarget(Servers().ups.address(), &nut))
        return state.SkipWithError("no UPS server address");
    options.nut = nut;
    for (auto _ : state) {
        cx::switchd::MachineReading reading = cx::switchd::ReadMachine(options);
        if (reading.info.failed != 0) return state.SkipWithError(reading.log[4].c_str());
        benchmark::DoNotOptimize(reading.info.ups.data());
    }
}
BENCHMARK(BM_ReadMachineWithControllerAndUps)->Unit(benchmark::kMillisecond);

}  // namespace
