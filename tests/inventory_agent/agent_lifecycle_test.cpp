// The agent's own decisions, in process: the scan interval, the answer to SWITCH events, the
// readiness of the server-control agent and the SNMP service watch.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "child_process.h"
#include "inventory_fixture.h"
#include "platform/timing.h"
#include "platform/winsvc.h"

namespace cx::test {
namespace {

constexpr const char* kParameters = "SOFTWARE\\Arvenmark\\CX_MIB\\Parameters";
constexpr const char* kReadinessKey =
    "SOFTWARE\\Arvenmark\\SC_MIB\\Subsystems\\Environment\\Parameters\\VolatileParameters";

class AgentLifecycle : public InventoryTest {};

TEST_F(AgentLifecycle, ScanTimeHasADefaultAndAFloor) {
    struct Case {
        bool set;
        DWORD value;
        DWORD expected;
        const char* trace;
    };
    const Case cases[] = {
        {false, 0, 7200, "\n   ScanTime = 7200 sec (default)"},
        {true, 0, 7200, "\n   ScanTime = 7200 sec (default)"},
        {true, 60, 300, "\n   ScanTime = 300 sec"},
        {true, 299, 300, "\n   ScanTime = 300 sec"},
        {true, 300, 300, "\n   ScanTime = 300 sec"},
        {true, 7200, 7200, "\n   ScanTime = 7200 sec (default)"},
        {true, 86400, 86400, "\n   ScanTime = 86400 sec"},
    };
    for (const Case& c : cases) {
        if (c.set) SetRegDword(kParameters, "ScanTime", c.value);
        const std::size_t before = TraceCount(c.trace);
        EXPECT_EQ(agent_->ReadScanTime(), c.expected) << c.value;
        EXPECT_EQ(TraceCount(c.trace), before + 1) << c.value;
    }
}

// An event frame as the SWITCH client hands it over.
struct EventCase {
    const char* name;
    bool frame;
    DWORD op_code;
    int data;  // -1: no data byte
    DWORD scan_state;
    bool rescan;
    const char* trace;
};

TEST_F(AgentLifecycle, EventsStartARescanOnlyWhenAsked) {
    const EventCase cases[] = {
        {"no frame", false, 0, -1, kScanStateDone, false, "(0x0000::0x17)"},
        {"other opcode", true, 0xE002, 1, kScanStateDone, false, "NO ACTION"},
        {"rescan while idle", true, 0x0C80, 1, kScanStateDone, true, "RcmiReply    : RESCAN"},
        {"rescan before any scan", true, 0x0C80, 1, kScanStateOther, true, ": RESCAN"},
        {"rescan while scanning", true, 0x0C80, 1, kScanStateScanning, false,
         "RcmiReply    : SCAN ALREADY ACTIVE"},
        {"inventory changed", true, 0x0C80, 3, kScanStateDone, false, ": CX INFO CHANGED"},
        {"other state", true, 0x0C80, 7, kScanStateDone, false, ": Scan State 0x07"},
        {"no data", true, 0x0C80, -1, kScanStateDone, false, ": Scan State 0x00"},
    };
    for (const EventCase& c : cases) {
        agent_->m_RescanEvent.Reset();
        agent_->ScanState = c.scan_state;
        CSwitchCommand command;
        if (c.frame) {
            command.SetRequest(c.op_code, 0, 0, 0, 0x15);
            if (c.data >= 0) {
                const BYTE byte = static_cast<BYTE>(c.data);
                command.SetData(&byte, 1, 0x15);
            }
        }
        const std::size_t before = TraceCount(c.trace);
        agent_->RcmiReply(&command);
        EXPECT_EQ(agent_->m_RescanEvent.Wait(0) == WAIT_OBJECT_0, c.rescan) << c.name;
        EXPECT_EQ(TraceCount(c.trace), before + 1) << c.name;
    }
    EXPECT_EQ(TraceCount("\nCX_MIB RcmiReply    : Event Received (0x0C80::0x15)"), 6u);
}

TEST_F(AgentLifecycle, ServerControlAgentIsReadyWithANonZeroStatus) {
    EXPECT_FALSE(agent_->IsAgentInitialized("SC_MIB\\Subsystems\\Environment"));
    SetRegDword(kReadinessKey, "AgentStatus", 0);
    EXPECT_FALSE(agent_->IsAgentInitialized("SC_MIB\\Subsystems\\Environment"));
    // Another agent's key is outside input: a text is not a status.
    SetRegString(kReadinessKey, "AgentStatus", "1");
    EXPECT_FALSE(agent_->IsAgentInitialized("SC_MIB\\Subsystems\\Environment"));
    EXPECT_EQ(TraceCount("AGENT initialized"), 0u);
    SetRegDword(kReadinessKey, "AgentStatus", 5);
    EXPECT_TRUE(agent_->IsAgentInitialized("SC_MIB\\Subsystems\\Environment"));
    EXPECT_EQ(TraceCount("\n   AGENT initialized (5)"), 1u);
}

class ServiceWatch : public InventoryTest {
  protected:
    void Publish(DWORD state) { ASSERT_EQ(CxSetServiceCurrentState("SNMP", state), ERROR_SUCCESS); }
};

TEST_F(ServiceWatch, StopPendingAbortsTheScan) {
    Publish(SERVICE_RUNNING);
    agent_->StartSnmpServiceWatch();
    ASSERT_TRUE(WaitUntil([&] { return TraceCount("START THREAD SnmpServiceWatch()") == 1; }));
    EXPECT_EQ(agent_->m_bAbortRequest, 0u);
    Publish(SERVICE_STOP_PENDING);
    EXPECT_TRUE(WaitUntil([&] { return agent_->m_bAbortRequest == 1; }));
    EXPECT_TRUE(WaitUntil([&] { return TraceCount("EXIT THREAD SnmpServiceWatch()") == 1; }));
    EXPECT_EQ(TraceCount("\nCX_MIB              : !!SNMP stop pending!!"), 1u);
    agent_->StopSnmpServiceWatch();
    // Once the service began to stop the flag stays, whatever comes after.
    Publish(SERVICE_RUNNING);
    EXPECT_EQ(agent_->m_bAbortRequest, 1u);
}

TEST_F(ServiceWatch, ARunningServiceIsWatchedUntilStopped) {
    Publish(SERVICE_RUNNING);
    agent_->StartSnmpServiceWatch();
    ASSERT_TRUE(WaitUntil([&] { return TraceCount("START THREAD SnmpServiceWatch()") == 1; }));
    agent_->StopSnmpServiceWatch();
    EXPECT_FALSE(agent_->m_WatchThread.IsRunning());
    EXPECT_EQ(TraceCount("EXIT THREAD SnmpServiceWatch()"), 1u);
    EXPECT_EQ(agent_->m_bAbortRequest, 0u);
}

TEST_F(ServiceWatch, NoServiceEndsTheWatchAtOnce) {
    agent_->StartSnmpServiceWatch();
    EXPECT_TRUE(WaitUntil([&] { return TraceCount("EXIT THREAD SnmpServiceWatch()") == 1; }));
    agent_->StopSnmpServiceWatch();
    EXPECT_EQ(agent_->m_bAbortRequest, 0u);
}

}  // namespace
}  // namespace cx::test
