// Where the host answers: the listen addresses of the registry or the command line as net-snmp's
// transport texts, and what an address exposes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host_config.h"

namespace cx::host {

struct Endpoint {
    std::string address;  // an IPv4 or IPv6 literal (without brackets) or a host name
    std::uint32_t port = 161;
};

// The addresses of a ListenAddress text: separated by commas or blanks, IPv6 literals with or
// without brackets. Entries that are no address are left out and reported in `rejected`.
std::vector<std::string> SplitListenAddresses(std::string_view text,
                                              std::vector<std::string>* rejected);
// "ADDR:PORT" or "[IPv6]:PORT" of --listen; nullopt when it is neither.
std::optional<Endpoint> ParseEndpoint(std::string_view text);

// "udp:127.0.0.1:161", "udp6:[::1]:161".
std::string TransportText(const Endpoint& endpoint);
// The transport texts of every endpoint, comma-separated, as net-snmp's agent takes them.
std::string TransportList(const std::vector<Endpoint>& endpoints);
bool IsIpv6(const std::string& address);
// 127.0.0.0/8, ::1 and "localhost": reachable from this machine only.
bool IsLoopback(const std::string& address);

// The warning for a host that answers a community beyond this machine to any manager; empty
// when the settings expose nothing that way.
std::string ExposureWarning(const HostConfig& config, const std::vector<Endpoint>& endpoints);

}  // namespace cx::host
