// Mutex objects: recursive for the owning thread; a named mutex is shared between processes
// through an flock on a lock file in the runtime directory (see docs/platform/trace.md).
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "core/errno_map.h"
#include "core/handle_table.h"
#include "platform/errors.h"
#include "platform/synch.h"
#include "platform/threads.h"

namespace cx::platform {
namespace {

using namespace std::chrono_literals;

constexpr DWORD kMaxRecursion = 0x7FFFFFFF;
// Longest lock file name taken from the mutex name as it stands; longer or unusual names are
// shortened and made unique with a hash.
constexpr size_t kPlainNameLimit = 200;
constexpr size_t kHashedPrefixLimit = 160;

bool ThreadExists(DWORD thread_id) {
    return syscall(SYS_tgkill, getpid(), static_cast<pid_t>(thread_id), 0) == 0 || errno != ESRCH;
}

// A directory that only this user can write to, created if missing.
bool UsableDirectory(const std::string& path, mode_t mode) {
    if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return false;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 022) == 0;
}

// Where lock files live. Root (the agent's service host) uses /run/catalix; other users their
// session's runtime directory, or a private directory under /tmp when there is none. Every
// process of one user makes the same choice, so they meet on the same lock files.
std::string ChooseLockDirectory() {
    if (geteuid() == 0 && UsableDirectory("/run/catalix", 0755)) return "/run/catalix";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (geteuid() != 0 && runtime != nullptr && runtime[0] == '/') {
        std::string path = std::string(runtime) + "/catalix";
        if (UsableDirectory(path, 0700)) return path;
    }
    std::string path = "/tmp/catalix-" + std::to_string(geteuid());
    if (UsableDirectory(path, 0700)) return path;
    return {};
}

const std::string& LockDirectory() {
    static const std::string* directory = new std::string(ChooseLockDirectory());
    return *directory;
}

bool IsPlainNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

std::string LockFileName(const std::string& name) {
    bool plain = name.size() <= kPlainNameLimit;
    for (char c : name)
        plain = plain && IsPlainNameCharacter(c);
    if (plain) return name + ".lock";
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (unsigned char c : name)
        hash = (hash ^ c) * 1099511628211ULL;
    std::string readable;
    for (size_t i = 0; i < name.size() && readable.size() < kHashedPrefixLimit; ++i) {
        readable += IsPlainNameCharacter(name[i]) ? name[i] : '_';
    }
    char suffix[24];
    std::snprintf(suffix, sizeof(suffix), "-%016llx.lock", static_cast<unsigned long long>(hash));
    return "+" + readable + suffix;  // '+' never starts a plain name
}

class MutexObject : public KernelObject {
  public:
    // `lock_fd` is the open lock file of a named mutex, -1 for one that serves this process only.
    explicit MutexObject(int lock_fd) : lock_fd_(lock_fd) {}
    ~MutexObject() override {
        if (lock_fd_ >= 0) close(lock_fd_);  // also drops a lock still held
    }

    DWORD Wait(std::optional<Clock::time_point> deadline) override {
        DWORD self = GetCurrentThreadId();
        std::unique_lock guard(state_);
        if (owner_ == self) {
            if (count_ == kMaxRecursion) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return WAIT_FAILED;
            }
            ++count_;
            return WAIT_OBJECT_0;
        }
        return lock_fd_ < 0 ? WaitInProcess(guard, self, deadline)
                            : WaitShared(guard, self, deadline);
    }

    // Takes the mutex now if nobody holds it; for CreateMutexA's initial owner.
    bool TryTake() {
        DWORD result = Wait(Clock::now());
        return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }

    bool Release() {
        std::lock_guard guard(state_);
        if (owner_ != GetCurrentThreadId()) return false;
        if (--count_ == 0) {
            if (lock_fd_ >= 0) flock(lock_fd_, LOCK_UN);
            owner_ = 0;
            released_.notify_one();
        }
        return true;
    }

  private:
    // An owner that ended without releasing leaves the mutex abandoned: the next waiter gets
    // it with WAIT_ABANDONED, as on Windows. The lock file stays locked by this process, so
    // a shared mutex passes on without touching it.
    bool TakeIfAbandoned(DWORD self) {
        if (owner_ == 0 || ThreadExists(owner_)) return false;
        owner_ = self;
        count_ = 1;
        return true;
    }

