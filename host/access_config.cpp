// The net-snmp configuration lines that carry the host's communities, permitted managers and
// trap destinations.
#include "access_config.h"

#include <algorithm>

namespace cx::host {
namespace {

// A word that net-snmp's line parser reads back unchanged: printable, no blank, no quote, no
// comment sign, and short enough for its buffers.
bool IsPlainWord(const std::string& word) {
    if (word.empty() || word.size() > 255) return false;
    return std::all_of(word.begin(), word.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte < 0x7F && c != '"' && c != '\'' && c != '#' && c != '\\';
    });
}

// An IPv6 manager address (with a prefix length or not): its access lines are the "6" ones.
bool IsIpv6Source(const std::string& source) { return source.find(':') != std::string::npos; }

const char* CommunityDirective(std::uint32_t rights) {
    switch (rights) {
        case kRightsReadOnly: return "rocommunity";
        case kRightsReadWrite:
        case kRightsReadCreate: return "rwcommunity";
        default: return nullptr;  // none and notify give no access
    }
}

}  // namespace

std::vector<std::string> AccessConfigLines(const HostConfig& config,
                                           std::vector<std::string>* rejected) {
    std::vector<std::string> lines;
    std::vector<std::string> sources;
    for (const std::string& manager : config.permitted_managers) {
        if (IsPlainWord(manager)) {
            sources.push_back(manager);
        } else {
            rejected->push_back("permitted manager \"" + manager + "\"");
        }
    }
    // Managers were listed but none is usable: nobody is answered rather than everybody.
    const bool answer_nobody = !config.permitted_managers.empty() && sources.empty();
    if (sources.empty()) sources.push_back("default");

    for (const Community& community : config.communities) {
        if (answer_nobody) break;
        const char* directive = CommunityDirective(community.rights);
        if (directive == nullptr) continue;
        if (!IsPlainWord(community.name)) {
            rejected->push_back("community \"" + community.name + "\"");
            continue;
        }
        for (const std::string& source : sources) {
            // net-snmp's directives are per address family: "default" means both.
            if (source == "default" || !IsIpv6Source(source))
                lines.push_back(std::string(directive) + " " + community.name + " " + source);
            if (source == "default" || IsIpv6Source(source))
                lines.push_back(std::string(directive) + "6 " + community.name + " " + source);
        }
    }
    for (const TrapDestination& destination : config.trap_destinations) {
        if (!IsPlainWord(destination.community) || !IsPlainWord(destination.address)) {
            rejected->push_back("trap destination \"" + destination.address + "\"");
            continue;
        }
        lines.push_back(std::string(destination.v2c ? "trap2sink " : "trapsink ") +
                        destination.address + " " + destination.community);
    }
    return lines;
}

}  // namespace cx::host
