// Gathers the facts of the machine's storage devices for SC_MIB's disk tables: every SCSI
// device (/sys/bus/scsi/devices) and every whole disk of /sys/block that is not one of them,
// with the files the tables need. Loop, zram and ram disks, partitions and hidden disks (the
// paths of a multipath NVMe namespace) are not read.
#pragma once

#include <string>
#include <vector>

#include "disk_tables.h"

namespace cx::scmib {

struct BlockReadResult {
    std::vector<StorageDevice> devices;
    std::vector<std::string> problems;  // devices that went away while they were read
};

// `sys_root` prefixes /sys; empty for the machine's own.
BlockReadResult ReadStorageDevices(const std::string& sys_root);

}  // namespace cx::scmib
