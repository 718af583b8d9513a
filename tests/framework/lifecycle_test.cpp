// The agent's life through the entry points: run states in the registry, the regions, the
// rights check, the shutdown sequence once, and the initialisation thread's early ends.
#include "agent_fixture.h"

namespace cx::test {
namespace {

constexpr const char* kParametersKey = "SOFTWARE\\Arvenmark\\CX_FWTEST\\Parameters";

// A normal start publishes the region, the parameters and the started state; close, then
// unload, shut down once and clean up.
TEST_F(AgentTest, NormalStartThenCloseAndUnload) {
    StartSwitch();
    ASSERT_TRUE(service_.Load(CX_FWTEST_AGENT_PATH)) << service_.error();
    EXPECT_EQ(RunState(), "loaded");
    ASSERT_TRUE(service_.Init(100));
    // One region: the first InitEx declines, so the service holds exactly the root view.
    EXPECT_EQ(service_.views(), std::vector<std::string>{kTestRoot});
    EXPECT_NE(service_.trap_event(), nullptr);
    ASSERT_TRUE(WaitForRunState("started")) << RunState();

    EXPECT_EQ(ReadString(kParametersKey, "InvTableIndex"), "." kTestRoot);
    EXPECT_EQ(ReadDword(kParametersKey, "AgentPurpose"), 1u);
    EXPECT_EQ(ReadDword(kVolatileKey, "AgentStatus"), 1u);
    EXPECT_EQ(ReadString(kVolatileKey, "AgentLastError"), "");
    EXPECT_EQ(service_.Symbol<FwTestCountFn>("FwTestInitializeMibCalls")(), 1);
    // The rights check runs before and after InitializeMib.
    EXPECT_EQ(TraceCount("ShutdownIsAllowed = 1"), 2u);
    EXPECT_EQ(TraceCount("SetAllowed = 0"), 2u);
    EXPECT_EQ(TraceCount("DoAccountCheck = 1"), 2u);

    service_.Close();
    EXPECT_EQ(RunState(), "stopped");
    EXPECT_EQ(service_.Symbol<FwTestCountFn>("FwTestCloseMibCalls")(), 1);
    // The init thread ends once the shutdown event is signalled; it may be gone before
    // SnmpClose looks, or end while it waits: either way it is waited for exactly once.
    EXPECT_EQ(TraceCount("init thread terminated, do some other cleanup") +
                  TraceCount("Init thread did already exit"),
              1u);
    service_.Unload();
    EXPECT_EQ(RunState(), "unloaded");
    EXPECT_FALSE(KeyExists(kVolatileKey));
    EXPECT_EQ(TraceCount("SnmpClose(): Shutting down agent"), 1u);
    EXPECT_EQ(TraceCount("SNMP agent DLL unloaded"), 1u);
}

TEST_F(AgentTest, UnloadWithoutCloseRunsTheShutdownSequence) {
    StartSwitch();
    LoadAndInit();
    service_.Unload();
    EXPECT_EQ(RunState(), "unloaded");
    EXPECT_EQ(TraceCount("SnmpClose(): Agent shutdown finished."), 1u);
}

TEST_F(AgentTest, SwitchUnavailableRefusesEveryRequest) {
    LoadAndInit(false);  // no server registered: the attach fails
    ASSERT_TRUE(WaitForTrace("*** EXIT THREAD Thread_InitMib() ***"));
    EXPECT_EQ(TraceCount("SWITCH attach FAILED"), 1u);
    EXPECT_EQ(RunState(), "starting");
    EXPECT_TRUE(Request(SNMP_PDU_GET, {kTestRoot ".1.1.0"}));
    EXPECT_EQ(status_, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(index_, 1);
    service_.Close();
    EXPECT_EQ(TraceCount("Init thread did already exit"), 1u);
    EXPECT_EQ(RunState(), "stopped");
}

TEST_F(AgentTest, ShutdownBeforeEventsSkipsInitializeMib) {
    StartSwitch();
    ASSERT_TRUE(service_.Load(CX_FWTEST_AGENT_PATH)) << service_.error();
    service_.Symbol<FwTestActionFn>("FwTestRequestShutdown")();
    ASSERT_TRUE(service_.Init(100));
    ASSERT_TRUE(WaitForTrace("*** EXIT THREAD Thread_InitMib() ***"));
    EXPECT_EQ(TraceCount("Enable SWITCH events"), 0u);
    EXPECT_EQ(service_.Symbol<FwTestCountFn>("FwTestInitializeMibCalls")(), 0);
    EXPECT_TRUE(Request(SNMP_PDU_GETNEXT, {kTestRoot}));
    EXPECT_EQ(status_, SNMP_ERRORSTATUS_NOSUCHNAME);
}

TEST_F(AgentTest, ShutdownDuringTheRightsCheckSkipsInitializeMibButStarts) {
    // The first rights answer is held back long enough for the shutdown to arrive meanwhile.
    StartSwitch(
        "reply 0xE001 0x3811 * * : delay 3000 byte 1\n"
        "reply 0xE001 0x3810 * * : byte 1\n"
        "reply 0xE001 0x3812 * * : byte 1\n");
    ASSERT_TRUE(service_.Load(CX_FWTEST_AGENT_PATH)) << service_.error();
    ASSERT_TRUE(service_.Init(100));
    ASSERT_TRUE(WaitForTrace("Checking for SNMP shutdown allowed..."));
    service_.Symbol<FwTestActionFn>("FwTestRequestShutdown")();
    ASSERT_TRUE(WaitForRunState("started")) << RunState();
    EXPECT_EQ(TraceCount("Agent's InitializeMib() not called - agent shutdown in progress!"), 1u);
    EXPECT_EQ(TraceCount("...SWITCH events enabled!"), 1u);
    EXPECT_EQ(service_.Symbol<FwTestCountFn>("FwTestInitializeMibCalls")(), 0);
    service_.Close();
    EXPECT_EQ(TraceCount("... SWITCH events disabled"), 1u);
    EXPECT_EQ(RunState(), "stopped");
}

TEST_F(AgentTest, RightsAnswersOfTheWrongLengthClearTheFlag) {
    StartSwitch(
        "reply 0xE001 0x3811 * * : byte 1 byte 1\n"
        "reply 0xE001 0x3810 * * : status 0x03 byte 1\n"
        "reply 0xE001 0x3812 * * : byte 1\n");
    LoadAndInit();
    EXPECT_EQ(TraceCount("ShutdownIsAllowed = 0"), 2u);
    EXPECT_EQ(TraceCount("SetAllowed = 0"), 2u);
    EXPECT_EQ(TraceCount("DoAccountCheck = 1"), 2u);
}

}  // namespace
}  // namespace cx::test
