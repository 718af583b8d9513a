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

bool StartReplayHost(std::unique_ptr<ChildProcess>& host, const std::string& extagentd,
                     const std::string& replay, const TempDir& dir, const std::string& walk_file,
                     const std::string& region) {
    const std::string snmp = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
    const std::string replay_key = "SOFTWARE\\Arvenmark\\REPLAY_MIB";
    SetRegDword(snmp, "UdpPort", static_cast<DWORD>(FreeUdpPort()));
    SetRegString(snmp, "ListenAddress", "127.0.0.1");
    SetRegDword(snmp + "\\ValidCommunities", "public", 4);
    SetRegString(snmp + "\\ExtensionAgents", "1", replay_key + "\\CurrentVersion");
    SetRegString(replay_key + "\\CurrentVersion", "Pathname", replay);
    SetRegMultiString(replay_key + "\\Parameters", "WalkFiles", walk_file);
    SetRegMultiString(replay_key + "\\Parameters", "Regions", region);
    return StartHostServing(host, extagentd, dir, "REPLAY_MIB");
}

}  // namespace cx::test
