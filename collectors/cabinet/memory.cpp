// Memory expansion boards and the memory modules in every populated slot of the server.
#include <cstdio>
#include <cstring>

#include "base/file_debug.h"
#include "cabinet_steps.h"

namespace cx::cabinet {
namespace {

// The module data holds the size in MByte as the 32-bit value at offset 4.
constexpr DWORD kModuleDataLength = 8;
constexpr DWORD kUnknownSize = 0xFFFFFFFF;

void InsertExpansionBoards(CCX_Agent& agent) {
    CSwitchCommand command;
    Ask(agent, command, switch_op::kComponentCount,
        agent.m_RequestTable.ReadInt("Info.MemoryExpand", "Class", 0), 0, agent.ServerCabinetNr);
    const DWORD count = ByteAnswer(command);
    CX_TRACE(2, "\n  Nr of Modules %d", count);
    for (DWORD i = 0; i < count && !StopRequested(agent); ++i) {
        ComponentEntry entry;
        if (agent.GetInfoBySwitch(&entry, "Info.MemoryExpand", i, CMD_CABINET_SERVER) &&
            entry.ProdName[0] != '\0') {
            agent.InsertComponent(&entry);
        }
    }
}

// SWITCH items that read "0..." are unset memory-module fields, not texts.
void DropUnsetTexts(ComponentEntry& entry) {
    if (entry.Version[0] == '\0' || entry.Version[0] == '0') CopyEntryText(entry.Version, "N/A");
    if (entry.ProdNumber[0] == '0') entry.ProdNumber[0] = '\0';
}

// The name and size from the slot's own requests, for a module the table gave no name.
void CompleteFromSlot(CCX_Agent& agent, CSwitchCommand& command, ComponentEntry& entry,
                      DWORD slot) {
    Ask(agent, command, switch_op::kMemoryModuleName, 0, slot, agent.ServerCabinetNr);
    TextAnswer(command, entry.ProdName, "");
    Ask(agent, command, switch_op::kMemoryModuleData, 0, slot, agent.ServerCabinetNr);
    if (!command.IsOk(kModuleDataLength, TRUE)) return;
    DWORD size = 0;
    std::memcpy(&size, command.GetData(4), sizeof(size));
    if (size == kUnknownSize) {
        CopyEntryText(entry.ProdDescript, "unknown size");
        return;
    }
    char size_text[32];
    std::snprintf(size_text, sizeof(size_text), " %u MByte", size);
    const std::size_t used = std::strlen(entry.ProdName);
    std::snprintf(entry.ProdName + used, sizeof(entry.ProdName) - used, "%s", size_text);
    std::snprintf(entry.ProdDescript, sizeof(entry.ProdDescript), "Memory Module%s", size_text);
}

void InsertModule(CCX_Agent& agent, CSwitchCommand& command, DWORD slot) {
    CX_TRACE(3, "\n  Get MemoryModule %d", slot);
    ComponentEntry entry;
    if (MethodIs(agent, "Info.MemorySw", "SWITCH")) {
        agent.GetInfoBySwitch(&entry, "Info.MemorySw", slot, CMD_CABINET_SERVER);
    }
    DropUnsetTexts(entry);
    if (entry.ProdName[0] == '\0' || entry.ProdName[0] == '0') {
        CompleteFromSlot(agent, command, entry, slot);
    }
    // A module the table describes by name is inserted as the table gives it: the slot says a
    // module is there, and its own texts are the better ones.
    agent.InsertComponent(&entry);
}

}  // namespace

void InsertMemory(CCX_Agent& agent) {
    InsertExpansionBoards(agent);
    if (StopRequested(agent)) return;
    CSwitchCommand command;
    Ask(agent, command, switch_op::kMemorySlotCount, 0, 0, agent.ServerCabinetNr);
    const DWORD slots = ByteAnswer(command);
    CX_TRACE(3, "\n  Number of MemoryModules %d", slots);
    for (DWORD slot = 0; slot < slots && !StopRequested(agent); ++slot) {
        Ask(agent, command, switch_op::kMemorySlotStatus, 0, slot, agent.ServerCabinetNr);
        const DWORD status = ByteAnswer(command);
        CX_TRACE(3, "\n  Module %d Status %d", slot, status);
        if (status != 0) InsertModule(agent, command, slot);
    }
}

}  // namespace cx::cabinet
