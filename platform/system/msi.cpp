// MsiGetProductInfoA: the registry maps an installer product code to a Debian package, whose
// installed version dpkg-query (or, when it cannot run, the status file) gives.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/eintr.h"
#include "platform/errors.h"
#include "platform/msi.h"
#include "platform/timing.h"
#include "platform/winreg.h"

extern char** environ;

namespace {

constexpr const char* kProductsKey = "SOFTWARE\\Classes\\Installer\\Products\\";
constexpr int kQueryMilliseconds = 5000;
constexpr std::size_t kMaxQueryOutput = 4096;

enum class QueryResult { kInstalled, kNotInstalled, kUnavailable };

std::string AdminDirectory() {
    const char* configured = std::getenv("CX_DPKG_ADMINDIR");
    return configured != nullptr && configured[0] != '\0' ? configured : "";
}

// The package the registry names for `product`; ERROR_SUCCESS, ERROR_UNKNOWN_PRODUCT or
// ERROR_BAD_CONFIGURATION.
UINT PackageOf(const char* product, std::string* package) {
    std::string key = std::string(kProductsKey) + product;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return ERROR_UNKNOWN_PRODUCT;
    }
    char name[260] = {};
    DWORD size = sizeof(name) - 1;
    DWORD type = REG_NONE;
    LONG result =
        RegQueryValueExA(handle, "Package", nullptr, &type, reinterpret_cast<LPBYTE>(name), &size);
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS || type != REG_SZ) return ERROR_UNKNOWN_PRODUCT;
    name[size < sizeof(name) ? size : sizeof(name) - 1] = '\0';
    if (!CxIsDpkgPackageName(name)) return ERROR_BAD_CONFIGURATION;
    *package = name;
    return ERROR_SUCCESS;
}

// Starts `argv` with standard input and errors on /dev/null and standard output on a pipe,
// in a process group of its own and with no descriptor of ours but those three: the host's
// sockets and files, close-on-exec or not, stay with the host. The child's pid, or -1.
pid_t SpawnQuery(std::vector<char*>& argv, int* output) {
    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t child = -1;
    int spawned = posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_ends[1]);
    if (spawned != 0) {
        close(pipe_ends[0]);
        return -1;
    }
    fcntl(pipe_ends[0], F_SETFL, O_NONBLOCK);
    *output = pipe_ends[0];
    return child;
}

// Appends what the pipe holds now (up to kMaxQueryOutput; the rest is read and dropped).
// False at its end.
bool ReadAvailable(int fd, std::string* output) {
    char chunk[512];
    for (;;) {
        ssize_t got = cx::RetryOnEintr([&] { return read(fd, chunk, sizeof(chunk)); });
        if (got < 0) return errno == EAGAIN;
        if (got == 0) return false;
        if (output->size() < kMaxQueryOutput) output->append(chunk, static_cast<std::size_t>(got));
    }
}

// Reads the child's output until it has ended, for `milliseconds` (agent time) at most;
// whether it ended, with its wait status. The wait is for the child, not for its output: one
// that closes its standard output and goes on is waited for no longer than one that talks.
bool CollectOutput(pid_t child, int output, DWORD milliseconds, std::string* text, int* status) {
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(CxScaleWait(milliseconds));
    // Where pidfds are missing the end is looked for every few milliseconds instead.
    int ended_fd = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    bool ended = false;
    while (!ended) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) break;
        pollfd wait_for[2] = {{output, POLLIN, 0}, {ended_fd, POLLIN, 0}};
        int timeout = static_cast<int>(ended_fd < 0 && left > 10 ? 10 : left);
        if (cx::RetryOnEintr([&] { return poll(wait_for, 2, timeout); }) < 0) break;
        if (output >= 0 && wait_for[0].revents != 0 && !ReadAvailable(output, text)) {
            close(output);
            output = -1;
        }
        if (ended_fd < 0 || wait_for[1].revents != 0) {
            pid_t reaped = cx::RetryOnEintr([&] { return waitpid(child, status, WNOHANG); });
            // ECHILD: a host that ignores SIGCHLD has it reaped already, its status lost.
            bool reaped_already = reaped < 0 && errno == ECHILD;
            if (reaped_already) *status = -1;
            ended = reaped == child || reaped_already;
        }
    }
    if (ended && output >= 0) ReadAvailable(output, text);  // what it wrote before it ended
    if (output >= 0) close(output);
    if (ended_fd >= 0) close(ended_fd);
    return ended;
}

