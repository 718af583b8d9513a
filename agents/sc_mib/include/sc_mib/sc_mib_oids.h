// The tables SC_MIB serves below 1.3.6.1.4.1.7391.2.10.2.2 (module CATALIX-SERVER-CONTROL-MIB in
// mibs/), as the agent builds them and the inventory's bus and storage collectors read them.
// Header only: the collectors reach the agent over SNMP and share nothing of it but these
// numbers. A column's OID is its entry's followed by the column's number, then the row's index.
#pragma once

// Dotted text with the leading dot the manager sessions take.
#define CX_SC_MIB_ROOT ".1.3.6.1.4.1.7391.2.10.2.2"
#define CX_SC_HD_ADAPTER_TABLE CX_SC_MIB_ROOT ".3.1"
#define CX_SC_HD_ADAPTER_ENTRY CX_SC_HD_ADAPTER_TABLE ".1"
#define CX_SC_HD_DEVICE_ENTRY CX_SC_MIB_ROOT ".3.2.1"
#define CX_SC_BUS_TABLE CX_SC_MIB_ROOT ".4.1.4"
#define CX_SC_BUS_ENTRY CX_SC_BUS_TABLE ".1"
#define CX_SC_INTERRUPT_ENTRY CX_SC_MIB_ROOT ".4.3.1.1"
#define CX_SC_MEMORY_RANGE_ENTRY CX_SC_MIB_ROOT ".4.4.1.1"
#define CX_SC_IO_RANGE_ENTRY CX_SC_MIB_ROOT ".4.4.4.1"

namespace cx::scmib {

// The two views the agent registers: the hard-disk tables and the PCI tables.
constexpr const char* kHdRegion = CX_SC_MIB_ROOT ".3";
constexpr const char* kPciRegion = CX_SC_MIB_ROOT ".4";

// The bus type of every row the agent serves.
constexpr unsigned kBusTypePci = 5;

// Bus table; index: bus type, bus, device, function.
enum BusColumn : unsigned {
    kBusBusType = 1,
    kBusBusNo,
    kBusDevNo,
    kBusFuncNo,
    kBusDevClass,
    kBusDescription,
    kBusDeviceName,
    kBusVendorName,
    kBusSlot,
    kBusMacAddress,
};

// Memory and I/O range tables; index: bus type, bus, device, function, range.
enum RangeColumn : unsigned {
    kRangeBusType = 1,
    kRangeBusNo,
    kRangeDevNo,
    kRangeFuncNo,
    kRangeNo,
    kIoRangeFirstPort = 6,
    kIoRangeLength = 7,
    kMemoryRangeStart = 7,
    kMemoryRangeLength = 8,
};

// Interrupt table; index: bus, device, function.
enum InterruptColumn : unsigned {
    kInterruptBusNo = 1,
    kInterruptDevNo,
    kInterruptFuncNo,
    kInterruptLevel = 12,
};

// Hard-disk adapter table; index: bus type, bus, adapter.
enum AdapterColumn : unsigned {
    kAdapterBusType = 1,
    kAdapterBusNo,
    kAdapterNo,
    kAdapterName = 7,
    kAdapterDevices,
    kAdapterSlot,
    kAdapterPort,
    kAdapterInterface,
    kAdapterIndex,
};

// Hard-disk device table; index: bus type, bus, adapter, channel, target, logical unit.
enum DeviceColumn : unsigned {
    kDeviceAdapterNo = 3,
    kDeviceInquiry = 5,
    kDeviceType = 8,
    kDeviceChannel = 21,
    kDeviceTarget,
    kDeviceLun,
};

}  // namespace cx::scmib
