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

// What one request may cost the host (ours). A request over a bound is answered tooBig, or for
// GETBULK cut at its end, as RFC 3416 allows an answer that exceeds a local constraint.
struct RequestLimits {
    std::uint32_t max_bindings = 256;        // bindings of a GET, GETNEXT or SET
    std::uint32_t bulk_repetitions = 25;     // max-repetitions of a GETBULK
    std::uint32_t bulk_bindings = 50;        // bindings of a GETBULK's answer
    std::uint32_t max_message_size = 65507;  // bytes of an answer: the largest UDP/IPv4 payload
};

// The system group's administrative objects, as the Windows service reads them from
// Parameters\RFC1156Agent.
struct SystemGroup {
    std::string contact;
    std::string location;
    std::uint32_t services = 72;  // applications and end-to-end (RFC 3418)
};

struct HostConfig {
    std::vector<AgentLibrary> agents;
    std::vector<Community> communities;
    std::vector<std::string> permitted_managers;  // empty: every manager
    std::vector<TrapDestination> trap_destinations;
    // Loopback only unless the administrator names more.
    std::vector<std::string> listen_addresses = {"127.0.0.1", "::1"};
    std::uint32_t udp_port = 161;
    RequestLimits limits;
    SystemGroup system;
};

// Reads the parameters below SYSTEM\CurrentControlSet\Services\SNMP\Parameters. What is
// missing keeps its default; what cannot be used is left out with a log line.
HostConfig ReadHostConfig();

}  // namespace cx::host
