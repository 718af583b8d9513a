// Device events of the pci, block, cpu and memory subsystems, from udev. The main loop polls
// fd() and calls Drain() when it is readable.
#pragma once

#include <string>

struct udev;
struct udev_monitor;

namespace cx::switchd {

class UdevMonitor {
  public:
    UdevMonitor() = default;
    ~UdevMonitor();
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    // Starts listening; false with the reason in *error (no udev on this machine).
    bool Open(std::string* error);
    // -1 when not open.
    int fd() const;
    // Reads every waiting event; returns how many there were.
    int Drain();

  private:
    bool OpenMonitor(std::string* error);

    struct udev* udev_ = nullptr;
    struct udev_monitor* monitor_ = nullptr;
};

}  // namespace cx::switchd
