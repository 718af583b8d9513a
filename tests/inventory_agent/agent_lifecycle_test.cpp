// The agent's own decisions, in process: the scan interval, the answer to SWITCH events, the
// readiness of the server-control agent, the SNMP service watch, and the scan driver's
// preconditions and its stops for shutdown and abort against cx-switchd (complete scans:
// agent_host_test).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "child_process.h"
#include "framework/agent_globals.h"
#include "inventory_fixture.h"
#include "platform/timing.h"
#include "platform/winsvc.h"
#include "switchd_process.h"

namespace cx::test {
namespace {

class AgentLifecycle : public InventoryTest {};

TEST_F(AgentLifecycle, ScanTimeHasADefaultAndAFloor) {
    struct Case {
        bool set;
        DWORD value;
        DWORD expected;
    };
    const Case cases[] = {{false, 0, 7200},    {true, 0, 7200},  {true, 60, 300},
                          {true, 299, 300},    {true, 300, 300}, {true, 7200, 7200},
                          {true, 86400, 86400}};
    for (const Case& c : cases) {
        // 7200 s is traced as the default, also when it is set.
        const std::string trace = "\n   ScanTime = " + std::to_string(c.expected) + " sec" +
                                  (c.expected == 7200 ? " (default)" : "");
        if (c.set) SetRegDword(kAgentParameters, "ScanTime", c.value);
        const std::size_t before = TraceCount(trace);
        EXPECT_EQ(agent_->ReadScanTime(), c.expected) << c.value;
        EXPECT_EQ(TraceCount(trace), before + 1) << c.value;
    }
}

// After failed scans: ScanRetryTime (default 60 s, at least 10 s), doubled with every further
// failed scan, never beyond ScanTime.
TEST_F(AgentLifecycle, RetryTimeGrowsWithFailedScansUpToTheScanTime) {
    const struct {
        DWORD value, failed, scan_time, expected;
    } cases[] = {{0, 1, 7200, 60},    {5, 1, 7200, 10},
                 {60, 3, 7200, 240},  {60, 40, 7200, 7200},
                 {1000, 1, 300, 300}, {4000000000u, 2, 4200000000u, 4200000000u}};
    for (const auto& c : cases) {
        SetRegDword(kAgentParameters, "ScanRetryTime", c.value);
        agent_->m_dwFailedScans = c.failed;
        EXPECT_EQ(agent_->RetryTime(c.scan_time), c.expected) << c.value << " " << c.failed;
    }
}

// Event frames as the SWITCH client hands them over (op code 0: no frame at all).
TEST_F(AgentLifecycle, EventsStartARescanOnlyWhenAsked) {
    struct Case {
        const char* name;
        DWORD op_code;
        int data;  // -1: no data byte
        DWORD scan_state;
        bool rescan;
        const char* trace;
    };
    const Case cases[] = {
        {"no frame", 0, -1, kScanStateDone, false, "(0x0000::0x17)"},
        {"other opcode", 0xE002, 1, kScanStateDone, false, "NO ACTION"},
        {"rescan while idle", 0x0C80, 1, kScanStateDone, true, "RcmiReply    : RESCAN"},
        {"rescan before any scan", 0x0C80, 1, kScanStateOther, true, ": RESCAN"},
        {"rescan while scanning", 0x0C80, 1, kScanStateScanning, false, ": SCAN ALREADY ACTIVE"},
        {"inventory changed", 0x0C80, 3, kScanStateDone, false, ": CX INFO CHANGED"},
        {"other state", 0x0C80, 7, kScanStateDone, false, ": Scan State 0x07"},
        {"no data", 0x0C80, -1, kScanStateDone, false, ": Scan State 0x00"},
    };
    for (const Case& c : cases) {
        agent_->m_RescanEvent.Reset();
        agent_->ScanState = c.scan_state;
        CSwitchCommand command;
        const BYTE byte = static_cast<BYTE>(c.data);
        if (c.op_code != 0) command.SetRequest(c.op_code, 0, 0, 0, 0x15);
        if (c.op_code != 0 && c.data >= 0) command.SetData(&byte, 1, 0x15);
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

// The SNMP service watch during a scan: without a published service it ends at once, a
// running service is watched until the watch is stopped, and a stop pending aborts the scan.
TEST_F(AgentLifecycle, ServiceWatchAbortsTheScanWhenTheServiceBeginsToStop) {
    auto traced = [&](const char* text, std::size_t count) {
        return WaitUntil([&] { return TraceCount(text) == count; });
    };
    agent_->StartSnmpServiceWatch();
    EXPECT_TRUE(traced("EXIT THREAD SnmpServiceWatch()", 1));
    agent_->StopSnmpServiceWatch();

    ASSERT_EQ(CxSetServiceCurrentState("SNMP", SERVICE_RUNNING), ERROR_SUCCESS);
    agent_->StartSnmpServiceWatch();
    ASSERT_TRUE(traced("START THREAD SnmpServiceWatch()", 2));
    agent_->StopSnmpServiceWatch();
    EXPECT_FALSE(agent_->m_WatchThread.IsRunning());
    EXPECT_EQ(TraceCount("EXIT THREAD SnmpServiceWatch()"), 2u);
    EXPECT_EQ(agent_->m_bAbortRequest, 0u);

    agent_->StartSnmpServiceWatch();
    ASSERT_TRUE(traced("START THREAD SnmpServiceWatch()", 3));
    ASSERT_EQ(CxSetServiceCurrentState("SNMP", SERVICE_STOP_PENDING), ERROR_SUCCESS);
    EXPECT_TRUE(WaitUntil([&] { return agent_->m_bAbortRequest == 1; }));
    EXPECT_TRUE(traced("EXIT THREAD SnmpServiceWatch()", 3));
    EXPECT_EQ(TraceCount("\nCX_MIB              : !!SNMP stop pending!!"), 1u);
    agent_->StopSnmpServiceWatch();
    // Once the service began to stop the flag stays, whatever comes after.
    ASSERT_EQ(CxSetServiceCurrentState("SNMP", SERVICE_RUNNING), ERROR_SUCCESS);
    EXPECT_EQ(agent_->m_bAbortRequest, 1u);
}

constexpr const char* kTable =
    "[Component Type]\r\n0A=Processor\r\n0C=Storage Controller\r\n"
    "[Physical Tree]\r\nPhysKorvan=1\r\n"
    "[Functional Tree]\r\nFuncKorvan=1\r\nFuncChassis=2\r\n";

class ScanDriver : public InventoryTest {
  protected:
    void SetUp() override {
        InventoryTest::SetUp();
        SetRegDword(kReadinessKey, "AgentStatus", 1);
    }
    void TearDown() override {
        switchd_.reset();
        InventoryTest::TearDown();
    }
    void StartSwitch() {
        switchd_ = std::make_unique<SwitchdProcess>(dir_);
        switchd_->RegisterClass();
        ASSERT_TRUE(switchd_->Start(kRightsScenario));
    }
    std::unique_ptr<SwitchdProcess> switchd_;
};

TEST_F(ScanDriver, WithoutTableFileOrDataRootNothingIsCollected) {
    StartSwitch();
    EXPECT_FALSE(agent_->ScanDriver());
    EXPECT_EQ(TraceCount("\n   !!! NO CX_MIB.INI FOUND !!!"), 1u);
    EXPECT_EQ(TraceCount("Use CX_MIB.ini in " + dir_.Path()), 1u);
    EXPECT_EQ(TraceCount("CANNOT CONNECT TO SWITCH"), 0u);
    EXPECT_EQ(TraceCount("\n  TOTAL SCAN TIME : "), 1u);
    EXPECT_FALSE(DataFileExists("Catalix.act"));
    EXPECT_TRUE(switchd_->JournalLines().empty()) << "the SWITCH client is not attached";

    // With the table file but without a data root (and server: the scan must not get that far).
    switchd_.reset();
    WriteTableFile(kTable);
    CSnmpAgent& framework = *agent_;
    framework.m_szDataRoot[0] = '\0';
    EXPECT_FALSE(agent_->ScanDriver());
    EXPECT_EQ(TraceCount("\n   !!! NO ACTFILE FOUND !!!"), 1u);
    EXPECT_EQ(TraceCount("\n   !!! NO SAVE_FILE FOUND !!!"), 1u);
    EXPECT_EQ(TraceCount("   ActualFile : \r\n"), 1u) << TraceText();
    EXPECT_EQ(TraceCount("CANNOT CONNECT TO SWITCH"), 0u);
    EXPECT_EQ(TraceCount("\n  CX_Mib: Init common"), 0u);
}

TEST_F(ScanDriver, ARescanRequestCutsTheReadinessWaitShort) {
    WriteTableFile(kTable);
    SetRegDword(kReadinessKey, "AgentStatus", 0);
    // Without the event the 48 attempts would take four minutes.
    agent_->m_RescanEvent.Set();
    EXPECT_FALSE(agent_->ScanDriver());
    // The trace between the readiness line and the verdict: a star for every vain attempt.
    const std::string trace = TraceText();
    const auto from = trace.find("\nwait till SC Agent initialized ");
    const auto to = trace.find("\n!!! SC AGENT NOT READY !!!");
    ASSERT_TRUE(from != std::string::npos && to != std::string::npos) << trace;
    EXPECT_EQ(std::count(trace.begin() + from, trace.begin() + to, '*'), 48);
    EXPECT_EQ(TraceCount("\n!!! SC AGENT NOT READY !!!"), 1u);
    // The scan goes on, to find no SWITCH server.
    EXPECT_EQ(TraceCount("\n!!! CANNOT CONNECT TO SWITCH !!!"), 1u) << TraceText();
    EXPECT_FALSE(DataFileExists("Catalix.act"));
}

// A shutdown before the scan ends it at once; an abort lets it start (the SNMP service watch ran
// around the bus and storage collectors) but it is neither finished nor compared.
TEST_F(ScanDriver, ShutdownOrAbortBeforeTheScanLeavesItUnfinished) {
    WriteTableFile(kTable);
    StartSwitch();
    AgentShutdown = 1;
    EXPECT_FALSE(agent_->ScanDriver());
    EXPECT_EQ(TraceCount("\n  !!! AGENT TERMINATED !!!"), 1u);
    EXPECT_EQ(TraceCount("TOTAL SCAN TIME"), 0u);
    EXPECT_FALSE(DataFileExists("Catalix.act"));
    EXPECT_TRUE(switchd_->JournalLines().empty());

    AgentShutdown = 0;
    agent_->m_bAbortRequest = 1;
    EXPECT_FALSE(agent_->ScanDriver());
    EXPECT_EQ(TraceCount("Compare Files"), 0u);
    EXPECT_NE(DataFile("Catalix.act").find("ScanState=SCANNING"), std::string::npos);
    EXPECT_FALSE(DataFileExists("Catalix.sav"));
    EXPECT_EQ(TraceCount("START THREAD SnmpServiceWatch()"), 1u);
}

}  // namespace
}  // namespace cx::test
