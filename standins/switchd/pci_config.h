// The Linux backend's answer to the PCI configuration request (OpCode 0x1401, object 5, data
// bus - 1, device, function - 1): the function's configuration header as the machine shows it.
// The answer is pure; the sysfs read sits behind PciConfigReader.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "scenario.h"

namespace cx::switchd {

// The configuration header of PCI function bus:device.function (domain 0, kernel numbering),
// or nullopt when it cannot be read.
using PciConfigReader = std::function<std::optional<std::string>(
    std::uint32_t bus, std::uint32_t device, std::uint32_t function)>;

// The reply to `request` when it asks for a PCI configuration header: status 0 with the
// header (at least 64 bytes, at most 256); nullopt for other requests, malformed ones and
// functions whose header cannot be read.
std::optional<ReplySpec> AnswerPciConfig(const RequestKey& request, const PciConfigReader& read);

// Reads <sys_root>/sys/bus/pci/devices/0000:BB:DD.F/config (64 bytes without root rights,
// 256 with them).
PciConfigReader SysfsPciConfigReader(std::string sys_root);

}  // namespace cx::switchd
