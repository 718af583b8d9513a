// udev device events for cx-switchd --linux.
#include "udev_monitor.h"

#include <libudev.h>

namespace cx::switchd {

UdevMonitor::~UdevMonitor() {
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    if (udev_ != nullptr) udev_unref(udev_);
}

bool UdevMonitor::Open(std::string* error) {
    if (OpenMonitor(error)) return true;
    // A monitor half set up is none: fd() stays -1.
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    monitor_ = nullptr;
    return false;
}

bool UdevMonitor::OpenMonitor(std::string* error) {
    if (udev_ == nullptr) udev_ = udev_new();
    if (udev_ == nullptr) {
        *error = "udev_new failed";
        return false;
    }
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr) {
        *error = "no udev event source";
        return false;
    }
    for (const char* subsystem : {"pci", "block", "cpu", "memory"}) {
        if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem, nullptr) < 0) {
            *error = std::string("cannot filter on subsystem ") + subsystem;
            return false;
        }
    }
    if (udev_monitor_enable_receiving(monitor_) < 0) {
        *error = "cannot receive udev events";
        return false;
    }
    return true;
}

int UdevMonitor::fd() const { return monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1; }

int UdevMonitor::Drain() {
    int count = 0;
    if (monitor_ == nullptr) return 0;
    // The socket is non-blocking: receive_device returns null once it is empty. A bound keeps
    // an endless storm from holding the loop.
    while (count < 10000) {
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (device == nullptr) break;
        udev_device_unref(device);
        ++count;
    }
    return count;
}

}  // namespace cx::switchd
