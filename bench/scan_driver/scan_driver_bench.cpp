// One complete inventory scan of the demo server, as the scan thread runs it: the readiness
// check, the table file, the SWITCH attach, the collectors against cx-switchd with the demo
// scenario, and the comparison; first scans (no saved file) and unchanged rescans.
#include <benchmark/benchmark.h>
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

#include "framework/agent_globals.h"
#include "inventory/cx_agent.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"

namespace {

void SetValue(const char* key_path, const char* name, DWORD type, const void* data,
              DWORD size) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                    KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void SetString(const char* key_path, const char* name, const std::string& text) {
    SetValue(key_path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// A data root, a registry file and cx-switchd with the demo scenario, all private.
class DemoServer {
  public:
    DemoServer() {
        char pattern[] = "/tmp/cx-scan-bench-XXXXXX";
        dir_ = mkdtemp(pattern);
        socket_ = dir_ + "/switch.sock";
        const std::string scenario = std::string(CX_PROJECT_DATA) + "/scenarios/demo.scn";
        pid_ = fork();
        if (pid_ == 0) {
            execl(CX_SWITCHD_PATH, CX_SWITCHD_PATH, "--socket", socket_.c_str(), "--scenario",
                  scenario.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        CxRegistrySetPath((dir_ + "/registry.db").c_str());
        SetString("SOFTWARE\\Classes\\CLSID\\{5F0B7C21-93D4-4E6A-B812-6C04A9E37D15}",
                  "LocalServer", "unix:" + socket_);
        SetString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", dir_);
        SetString("SOFTWARE\\Arvenmark\\#Setup", "FileRoot", CX_PROJECT_DATA);
        const DWORD ready = 1;
        SetValue("SOFTWARE\\Arvenmark\\SC_MIB\\Subsystems\\Environment\\Parameters\\"
                 "VolatileParameters",
                 "AgentStatus", REG_DWORD, &ready, sizeof(ready));
        WaitUntilListening();
    }
    ~DemoServer() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        const std::string cleanup = "rm -rf '" + dir_ + "'";
        if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", dir_.c_str());
    }
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // An agent with the roots the library's load would give it.
    std::unique_ptr<CCX_Agent> MakeAgent() const {
        auto agent = std::make_unique<CCX_Agent>();
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
    pid_t pid_ = -1;
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
