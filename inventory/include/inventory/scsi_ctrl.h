// The storage-controller record the bus collector passes to the storage collectors, and the
// bus address it starts from.
#pragma once

#include "base/locked_list.h"
#include "platform/windef.h"

// Bus address and PCI identification of one row of the bus table.
struct BusDevInfo {
    DWORD BusType = 0;
    DWORD BusNo = 0;
    DWORD DevNo = 0;
    DWORD Slot = 0;
    DWORD FuncNo = 0;
    DWORD DevClass = 0;
    WORD VendorId = 0;
    WORD DeviceId = 0;
    WORD SubVendorId = 0;
    WORD SubSystemId = 0;
    WORD Revision = 0;
};

// One storage-like device of this scan; the controller list owns it.
struct ScsiCtrl : BusDevInfo {
    DWORD CabinetNo = 0;
    DWORD PhysCont = 0;
    DWORD FuncCont = 0;
    DWORD IoPort = 0;
    DWORD MemAddr = 0;
    DWORD Irq = 0;
    DWORD CtrlType = 0;  // 0: recorded generically
    DWORD CtrlIndex = 0;
    char CtrlName[128] = {};
};

using CScsiCtrlList = LockedList<ScsiCtrl>;

// What a device's description is followed by in the inventory: " (ISA)", " (EISA)", " (PCI)",
// or " (unknown)" for any other bus type.
const char* BusTypeSuffix(DWORD bus_type);
