// The agent address of SnmpMgrOpen as net-snmp's transport text.
#include "mgmt_address.h"

#include <arpa/inet.h>

#include <cctype>

namespace cx::platform::mgmt {
namespace {

constexpr std::size_t kMaxHostLength = 253;

bool IsHostName(const std::string& host) {
    if (host.empty() || host.size() > kMaxHostLength) return false;
    for (const char c : host) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
            return false;
    }
    return true;
}

bool IsIpv6Literal(const std::string& host) {
    in6_addr address{};
    return inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

std::optional<std::uint16_t> PortOf(const std::string& text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::string Peer(const char* domain, const std::string& host, std::uint16_t port) {
    return std::string(domain) + ":" + host + ":" + std::to_string(port);
}

}  // namespace

std::optional<std::string> PeerOfAddress(const std::string& address,
                                         std::uint16_t (*default_port)()) {
    if (!address.empty() && address.front() == '[') {
        const std::size_t close = address.find(']');
        if (close == std::string::npos) return std::nullopt;
        const std::string host = address.substr(1, close - 1);
        if (!IsIpv6Literal(host)) return std::nullopt;
        const std::string rest = address.substr(close + 1);
        if (rest.empty()) return Peer("udp6", "[" + host + "]", default_port());
        if (rest.front() != ':') return std::nullopt;
        const auto port = PortOf(rest.substr(1));
        if (!port) return std::nullopt;
        return Peer("udp6", "[" + host + "]", *port);
    }
    const std::size_t colon = address.find(':');
    if (colon == std::string::npos) {
        if (!IsHostName(address)) return std::nullopt;
        return Peer("udp", address, default_port());
    }
    if (address.find(':', colon + 1) != std::string::npos) {
        if (!IsIpv6Literal(address)) return std::nullopt;
        return Peer("udp6", "[" + address + "]", default_port());
    }
    const std::string host = address.substr(0, colon);
    const auto port = PortOf(address.substr(colon + 1));
    if (!IsHostName(host) || !port) return std::nullopt;
    return Peer("udp", host, *port);
}

}  // namespace cx::platform::mgmt
