// net-snmp as the host's SNMP engine: start-up without MIB files, standalone UDP or AgentX
// subagent, the request loop and notifications.
#include "snmp_engine.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>
// clang-format on

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "config_file.h"
#include "log.h"
#include "netsnmp_binding.h"
#include "request_guard.h"

// net-snmp's own modules of the system, snmp and SNMP-FRAMEWORK groups (libnetsnmpmibs); their
// headers are not installed.
extern "C" {
void init_system_mib();
void init_sysORTable();
void init_snmp_mib();
void init_snmpEngine();
void init_snmpMPDStats();
void init_usmStats();
// The library's warning for an agent without access rules; the host says it in its own words.
int vacm_warn_if_not_configured(int, int, void*, void*);
}

namespace cx::host {
namespace {

constexpr const char* kAppName = "extagentd";
constexpr long kTickMicroseconds = 50 * 1000;

std::function<void()>* g_tick = nullptr;

void OnTick(unsigned int, void*) {
    if (g_tick != nullptr) (*g_tick)();
}

// Whether this machine has IPv6 at all: a kernel without it, or with it switched off, has no
// ::1 to answer on.
bool Ipv6Available() {
    const int probe = socket(AF_INET6, SOCK_DGRAM, 0);
    if (probe < 0) return false;
    sockaddr_in6 loopback{};
    loopback.sin6_family = AF_INET6;
    loopback.sin6_addr = in6addr_loopback;
    const bool bound = bind(probe, reinterpret_cast<sockaddr*>(&loopback), sizeof(loopback)) == 0;
    close(probe);
    return bound;
}

// The endpoints to listen on: IPv6 ones are left out on a machine without IPv6, as long as
// another one remains.
std::vector<Endpoint> UsableEndpoints(const std::vector<Endpoint>& endpoints) {
    const auto v6 = [](const Endpoint& endpoint) { return IsIpv6(endpoint.address); };
    if (std::all_of(endpoints.begin(), endpoints.end(), v6) || Ipv6Available()) return endpoints;
    std::vector<Endpoint> usable;
    for (const Endpoint& endpoint : endpoints) {
        if (v6(endpoint)) {
            Log(LogLevel::kWarning, "no IPv6 on this machine: %s left out",
                TransportText(endpoint).c_str());
        } else {
            usable.push_back(endpoint);
        }
    }
    return usable;
}

// The origin v1 traps name: the one IPv4 address answered on, when there is exactly one.
void SetTrapOrigin(const std::vector<Endpoint>& endpoints) {
    const Endpoint* origin = nullptr;
    for (const Endpoint& endpoint : endpoints) {
        if (IsIpv6(endpoint.address)) continue;
        if (origin != nullptr) return;
        origin = &endpoint;
    }
    if (origin != nullptr && origin->address != "0.0.0.0")
        netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_TRAP_ADDR,
                              origin->address.c_str());
}

// The groups every SNMP agent serves beside its own MIB, from net-snmp's own modules. Not all
// of its modules: the host reports on SNMP itself, not on the machine.
void InitStandardGroups(const RequestLimits& limits) {
    init_system_mib();
    init_sysORTable();
    init_snmp_mib();
    init_snmpEngine();
    init_snmpMPDStats();
    init_usmStats();
    // The module reports a fixed 1500 bytes; this engine takes and sends up to the bound.
    static long max_message_size = 0;
    static const oid kMaxMessageSize[] = {1, 3, 6, 1, 6, 3, 10, 2, 1, 4, 0};
    max_message_size = static_cast<long>(limits.max_message_size);
    netsnmp_register_read_only_long_instance("snmpEngineMaxMessageSize", kMaxMessageSize,
                                             OID_LENGTH(kMaxMessageSize), &max_message_size,
                                             nullptr);
}

}  // namespace

void StartLogging(bool to_standard_error) {
    if (to_standard_error) {
        snmp_enable_stderrlog();
    } else {
        snmp_enable_syslog_ident(kAppName, LOG_DAEMON);
    }
}

bool Daemonise() { return netsnmp_daemonize(1, 0) == 0; }

