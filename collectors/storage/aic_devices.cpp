// ScanAICDevices: the devices of an Adaptec controller. The AAC MIB lists them in one table; the
// I/O-manager MIB only by associations, controller to ports to devices and enclosures, which are
// collected first and recorded in one pass.
#include <vector>

#include "base/file_debug.h"
#include "storage_steps.h"

namespace cx::storage {
namespace {

constexpr const char* kAacDeviceEntry = ".1.3.6.1.4.1.795.10.1.1.5.1";
constexpr const char* kAssocEntry = ".1.3.6.1.4.1.795.12.2.12.1.1";
constexpr const char* kPortEntry = ".1.3.6.1.4.1.795.12.2.5.1.1";
constexpr const char* kIomDeviceEntry = ".1.3.6.1.4.1.795.12.2.2.1.1";
constexpr const char* kEnclosureEntry = ".1.3.6.1.4.1.795.12.2.4.1.1";
// The table numbers of object references (the sub-identifier after 1.3.6.1.4.1.795.12.2).
constexpr DWORD kDevices = 2;
constexpr DWORD kControllers = 3;
constexpr DWORD kEnclosures = 4;
constexpr DWORD kPorts = 5;
constexpr std::size_t kTableAt = 9;
constexpr DWORD kRigidDisk = 3;

void ScanAac(CCX_Agent& agent, CSnmpMgr& session, ScsiCtrl* ctrl) {
    CX_TRACE(5, "\n   InitAic      Devices in AAC-mib");
    enum : UINT { kCtrl, kChannel, kTarget, kUnit, kType, kVendor, kProduct, kVersion };
    TableWalk devices(session, kAacDeviceEntry, {2, 3, 4, 5, 6, 7, 8, 9});
    while (!StopRequested(agent) && devices.Next()) {
        if (devices.Int(kCtrl) != ctrl->CtrlIndex) continue;
        agent.InsertFunctionalContainer("SCSIDevice", ctrl->FuncCont, nullptr, -1);
        ComponentEntry device(kCompStorageDevice);
        const UINT type = devices.Int(kType);
        CopyEntryText(device.ProdDescript, TypeName(TypeTable::kAacPeripheral, type));
        CopyEntryText(device.Vendor, devices.Text(kVendor));
        CopyEntryText(device.ProdName, devices.Text(kProduct));
        CopyEntryText(device.Version, devices.Text(kVersion));
        TraceDevice(device);
        agent.InsertComponent(&device);
        if (type == 0) {
            InsertObject(agent, "Disk:PCI%d.%d.%d.SCSI%d.%d.%d", ctrl->BusNo, ctrl->DevNo,
                         ctrl->FuncNo, devices.Int(kChannel), devices.Int(kTarget),
                         devices.Int(kUnit));
        }
    }
}

void ReadAssociations(CCX_Agent& agent, CSnmpMgr& session, AicAssocList* list) {
    CX_TRACE(5, "\n   InitAic      Build Assoc Table");
    TableWalk rows(session, kAssocEntry, {1, 3, 4});
    while (!StopRequested(agent) && rows.Next()) {
        const std::vector<UINT> from = rows.Oid(1);
        const std::vector<UINT> to = rows.Oid(2);
        // A reference too short to name a table and a row says nothing.
        if (from.size() <= kTableAt || to.size() <= kTableAt) continue;
        list->Append({from[kTableAt], from.back(), to[kTableAt], to.back()});
    }
}

struct DevicePort {
    DWORD index;
    DWORD ordinal;
    AicPortEntry entry;
};

std::vector<DevicePort> ReadPorts(CCX_Agent& agent, CSnmpMgr& session, AicAssocList* list,
                                  DWORD ctrl_index) {
    CX_TRACE(5, "\n   InitAic      Find Controller");
    DWORD ctrl_ports[16];
    const int ctrl_count = agent.FindAssoc(list, kControllers, ctrl_index, kPorts, ctrl_ports);
    std::vector<DevicePort> ports;
    TableWalk row(session, kPortEntry, {2, 5});
    for (int ordinal = 0; ordinal < ctrl_count && !StopRequested(agent); ++ordinal) {
        CX_TRACE(5, "\n   InitAic      Find Device Ports");
        DWORD device_ports[16];
        const int count = agent.FindAssoc(list, kPorts, ctrl_ports[ordinal], kPorts, device_ports);
        for (int i = 0; i < count; ++i) {
            DevicePort port{device_ports[i], static_cast<DWORD>(ordinal), {}};
            if (row.Get({device_ports[i]})) {
                port.entry.PortNo = row.Int(0);
                CopyEntryText(port.entry.DevPath, row.Text(1), sizeof(port.entry.DevPath));
            }
            agent.ParseDevPath(&port.entry);
            ports.push_back(port);
        }
    }
    return ports;
}

// The devices (kind 2, hard disks only) or the enclosures (kind 4) on the device ports.
void ReadEntries(CCX_Agent& agent, CSnmpMgr& session, AicAssocList* list,
                 const std::vector<DevicePort>& ports, DWORD kind,
                 std::vector<AicDeviceEntry>* entries) {
    const bool disks = kind == kDevices;
    CX_TRACE(5, disks ? "\n   InitAic      Find Devices" : "\n   InitAic      Find Enclosures");
    TableWalk row(session, disks ? kIomDeviceEntry : kEnclosureEntry, {2, 3});
    for (const DevicePort& port : ports) {
        DWORD found[16];
        const int count = agent.FindAssoc(list, kPorts, port.index, kind, found);
        for (int i = 0; i < count && !StopRequested(agent); ++i) {
            if (!row.Get({found[i]})) continue;
            AicDeviceEntry entry;
            entry.Kind = kind;
            entry.Type = row.Int(0);
            entry.PortOrdinal = port.ordinal;
            CopyEntryText(entry.Inquiry, row.Text(1), sizeof(entry.Inquiry));
            if (disks && entry.Type != kRigidDisk) {
                CX_TRACE(5, "\n   InitAic      (%s) No HardDisk, ignored ", entry.Inquiry);
                continue;
            }
            if (disks) {
                entry.TargetId = port.entry.TargetId;
                entry.Lun = port.entry.Lun;
            }
            entries->push_back(entry);
        }
    }
}

void RecordEntry(CCX_Agent& agent, ScsiCtrl* ctrl, const AicDeviceEntry& entry) {
    agent.InsertFunctionalContainer("SCSIDevice", ctrl->FuncCont, nullptr, -1);
    ComponentEntry device(kCompStorageDevice);
    const char* descript = entry.Kind == kDevices ? TypeName(TypeTable::kIomDevice, entry.Type)
                           : entry.Kind == kEnclosures
                               ? TypeName(TypeTable::kIomEnclosure, entry.Type)
                               : "unknown Device";
    CopyEntryText(device.ProdDescript, descript);
    const Inquiry parts = SplitIomInquiry(entry.Inquiry);
    CopyEntryText(device.Vendor, parts.vendor.c_str());
    CopyEntryText(device.ProdName, parts.product.c_str());
    CopyEntryText(device.Version, parts.version.c_str());
    TraceDevice(device);
    agent.InsertComponent(&device);
    if (entry.Kind == kDevices) {
        InsertObject(agent, "Disk:PCI%d.%d.%d.SCSI%d.%d.%d", ctrl->BusNo, ctrl->DevNo, ctrl->FuncNo,
                     entry.PortOrdinal, entry.TargetId, entry.Lun);
    }
}

void ScanIoManager(CCX_Agent& agent, CSnmpMgr& session, ScsiCtrl* ctrl) {
    AicAssocList associations;
    ReadAssociations(agent, session, &associations);
    const std::vector<DevicePort> ports = ReadPorts(agent, session, &associations, ctrl->CtrlIndex);
    std::vector<AicDeviceEntry> entries;
    ReadEntries(agent, session, &associations, ports, kDevices, &entries);
    ReadEntries(agent, session, &associations, ports, kEnclosures, &entries);
    for (const AicDeviceEntry& entry : entries) {
        if (StopRequested(agent)) break;
        RecordEntry(agent, ctrl, entry);
    }
}

void ScanDevices(CCX_Agent& agent, ScsiCtrl* ctrl) {
    CX_TRACE(2, "\n********CHECK AIC MIB FOR SCSI DEVICES");
    Session session;
    if (!session.Open()) {
        CX_TRACE(1, "\n!!! CSnmpAic.OpenSession() failed!!!");
        return;
    }
    CX_TRACE(1, "\n--> CONNECTED TO SNMP (AIC-Device)");
    if (ctrl->CtrlType == 5) ScanAac(agent, session.manager(), ctrl);
    if (ctrl->CtrlType == 4) ScanIoManager(agent, session.manager(), ctrl);
    TraceAborts(agent, "CX_MIB              : ScanAICDevices ");
    session.Close();
    CX_TRACE(1, "\n--> SNMP DISCONNECTED (AIC-Device)");
}

}  // namespace
}  // namespace cx::storage

void CCX_Agent::ScanAICDevices(ScsiCtrl* scsi_ctrl) {
    try {
        cx::storage::ScanDevices(*this, scsi_ctrl);
    } catch (...) {
        cx::storage::TraceFatal("ScanAICDevices", "####################################");
    }
}
