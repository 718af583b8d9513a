// Trace costs: a call site while the trace is off, a message filtered by its level, and the
// file sink at level 5 with the file opened per message.
#include <benchmark/benchmark.h>

#include <string>

#include "base/file_debug.h"
#include "platform/registry_store.h"
#include "temp_dir.h"
#include "trace_capture.h"

namespace {

// A scratch directory with its own registry holding the trace settings of "CX_BENCH".
struct Scratch {
    explicit Scratch(DWORD file_level) {
        CxRegistrySetPath(directory.File("registry.db").c_str());
        cx::test::TraceToFile("CX_BENCH", directory.File("trace.log"), file_level);
    }
    ~Scratch() { CxRegistrySetPath(nullptr); }
    cx::test::TempDir directory;
};

int Evaluated(int& count) { return ++count; }

void BM_CallSiteWhileOff(benchmark::State& state) {
    int evaluated = 0;
    for (auto _ : state) {
        CX_TRACE(5, "\nCBench              : %d %s", Evaluated(evaluated),
                 std::string(100, 'x').c_str());
        benchmark::ClobberMemory();
    }
    state.counters["arguments_evaluated"] = evaluated;
}
BENCHMARK(BM_CallSiteWhileOff);

void BM_MessageAboveTheLevels(benchmark::State& state) {
    Scratch scratch(3);
    CFileDebug trace;
    trace.Init("CX_BENCH", FALSE);
    for (auto _ : state)
        trace.Trace(5, "\nCBench              : filtered %d", 5);
}
BENCHMARK(BM_MessageAboveTheLevels);

void BM_FileSinkOpenedPerMessage(benchmark::State& state) {
    Scratch scratch(5);
    CFileDebug trace;
    trace.Init("CX_BENCH", FALSE);
    int message = 0;
    for (auto _ : state) {
        trace.Trace(5, "\nCBench              : message %d of the benchmark", ++message);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FileSinkOpenedPerMessage)->UseRealTime();

}  // namespace
