// CmdRequest round trips through cx-switchd on one connection: requests per second and the
// median latency of one request.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "clients/switch_client.h"
#include "switchd_process.h"
#include "temp_dir.h"

namespace {

void BM_CmdRequestRoundTrip(benchmark::State& state) {
    // A private cx-switchd, without a journal: its file writes are no part of the figure.
    cx::test::TempDir dir;
    cx::test::SwitchdProcess server(dir, false);
    server.RegisterClass();
    server.Start("reply 0xE204 0 0 * : word 1\n");
    CSwitchClient client;
    if (!client.Attach(nullptr)) {
        state.SkipWithError("cannot attach to cx-switchd");
        return;
    }
    CSwitchCommand command;
    std::vector<double> latencies_us;
    for (auto _ : state) {
        command.SetRequest(0xE204, 0, 0, 0, 0x16);
        const auto start = std::chrono::steady_clock::now();
        if (client.SendCommand(&command, 0, 0, 0) != 0) {
            state.SkipWithError("request failed");
            break;
        }
        latencies_us.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
    }
    client.Detach();
    state.SetItemsProcessed(state.iterations());
    if (latencies_us.empty()) return;
    auto middle = latencies_us.begin() + static_cast<std::ptrdiff_t>(latencies_us.size() / 2);
    std::nth_element(latencies_us.begin(), middle, latencies_us.end());
    state.counters["median_us"] = *middle;
}
BENCHMARK(BM_CmdRequestRoundTrip)->MinTime(2.0)->UseRealTime();

}  // namespace
