// What the host publishes about itself for the agents: the SNMP service's state and the values
// Windows keeps up to date for every program (the active computer name). Publications never
// hold up the host (platform/reg_publish.h): another process that holds the registry delays
// when they land, not when the host serves.
#include "service_state.h"

#include <string>

#include "log.h"
#include "platform/reg_publish.h"
#include "platform/sysinfo.h"
#include "platform/winsvc.h"

namespace cx::host {
namespace {

// At its end the host gives the registry this long to take the states it published last.
constexpr DWORD kFlushWaitMs = 10000;

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
    const LSTATUS result =
        CxRegPublishValue({{kActiveComputerNameKey, REG_OPTION_VOLATILE}}, "ComputerName", REG_SZ,
                          name.c_str(), static_cast<DWORD>(name.size() + 1));
    if (result != ERROR_SUCCESS) {
        Log(LogLevel::kWarning, "computer name not published (error %ld)",
            static_cast<long>(result));
    }
}

void FlushPublications() {
    if (CxRegFlushPublications(kFlushWaitMs)) return;
    Log(LogLevel::kWarning,
        "the registry stayed busy: states of this process not published before its end");
}

}  // namespace cx::host
