// One row of the bus table read into its bus address, the PCI identification SWITCH gives for
// it, and the component texts every device class starts from.
#include <cstdio>

#include "base/file_debug.h"
#include "bus_steps.h"
#include "clients/switch_protocol.h"
#include "pci_config.h"

namespace cx::bus {
namespace {

// The PCI configuration read: OpCode 0x1401, object 5, data bus - 1, device, function - 1.
constexpr DWORD kPciConfigObject = 0x0005;
// Every header type keeps the identification in the first 64 bytes.
constexpr DWORD kPciHeaderMinimum = 64;

UINT ColumnNumber(CSnmpMgr& walk, BusColumn column) {
    return walk.GetInteger(walk.GetVarBind(column));
}

const char* ColumnText(CSnmpMgr& walk, BusColumn column) {
    return walk.GetString(walk.GetVarBind(column));
}

}  // namespace

void ReadBusAddress(CSnmpMgr& walk, BusDevInfo* info) {
    *info = BusDevInfo{};
    info->BusType = ColumnNumber(walk, kColBusType);
    info->BusNo = ColumnNumber(walk, kColBusNo);
    info->DevNo = ColumnNumber(walk, kColDevNo);
    info->Slot = ColumnNumber(walk, kColSlot);
    info->FuncNo = ColumnNumber(walk, kColFuncNo);
    info->DevClass = ColumnNumber(walk, kColDevClass);
}

void ReadPciIdentification(CCX_Agent& agent, BusDevInfo* info) {
    CX_TRACE(3, "\nCX_MIB              : read PCI-Config %d.%d.%d", info->BusNo, info->DevNo,
             info->FuncNo);
    CSwitchCommand command;
    command.SetRequest(switch_op::kPciConfig, 0, kPciConfigObject, agent.ServerCabinetNr,
                       CMD_STATUS_REQUEST);
    // The table counts bus and function from 1, the configuration space from 0.
    const BYTE address[3] = {static_cast<BYTE>(info->BusNo - 1), static_cast<BYTE>(info->DevNo),
                             static_cast<BYTE>(info->FuncNo - 1)};
    command.SetData(address, sizeof(address), 0);
    agent.SwitchRequest(&command);
    if (!command.IsOk(kPciHeaderMinimum, TRUE)) {
        CX_TRACE(3, "\n   cannot read PCI-Config");
        return;
    }
    PciConfig config;
    DecodePciConfig(command.GetData(0), command.GetHeader()->DataLength, &config);
    if (config.MultiFunction) CX_TRACE(3, " (MULTIFUNCTION)");
    info->VendorId = config.VendorId;
    info->DeviceId = config.DeviceId;
    info->SubSystemId = config.SubSystemId;
    info->SubVendorId = config.SubVendorId;
    info->Revision = config.Revision;
}

void FillComponent(CSnmpMgr& walk, BusRow* row) {
    ComponentEntry& component = row->component;
    component.SetVendor(ColumnText(walk, kColVendor), "unknown");
    CopyEntryText(component.ProdName, ColumnText(walk, kColDeviceName));
    component.SetProdDescript(ColumnText(walk, kColDescription));
    component.SetVersion("N/A");
    const BusDevInfo& info = row->info;
    if (info.BusType != kBusPci) return;
    // Written even when the header could not be read: version "0" and an identifier of zeros.
    std::snprintf(component.Version, sizeof(component.Version), "%u", info.Revision);
    std::snprintf(component.CompId, sizeof(component.CompId),
                  "PCI\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X", info.VendorId, info.DeviceId,
                  info.SubSystemId, info.SubVendorId, info.Revision);
    CX_TRACE(3, "\n   PCI-Config       : %s", component.CompId);
}

}  // namespace cx::bus
