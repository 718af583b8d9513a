// InitSCSI: the device phase of the scan. Every adapter of the hard-disk MIB's adapter table is
// matched to the controller the bus walk recorded and handed to the device scanner of the
// controller's family; adapters of generic controllers are read from the device table itself.
#include "base/file_debug.h"
#include "sc_mib/sc_mib_oids.h"
#include "storage_steps.h"

namespace cx::storage {
namespace {

constexpr WORD kAdapterTableTries = 60;
constexpr DWORD kBusPci = 5;
constexpr DWORD kBusPciAlias = 4;

enum AdapterColumn : UINT {
    kBusType,
    kBusNo,
    kAdapterNo,
    kName,
    kDevices,
    kSlot,
    kPort,
    kInterface,
    kAdapterIndex
};

void HandAdapter(CCX_Agent& agent, TableWalk& adapters) {
    if (adapters.Text(kName)[0] == '\0') {
        CX_TRACE(1, "\n   !!! NO ADAPTER NAME");
        return;
    }
    const DWORD bus_type = adapters.Int(kBusType);
    const DWORD bus_no = adapters.Int(kBusNo);
    const DWORD adapter_no = adapters.Int(kAdapterNo);
    const DWORD devices = adapters.Int(kDevices);
    const DWORD slot = adapters.Int(kSlot);
    const DWORD port = adapters.Int(kPort);
    const DWORD interface_type = adapters.Int(kInterface);
    const DWORD adapter_index = adapters.Int(kAdapterIndex);
    CX_TRACE(5, "\n    Adapter : No %d NrDev %d Idx %02X", adapter_no, devices, adapter_index);
    ScsiCtrl* ctrl = agent.GetSCSICtrl(bus_type, bus_no, port, slot);
    if (ctrl == nullptr) return;
    switch (ctrl->CtrlType) {
        case 1:
        case 2: agent.InitMylex(ctrl); return;
        case 3: agent.InitDPT(ctrl); return;
        case 4:
        case 5: agent.ScanAICDevices(ctrl); return;
        case 6: agent.ScanLSIDevices(ctrl); return;
        case 7: agent.ScanLSISATADevices(ctrl); return;
        case 8: agent.GetTvcRaidDev(ctrl); return;
        default: break;
    }
    if (devices == 0) {
        CX_TRACE(5, "\n    Ini Dev : No Devices");
        return;
    }
    agent.InitSCSIDevice(ctrl, bus_type, bus_no, adapter_no, port, slot, interface_type,
                         adapter_index);
}

void WalkAdapters(CCX_Agent& agent) {
    Session session;
    if (!session.Open()) {
        CX_TRACE(1, "\n!!! CSnmpAdapter.OpenSession() failed!!!");
        return;
    }
    CX_TRACE(1, "\n--> CONNECTED TO SNMP (ADAPTER)");
    if (!agent.CheckMib(CX_SC_HD_ADAPTER_TABLE, kAdapterTableTries)) {
        CX_TRACE(2, "\nCX_MIB InitSCSI     : HD_MIB NOT AVAILABLE !!!");
        session.Close();
        CX_TRACE(1, "\n--> SNMP DISCONNECTED (ADAPTER)");
        return;
    }
    namespace sc = cx::scmib;
    TableWalk adapters(session.manager(), CX_SC_HD_ADAPTER_ENTRY,
                       {sc::kAdapterBusType, sc::kAdapterBusNo, sc::kAdapterNo, sc::kAdapterName,
                        sc::kAdapterDevices, sc::kAdapterSlot, sc::kAdapterPort,
                        sc::kAdapterInterface, sc::kAdapterIndex});
    while (!StopRequested(agent) && adapters.Next())
        HandAdapter(agent, adapters);
    TraceAborts(agent, "CX_MIB InitSCSI     : ");
    if (adapters.Failed()) {
        CX_TRACE(1, "\n!!! CANNOT GET HD ADAPTER ENTRIES");
    } else {
        CX_TRACE(5, "\n   End of HD ADAPTER entries");
    }
    session.Close();
    CX_TRACE(1, "\n--> SNMP DISCONNECTED (ADAPTER)");
}

}  // namespace
}  // namespace cx::storage

void CCX_Agent::InitSCSI() {
    CX_TRACE(3, "\n  CX_Mib: init SCSI Devices");
    LastHandledCtrl = -1;
    try {
        cx::storage::WalkAdapters(*this);
    } catch (...) {
        // The session went with the stack.
        cx::storage::TraceFatal("InitSCSI", "####################################");
    }
}

ScsiCtrl* CCX_Agent::GetSCSICtrl(DWORD bus_type, DWORD bus_no, DWORD port, DWORD slot) {
    using namespace cx::storage;
    if (bus_type == kBusPciAlias) bus_type = kBusPci;
    CX_TRACE(5, "\nGetSCSICtrl : Type/BusNo/Port/Slot %02X %02X %08X %02X", bus_type, bus_no, port,
             slot);
    const bool memory = (port & 0xFFFF0000u) != 0;
    for (int i = 0; i < ScsiCtrlList.Count(); ++i) {
        ScsiCtrl* ctrl = ScsiCtrlList.GetAt(i);
        if (ctrl == nullptr) break;
        CX_TRACE(5, "\nScsiCtrl %d  : Type/BusNo/Port/Slot %02X %02X %08X %02X CtrlType %02X", i,
                 ctrl->BusType, ctrl->BusNo, memory ? ctrl->MemAddr : ctrl->IoPort, ctrl->Slot,
                 ctrl->CtrlType);
        if (ctrl->BusType == bus_type && ctrl->BusNo == bus_no && ctrl->Slot == slot &&
            (memory ? ctrl->MemAddr : ctrl->IoPort) == port) {
            CurPhysContainer = ctrl->PhysCont;
            CurFuncContainer = ctrl->FuncCont;
            return ctrl;
        }
    }
    CX_TRACE(5, "\nGetSCSICtrl : NO CONTROLLER FOUND");
    return nullptr;
}
