// Threads on pthreads, with the Windows life cycle: created suspended or running, an exit code
// that reads STILL_ACTIVE (259) until the start routine returns, and a waitable handle.
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <mutex>

#include "core/handle_table.h"
#include "platform/errors.h"
#include "platform/threads.h"

namespace cx::platform {
namespace {

std::atomic<DWORD> g_abandoned{0};

// The pseudo handle of GetCurrentThread, as on Windows.
HANDLE const kCurrentThread = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));

class ThreadObject : public KernelObject {
  public:
    ThreadObject(LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD suspend_count)
        : start_(start), parameter_(parameter), suspend_count_(suspend_count) {}

    static void* Entry(void* argument) {
        std::shared_ptr<ThreadObject> self(
            std::move(*static_cast<std::shared_ptr<ThreadObject>*>(argument)));
        delete static_cast<std::shared_ptr<ThreadObject>*>(argument);
        self->Run();
        return nullptr;
    }

    // Waits (bounded) until the new thread has told its identifier.
    DWORD WaitForId() {
        std::unique_lock guard(lock_);
        changed_.wait_for(guard, std::chrono::seconds(10), [this] { return id_ != 0; });
        return id_;
    }

    DWORD Resume() {
        std::lock_guard guard(lock_);
        DWORD previous = suspend_count_;
        if (suspend_count_ > 0 && --suspend_count_ == 0) changed_.notify_all();
        return previous;
    }

    bool ExitCode(LPDWORD code) {
        std::lock_guard guard(lock_);
        *code = finished_ ? exit_code_ : STILL_ACTIVE;
        return true;
    }

    // A thread that has not started its routine yet can be stopped for real; a running one
    // cannot, and is counted as abandoned.
    bool Terminate(DWORD exit_code) {
        std::lock_guard guard(lock_);
        if (finished_) return true;
        if (suspend_count_ > 0 && !started_) {
            cancelled_ = true;
            cancel_code_ = exit_code;
            suspend_count_ = 0;
            changed_.notify_all();
            return true;
        }
        if (!abandoned_) {
            abandoned_ = true;
            g_abandoned.fetch_add(1);
        }
        return false;
    }

    void SetPriority(int priority) {
        std::lock_guard guard(lock_);
        priority_ = priority;
    }

    int Priority() {
        std::lock_guard guard(lock_);
        return priority_;
    }

    // Applies the mask now while the thread exists, or when it starts if still suspended.
    DWORD_PTR SetAffinity(DWORD_PTR mask) {
        std::lock_guard guard(lock_);
        if (finished_) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        DWORD_PTR previous = affinity_ != 0 ? affinity_ : CurrentMask(pthread_);
        if (!started_) {
            affinity_ = mask;
            return previous == 0 ? mask : previous;
        }
        if (!ApplyMask(pthread_, mask)) return 0;
        affinity_ = mask;
        return previous;
    }

    DWORD Wait(std::optional<Clock::time_point> deadline) override {
        std::unique_lock guard(lock_);
        auto done = [this] { return finished_; };
        if (deadline) {
            if (!changed_.wait_until(guard, *deadline, done)) return WAIT_TIMEOUT;
        } else {
            changed_.wait(guard, done);
        }
        return WAIT_OBJECT_0;
    }

    void SetPthread(pthread_t thread) {
        std::lock_guard guard(lock_);
        pthread_ = thread;
    }

    static DWORD_PTR CurrentMask(pthread_t thread) {
        cpu_set_t set;
        CPU_ZERO(&set);
        if (pthread_getaffinity_np(thread, sizeof(set), &set) != 0) return 0;
        DWORD_PTR mask = 0;
        for (unsigned cpu = 0; cpu < sizeof(DWORD_PTR) * CHAR_BIT; ++cpu) {
            if (CPU_ISSET(cpu, &set)) mask |= DWORD_PTR{1} << cpu;
        }
        return mask;
    }

