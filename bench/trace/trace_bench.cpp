// Trace cost: the file sink at level 5 with the file opened per message.
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
