// Starting and stopping cx-switchd for integration tests.
#include "switchd_process.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "clients/switch_protocol.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"

namespace cx::test {
namespace {

bool Accepts(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return ok;
}

// Polls `condition` every few milliseconds until it holds or `timeout_ms` pass.
template <class Condition>
bool WaitFor(Condition condition, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

SwitchdProcess::SwitchdProcess(const TempDir& dir)
    : socket_path_(dir.File("switch.sock")),
      journal_path_(dir.File("journal.txt")),
      scenario_path_(dir.File("scenario.scn")),
      registry_path_(dir.File("registry.db")) {}

SwitchdProcess::~SwitchdProcess() { Terminate(); }

bool SwitchdProcess::Launch(const std::string& scenario, const std::vector<std::string>& extra) {
    std::ofstream(scenario_path_) << scenario;
    std::vector<std::string> args = {CX_SWITCHD_PATH, "--socket",   socket_path_,  "--journal",
                                     journal_path_,   "--scenario", scenario_path_};
    args.insert(args.end(), extra.begin(), extra.end());
    pid_ = fork();
    if (pid_ == 0) {
        setenv("CX_REGISTRY", registry_path_.c_str(), 1);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid_ > 0;
}

bool SwitchdProcess::Start(const std::string& scenario, const std::vector<std::string>& extra) {
    return Launch(scenario, extra) && WaitFor([this] { return Accepts(socket_path_); }, 10000);
}

bool SwitchdProcess::WaitForExit(int timeout_ms) {
    return WaitFor([this] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, timeout_ms);
}

void SwitchdProcess::Terminate() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!WaitForExit(10000)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

void SwitchdProcess::Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

void SwitchdProcess::Reload(const std::string& scenario) {
    std::ofstream(scenario_path_) << scenario;
    kill(pid_, SIGHUP);
}

int SwitchdProcess::WaitForExitStatus() {
    int status = 0;
    bool ended = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 10000);
    pid_ = -1;
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void SwitchdProcess::RegisterClass() const {
    CxRegistrySetPath(registry_path_.c_str());
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSwitchServerClassKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                    KEY_SET_VALUE, nullptr, &key, nullptr);
    std::string value = "unix:" + socket_path_;
    RegSetValueExA(key, "LocalServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

std::vector<std::string> SwitchdProcess::JournalLines() const {
    std::vector<std::string> lines;
    std::ifstream journal(journal_path_);
    for (std::string line; std::getline(journal, line);)
        lines.push_back(line);
    return lines;
}

bool SwitchdProcess::WaitForJournalLines(std::size_t count) const {
    return WaitFor([&] { return JournalLines().size() >= count; }, 10000);
}

}  // namespace cx::test
