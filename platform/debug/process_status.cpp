// Process status calls: memory figures and open descriptors from /proc, the processor number.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "core/errno_map.h"
#include "core/process_object.h"
#include "debug/proc_status.h"
#include "platform/eintr.h"
#include "platform/errors.h"
#include "platform/psapi.h"

namespace cx::platform {
namespace {

HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
// Far more than a status or stat file holds; a longer one is read only this far.
constexpr size_t kProcTextLimit = 64 * 1024;

// The identifier of the process behind `process`, or 0 (last error set).
DWORD ProcessIdOf(HANDLE process) {
    if (process == kCurrentProcess) return static_cast<DWORD>(getpid());
    auto object = LookupHandleAs<ProcessObject>(process);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return object->Id();
}

std::string ProcDirectory(DWORD process_id) { return "/proc/" + std::to_string(process_id); }

bool ReadProcText(const std::string& path, std::string& text) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    text.resize(kProcTextLimit);
    size_t used = 0;
    while (used < text.size()) {
        ssize_t got =
            cx::RetryOnEintr([&] { return read(fd, text.data() + used, text.size() - used); });
        if (got <= 0) break;
        used += static_cast<size_t>(got);
    }
    close(fd);
    text.resize(used);
    return true;
}

SIZE_T Bytes(std::uint64_t kib) { return static_cast<SIZE_T>(kib * 1024); }

}  // namespace
}  // namespace cx::platform

HANDLE GetCurrentProcess() { return cx::platform::kCurrentProcess; }

DWORD GetCurrentProcessorNumber() {
    int cpu = sched_getcpu();
    return cpu < 0 ? 0 : static_cast<DWORD>(cpu);
}

BOOL GetProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD cb) {
    if (counters == nullptr || cb < sizeof(PROCESS_MEMORY_COUNTERS)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DWORD process_id = cx::platform::ProcessIdOf(process);
    if (process_id == 0) return FALSE;
    std::string directory = cx::platform::ProcDirectory(process_id);
    std::string status;
    if (!cx::platform::ReadProcText(directory + "/status", status)) return FALSE;
    cx::platform::ProcMemory memory = cx::platform::ParseProcStatus(status);
    std::string stat;
    std::optional<std::uint64_t> faults;
    if (cx::platform::ReadProcText(directory + "/stat", stat)) {
        faults = cx::platform::ParseStatPageFaults(stat);
    }
    using cx::platform::Bytes;
    SIZE_T private_bytes = Bytes(memory.anonymous_kb + memory.swapped_kb);
    PROCESS_MEMORY_COUNTERS filled{};
    filled.cb = sizeof(PROCESS_MEMORY_COUNTERS);
    filled.PageFaultCount = static_cast<DWORD>(faults.value_or(0));
    filled.PeakWorkingSetSize = Bytes(memory.peak_resident_kb);
    filled.WorkingSetSize = Bytes(memory.resident_kb);
    filled.PagefileUsage = private_bytes;
    filled.PeakPagefileUsage = private_bytes;  // Linux keeps no peak of it
    // The caller's structure may be the extended one passed as the plain one: copy bytes.
    if (cb >= sizeof(PROCESS_MEMORY_COUNTERS_EX)) {
        PROCESS_MEMORY_COUNTERS_EX extended{};
        std::memcpy(&extended, &filled, sizeof(filled));
        extended.cb = sizeof(PROCESS_MEMORY_COUNTERS_EX);
        extended.PrivateUsage = private_bytes;
        std::memcpy(counters, &extended, sizeof(extended));
    } else {
        std::memcpy(counters, &filled, sizeof(filled));
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL GetProcessHandleCount(HANDLE process, PDWORD handle_count) {
    if (handle_count == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD process_id = cx::platform::ProcessIdOf(process);
    if (process_id == 0) return FALSE;
    DIR* listing = opendir((cx::platform::ProcDirectory(process_id) + "/fd").c_str());
    if (listing == nullptr) {
        cx::platform::SetLastErrorFromErrno();
        return FALSE;
    }
    // The listing's own descriptor shows up when a process counts itself; it is not one of
    // the process's handles.
    std::string own = std::to_string(dirfd(listing));
    bool counting_self = process_id == static_cast<DWORD>(getpid());
    DWORD count = 0;
    while (dirent* entry = readdir(listing)) {
        if (entry->d_name[0] == '.') continue;
        if (counting_self && own == entry->d_name) continue;
        ++count;
    }
    closedir(listing);
    *handle_count = count;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
