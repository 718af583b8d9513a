// The processors in every populated socket of the server.
#include <cstdio>
#include <cstring>

#include "base/file_debug.h"
#include "cabinet_steps.h"

namespace cx::cabinet {
namespace {

// The processor data holds the clock in MHz as the 16-bit value at offset 2 and the stepping
// at offset 5.
constexpr DWORD kProcessorDataLength = 6;

void AppendText(char* field, const char* text) {
    const std::size_t used = std::strlen(field);
    std::snprintf(field + used, kEntryTextSize - used, "%s", text);
}

void InsertProcessor(CCX_Agent& agent, CSwitchCommand& command, DWORD socket) {
    ComponentEntry entry(kCompProcessor);
    Ask(agent, command, switch_op::kProcessorName, 0, socket, agent.ServerCabinetNr);
    TextAnswer(command, entry.ProdName, "");
    Ask(agent, command, switch_op::kProcessorVendor, 0, socket, agent.ServerCabinetNr);
    TextAnswer(command, entry.Vendor, "N/A");
    Ask(agent, command, switch_op::kProcessorData, 0, socket, agent.ServerCabinetNr);
    if (entry.ProdName[0] == '\0') return;
    if (!command.IsOk(kProcessorDataLength, TRUE)) {
        // Without the processor data there is no clock and no stepping to show: the name stays
        // as SWITCH gave it, the description says only that it is a processor, the version is
        // left to the writer's "N/A", and the vendor is not trusted either.
        CopyEntryText(entry.Vendor, "N/A");
        CopyEntryText(entry.ProdDescript, "CPU");
        agent.InsertComponent(&entry);
        return;
    }
    char clock[32];
    std::snprintf(clock, sizeof(clock), " %d MHz", command.GetWord(1));
    AppendText(entry.ProdName, clock);
    std::snprintf(entry.ProdDescript, sizeof(entry.ProdDescript), "CPU%s", clock);
    std::snprintf(entry.Version, sizeof(entry.Version), "Step %d", command.GetByte(5));
    agent.InsertComponent(&entry);
}

}  // namespace

void InsertProcessors(CCX_Agent& agent) {
    CSwitchCommand command;
    Ask(agent, command, switch_op::kProcessorCount, 0, 0, agent.ServerCabinetNr);
    const DWORD sockets = ByteAnswer(command);
    CX_TRACE(3, "\n  Number of CPU's %d", sockets);
    for (DWORD socket = 0; socket < sockets && !StopRequested(agent); ++socket) {
        Ask(agent, command, switch_op::kProcessorStatus, 0, socket, agent.ServerCabinetNr);
        const DWORD status = ByteAnswer(command);
        CX_TRACE(3, "\n  CPU %d Status %d", socket, status);
        if (status == 0) continue;
        InsertProcessor(agent, command, socket);
    }
}

}  // namespace cx::cabinet
