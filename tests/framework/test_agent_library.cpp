// The agent library of the framework tests: a small CSnmpAgent with a few objects, and exported
// switches through which a test makes it fail or raise traps at chosen points.
#include <atomic>
#include <cstdlib>
#include <stdexcept>

#include "base/oid_text.h"
#include "framework/snmp_agent.h"
#include "test_agent_control.h"

namespace {

std::atomic<int> g_ThrowInInitializeMib{0};
std::atomic<int> g_ThrowInQuery{0};
std::atomic<int> g_InitializeMibCalls{0};
std::atomic<int> g_CloseMibCalls{0};

class FrameworkTestAgent : public CSnmpAgent {
  public:
    void InitializeMib() override {
        ++g_InitializeMibCalls;
        if (g_ThrowInInitializeMib != 0) throw std::runtime_error("InitializeMib fails");
        // What a concrete agent reports once its MIB is built.
        SetAgentStatus(kAgentStatusInitialized);
        SetAgentLastError("");
        AddConstMibEntry(kTestRoot ".1.1.0", "fwName", "test agent", ASN_OCTETSTRING, 0);
        AddConstMibEntry(kTestRoot ".1.2.0", "fwCount", 7, ASN_INTEGER, kMibAccessReadWrite);
        AddConstMibEntry(kTestRoot ".2.1.0", "fwFixed", 11, ASN_INTEGER, 0);
        AddConstTableEntry(kTestRoot ".3.1.1.0", "fwRow", 1, ASN_INTEGER, 1);
        AddConstTableEntry(kTestRoot ".3.1.1.0", "fwRow", 2, ASN_INTEGER, 2);
    }
    void CloseMib() override { ++g_CloseMibCalls; }
    BOOL QueryPrologue(BYTE, SnmpVarBindList*, AsnInteger32*, AsnInteger32*) override {
        if (g_ThrowInQuery != 0) throw std::runtime_error("query fails");
        return TRUE;
    }
};

}  // namespace

CSnmpAgent* CreateSnmpAgent() {
    auto* agent = new FrameworkTestAgent;
    if (std::getenv(kNoRegionVariable) == nullptr) agent->AddMibRegion(kTestRoot);
    return agent;
}

extern "C" {

__attribute__((visibility("default"))) void FwTestSetThrowInInitializeMib(int on) {
    g_ThrowInInitializeMib = on;
}
__attribute__((visibility("default"))) void FwTestSetThrowInQuery(int on) { g_ThrowInQuery = on; }
__attribute__((visibility("default"))) int FwTestInitializeMibCalls() {
    return g_InitializeMibCalls;
}
__attribute__((visibility("default"))) int FwTestCloseMibCalls() { return g_CloseMibCalls; }
__attribute__((visibility("default"))) void FwTestRequestShutdown() { AgentShutdown = 1; }
__attribute__((visibility("default"))) void FwTestRaisePendingTrap(DWORD parameter) {
    g_pSnmpAgent->m_dwTrapParam = parameter;
    g_pSnmpAgent->m_bTrapPending = 1;
    SetEvent(g_pSnmpAgent->m_hTrapEvent);
}
__attribute__((visibility("default"))) BOOL FwTestQueueTrap(AsnInteger32 specific_trap) {
    AsnObjectIdentifier enterprise{};
    StringToOid(kTestRoot, &enterprise);
    BOOL queued = g_pSnmpAgent->QueueTrap(&enterprise, specific_trap, nullptr);
    SnmpUtilOidFree(&enterprise);
    return queued;
}

__attribute__((visibility("default"))) BOOL FwTestRegParam(const char* name, DWORD* value) {
    return g_pSnmpAgent->GetAgentRegParam(name, value);
}
__attribute__((visibility("default"))) BOOL FwTestFilePath(const char* name, char* path,
                                                           DWORD size) {
    return g_pSnmpAgent->GetAgentRegFilePath(name, path, size);
}

}  // extern "C"
