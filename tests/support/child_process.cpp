// ChildProcess: fork and exec (or posix_spawn), output on a pipe or in files, bounded waits.
#include "child_process.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>
#include <thread>
#include <utility>

extern char** environ;

namespace cx::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uid_t kNobody = 65534;

std::chrono::milliseconds Left(Clock::time_point deadline) {
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The inherited environment with `extra` set on top, as "NAME=value" strings.
std::vector<std::string> Environment(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> variables;
    for (const auto& [name, value] : extra)
        variables.push_back(name + "=" + value);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string_view variable(*entry);
        if (!extra.contains(std::string(variable.substr(0, variable.find('=')))))
            variables.emplace_back(variable);
    }
    return variables;
}

// The descriptors the child gets as its standard input, output and error (-1: the test's own),
// all close-on-exec in the parent so that no other child inherits them, and the parent's end of
// the pipe.
struct Descriptors {
    int fds[3] = {-1, -1, -1};
    int read_end = -1;
    ~Descriptors() {
        for (int fd : {fds[0], fds[1], fds[2], read_end}) {
            if (fd >= 0) close(fd);
        }
    }
    bool Open(const ChildOptions& options) {
        fds[0] = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (options.output == ChildOutput::kPipe ||
            options.output == ChildOutput::kPipeWithErrors) {
            int ends[2];
            if (pipe2(ends, O_CLOEXEC) != 0) return false;
            read_end = ends[0];
            fds[1] = ends[1];
            if (options.output == ChildOutput::kPipeWithErrors) {
                fds[2] = fcntl(ends[1], F_DUPFD_CLOEXEC, 0);
                if (fds[2] < 0) return false;
            }
        } else if (options.output == ChildOutput::kFiles) {
            constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
            fds[1] = open(options.out_file.c_str(), kFlags, 0600);
            fds[2] = open(options.err_file.c_str(), kFlags, 0600);
            if (fds[1] < 0 || fds[2] < 0) return false;
        }
        return fds[0] >= 0;
    }
};

}  // namespace

ChildProcess::~ChildProcess() {
    if (Running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) close(output_);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const ChildOptions& options) {
    const bool drop = options.as_nobody && geteuid() == 0;
    if (pid_ > 0 || argv.empty() || (drop && !options.fork_handlers)) return false;
    Descriptors descriptors;
    if (!descriptors.Open(options)) return false;
    std::vector<std::string> arguments = argv;
    std::vector<std::string> variables = Environment(options.environment);
    std::vector<char*> args = Pointers(arguments);
    std::vector<char*> envp = Pointers(variables);
    pid_t pid = -1;
    if (options.fork_handlers) {
        pid = fork();
        if (pid == 0) {  // only async-signal-safe calls from here on
            for (int target = 0; target < 3; ++target) {
                if (descriptors.fds[target] >= 0) dup2(descriptors.fds[target], target);
            }
            if (drop &&
                (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
                _exit(126);
            execve(args[0], args.data(), envp.data());
            _exit(127);
        }
    } else {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (int target = 0; target < 3; ++target) {
            if (descriptors.fds[target] >= 0)
                posix_spawn_file_actions_adddup2(&actions, descriptors.fds[target], target);
        }
        if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    if (pid < 0) return false;
    pid_ = pid;
    output_ = std::exchange(descriptors.read_end, -1);
    return true;
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& out_file,
                         const std::string& err_file,
                         const std::map<std::string, std::string>& env) {
    ChildOptions options;
    options.output = ChildOutput::kFiles;
    options.out_file = out_file;
    options.err_file = err_file;
    options.environment = env;
    return Start(argv, options);
}

bool ChildProcess::Running() {
    if (pid_ <= 0 || ended_) return false;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == 0 || (done < 0 && errno == EINTR)) return true;
    ended_ = true;
    if (done == pid_ && WIFEXITED(status)) status_ = WEXITSTATUS(status);
    if (done == pid_ && WIFSIGNALED(status)) status_ = 128 + WTERMSIG(status);
    return false;
}

bool ChildProcess::ReadLine(std::string* line, std::chrono::milliseconds bound) {
    const auto deadline = Clock::now() + bound;
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            *line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return true;
        }
        if (!ReadMore(deadline)) return false;
    }
}

std::string ChildProcess::ReadAll(std::chrono::milliseconds bound) {
    const auto deadline = Clock::now() + bound;
    while (ReadMore(deadline)) {
    }
    return std::exchange(pending_, std::string());
}

bool ChildProcess::ReadMore(std::chrono::steady_clock::time_point deadline) {
    if (output_ < 0) return false;
    pollfd ready{output_, POLLIN, 0};
    int polled = 0;
    while ((polled = poll(&ready, 1, static_cast<int>(Left(deadline).count()))) < 0 &&
           errno == EINTR) {
    }
    if (polled <= 0) return false;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = read(output_, buffer, sizeof(buffer))) < 0 && errno == EINTR) {
    }
    if (count <= 0) return false;
    pending_.append(buffer, static_cast<size_t>(count));
    return true;
}

void ChildProcess::Signal(int signal_number) {
    if (Running()) kill(pid_, signal_number);
}

void ChildProcess::Kill() { Signal(SIGKILL); }

int ChildProcess::Wait(std::chrono::milliseconds bound) {
    if (pid_ <= 0) return -1;
    // A child ends on its own time; there is no event to wait on but its exit.
    if (WaitUntil([this] { return !Running(); }, bound)) return status_;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    ended_ = true;
    return -1;
}

ToolResult RunTool(const std::vector<std::string>& argv, const std::string& scratch_dir,
                   std::chrono::milliseconds bound, ChildOptions options) {
    static std::atomic<int> counter{0};
    const std::string stem =
        scratch_dir + "/tool-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    options.output = ChildOutput::kFiles;
    options.out_file = stem + ".out";
    options.err_file = stem + ".err";
    ToolResult result;
    ChildProcess child;
    if (!child.Start(argv, options)) return result;
    result.exit_code = child.Wait(bound);
    result.out = ReadFile(options.out_file);
    result.err = ReadFile(options.err_file);
    unlink(options.out_file.c_str());
    unlink(options.err_file.c_str());
    return result;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound) {
    const auto deadline = Clock::now() + bound;
    for (;;) {
        if (condition()) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

namespace {

int FreeLoopbackPort(int type) {
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
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

}  // namespace

int FreeUdpPort() { return FreeLoopbackPort(SOCK_DGRAM); }
int FreeTcpPort() { return FreeLoopbackPort(SOCK_STREAM); }

std::string ChildSetting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace cx::test
