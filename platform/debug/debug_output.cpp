// OutputDebugStringA on the system log: records sent straight to the log socket, without
// blocking, tagged with the application's name.
#include <errno.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/debug.h"

namespace cx::platform {
namespace {

constexpr size_t kLineLimit = 1122;
constexpr size_t kNameLimit = 31;
constexpr int kUserDebugPriority = 8 + 7;  // facility user, severity debug
constexpr const char* kSystemLog = "/dev/log";

class SystemLog {
  public:
    void SetName(const char* name) {
        std::lock_guard guard(lock_);
        name_.clear();
        for (const char* c = name; c != nullptr && *c != '\0' && name_.size() < kNameLimit; ++c) {
            // A blank or a control character would split the record's tag.
            name_ += static_cast<unsigned char>(*c) <= ' ' ? '_' : *c;
        }
    }

    void SetSocket(const char* path) {
        std::lock_guard guard(lock_);
        path_ = path != nullptr ? path : kSystemLog;
        Disconnect();
    }

    void Send(std::string_view line) {
        std::lock_guard guard(lock_);
        std::string record = Header() + std::string(line);
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (fd_ < 0 && !Connect()) return;
            if (send(fd_, record.data(), record.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) return;
            // A log daemon that restarted leaves a dead socket behind: reconnect once. A full
            // log (EAGAIN) loses the record instead of holding up the caller.
            if (errno != ECONNREFUSED && errno != ENOTCONN && errno != EPIPE) return;
            Disconnect();
        }
    }

  private:
    // "<15>Mar  5 14:03:09 NAME[PID]: ", the form syslog(3) sends.
    std::string Header() {
        static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        time_t now = time(nullptr);
        tm local{};
        localtime_r(&now, &local);
        const std::string& name = name_.empty() ? DefaultName() : name_;
        char header[96];
        std::snprintf(header, sizeof(header),
                      "<%d>%s %2d %02d:%02d:%02d %s[%d]: ", kUserDebugPriority,
                      kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min,
                      local.tm_sec, name.c_str(), static_cast<int>(getpid()));
        return header;
    }

    static const std::string& DefaultName() {
        static const std::string* name =
            new std::string(std::string(program_invocation_short_name).substr(0, kNameLimit));
        return *name;
    }

    bool Connect() {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path_.size() >= sizeof(address.sun_path)) return false;
        std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return false;
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            Disconnect();
            return false;
        }
        return true;
    }

    void Disconnect() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

    std::mutex lock_;
    std::string name_;
    std::string path_ = kSystemLog;
    int fd_ = -1;
};

SystemLog& TheSystemLog() {
    static SystemLog* log = new SystemLog;  // never destroyed: threads may log at exit
    return *log;
}

}  // namespace
}  // namespace cx::platform

void OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) return;
    std::string_view rest(text);
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty())
            cx::platform::TheSystemLog().Send(line.substr(0, cx::platform::kLineLimit));
    }
}

void CxSetDebugOutputName(LPCSTR name) { cx::platform::TheSystemLog().SetName(name); }

void CxSetDebugOutputSocket(LPCSTR path) { cx::platform::TheSystemLog().SetSocket(path); }
