// How often a change of the machine's hardware turns into a rescan event: the first change
// at once, further ones within the quiet period as one event at its end, so that a storm of
// device events asks the agent for one scan, and the last change is never left unreported.
#pragma once

#include <chrono>
#include <optional>

namespace cx::switchd {

class RescanThrottle {
  public:
    using Clock = std::chrono::steady_clock;

    explicit RescanThrottle(Clock::duration period = std::chrono::seconds(5)) : period_(period) {}

    // A change at `now`: true when the event is to be sent now.
    bool Change(Clock::time_point now) {
        if (!sent_any_ || now - last_ >= period_) {
            Sent(now);
            return true;
        }
        pending_ = true;
        return false;
    }

    // True when a change held back is due at `now`; the caller sends the event then.
    bool Due(Clock::time_point now) {
        if (!pending_ || now - last_ < period_) return false;
        Sent(now);
        return true;
    }

    // An event sent for another reason (a reload) counts as the latest one.
    void Sent(Clock::time_point now) {
        last_ = now;
        sent_any_ = true;
        pending_ = false;
    }

    // When the held-back change falls due; nullopt when none waits.
    std::optional<Clock::time_point> Deadline() const {
        if (!pending_) return std::nullopt;
        return last_ + period_;
    }

  private:
    Clock::duration period_;
    Clock::time_point last_{};
    bool sent_any_ = false;
    bool pending_ = false;
};

}  // namespace cx::switchd
