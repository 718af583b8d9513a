// The management and switch blade tables of the blade-management MIB, walked row by row on the
// management blade; every row becomes a "BladeSystem" container in the server chassis holding
// the blade and its firmware.
#include "blade_tables.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "base/oid_text.h"
#include "blade_trace.h"
#include "clients/component_types.h"
#include "clients/switch_protocol.h"
#include "framework/agent_globals.h"

namespace cx::blade {
namespace {

// The descriptions, which also name the blades' firmware objects.
constexpr const char* kManagementBladeName = "ManagementBlade";
constexpr const char* kSwitchBladeName = "SwitchBlade";

// Columns by list position; the trailing ".0" is cut, so each walk starts before the first row.
constexpr const char* kManagementColumns[] = {
    ".1.3.6.1.4.1.8265.1.1.1.2.1.1.3.0",  ".1.3.6.1.4.1.8265.1.1.1.2.1.1.4.0",
    ".1.3.6.1.4.1.8265.1.1.1.2.1.1.5.0",  ".1.3.6.1.4.1.8265.1.1.1.2.1.1.6.0",
    ".1.3.6.1.4.1.8265.1.1.1.2.1.1.7.0",  ".1.3.6.1.4.1.8265.1.1.1.2.1.1.8.0",
    ".1.3.6.1.4.1.8265.1.1.1.2.1.1.9.0",  ".1.3.6.1.4.1.8265.1.1.1.2.1.1.10.0",
    ".1.3.6.1.4.1.8265.1.1.1.2.1.1.11.0",
};
constexpr const char* kSwitchColumns[] = {
    ".1.3.6.1.4.1.8265.1.1.1.5.1.1.3.0",  ".1.3.6.1.4.1.8265.1.1.1.5.1.1.4.0",
    ".1.3.6.1.4.1.8265.1.1.1.5.1.1.5.0",  ".1.3.6.1.4.1.8265.1.1.1.5.1.1.6.0",
    ".1.3.6.1.4.1.8265.1.1.1.5.1.1.7.0",  ".1.3.6.1.4.1.8265.1.1.1.5.1.1.8.0",
    ".1.3.6.1.4.1.8265.1.1.1.5.1.1.10.0",
};

// List positions of a row's fields; both tables begin with the same six.
constexpr UINT kVendorColumn = 0;
constexpr UINT kManuDateColumn = 1;
constexpr UINT kSerialNoColumn = 2;
constexpr UINT kProdNameColumn = 3;
constexpr UINT kProdNumberColumn = 4;
constexpr UINT kVersionColumn = 5;
constexpr UINT kFirmwareColumn = 6;  // management blades
constexpr UINT kAddressColumn = 6;   // switch blades

bool ShutdownSignalled() { return AgentShutdown.load() != 0; }
bool AbortRequested(const CCX_Agent& agent) { return agent.m_bAbortRequest.load() != 0; }

void PrepareColumns(CSnmpMgr& manager, const char* const* columns, UINT count) {
    SnmpUtilVarBindListFree(&manager.m_VarBindList);
    manager.ResizeVarBindList(count, FALSE);
    for (UINT i = 0; i < count; ++i)
        manager.SetOID(columns[i], i);
}

const char* ColumnText(CSnmpMgr& manager, UINT position) {
    return manager.GetString(manager.GetVarBind(position));
}

void FillBladeEntry(CSnmpMgr& manager, DWORD type, ComponentEntry* entry) {
    entry->Clear();
    entry->CompType = type;
    CopyEntryText(entry->Vendor, ColumnText(manager, kVendorColumn));
    CopyEntryText(entry->ManuDate, ColumnText(manager, kManuDateColumn));
    CopyEntryText(entry->SerialNo, ColumnText(manager, kSerialNoColumn));
    CopyEntryText(entry->ProdName, ColumnText(manager, kProdNameColumn));
    CopyEntryText(entry->ProdNumber, ColumnText(manager, kProdNumberColumn));
    CopyEntryText(entry->Version, ColumnText(manager, kVersionColumn));
}

void TraceEntry(const ComponentEntry& entry) {
    BLADE_TRACE(5, " %s", entry.Vendor);
    for (const char* field : {entry.ProdName, entry.ProdNumber, entry.SerialNo, entry.ProdDescript,
                              entry.Version, entry.ManuDate}) {
        CX_TRACE(5, "\n                      %s", field);
    }
}

// Every blade is a container of its own in the server chassis and sits in the server cabinet.
void OpenBladeContainer(const BladeWalk& walk) {
    walk.agent.InsertFunctionalContainer("BladeSystem", walk.server.FuncCont, nullptr, -1);
}

void InsertBlade(const BladeWalk& walk, ComponentEntry* entry) {
    walk.agent.CurPhysContainer = walk.server.PhysCont;
    walk.agent.InsertComponent(entry);
}

void InsertFirmwareObject(CCX_Agent& agent, const char* description, int n, const char* address) {
    FwUpdateObject object;
    std::snprintf(object.ObjectName, sizeof(object.ObjectName), "BladeSystem:%s.%d.IP%s",
                  description, n, address);
    agent.InsertFwUpdateObject(&object);
}

// The firmware row follows its blade with the same texts, but without the hardware's part
// number, serial number and date.
void InsertFirmwareEntry(CCX_Agent& agent, ComponentEntry* entry, const char* version) {
    entry->CompType = kCompFirmware;
    CopyEntryText(entry->Version, version);
    const std::size_t used = std::strlen(entry->ProdDescript);
    std::snprintf(entry->ProdDescript + used, sizeof(entry->ProdDescript) - used, " FW");
    entry->ManuDate[0] = '\0';
    entry->ProdNumber[0] = '\0';
    entry->SerialNo[0] = '\0';
    BLADE_TRACE(5, " %s", entry->ProdDescript);
    CX_TRACE(5, "\n                      %s", entry->Version);
    agent.InsertComponent(entry);
}

// SWITCH's text for switch blade n, at most 127 characters; "N/A" without an answer. The
// switch blades' firmware versions are known to SWITCH, not to the management blade.
void SwitchFirmwareVersion(CCX_Agent& agent, int n, char* version) {
    CSwitchCommand command;
    command.SetRequest(switch_op::kComponentItem, switch_item::kSwitchBladeFirmware,
                       static_cast<DWORD>(n), agent.ServerCabinetNr, CMD_STATUS_REQUEST);
    agent.SwitchRequest(&command);
    CopyEntryText(version, command.IsOk(0, FALSE) ? command.GetDataString() : "N/A");
}

}  // namespace

void SwitchBladeAddress(const AsnAny& value, char* text, std::size_t size) {
    const bool octets = value.asnType == ASN_IPADDRESS || value.asnType == ASN_OCTETSTRING;
    const AsnOctetString& address = value.asnValue.address;
    if (!octets || address.stream == nullptr || address.length < 4) {
        std::snprintf(text, size, "0.0.0.0");
        return;
    }
    std::snprintf(text, size, "%u.%u.%u.%u", address.stream[0], address.stream[1],
                  address.stream[2], address.stream[3]);
}

WalkEnd WalkManagementBlades(const BladeWalk& walk) {
    CSnmpMgr& manager = walk.manager;
    PrepareColumns(manager, kManagementColumns, std::size(kManagementColumns));
    ComponentEntry entry;
    int n = 0;
    for (;;) {
        if (!manager.GetNextInTable(nullptr)) {
            BLADE_TRACE(1, " NO %s REQUESTS", n > 0 ? "MORE" : "!!!");
            if (ShutdownSignalled()) return WalkEnd::kStop;
            break;
        }
        BLADE_TRACE(3, " REQUEST %d", n + 1);
        OpenBladeContainer(walk);
        FillBladeEntry(manager, kCompManagementBlade, &entry);
        CopyEntryText(entry.ProdDescript, kManagementBladeName);
        TraceEntry(entry);
        InsertBlade(walk, &entry);
        InsertFirmwareObject(walk.agent, kManagementBladeName, n, walk.management_address);
        InsertFirmwareEntry(walk.agent, &entry, ColumnText(manager, kFirmwareColumn));
        ++n;
        if (ShutdownSignalled()) return WalkEnd::kStop;
        if (AbortRequested(walk.agent)) break;
    }
    return AbortRequested(walk.agent) ? WalkEnd::kStop : WalkEnd::kGoOn;
}

WalkEnd WalkSwitchBlades(const BladeWalk& walk) {
    CSnmpMgr& manager = walk.manager;
    PrepareColumns(manager, kSwitchColumns, std::size(kSwitchColumns));
    ComponentEntry entry;
    int n = 0;
    while (manager.GetNextInTable(nullptr)) {
        BLADE_TRACE(3, " REQUEST %d", n + 1);
        OpenBladeContainer(walk);
        FillBladeEntry(manager, kCompNetworkController, &entry);
        char address[16];
        SwitchBladeAddress(manager.GetVarBind(kAddressColumn).value, address, sizeof(address));
        CX_TRACE(5, "\n  Switch Blade IP-Address %s", address);
        CopyEntryText(entry.ProdDescript, kSwitchBladeName);
        TraceEntry(entry);
        InsertBlade(walk, &entry);
        InsertFirmwareObject(walk.agent, kSwitchBladeName, n, address);
        char version[kEntryTextSize];
        SwitchFirmwareVersion(walk.agent, n, version);
        InsertFirmwareEntry(walk.agent, &entry, version);
        ++n;
        if (ShutdownSignalled() || AbortRequested(walk.agent)) return WalkEnd::kStop;
    }
    BLADE_TRACE(1, " NO %s REQUESTS", n > 0 ? "MORE" : "!!!");
    return WalkEnd::kGoOn;
}

}  // namespace cx::blade
