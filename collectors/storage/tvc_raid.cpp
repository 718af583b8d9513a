// The TVC RAID agent: its controller found by the location text of its controller table, its
// devices with their interface in the firmware-object name, and the agent's own version.
#include <cstdio>
#include <cstring>

#include "base/file_debug.h"
#include "storage_steps.h"

namespace cx::storage {
namespace {

constexpr const char* kTvcAgent = "TVC_RAID_MIB";
constexpr const char* kTvcRoot = ".1.3.6.1.4.1.7391.2.49.1.3.4";
constexpr const char* kTvcCtrlEntry = ".1.3.6.1.4.1.7391.2.49.1.4.2.1";
constexpr const char* kTvcDeviceEntry = ".1.3.6.1.4.1.7391.2.49.1.5.2.1";
constexpr const char* kTvcVersion = ".1.3.6.1.4.1.7391.2.49.1.1";
constexpr WORD kTvcTries = 60;

// What the location text of the controller must contain: its PCI address, its memory address,
// or "NONE", by the kind of location the text gives.
std::string ExpectedLocation(const char* location, const ScsiCtrl& ctrl) {
    char text[96];
    if (std::strstr(location, "PCI:") != nullptr) {
        std::snprintf(text, sizeof(text), "PCI:Bus=%d&Device=%d&Function=%d", ctrl.BusNo - 1,
                      ctrl.DevNo, ctrl.FuncNo - 1);
    } else if (std::strstr(location, "MEM") != nullptr) {
        std::snprintf(text, sizeof(text), "MEM:%08X", ctrl.MemAddr);
    } else {
        return "NONE";
    }
    return text;
}

const char* OrNotAvailable(const char* text) { return text[0] != '\0' ? text : "N/A"; }

WalkResult FindController(CCX_Agent& agent, CSnmpMgr& session, ScsiCtrl* ctrl) {
    if (!agent.CheckMib(kTvcRoot, kTvcTries)) return {};
    enum : UINT { kIndex, kName, kVendor, kLocation, kVersion, kFirmware, kBios, kInterface };
    TableWalk controllers(session, kTvcCtrlEntry, {1, 2, 3, 4, 6, 7, 8, 16});
    while (!StopRequested(agent) && controllers.Next()) {
        const char* location = controllers.Text(kLocation);
        if (std::strstr(location, ExpectedLocation(location, *ctrl).c_str()) == nullptr) {
            CX_TRACE(5, "\n   check next");
            continue;
        }
        ctrl->CtrlIndex = controllers.Int(kIndex);
        ctrl->CtrlType = 8;
        ComponentEntry component;
        CopyEntryText(component.Vendor, controllers.Text(kVendor));
        CopyEntryText(component.ProdName, controllers.Text(kName));
        std::snprintf(component.ProdDescript, sizeof(component.ProdDescript), "%s RAID Controller",
                      TvcInterfaceName(controllers.Int(kInterface)));
        const char* version = controllers.Text(kVersion);
        if (version[0] == '\0' || std::strcmp(version, "N/A") == 0) {
            RevisionVersion(&component, *ctrl);
        } else {
            CopyEntryText(component.Version, version);
        }
        std::snprintf(component.CompId, sizeof(component.CompId),
                      "PCI\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X", ctrl->VendorId,
                      ctrl->DeviceId, ctrl->SubSystemId, ctrl->SubVendorId, ctrl->Revision);
        RecordController(agent, &component, ctrl);
        InsertPart(agent, component, kCompFirmware, "Firmware Version",
                   OrNotAvailable(controllers.Text(kFirmware)));
        InsertPart(agent, component, kCompBios, "BIOS Version",
                   OrNotAvailable(controllers.Text(kBios)));
        return {TRUE, false};
    }
    return {FALSE, controllers.Failed()};
}

WalkResult ScanDevices(CCX_Agent& agent, CSnmpMgr& session, ScsiCtrl* ctrl) {
    enum : UINT { kCtrl, kA1, kA2, kA3, kProduct, kVendor, kType, kInterface, kC15, kVersion };
    TableWalk devices(session, kTvcDeviceEntry, {1, 2, 3, 4, 5, 6, 9, 11, 15, 16});
    while (!StopRequested(agent) && devices.Next()) {
        if (devices.Int(kCtrl) != ctrl->CtrlIndex) continue;
        agent.InsertFunctionalContainer("SCSIDevice", ctrl->FuncCont, nullptr, -1);
        ComponentEntry device(kCompStorageDevice);
        const char* interface_name = TvcInterfaceName(devices.Int(kInterface));
        CopyEntryText(device.Vendor, OrNotAvailable(devices.Text(kVendor)));
        CopyEntryText(device.ProdName, OrNotAvailable(devices.Text(kProduct)));
        CopyEntryText(device.Version, OrNotAvailable(devices.Text(kVersion)));
        std::snprintf(device.ProdDescript, sizeof(device.ProdDescript), "%s (%s)",
                      TypeName(TypeTable::kTvcDevice, devices.Int(kType)), interface_name);
        TraceDevice(device);
        agent.InsertComponent(&device);
        InsertObject(agent, "Disk:PCI%d.%d.%d.%s%d.%d.%d", ctrl->BusNo, ctrl->DevNo, ctrl->FuncNo,
                     interface_name, devices.Int(kA1), devices.Int(kA2), devices.Int(kA3));
    }
    return {FALSE, devices.Failed()};
}

}  // namespace
}  // namespace cx::storage

