// The cabinets: the server's and its storage extensions', their chassis, their power and the
// blade-system check.
#include "base/file_debug.h"
#include "cabinet_steps.h"

namespace cx::cabinet {
namespace {

void UnknownWhenEmpty(ComponentEntry& entry) {
    if (entry.ProdName[0] == '\0') CopyEntryText(entry.ProdName, "unknown");
}

}  // namespace

CabinetList ListCabinets(CCX_Agent& agent) {
    CSwitchCommand command;
    Ask(agent, command, switch_op::kServerCabinet, 0, 0, 0);
    // Only a valid answer replaces the number: it also stands for the server's cabinet in every
    // later request, of this scan and the next.
    if (command.IsOk(2, FALSE)) agent.ServerCabinetNr = command.GetWord(0);
    Ask(agent, command, switch_op::kCabinetList, 0, 0, agent.ServerCabinetNr);
    const DWORD count = command.IsOk(0, FALSE) ? command.GetHeader()->DataLength / 2 + 1 : 1;
    CX_TRACE(3, "\n  Number of Cabinets %d", count);
    CabinetList cabinets(count);
    cabinets[0].CabinetNr = agent.ServerCabinetNr;
    CX_TRACE(3, "\n  Server Cabinet Nr : %d", cabinets[0].CabinetNr);
    for (DWORD i = 1; i < count; ++i) {
        cabinets[i].CabinetNr = command.GetWord(i - 1);
        cabinets[i].Index = i;
        CX_TRACE(3, "\n   SE %02d Cabinet Nr : %d", i, cabinets[i].CabinetNr);
    }
    return cabinets;
}

void InsertCabinets(CCX_Agent& agent, CabinetList& cabinets, DWORD root) {
    for (CabinetRecord& cabinet : cabinets) {
        if (StopRequested(agent)) return;
        ComponentEntry entry;
        if (!agent.GetInfoBySwitch(&entry, "Info.Cabinets", 0, cabinet.CabinetNr)) continue;
        UnknownWhenEmpty(entry);
        CopyEntryText(cabinet.Name, entry.ProdName);
        agent.InsertPhysicalContainer(
            entry.ProdName, root, cabinet.Index == 0 ? "ServerCabinet" : "StorageExtension", -1);
        cabinet.PhysCont = agent.NrPhysContainers;
        agent.InsertComponent(&entry);
    }
}

void InsertChassis(CCX_Agent& agent, CabinetList& cabinets, DWORD root) {
    for (CabinetRecord& cabinet : cabinets) {
        if (StopRequested(agent)) return;
        ComponentEntry entry;
        if (!agent.GetInfoBySwitch(&entry, "Info.Chassis", 0, cabinet.CabinetNr)) continue;
        UnknownWhenEmpty(entry);
        agent.CurPhysContainer = cabinet.PhysCont;
        agent.InsertFunctionalContainer(entry.ProdName, root, "FuncChassis", -1);
        agent.InsertComponent(&entry);
        cabinet.FuncCont = agent.NrFuncContainers;
    }
    for (const CabinetRecord& cabinet : cabinets) {
        CX_TRACE(5, "\n   (CAB: Cabinet %d PhysCont %d FuncCont %d)", cabinet.CabinetNr,
                 cabinet.PhysCont, cabinet.FuncCont);
    }
}

void InsertPower(CCX_Agent& agent, CabinetList& cabinets) {
    for (CabinetRecord& cabinet : cabinets) {
        if (StopRequested(agent)) return;
        agent.GetComponentInfo("Info.PowerBackplane", &cabinet, 0, TRUE);
        MakeCurrent(agent, cabinet);
        agent.GetPowerSupplies(cabinet.CabinetNr);
    }
}

void CheckBladeSystem(CCX_Agent& agent, CabinetList& cabinets) {
    CSwitchCommand command;
    Ask(agent, command, switch_op::kBladeSystem, 0, 0, agent.ServerCabinetNr);
    if (!command.IsOk(1, FALSE) || command.GetByte(0) != 0) return;
    CX_TRACE(5, "\n  Check Management Blade Info");
    agent.ChkBlade(cabinets.data(), static_cast<DWORD>(cabinets.size()));
}

}  // namespace cx::cabinet
