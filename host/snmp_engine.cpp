// net-snmp as the host's SNMP engine: start-up without MIB files, standalone UDP or AgentX
// subagent, the request loop and notifications.
#include "snmp_engine.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>
// clang-format on

#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "log.h"
#include "netsnmp_binding.h"

namespace cx::host {
namespace {

constexpr const char* kAppName = "extagentd";
constexpr long kTickMicroseconds = 50 * 1000;

std::function<void()>* g_tick = nullptr;

void OnTick(unsigned int, void*) {
    if (g_tick != nullptr) (*g_tick)();
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
    if (settings.config_file && access(settings.config_file->c_str(), R_OK) != 0) {
        *error = "cannot read the configuration file " + *settings.config_file;
        return false;
    }
    if (mkdirhier(settings.state_dir.c_str(), 0700, 0) != SNMPERR_SUCCESS) {
        *error = "cannot create the state directory " + settings.state_dir;
        return false;
    }
    // Only our own configuration is read: the state directory (where net-snmp keeps what it
    // persists) and the administrator's --config file; never the system's snmpd files.
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_PERSISTENT_DIR,
                          settings.state_dir.c_str());
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_CONFIGURATION_DIR,
                          settings.state_dir.c_str());
    if (settings.config_file) {
        netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OPTIONALCONFIG,
                              settings.config_file->c_str());
    }
    if (settings.agentx) {
        netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 1);
        if (!settings.agentx_socket.empty()) {
            netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_X_SOCKET,
                                  settings.agentx_socket.c_str());
        }
        // A master that starts later or restarts is found again within seconds.
        netsnmp_ds_set_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_AGENTX_PING_INTERVAL, 2);
    } else {
        // The address v1 traps name as their origin: the one we answer on, when it is one.
        if (settings.listen_address != "0.0.0.0") {
            netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_TRAP_ADDR,
                                  settings.listen_address.c_str());
        }
        const std::string ports =
            "udp:" + settings.listen_address + ":" + std::to_string(settings.listen_port);
        netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_PORTS, ports.c_str());
    }
    // One log line per request would drown everything else.
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID,
                           NETSNMP_DS_AGENT_DONT_LOG_TCPWRAPPERS_CONNECTS, 1);
    if (init_agent(kAppName) != 0) {
        *error = "net-snmp's agent library did not start";
        return false;
    }
    for (const std::string& line : settings.config_lines) {
        std::vector<char> copy(line.begin(), line.end());
        copy.push_back('\0');
        netsnmp_config_remember(copy.data());
    }
    // Before any agent is loaded: an agent's own threads may open manager sessions at once,
    // and net-snmp's start-up writes its settings without locks.
    init_snmp(kAppName);
    return true;
}

bool StartEngine(const EngineSettings& settings, std::string* error) {
    if (!settings.agentx && init_master_agent() != 0) {
        *error = "cannot listen on udp:" + settings.listen_address + ":" +
                 std::to_string(settings.listen_port);
        return false;
    }
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
