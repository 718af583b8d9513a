// InitSCSIDevice: the devices of one generic adapter from the hard-disk MIB's device table.
// Devices that turn out to belong to a known family send the whole adapter to that family's
// scanner, once; an external Mylex RAID controller on a channel is read as a subsystem.
#include "base/file_debug.h"
#include "sc_mib/sc_mib_oids.h"
#include "storage_steps.h"

namespace cx::storage {
namespace {

constexpr DWORD kInterfaceIde = 2;
constexpr DWORD kInterfaceScsi = 3;
constexpr UINT kDirectAccess = 2;

enum DeviceColumn : UINT { kAdapterNo, kType, kInquiry, kChannel, kTarget, kUnit };

// The controllers whose devices the Mylex view of the management agent lists.
bool IsMegaraid(const ScsiCtrl& ctrl) {
    if (ctrl.VendorId != 0x1000) return false;
    for (const WORD device : {0x1960, 0x0407, 0x0040, 0x0408})
        if (ctrl.DeviceId == device) return true;
    return false;
}

struct Adapter {
    ScsiCtrl* ctrl;
    DWORD adapter_no;
    DWORD interface_type;
    DWORD adapter_index;
};

// Hands the adapter to a family scanner unless one already had it.
void HandOnce(CCX_Agent& agent, ScsiCtrl* ctrl, void (CCX_Agent::*scanner)(ScsiCtrl*),
              const char* handled_trace) {
    if (agent.LastHandledCtrl != static_cast<LONG>(ctrl->CtrlIndex)) {
        (agent.*scanner)(ctrl);
        agent.LastHandledCtrl = static_cast<LONG>(ctrl->CtrlIndex);
    } else {
        CX_TRACE(3, handled_trace, ctrl->CtrlIndex);
    }
}

void RecordDevice(CCX_Agent& agent, const Adapter& adapter, TableWalk& devices) {
    ScsiCtrl* ctrl = adapter.ctrl;
    if (agent.LastHandledCtrl == static_cast<LONG>(ctrl->CtrlIndex)) {
        CX_TRACE(3, "\n   SCSI Adapter Nr %d already handled", ctrl->CtrlIndex);
        return;
    }
    if (devices.Int(kAdapterNo) != adapter.adapter_no) return;
    ComponentEntry device(kCompStorageDevice);
    if (adapter.interface_type == kInterfaceIde) CopyEntryText(device.ProdDescript, "IDE ");
    if (adapter.interface_type == kInterfaceScsi) CopyEntryText(device.ProdDescript, "SCSI ");
    const UINT type = devices.Int(kType);
    AppendText(device.ProdDescript, TypeName(TypeTable::kHdDevice, type));
    const char* inquiry = devices.Text(kInquiry);
    if (inquiry[0] == '\0') {
        CX_TRACE(1, "\n   !!! NO DEVICE NAME");
        return;
    }
    agent.InsertFunctionalContainer("SCSIDevice", ctrl->FuncCont, nullptr, -1);
    if (ContainsNoCase(inquiry, "adaptec")) {
        CX_TRACE(5, "\n   ADAPTEC Dev %s", inquiry);
        HandOnce(agent, ctrl, &CCX_Agent::ScanAICDevices,
                 "\n   AIC Adapter Nr %d (T) already handled");
        return;
    }
    const Inquiry parts = SplitHdInquiry(inquiry);
    CopyEntryText(device.Vendor, parts.vendor.c_str());
    CopyEntryText(device.ProdName, parts.product.c_str());
    CopyEntryText(device.Version, parts.version.c_str());
    TraceDevice(device);
    const DWORD channel = devices.Int(kChannel);
    const DWORD target = devices.Int(kTarget);
    const DWORD unit = devices.Int(kUnit);
    if (StartsWithNoCase(device.Vendor, "mylex") || StartsWithNoCase(device.Vendor, "eurolog")) {
        agent.InitMylexSubsystem(ctrl, adapter.adapter_index, channel, target, unit);
        return;
    }
    if (StartsWithNoCase(device.Vendor, "adaptec")) {
        HandOnce(agent, ctrl, &CCX_Agent::ScanAICDevices,
                 "\n   AIC Adapter Nr %d (V) already handled");
        return;
    }
    if (IsMegaraid(*ctrl)) {
        HandOnce(agent, ctrl, &CCX_Agent::InitMylex, "\n   MEGARAID Adapter Nr %d already handled");
        return;
    }
    agent.InsertComponent(&device);
    if (adapter.interface_type == kInterfaceScsi && type == kDirectAccess) {
        InsertObject(agent, "Disk:PCI%d.%d.%d.SCSI%d.%d.%d", ctrl->BusNo, ctrl->DevNo, ctrl->FuncNo,
                     channel, target, unit);
    }
}

void WalkDevices(CCX_Agent& agent, const Adapter& adapter, DWORD bus_type, DWORD bus_no) {
    Session session;
    if (!session.Open()) {
        CX_TRACE(1, "\n!!! CSnmpDevice.OpenSession() failed!!!");
        return;
    }
    CX_TRACE(1, "\n--> CONNECTED TO SNMP (DEVICE)");
    namespace sc = cx::scmib;
    TableWalk devices(session.manager(), CX_SC_HD_DEVICE_ENTRY,
                      {sc::kDeviceAdapterNo, sc::kDeviceType, sc::kDeviceInquiry,
                       sc::kDeviceChannel, sc::kDeviceTarget, sc::kDeviceLun},
                      {bus_type, bus_no, adapter.adapter_no});
    while (!StopRequested(agent) && devices.Next())
        RecordDevice(agent, adapter, devices);
    TraceAborts(agent, "CX_MIB InitSCSIDev  : ");
    if (devices.Failed()) {
        CX_TRACE(1, "\n!!! CANNOT GET HD DEVICE ENTRIES");
    } else {
        CX_TRACE(5, "\n   End of HD DEVICE entries");
    }
    session.Close();
    CX_TRACE(1, "\n--> SNMP DISCONNECTED (DEVICE)");
}

}  // namespace
}  // namespace cx::storage

void CCX_Agent::InitSCSIDevice(ScsiCtrl* scsi_ctrl, DWORD bus_type, DWORD bus_no, DWORD adapter_no,
                               DWORD, DWORD, DWORD interface_type, DWORD adapter_index) {
    LastHandledCtrl = -1;
    try {
        cx::storage::WalkDevices(*this, {scsi_ctrl, adapter_no, interface_type, adapter_index},
                                 bus_type, bus_no);
    } catch (...) {
        cx::storage::TraceFatal("InitSCSIDevice", "##########################################");
    }
}
