// CmdRequest round trips through cx-switchd on one connection: requests per second and the
// median latency of one request.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "clients/switch_client.h"
#include "clients/switch_protocol.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"

namespace {

// A cx-switchd in a private directory, registered in a private registry file.
class Server {
  public:
    Server() {
        char pattern[] = "/tmp/cx-switch-bench-XXXXXX";
        dir_ = mkdtemp(pattern);
        socket_ = dir_ + "/switch.sock";
        std::ofstream(dir_ + "/bench.scn") << "reply 0xE204 0 0 * : word 1\n";
        pid_ = fork();
        if (pid_ == 0) {
            execl(CX_SWITCHD_PATH, CX_SWITCHD_PATH, "--socket", socket_.c_str(), "--scenario",
                  (dir_ + "/bench.scn").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        CxRegistrySetPath((dir_ + "/registry.db").c_str());
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSwitchServerClassKey, 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
        std::string value = "unix:" + socket_;
        RegSetValueExA(key, "LocalServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
        WaitUntilListening();
    }
    ~Server() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        std::string cleanup = "rm -rf '" + dir_ + "'";
        if (std::system(cleanup.c_str()) != 0)
            std::fprintf(stderr, "cannot remove %s\n", dir_.c_str());
    }

  private:
    void WaitUntilListening() {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket_.c_str(), sizeof(address.sun_path) - 1);
        for (int attempt = 0; attempt < 2000; ++attempt) {
            int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
            close(fd);
            if (ok) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::string dir_;
    std::string socket_;
    pid_t pid_ = -1;
};

void BM_CmdRequestRoundTrip(benchmark::State& state) {
    Server server;
    CSwitchClient client;
    if (!client.Attach(nullptr)) {
        state.SkipWithError("cannot attach to cx-switchd");
        return;
    }
    CSwitchCommand command;
    std::vector<double> latencies_us;
    latencies_us.reserve(1 << 20);
    for (auto _ : state) {
        command.SetRequest(0xE204, 0, 0, 0, 0x16);
        auto start = std::chrono::steady_clock::now();
        DWORD status = client.SendCommand(&command, 0, 0, 0);
        auto end = std::chrono::steady_clock::now();
        if (status != 0) {
            state.SkipWithError("request failed");
            break;
        }
        latencies_us.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    client.Detach();
    state.SetItemsProcessed(state.iterations());
    if (!latencies_us.empty()) {
        auto middle = latencies_us.begin() + static_cast<std::ptrdiff_t>(latencies_us.size() / 2);
        std::nth_element(latencies_us.begin(), middle, latencies_us.end());
        state.counters["median_us"] = *middle;
    }
}
BENCHMARK(BM_CmdRequestRoundTrip)->MinTime(2.0)->UseRealTime();

}  // namespace
