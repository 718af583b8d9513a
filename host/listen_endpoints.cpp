// Where the host answers: the listen addresses of the registry or the command line as net-snmp's
// transport texts, and what an address exposes.
#include "listen_endpoints.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace cx::host {
namespace {

constexpr std::size_t kMaxHostName = 253;

bool IsIpv4(const std::string& address) {
    in_addr parsed{};
    return inet_pton(AF_INET, address.c_str(), &parsed) == 1;
}

// A name net-snmp resolves itself; nothing that could change the transport text's meaning.
bool IsHostName(const std::string& name) {
    if (name.empty() || name.size() > kMaxHostName) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    });
}

std::string WithoutBrackets(std::string_view text) {
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    return std::string(text);
}

bool IsAddress(const std::string& address) {
    return IsIpv4(address) || IsIpv6(address) || IsHostName(address);
}

bool Answers(const Community& community) {
    return community.rights == kRightsReadOnly || community.rights == kRightsReadWrite ||
           community.rights == kRightsReadCreate;
}

}  // namespace

bool IsIpv6(const std::string& address) {
    in6_addr parsed{};
    return inet_pton(AF_INET6, address.c_str(), &parsed) == 1;
}

bool IsLoopback(const std::string& address) {
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
    return address == "localhost";
}

std::vector<std::string> SplitListenAddresses(std::string_view text,
                                              std::vector<std::string>* rejected) {
    std::vector<std::string> addresses;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of(", \t", start);
        const std::string_view word = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!word.empty()) {
            const std::string address = WithoutBrackets(word);
            if (IsAddress(address)) {
                addresses.push_back(address);
            } else {
                rejected->push_back(std::string(word));
            }
        }
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return addresses;
}

std::optional<Endpoint> ParseEndpoint(std::string_view text) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    const std::string_view port_text = text.substr(colon + 1);
    std::uint32_t port = 0;
    const auto [end, error] =
        std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
    if (error != std::errc() || end != port_text.data() + port_text.size() || port == 0 ||
        port > 65535)
        return std::nullopt;
    const std::string address = WithoutBrackets(text.substr(0, colon));
    if (!IsAddress(address)) return std::nullopt;
    return Endpoint{address, port};
}

std::string TransportText(const Endpoint& endpoint) {
    const std::string port = std::to_string(endpoint.port);
    if (IsIpv6(endpoint.address)) return "udp6:[" + endpoint.address + "]:" + port;
    return "udp:" + endpoint.address + ":" + port;
}

std::string TransportList(const std::vector<Endpoint>& endpoints) {
    std::string list;
    for (const Endpoint& endpoint : endpoints)
        list += (list.empty() ? "" : ",") + TransportText(endpoint);
    return list;
}

std::string ExposureWarning(const HostConfig& config, const std::vector<Endpoint>& endpoints) {
    if (!config.permitted_managers.empty()) return {};
    const auto open = std::find_if(endpoints.begin(), endpoints.end(),
                                   [](const Endpoint& e) { return !IsLoopback(e.address); });
    const auto community =
        std::find_if(config.communities.begin(), config.communities.end(), Answers);
    if (open == endpoints.end() || community == config.communities.end()) return {};
    // The community itself stays out of the log: it is the secret.
    return "a community is answered on " + TransportText(*open) +
           " from any manager: list the managers in PermittedManagers, or use SNMPv3 users";
}

}  // namespace cx::host
