// The command line of extagentd.
#include "options.h"

#include <string_view>

namespace cx::host {

const char* UsageText() {
    return "Usage: extagentd [OPTIONS]\n"
           "Loads the SNMP extension agents listed in the registry and answers SNMP for them.\n"
           "\n"
           "  --registry PATH     registry store to use (default: $CX_REGISTRY)\n"
           "  --listen ADDR:PORT  UDP address to answer on, [ADDR]:PORT for IPv6; repeat it for\n"
           "                      more (default: ListenAddress and UdpPort of\n"
           "                      SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters)\n"
           "  --agentx [SOCKET]   serve as an AgentX subagent of a running snmpd instead\n"
           "  --config FILE       extra net-snmp configuration (for example SNMPv3 users)\n"
           "  --state-dir DIR     where net-snmp keeps its persistent state\n"
           "                      (default: /var/lib/catalix/extagentd)\n"
           "  --foreground        stay in the foreground and log to standard error\n"
           "  --help              show this text\n"
           "\n"
           "SIGTERM or SIGINT closes every agent and ends the process.\n";
}

bool ParseOptions(int argc, const char* const* argv, HostOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool has_value = i + 1 < argc;
        auto value_of = [&](std::optional<std::string>* target) {
            if (!has_value) {
                *error = std::string(arg) + " needs a value";
                return false;
            }
            *target = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (arg == "--foreground" || arg == "-f") {
            options->foreground = true;
        } else if (arg == "--registry") {
            if (!value_of(&options->registry)) return false;
        } else if (arg == "--config") {
            if (!value_of(&options->config_file)) return false;
        } else if (arg == "--state-dir") {
            if (!value_of(&options->state_dir)) return false;
        } else if (arg == "--listen") {
            const auto endpoint = has_value ? ParseEndpoint(argv[i + 1]) : std::nullopt;
            if (!endpoint) {
                *error = "--listen needs ADDR:PORT with a port from 1 to 65535";
                return false;
            }
            options->listen.push_back(*endpoint);
            ++i;
        } else if (arg == "--agentx") {
            options->agentx = true;
            if (has_value && std::string_view(argv[i + 1]).substr(0, 2) != "--")
                options->agentx_socket = argv[++i];
        } else {
            *error = "unknown argument: " + std::string(arg);
            return false;
        }
    }
    if (options->agentx && !options->listen.empty()) {
        *error = "--listen and --agentx exclude each other";
        return false;
    }
    return true;
}

}  // namespace cx::host
