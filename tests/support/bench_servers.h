// What the scan benchmarks share: counting a trace's or journal's lines, keeping the servers of
// one argument while Google Benchmark calls the function for it again and again, and REPLAY_MIB
// in extagentd serving a generated walk to an agent of the benchmark's own.
#pragma once

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "collectors/catalix_collectors.h"
#include "host_start.h"
#include "inventory/cx_agent.h"
#include "platform/profile.h"
#include "platform/registry_store.h"
#include "registry_values.h"
#include "temp_dir.h"

namespace cx::test {

// How many lines of the file at `path` hold `marker`.
inline std::size_t Lines(const std::string& path, const char* marker) {
    std::ifstream in(path);
    std::size_t count = 0;
    for (std::string line; std::getline(in, line);)
        count += line.find(marker) != std::string::npos;
    return count;
}

// The servers for `size`, made on its first call; those of the size before are stopped first.
template <class Servers>
Servers& ServersFor(int size) {
    static std::unique_ptr<Servers> servers;
    static int made_for = -1;
    if (made_for != size) {
        servers.reset();
        servers = std::make_unique<Servers>(size);
        made_for = size;
    }
    return *servers;
}

// The host with REPLAY_MIB tracing every query, and an agent writing Catalix.act, in a
// directory and registry of their own.
class ReplayBench {
  public:
    ReplayBench() { CxRegistrySetPath(dir_.File("registry.db").c_str()); }
    ~ReplayBench() {
        agent_.reset();
        if (host_ != nullptr) host_->Signal(SIGTERM);
        if (host_ != nullptr) host_->Wait(std::chrono::seconds(60));
        CxRegistrySetPath(nullptr);
    }

    // Serves `walk` under `regions` and makes the agent with `definitions` as its table file.
    bool Serve(const std::string& walk, const std::string& regions,
               const std::string& definitions) {
        std::ofstream(dir_.File("bench.walk")) << walk;
        SetRegString("SOFTWARE\\Debug\\REPLAY_MIB", "TraceFile", dir_.File("replay-trace.txt"));
        SetRegDword("SOFTWARE\\Debug\\REPLAY_MIB", "FileDebugLevel", 2);
        const bool served = StartReplayHost(host_, CX_EXTAGENTD_PATH, CX_REPLAY_AGENT_PATH, dir_,
                                            dir_.File("bench.walk"), regions);
        agent_ = std::make_unique<CCX_Agent>(CatalixCollectors());
        std::ofstream(dir_.File("CX_MIB.ini")) << definitions;
        agent_->m_DefinitionTable.SetPath(dir_.File("CX_MIB.ini").c_str());
        agent_->m_DefinitionTable.Open(TRUE);
        agent_->m_ActualFile.SetPath(dir_.File("Catalix.act").c_str());
        agent_->m_ActualFile.Open(FALSE);
        return served;
    }
    CCX_Agent& agent() { return *agent_; }
    // A new scan's writer state on an empty actual file.
    void FreshScan() {
        const std::string actual = dir_.File("Catalix.act");
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, actual.c_str());
        std::remove(actual.c_str());
        agent_->NrComponents = agent_->NrFuncContainers = 0;
        agent_->ScsiCtrlList.RemoveAll();
    }
    std::size_t SnmpTrips() const { return Lines(dir_.File("replay-trace.txt"), "SNMP query:"); }

  protected:
    TempDir dir_;
    std::unique_ptr<ChildProcess> host_;
    std::unique_ptr<CCX_Agent> agent_;
};

}  // namespace cx::test
