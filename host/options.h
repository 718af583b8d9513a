// The command line of extagentd.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cx::host {

struct HostOptions {
    std::optional<std::string> registry;
    std::optional<std::string> listen_address;  // from --listen ADDR:PORT
    std::optional<std::uint32_t> listen_port;
    bool agentx = false;
    std::string agentx_socket;  // empty: net-snmp's default master socket
    std::optional<std::string> config_file;
    std::optional<std::string> state_dir;
    bool foreground = false;
    bool help = false;
};

// False with a message for the user when the command line is not usable.
bool ParseOptions(int argc, const char* const* argv, HostOptions* options, std::string* error);
const char* UsageText();

}  // namespace cx::host
