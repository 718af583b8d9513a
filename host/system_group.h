// The system group of a standalone host (RFC 3418): the texts and numbers handed to net-snmp's
// own system module, read-only as the Windows service serves them.
#pragma once

#include <string>
#include <vector>

#include "host_config.h"

namespace cx::host {

// The product's registration as an SNMP agent (catalixInventoryAgent of our MIB module).
inline constexpr const char* kSysObjectId = ".1.3.6.1.4.1.7391.2.10.100.1";

struct SystemSoftware {
    std::string machine;         // the kernel's machine name (uname -m)
    std::string os_name;         // the distribution's PRETTY_NAME
    std::string kernel_release;  // uname -r
    std::string kernel_version;  // uname -v
};

// This machine's: uname and os-release.
SystemSoftware ReadSystemSoftware();

// sysDescr in the Windows service's words, "Hardware: ... - Software: ...", at most 255 bytes.
std::string SystemDescription(const SystemSoftware& software);

// The net-snmp configuration lines of sysDescr, sysObjectID, sysContact, sysLocation and
// sysServices. A text that cannot be one (a control character, more than 255 bytes) is reported
// in `rejected` and served empty.
std::vector<std::string> SystemGroupLines(const SystemGroup& system, const std::string& description,
                                          std::vector<std::string>* rejected);

}  // namespace cx::host
