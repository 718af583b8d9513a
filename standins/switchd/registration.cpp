// The background registration of cx-switchd's class.
#include "registration.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "clients/switch_protocol.h"
#include "platform/winreg.h"

namespace cx::switchd {
namespace {

LSTATUS WriteLocalServer(const std::string& value) {
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSwitchServerClassKey, 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status =
        RegSetValueExA(key, "LocalServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return status;
}

}  // namespace

Registration::Registration(const std::string& socket_path) {
    std::string absolute = socket_path;
    char cwd[PATH_MAX];
    if (absolute.front() != '/' && getcwd(cwd, sizeof(cwd)) != nullptr) {
        absolute = std::string(cwd) + "/" + absolute;
    }
    value_ = "unix:" + absolute;
}

void Registration::Start(std::chrono::milliseconds bound) {
    thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
    std::unique_lock guard(lock_);
    changed_.wait_for(guard, bound, [this] { return first_done_; });
}

void Registration::Run(std::stop_token stop) {
    std::chrono::seconds wait(1);
    bool failed = false;
    for (;;) {
        LSTATUS status = WriteLocalServer(value_);
        if (status == ERROR_SUCCESS) {
            std::fprintf(stderr, "cx-switchd: class registered (%s)\n", value_.c_str());
        } else if (status != ERROR_SUCCESS && !failed) {
            std::fprintf(stderr,
                         "cx-switchd: cannot register the class yet (error %d); serving and "
                         "trying again in the background\n",
                         static_cast<int>(status));
            failed = true;
        }
        std::unique_lock guard(lock_);
        first_done_ = true;
        changed_.notify_all();
        if (status == ERROR_SUCCESS) return;
        changed_.wait_for(guard, stop, wait, [] { return false; });
        if (stop.stop_requested()) return;
        wait = std::min(wait * 2, std::chrono::seconds(kMaxRetryWait));
    }
}

}  // namespace cx::switchd
