// Event objects: manual- or auto-reset, optionally named within the process.
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

#include "core/handle_table.h"
#include "platform/errors.h"
#include "platform/synch.h"

namespace cx::platform {
namespace {

class EventObject : public KernelObject {
  public:
    EventObject(bool manual_reset, bool initial_state)
        : manual_reset_(manual_reset), signalled_(initial_state) {}

    void Set() {
        std::lock_guard guard(lock_);
        signalled_ = true;
        // Every waiter re-checks; for an auto-reset event the first one to run takes the
        // signal and the others go back to waiting, so exactly one is released.
        changed_.notify_all();
    }

    void Reset() {
        std::lock_guard guard(lock_);
        signalled_ = false;
    }

    DWORD Wait(std::optional<Clock::time_point> deadline) override {
        std::unique_lock guard(lock_);
        auto ready = [this] { return signalled_; };
        if (deadline) {
            if (!changed_.wait_until(guard, *deadline, ready)) return WAIT_TIMEOUT;
        } else {
            changed_.wait(guard, ready);
        }
        if (!manual_reset_) signalled_ = false;
        return WAIT_OBJECT_0;
    }

  private:
    std::mutex lock_;
    std::condition_variable changed_;
    const bool manual_reset_;
    bool signalled_;
};

struct NamedEvents {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<EventObject>> by_name;
};

NamedEvents& TheNamedEvents() {
    static NamedEvents* events = new NamedEvents;
    return *events;
}

}  // namespace
}  // namespace cx::platform

using cx::platform::EventObject;

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manual_reset, BOOL initial_state, LPCSTR name) {
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_SUCCESS);
        return cx::platform::InsertHandle(
            std::make_shared<EventObject>(manual_reset != FALSE, initial_state != FALSE));
    }
    auto& named = cx::platform::TheNamedEvents();
    std::lock_guard guard(named.lock);
    auto& slot = named.by_name[name];
    std::shared_ptr<EventObject> event = slot.lock();
    DWORD status = ERROR_SUCCESS;
    if (event) {
        status = ERROR_ALREADY_EXISTS;
    } else {
        event = std::make_shared<EventObject>(manual_reset != FALSE, initial_state != FALSE);
        slot = event;
    }
    HANDLE handle = cx::platform::InsertHandle(event);
    SetLastError(status);
    return handle;
}

BOOL SetEvent(HANDLE handle) {
    auto event = cx::platform::LookupHandleAs<EventObject>(handle);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
    auto event = cx::platform::LookupHandleAs<EventObject>(handle);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Reset();
    return TRUE;
}
