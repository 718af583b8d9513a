// Starting and stopping cx-switchd for integration tests.
#include "switchd_process.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <sstream>

#include "child_process.h"
#include "clients/switch_protocol.h"
#include "platform/registry_store.h"
#include "registry_values.h"

namespace cx::test {

int UnixSocket(const std::string& path, bool listening) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    auto* where = reinterpret_cast<sockaddr*>(&address);
    if (listening ? bind(fd, where, sizeof(address)) == 0 && listen(fd, 1) == 0
                  : connect(fd, where, sizeof(address)) == 0)
        return fd;
    close(fd);
    return -1;
}

constexpr std::chrono::seconds kBound(10);

SwitchdProcess::SwitchdProcess(const TempDir& dir, bool journal)
    : socket_path_(dir.File("switch.sock")),
      journal_path_(dir.File("journal.txt")),
      scenario_path_(dir.File("scenario.scn")),
      registry_path_(dir.File("registry.db")),
      log_path_(dir.File("switchd.log")),
      journal_(journal) {}

SwitchdProcess::~SwitchdProcess() { Terminate(); }

bool SwitchdProcess::Launch(const std::string& scenario, const std::vector<std::string>& extra) {
    WriteFile(scenario_path_, scenario);
    std::vector<std::string> args = {CX_SWITCHD_PATH, "--socket", socket_path_, "--scenario",
                                     scenario_path_};
    if (journal_) args.insert(args.end(), {"--journal", journal_path_});
    args.insert(args.end(), extra.begin(), extra.end());
    ChildOptions options(ChildOutput::kFiles);
    options.out_file = "/dev/null";
    options.err_file = log_path_;
    options.environment = {{"CX_REGISTRY", registry_path_}};
    process_ = std::make_unique<ChildProcess>(args, options);
    return process_->Started();
}

bool SwitchdProcess::Start(const std::string& scenario, const std::vector<std::string>& extra) {
    const auto accepts = [this] {
        const int fd = UnixSocket(socket_path_, false);
        close(fd);
        return fd >= 0;
    };
    // A server that registers itself is ready when the agents can find it.
    const bool registers = std::find(extra.begin(), extra.end(), "--register") != extra.end();
    return Launch(scenario, extra) && WaitUntil(accepts, kBound) &&
           (!registers ||
            WaitUntil([this] { return Log().find("class registered") != std::string::npos; },
                      kBound));
}

void SwitchdProcess::Terminate() {
    if (process_ == nullptr) return;
    process_->Signal(SIGTERM);
    process_->Wait(kBound);  // killed when it does not end within the bound
    process_.reset();
}

void SwitchdProcess::Kill() {
    if (process_ != nullptr) process_->Kill();
    Terminate();  // reaps it
}

void SwitchdProcess::Reload(const std::string& scenario) {
    WriteFile(scenario_path_, scenario);
    if (process_ != nullptr) process_->Signal(SIGHUP);
}

int SwitchdProcess::WaitForExitStatus() {
    if (process_ == nullptr) return -1;
    const int code = process_->Wait(kBound);
    process_.reset();
    return code >= 128 ? -1 : code;  // 128 and more: ended by a signal
}

void SwitchdProcess::RegisterClass() const {
    CxRegistrySetPath(registry_path_.c_str());
    SetRegString(kSwitchServerClassKey, "LocalServer", "unix:" + socket_path_);
}

std::vector<std::string> SwitchdProcess::JournalLines() const {
    std::vector<std::string> lines;
    std::istringstream journal(ReadFile(journal_path_));
    for (std::string line; std::getline(journal, line);)
        lines.push_back(line);
    return lines;
}

std::string SwitchdProcess::Log() const { return ReadFile(log_path_); }

bool SwitchdProcess::WaitForJournalLines(std::size_t count) const {
    return WaitUntil([&] { return JournalLines().size() >= count; }, kBound);
}

}  // namespace cx::test
