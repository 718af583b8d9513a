// The collectors of a scan and their order: the one list to extend when a collector is added.
// The bus and storage collectors ask other agents of the SNMP service and run under its watch.
#include "collectors/catalix_collectors.h"

#include <array>

#include "inventory/cx_agent.h"

namespace {

constexpr std::array kSteps = {
    // InitCabinets: the computer, its cabinets and chassis, and the blades (cabinet/, blade/).
    CollectorStep{[](CCX_Agent& agent) { agent.InitCabinets(); }, false, false, "InitCabinets"},
    // InsertOSInfo, InsertDriver: the operating system and the loaded drivers (software/).
    CollectorStep{[](CCX_Agent& agent) { agent.InsertOSInfo(); }, false, false, "InsertOSInfo"},
    CollectorStep{[](CCX_Agent& agent) { agent.InsertDriver(); }, false, false, "InsertDriver"},
    // InitBus: buses and their devices, storage controllers handed to their handlers (bus/).
    CollectorStep{[](CCX_Agent& agent) { agent.InitBus(); }, true, false, "InitBus"},
    // InitSCSI: the devices behind the storage adapters, by controller family (storage/).
    CollectorStep{[](CCX_Agent& agent) { agent.InitSCSI(); }, true, true, "InitSCSI"},
    // InsertAgents: the installed agents' and tools' versions (agents/).
    CollectorStep{[](CCX_Agent& agent) { agent.InsertAgents(); }, false, false, "InsertAgents"},
};

}  // namespace

CollectorSteps CatalixCollectors() { return kSteps; }
