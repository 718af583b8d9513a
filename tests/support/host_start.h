// Starting extagentd for a test: in the foreground, on the test's registry file, with its
// output in the test's directory, until an agent reports that it serves.
#pragma once

#include <memory>
#include <string>

#include "child_process.h"
#include "temp_dir.h"

namespace cx::test {

// Starts `extagentd` (its path) with "--foreground --registry <dir>/registry.db --state-dir
// <dir>/state", output to host.out and host.err in `dir`, into `host`; true once the host
// publishes the SNMP service running and `agent` reports "started", false when it ends first
// or 30 s pass.
bool StartHostServing(std::unique_ptr<ChildProcess>& host, const std::string& extagentd,
                      const TempDir& dir, const char* agent);

// Registers REPLAY_MIB (`replay`, its library) serving `walk_file` under `region` as the only
// extension agent, on a free loopback port that this process's manager sessions then use, and
// starts the host serving it as StartHostServing does.
bool StartReplayHost(std::unique_ptr<ChildProcess>& host, const std::string& extagentd,
                     const std::string& replay, const TempDir& dir, const std::string& walk_file,
                     const std::string& region);

}  // namespace cx::test