bool PrepareEngine(const EngineSettings& settings, std::string* error) {
    // No MIB module is loaded: managers and logs use numeric OIDs.
    setenv("MIBS", "", 1);
    setenv("MIBDIRS", "", 1);
    // Only our own configuration is read: net-snmp's persistent file in the state directory and
    // the administrator's --config file; never the system's snmpd files, nor a path the
    // environment names.
    unsetenv("SNMPCONFPATH");
    unsetenv("SNMP_PERSISTENT_FILE");
    if (settings.config_file) {
        *error = ConfigFileProblem(*settings.config_file);
        if (!error->empty()) return false;
    }
    if (mkdirhier(settings.state_dir.c_str(), 0700, 0) != SNMPERR_SUCCESS) {
        *error = "cannot create the state directory " + settings.state_dir;
        return false;
    }
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_PERSISTENT_DIR,
                          settings.state_dir.c_str());
    // No configuration directory: the persistent file would otherwise be read a second time as
    // configuration, which leaves net-snmp with an empty engine ID on every second start.
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_CONFIGURATION_DIR, "");
    if (settings.config_file) {
        netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OPTIONALCONFIG,
                              settings.config_file->c_str());
    }
    // An answer longer than this is answered tooBig (a GETBULK's is cut) instead of being lost
    // in a send that fails.
    netsnmp_ds_set_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_MSG_SEND_MAX,
                       static_cast<int>(settings.limits.max_message_size));
    if (settings.agentx) {
        netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 1);
        if (!settings.agentx_socket.empty()) {
            netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_X_SOCKET,
                                  settings.agentx_socket.c_str());
        }
        // A master that starts later or restarts is found again within seconds.
        netsnmp_ds_set_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_AGENTX_PING_INTERVAL, 2);
    } else {
        const std::vector<Endpoint> endpoints = UsableEndpoints(settings.endpoints);
        SetTrapOrigin(endpoints);
        netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_PORTS,
                              TransportList(endpoints).c_str());
    }
    // One log line per request would drown everything else.
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID,
                           NETSNMP_DS_AGENT_DONT_LOG_TCPWRAPPERS_CONNECTS, 1);
    // No SMUX: nothing here speaks it, and its listener would take TCP port 199 on every
    // address.
    char no_smux[] = "-smux";
    add_to_init_list(no_smux);
    if (init_agent(kAppName) != 0) {
        *error = "net-snmp's agent library did not start";
        return false;
    }
    if (!settings.agentx) InitStandardGroups(settings.limits);
    snmp_unregister_callback(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_POST_READ_CONFIG,
                             vacm_warn_if_not_configured, nullptr, 1);
    // Set after init_agent, which registers them: a --config file may still change them.
    netsnmp_ds_set_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_MAX_GETBULKREPEATS,
                       static_cast<int>(settings.limits.bulk_repetitions));
    netsnmp_ds_set_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_MAX_GETBULKRESPONSES,
                       static_cast<int>(settings.limits.bulk_bindings));
    for (const std::string& line : settings.config_lines) {
        std::vector<char> copy(line.begin(), line.end());
        copy.push_back('\0');
        netsnmp_config_remember(copy.data());
    }
    // Before any agent is loaded: an agent's own threads may open manager sessions at once,
    // and net-snmp's start-up writes its settings without locks.
    init_snmp(kAppName);
    if (!settings.agentx && vacm_is_configured() == 0) {
        Log(LogLevel::kInfo,
            "no community and no SNMPv3 user: only the agents in this process "
            "are answered (OPERATIONS.md, \"Opening the agent to managers\")");
    }
    // Stored back at once, not only at the stop: this start's engineBoots survives a crash, and
    // a createUser line in the state file becomes a user with localised keys.
    snmp_store(kAppName);
    return true;
}

bool StartEngine(const EngineSettings& settings, std::string* error) {
    if (settings.agentx) return true;
    if (init_master_agent() != 0) {
        *error = "cannot listen on " + TransportList(settings.endpoints);
        return false;
    }
    GuardRequests(settings.limits);
    return true;
}

void ServeWhile(const std::function<bool()>& keep_running, const std::function<void()>& each_tick) {
    std::function<void()> tick = each_tick;
    g_tick = &tick;
    // The alarm bounds every wait of the loop, so that a stop request or a signalled trap
    // event is seen within one tick.
    struct timeval interval = {0, kTickMicroseconds};
    const unsigned int alarm = snmp_alarm_register_hr(interval, SA_REPEAT, OnTick, nullptr);
    while (keep_running())
        agent_check_and_process(1);
    snmp_alarm_unregister(alarm);
    g_tick = nullptr;
}

void SendTrap(const Trap& trap) {
    if (trap.enterprise.empty() || trap.enterprise.size() > MAX_OID_LEN) {
        Log(LogLevel::kWarning, "trap %ld/%ld without a usable enterprise OID not sent",
            trap.generic, trap.specific);
        return;
    }
    netsnmp_variable_list* variables = nullptr;
    for (const Binding& binding : trap.bindings) {
        if (!AppendBinding(binding, &variables)) {
            Log(LogLevel::kWarning, "trap binding %s left out: its value cannot be sent",
                OidText(binding.name).c_str());
        }
    }
    std::vector<oid> enterprise(trap.enterprise.begin(), trap.enterprise.end());
    send_enterprise_trap_vars(static_cast<int>(trap.generic), static_cast<int>(trap.specific),
                              enterprise.data(), static_cast<int>(enterprise.size()), variables);
    snmp_free_varbind(variables);
}

void StopEngine() { snmp_shutdown(kAppName); }

}  // namespace cx::host