// Runs dpkg-query without a shell and waits at most kQueryMilliseconds for it; then it is
// killed with everything it started.
QueryResult QueryDpkg(const std::string& package, std::string* version) {
    const char* configured = std::getenv("CX_DPKG_QUERY");
    std::string program =
        configured != nullptr && configured[0] != '\0' ? configured : "dpkg-query";
    std::string admin = AdminDirectory();
    std::vector<std::string> arguments = {program};
    if (!admin.empty()) arguments.push_back("--admindir=" + admin);
    arguments.insert(arguments.end(), {"-W", "-f=${Status}\\n${Version}\\n", package});
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int output_fd = -1;
    pid_t child = SpawnQuery(argv, &output_fd);
    if (child < 0) return QueryResult::kUnavailable;
    std::string output;
    int status = 0;
    if (!CollectOutput(child, output_fd, kQueryMilliseconds, &output, &status)) {
        kill(-child, SIGKILL);  // the group: its own children may hold on too
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        return QueryResult::kUnavailable;
    }
    if (!WIFEXITED(status)) return QueryResult::kUnavailable;
    // 1: the package is not known; 0: known, the status says whether it is installed.
    if (WEXITSTATUS(status) == 1) return QueryResult::kNotInstalled;
    if (WEXITSTATUS(status) != 0) return QueryResult::kUnavailable;

    std::string status_line = output.substr(0, output.find('\n'));
    std::string rest =
        output.find('\n') == std::string::npos ? "" : output.substr(output.find('\n') + 1);
    std::string found = rest.substr(0, rest.find('\n'));
    CxDpkgLookup lookup;
    std::string stanza =
        "Package: " + package + "\nStatus: " + status_line + "\nVersion: " + found + "\n";
    CxFindDpkgVersion(stanza.data(), stanza.size(), package.c_str(), &lookup);
    if (!lookup.installed) return QueryResult::kNotInstalled;
    *version = lookup.version;
    return QueryResult::kInstalled;
}

// The status file of the database, read up to kCxDpkgStatusLimit.
bool StatusFileVersion(const std::string& package, std::string* version) {
    std::string admin = AdminDirectory();
    std::string path = (admin.empty() ? std::string("/var/lib/dpkg") : admin) + "/status";
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    std::size_t size = static_cast<std::size_t>(info.st_size);
    if (size > kCxDpkgStatusLimit) size = kCxDpkgStatusLimit;
    std::string text(size, '\0');
    std::size_t filled = 0;
    while (filled < size) {
        ssize_t got =
            cx::RetryOnEintr([&] { return read(fd, text.data() + filled, size - filled); });
        if (got <= 0) break;
        filled += static_cast<std::size_t>(got);
    }
    close(fd);
    CxDpkgLookup lookup;
    CxFindDpkgVersion(text.data(), filled, package.c_str(), &lookup);
    if (!lookup.installed) return false;
    *version = lookup.version;
    return true;
}

}  // namespace

UINT MsiGetProductInfoA(LPCSTR product, LPCSTR property, LPSTR value, LPDWORD length) {
    if (product == nullptr || product[0] == '\0' || property == nullptr ||
        (value != nullptr && length == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (std::strcmp(property, "VersionString") != 0) return ERROR_UNKNOWN_PROPERTY;
    std::string package;
    UINT result = PackageOf(product, &package);
    if (result != ERROR_SUCCESS) return result;
    std::string version;
    switch (QueryDpkg(package, &version)) {
        case QueryResult::kInstalled: break;
        case QueryResult::kNotInstalled: return ERROR_UNKNOWN_PRODUCT;
        case QueryResult::kUnavailable:
            if (!StatusFileVersion(package, &version)) return ERROR_UNKNOWN_PRODUCT;
            break;
    }
    if (length == nullptr) return ERROR_SUCCESS;
    DWORD room = *length;
    *length = static_cast<DWORD>(version.size());
    if (value == nullptr) return ERROR_SUCCESS;
    if (room == 0) return ERROR_MORE_DATA;
    std::size_t copied = version.size() < room ? version.size() : room - 1;
    std::memcpy(value, version.data(), copied);
    value[copied] = '\0';
    return version.size() < room ? ERROR_SUCCESS : ERROR_MORE_DATA;
}