    DWORD WaitInProcess(std::unique_lock<std::mutex>& guard, DWORD self,
                        std::optional<Clock::time_point> deadline) {
        for (;;) {
            if (owner_ == 0) {
                owner_ = self;
                count_ = 1;
                return WAIT_OBJECT_0;
            }
            if (TakeIfAbandoned(self)) return WAIT_ABANDONED;
            // Wake now and then to notice an owner that has gone.
            auto slice = Clock::now() + 100ms;
            if (deadline && *deadline <= slice) {
                if (!released_.wait_until(guard, *deadline, [this] { return owner_ == 0; })) {
                    return TakeIfAbandoned(self) ? WAIT_ABANDONED : WAIT_TIMEOUT;
                }
            } else {
                released_.wait_until(guard, slice);
            }
        }
    }

    // Threads of this and other processes all poll with the same back-off, so that no process
    // keeps the lock file to itself while it has several waiting threads.
    DWORD WaitShared(std::unique_lock<std::mutex>& guard, DWORD self,
                     std::optional<Clock::time_point> deadline) {
        auto pause = 20us;
        for (;;) {
            if (TakeIfAbandoned(self)) return WAIT_ABANDONED;
            if (owner_ == 0) {
                if (flock(lock_fd_, LOCK_EX | LOCK_NB) == 0) {
                    owner_ = self;
                    count_ = 1;
                    return WAIT_OBJECT_0;
                }
                if (errno != EWOULDBLOCK && errno != EINTR) {
                    SetLastErrorFromErrno();
                    return WAIT_FAILED;
                }
            }
            auto now = Clock::now();
            if (deadline && now >= *deadline) return WAIT_TIMEOUT;
            auto wake = now + pause;
            if (deadline && *deadline < wake) wake = *deadline;
            guard.unlock();
            std::this_thread::sleep_until(wake);
            guard.lock();
            if (pause < 500us) pause *= 2;
        }
    }

    const int lock_fd_;
    std::mutex state_;
    std::condition_variable released_;
    DWORD owner_ = 0;  // thread identifier, 0 when free
    DWORD count_ = 0;
};

struct NamedMutexes {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<MutexObject>> by_name;
};

NamedMutexes& TheNamedMutexes() {
    static NamedMutexes* mutexes = new NamedMutexes;
    return *mutexes;
}

int OpenLockFile(const std::string& name) {
    const std::string& directory = LockDirectory();
    if (directory.empty()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return -1;
    }
    std::string path = directory + "/" + LockFileName(name);
    int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) SetLastErrorFromErrno();
    return fd;
}

// The mutex of `name`: the one this process has open already, or a new one on its lock file.
std::shared_ptr<MutexObject> OpenNamed(const std::string& name, bool& existed) {
    auto& named = TheNamedMutexes();
    std::lock_guard guard(named.lock);
    auto& slot = named.by_name[name];
    std::shared_ptr<MutexObject> mutex = slot.lock();
    existed = mutex != nullptr;
    if (mutex) return mutex;
    int fd = OpenLockFile(name);
    if (fd < 0) {
        named.by_name.erase(name);
        return nullptr;
    }
    mutex = std::make_shared<MutexObject>(fd);
    slot = mutex;
    return mutex;
}

}  // namespace
}  // namespace cx::platform

using cx::platform::MutexObject;

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initial_owner, LPCSTR name) {
    if (name == nullptr || *name == '\0') {
        auto mutex = std::make_shared<MutexObject>(-1);
        if (initial_owner) mutex->TryTake();
        SetLastError(ERROR_SUCCESS);
        return cx::platform::InsertHandle(mutex);
    }
    bool existed = false;
    auto mutex = cx::platform::OpenNamed(name, existed);
    if (!mutex) return nullptr;
    // As on Windows, the initial owner is ignored for a mutex that exists already; one that
    // another process holds counts as existing.
    if (initial_owner && !existed && !mutex->TryTake()) existed = true;
    HANDLE handle = cx::platform::InsertHandle(mutex);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReleaseMutex(HANDLE handle) {
    auto mutex = cx::platform::LookupHandleAs<MutexObject>(handle);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!mutex->Release()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}
