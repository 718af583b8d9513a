// InsertDriver: every loaded kernel driver whose file can be read, as a component of the
// "Software" container that InsertOSInfo left current.
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "base/file_debug.h"
#include "base/reg_key.h"
#include "framework/agent_globals.h"
#include "software_steps.h"

namespace cx::software {
namespace {

constexpr const char* kWindowsVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr DWORD kNameSize = 260;

std::string LocalClock(std::time_t when) {
    std::tm local{};
    char text[16] = {};
    if (localtime_r(&when, &local) != nullptr)
        std::strftime(text, sizeof(text), "%H:%M:%S", &local);
    return text;
}

// The directory of this library: its path cut at the last separator.
std::string OwnDirectory(const CCX_Agent& agent) {
    std::string path = agent.m_szModulePath;
    std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool StopRequested(const CCX_Agent& agent) {
    if (AgentShutdown.load() != 0) {
        CX_TRACE(2, "\n  CX_Mib: insert Driver : ABORTED (AgentShutdown)");
        return true;
    }
    if (agent.m_bAbortRequest.load() != 0) {
        CX_TRACE(2, "\n  CX_Mib: insert Driver : ABORTED (m_bAbortRequest)");
        return true;
    }
    return false;
}

void InsertOne(CCX_Agent& agent, CPsApi& ps_api, LPVOID image_base, DWORD index,
               const std::string& windows_dir) {
    char name[kNameSize] = {};
    if (ps_api.GetDeviceDriverFileName(image_base, name, sizeof(name)) == 0) return;
    CX_TRACE(3, "\n   %u: %s", index, name);
    const char* start = std::strncmp(name, "\\??\\", 4) == 0 ? name + 4 : name;
    DriverName parts = SplitDriverName(start);
    if (!IsDriverExtension(parts)) {
        CX_TRACE(5, "\n  %s%s skipped - no device driver", parts.file.c_str(),
                 parts.extension.c_str());
        return;
    }
    ComponentEntry component;
    for (const std::string& candidate : DriverCandidates(parts, windows_dir)) {
        if (agent.ReadFileVersionInfo(&component, candidate.c_str())) {
            component.CompType = kCompDeviceDriver;
            agent.InsertComponent(&component);
            return;
        }
    }
}

void InsertDrivers(CCX_Agent& agent) {
    CX_TRACE(3, "\n  CX_Mib: insert Driver");
    RegKey key;
    char windows_dir[kNameSize + 1] = {};
    DWORD size = kNameSize;
    if (key.Open(kWindowsVersionKey) != ERROR_SUCCESS ||
        key.QueryRegValue("SystemRoot", reinterpret_cast<LPBYTE>(windows_dir), &size) !=
            ERROR_SUCCESS) {
        windows_dir[0] = '\0';
    }
    CX_TRACE(1, "\nStarting Driver");
    std::time_t start = std::time(nullptr);
    CX_TRACE(5, "\n  --> Start %s (%08X)", LocalClock(start).c_str(), static_cast<unsigned>(start));

    CPsApi ps_api;
    ps_api.Init();
    std::string own_directory = OwnDirectory(agent);
    if (!ps_api.LoadPsApi(own_directory.c_str())) {
        CX_TRACE(1, "\n      ERROR! Open PSAPI FAILED!");
    } else {
        DWORD count = ps_api.EnumDeviceDrivers(nullptr, 0);
        if (count == 0) {
            CX_TRACE(1, "\nERROR 0x%X! CANNOT RECEIVE DRIVER INFO!", ps_api.m_dwLastError);
        } else {
            CX_TRACE(3, "\n   %u device drivers detected", count);
            auto bases = std::make_unique<LPVOID[]>(count);
            count = ps_api.EnumDeviceDrivers(bases.get(), count * sizeof(LPVOID));
            for (DWORD i = 0; i < count && !StopRequested(agent); ++i) {
                InsertOne(agent, ps_api, bases[i], i, windows_dir);
            }
        }
        ps_api.FreePsApi();
    }

    std::time_t stop = std::time(nullptr);
    CX_TRACE(5, "\n  --> Stop %s (%08X)", LocalClock(stop).c_str(), static_cast<unsigned>(stop));
    CX_TRACE(5, "\n  TOTAL Driver TIME : %d sec", static_cast<int>(stop - start));
    key.Close();
}

}  // namespace
}  // namespace cx::software

void CCX_Agent::InsertDriver() {
    try {
        cx::software::InsertDrivers(*this);
    } catch (...) {
        CX_TRACE(1, "\n########################################");
        CX_TRACE(1, "\n FATAL ERROR! Exception in InsertDriver");
        CX_TRACE(1, "\n########################################");
    }
}
