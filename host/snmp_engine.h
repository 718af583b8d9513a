// net-snmp as the host's SNMP engine: start-up without MIB files, standalone UDP or AgentX
// subagent, the request loop and notifications.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "extension_agent.h"
#include "host_config.h"
#include "listen_endpoints.h"

namespace cx::host {

struct EngineSettings {
    bool agentx = false;
    std::string agentx_socket;  // empty: net-snmp's default
    std::vector<Endpoint> endpoints;
    RequestLimits limits;
    std::vector<std::string> config_lines;  // access; standalone also the system group
    std::optional<std::string> config_file;
    std::string state_dir;
};

// Logging first, so that everything after it is reported where the administrator looks.
void StartLogging(bool to_standard_error);
// Detaches from the terminal (standard error logging must not be on).
bool Daemonise();

// First half of the start, before any agent is loaded: net-snmp's agent library with its
// configuration read and its persistent state (SNMPv3 engine and users) stored back at once;
// standalone also the system, snmp and SNMP-FRAMEWORK groups (a master agent serves its own).
bool PrepareEngine(const EngineSettings& settings, std::string* error);
// Second half, once the agents' views are registered: listening on UDP, requests guarded.
bool StartEngine(const EngineSettings& settings, std::string* error);
// Serves requests until `keep_running` returns false; `each_tick` runs at least every 50 ms.
void ServeWhile(const std::function<bool()>& keep_running, const std::function<void()>& each_tick);
// Sends one trap to every configured destination, in each destination's version.
void SendTrap(const Trap& trap);
void StopEngine();

}  // namespace cx::host
