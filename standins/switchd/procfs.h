// What the kernel tells about the machine without the firmware table: /proc/cpuinfo for the
// processors, /proc/meminfo for the memory, /sys/class/dmi/id for the firmware's names where
// the kernel exports them, the device tree's root node on machines described by one. Texts in,
// MachineInfo parts out.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "machine_info.h"

namespace cx::switchd {

// One processor per socket ("physical id"); without that key every logical processor is
// taken to sit in one socket. Sockets come in the order of their first appearance.
std::vector<ProcessorInfo> ParseCpuinfo(std::string_view text);

// One module of the memory the kernel manages (MemTotal, rounded down to MByte); nullopt
// when the text has no MemTotal.
std::optional<MemoryDeviceInfo> ParseMeminfo(std::string_view text);

// The contents of the file NAME of a directory (/sys/class/dmi/id, the device tree's root
// node), nullopt when it cannot be read.
using FileReader = std::function<std::optional<std::string>(const std::string& name)>;

// Fills the BIOS, system, board and chassis from the dmi/id files that can be read; returns
// whether any of them gave a text.
bool ReadDmiId(const FileReader& read, MachineInfo* info);

// The machine's product name and serial number from the root node's "model" and
// "serial-number" (NUL-terminated strings); returns whether either gave a text. "compatible"
// is not used: its vendor prefixes are abbreviations, not makers' names.
bool ReadDeviceTree(const FileReader& read, MachineInfo* info);

}  // namespace cx::switchd
