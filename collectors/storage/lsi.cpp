// The two LSI families: the 1030 controller found by its subsystem identification, the SATA
// controller by its interrupt; each with its firmware parts, and their devices from the
// vendor's device tables.
#include <cstdlib>

#include "base/file_debug.h"
#include "storage_steps.h"

namespace cx::storage {
namespace {

constexpr const char* kLsiRoot = ".1.3.6.1.4.1.3582.2.2.1.2";
constexpr const char* kLsiCtrlEntry = ".1.3.6.1.4.1.3582.2.2.1.2.1";
constexpr const char* kLsiDeviceEntry = ".1.3.6.1.4.1.3582.2.2.3.2.1";
constexpr const char* kSataRoot = ".1.3.6.1.4.1.3582.3.2.1.2";
constexpr const char* kSataCtrlEntry = ".1.3.6.1.4.1.3582.3.2.1.2.1";
constexpr const char* kSataDeviceEntry = ".1.3.6.1.4.1.3582.3.2.3.2.1";
constexpr WORD kLsiTries = 3;
constexpr UINT kLsiDisk = 9;

bool AgentPresent(CCX_Agent& agent) {
    return agent.CheckAgent("LSI10x0") || agent.CheckAgent("GenSNMPAgent");
}

// A whole decimal number of a text column; false for anything else.
bool DecimalText(const char* text, DWORD* value) {
    if (text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    const unsigned long number = std::strtoul(text, &end, 10);
    if (*end != '\0' || number > 0xFFFFFFFFul) return false;
    *value = static_cast<DWORD>(number);
    return true;
}

WalkResult FindLsi(CCX_Agent& agent, CSnmpMgr& session, ComponentEntry* component, ScsiCtrl* ctrl) {
    if (!AgentPresent(agent) || ctrl->SubVendorId == 0 || ctrl->SubSystemId == 0 ||
        !agent.CheckMib(kLsiRoot, kLsiTries))
        return {};
    enum : UINT { kIndex, kC3, kVersion, kBios, kSubSystem, kSubVendor, kName };
    TableWalk controllers(session, kLsiCtrlEntry, {1, 3, 4, 5, 6, 7, 8});
    while (!StopRequested(agent) && controllers.Next()) {
        if (controllers.Int(kSubSystem) != ctrl->SubSystemId ||
            controllers.Int(kSubVendor) != ctrl->SubVendorId) {
            CX_TRACE(5, "\n   check next");
            continue;
        }
        ctrl->CtrlIndex = controllers.Int(kIndex);
        ctrl->CtrlType = 6;
        CopyEntryText(component->ProdName, controllers.Text(kName));
        CopyEntryText(component->Version, controllers.Text(kVersion));
        RecordController(agent, component, ctrl);
        InsertPart(agent, *component, kCompFirmware, "Firmware Version", component->Version);
        InsertPart(agent, *component, kCompBios, "BIOS Version", controllers.Text(kBios));
        return {TRUE, false};
    }
    return {FALSE, controllers.Failed()};
}

WalkResult ScanLsi(CCX_Agent& agent, CSnmpMgr& session, ScsiCtrl* ctrl) {
    enum : UINT { kCtrl, kTarget, kChannel, kUnit, kC7, kType, kVendor, kProduct, kVersion };
    TableWalk devices(session, kLsiDeviceEntry, {2, 3, 4, 5, 7, 9, 15, 16, 17});
    while (!StopRequested(agent) && devices.Next()) {
        if (devices.Int(kCtrl) != ctrl->CtrlIndex) continue;
        agent.InsertFunctionalContainer("SCSIDevice", ctrl->FuncCont, nullptr, -1);
        ComponentEntry device(kCompStorageDevice);
        const UINT type = devices.Int(kType);
        CopyEntryText(device.ProdDescript, TypeName(TypeTable::kLsiDevice, type));
        CopyEntryText(device.Vendor, devices.Text(kVendor));
        CopyEntryText(device.ProdName, devices.Text(kProduct));
        CopyEntryText(device.Version, devices.Text(kVersion));
        TraceDevice(device);
        agent.InsertComponent(&device);
        if (type == kLsiDisk) {
            InsertObject(agent, "Disk:PCI%d.%d.%d.SCSI%d.%d.%d", ctrl->BusNo, ctrl->DevNo,
                         ctrl->FuncNo, devices.Int(kChannel), devices.Int(kTarget),
                         devices.Int(kUnit));
        }
    }
    return {FALSE, devices.Failed()};
}

WalkResult FindSata(CCX_Agent& agent, CSnmpMgr& session, ComponentEntry* component,
                    ScsiCtrl* ctrl) {
    if (!AgentPresent(agent) || !agent.CheckMib(kSataRoot, kLsiTries)) return {};
    enum : UINT { kIndex, kC2, kName, kBios, kVersion, kIdeBase, kInterrupt };
    TableWalk controllers(session, kSataCtrlEntry, {1, 2, 3, 4, 5, 7, 8});
    while (!StopRequested(agent) && controllers.Next()) {
        CX_TRACE(5, "\n   LSI IDE BASE: %s Int: %s", controllers.Text(kIdeBase),
                 controllers.Text(kInterrupt));
        DWORD interrupt = 0;
        if (!DecimalText(controllers.Text(kInterrupt), &interrupt) || interrupt != ctrl->Irq) {
            CX_TRACE(5, "\n   check next");
            continue;
        }
        ctrl->CtrlIndex = controllers.Int(kIndex);
        ctrl->CtrlType = 7;
        CopyEntryText(component->ProdName, controllers.Text(kName));
        CopyEntryText(component->Version, controllers.Text(kVersion));
        RecordController(agent, component, ctrl);
        InsertPart(agent, *component, kCompBios, "BIOS Version", controllers.Text(kBios));
        return {TRUE, false};
    }
    return {FALSE, controllers.Failed()};
}

WalkResult ScanSata(CCX_Agent& agent, CSnmpMgr& session, ScsiCtrl* ctrl) {
    enum : UINT { kChannel, kProduct, kC5, kSerial, kCtrl, kVersion };
    TableWalk devices(session, kSataDeviceEntry, {2, 4, 5, 9, 10, 11});
    while (!StopRequested(agent) && devices.Next()) {
        if (devices.Int(kCtrl) != ctrl->CtrlIndex) continue;
        agent.InsertFunctionalContainer("SCSIDevice", ctrl->FuncCont, nullptr, -1);
        ComponentEntry device(kCompStorageDevice);
        CopyEntryText(device.Vendor, "N/A");
        CopyEntryText(device.ProdName, devices.Text(kProduct));
        CopyEntryText(device.ProdDescript, "IDE Device");
        CopyEntryText(device.Version, devices.Text(kVersion));
        CopyEntryText(device.SerialNo, devices.Text(kSerial));
        TraceDevice(device);
        agent.InsertComponent(&device);
        InsertObject(agent, "Disk:PCI%d.%d.%d.CHL%d", ctrl->BusNo, ctrl->DevNo, ctrl->FuncNo,
                     devices.Int(kChannel));
    }
    return {FALSE, devices.Failed()};
}

}  // namespace
}  // namespace cx::storage

BOOL CCX_Agent::GetLSIType(ComponentEntry* component, ScsiCtrl* scsi_ctrl) {
    using namespace cx::storage;
    CX_TRACE(3, "\n  CX_Mib: get LSI Board");
    const MemberNames names{"CSnmpLSI", "LSI-BUS", "GetLSIType",
                            "CX_MIB GetLSIType   : ", "LSI_BUS"};
    return RunMember(
               *this, names,
               [&](CSnmpMgr& session) { return FindLsi(*this, session, component, scsi_ctrl); })
        .value;
}

void CCX_Agent::ScanLSIDevices(ScsiCtrl* scsi_ctrl) {
    using namespace cx::storage;
    CX_TRACE(2, "\n********CHECK LSI MIB FOR SCSI DEVICES");
    const MemberNames names{"CSnmpLsi", "LSI-Device", "ScanLSIDevices",
                            "CX_MIB              : ScanLSIDevices ", "LSI_DEV"};
    RunMember(*this, names, [&](CSnmpMgr& session) { return ScanLsi(*this, session, scsi_ctrl); });
}

BOOL CCX_Agent::GetLSISATAType(ComponentEntry* component, ScsiCtrl* scsi_ctrl) {
    using namespace cx::storage;
    CX_TRACE(3, "\n  CX_Mib: get LSI SATA Board");
    const MemberNames names{"CSnmpLSISATA", "LSISATA-BUS", "GetLSISATAType",
                            "CX_MIB GetLSISATAType: ", "LSISATA_BUS"};
    return RunMember(
               *this, names,
               [&](CSnmpMgr& session) { return FindSata(*this, session, component, scsi_ctrl); })
        .value;
}

void CCX_Agent::ScanLSISATADevices(ScsiCtrl* scsi_ctrl) {
    using namespace cx::storage;
    CX_TRACE(2, "\n********CHECK LSI SATA MIB FOR IDE DEVICES");
    const MemberNames names{"CSnmpLsiSata", "LSISATA-Device", "ScanLSISATADevices",
                            "CX_MIB              : ScanLSISATADevices ", "LSISATA_DEV"};
    RunMember(*this, names, [&](CSnmpMgr& session) { return ScanSata(*this, session, scsi_ctrl); });
}
