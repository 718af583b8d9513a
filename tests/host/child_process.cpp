// Child processes for the host's integration tests: started with their output in files,
// waited for with a bound, stopped by signal.
#include "child_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace cx::test {

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && Running()) {
        kill(pid_, SIGKILL);
        Wait(std::chrono::seconds(10));
    }
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& out_file,
                         const std::string& err_file,
                         const std::map<std::string, std::string>& env) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        const int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0) _exit(126);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        const int null_input = open("/dev/null", O_RDONLY);
        if (null_input >= 0) dup2(null_input, STDIN_FILENO);
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        execv(args[0], args.data());
        _exit(127);
    }
    pid_ = pid;
    exit_code_ = -1;
    return true;
}

bool ChildProcess::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == 0) return true;
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return false;
}

void ChildProcess::Signal(int signal_number) {
    if (Running()) kill(pid_, signal_number);
}

int ChildProcess::Wait(std::chrono::milliseconds bound) {
    if (WaitUntil([this] { return !Running(); }, bound)) return exit_code_;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
}

ToolResult RunTool(const std::vector<std::string>& argv, const std::string& scratch_dir,
                   std::chrono::milliseconds bound) {
    static std::atomic<int> counter{0};
    const std::string stem =
        scratch_dir + "/tool-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    ToolResult result;
    ChildProcess child;
    if (!child.Start(argv, stem + ".out", stem + ".err", {{"MIBS", ""}})) return result;
    result.exit_code = child.Wait(bound);
    result.out = ReadFile(stem + ".out");
    result.err = ReadFile(stem + ".err");
    unlink((stem + ".out").c_str());
    unlink((stem + ".err").c_str());
    return result;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

int FreeUdpPort() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

}  // namespace cx::test
