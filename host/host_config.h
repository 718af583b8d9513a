// What the host serves and to whom: the SNMP service's parameters from the registry, with the
// command line's overrides.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cx::host {

// Rights of a community, as on Windows (REG_DWORD data of a ValidCommunities value).
inline constexpr std::uint32_t kRightsNone = 1;
inline constexpr std::uint32_t kRightsNotify = 2;
inline constexpr std::uint32_t kRightsReadOnly = 4;
inline constexpr std::uint32_t kRightsReadWrite = 8;
inline constexpr std::uint32_t kRightsReadCreate = 16;

struct AgentLibrary {
    std::string name;          // the ExtensionAgents value name
    std::string library_path;  // empty when `problem` says why it cannot be loaded
    std::string problem;
};

struct Community {
    std::string name;
    std::uint32_t rights = kRightsNone;
};

struct TrapDestination {
    std::string community;
    std::string address;  // host or host:port
    bool v2c = false;     // written "v2c:" before the address
};

struct HostConfig {
    std::vector<AgentLibrary> agents;
    std::vector<Community> communities;
    std::vector<std::string> permitted_managers;  // empty: every manager
    std::vector<TrapDestination> trap_destinations;
    std::string listen_address = "0.0.0.0";
    std::uint32_t udp_port = 161;
};

// Reads the parameters below SYSTEM\CurrentControlSet\Services\SNMP\Parameters. What is
// missing keeps its default; what cannot be used is left out with a log line.
HostConfig ReadHostConfig();

}  // namespace cx::host
