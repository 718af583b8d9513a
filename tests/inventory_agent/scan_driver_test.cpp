// The scan driver in process: its preconditions, the wait for the server-control agent, the
// stops for shutdown and abort against cx-switchd (complete scans: agent_host_test).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "fake_agent.h"
#include "framework/agent_globals.h"
#include "inventory_fixture.h"
#include "platform/timing.h"
#include "switchd_process.h"

namespace cx::test {
namespace {

constexpr const char* kReadinessKey =
    "SOFTWARE\\Arvenmark\\SC_MIB\\Subsystems\\Environment\\Parameters\\VolatileParameters";
constexpr const char* kRights =
    "reply 0xE001 0x3811 * * : byte 1\n"
    "reply 0xE001 0x3810 * * : byte 0\n"
    "reply 0xE001 0x3812 * * : byte 1\n";
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
        ASSERT_TRUE(switchd_->Start(kRights));
    }
    // The trace after the readiness line: the star of every vain attempt.
    std::size_t VainAttempts() const {
        const std::string trace = TraceText();
        const auto from = trace.find("\nwait till SC Agent initialized ");
        const auto to = trace.find("\n!!! SC AGENT NOT READY !!!");
        if (from == std::string::npos || to == std::string::npos) return 0;
        return static_cast<std::size_t>(std::count(trace.begin() + from, trace.begin() + to, '*'));
    }

    std::unique_ptr<SwitchdProcess> switchd_;
};

TEST_F(ScanDriver, WithoutTableFileNothingIsCollected) {
    StartSwitch();
    EXPECT_FALSE(agent_->ScanDriver());
    EXPECT_EQ(TraceCount("\n   !!! NO CX_MIB.INI FOUND !!!"), 1u);
    EXPECT_EQ(TraceCount("Use CX_MIB.ini in " + dir_.Path()), 1u);
    EXPECT_EQ(TraceCount("CANNOT CONNECT TO SWITCH"), 0u);
    EXPECT_EQ(TraceCount("\n  TOTAL SCAN TIME : "), 1u);
    EXPECT_FALSE(DataFileExists("Catalix.act"));
    EXPECT_TRUE(switchd_->JournalLines().empty()) << "the SWITCH client is not attached";
}

TEST_F(ScanDriver, WithoutDataRootNothingIsCollected) {
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

TEST_F(ScanDriver, WithoutSwitchServerNothingIsCollected) {
    WriteTableFile(kTable);
    EXPECT_FALSE(agent_->ScanDriver());
    EXPECT_EQ(TraceCount("\n!!! CANNOT CONNECT TO SWITCH !!!"), 1u) << TraceText();
    EXPECT_FALSE(DataFileExists("Catalix.act"));
}

TEST_F(ScanDriver, ARescanRequestCutsTheReadinessWaitShort) {
    WriteTableFile(kTable);
    SetRegDword(kReadinessKey, "AgentStatus", 0);
    // Without the event the 48 attempts would take four minutes.
    agent_->m_RescanEvent.Set();
    EXPECT_FALSE(agent_->ScanDriver());
    EXPECT_EQ(VainAttempts(), 48u);
    EXPECT_EQ(TraceCount("\n!!! SC AGENT NOT READY !!!"), 1u);
    EXPECT_EQ(TraceCount("\n!!! CANNOT CONNECT TO SWITCH !!!"), 1u) << "the scan goes on";
}

TEST_F(ScanDriver, ShutdownBeforeTheScanEndsItAtOnce) {
    WriteTableFile(kTable);
    StartSwitch();
    AgentShutdown = 1;
    EXPECT_FALSE(agent_->ScanDriver());
    EXPECT_EQ(TraceCount("\n  !!! AGENT TERMINATED !!!"), 1u);
    EXPECT_EQ(TraceCount("TOTAL SCAN TIME"), 0u);
    EXPECT_FALSE(DataFileExists("Catalix.act"));
    EXPECT_TRUE(switchd_->JournalLines().empty());
}

TEST_F(ScanDriver, AnAbortedScanIsNeitherFinishedNorCompared) {
    WriteTableFile(kTable);
    StartSwitch();
    agent_->m_bAbortRequest = 1;
    EXPECT_FALSE(agent_->ScanDriver());
    EXPECT_EQ(TraceCount("Compare Files"), 0u);
    EXPECT_NE(DataFile("Catalix.act").find("ScanState=SCANNING"), std::string::npos);
    EXPECT_FALSE(DataFileExists("Catalix.sav"));
    // The watch ran around the bus and storage collectors all the same.
    EXPECT_EQ(TraceCount("START THREAD SnmpServiceWatch()"), 1u);
}

}  // namespace
}  // namespace cx::test
