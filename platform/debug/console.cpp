// The console: the standard streams as handles; an allocated console writes to standard error.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>

#include "core/errno_map.h"
#include "core/handle_table.h"
#include "platform/debug.h"
#include "platform/eintr.h"
#include "platform/errors.h"

namespace cx::platform {
namespace {

using namespace std::chrono_literals;

constexpr auto kStalledStreamLimit = 100ms;

class StreamObject : public KernelObject {
  public:
    explicit StreamObject(int fd) : fd_(fd) {}

    // Writes everything, or as much as the stream takes within the time limit.
    bool Write(const char* data, DWORD size, DWORD& written) {
        written = 0;
        auto deadline = Clock::now() + kStalledStreamLimit;
        while (written < size) {
            pollfd ready{fd_, POLLOUT, 0};
            int polled = cx::RetryOnEintr([&] {
                // The time left, again after an interruption.
                auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
                return poll(&ready, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
            });
            if (polled == 0) {
                SetLastError(ERROR_TIMEOUT);
                return false;
            }
            ssize_t done = polled < 0 ? -1 : cx::RetryOnEintr([&] {
                return write(fd_, data + written, size - written);
            });
            if (done < 0) {
                if (errno == EAGAIN) continue;
                SetLastErrorFromErrno();
                return false;
            }
            written += static_cast<DWORD>(done);
        }
        return true;
    }

  private:
    const int fd_;
};

struct StandardHandles {
    std::mutex lock;
    HANDLE handles[3] = {};  // input, output, error
    bool console_allocated = false;
};

StandardHandles& TheStandardHandles() {
    static StandardHandles* handles = new StandardHandles;
    return *handles;
}

HANDLE NewStream(int fd) { return InsertHandle(std::make_shared<StreamObject>(fd)); }

}  // namespace
}  // namespace cx::platform

BOOL AllocConsole() {
    auto& standard = cx::platform::TheStandardHandles();
    std::lock_guard guard(standard.lock);
    if (standard.console_allocated) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    standard.console_allocated = true;
    HANDLE console = cx::platform::NewStream(STDERR_FILENO);
    standard.handles[1] = console;
    standard.handles[2] = console;
    return TRUE;
}

HANDLE GetStdHandle(DWORD std_handle) {
    int fd = 0;
    switch (std_handle) {
        case STD_INPUT_HANDLE: fd = STDIN_FILENO; break;
        case STD_OUTPUT_HANDLE: fd = STDOUT_FILENO; break;
        case STD_ERROR_HANDLE: fd = STDERR_FILENO; break;
        default: SetLastError(ERROR_INVALID_HANDLE); return INVALID_HANDLE_VALUE;
    }
    auto& standard = cx::platform::TheStandardHandles();
    std::lock_guard guard(standard.lock);
    HANDLE& handle = standard.handles[fd];
    if (handle == nullptr) handle = cx::platform::NewStream(fd);
    return handle;
}

BOOL WriteConsoleA(HANDLE console, LPCVOID buffer, DWORD chars, LPDWORD written, LPVOID) {
    DWORD done = 0;
    if (written != nullptr) *written = 0;
    auto stream = cx::platform::LookupHandleAs<cx::platform::StreamObject>(console);
    if (!stream) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (buffer == nullptr && chars > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool complete = stream->Write(static_cast<const char*>(buffer), chars, done);
    if (written != nullptr) *written = done;
    return complete ? TRUE : FALSE;
}
