// Registry calls as the agent makes them: reading a parameter.
#include <benchmark/benchmark.h>

#include "base/reg_key.h"
#include "platform/registry_store.h"
#include "temp_dir.h"

namespace {

// A store of its own in a temporary directory, closed before the directory goes.
struct BenchStore {
    BenchStore() { CxRegistrySetPath(dir.File("registry.db").c_str()); }
    ~BenchStore() { CxRegistrySetPath(dir.File("closed.db").c_str()); }
    cx::test::TempDir dir;
};

void BM_OpenQueryDwordClose(benchmark::State& state) {
    BenchStore store;
    RegKey setup;
    setup.Create("SOFTWARE\\Arvenmark\\CX_MIB\\Parameters");
    setup.SetDword("ScanTime", 7200);
    setup.Close();
    for (auto _ : state) {
        RegKey key;
        DWORD value = 0;
        key.Open("SOFTWARE\\Arvenmark\\CX_MIB\\Parameters", HKEY_LOCAL_MACHINE, KEY_READ);
        if (key.QueryDword("ScanTime", &value) != ERROR_SUCCESS) state.SkipWithError("query");
        key.Close();
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OpenQueryDwordClose)->UseRealTime();

}  // namespace
