// GetStorageCtrlInfo: a storage-like bus device becomes a controller record of this scan. The
// record is offered to the storage handlers by a table of conditions; the first condition that
// fits names the one handler asked, and a controller no handler takes is recorded generically.
#include <cstdio>
#include <iterator>
#include <memory>
#include <new>

#include "base/file_debug.h"
#include "bus_steps.h"

namespace cx::bus {
namespace {

constexpr int kAny = -1;
constexpr const char* kTvcRaidAgent = "TVC_RAID_MIB";

using StorageHandler = BOOL (CCX_Agent::*)(ComponentEntry*, ScsiCtrl*);

struct HandlerRule {
    DWORD device_class;
    int vendor;               // kAny: every vendor
    int device;               // kAny: every device
    const char* name_prefix;  // nullptr: every name; else compared without regard to case
    StorageHandler handler;
};

// Tested in this order; vendor and device are 0 off the PCI bus, so only the name rule can
// take such a controller.
constexpr HandlerRule kHandlerRules[] = {
    {1, 0x1000, 0x0030, nullptr, &CCX_Agent::GetLSIType},
    {1, 0x1000, kAny, nullptr, &CCX_Agent::GetMylexType},
    {1, 0x1044, kAny, nullptr, &CCX_Agent::GetDPTType},
    {1, 0x1069, kAny, nullptr, &CCX_Agent::GetMylexType},
    {1, 0x8086, 0x25B0, nullptr, &CCX_Agent::GetLSISATAType},
    {1, 0x9005, kAny, nullptr, &CCX_Agent::GetAICType},
    {14, kAny, kAny, "dac", &CCX_Agent::GetMylexType},
    {14, 0x1044, kAny, nullptr, &CCX_Agent::GetDPTType},
};

bool Fits(const HandlerRule& rule, const ScsiCtrl& ctrl, const ComponentEntry& component) {
    return rule.device_class == ctrl.DevClass &&
           (rule.vendor == kAny || rule.vendor == ctrl.VendorId) &&
           (rule.device == kAny || rule.device == ctrl.DeviceId) &&
           (rule.name_prefix == nullptr || StartsWithNoCase(component.ProdName, rule.name_prefix));
}

BOOL OfferToHandlers(CCX_Agent& agent, ComponentEntry* component, ScsiCtrl* ctrl) {
    if (agent.CheckAgent(kTvcRaidAgent) && agent.GetTvcRaidCtrl(ctrl)) return TRUE;
    if (ctrl->DevClass == 1) CX_TRACE(3, "\nCX_MIB              : GetCtrlInfo  : Disk Controller");
    if (ctrl->DevClass == 14) CX_TRACE(3, "\nCX_MIB GetCtrlInfo  : Processor Device");
    for (const HandlerRule& rule : kHandlerRules) {
        if (Fits(rule, *ctrl, *component)) return (agent.*rule.handler)(component, ctrl);
    }
    return FALSE;
}

// A controller of its own "SCSISystem" container, with a firmware object for every PCI
// controller that is not an IDE channel.
void RecordGenerically(CCX_Agent& agent, ComponentEntry* component, ScsiCtrl* ctrl) {
    CX_TRACE(5, "\n   Adapter Type/IOPort/MemPort/Slot : %02X %08X %08X %d", ctrl->BusType,
             ctrl->IoPort, ctrl->MemAddr, ctrl->Slot);
    agent.InsertScsiSystem(component, agent.SubsystemContainerNr, ctrl);
    if (ctrl->BusType != kBusPci) {
        CopyEntryText(component->Version, "N/A");
    } else if (component->Version[0] == '\0') {
        CX_TRACE(5, "\nCX_MIB InitBus      : GET PCI Rev from PCI Config");
        std::snprintf(component->Version, sizeof(component->Version), "%u", ctrl->Revision);
    }
    CX_TRACE(5, "\n   Ctrl Name        : %s", component->ProdName);
    CX_TRACE(5, "\n   Vendor           : %s", component->Vendor);
    CX_TRACE(5, "\n   Description      : %s", component->ProdDescript);
    CX_TRACE(5, "\n   Version(PCI)     : %s", component->Version);
    agent.InsertComponent(component);
    if (ctrl->BusType == kBusPci && !StartsWithNoCase(component->ProdDescript, "IDE")) {
        FwUpdateObject firmware;
        std::snprintf(firmware.ObjectName, sizeof(firmware.ObjectName),
                      "ScsiController:PCI%d.%d.%d", ctrl->BusNo, ctrl->DevNo, ctrl->FuncNo);
        agent.InsertFwUpdateObject(&firmware);
    }
}

}  // namespace
}  // namespace cx::bus

BOOL CCX_Agent::GetStorageCtrlInfo(ComponentEntry* component, CSnmpMgr* session,
                                   BusDevInfo* bus_dev_info) {
    using namespace cx::bus;
    CX_TRACE(5, "\nCX_MIB              : GetStorageCtrlInfo (Controller type %d)",
             bus_dev_info->DevClass);
    std::unique_ptr<ScsiCtrl> ctrl(new (std::nothrow) ScsiCtrl{});
    if (ctrl == nullptr) {
        CX_TRACE(1, "\nCX_MIB              : ERROR! FAILED to allocate pScsiCtrl!");
        return FALSE;
    }
    static_cast<BusDevInfo&>(*ctrl) = *bus_dev_info;
    ctrl->CabinetNo = ServerCabinetNr;
    DiskCtrlInfo(session, ctrl.get());
    if (!OfferToHandlers(*this, component, ctrl.get()))
        RecordGenerically(*this, component, ctrl.get());
    CX_TRACE(5, "\nCX_MIB InitBus      : Add SCSI Ctrl");
    ScsiCtrlList.Append(ctrl.get());
    ctrl.release();
    return TRUE;
}
