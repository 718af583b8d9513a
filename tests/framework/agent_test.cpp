// The agent through its entry points: its life (run states, regions, the rights check, the
// shutdown sequence and the initialisation thread's early ends), requests, the guards around
// failures inside it, traps and its settings.
#include <cstdlib>
#include <cstring>

#include "agent_fixture.h"

namespace cx::test {
namespace {

// The agent's life through the entry points: run states in the registry, the regions, the
// rights check, the shutdown sequence once, and the initialisation thread's early ends.
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

// Requests through SnmpExtensionQuery: GET, GETNEXT with its answer past the end of the tree,
// SET in two phases, error indexes of multi-binding requests and refused request types.
class QueryTest : public AgentTest {
  protected:
    void SetUp() override {
        AgentTest::SetUp();
        StartSwitch();
        LoadAndInit();
    }
};

TEST_F(QueryTest, GetAndGetNextWalkTheTreeAndBlameTheUnknownBinding) {
    struct Case {
        BYTE type;
        const char* asked;
        const char* answered;
    };
    const Case cases[] = {
        {SNMP_PDU_GET, kTestRoot ".1.2.0", kTestRoot ".1.2.0"},
        {SNMP_PDU_GETNEXT, kTestRoot, kTestRoot ".1.1.0"},  // the tree's own order is its tests'
        // past the last entry, inside the region: the root with its last number plus one
        {SNMP_PDU_GETNEXT, kTestRoot ".3.1.1.2", "1.3.6.1.4.1.7391.2.10.2.11"},
        {SNMP_PDU_GETNEXT, kTestRoot ".9.9", "1.3.6.1.4.1.7391.2.10.2.11"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        EXPECT_TRUE(Request(c.type, {c.asked}));
        EXPECT_EQ(status_, SNMP_ERRORSTATUS_NOERROR);
        EXPECT_EQ(AnswerOid(0), c.answered);
    }
    // An unknown object fails the GET at its binding.
    EXPECT_FALSE(Request(SNMP_PDU_GET, {kTestRoot ".7.0"}));
    EXPECT_EQ(status_, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(index_, 1);

    EXPECT_TRUE(Request(SNMP_PDU_GET, {kTestRoot ".2.1.0", kTestRoot ".7.0"}));
    EXPECT_EQ(status_, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(index_, 2);
    EXPECT_EQ(AnswerValue(0).asnValue.number, 11);
}

TEST_F(QueryTest, SetChangesNothingUnlessEveryBindingPasses) {
    EXPECT_TRUE(Request(SNMP_PDU_SET, {kTestRoot ".1.2.0", kTestRoot ".2.1.0"}, ASN_INTEGER, 99));
    EXPECT_EQ(status_, SNMP_ERRORSTATUS_READONLY);
    EXPECT_EQ(index_, 2);
    ASSERT_TRUE(Request(SNMP_PDU_GET, {kTestRoot ".1.2.0"}));
    EXPECT_EQ(AnswerValue(0).asnValue.number, 7);

    // The writable object alone takes the value, even of another type.
    EXPECT_TRUE(Request(SNMP_PDU_SET, {kTestRoot ".1.2.0"}, ASN_GAUGE32, 5));
    EXPECT_EQ(status_, SNMP_ERRORSTATUS_NOERROR);
    ASSERT_TRUE(Request(SNMP_PDU_GET, {kTestRoot ".1.2.0"}));
    EXPECT_EQ(AnswerValue(0).asnType, ASN_GAUGE32);
    EXPECT_EQ(AnswerValue(0).asnValue.gauge, 5u);
}

TEST_F(QueryTest, UnsupportedTypesHostileListsAndRequestsAfterCloseAreRefused) {
    for (BYTE type : {BYTE{0xA2}, BYTE{0xA4}, BYTE{0x00}}) {
        SCOPED_TRACE(type);
        EXPECT_FALSE(Request(type, {kTestRoot ".1.1.0"}));
        EXPECT_EQ(index_, 1);
    }
    // A list that claims bindings without an array, and no list at all.
    SnmpVarBindList hollow{};
    hollow.len = 5;
    EXPECT_FALSE(service_.Query(SNMP_PDU_GET, &hollow, &status_, &index_));
    EXPECT_FALSE(service_.Query(SNMP_PDU_GET, nullptr, &status_, &index_));
    // An empty OID and an OID of 200 numbers find nothing and break nothing.
    EXPECT_TRUE(Request(SNMP_PDU_GETNEXT, {""}));
    EXPECT_EQ(AnswerOid(0), kTestRoot ".1.1.0");
    std::string deep = kTestRoot;
    for (int i = 0; i < 200; ++i)
        deep += ".4";
    EXPECT_TRUE(Request(SNMP_PDU_GETNEXT, {deep}));
    EXPECT_EQ(AnswerOid(0), "1.3.6.1.4.1.7391.2.10.2.11");
    // And after close, every request.
    service_.Close();
    EXPECT_TRUE(Request(SNMP_PDU_GET, {kTestRoot ".1.1.0"}));
    EXPECT_EQ(status_, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(index_, 1);
}

// Failures inside the agent: each guard records its exception state, the entry point reports
// failure and the process goes on.
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

// Traps through SnmpExtensionTrap: nothing to send, a pending trap the agent cannot resolve,
// and queued traps oldest first.
// In one agent's life: nothing pending, then a pending trap it cannot resolve, then its queue.
TEST_F(AgentTest, OnlyResolvedOrQueuedTrapsAreSentOldestFirst) {
    StartSwitch();
    LoadAndInit();
    EXPECT_TRUE(service_.PollTraps().empty());  // the event was never set
    EXPECT_FALSE(service_.CallTrap(nullptr));
    EXPECT_EQ(TraceCount("SnmpTrap(): SNMP trap exit (TrapToSend=FALSE)"), 1u);

    service_.Symbol<FwTestPendingTrapFn>("FwTestRaisePendingTrap")(3);
    EXPECT_TRUE(service_.PollTraps().empty());
    EXPECT_EQ(TraceCount("## ERROR in CSnmpAgent::ResolveTrap(): function not overloaded! Trap "
                         "request ignored!!"),
              1u);
    // The pending flag is cleared: the next call has nothing to resolve.
    EXPECT_FALSE(service_.CallTrap(nullptr));
    EXPECT_EQ(TraceCount("function not overloaded"), 1u);

    auto queue = service_.Symbol<FwTestQueueTrapFn>("FwTestQueueTrap");
    for (AsnInteger32 specific : {21, 22, 23})
        ASSERT_TRUE(queue(specific));
    std::vector<Trap> traps = service_.PollTraps();
    ASSERT_EQ(traps.size(), 3u);
    for (std::size_t i = 0; i < traps.size(); ++i) {
        EXPECT_EQ(traps[i].specific_trap, static_cast<AsnInteger32>(21 + i));
        EXPECT_EQ(traps[i].generic_trap, 6);
        EXPECT_EQ(traps[i].enterprise, kTestRoot);
    }
    EXPECT_FALSE(service_.CallTrap(nullptr));
}

// The agent's settings: DWORD parameters and file paths made absolute against the data root.
class ParametersTest : public AgentTest {
  protected:
    void SetUp() override {
        AgentTest::SetUp();
        ASSERT_TRUE(service_.Load(CX_FWTEST_AGENT_PATH)) << service_.error();
    }
};

TEST_F(ParametersTest, RegParamReadsADwordAndKeepsTheDefaultOtherwise) {
    SetRegDword("SOFTWARE\\Arvenmark\\CX_FWTEST\\Parameters", "ScanTime", 600);
    SetRegString("SOFTWARE\\Arvenmark\\CX_FWTEST\\Parameters", "Text", "600");
    auto read = service_.Symbol<FwTestRegParamFn>("FwTestRegParam");
    DWORD value = 7200;
    EXPECT_TRUE(read("ScanTime", &value));
    EXPECT_EQ(value, 600u);
    value = 7200;
    EXPECT_FALSE(read("Missing", &value));
    EXPECT_EQ(value, 7200u);
    EXPECT_FALSE(read("Text", &value));
    EXPECT_EQ(value, 7200u);
    EXPECT_EQ(TraceCount("GetAgentRegParam(): ERROR! Could not read agent param \"Missing\"!"), 1u);
}

TEST_F(ParametersTest, FilePathsRelativeToTheDataRootOrAsGiven) {
    struct Case {
        const char* value;
        std::string expected;  // empty: the call fails
    };
    const std::string data_root = dir_.Path();
    const Case cases[] = {
        {"name.ini", data_root + "/name.ini"},
        {"C:name.ini", data_root + "/C:name.ini"},  // drive without backslash is relative
        {"D:\\dir\\name.ini", "D:\\dir\\name.ini"},
        {"\\\\server\\share\\name.ini", "\\\\server\\share\\name.ini"},
        {"/etc/catalix/name.ini", "/etc/catalix/name.ini"},
    };
    auto path_of = service_.Symbol<FwTestFilePathFn>("FwTestFilePath");
    const char* kFileKey = "SOFTWARE\\Arvenmark\\CX_FWTEST\\FILE";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        SetRegString(kFileKey, "TableFile", c.value);
        char path[MAX_PATH] = {};
        ASSERT_TRUE(path_of("TableFile", path, sizeof(path)));
        EXPECT_EQ(std::string(path), c.expected);
    }
    char path[MAX_PATH] = {};
    EXPECT_FALSE(path_of("Missing", path, sizeof(path)));

    // A result that does not fit fails and writes nothing past the buffer.
    SetRegString(kFileKey, "TableFile", "name.ini");
    char small[8];
    std::memset(small, 'x', sizeof(small));
    char guard[8];
    std::memset(guard, 'g', sizeof(guard));
    EXPECT_FALSE(path_of("TableFile", small, sizeof(small)));
    EXPECT_EQ(std::string(guard, sizeof(guard)), std::string(8, 'g'));
    // Exactly the size of data root, separator and name: one byte short of the terminator.
    std::string exact = data_root + "/name.ini";
    std::vector<char> tight(exact.size());
    EXPECT_FALSE(path_of("TableFile", tight.data(), static_cast<DWORD>(tight.size())));
}

}  // namespace
}  // namespace cx::test
