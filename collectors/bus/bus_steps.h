// The steps of the bus collector and what they share: one row of the bus table on its way to
// the inventory, the two manager sessions it is read with, and the text rules of the rows.
#pragma once

#include <cstddef>

#include "inventory/cx_agent.h"
#include "sc_mib/sc_mib_oids.h"

namespace cx::bus {

// The bus table of the server management agent and the bus types it lists.
inline constexpr const char* kBusTableRoot = CX_SC_BUS_TABLE;
inline constexpr DWORD kBusIsa = 2;
inline constexpr DWORD kBusEisa = 3;
inline constexpr DWORD kBusPci = 5;

// Walk positions of the columns 1 to 9 of a row.
enum BusColumn : UINT {
    kColBusType,
    kColBusNo,
    kColDevNo,
    kColFuncNo,
    kColDevClass,
    kColDescription,
    kColDeviceName,
    kColVendor,
    kColSlot,
    kBusColumns
};

// One row while it is classified and recorded.
struct BusRow {
    BusDevInfo info;
    ComponentEntry component;
    FwUpdateObject firmware;
};

// The walk's surroundings: the agent, and the lookup session for single objects of the
// server management agent (hardware addresses, resources).
struct BusWalk {
    CCX_Agent& agent;
    CSnmpMgr& lookup;
};

// How a class rule left the row: recorded (or skipped) already, or to be recorded plainly.
enum class RowEnd { kDone, kPlain };

bool StopRequested(const CCX_Agent& agent);

// Step by step, in the order InitBus takes them for every row.
void ReadBusAddress(CSnmpMgr& walk, BusDevInfo* info);
void ReadPciIdentification(CCX_Agent& agent, BusDevInfo* info);
void FillComponent(CSnmpMgr& walk, BusRow* row);
RowEnd ClassifyRow(const BusWalk& walk, BusRow& row);
void RecordPlainly(CCX_Agent& agent, BusRow& row);

// The text rules: the "[n]" prefix a device name may carry, and a hardware address as
// "MAC:00-0E-0C-3A-5B-7F".
void RemoveIndexPrefix(char* name);
void MacAddressText(const BYTE* bytes, std::size_t length, char* text, std::size_t size);
bool StartsWithNoCase(const char* text, const char* prefix);

}  // namespace cx::bus
