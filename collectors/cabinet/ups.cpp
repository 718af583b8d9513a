// UPS units: the one SWITCH knows and those the local SNMP agents describe.
#include <cstring>

#include "base/file_debug.h"
#include "cabinet_steps.h"

namespace cx::cabinet {
namespace {

// UPS units of that make are read through SNMP, where they describe themselves better.
void InsertSwitchUps(CCX_Agent& agent, const CabinetRecord& server) {
    ComponentEntry entry;
    if (!agent.GetInfoBySwitch(&entry, "Info.UPS", 0, server.CabinetNr)) return;
    if (entry.ProdName[0] == '\0' || StartsWith(entry.ProdName, "APC")) return;
    agent.InsertComponent(&entry);
}

void InsertSnmpUps(CCX_Agent& agent, CSnmpMgr& manager, const char* section, LONG row) {
    const char* method = agent.GetMethod(section);
    if (method == nullptr) method = "";
    if (std::strstr(method, "SNMP") == nullptr) {
        CX_TRACE(2, "\n  !!! CANNOT DETERMINE %s", method);
        return;
    }
    ComponentEntry entry;
    agent.GetInfoBySnmp(&entry, &manager, section, row);
    if (entry.ProdName[0] == '\0') return;
    if (row == 0) {
        // The standard UPS MIB has no fixed vendor or version text to fall back on.
        if (entry.Vendor[0] == '\0') CopyEntryText(entry.Vendor, "unknown");
        if (entry.Version[0] == '\0') CopyEntryText(entry.Version, "N/A");
    } else if (entry.ManuDate[0] != '\0') {
        agent.ConvertManuDate(&entry);
    }
    agent.InsertComponent(&entry);
}

}  // namespace

void InsertUps(CCX_Agent& agent, const CabinetList& cabinets, CSnmpMgr& manager) {
    const CabinetRecord& server = cabinets[0];
    MakeCurrent(agent, server);
    CSwitchCommand command;
    Ask(agent, command, switch_op::kSwitchItem, switch_ext::kUpsCount, 0, agent.ServerCabinetNr);
    const DWORD count = ByteAnswer(command);
    CX_TRACE(3, "\n  Number of UPS %d", count);
    if (count == 0) return;
    InsertSwitchUps(agent, server);
    const char* const sections[] = {"Info.UPS1", "Info.UPS2", "Info.UPS3"};
    for (LONG row = 0; row < 3; ++row) {
        if (StopRequested(agent)) return;
        InsertSnmpUps(agent, manager, sections[row], row);
    }
}

}  // namespace cx::cabinet
