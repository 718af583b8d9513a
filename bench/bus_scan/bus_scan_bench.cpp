// InitBus over a generated bus table: every function on its own PCI bus position, the device
// classes in turn (plain, network with a hardware address, graphics, storage, management,
// communication, processor, Fibre Channel), served by REPLAY_MIB in extagentd, the headers by
// cx-switchd. Reports the time per run and the SWITCH and SNMP round trips per run; the figure
// per function shows whether a row costs more the more rows came before it.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bus_table.h"
#include "clients/snmp_mgr.h"
#include "framework/agent_globals.h"
#include "inventory/cx_agent.h"
#include "platform/objbase.h"
#include "platform/profile.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"

namespace {

using cx::test::BusDevice;

void SetValue(const std::string& key_path, const char* name, DWORD type, const void* data,
              DWORD size) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                    KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}
void SetString(const std::string& key, const char* name, const std::string& text,
               DWORD type = REG_SZ) {
    SetValue(key, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}
void SetDword(const std::string& key, const char* name, DWORD value) {
    SetValue(key, name, REG_DWORD, &value, sizeof(value));
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

// The host's agents attach to SWITCH while they start: it listens first.
void WaitUntilListening(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.c_str());
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        close(fd);
        if (ok) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

pid_t Spawn(std::vector<std::string> args) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

std::size_t Lines(const std::string& path, const char* marker) {
    std::ifstream in(path);
    std::size_t count = 0;
    for (std::string line; std::getline(in, line);)
        count += line.find(marker) != std::string::npos;
    return count;
}

std::vector<BusDevice> Functions(int count) {
    static const int kClasses[] = {0, 6, 7, 1, 12, 13, 14, 8};
    std::vector<BusDevice> devices;
    for (int i = 0; i < count; ++i) {
        const int device_class = kClasses[i % 8];
        cx::test::PciIds ids{0xCA71, 0x100 + i, 0xCA71, i, i % 7, 0};
        devices.push_back({5, 1 + i / 32, i % 32, 1, device_class, "Controller", "Catalix Device",
                           "Catalix", ids,
                           device_class == 6 ? "Hex-STRING: 00 0E 0C 3A 5B 7F" : nullptr});
    }
    return devices;
}

class BusServer {
  public:
    explicit BusServer(int functions) {
        char pattern[] = "/tmp/cx-bus-bench-XXXXXX";
        dir_ = mkdtemp(pattern);
        const std::vector<BusDevice> devices = Functions(functions);
        std::ofstream(dir_ + "/bus.walk") << cx::test::BusTableWalk(devices);
        std::ofstream(dir_ + "/bus.scn") << cx::test::PciHeaderLines(devices);
        const std::string socket = dir_ + "/switch.sock";
        switchd_ = Spawn({CX_SWITCHD_PATH, "--socket", socket, "--scenario", dir_ + "/bus.scn",
                          "--journal", Journal()});
        CxRegistrySetPath((dir_ + "/registry.db").c_str());
        const std::string snmp = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
        const std::string replay = "SOFTWARE\\Arvenmark\\REPLAY_MIB";
        SetDword(snmp, "UdpPort", static_cast<DWORD>(FreeUdpPort()));
        SetString(snmp, "ListenAddress", "127.0.0.1");
        SetDword(snmp + "\\ValidCommunities", "public", 4);
        SetString(snmp + "\\ExtensionAgents", "1", replay + "\\CurrentVersion");
        SetString(replay + "\\CurrentVersion", "Pathname", CX_REPLAY_AGENT_PATH);
        SetString(replay + "\\Parameters", "WalkFiles", dir_ + "/bus.walk" + '\0', REG_MULTI_SZ);
        SetString(replay + "\\Parameters", "Regions",
                  std::string(cx::test::kServerManagementRegion) + '\0', REG_MULTI_SZ);
        SetString("SOFTWARE\\Debug\\REPLAY_MIB", "TraceFile", ReplayTrace());
        SetDword("SOFTWARE\\Debug\\REPLAY_MIB", "FileDebugLevel", 2);
        SetString("SOFTWARE\\Classes\\CLSID\\{5F0B7C21-93D4-4E6A-B812-6C04A9E37D15}", "LocalServer",
                  "unix:" + socket);
        WaitUntilListening(socket);
        host_ = Spawn({CX_EXTAGENTD_PATH, "--foreground", "--registry", dir_ + "/registry.db",
                       "--state-dir", dir_ + "/state"});
        agent_ = std::make_unique<CCX_Agent>();
        const std::string table = dir_ + "/CX_MIB.ini";
        std::ofstream(table) << "[Functional Tree]\r\nLANSystem=6\r\nGraphicSystem=5\r\n";
        agent_->m_DefinitionTable.SetPath(table.c_str());
        agent_->m_DefinitionTable.Open(TRUE);
        agent_->m_SavedFile.SetPath((dir_ + "/Catalix.sav").c_str());
        agent_->m_SavedFile.Open(FALSE);
        agent_->m_ActualFile.SetPath(Actual().c_str());
        agent_->m_ActualFile.Open(FALSE);
        agent_->ServerCabinetNr = 1;
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        for (int attempt = 0; attempt < 500 && !ready_; ++attempt) {
            ready_ =
                agent_->m_SwitchClient.Attach(nullptr) && agent_->CheckMib(cx::test::kBusEntry, 1);
            if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~BusServer() {
        agent_->m_SwitchClient.Detach();
        agent_.reset();
        CoUninitialize();
        for (pid_t pid : {host_, switchd_}) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        if (std::system(("rm -rf '" + dir_ + "'").c_str()) != 0) std::fprintf(stderr, "cleanup\n");
    }

    bool ready() const { return ready_; }
    CCX_Agent& agent() { return *agent_; }
    void FreshScan() {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, Actual().c_str());
        std::remove(Actual().c_str());
        agent_->NrComponents = agent_->NrFuncContainers = 0;
        agent_->ScsiCtrlList.RemoveAll();
    }
    std::size_t SwitchTrips() const { return Lines(Journal(), "opcode=0x1401"); }
    std::size_t SnmpTrips() const { return Lines(ReplayTrace(), "SNMP query:"); }

  private:
    std::string Journal() const { return dir_ + "/journal.txt"; }
    std::string Actual() const { return dir_ + "/Catalix.act"; }
    std::string ReplayTrace() const { return dir_ + "/replay-trace.txt"; }

    std::string dir_;
    pid_t switchd_ = -1;
    pid_t host_ = -1;
    std::unique_ptr<CCX_Agent> agent_;
    bool ready_ = false;
};

void BM_InitBus(benchmark::State& state) {
    const int functions = static_cast<int>(state.range(0));
    BusServer server(functions);
    if (!server.ready()) {
        state.SkipWithError("the bus table or SWITCH is not served");
        return;
    }
    std::size_t switch_trips = 0;
    std::size_t snmp_trips = 0;
    for (auto _ : state) {
        state.PauseTiming();
        server.FreshScan();
        const std::size_t switch_before = server.SwitchTrips();
        const std::size_t snmp_before = server.SnmpTrips();
        state.ResumeTiming();
        server.agent().InitBus();
        state.PauseTiming();
        switch_trips += server.SwitchTrips() - switch_before;
        snmp_trips += server.SnmpTrips() - snmp_before;
        state.ResumeTiming();
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["components"] = server.agent().NrComponents;
    state.counters["switch_trips"] = static_cast<double>(switch_trips) / runs;
    state.counters["snmp_trips"] = static_cast<double>(snmp_trips) / runs;
    state.SetItemsProcessed(static_cast<std::int64_t>(functions) * state.iterations());
}
BENCHMARK(BM_InitBus)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
