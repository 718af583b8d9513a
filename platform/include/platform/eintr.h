// A system call that a signal interrupted (EINTR) is made again: for the POSIX code of the
// platform layer and of the processes that make their own calls (the stand-ins).
#pragma once

#include <cerrno>

namespace cx {

// Calls `call` until it succeeds or fails for another reason than EINTR; returns its last
// result, with errno as that call left it.
template <typename Call>
auto RetryOnEintr(Call&& call) -> decltype(call()) {
    for (;;) {
        auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}

}  // namespace cx
