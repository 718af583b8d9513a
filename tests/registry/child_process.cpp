// ChildProcess: fork and exec, a pipe for the output, bounded waits.
#include "child_process.h"

#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace cx::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool as_nobody, bool with_errors) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return;
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    bool drop = as_nobody && geteuid() == 0;
    pid_ = fork();
    if (pid_ == 0) {  // only async-signal-safe calls from here on
        dup2(pipe_ends[1], STDOUT_FILENO);
        if (with_errors) dup2(pipe_ends[1], STDERR_FILENO);
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        if (drop && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(126);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipe_ends[1]);
    output_ = pipe_ends[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
        Kill();
        Wait(10000);
    }
    if (output_ >= 0) close(output_);
}

bool ChildProcess::ReadLine(std::string* line, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (true) {
        size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            *line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return true;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd ready{output_, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
        char buffer[4096];
        ssize_t count = read(output_, buffer, sizeof(buffer));
        if (count <= 0) return false;
        pending_.append(buffer, static_cast<size_t>(count));
    }
}

std::string ChildProcess::ReadAll(int timeout_ms) {
    std::string all, line;
    while (ReadLine(&line, timeout_ms))
        all += line + "\n";
    return all + pending_;
}

void ChildProcess::Kill() {
    if (pid_ > 0 && !reaped_) kill(pid_, SIGKILL);
}

int ChildProcess::Wait(int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!reaped_ && pid_ > 0) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            reaped_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (done < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
        // A child ends on its own time; there is no event to wait on but its exit.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
}

}  // namespace cx::test