    static bool ApplyMask(pthread_t thread, DWORD_PTR mask) {
        cpu_set_t set;
        CPU_ZERO(&set);
        for (unsigned cpu = 0; cpu < sizeof(DWORD_PTR) * CHAR_BIT; ++cpu) {
            if (mask & (DWORD_PTR{1} << cpu)) CPU_SET(cpu, &set);
        }
        if (pthread_setaffinity_np(thread, sizeof(set), &set) != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        return true;
    }

  private:
    void Run() {
        {
            std::unique_lock guard(lock_);
            id_ = GetCurrentThreadId();
            changed_.notify_all();
            changed_.wait(guard, [this] { return suspend_count_ == 0; });
            if (cancelled_) {
                exit_code_ = cancel_code_;
                finished_ = true;
                changed_.notify_all();
                return;
            }
            started_ = true;
            if (affinity_ != 0) ApplyMask(pthread_self(), affinity_);
        }
        DWORD code = start_(parameter_);
        std::lock_guard guard(lock_);
        exit_code_ = code;
        finished_ = true;
        changed_.notify_all();
    }

    std::mutex lock_;
    std::condition_variable changed_;
    LPTHREAD_START_ROUTINE const start_;
    LPVOID const parameter_;
    DWORD suspend_count_;
    DWORD id_ = 0;
    DWORD exit_code_ = STILL_ACTIVE;
    DWORD cancel_code_ = 0;
    DWORD_PTR affinity_ = 0;
    int priority_ = THREAD_PRIORITY_NORMAL;
    bool started_ = false;
    bool finished_ = false;
    bool cancelled_ = false;
    bool abandoned_ = false;
    pthread_t pthread_{};
};

thread_local int t_current_priority = THREAD_PRIORITY_NORMAL;

std::shared_ptr<ThreadObject> ThreadFromHandle(HANDLE handle) {
    auto thread = LookupHandleAs<ThreadObject>(handle);
    if (!thread) SetLastError(ERROR_INVALID_HANDLE);
    return thread;
}

}  // namespace
}  // namespace cx::platform

using cx::platform::ThreadObject;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stack_size, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD thread_id) {
    if (start == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread =
        std::make_shared<ThreadObject>(start, parameter, (flags & CREATE_SUSPENDED) ? 1u : 0u);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stack_size != 0) {
        SIZE_T rounded = std::max<SIZE_T>(stack_size, PTHREAD_STACK_MIN);
        pthread_attr_setstacksize(&attributes, rounded);
    }
    // The object is published before the thread can run, so that it finds its own handle.
    HANDLE handle = cx::platform::InsertHandle(thread);
    auto* holder = new std::shared_ptr<ThreadObject>(thread);
    pthread_t pthread{};
    int error = pthread_create(&pthread, &attributes, &ThreadObject::Entry, holder);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete holder;
        cx::platform::RemoveHandle(handle);
        SetLastError(error == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    thread->SetPthread(pthread);
    DWORD id = thread->WaitForId();
    if (thread_id != nullptr) *thread_id = id;
    return handle;
}

DWORD ResumeThread(HANDLE handle) {
    auto thread = cx::platform::ThreadFromHandle(handle);
    return thread ? thread->Resume() : 0xFFFFFFFFu;
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exit_code) {
    auto thread = cx::platform::ThreadFromHandle(handle);
    if (!thread) return FALSE;
    if (exit_code == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return thread->ExitCode(exit_code) ? TRUE : FALSE;
}

BOOL TerminateThread(HANDLE handle, DWORD exit_code) {
    auto thread = cx::platform::ThreadFromHandle(handle);
    if (!thread) return FALSE;
    if (thread->Terminate(exit_code)) return TRUE;
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL SetThreadPriority(HANDLE handle, int priority) {
    if (handle == cx::platform::kCurrentThread) {
        cx::platform::t_current_priority = priority;
        return TRUE;
    }
    auto thread = cx::platform::ThreadFromHandle(handle);
    if (!thread) return FALSE;
    thread->SetPriority(priority);
    return TRUE;
}

int GetThreadPriority(HANDLE handle) {
    if (handle == cx::platform::kCurrentThread) return cx::platform::t_current_priority;
    auto thread = cx::platform::ThreadFromHandle(handle);
    return thread ? thread->Priority() : 0x7FFFFFFF;  // THREAD_PRIORITY_ERROR_RETURN
}

DWORD_PTR SetThreadAffinityMask(HANDLE handle, DWORD_PTR mask) {
    if (mask == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (handle == cx::platform::kCurrentThread) {
        DWORD_PTR previous = ThreadObject::CurrentMask(pthread_self());
        return ThreadObject::ApplyMask(pthread_self(), mask) ? previous : 0;
    }
    auto thread = cx::platform::ThreadFromHandle(handle);
    return thread ? thread->SetAffinity(mask) : 0;
}

HANDLE GetCurrentThread() { return cx::platform::kCurrentThread; }

// Not cached: a forked child's main thread must not report its parent's identifier.
DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

DWORD CxAbandonedThreadCount() { return cx::platform::g_abandoned.load(); }
