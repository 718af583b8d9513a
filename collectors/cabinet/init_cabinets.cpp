// InitCabinets: the top of the inventory, step by step, inside the collector's own guard so that
// a fault here costs the scan this collector only.
#include <functional>

#include "base/file_debug.h"
#include "cabinet_steps.h"
#include "framework/agent_globals.h"

namespace cx::cabinet {
namespace {

// The SNMP session of the UPS sections: the local agents, 5 s per try, two retries.
constexpr INT kSnmpTimeoutMs = 5000;
constexpr INT kSnmpRetries = 2;

void InsertSubsystemContainer(CCX_Agent& agent, DWORD root) {
    agent.InsertFunctionalContainer("SubsystemContainer", root, nullptr, -1);
    agent.SubsystemContainerNr = agent.NrFuncContainers;
}

void TraceAbort(const CCX_Agent& agent) {
    if (AgentShutdown.load() != 0) CX_TRACE(2, "\nCX_MIB InitCabinets : ABORTED (AgentShutdown)");
    if (agent.m_bAbortRequest.load() != 0) {
        CX_TRACE(2, "\nCX_MIB InitCabinets : ABORTED (m_bAbortRequest)");
    }
}

// Every step after the computer's own entries; each one is skipped once a stop is asked for.
void RunSteps(CCX_Agent& agent, CSnmpMgr& manager) {
    const DWORD root = InsertComputer(agent);
    CabinetList cabinets = ListCabinets(agent);
    const std::function<void()> steps[] = {
        [&] { InsertCabinets(agent, cabinets, root); },
        [&] { InsertChassis(agent, cabinets, root); },
        [&] { InsertPower(agent, cabinets); },
        [&] { CheckBladeSystem(agent, cabinets); },
        [&] { InsertServiceBoards(agent, cabinets); },
        [&] { InsertSubsystemContainer(agent, root); },
        [&] { InsertCabinetComponents(agent, cabinets); },
        [&] { InsertUps(agent, cabinets, manager); },
        [&] { InsertBaseBoards(agent); },
        [&] { InsertBios(agent); },
        [&] { InsertProcessors(agent); },
        [&] { InsertMemory(agent); },
    };
    for (const std::function<void()>& step : steps) {
        if (StopRequested(agent)) break;
        step();
    }
}

void CollectCabinets(CCX_Agent& agent) {
    CX_TRACE(3, "\n  CX_Mib            : init Cabinets");
    CSnmpMgr manager;
    if (!manager.OpenSession(nullptr, nullptr, kSnmpTimeoutMs, kSnmpRetries)) {
        CX_TRACE(1, "\n!!! CANNOT OPEN SNMP SESSION !!!");
        return;
    }
    RunSteps(agent, manager);
    TraceAbort(agent);
    manager.CloseSession();
}

}  // namespace
}  // namespace cx::cabinet

void CCX_Agent::InitCabinets() {
    try {
        cx::cabinet::CollectCabinets(*this);
    } catch (...) {
        CX_TRACE(1, "\n########################################");
        CX_TRACE(1, "\n FATAL ERROR! Exception in InitCabinets");
        CX_TRACE(1, "\n########################################");
    }
}
