// Registry calls as the agent makes them: reading a parameter, and publishing its run state.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "base/reg_key.h"
#include "platform/registry_store.h"

namespace {

// A store of its own in a temporary directory, removed afterwards.
class BenchStore {
  public:
    BenchStore() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "cx-bench-registry-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) directory_ = pattern;
        CxRegistrySetPath((directory_ + "/registry.db").c_str());
    }
    ~BenchStore() {
        CxRegistrySetPath((directory_ + "/closed.db").c_str());
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }

  private:
    std::string directory_;
};

void BM_OpenQueryDwordClose(benchmark::State& state) {
    BenchStore store;
    {
        RegKey setup;
        setup.Create("SOFTWARE\\Arvenmark\\CX_MIB\\Parameters");
        setup.SetDword("ScanTime", 7200);
    }
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

// SetAgentRunState: open or create the volatile "#Status" key, set the string, close.
void BM_CreateSetStringClose(benchmark::State& state) {
    BenchStore store;
    {
        RegKey family;
        family.Create("SOFTWARE\\Arvenmark");
    }
    const char* states[] = {"starting", "started"};
    size_t turn = 0;
    for (auto _ : state) {
        RegKey key;
        key.Create("SOFTWARE\\Arvenmark\\#Status", HKEY_LOCAL_MACHINE, REG_OPTION_VOLATILE);
        if (key.SetString("CX_MIB", states[turn++ % 2]) != ERROR_SUCCESS)
            state.SkipWithError("set");
        key.Close();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CreateSetStringClose)->UseRealTime();

}  // namespace
