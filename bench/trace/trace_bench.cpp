// Trace costs: a call site while the trace is off, a message filtered by its level, and the
// file sink at level 5 with the file opened per message (as shipped) and kept open.
#include <benchmark/benchmark.h>

#include <cstdarg>
#include <string>

#include "base/file_debug.h"
#include "file_sink.h"
#include "platform/files.h"
#include "platform/registry_store.h"
#include "platform/windows.h"
#include "temp_dir.h"
#include "trace_capture.h"
#include "trace_line.h"

namespace {

// A scratch directory with its own registry holding the trace settings of "CX_BENCH".
class Scratch {
  public:
    explicit Scratch(DWORD file_level) {
        CxRegistrySetPath(directory_.File("registry.db").c_str());
        cx::test::TraceToFile("CX_BENCH", TracePath(), file_level);
    }
    ~Scratch() { CxRegistrySetPath(nullptr); }
    std::string TracePath() const { return directory_.File("trace.log"); }

  private:
    cx::test::TempDir directory_;
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

std::string FormatLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string FormatLine(const char* format, ...) {
    char line[cx::trace::kLineCapacity];
    va_list args;
    va_start(args, format);
    int length = cx::trace::FormatTraceLine(line, {}, format, args);
    va_end(args);
    return std::string(line, length < 0 ? 0 : static_cast<size_t>(length));
}

// The same message, mutex and write, with the file kept open between messages.
void BM_FileSinkKeptOpen(benchmark::State& state) {
    Scratch scratch(5);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "CFileDebug_bench_kept_open");
    HANDLE file = CreateFileA(scratch.TracePath().c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    int message = 0;
    for (auto _ : state) {
        std::string line =
            FormatLine("\nCBench              : message %d of the benchmark", ++message);
        DWORD waited = WaitForSingleObject(mutex, cx::trace::kFileMutexWait);
        cx::trace::AppendTraceText(file, line.data(), line.size());
        if (waited == WAIT_OBJECT_0) ReleaseMutex(mutex);
    }
    CloseHandle(file);
    CloseHandle(mutex);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FileSinkKeptOpen)->UseRealTime();

}  // namespace
