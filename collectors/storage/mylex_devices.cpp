// The Mylex devices: InitMLXDev reads the devices of one adapter from the management agent's
// Mylex view or from the GAM MIB; InitMylexSubsystem records an external Mylex RAID controller
// that answers on a channel of a generic SCSI adapter, and the disks behind it.
#include <cstring>
#include <string>

#include "base/file_debug.h"
#include "framework/agent_globals.h"
#include "storage_steps.h"

namespace cx::storage {
namespace {

constexpr const char* kViewRoot = ".1.3.6.1.4.1.7391.2.10.2.6.2.1.3";
constexpr const char* kViewDeviceEntry = ".1.3.6.1.4.1.7391.2.10.2.6.2.1.4.1";
constexpr const char* kViewSubsystemEntry = ".1.3.6.1.4.1.7391.2.10.2.6.2.1.2.1";
constexpr const char* kGamRoot = ".1.3.6.1.4.1.1608.1.1.1.2";
constexpr const char* kGamCtrlEntry = ".1.3.6.1.4.1.1608.1.1.1.2.1";
constexpr const char* kGamDeviceEntry = ".1.3.6.1.4.1.1608.1.1.1.4.1";
constexpr WORD kMylexTries = 60;

struct Bridge {
    LONG channel;
    LONG target;
    LONG unit;
    bool behind;
};

void InsertDiskObject(CCX_Agent& agent, const ScsiCtrl& ctrl, const Bridge& bridge, UINT channel,
                      UINT target) {
    if (bridge.behind) {
        InsertObject(agent, "Disk:PCI%d.%d.%d.SCSI%d.%d.%d.SCSI%d.%d.%d", ctrl.BusNo, ctrl.DevNo,
                     ctrl.FuncNo, bridge.channel, bridge.target, bridge.unit, channel, target, 0);
    } else {
        InsertObject(agent, "Disk:PCI%d.%d.%d.SCSI%d.%d.%d", ctrl.BusNo, ctrl.DevNo, ctrl.FuncNo,
                     channel, target, 0);
    }
}

// `count` bytes of the inquiry identification from `at`, fewer where it ends.
std::string Bytes(const char* text, std::size_t at, std::size_t count) {
    const std::size_t length = std::strlen(text);
    return at < length ? std::string(text + at, std::min(count, length - at)) : std::string();
}

bool ViewDevices(CCX_Agent& agent, CSnmpMgr& session, ScsiCtrl* ctrl, LONG adapter,
                 const Bridge& bridge) {
    enum : UINT { kAdapter, kInquiry, kType, kState, kChannel, kTarget };
    TableWalk devices(session, kViewDeviceEntry, {1, 5, 14, 7, 2, 3}, {static_cast<UINT>(adapter)});
    for (int loop = 0; !StopRequested(agent) && devices.Next(); ++loop) {
        CX_TRACE(5, "\n   LOOP %d", loop);
        if (devices.Int(kAdapter) != static_cast<UINT>(adapter)) continue;
        if (devices.Int(kState) == 1) {
            CX_TRACE(5, "\n   !!! DEAD SCSI Device");
            continue;
        }
        const char* inquiry = devices.Text(kInquiry);
        const UINT type = devices.Int(kType);
        if (type == 98) {
            if (inquiry[0] == '\0') {
                CX_TRACE(5, "\nCX_MIB              : MYLEX host device has no entry!");
            } else {
                CX_TRACE(5, "\nCX_MIB              : MYLEX host device \"%s\" has no entry!",
                         Bytes(inquiry, 8, 16).c_str());
            }
            continue;
        }
        agent.InsertFunctionalContainer("SCSIDevice", ctrl->FuncCont, nullptr, -1);
        ComponentEntry device(kCompStorageDevice);
        CopyEntryText(device.Vendor, Bytes(inquiry, 0, 8).c_str());
        CopyEntryText(device.ProdName, Bytes(inquiry, 8, 16).c_str());
        CopyEntryText(device.Version, Bytes(inquiry, 24, 4).c_str());
        CopyEntryText(device.ProdDescript, TypeName(TypeTable::kDptPeripheral, type));
        TraceDevice(device);
        agent.InsertComponent(&device);
        if (type == 1)
            InsertDiskObject(agent, *ctrl, bridge, devices.Int(kChannel), devices.Int(kTarget));
    }
    if (devices.Failed()) {
        CX_TRACE(1, "\n!!! CANNOT GET MYLEX_DEV ENTRIES");
    } else {
        CX_TRACE(5, "\n   End of MYLEX_DEV entries");
    }
    return !devices.Failed();
}

bool GamDevices(CCX_Agent& agent, CSnmpMgr& session, ScsiCtrl* ctrl, LONG adapter,
                const Bridge& bridge) {
    enum : UINT { kAdapter, kVendor, kProduct, kVersion, kType, kStatus, kChannel, kTarget };
    TableWalk devices(session, kGamDeviceEntry, {1, 6, 7, 8, 10, 5, 2, 3});
    for (int loop = 0; !StopRequested(agent) && devices.Next(); ++loop) {
        CX_TRACE(5, "\n   LOOP %d", loop);
        if (devices.Int(kAdapter) != static_cast<UINT>(adapter)) continue;
        const UINT status = devices.Int(kStatus);
        if (status == 0 || status == 6) {
            CX_TRACE(5, "\n   !!! DEAD SCSI Device");
            continue;
        }
        const UINT type = devices.Int(kType);
        if (type == 199 || type == 204) {
            CX_TRACE(5, "\n   Host Device/Ctrl \"%s\" has no entry !", devices.Text(kProduct));
            continue;
        }
        CX_TRACE(5, "\n   SCSI Device Status %02X", status);
        agent.InsertFunctionalContainer("SCSIDevice", ctrl->FuncCont, nullptr, -1);
        CX_TRACE(5, "\n   SCSI Device Type %02X", type);
        ComponentEntry device(kCompStorageDevice);
        CopyEntryText(device.ProdDescript, TypeName(TypeTable::kGamPeripheral, type));
        CopyEntryText(device.Vendor, devices.Text(kVendor));
        CopyEntryText(device.ProdName, devices.Text(kProduct));
        CopyEntryText(device.Version, devices.Text(kVersion));
        TraceDevice(device);
        agent.InsertComponent(&device);
        if (type == 0)
            InsertDiskObject(agent, *ctrl, bridge, devices.Int(kChannel), devices.Int(kTarget));
    }
    if (devices.Failed()) {
        CX_TRACE(1, "\n!!! CANNOT GET MYLEX_RAID_DEV ENTRIES");
    } else {
        CX_TRACE(5, "\n   End of MYLEX_RAID_DEV entries");
    }
    return !devices.Failed();
}

// The subsystem's index in its table, or -1.
LONG FindSubsystem(CCX_Agent& agent, CSnmpMgr& session, DWORD adapter, DWORD channel,
                   DWORD target) {
    const bool view = agent.CheckAgent("MLX_MIB") && agent.CheckMib(kViewRoot, kMylexTries);
    if (!view && agent.CheckAgent("MLX_GAM")) agent.CheckMib(kGamRoot, kMylexTries);
    TableWalk rows(session, view ? kViewSubsystemEntry : kGamCtrlEntry,
                   view ? std::initializer_list<UINT>{1, 2, 3, 4}
                        : std::initializer_list<UINT>{1, 49, 48, 47});
    while (!StopRequested(agent) && rows.Next()) {
        if (rows.Int(1) != target || rows.Int(2) != channel || rows.Int(3) != adapter) {
            CX_TRACE(5, "\n   check next");
            continue;
        }
        const LONG index = static_cast<LONG>(rows.Int(0));
        if (index == agent.LastHandledCtrl) {
            CX_TRACE(5, "\n   Adapter Nr %d already handled", index);
            return -1;
        }
        agent.LastHandledCtrl = index;
        CX_TRACE(5, "\n   Adapter Nr %d found", index);
        return index;
    }
    if (rows.Failed()) {
        CX_TRACE(1, "\n!!! CANNOT GET MLX_SUB ENTRIES");
    } else {
        CX_TRACE(5, "\n   End of MLX_SUB entries");
    }
    return -1;
}

void RecordBridge(CCX_Agent& agent, CSnmpMgr& session, ScsiCtrl* ctrl, LONG index,
                  const Bridge& bridge) {
    TableWalk row(session, kGamCtrlEntry, {1, 20, 3});
    if (!row.Get({static_cast<UINT>(index)})) {
        CX_TRACE(1, "\n!!! CANNOT GET MYLEX_RAID_ADAPTER ENTRIES");
        return;
    }
    ComponentEntry component;
    CopyEntryText(component.Vendor, "Mylex Corporation");
    const std::string name = agent.GetCtrlName(row.Int(1));
    if (!name.empty()) CopyEntryText(component.ProdName, name.c_str());
    CopyEntryText(component.ProdDescript, "SCSI Bridge Controller");
    const std::string firmware = row.Text(2);
    CopyEntryText(component.Version, firmware.substr(0, firmware.find('-')).c_str());
    CX_TRACE(5, "\n   (REMOVE build for controller version)");
    agent.InsertScsiSystem(&component, ctrl->FuncCont, nullptr);
    agent.InsertComponent(&component);
    InsertObject(agent, "BridgeController:PCI%d.%d.%d.SCSI%d.%d.%d", ctrl->BusNo, ctrl->DevNo,
                 ctrl->FuncNo, bridge.channel, bridge.target, bridge.unit);
    InsertPart(agent, component, kCompFirmware, "Controller Firmware", firmware.c_str());
    InsertPart(agent, component, kCompBios, "Controller BIOS", "N/A");
}

}  // namespace
}  // namespace cx::storage

