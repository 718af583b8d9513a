// CmdRequest round trips through cx-switchd on one connection: requests per second.
#include <benchmark/benchmark.h>

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
    for (auto _ : state) {
        command.SetRequest(0xE204, 0, 0, 0, 0x16);
        if (client.SendCommand(&command, 0, 0, 0) != 0) {
            state.SkipWithError("request failed");
            break;
        }
    }
    client.Detach();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CmdRequestRoundTrip)->MinTime(2.0)->UseRealTime();

}  // namespace
