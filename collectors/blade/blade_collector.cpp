// ChkBlade: in a blade chassis, the management blades and switch blades with their firmware,
// read from the management blade whose address SWITCH knows.
#include <cstdio>

#include "blade_tables.h"
#include "blade_trace.h"
#include "clients/switch_protocol.h"
#include "framework/agent_globals.h"

namespace {

constexpr INT kSessionTimeoutMs = 5000;
constexpr INT kSessionRetries = 2;

// The management blade's address from SWITCH: exactly four bytes, in order.
bool ManagementBladeAddress(CCX_Agent& agent, char* address, std::size_t size) {
    CSwitchCommand command;
    command.SetRequest(switch_op::kManagementBladeAddress, 0, 0, agent.ServerCabinetNr,
                       CMD_STATUS_REQUEST);
    agent.SwitchRequest(&command);
    if (!command.IsOk(4, FALSE)) return false;
    std::snprintf(address, size, "%u.%u.%u.%u", command.GetByte(0), command.GetByte(1),
                  command.GetByte(2), command.GetByte(3));
    CX_TRACE(5, "\n  Management Blade IP-Address %s", address);
    return true;
}

void CollectBlades(CCX_Agent& agent, const CabinetRecord& server) {
    CSnmpMgr manager;
    char address[16];
    if (ManagementBladeAddress(agent, address, sizeof(address))) {
        // The management blade answers on the SNMP port of this machine's own service; the
        // community is the default one, as for every local agent.
        if (!manager.OpenSession(address, nullptr, kSessionTimeoutMs, kSessionRetries)) {
            BLADE_TRACE(1, "!!! K42Mib.OpenSession() failed!!!");
        } else {
            const cx::blade::BladeWalk walk{agent, manager, server, address};
            if (cx::blade::WalkManagementBlades(walk) == cx::blade::WalkEnd::kGoOn)
                cx::blade::WalkSwitchBlades(walk);
        }
    }
    if (AgentShutdown.load() != 0) BLADE_TRACE(2, " ABORTED (AgentShutdown)");
    if (agent.m_bAbortRequest.load() != 0) BLADE_TRACE(2, " ABORTED (m_bAbortRequest)");
    if (manager.m_hSession != nullptr) {
        manager.CloseSession();
        BLADE_TRACE(3, "--> SNMP DISCONNECT");
    }
}

}  // namespace

void CCX_Agent::ChkBlade(CabinetRecord* cabinets, DWORD count) {
    try {
        // The blades hang in the server cabinet's chassis; without it there is no place for them.
        if (cabinets == nullptr || count == 0) {
            BLADE_TRACE(1, "!!! NO SERVER CABINET");
            return;
        }
        CollectBlades(*this, cabinets[0]);
    } catch (...) {
        CX_TRACE(1, "\n####################################");
        CX_TRACE(1, "\n FATAL ERROR! Exception in ChkBlade");
        CX_TRACE(1, "\n####################################");
    }
}
