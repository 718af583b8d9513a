// The agent through its entry points: its life (run states, regions, the rights check, the
// shutdown sequence and the initialisation thread's early ends), requests, the guards around
// failures inside it, traps and its settings.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/registry_store.h"
#include "platform/snmp.h"
#include "platform/synch.h"
#include "registry_values.h"
#include "switchd_process.h"
#include "temp_dir.h"
#include "test_agent_control.h"
#include "trace_capture.h"

namespace cx::test {
namespace {

struct Trap {
    std::string enterprise;
    AsnInteger32 generic_trap = 0;
    AsnInteger32 specific_trap = 0;
};

// Dotted text of an OID, without a leading dot.
std::string OidText(const AsnObjectIdentifier& oid) {
    std::string text;
    for (UINT i = 0; i < oid.idLength; ++i)
        text += (i > 0 ? "." : "") + std::to_string(oid.ids[i]);
    return text;
}

// A list of bindings with the OIDs of `oids` and NULL values (SnmpUtilMem memory).
SnmpVarBindList MakeBindings(const std::vector<std::string>& oids) {
    SnmpVarBindList list{};
    list.len = static_cast<UINT>(oids.size());
    list.list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(list.len * sizeof(SnmpVarBind)));
    for (UINT i = 0; i < list.len; ++i) {
        SnmpVarBind& binding = list.list[i];
        binding = SnmpVarBind{};
        binding.value.asnType = ASN_NULL;
        std::vector<UINT> ids;
        for (const char* text = oids[i].c_str(); *text != '\0';) {
            char* end = nullptr;
            ids.push_back(static_cast<UINT>(std::strtoul(text, &end, 10)));
            text = *end != '\0' ? end + 1 : end;
        }
        binding.name.idLength = static_cast<UINT>(ids.size());
        binding.name.ids = static_cast<UINT*>(SnmpUtilMemAlloc(ids.size() * sizeof(UINT) + 1));
        std::copy(ids.begin(), ids.end(), binding.name.ids);
    }
    return list;
}

// An in-process stand-in for the SNMP service: it loads an agent library, calls its entry
// points in the order and manner the service does and owns what the calls hand back.
class SnmpService {
  public:
    SnmpService() = default;
    ~SnmpService() { Unload(); }
    SnmpService(const SnmpService&) = delete;
    SnmpService& operator=(const SnmpService&) = delete;

    // dlopen and the entry points; false with the reason in error().
    bool Load(const std::string& library_path) {
        library_ = dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
        const char* reason = library_ == nullptr ? dlerror() : nullptr;
        error_ = library_ == nullptr ? (reason != nullptr ? reason : "dlopen failed") : "";
        if (library_ != nullptr && (Symbol<void*>("SnmpExtensionInit") == nullptr ||
                                    Symbol<void*>("SnmpExtensionQuery") == nullptr))
            error_ = "entry points missing";
        closed_ = false;
        return error_.empty();
    }
    // SnmpExtensionInit, then SnmpExtensionInitEx until it declines; the views land in views().
    BOOL Init(DWORD time_zero = 0) {
        AsnObjectIdentifier view{};
        if (!Symbol<BOOL (*)(DWORD, HANDLE*, AsnObjectIdentifier*)>("SnmpExtensionInit")(
                time_zero, &trap_event_, &view))
            return FALSE;
        views_.push_back(OidText(view));  // the view stays the agent's, as with the real service
        auto init_ex = Symbol<BOOL (*)(AsnObjectIdentifier*)>("SnmpExtensionInitEx");
        // The service asks for further regions until the agent declines; bounded all the same.
        for (int i = 0; init_ex != nullptr && i < 64; ++i) {
            AsnObjectIdentifier more{};
            if (!init_ex(&more)) break;
            views_.push_back(OidText(more));
        }
        return TRUE;
    }
    BOOL Query(BYTE request_type, SnmpVarBindList* list, AsnInteger32* error_status,
               AsnInteger32* error_index) {
        return Symbol<BOOL (*)(BYTE, SnmpVarBindList*, AsnInteger32*, AsnInteger32*)>(
            "SnmpExtensionQuery")(request_type, list, error_status, error_index);
    }
    // One SnmpExtensionTrap call; the outputs are kept in *trap when it returns TRUE.
    BOOL CallTrap(Trap* trap) {
        AsnObjectIdentifier enterprise{};
        Trap out;
        AsnTimeticks time_stamp = 0;
        SnmpVarBindList bindings{};
        BOOL result = Symbol<BOOL (*)(AsnObjectIdentifier*, AsnInteger32*, AsnInteger32*,
                                      AsnTimeticks*, SnmpVarBindList*)>("SnmpExtensionTrap")(
            &enterprise, &out.generic_trap, &out.specific_trap, &time_stamp, &bindings);
        out.enterprise = OidText(enterprise);
        if (result && trap != nullptr) *trap = out;
        // As the SNMP service: the bindings are the service's to free, the enterprise OID the
        // agent's.
        SnmpUtilVarBindListFree(&bindings);
        return result;
    }
    // As the service: when the trap event is set, SnmpExtensionTrap until it returns FALSE.
    std::vector<Trap> PollTraps() {
        std::vector<Trap> traps;
        if (trap_event_ == nullptr || WaitForSingleObject(trap_event_, 0) != WAIT_OBJECT_0)
            return traps;
        for (Trap trap; traps.size() < 1024 && CallTrap(&trap);)
            traps.push_back(trap);
        return traps;
    }
    void Close() {
        auto close = Symbol<void (*)()>("SnmpExtensionClose");
        if (close != nullptr && !closed_) close();
        closed_ = true;
    }
    void Unload() {
        if (library_ != nullptr) dlclose(library_);
        library_ = nullptr;
        trap_event_ = nullptr;
    }

