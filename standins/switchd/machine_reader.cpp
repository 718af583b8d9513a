// The reading thread of cx-switchd --linux and its look for changes.
#include "machine_reader.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace cx::switchd {

MachineReader::MachineReader(ReadFunction read, WatchFunction watch)
    : read_(std::move(read)),
      watch_(std::move(watch)),
      event_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      thread_([this] { Run(); }) {}

MachineReader::~MachineReader() {
    {
        std::lock_guard guard(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    if (event_fd_ >= 0) close(event_fd_);
}

void MachineReader::RequestRead() {
    {
        std::lock_guard guard(lock_);
        read_wanted_ = true;
    }
    wake_.notify_all();
}

void MachineReader::RequestWatch() {
    {
        std::lock_guard guard(lock_);
        watch_wanted_ = true;
    }
    wake_.notify_all();
}

std::shared_ptr<const MachineInfo> MachineReader::InForce() const {
    static const auto kNothing = std::make_shared<const MachineInfo>();
    return current_ != nullptr ? current_ : kNothing;
}

std::shared_ptr<const MachineInfo> MachineReader::ReadNow(Clock::duration bound) {
    std::unique_lock guard(lock_);
    // A read under way began before this request: the one after it is ours.
    const std::uint64_t wanted = started_ + 1;
    read_wanted_ = true;
    wake_.notify_all();
    wake_.wait_for(guard, bound, [&] { return finished_ >= wanted || stop_; });
    return InForce();
}

std::shared_ptr<const MachineInfo> MachineReader::Current(Clock::duration bound) {
    std::unique_lock guard(lock_);
    wake_.wait_for(guard, bound, [&] { return finished_ > 0 || stop_; });
    return InForce();
}

MachineReader::Finished MachineReader::TakeFinished() {
    std::uint64_t count = 0;
    if (read(event_fd_, &count, sizeof(count)) < 0) count = 0;  // nothing new: EAGAIN
    std::lock_guard guard(lock_);
    return std::exchange(pending_, {});
}

void MachineReader::Signal() {
    const std::uint64_t one = 1;
    if (write(event_fd_, &one, sizeof(one)) < 0) {
        // The counter is full only when the loop stopped reading it; it wakes up anyway.
    }
}

void MachineReader::Run() {
    std::unique_lock guard(lock_);
    for (;;) {
        wake_.wait(guard, [&] { return stop_ || read_wanted_ || watch_wanted_; });
        if (stop_) return;
        if (read_wanted_) {
            read_wanted_ = false;
            const std::uint64_t number = ++started_;
            guard.unlock();
            MachineReading reading = read_();
            reading.log.push_back(Summary(reading.info));
            auto info = std::make_shared<const MachineInfo>(std::move(reading.info));
            guard.lock();
            current_ = std::move(info);
            finished_ = number;
            if (reading.log != last_log_) pending_.log = last_log_ = std::move(reading.log);
        } else {
            watch_wanted_ = false;
            guard.unlock();
            const bool changed = watch_ && watch_();
            guard.lock();
            pending_.changed = pending_.changed || changed;
        }
        wake_.notify_all();
        Signal();
    }
}

bool SourceWatch::Changed() {
    bool changed = false;
    std::string why;
    if (std::optional<IpmiOptions> ipmi = ControllerToAsk(options_, &why)) {
        std::string error;
        if (std::unique_ptr<IpmiSession> session = IpmiSession::Open(*ipmi, &error))
            changed = SelTellsOfChange(*session, &sel_).value_or(false);
    }
    if (options_.nut) {
        NutReading nut = ReadNut(*options_.nut);
        // A server that does not answer tells nothing; one that comes back with other units
        // does.
        if (nut.state != NutReading::State::kFailed) {
            changed = changed || (ups_ && *ups_ != nut.ups);
            ups_ = std::move(nut.ups);
        }
    }
    return changed;
}

}  // namespace cx::switchd
