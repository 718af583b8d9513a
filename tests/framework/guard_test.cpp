// Failures inside the agent: each guard records its exception state, the entry point reports
// failure and the process goes on.
#include <cstdlib>

#include "agent_fixture.h"

namespace cx::test {
namespace {

void ExpectExceptionRecorded(std::optional<DWORD> status, std::optional<std::string> last_error) {
    EXPECT_EQ(status, 4u);
    EXPECT_EQ(last_error, "exception occured");
}

TEST_F(AgentTest, ExceptionInQueryFailsTheRequestOnly) {
    StartSwitch();
    LoadAndInit();
    service_.Symbol<FwTestSwitchFn>("FwTestSetThrowInQuery")(1);
    EXPECT_FALSE(Request(SNMP_PDU_GET, {kTestRoot ".1.1.0"}));
    EXPECT_EQ(RunState(), "exception (SnmpExtensionQuery)");
    ExpectExceptionRecorded(ReadDword(kVolatileKey, "AgentStatus"),
                            ReadString(kVolatileKey, "AgentLastError"));
    EXPECT_EQ(TraceCount("##### Exception in SnmpQuery() !! #####"), 1u);

    // The MIB lock was released: the next request is answered.
    service_.Symbol<FwTestSwitchFn>("FwTestSetThrowInQuery")(0);
    EXPECT_TRUE(Request(SNMP_PDU_GET, {kTestRoot ".1.1.0"}));
    EXPECT_EQ(status_, SNMP_ERRORSTATUS_NOERROR);
}

TEST_F(AgentTest, ExceptionInInitializeMibEndsTheThreadWithItsState) {
    StartSwitch();
    ASSERT_TRUE(service_.Load(CX_FWTEST_AGENT_PATH)) << service_.error();
    service_.Symbol<FwTestSwitchFn>("FwTestSetThrowInInitializeMib")(1);
    ASSERT_TRUE(service_.Init(100));
    ASSERT_TRUE(WaitForRunState("exception (InitializeMib)")) << RunState();
    ASSERT_TRUE(WaitForTrace("*** EXIT THREAD Thread_InitMib() ***"));
    EXPECT_EQ(TraceCount("Exception in MIB Init Thread !!"), 1u);
    ExpectExceptionRecorded(ReadDword(kVolatileKey, "AgentStatus"),
                            ReadString(kVolatileKey, "AgentLastError"));
    EXPECT_TRUE(Request(SNMP_PDU_GET, {kTestRoot ".1.1.0"}));
    EXPECT_EQ(status_, SNMP_ERRORSTATUS_NOSUCHNAME);
}

TEST_F(AgentTest, AgentWithoutRegionFailsInit) {
    setenv(kNoRegionVariable, "1", 1);
    bool loaded = service_.Load(CX_FWTEST_AGENT_PATH);
    AsnObjectIdentifier view{};
    HANDLE trap_event = nullptr;
    BOOL initialised = loaded ? service_.Symbol<BOOL (*)(DWORD, HANDLE*, AsnObjectIdentifier*)>(
                                    "SnmpExtensionInit")(0, &trap_event, &view)
                              : TRUE;
    unsetenv(kNoRegionVariable);
    ASSERT_TRUE(loaded) << service_.error();
    EXPECT_FALSE(initialised);
    EXPECT_EQ(view.idLength, 0u);
    EXPECT_EQ(view.ids, nullptr);
    EXPECT_EQ(RunState(), "exception (SnmpExtensionInit)");
    ExpectExceptionRecorded(ReadDword(kVolatileKey, "AgentStatus"),
                            ReadString(kVolatileKey, "AgentLastError"));
    EXPECT_EQ(TraceCount("## FATAL ERROR: InitSupportedRegions() function not implemented"), 1u);
}

}  // namespace
}  // namespace cx::test
