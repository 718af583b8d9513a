// Where a scan's time goes: how long each part of one pass of the scan loop took, on the
// monotonic clock, in milliseconds. Kept only when the environment variable CX_SCAN_PROFILE
// names a file; each pass then appends one line to it:
//   scan=<n> total_ms=<t> wake_ms=<w> <part>_ms=<t> ...
// `wake` is the time from the rescan request to the start of the pass (0 for a pass that no
// request started); the parts follow in the order they ran. The trace keeps its whole seconds.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

class CScanProfile {
  public:
    CScanProfile();

    // The rescan event was signalled; called on any thread.
    void Requested();
    // A pass of the scan loop begins.
    void Begin();
    // The part `name` ended now: it took the time since the previous mark or Begin.
    void Mark(const char* name);
    // The pass ended: its line is appended to the file.
    void End();

  private:
    using Clock = std::chrono::steady_clock;

    std::string path_;  // empty: nothing is kept
    std::string parts_;
    Clock::time_point begin_{};
    Clock::time_point last_{};
    std::atomic<Clock::rep> requested_{0};
    double wake_ms_ = 0;
    unsigned long passes_ = 0;
};