void CCX_Agent::InitMLXDev(CSnmpMgr* session, ScsiCtrl* scsi_ctrl, LONG adapter_index,
                           LONG bridge_channel, LONG bridge_target, LONG bridge_unit,
                           BOOL behind_bridge) {
    using namespace cx::storage;
    CX_TRACE(3, "\n  CX_Mib Mylex      : init Mylex Devices for Adapter %d", adapter_index);
    CurFuncContainer = BaseBoardContainerNr;
    const Bridge bridge{bridge_channel, bridge_target, bridge_unit, behind_bridge != FALSE};
    if (scsi_ctrl->CtrlType == 1) {
        ViewDevices(*this, *session, scsi_ctrl, adapter_index, bridge);
    } else {
        GamDevices(*this, *session, scsi_ctrl, adapter_index, bridge);
    }
    TraceAborts(*this, "CX_MIB InitMLXDev   : ");
}

void CCX_Agent::InitMylexSubsystem(ScsiCtrl* scsi_ctrl, DWORD adapter_index, DWORD channel,
                                   DWORD target, DWORD unit) {
    using namespace cx::storage;
    CX_TRACE(3, "\n  CX_Mib: init Mylex Subsystem");
    CX_TRACE(5, "\n   MYLEX Subsystem : CTRL : %d, CHL : %d, TARG : %d, LUN : %d", adapter_index,
             channel, target, unit);
    const MemberNames names{"CSnmpMlx", "MLX_SUB", "InitMylexSubsystem",
                            "CX_MIB InitMLXSub   : ", nullptr};
    RunMember(*this, names, [&](CSnmpMgr& session) {
        const LONG index = FindSubsystem(*this, session, adapter_index, channel, target);
        if (index < 0) {
            CX_TRACE(1, "\n!!! NO MYLEX SUBSYSTEM FOUND");
            return WalkResult{};
        }
        const Bridge bridge{static_cast<LONG>(channel), static_cast<LONG>(target),
                            static_cast<LONG>(unit), true};
        RecordBridge(*this, session, scsi_ctrl, index, bridge);
        InitMLXDev(&session, scsi_ctrl, index, bridge.channel, bridge.target, bridge.unit, TRUE);
        return WalkResult{};
    });
}