BOOL CCX_Agent::GetTvcRaidCtrl(ScsiCtrl* scsi_ctrl) {
    using namespace cx::storage;
    CX_TRACE(3, "\n  CX_Mib: get TVC RAID Controller");
    const MemberNames names{"CSnmpTvcRaid", "TVCRAID-BUS", "GetTvcRaidCtrl",
                            "CX_MIB GetTvcRaidCtrl: ", "TVCRAID_BUS"};
    return RunMember(*this, names,
                     [&](CSnmpMgr& session) { return FindController(*this, session, scsi_ctrl); })
        .value;
}

void CCX_Agent::GetTvcRaidDev(ScsiCtrl* scsi_ctrl) {
    using namespace cx::storage;
    CX_TRACE(3, "\n  CX_Mib: init TVC RAID Devices");
    const MemberNames names{"CSnmpTvcRaid", "TVCRAID-Device", "GetTvcRaidDev",
                            "CX_MIB GetTvcRaidDev : ", "TVCRAID_DEV"};
    RunMember(*this, names,
              [&](CSnmpMgr& session) { return ScanDevices(*this, session, scsi_ctrl); });
}

BOOL CCX_Agent::GetTvcRaidVsn(ComponentEntry* component) {
    using namespace cx::storage;
    if (!CheckAgent(kTvcAgent)) return FALSE;
    CX_TRACE(3, "\n  CX_Mib: get TVC RAID Version");
    const MemberNames names{"CSnmpTvcRaid", "TVCRAID-VSN", "GetTvcRaidVsn",
                            "CX_MIB GetTvcRaidVsn : ", nullptr};
    return RunMember(*this, names,
                     [&](CSnmpMgr& session) {
                         TableWalk version(session, kTvcVersion, {1, 2, 3, 4});
                         if (!version.Next()) {
                             CX_TRACE(5, "\nCxIniMonSw TvcRaid  : NO SNMP Data");
                             return WalkResult{};
                         }
                         component->Clear();
                         CopyEntryText(component->ProdName, version.Text(0));
                         CopyEntryText(component->Vendor, version.Text(1));
                         CopyEntryText(component->Version, version.Text(2));
                         CopyEntryText(component->ManuDate, version.Text(3));
                         CopyEntryText(component->ProdDescript, "TVC RAID Agent");
                         component->CompType = kCompManagementAgent;
                         CX_TRACE(5, "\nCxIniMonSw TvcRaid  : Version  %s", component->Version);
                         return WalkResult{TRUE, false};
                     })
        .value;
}
