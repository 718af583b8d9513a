// At most one change notification per interval: a change inside the interval is sent when the
// interval ends, so the last change is never left unannounced.
#pragma once

#include "platform/windef.h"

namespace cx::entity {

class ChangeThrottle {
  public:
    explicit ChangeThrottle(DWORD interval_ms) : interval_(interval_ms) {}

    // A change at `now` (milliseconds of a wrapping tick count): true when it is to be sent at
    // once; otherwise it waits for Due.
    bool Changed(DWORD now) {
        pending_ = true;
        return Due(now);
    }
    // True once when a waiting change may be sent.
    bool Due(DWORD now) {
        if (!pending_ || (sent_ && now - last_ < interval_)) return false;
        pending_ = false;
        sent_ = true;
        last_ = now;
        return true;
    }

  private:
    DWORD interval_;
    DWORD last_ = 0;
    bool sent_ = false;
    bool pending_ = false;
};

}  // namespace cx::entity
