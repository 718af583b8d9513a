// The agent address of SnmpMgrOpen as net-snmp's transport text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cx::platform::mgmt {

// "host", "host:port", an IPv6 address, or "[IPv6]:port" as "udp:host:port" or
// "udp6:[address]:port"; without a port, `default_port()` is asked. nullopt for anything else
// (other transports, stray characters, a port outside 1..65535): the text is outside input.
std::optional<std::string> PeerOfAddress(const std::string& address,
                                         std::uint16_t (*default_port)());

}  // namespace cx::platform::mgmt
