// InitBus: every device of the server's bus table becomes an inventory component. The table is
// walked row by row on one manager session while a second one looks up single objects; the
// whole collector runs inside its own guard so that a fault costs the scan this collector only.
#include <cstdio>

#include "base/file_debug.h"
#include "bus_steps.h"
#include "framework/agent_globals.h"

namespace cx::bus {
namespace {

// The bus table is up to a minute late while the server management agent starts.
constexpr WORD kBusTableTries = 60;
constexpr INT kSessionTimeoutMs = 5000;
constexpr INT kSessionRetries = 2;
constexpr INT kManagerRetries = 10;

// Columns 1 to 9 (walk position + 1) written with four zero indexes: each is cut back to its
// column, so the first GETNEXT finds the first row, and column 1 bounds the walk.
static_assert(kColBusType + 1 == scmib::kBusBusType && kColSlot + 1 == scmib::kBusSlot);

// One GETNEXT on the walk's list, which then holds the row. An agent that answers with a row
// not beyond the one asked for would have the walk record that row for ever: that is a failed
// request like any other.
bool NextRow(CSnmpMgr& walker) {
    AsnObjectIdentifier asked{};
    SnmpUtilOidCpy(&asked, &walker.GetVarBind(kColBusType).name);
    const bool advanced = walker.Request(SNMP_PDU_GETNEXT, nullptr, nullptr, nullptr) &&
                          SnmpUtilOidCmp(&walker.GetVarBind(kColBusType).name, &asked) > 0;
    SnmpUtilOidFree(&asked);
    if (!advanced) {
        CX_TRACE(1, "\nCX_MIB InitBus          : !!! REQUEST BUS MIB FAILED");
        return false;
    }
    if (!walker.OidWithinRange()) {
        CX_TRACE(5, "\nCX_MIB InitBus      : End of BUS_MIB entries");
        return false;
    }
    return true;
}

void RecordRow(const BusWalk& walk, CSnmpMgr& walker) {
    BusRow row;
    ReadBusAddress(walker, &row.info);
    if (row.info.BusType == kBusPci) ReadPciIdentification(walk.agent, &row.info);
    FillComponent(walker, &row);
    if (ClassifyRow(walk, row) == RowEnd::kPlain) RecordPlainly(walk.agent, row);
}

void WalkBusTable(CCX_Agent& agent, CSnmpMgr& walker, CSnmpMgr& lookup) {
    walker.ResizeVarBindList(kBusColumns, FALSE);
    for (UINT position = 0; position < kBusColumns; ++position) {
        char column[64];
        std::snprintf(column, sizeof(column), "%s.%u.0.0.0.0", CX_SC_BUS_ENTRY, position + 1);
        walker.SetOID(column, position, -1, -1, -1);
    }
    const BusWalk walk{agent, lookup};
    while (!StopRequested(agent) && NextRow(walker))
        RecordRow(walk, walker);
}

void CollectBus(CCX_Agent& agent) {
    CX_TRACE(3, "\nCX_MIB              : Init bus devices");
    if (!agent.CheckMib(kBusTableRoot, kBusTableTries)) {
        CX_TRACE(1, "\nCX_MIB InitBus      : BUS_MIB NOT AVAILABLE !!!");
        return;
    }
    CSnmpMgr walker(nullptr, nullptr, kSessionTimeoutMs, kManagerRetries);
    CSnmpMgr lookup(nullptr, nullptr, kSessionTimeoutMs, kManagerRetries);
    if (!walker.OpenSession(nullptr, nullptr, kSessionTimeoutMs, kSessionRetries) ||
        !lookup.OpenSession(nullptr, nullptr, kSessionTimeoutMs, kSessionRetries)) {
        CX_TRACE(1, "\nCX_MIB InitBus      :!!! CSnmpBus.OpenSession() failed!!!");
        return;
    }
    CX_TRACE(1, "\nCX_MIB InitBus      : --> SNMP CONNECTED");
    WalkBusTable(agent, walker, lookup);
    walker.CloseSession();
    lookup.CloseSession();
    CX_TRACE(3, "\nCX_MIB InitBus      :--> SNMP DISCONNECT");
}

void TraceAbort(const CCX_Agent& agent) {
    if (AgentShutdown.load() != 0) CX_TRACE(2, "\nCX_MIB InitBus      : ABORTED (AgentShutdown)");
    if (agent.m_bAbortRequest.load() != 0) {
        CX_TRACE(2, "\nCX_MIB InitBus      : ABORTED (m_bAbortRequest)");
    }
}

}  // namespace

bool StopRequested(const CCX_Agent& agent) {
    return AgentShutdown.load() != 0 || agent.m_bAbortRequest.load() != 0;
}

}  // namespace cx::bus

void CCX_Agent::InitBus() {
    try {
        cx::bus::CollectBus(*this);
        cx::bus::TraceAbort(*this);
    } catch (...) {
        // The sessions went with the stack; the scan goes on with the next collector.
        CX_TRACE(1, "\n###################################");
        CX_TRACE(1, "\n FATAL ERROR! Exception in InitBus");
        CX_TRACE(1, "\n###################################");
    }
}
