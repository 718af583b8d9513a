// The collectors of a scan and their order: the one list to extend when a collector is added.
// The bus and storage collectors ask other agents of the SNMP service and run under its watch.
#include "collectors/catalix_collectors.h"

#include <array>

#include "inventory/cx_agent.h"

namespace {

constexpr std::array kSteps = {
    // InitCabinets: the computer, its cabinets and chassis, and the blades (cabinet/, blade/).
    CollectorStep{[](CCX_Agent& agent) { agent.InitCabinets(); }, false, false},
    // The collectors below are not written yet; their rows keep their places in the scan.
    CollectorStep{nullptr, false, false},  // InsertOSInfo: OS version and language
    CollectorStep{nullptr, false, false},  // InsertDriver: loaded drivers and their files
    // InitBus: buses and their devices, storage controllers handed to their handlers (bus/).
    CollectorStep{[](CCX_Agent& agent) { agent.InitBus(); }, true, false},
    // InitSCSI: the devices behind the storage adapters, by controller family (storage/).
    CollectorStep{[](CCX_Agent& agent) { agent.InitSCSI(); }, true, true},
    CollectorStep{nullptr, false, false},  // InsertAgents: the installed agents' versions
};

}  // namespace

CollectorSteps CatalixCollectors() { return kSteps; }
