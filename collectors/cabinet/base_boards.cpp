// The server's base boards in their own functional container, and its BIOS.
#include <cstdio>
#include <cstring>

#include "base/file_debug.h"
#include "cabinet_steps.h"

namespace cx::cabinet {
namespace {

// Base boards of the family carry their model in the part number after this prefix.
constexpr const char* kBoardPartPrefix = "Q47120-";

// A board SWITCH gives no name: the second source first, then the part number. The second
// source replaces the board's texts only when it knows the board's name or part number, so that
// a second source with nothing to say does not wipe the part number the name is built from.
void CompleteBoardName(CCX_Agent& agent, ComponentEntry& entry) {
    if (entry.ProdName[0] == '\0' && MethodIs(agent, "Info.BaseBoard2", "SWITCH")) {
        ComponentEntry second;
        if (agent.GetInfoBySwitch(&second, "Info.BaseBoard2", 0, CMD_CABINET_SERVER) &&
            (second.ProdName[0] != '\0' || second.ProdNumber[0] != '\0')) {
            entry = second;
        }
    }
    if (entry.ProdName[0] != '\0') return;
    CX_TRACE(3, "\n  Substitute ProdName by ProdNr");
    const char* part = std::strstr(entry.ProdNumber, kBoardPartPrefix);
    CopyEntryText(entry.ProdName, part != nullptr ? part + std::strlen(kBoardPartPrefix) : "N/A");
}

void InsertBoard(CCX_Agent& agent, DWORD board) {
    ComponentEntry entry;
    if (!agent.GetInfoBySwitch(&entry, "Info.BaseBoard", board, CMD_CABINET_SERVER)) return;
    CompleteBoardName(agent, entry);
    if (entry.ProdName[0] == '\0') {
        CX_TRACE(2, "\n   !!! NO BASE BOARD INFO");
        return;
    }
    CX_TRACE(2, "\n   Base Board %s", entry.ProdName);
    CX_TRACE(2, "\n   Prod Nr    %s", entry.ProdNumber);
    agent.InsertComponent(&entry);
    char name[kEntryTextSize] = "BaseBoard";
    if (board != 0) std::snprintf(name, sizeof(name), "BaseBoard:%d", board);
    InsertFirmwareObject(agent, name);
}

}  // namespace

void InsertBaseBoards(CCX_Agent& agent) {
    agent.InsertFunctionalContainer("BaseBoard", agent.SubsystemContainerNr, nullptr, -1);
    agent.BaseBoardContainerNr = agent.NrFuncContainers;
    CSwitchCommand command;
    Ask(agent, command, switch_op::kComponentCount,
        agent.m_RequestTable.ReadInt("Info.BaseBoard", "Class", 0), 0, agent.ServerCabinetNr);
    const DWORD count = ByteAnswer(command);
    CX_TRACE(3, "\n  Number of Components %d", count);
    for (DWORD board = 0; board < count && !StopRequested(agent); ++board)
        InsertBoard(agent, board);
}

void InsertBios(CCX_Agent& agent) {
    ComponentEntry entry;
    if (!agent.GetInfoBySwitch(&entry, "Info.BIOS", 0, CMD_CABINET_SERVER)) return;
    CopyEntryText(entry.ProdName, "BIOS");
    if (entry.ManuDate[0] != '\0') agent.ConvertManuDate(&entry);
    CX_TRACE(5, "\n   BIOS Vendor  : %s", entry.Vendor);
    CX_TRACE(5, "\n   BIOS Version : %s", entry.Version);
    CX_TRACE(5, "\n   BIOS Date    : %s", entry.ManuDate);
    agent.InsertComponent(&entry);
}

}  // namespace cx::cabinet
