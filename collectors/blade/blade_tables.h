// The two tables of the blade-management MIB that the blade collector walks on the management
// blade, and the inventory rows that every blade found there becomes.
#pragma once

#include <cstddef>

#include "inventory/cx_agent.h"

namespace cx::blade {

// How a walk left the collector: go on with its next step, or end it (shutdown or abort).
enum class WalkEnd { kGoOn, kStop };

// One walk's surroundings: the open session to the management blade and the server cabinet,
// whose chassis holds the blades.
struct BladeWalk {
    CCX_Agent& agent;
    CSnmpMgr& manager;
    const CabinetRecord& server;
    const char* management_address;
};

// The management blades (type 31) and the switch blades (type 13), each with its firmware.
WalkEnd WalkManagementBlades(const BladeWalk& walk);
WalkEnd WalkSwitchBlades(const BladeWalk& walk);

// The switch blade's address column as "%u.%u.%u.%u": the first four octets of an IpAddress or
// OCTET STRING value that has at least four. Anything else (fewer octets, another type) is no
// address: it reads "0.0.0.0", as an unknown board address does elsewhere in the inventory, and
// the blade is still recorded.
void SwitchBladeAddress(const AsnAny& value, char* text, std::size_t size);

}  // namespace cx::blade
