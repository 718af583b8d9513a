// A GET of names the agent does not know, through the host's dispatch to REPLAY_MIB loaded in
// this process as extagentd loads it: time per request, and the bindings and calls handed to
// the agent per request (counters "bindings" and "calls"), with the agent's trace off and at
// level 3. The second argument 0 hides the agent's lookup, as from an agent without one.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "dispatch.h"
#include "extension_agent.h"
#include "platform/registry_store.h"
#include "registry_values.h"
#include "temp_dir.h"
#include "trace_capture.h"

namespace {

using namespace cx::host;
using namespace cx::test;

Oid Under(std::initializer_list<std::uint32_t> tail) {
    Oid oid = {1, 3, 6, 1, 4, 1, 99999, 7};
    oid.insert(oid.end(), tail);
    return oid;
}

// Counts what the dispatch hands the agent.
struct CountingTarget : QueryTarget {
    CountingTarget(QueryTarget& agent, bool lookup) : agent(agent), lookup(lookup) {}
    QueryOutcome Query(int type, std::vector<Binding>& list) override {
        ++calls;
        bindings += list.size();
        return agent.Query(type, list);
    }
    Holding Lookup(const Oid& name) override {
        return lookup ? agent.Lookup(name) : Holding::kUnknown;
    }
    QueryTarget& agent;
    bool lookup;
    std::size_t calls = 0;
    std::size_t bindings = 0;
};

// REPLAY_MIB serving one object, its trace at `level` (0: off); null when it did not start. One
// library at a time: another level unloads the one before.
ExtensionAgent* Replay(DWORD level) {
    static TempDir temp;
    static std::unique_ptr<ExtensionAgent> agent;
    static DWORD loaded_level = 0;
    if (agent != nullptr && loaded_level == level) return agent.get();
    if (agent != nullptr) agent->Close();
    agent.reset();
    CxRegistrySetPath(temp.File("registry.db").c_str());
    WriteFile(temp.File("agent.walk"), ".1.3.6.1.4.1.99999.7.1.1.0 = INTEGER: 1\n");
    SetRegMultiString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters", "WalkFiles",
                      temp.File("agent.walk"));
    SetRegMultiString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters", "Regions",
                      "1.3.6.1.4.1.99999.7");
    TraceToFile("REPLAY_MIB", temp.File("trace.txt"), level);
    // A fresh copy each time, so that the load is a first one.
    const std::string directory = temp.File(std::to_string(level));
    std::filesystem::create_directories(directory);
    std::filesystem::copy_file(CX_REPLAY_AGENT_PATH, directory + "/REPLAY_MIB.so");
    std::string reason;
    agent = ExtensionAgent::Load("REPLAY_MIB", directory + "/REPLAY_MIB.so", 0, &reason);
    loaded_level = level;
    // The agent refuses requests until its initialisation thread has built the MIB.
    const auto ready = [] {
        std::vector<Binding> known(1);
        known[0].name = Under({1, 1, 0});
        return agent->Query(SNMP_PDU_GET, known).error_status == 0;
    };
    return agent != nullptr && WaitUntil(ready, std::chrono::seconds(30)) ? agent.get() : nullptr;
}

void BM_GetUnknownNames(benchmark::State& state) {
    ExtensionAgent* agent = Replay(static_cast<DWORD>(state.range(2)));
    if (agent == nullptr) return state.SkipWithError("REPLAY_MIB did not start");
    std::vector<Oid> names;
    for (std::int64_t i = 1; i <= state.range(0); ++i)
        names.push_back(Under({99, static_cast<std::uint32_t>(i), 0}));
    CountingTarget target(*agent, state.range(1) != 0);
    for (auto _ : state) {
        if (DispatchGet(target, names).back().kind == AnswerKind::kValue)
            return state.SkipWithError("an unknown name was answered");
    }
    const double requests = static_cast<double>(state.iterations());
    state.counters["bindings"] = static_cast<double>(target.bindings) / requests;
    state.counters["calls"] = static_cast<double>(target.calls) / requests;
}

BENCHMARK(BM_GetUnknownNames)
    ->ArgsProduct({{10, 100, 1000, 2800}, {1, 0}, {0}})
    ->ArgsProduct({{2000}, {1, 0}, {3}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
