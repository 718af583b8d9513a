// One complete inventory scan of the demo server, as the scan thread runs it: the readiness
// check, the table file, the SWITCH attach, the collectors against cx-switchd with the demo
// scenario and extagentd with REPLAY_MIB serving the demo walks, and the comparison; first
// scans (no saved file) and unchanged rescans.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/oid_text.h"
#include "clients/snmp_mgr.h"
#include "clients/switch_protocol.h"
#include "collectors/catalix_collectors.h"
#include "framework/agent_globals.h"
#include "inventory/cx_agent.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"

namespace {

void SetValue(const char* key_path, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                    KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void SetString(const char* key_path, const char* name, const std::string& text) {
    SetValue(key_path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void SetDword(const char* key_path, const char* name, DWORD value) {
    SetValue(key_path, name, REG_DWORD, &value, sizeof(value));
}

// Strings end to end with one more NUL, as REG_MULTI_SZ holds them.
void SetMultiString(const char* key_path, const char* name, const std::string& joined) {
    SetValue(key_path, name, REG_MULTI_SZ, joined.data(), static_cast<DWORD>(joined.size()));
}

int FreeUdpPort() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

pid_t Spawn(const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// A data root, a registry file and cx-switchd with the demo scenario, all private.
class DemoServer {
  public:
    DemoServer() {
        char pattern[] = "/tmp/cx-scan-bench-XXXXXX";
        dir_ = mkdtemp(pattern);
        socket_ = dir_ + "/switch.sock";
        const std::string data = CX_PROJECT_DATA;
        switchd_ = Spawn(
            {CX_SWITCHD_PATH, "--socket", socket_, "--scenario", data + "/scenarios/demo.scn"});
        CxRegistrySetPath((dir_ + "/registry.db").c_str());
        // The other agents the collectors ask: REPLAY_MIB with the demo walks in a host of its
        // own on a free port, which the scan's SNMP sessions use.
        const char* snmp = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
        SetDword(snmp, "UdpPort", static_cast<DWORD>(FreeUdpPort()));
        SetString(snmp, "ListenAddress", "127.0.0.1");
        SetDword("SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ValidCommunities",
                 "public", 4);
        SetString("SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents",
                  "REPLAY_MIB", "SOFTWARE\\Arvenmark\\REPLAY_MIB\\CurrentVersion");
        SetString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\CurrentVersion", "Pathname",
                  CX_REPLAY_AGENT_PATH);
        const std::string walks = data + "/walks/";
        SetMultiString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters", "WalkFiles",
                       walks + "demo-bus.walk" + '\0' + walks + "demo-hd.walk" + '\0' + walks +
                           "demo-ups.walk" + '\0' + '\0');
        SetMultiString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters", "Regions",
                       std::string(".1.3.6.1.4.1.7391.2.10.2.2") + '\0' + ".1.3.6.1.2.1.33" + '\0' +
                           ".1.3.6.1.4.1.318" + '\0' + '\0');
        // The host's agents attach to SWITCH while they start: it listens first.
        WaitUntilListening();
        host_ = Spawn({CX_EXTAGENTD_PATH, "--foreground", "--registry", dir_ + "/registry.db",
                       "--state-dir", dir_ + "/state"});
        SetString(kSwitchServerClassKey, "LocalServer", "unix:" + socket_);
        SetString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", dir_);
        SetString("SOFTWARE\\Arvenmark\\#Setup", "FileRoot", CX_PROJECT_DATA);
        const DWORD ready = 1;
        SetValue(
            "SOFTWARE\\Arvenmark\\SC_MIB\\Subsystems\\Environment\\Parameters\\"
            "VolatileParameters",
            "AgentStatus", REG_DWORD, &ready, sizeof(ready));
        // Serving once an object of the walks answers (bounded).
        CSnmpMgr manager;
        manager.OpenSession(nullptr, "public", 1000, 0);
        for (int attempt = 0; attempt < 3000; ++attempt) {
            SnmpVarBind binding{};
            StringToOid(".1.3.6.1.2.1.33.1.1.2.0", &binding.name);
            const BOOL answered = manager.RequestVarBind(SNMP_PDU_GET, binding, nullptr);
            SnmpUtilVarBindFree(&binding);
            if (answered) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~DemoServer() {
        for (pid_t pid : {host_, switchd_}) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        const std::string cleanup = "rm -rf '" + dir_ + "'";
        if (std::system(cleanup.c_str()) != 0)
            std::fprintf(stderr, "cannot remove %s\n", dir_.c_str());
    }
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // An agent with the roots the library's load would give it.
    std::unique_ptr<CCX_Agent> MakeAgent() const {
        auto agent = std::make_unique<CCX_Agent>(CatalixCollectors());
        std::snprintf(g_szModuleName, sizeof(g_szModuleName), "%s", "CX_MIB");
        CSnmpAgent& framework = *agent;
        std::snprintf(framework.m_szCommonRoot, sizeof(framework.m_szCommonRoot), "%s",
                      agent->m_szRegistryRoot);
        const std::string agent_root = std::string(agent->m_szRegistryRoot) + "\\CX_MIB";
        std::snprintf(framework.m_szAgentRoot, sizeof(framework.m_szAgentRoot), "%s",
                      agent_root.c_str());
        std::snprintf(framework.m_szDataRoot, sizeof(framework.m_szDataRoot), "%s", dir_.c_str());
        return agent;
    }
    std::string SavedFile() const { return dir_ + "/Catalix.sav"; }

  private:
    void WaitUntilListening() const {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, socket_.c_str(), sizeof(address.sun_path) - 1);
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            const bool ok =
                connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
            close(fd);
            if (ok) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::string dir_;
    std::string socket_;
    pid_t switchd_ = -1;
    pid_t host_ = -1;
};

void BM_FirstScan(benchmark::State& state) {
    DemoServer server;
    auto agent = server.MakeAgent();
    for (auto _ : state) {
        DeleteFileA(server.SavedFile().c_str());
        if (!agent->ScanDriver()) state.SkipWithError("the first scan reported no new inventory");
    }
    state.counters["components"] = agent->NrComponents;
}
BENCHMARK(BM_FirstScan)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UnchangedRescan(benchmark::State& state) {
    DemoServer server;
    auto agent = server.MakeAgent();
    agent->ScanDriver();
    for (auto _ : state) {
        if (agent->ScanDriver()) state.SkipWithError("an unchanged scan reported a change");
    }
    state.counters["components"] = agent->NrComponents;
}
BENCHMARK(BM_UnchangedRescan)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
