// Remote service boards of every cabinet, their addresses as firmware objects, and their
// firmware.
#include <cstdio>

#include "base/file_debug.h"
#include "cabinet_steps.h"

namespace cx::cabinet {
namespace {

struct IpAddress {
    BYTE bytes[4] = {};
};

// The board's address; 0.0.0.0 unless SWITCH answers with exactly four bytes.
IpAddress AskAddress(CCX_Agent& agent, DWORD item, const CabinetRecord& cabinet,
                     const char* board) {
    IpAddress address;
    CSwitchCommand command;
    Ask(agent, command, switch_op::kSwitchItem, item, 0, cabinet.CabinetNr);
    if (!command.IsOk(4, FALSE)) return address;
    for (DWORD i = 0; i < 4; ++i)
        address.bytes[i] = command.GetByte(i);
    CX_TRACE(5, "\n   (%s IP_Addr: %d.%d.%d.%d)", board, address.bytes[0], address.bytes[1],
             address.bytes[2], address.bytes[3]);
    return address;
}

void InsertExtensionBoardObject(CCX_Agent& agent, const CabinetRecord& cabinet, const char* board) {
    const DWORD item = cx::StartsWithIgnoringCase(board, "Vex ")
                           ? switch_ext::kVexServiceBoardAddress
                           : switch_ext::kServiceBoardAddress;
    const IpAddress ip = AskAddress(agent, item, cabinet, board);
    char name[kEntryTextSize];
    std::snprintf(name, sizeof(name), "RemoteServiceBoard:CABINET%d.IP%d.%d.%d.%d",
                  cabinet.CabinetNr, ip.bytes[0], ip.bytes[1], ip.bytes[2], ip.bytes[3]);
    InsertFirmwareObject(agent, name);
    CX_TRACE(5, "\n   (RSB in Cabinet %d)", cabinet.CabinetNr);
}

// Only the server's own boards that can be updated over the network get an object.
void InsertServerBoardObject(CCX_Agent& agent, const CabinetRecord& cabinet, const char* board) {
    agent.RsbCompNr = agent.NrComponents;
    CX_TRACE(5, "\n   (RSB CompNr: %d)", agent.RsbCompNr);
    const bool vex = cx::StartsWithIgnoringCase(board, "Vex ");
    if (!vex && !cx::StartsWithIgnoringCase(board, "Velm T4 Q")) return;
    const IpAddress ip = AskAddress(
        agent, vex ? switch_ext::kVexServiceBoardAddress : switch_ext::kVelmServiceBoardAddress,
        cabinet, board);
    char name[kEntryTextSize];
    std::snprintf(name, sizeof(name), "RemoteServiceBoard:IP%d.%d.%d.%d", ip.bytes[0], ip.bytes[1],
                  ip.bytes[2], ip.bytes[3]);
    InsertFirmwareObject(agent, name);
}

void InsertBoard(CCX_Agent& agent, const CabinetRecord& cabinet) {
    ComponentEntry entry;
    if (!agent.GetInfoBySwitch(&entry, "Info.RSBBoard", 0, cabinet.CabinetNr)) return;
    if (entry.ProdName[0] == '\0') return;
    CX_TRACE(5, "\n   (RSB: Cabinet %d PhysCont %d FuncCont %d)", cabinet.CabinetNr,
             cabinet.PhysCont, cabinet.FuncCont);
    MakeCurrent(agent, cabinet);
    agent.InsertComponent(&entry);
    if (cabinet.Index == 0) {
        InsertServerBoardObject(agent, cabinet, entry.ProdName);
    } else {
        InsertExtensionBoardObject(agent, cabinet, entry.ProdName);
    }
}

void InsertBoardFirmware(CCX_Agent& agent, const CabinetRecord& cabinet) {
    ComponentEntry entry;
    if (!agent.GetInfoBySwitch(&entry, "Info.RSBBoardFW", 0, cabinet.CabinetNr)) return;
    if (entry.ProdName[0] == '\0') return;
    CX_TRACE(5, "\n   (RSBFW: Cabinet %d PhysCont %d FuncCont %d)", cabinet.CabinetNr,
             cabinet.PhysCont, cabinet.FuncCont);
    MakeCurrent(agent, cabinet);
    agent.InsertComponent(&entry);
}

}  // namespace

void InsertServiceBoards(CCX_Agent& agent, CabinetList& cabinets) {
    for (const CabinetRecord& cabinet : cabinets) {
        if (StopRequested(agent)) return;
        InsertBoard(agent, cabinet);
        InsertBoardFirmware(agent, cabinet);
    }
}

}  // namespace cx::cabinet