    template <class Fn>
    Fn Symbol(const char* name) const {
        return reinterpret_cast<Fn>(library_ != nullptr ? dlsym(library_, name) : nullptr);
    }

    HANDLE trap_event() const { return trap_event_; }
    const std::vector<std::string>& views() const { return views_; }
    const std::string& error() const { return error_; }

  private:
    void* library_ = nullptr;
    bool closed_ = false;
    HANDLE trap_event_ = nullptr;
    std::vector<std::string> views_;
    std::string error_;
};

constexpr const char* kAgentName = "CX_FWTEST";
constexpr const char* kVolatileKey =
    "SOFTWARE\\Arvenmark\\CX_FWTEST\\Parameters\\VolatileParameters";
// The three rights requests answered with 1, 0 and 1.
constexpr const char* kRightsScenario =
    "reply 0xE001 0x3811 * * : byte 1\n"
    "reply 0xE001 0x3810 * * : byte 0\n"
    "reply 0xE001 0x3812 * * : byte 1\n";

// A registry file, a data root and a trace file of the test's own, the service with the test
// agent library, and readers for what the agent leaves in the registry and the trace.
class AgentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CxRegistrySetPath(dir_.File("registry.db").c_str());
        SetRegString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", dir_.Path());
        TraceToFile(kAgentName, dir_.File("trace.txt"));
    }
    void TearDown() override {
        SnmpUtilVarBindListFree(&list_);
        service_.Unload();
        switchd_.reset();
    }

    // Starts cx-switchd with `scenario` and registers it, so that the agent's attach succeeds.
    void StartSwitch(const std::string& scenario = kRightsScenario) {
        switchd_ = std::make_unique<SwitchdProcess>(dir_);
        switchd_->RegisterClass();
        ASSERT_TRUE(switchd_->Start(scenario));
    }
    // Load and SnmpExtensionInit; with `wait_started`, until "#Status" reads "started".
    void LoadAndInit(bool wait_started = true) {
        ASSERT_TRUE(service_.Load(CX_FWTEST_AGENT_PATH)) << service_.error();
        ASSERT_TRUE(service_.Init(100));
        if (wait_started) {
            ASSERT_TRUE(WaitForRunState("started")) << RunState();
        }
    }

    std::string RunState() const { return AgentRunState(kAgentName); }
    std::size_t TraceCount(const std::string& text) const {
        return Occurrences(ReadFile(dir_.File("trace.txt")), text);
    }
    bool WaitForRunState(const std::string& state) {
        return WaitUntil([&] { return RunState() == state; });
    }
    bool WaitForTrace(const std::string& text) {
        return WaitUntil([&] { return TraceCount(text) > 0; });
    }

    // One request of one or more OIDs, each binding with the value `type`/`number` (NULL by
    // default); the answers stay in `list` until the next call.
    BOOL Request(BYTE type, const std::vector<std::string>& oids, BYTE value_type = ASN_NULL,
                 LONG number = 0) {
        SnmpUtilVarBindListFree(&list_);
        list_ = MakeBindings(oids);
        for (UINT i = 0; i < list_.len; ++i) {
            list_.list[i].value.asnType = value_type;
            list_.list[i].value.asnValue.number = number;
        }
        status_ = -1;
        index_ = -1;
        return service_.Query(type, &list_, &status_, &index_);
    }
    std::string AnswerOid(UINT i) const { return OidText(list_.list[i].name); }
    const AsnAny& AnswerValue(UINT i) const { return list_.list[i].value; }

    TempDir dir_;
    std::unique_ptr<SwitchdProcess> switchd_;
    SnmpService service_;
    SnmpVarBindList list_{};
    AsnInteger32 status_ = -1;
    AsnInteger32 index_ = -1;
};

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

    EXPECT_EQ(ReadRegString(kParametersKey, "InvTableIndex"), "." kTestRoot);
    EXPECT_EQ(ReadRegDword(kParametersKey, "AgentPurpose"), 1u);
    EXPECT_EQ(ReadRegDword(kVolatileKey, "AgentStatus"), 1u);
    EXPECT_EQ(ReadRegString(kVolatileKey, "AgentLastError"), "");
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
    EXPECT_EQ(ReadRegDword(kVolatileKey, "AgentStatus"), std::nullopt);  // the key is gone
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
void ExpectExceptionRecorded() {
    EXPECT_EQ(ReadRegDword(kVolatileKey, "AgentStatus"), 4u);
    EXPECT_EQ(ReadRegString(kVolatileKey, "AgentLastError"), "exception occured");
}

TEST_F(AgentTest, ExceptionInQueryFailsTheRequestOnly) {
    StartSwitch();
    LoadAndInit();
    service_.Symbol<FwTestSwitchFn>("FwTestSetThrowInQuery")(1);
    EXPECT_FALSE(Request(SNMP_PDU_GET, {kTestRoot ".1.1.0"}));
    EXPECT_EQ(RunState(), "exception (SnmpExtensionQuery)");
    ExpectExceptionRecorded();
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
    ExpectExceptionRecorded();
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
    ExpectExceptionRecorded();
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
