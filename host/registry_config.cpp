// Reads the SNMP service's parameters from the registry, as the Windows service keeps them.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "host_config.h"
#include "listen_endpoints.h"
#include "log.h"
#include "platform/winreg.h"

namespace cx::host {
namespace {

constexpr const char* kParametersKey = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
// Longer names and data than these are not ones the Windows service would have accepted
// either; they are reported instead of being cut.
constexpr DWORD kNameLimit = 256;
constexpr DWORD kDataLimit = 4096;

class Key {
  public:
    Key(HKEY parent, const std::string& path) {
        if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~Key() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    explicit operator bool() const { return key_ != nullptr; }
    HKEY Get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
};

// The text of a string value, without the terminating NUL (and without anything after it).
std::string Text(const Value& value) {
    const auto end = value.data.find('\0');
    return end == std::string::npos ? value.data : value.data.substr(0, end);
}

bool IsString(const Value& value) { return value.type == REG_SZ || value.type == REG_EXPAND_SZ; }

std::optional<DWORD> Dword(const Value& value) {
    if (value.type != REG_DWORD || value.data.size() != sizeof(DWORD)) return std::nullopt;
    DWORD number = 0;
    std::memcpy(&number, value.data.data(), sizeof(number));
    return number;
}

// Every value of `key` in index order; an oversized one is reported and skipped.
std::vector<Value> Values(const Key& key, const char* what) {
    std::vector<Value> values;
    if (!key) return values;
    for (DWORD index = 0;; ++index) {
        char name[kNameLimit + 1];
        DWORD name_size = sizeof(name);
        std::string data(kDataLimit, '\0');
        DWORD data_size = kDataLimit;
        DWORD type = REG_NONE;
        const LSTATUS result = RegEnumValueA(key.Get(), index, name, &name_size, nullptr, &type,
                                             reinterpret_cast<BYTE*>(data.data()), &data_size);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result == ERROR_MORE_DATA) {
            Log(LogLevel::kWarning, "%s: value %lu is too long; ignored", what,
                static_cast<unsigned long>(index));
            continue;
        }
        if (result != ERROR_SUCCESS) break;
        data.resize(data_size);
        values.push_back(Value{std::string(name, name_size), type, std::move(data)});
    }
    return values;
}

std::optional<Value> QueryValue(const Key& key, const char* name) {
    if (!key) return std::nullopt;
    std::string data(kDataLimit, '\0');
    DWORD size = kDataLimit;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return Value{name, type, std::move(data)};
}

std::string Expand(const std::string& text) {
    std::vector<char> expanded(kDataLimit);
    const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), kDataLimit);
    if (needed == 0 || needed > kDataLimit) return {};
    return expanded.data();
}

AgentLibrary ResolveAgent(const Value& entry) {
    AgentLibrary agent;
    agent.name = entry.name;
    if (!IsString(entry)) {
        agent.problem = "its value is not a registry path";
        return agent;
    }
    const std::string agent_key = Text(entry);
    const Key key(HKEY_LOCAL_MACHINE, agent_key);
    if (!key) {
        agent.problem = "no key " + agent_key;
        return agent;
    }
    const std::optional<Value> pathname = QueryValue(key, "Pathname");
    if (!pathname || !IsString(*pathname) || Text(*pathname).empty()) {
        agent.problem = "no Pathname in " + agent_key;
        return agent;
    }
    agent.library_path =
        pathname->type == REG_EXPAND_SZ ? Expand(Text(*pathname)) : Text(*pathname);
    if (agent.library_path.empty()) agent.problem = "Pathname of " + agent_key + " does not expand";
    return agent;
}

void ReadCommunities(const Key& parameters, HostConfig* config) {
    const Key key(parameters.Get(), "ValidCommunities");
    for (const Value& value : Values(key, "ValidCommunities")) {
        if (const auto rights = Dword(value)) {
            config->communities.push_back(Community{value.name, *rights});
        } else if (IsString(value)) {
            // The older form names the community in the data; it reads, it does not write.
            config->communities.push_back(Community{Text(value), kRightsReadOnly});
        }
    }
}

void ReadPermittedManagers(const Key& parameters, HostConfig* config) {
    const Key key(parameters.Get(), "PermittedManagers");
    for (const Value& value : Values(key, "PermittedManagers")) {
        if (IsString(value) && !Text(value).empty())
            config->permitted_managers.push_back(Text(value));
    }
}

