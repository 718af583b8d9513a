// Starting extagentd for a test.
#include "host_start.h"

#include <chrono>

#include "registry_values.h"

namespace cx::test {

bool StartHostServing(std::unique_ptr<ChildProcess>& host, const std::string& extagentd,
                      const TempDir& dir, const char* agent) {
    host = std::make_unique<ChildProcess>();
    if (!host->Start({extagentd, "--foreground", "--registry", dir.File("registry.db"),
                      "--state-dir", dir.File("state")},
                     dir.File("host.out"), dir.File("host.err"))) {
        return false;
    }
    ChildProcess& process = *host;
    return WaitUntil(
               [&] {
                   return (SnmpServiceRunning() && AgentRunState(agent) == "started") ||
                          !process.Running();
               },
               std::chrono::seconds(30)) &&
           process.Running();
}

}  // namespace cx::test
