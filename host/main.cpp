// extagentd: the SNMP service host. Loads the extension agents listed in the registry and
// answers SNMP for them on net-snmp, standalone on UDP or as an AgentX subagent.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "access_config.h"
#include "extension_agent.h"
#include "host_config.h"
#include "log.h"
#include "options.h"
#include "platform/registry_store.h"
#include "platform/timing.h"
#include "service_state.h"
#include "snmp_engine.h"
#include "system_group.h"
#include "view_handler.h"

namespace cx::host {
namespace {

constexpr const char* kDefaultStateDir = "/var/lib/catalix/extagentd";
// An agent that keeps answering TRUE would hold the loop forever; the rest waits for the next
// signal of its event.
constexpr int kMaxTrapsPerSignal = 1000;

volatile std::sig_atomic_t g_stop_requested = 0;

void OnStopSignal(int) { g_stop_requested = 1; }

void InstallSignals() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

EngineSettings SettingsFor(const HostOptions& options, const HostConfig& config) {
    EngineSettings settings;
    settings.agentx = options.agentx;
    settings.agentx_socket = options.agentx_socket;
    settings.endpoints = options.listen;
    if (settings.endpoints.empty()) {
        for (const std::string& address : config.listen_addresses)
            settings.endpoints.push_back(Endpoint{address, config.udp_port});
    }
    settings.limits = config.limits;
    settings.config_file = options.config_file;
    settings.state_dir = options.state_dir.value_or(kDefaultStateDir);
    std::vector<std::string> rejected;
    settings.config_lines = AccessConfigLines(config, &rejected);
    if (!settings.agentx) {
        const std::vector<std::string> system =
            SystemGroupLines(config.system, SystemDescription(ReadSystemSoftware()), &rejected);
        settings.config_lines.insert(settings.config_lines.end(), system.begin(), system.end());
        const std::string exposure = ExposureWarning(config, settings.endpoints);
        if (!exposure.empty()) Log(LogLevel::kWarning, "%s", exposure.c_str());
    }
    for (const std::string& what : rejected)
        Log(LogLevel::kWarning, "%s cannot be used and is ignored", what.c_str());
    return settings;
}

std::vector<std::unique_ptr<ExtensionAgent>> LoadAgents(const HostConfig& config) {
    std::vector<std::unique_ptr<ExtensionAgent>> agents;
    const std::uint32_t time_zero = GetTickCount() / 10;
    for (const AgentLibrary& entry : config.agents) {
        std::string reason = entry.problem;
        std::unique_ptr<ExtensionAgent> agent;
        if (reason.empty())
            agent = ExtensionAgent::Load(entry.name, entry.library_path, time_zero, &reason);
        if (agent == nullptr) {
            Log(LogLevel::kError, "extension agent %s (%s) not loaded: %s", entry.name.c_str(),
                entry.library_path.c_str(), reason.c_str());
            continue;
        }
        const int views = RegisterViews(*agent);
        Log(LogLevel::kInfo, "extension agent %s (%s) serves %d view(s)", entry.name.c_str(),
            entry.library_path.c_str(), views);
        agents.push_back(std::move(agent));
    }
    return agents;
}

void ForwardTraps(std::vector<std::unique_ptr<ExtensionAgent>>& agents) {
    for (auto& agent : agents) {
        if (!agent->TrapSignalled()) continue;
        Trap trap;
        int sent = 0;
        while (sent < kMaxTrapsPerSignal && agent->NextTrap(&trap)) {
            SendTrap(trap);
            trap = Trap{};
            ++sent;
        }
    }
}

void CloseAgents(std::vector<std::unique_ptr<ExtensionAgent>>& agents) {
    for (auto& agent : agents) {
        UnregisterViews(*agent);
        agent->Close();
    }
    while (!agents.empty())
        agents.pop_back();  // unloads in reverse order of loading
}

int Run(const HostOptions& options) {
    StartLogging(options.foreground);
    LogAgentEvents();
    if (!options.foreground && !Daemonise()) {
        Log(LogLevel::kError, "cannot detach from the terminal");
        return 1;
    }
    InstallSignals();
    PublishServiceState(kServiceStartPending);
    PublishComputerName();

    const HostConfig config = ReadHostConfig();
    const EngineSettings settings = SettingsFor(options, config);
    std::string error;
    if (!PrepareEngine(settings, &error)) {
        Log(LogLevel::kError, "%s", error.c_str());
        PublishServiceState(kServiceStopped);
        FlushPublications();
        return 1;
    }
    std::vector<std::unique_ptr<ExtensionAgent>> agents = LoadAgents(config);
    if (!StartEngine(settings, &error)) {
        Log(LogLevel::kError, "%s", error.c_str());
        CloseAgents(agents);
        StopEngine();
        PublishServiceState(kServiceStopped);
        FlushPublications();
        return 1;
    }
    PublishServiceState(kServiceRunning);
    if (settings.agentx) {
        Log(LogLevel::kInfo, "serving %zu agent(s) as AgentX subagent", agents.size());
    } else {
        Log(LogLevel::kInfo, "serving %zu agent(s) on %s", agents.size(),
            TransportList(settings.endpoints).c_str());
    }

    ServeWhile([] { return g_stop_requested == 0; }, [&agents] { ForwardTraps(agents); });

    PublishServiceState(kServiceStopPending);
    Log(LogLevel::kInfo, "stopping");
    CloseAgents(agents);
    StopEngine();
    PublishServiceState(kServiceStopped);
    FlushPublications();
    return 0;
}

}  // namespace
}  // namespace cx::host

int main(int argc, char** argv) {
    cx::host::HostOptions options;
    std::string error;
    if (!cx::host::ParseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "extagentd: %s\n%s", error.c_str(), cx::host::UsageText());
        return 2;
    }
    if (options.help) {
        std::fputs(cx::host::UsageText(), stdout);
        return 0;
    }
    if (options.registry) CxRegistrySetPath(options.registry->c_str());
    return cx::host::Run(options);
}