void ReadTrapConfiguration(const Key& parameters, HostConfig* config) {
    const Key traps(parameters.Get(), "TrapConfiguration");
    if (!traps) return;
    for (DWORD index = 0;; ++index) {
        char community[kNameLimit + 1];
        DWORD size = sizeof(community);
        if (RegEnumKeyExA(traps.Get(), index, community, &size, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            break;
        const Key destinations(traps.Get(), community);
        for (const Value& value : Values(destinations, "TrapConfiguration")) {
            if (!IsString(value)) continue;
            std::string address = Text(value);
            const bool v2c = address.rfind("v2c:", 0) == 0;
            if (v2c) address.erase(0, 4);
            if (!address.empty())
                config->trap_destinations.push_back(TrapDestination{community, address, v2c});
        }
    }
}

// The strings of a REG_MULTI_SZ value, or the one text of a string value.
std::string ListText(const Value& value) {
    if (value.type != REG_MULTI_SZ) return Text(value);
    std::string text = value.data;
    std::replace(text.begin(), text.end(), '\0', ',');
    return text;
}

void ReadListen(const Key& parameters, HostConfig* config) {
    if (const auto port = QueryValue(parameters, "UdpPort")) {
        const auto number = Dword(*port);
        if (number && *number >= 1 && *number <= 65535) {
            config->udp_port = *number;
        } else {
            Log(LogLevel::kWarning, "UdpPort is not a port number; %u is used",
                static_cast<unsigned>(config->udp_port));
        }
    }
    const auto value = QueryValue(parameters, "ListenAddress");
    if (!value) return;
    std::vector<std::string> rejected;
    std::vector<std::string> addresses;
    if (IsString(*value) || value->type == REG_MULTI_SZ)
        addresses = SplitListenAddresses(ListText(*value), &rejected);
    for (const std::string& address : rejected)
        Log(LogLevel::kWarning, "ListenAddress \"%s\" is no address; ignored", address.c_str());
    // Nothing usable keeps the loopback default: never wider than configured.
    if (!addresses.empty()) config->listen_addresses = std::move(addresses);
}

// A DWORD bound of the host; what is missing or outside [low, high] keeps the default.
void ReadBound(const Key& parameters, const char* name, std::uint32_t low, std::uint32_t high,
               std::uint32_t* bound) {
    const auto value = QueryValue(parameters, name);
    if (!value) return;
    const auto number = Dword(*value);
    if (number && *number >= low && *number <= high) {
        *bound = *number;
    } else {
        Log(LogLevel::kWarning, "%s is not a DWORD from %u to %u; %u is used", name,
            static_cast<unsigned>(low), static_cast<unsigned>(high), static_cast<unsigned>(*bound));
    }
}

void ReadLimits(const Key& parameters, RequestLimits* limits) {
    ReadBound(parameters, "MaxBindingsPerRequest", 1, 65535, &limits->max_bindings);
    ReadBound(parameters, "MaxGetBulkRepetitions", 1, 65535, &limits->bulk_repetitions);
    ReadBound(parameters, "MaxGetBulkBindings", 1, 65535, &limits->bulk_bindings);
    // RFC 3417 section 3.2: every SNMP entity takes messages of 484 bytes.
    ReadBound(parameters, "MaxMessageSize", 484, 65507, &limits->max_message_size);
}

void ReadSystemGroup(const Key& parameters, SystemGroup* system) {
    const Key agent(parameters.Get(), "RFC1156Agent");
    for (const auto& [name, text] :
         {std::pair{"sysContact", &system->contact}, std::pair{"sysLocation", &system->location}}) {
        const auto value = QueryValue(agent, name);
        if (value && IsString(*value)) *text = Text(*value);
    }
    // sysServices is a sum of layer bits (RFC 3418): 0 to 127.
    ReadBound(agent, "sysServices", 0, 127, &system->services);
}

}  // namespace

HostConfig ReadHostConfig() {
    HostConfig config;
    const Key parameters(HKEY_LOCAL_MACHINE, kParametersKey);
    if (!parameters) {
        Log(LogLevel::kWarning, "no key %s: no agent, no community", kParametersKey);
        return config;
    }
    const Key agents(parameters.Get(), "ExtensionAgents");
    for (const Value& entry : Values(agents, "ExtensionAgents"))
        config.agents.push_back(ResolveAgent(entry));
    ReadCommunities(parameters, &config);
    ReadPermittedManagers(parameters, &config);
    ReadTrapConfiguration(parameters, &config);
    ReadListen(parameters, &config);
    ReadLimits(parameters, &config.limits);
    ReadSystemGroup(parameters, &config.system);
    return config;
}

}  // namespace cx::host
