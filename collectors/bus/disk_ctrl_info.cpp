// DiskCtrlInfo: a controller's first I/O port, first memory address and interrupt from the
// resource tables of the server management agent, each keyed by the controller's bus address.
#include <cstdio>

#include "base/file_debug.h"
#include "base/oid_text.h"
#include "bus_steps.h"

namespace {

// The first range of the device: the first row below the column and its four index numbers.
bool FirstRange(CSnmpMgr& session, const char* entry, unsigned column, const BusDevInfo& info,
                DWORD* value) {
    char oid[128];
    std::snprintf(oid, sizeof(oid), "%s.%u.%d.%d.%d.%d", entry, column, info.BusType, info.BusNo,
                  info.DevNo, info.FuncNo);
    if (!session.GetNextInTable(oid)) return false;
    *value = session.GetInteger(session.GetVarBind(0));
    return true;
}

bool Interrupt(CSnmpMgr& session, const BusDevInfo& info, DWORD* value) {
    char oid[128];
    std::snprintf(oid, sizeof(oid), "%s.%u.%d.%d.%d", CX_SC_INTERRUPT_ENTRY,
                  cx::scmib::kInterruptLevel, info.BusNo, info.DevNo, info.FuncNo);
    SnmpVarBind binding{};
    binding.value.asnType = ASN_NULL;
    StringToOid(oid, &binding.name);
    const bool found = session.RequestVarBind(SNMP_PDU_GET, binding, nullptr) != FALSE;
    if (found) *value = session.GetInteger(binding);
    SnmpUtilVarBindFree(&binding);
    return found;
}

}  // namespace

BOOL CCX_Agent::DiskCtrlInfo(CSnmpMgr* session, ScsiCtrl* scsi_ctrl) {
    CX_TRACE(5, "\nCX_MIB DiskCtrlInfo : GET IO by SNMP");
    BOOL result = FirstRange(*session, CX_SC_IO_RANGE_ENTRY, cx::scmib::kIoRangeFirstPort,
                             *scsi_ctrl, &scsi_ctrl->IoPort);
    if (!result) CX_TRACE(3, "\nCX_MIB DiskCtrlInfo : CANNOT GET IO");
    if (scsi_ctrl->BusType == cx::bus::kBusPci) {
        result = TRUE;
        CX_TRACE(5, "\nCX_MIB DiskCtrlInfo : GET MEM by SNMP");
        if (!FirstRange(*session, CX_SC_MEMORY_RANGE_ENTRY, cx::scmib::kMemoryRangeStart,
                        *scsi_ctrl, &scsi_ctrl->MemAddr))
            CX_TRACE(3, "\nCX_MIB DiskCtrlInfo : CANNOT GET MEM");
        CX_TRACE(5, "\nCX_MIB DiskCtrlInfo : GET INT by SNMP");
        if (!Interrupt(*session, *scsi_ctrl, &scsi_ctrl->Irq))
            CX_TRACE(3, "\nCX_MIB DiskCtrlInfo : CANNOT GET INT");
    }
    if (result) {
        CX_TRACE(5, "\nCX_MIB DiskCtrlInfo : IO/Mem/Int %04X %08X %02X", scsi_ctrl->IoPort,
                 scsi_ctrl->MemAddr, scsi_ctrl->Irq);
    }
    return result;
}
