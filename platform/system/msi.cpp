// MsiGetProductInfoA: the registry maps an installer product code to a Debian package, whose
// installed version dpkg-query (or, when it cannot run, the status file) gives.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
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

// Runs dpkg-query without a shell and waits at most kQueryMilliseconds for it.
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

    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC) != 0) return QueryResult::kUnavailable;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    int spawned = posix_spawnp(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_ends[1]);
    if (spawned != 0) {
        close(pipe_ends[0]);
        return QueryResult::kUnavailable;
    }

    std::string output;
    bool timed_out = false;
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kQueryMilliseconds);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            timed_out = true;
            break;
        }
        pollfd wait_for{pipe_ends[0], POLLIN, 0};
        int ready = cx::RetryOnEintr([&] { return poll(&wait_for, 1, static_cast<int>(left)); });
        if (ready < 0) break;
        if (ready == 0) continue;
        char chunk[512];
        ssize_t got = cx::RetryOnEintr([&] { return read(pipe_ends[0], chunk, sizeof(chunk)); });
        if (got <= 0) break;
        if (output.size() < kMaxQueryOutput) output.append(chunk, static_cast<std::size_t>(got));
    }
    close(pipe_ends[0]);
    if (timed_out) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timed_out || !WIFEXITED(status)) return QueryResult::kUnavailable;
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
