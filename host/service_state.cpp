// What the host publishes about itself for the agents: the SNMP service's state and the values
// Windows keeps up to date for every program (the active computer name).
#include "service_state.h"

#include <string>

#include "log.h"
#include "platform/sysinfo.h"
#include "platform/winsvc.h"

namespace cx::host {
namespace {

constexpr const char* kActiveComputerNameKey =
    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName";

// The NetBIOS name, as the agents' own GetComputerNameA reports it, so that the published
// value and the call never disagree.
std::string NetbiosName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof(name);
    return GetComputerNameA(name, &size) ? std::string(name) : std::string();
}

}  // namespace

void PublishServiceState(std::uint32_t state) {
    const LSTATUS result = CxSetServiceCurrentState("SNMP", state);
    if (result != ERROR_SUCCESS) {
        Log(LogLevel::kWarning, "service state %u not published (error %ld)",
            static_cast<unsigned>(state), static_cast<long>(result));
    }
}

void PublishComputerName() {
    const std::string name = NetbiosName();
    if (name.empty()) return;
    HKEY key = nullptr;
    LSTATUS result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kActiveComputerNameKey, 0, nullptr,
                                     REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(key, "ComputerName", 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(name.c_str()),
                                static_cast<DWORD>(name.size() + 1));
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS) {
        Log(LogLevel::kWarning, "computer name not published (error %ld)",
            static_cast<long>(result));
    }
}

}  // namespace cx::host
