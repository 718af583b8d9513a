// The device classes of the bus table: one rule per class, chosen from a table, deciding the
// component type, the functional container and whether the row is a storage controller.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "base/file_debug.h"
#include "base/oid_text.h"
#include "bus_steps.h"

namespace cx::bus {
namespace {

// Fibre Channel adapters that the storage handlers know.
constexpr WORD kFibreChannelVendor = 0x10DF;
constexpr WORD kFibreChannelDevices[] = {0x1AE5, 0xF700, 0xF800, 0xF900, 0xF980};
// Management boards on PCI; the subsystem tells a remote-service board from a management
// controller.
constexpr WORD kBoardVendors[] = {0x110A, 0x1734};
constexpr WORD kBoardDevices[] = {0x007B, 0x1036, 0x1049};
constexpr WORD kServiceBoardSubsystems[] = {0x007E, 0x103A, 0x104D};
// Processor-class devices whose names mark them as storage controllers.
constexpr const char* kStorageProcessorNames[] = {"dac", "dpt", "adaptec"};

template <class List>
bool Listed(const List& list, WORD id) {
    return std::find(std::begin(list), std::end(list), id) != std::end(list);
}

void ResetToBaseBoard(CCX_Agent& agent) { agent.CurFuncContainer = agent.BaseBoardContainerNr; }

BOOL StorageController(const BusWalk& walk, BusRow& row) {
    return walk.agent.GetStorageCtrlInfo(&row.component, &walk.lookup, &row.info);
}

void NameFirmware(BusRow& row, const char* kind) {
    std::snprintf(row.firmware.ObjectName, sizeof(row.firmware.ObjectName), "%s:PCI%d.%d.%d", kind,
                  row.info.BusNo, row.info.DevNo, row.info.FuncNo);
}

// The hardware address column of the row's own index; an empty or missing value leaves the
// adapter without serial number and firmware object.
void LookUpMacAddress(const BusWalk& walk, BusRow& row) {
    const BusDevInfo& info = row.info;
    char oid[128];
    std::snprintf(oid, sizeof(oid), "%s.%u.%d.%d.%d.%d", CX_SC_BUS_ENTRY, scmib::kBusMacAddress,
                  info.BusType, info.BusNo, info.DevNo, info.FuncNo);
    CX_TRACE(5, "\n   find MAC Address : at %s", oid);
    SnmpVarBind binding{};
    binding.value.asnType = ASN_NULL;
    StringToOid(oid, &binding.name);
    if (walk.lookup.RequestVarBind(SNMP_PDU_GET, binding, nullptr) &&
        binding.value.asnType == ASN_OCTETSTRING && binding.value.asnValue.string.length > 0 &&
        binding.value.asnValue.string.stream != nullptr) {
        const AsnOctetString& octets = binding.value.asnValue.string;
        MacAddressText(octets.stream, octets.length, row.component.SerialNo,
                       sizeof(row.component.SerialNo));
        NameFirmware(row, "LanController");
    }
    SnmpUtilVarBindFree(&binding);
}

RowEnd SystemDevice(const BusWalk& walk, BusRow& row) {
    row.component.CompType = kCompBusDevice;
    // The management agent's own bus devices are not inventory.
    if (std::strstr(row.component.ProdName, "Management") != nullptr) return RowEnd::kDone;
    ResetToBaseBoard(walk.agent);
    return RowEnd::kPlain;
}

RowEnd StorageDevice(const BusWalk& walk, BusRow& row) {
    if (std::strstr(row.component.ProdName, "Floppy") != nullptr) return RowEnd::kDone;
    return StorageController(walk, row) ? RowEnd::kDone : RowEnd::kPlain;
}

RowEnd FibreChannelDevice(const BusWalk& walk, BusRow& row) {
    row.component.CompType = kCompSystemDevice;
    BOOL recorded = FALSE;
    if (row.info.VendorId == kFibreChannelVendor &&
        Listed(kFibreChannelDevices, row.info.DeviceId)) {
        CX_TRACE(3, "\nCX_MIB InitBus      : Emulex Fibre Channel");
        recorded = StorageController(walk, row);
    }
    ResetToBaseBoard(walk.agent);
    return recorded ? RowEnd::kDone : RowEnd::kPlain;
}

// Every adapter gets a container of its own.
RowEnd NetworkController(const BusWalk& walk, BusRow& row) {
    row.component.CompType = kCompNetworkController;
    walk.agent.InsertFunctionalContainer("LANSystem", walk.agent.SubsystemContainerNr, nullptr, -1);
    LookUpMacAddress(walk, row);
    return RowEnd::kPlain;
}

RowEnd GraphicsController(const BusWalk& walk, BusRow& row) {
    row.component.CompType = kCompGraphicsController;
    walk.agent.InsertFunctionalContainer("GraphicSystem", walk.agent.SubsystemContainerNr, nullptr,
                                         -1);
    return RowEnd::kPlain;
}

RowEnd ManagementDevice(const BusWalk& walk, BusRow& row) {
    const BusDevInfo& info = row.info;
    row.component.CompType = kCompBusDevice;
    if (info.BusType == kBusPci && Listed(kBoardVendors, info.VendorId) &&
        Listed(kBoardDevices, info.DeviceId)) {
        const bool service_board = Listed(kServiceBoardSubsystems, info.SubSystemId);
        row.component.CompType = service_board ? kCompRemoteServiceBoard : kCompManagementCtrl;
        row.firmware.CompIndex =
            static_cast<LONG>(service_board ? walk.agent.RsbCompNr : walk.agent.MgmtCompNr);
        NameFirmware(row, service_board ? "RemoteServiceBoard" : "ManagementController");
    }
    ResetToBaseBoard(walk.agent);
    return RowEnd::kPlain;
}

RowEnd CommunicationDevice(const BusWalk& walk, BusRow& row) {
    row.component.CompType = kCompOtherBusDevice;
    ResetToBaseBoard(walk.agent);
    return RowEnd::kPlain;
}

RowEnd ProcessorDevice(const BusWalk& walk, BusRow& row) {
    row.component.CompType = kCompProcessor;
    const char* name = row.component.ProdName;
    if (std::any_of(std::begin(kStorageProcessorNames), std::end(kStorageProcessorNames),
                    [name](const char* prefix) { return StartsWithNoCase(name, prefix); })) {
        return StorageController(walk, row) ? RowEnd::kDone : RowEnd::kPlain;
    }
    ResetToBaseBoard(walk.agent);
    return RowEnd::kPlain;
}

RowEnd OtherDevice(const BusWalk& walk, BusRow& row) {
    ResetToBaseBoard(walk.agent);
    row.component.CompType = kCompBusDevice;
    return RowEnd::kPlain;
}

struct ClassRule {
    DWORD first;
    DWORD last;
    RowEnd (*handle)(const BusWalk&, BusRow&);
};

// Classes not listed (11, anything above 14, negative numbers) are plain devices.
constexpr ClassRule kClassRules[] = {
    {0, 0, SystemDevice},       {1, 4, StorageDevice},         {5, 5, FibreChannelDevice},
    {6, 6, NetworkController},  {7, 7, GraphicsController},    {8, 10, FibreChannelDevice},
    {12, 12, ManagementDevice}, {13, 13, CommunicationDevice}, {14, 14, ProcessorDevice},
};

}  // namespace

RowEnd ClassifyRow(const BusWalk& walk, BusRow& row) {
    const DWORD device_class = row.info.DevClass;
    for (const ClassRule& rule : kClassRules) {
        if (device_class >= rule.first && device_class <= rule.last) return rule.handle(walk, row);
    }
    return OtherDevice(walk, row);
}

}  // namespace cx::bus
