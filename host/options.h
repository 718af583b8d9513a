// The command line of extagentd.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "listen_endpoints.h"

namespace cx::host {

struct HostOptions {
    std::optional<std::string> registry;
    std::vector<Endpoint> listen;  // every --listen ADDR:PORT; empty: the registry's
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
