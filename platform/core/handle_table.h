// The process's handle table: every HANDLE the platform gives out names a KernelObject here.
//
// Handles are small numbers that are never reused, so a stale or forged handle fails with
// ERROR_INVALID_HANDLE instead of reaching another object. Objects are shared: a wait that is
// in progress keeps its object alive when another thread closes the handle.
#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include "platform/windef.h"

namespace cx::platform {

using Clock = std::chrono::steady_clock;

// The end of a wait of `real_ms` real milliseconds; nullopt for INFINITE.
std::optional<Clock::time_point> DeadlineAfter(DWORD real_ms);

class KernelObject {
  public:
    virtual ~KernelObject() = default;
    // Waits until the object is signalled or the deadline passes (nullopt: no deadline).
    // Returns WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_ABANDONED or WAIT_FAILED (last error set).
    virtual DWORD Wait(std::optional<Clock::time_point> deadline);
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
// Removes the handle; the object lives on while others hold it. FALSE for an unknown handle.
bool RemoveHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

}  // namespace cx::platform
