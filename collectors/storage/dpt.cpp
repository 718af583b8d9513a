// The DPT family: the controller found by its memory address in the vendor's controller table,
// recorded with four firmware parts; its devices from the device table below its index.
#include "base/file_debug.h"
#include "storage_steps.h"

namespace cx::storage {
namespace {

constexpr const char* kDptRoot = ".1.3.6.1.4.1.1597.1.2.1";
constexpr const char* kDptCtrlEntry = ".1.3.6.1.4.1.1597.1.2.1.1";
constexpr const char* kDptDeviceEntry = ".1.3.6.1.4.1.1597.1.4.1.1";
constexpr WORD kDptTries = 10;
constexpr UINT kHost = 98;
constexpr UINT kMissing = 8;
constexpr UINT kDisk = 1;

WalkResult FindController(CCX_Agent& agent, CSnmpMgr& session, ComponentEntry* component,
                          ScsiCtrl* ctrl) {
    if (!agent.CheckAgent("dptscsi") || ctrl->MemAddr == 0 || !agent.CheckMib(kDptRoot, kDptTries))
        return {};
    enum : UINT { kIndex, kVendor, kName, kFirmware, kSerial, kMemory, kInfo, kBios, kNvram };
    TableWalk controllers(session, kDptCtrlEntry, {1, 2, 3, 4, 5, 6, 31, 32, 33});
    while (!StopRequested(agent) && controllers.Next()) {
        if (controllers.Int(kMemory) != ctrl->MemAddr) {
            CX_TRACE(5, "\n   check next");
            continue;
        }
        ctrl->CtrlIndex = controllers.Int(kIndex);
        ctrl->CtrlType = 3;
        CopyEntryText(component->Vendor, controllers.Text(kVendor));
        CopyEntryText(component->ProdName, controllers.Text(kName));
        CopyEntryText(component->SerialNo, controllers.Text(kSerial));
        RevisionVersion(component, *ctrl);
        RecordController(agent, component, ctrl);
        InsertPart(agent, *component, kCompFirmware, "Controller Firmware",
                   controllers.Text(kFirmware));
        ComponentEntry part = *component;
        part.CompType = kCompFirmware;
        agent.DecodeDptVsn(&part, controllers.Text(kInfo));
        agent.InsertComponent(&part);
        InsertPart(agent, *component, kCompFirmware, "NVRAM Layout", controllers.Text(kNvram));
        part = *component;
        part.CompType = kCompBios;
        agent.DecodeDptVsn(&part, controllers.Text(kBios));
        agent.InsertComponent(&part);
        return {TRUE, false};
    }
    return {FALSE, controllers.Failed()};
}

WalkResult ScanDevices(CCX_Agent& agent, CSnmpMgr& session, ScsiCtrl* ctrl) {
    agent.CurFuncContainer = agent.BaseBoardContainerNr;
    enum : UINT { kTarget, kPhysical, kVendor, kProduct, kVersion, kStatus, kType };
    TableWalk devices(session, kDptDeviceEntry, {1, 3, 4, 5, 6, 8, 35}, {ctrl->CtrlIndex});
    for (int loop = 0; !StopRequested(agent) && devices.Next(); ++loop) {
        CX_TRACE(5, "\n   DPT-Loop %d", loop);
        if (devices.Int(kPhysical) != 0) {
            CX_TRACE(1, "\n!!! NO PHYSICAL DEVICE");
            continue;
        }
        if (devices.Int(kStatus) == kMissing) {
            CX_TRACE(5, "\n   !!! MISSING SCSI Device");
            continue;
        }
        const UINT type = devices.Int(kType);
        if (type == kHost) continue;
        agent.InsertFunctionalContainer("SCSIDevice", ctrl->FuncCont, nullptr, -1);
        ComponentEntry device(kCompStorageDevice);
        const char* name = TypeName(TypeTable::kDptPeripheral, type);
        CopyEntryText(device.ProdDescript, name);
        CopyEntryText(device.ProdName, devices.Text(kProduct));
        if (device.ProdName[0] == '\0') CopyEntryText(device.ProdName, name);
        CopyEntryText(device.Vendor, devices.Text(kVendor));
        CopyEntryText(device.Version, devices.Text(kVersion));
        TraceDevice(device);
        agent.InsertComponent(&device);
        if (type != kDisk) continue;
        const std::vector<UINT>& index = devices.Index();
        const UINT channel = index.size() >= 4 ? index[index.size() - 4] : 0;
        CX_TRACE(5, "\n   ScsiChl      %d", channel);
        InsertObject(agent, "Disk:PCI%d.%d.%d.SCSI%d.%d.%d", ctrl->BusNo, ctrl->DevNo, ctrl->FuncNo,
                     channel, devices.Int(kTarget), 0);
    }
    return {FALSE, devices.Failed()};
}

}  // namespace
}  // namespace cx::storage

BOOL CCX_Agent::GetDPTType(ComponentEntry* component, ScsiCtrl* scsi_ctrl) {
    using namespace cx::storage;
    CX_TRACE(3, "\n  CX_Mib: get DPT Board");
    const MemberNames names{"CSnmpDPT", "DPT-BUS", "GetDPTType",
                            "CX_MIB GetDPTType   : ", "DPT_BUS"};
    return RunMember(*this, names,
                     [&](CSnmpMgr& session) {
                         return FindController(*this, session, component, scsi_ctrl);
                     })
        .value;
}

void CCX_Agent::InitDPT(ScsiCtrl* scsi_ctrl) {
    using namespace cx::storage;
    CX_TRACE(3, "\n  CX_Mib: init DPT Devices");
    const MemberNames names{"CSnmpDpt", "DPT-Device", "InitDPT",
                            "CX_MIB InitDPT      : ", "DPT_DEV"};
    RunMember(*this, names,
              [&](CSnmpMgr& session) { return ScanDevices(*this, session, scsi_ctrl); });
}
