// The description of the machine in force and the thread that reads it, off the server's poll
// loop: one read at a time, each bounded by its sources' deadlines. A scan's first request asks
// for a description read after it arrived, so that every scan sees the machine as it is; the
// look for changes (the controller's event log, the UPS server) runs on the same thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "machine_sources.h"

namespace cx::switchd {

class MachineReader {
  public:
    using Clock = std::chrono::steady_clock;
    using ReadFunction = std::function<MachineReading()>;
    // One look for changes; true when hardware came or went since the last look.
    using WatchFunction = std::function<bool()>;

    MachineReader(ReadFunction read, WatchFunction watch);
    ~MachineReader();
    MachineReader(const MachineReader&) = delete;
    MachineReader& operator=(const MachineReader&) = delete;

    // Readable when a read or a look has finished: the poll loop then calls TakeFinished.
    int fd() const { return event_fd_; }

    // A read in the background, unless one is already waiting to start.
    void RequestRead();
    void RequestWatch();
    // The description of a read that starts after this call; the one in force when none
    // finishes within `bound`.
    std::shared_ptr<const MachineInfo> ReadNow(Clock::duration bound);
    // The description in force; before the first read has finished, waits for it (bounded).
    std::shared_ptr<const MachineInfo> Current(Clock::duration bound);

    struct Finished {
        std::vector<std::string> log;  // the sources' lines, when they differ from the last
        bool changed = false;          // a look found a change
    };
    Finished TakeFinished();

  private:
    void Run();
    void Signal();
    std::shared_ptr<const MachineInfo> InForce() const;

    ReadFunction read_;
    WatchFunction watch_;
    int event_fd_ = -1;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool read_wanted_ = false;
    bool watch_wanted_ = false;
    bool stop_ = false;
    std::uint64_t started_ = 0;
    std::uint64_t finished_ = 0;
    std::shared_ptr<const MachineInfo> current_;
    std::vector<std::string> last_log_;
    Finished pending_;
    std::thread thread_;
};

// The look for changes that no device event reports: the controller's event log and the UPS
// server's list. Each look opens its own session; a source that does not answer tells nothing.
class SourceWatch {
  public:
    explicit SourceWatch(SourceOptions options) : options_(std::move(options)) {}
    bool Changed();

  private:
    SourceOptions options_;
    SelCursor sel_;
    std::optional<std::vector<UpsInfo>> ups_;
};

}  // namespace cx::switchd
