// CScanProfile.
#include "inventory/scan_profile.h"

#include <cstdio>
#include <cstdlib>

#include "platform/files.h"
#include "platform/handles.h"

namespace {

double Milliseconds(std::chrono::steady_clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

}  // namespace

CScanProfile::CScanProfile() {
    const char* path = std::getenv("CX_SCAN_PROFILE");
    if (path != nullptr) path_ = path;
}

void CScanProfile::Requested() {
    if (!path_.empty()) requested_ = Clock::now().time_since_epoch().count();
}

void CScanProfile::Begin() {
    if (path_.empty()) return;
    begin_ = last_ = Clock::now();
    parts_.clear();
    // A request that comes during the pass is the next pass's.
    const Clock::rep requested = requested_.exchange(0);
    const Clock::time_point request{Clock::duration(requested)};
    wake_ms_ = requested != 0 && request <= begin_ ? Milliseconds(begin_ - request) : 0;
}

void CScanProfile::Mark(const char* name) {
    if (path_.empty()) return;
    const Clock::time_point now = Clock::now();
    char part[96];
    std::snprintf(part, sizeof(part), " %s_ms=%.3f", name, Milliseconds(now - last_));
    parts_ += part;
    last_ = now;
}

void CScanProfile::End() {
    if (path_.empty()) return;
    const Clock::time_point now = Clock::now();
    char head[96];
    std::snprintf(head, sizeof(head), "scan=%lu total_ms=%.3f wake_ms=%.3f", ++passes_,
                  Milliseconds(now - begin_), wake_ms_);
    const std::string line = head + parts_ + "\n";
    HANDLE file =
        CreateFileA(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | CX_FILE_FLAG_PRIVATE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}
