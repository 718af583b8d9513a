// RunProcess / StartProcess with a pipe for the child's standard output.
#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace cx::test {
namespace {

std::vector<char*> Arguments(const std::vector<std::string>& argv) {
    std::vector<char*> pointers;
    for (const std::string& argument : argv) {
        pointers.push_back(const_cast<char*>(argument.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

pid_t Launch(const std::vector<std::string>& argv, bool spawn, int output_fd) {
    std::vector<char*> arguments = Arguments(argv);
    if (spawn) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (output_fd >= 0) posix_spawn_file_actions_adddup2(&actions, output_fd, STDOUT_FILENO);
        pid_t pid = -1;
        int result = posix_spawn(&pid, arguments[0], &actions, nullptr, arguments.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return result == 0 ? pid : -1;
    }
    pid_t pid = fork();
    if (pid == 0) {
        if (output_fd >= 0) dup2(output_fd, STDOUT_FILENO);
        execv(arguments[0], arguments.data());
        _exit(127);
    }
    return pid;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, bool spawn) {
    ProcessResult result;
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) return result;
    pid_t pid = Launch(argv, spawn, pipe_fds[1]);
    close(pipe_fds[1]);
    char buffer[4096];
    for (ssize_t count; (count = read(pipe_fds[0], buffer, sizeof(buffer))) > 0;) {
        result.output.append(buffer, static_cast<size_t>(count));
    }
    close(pipe_fds[0]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.exit_code = WEXITSTATUS(status);
    }
    return result;
}

pid_t StartProcess(const std::vector<std::string>& argv) { return Launch(argv, false, -1); }

}  // namespace cx::test
