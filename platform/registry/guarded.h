// The registry calls never throw: a failure inside one becomes a Windows error like any other.
#pragma once

#include <new>

#include "platform/winerror.h"
#include "platform/winreg.h"

namespace cx::platform::registry {

template <class Body>
LSTATUS Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_GEN_FAILURE;
    }
}

}  // namespace cx::platform::registry
