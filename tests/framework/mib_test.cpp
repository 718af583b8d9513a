// The MIB tree of the framework and the binding values it stores.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/oid_text.h"
#include "framework/mib_tree.h"

namespace {

class TestAgent : public CSnmpMibTree<TestAgent> {};

// A request binding as the SNMP service hands it in: OID from text, NULL value, SnmpUtilMem
// memory throughout.
class RequestBinding {
  public:
    explicit RequestBinding(const char* oid_text) {
        binding.value.asnType = ASN_NULL;
        StringToOid(oid_text, &binding.name);
    }
    ~RequestBinding() { SnmpUtilVarBindFree(&binding); }
    RequestBinding(const RequestBinding&) = delete;
    RequestBinding& operator=(const RequestBinding&) = delete;

    std::string Oid() const { return OidToString(&binding.name, 0); }

    SnmpVarBind binding{};
};

inline std::string OctetsOf(const AsnAny& value) {
    const AsnOctetString& octets = value.asnValue.string;
    if (octets.stream == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(octets.stream), octets.length);
}

// The MIB tree without callbacks: registration, GET and GETNEXT order, SET on stored values.
constexpr const char* kRoot = "1.3.6.1.4.1.7391.2.10.2.10";

std::string Under(const std::string& suffix) { return std::string(kRoot) + suffix; }

// Three scalars and a small table of two rows.
void Populate(CSnmpMibRegistry<TestAgent>& agent) {
    agent.AddConstMibEntry(Under(".1.1.0").c_str(), "avkCxAgentId", "agent", ASN_OCTETSTRING, 0);
    agent.AddConstMibEntry(Under(".2.1.0").c_str(), "avkCxLastDate", 1161404912, ASN_INTEGER, 0);
    agent.AddConstMibEntry(Under(".2.3.0").c_str(), "avkCxScanState", 3, ASN_INTEGER, 2);
    for (LONG row = 1; row <= 2; ++row) {
        agent.AddConstTableEntry(Under(".3.1.1.1.0").c_str(), "avkCxCompDefNo", row, ASN_INTEGER,
                                 row);
        agent.AddConstTableEntry(Under(".3.1.1.3.0").c_str(), "avkCxCompDefName",
                                 row == 1 ? "Cabinet" : "Board", ASN_OCTETSTRING, row);
    }
}

bool Step(TestAgent& agent, RequestBinding& request, std::string* name = nullptr) {
    return agent.MibGetVarbind(&request.binding, SNMP_PDU_GETNEXT, nullptr, name);
}

// GET answers a registered OID exactly; any other OID, or another request type, finds nothing
// and leaves the binding as it came.
TEST(MibTreeGet, OnlyAnExactOidOfAGetIsAnswered) {
    TestAgent agent;
    Populate(agent);
    struct Case {
        std::string oid;
        BYTE type;
        bool found;
    } cases[] = {
        {Under(".2.1.0"), SNMP_PDU_GET, true},  {Under(".2.1"), SNMP_PDU_GET, false},
        {Under(".2.2.0"), SNMP_PDU_GET, false}, {"1.3", SNMP_PDU_GET, false},
        {Under(".2.1.0"), SNMP_PDU_SET, false}, {Under(".2.1.0"), 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.oid + " type " + std::to_string(c.type));
        RequestBinding request(c.oid.c_str());
        AsnInteger32 status = -1;
        std::string name = "untouched";
        EXPECT_EQ(agent.MibGetVarbind(&request.binding, c.type, &status, &name), c.found);
        EXPECT_EQ(status, c.found ? SNMP_ERRORSTATUS_NOERROR : SNMP_ERRORSTATUS_NOSUCHNAME);
        EXPECT_EQ(request.Oid(), c.oid);
        EXPECT_EQ(name, c.found ? "avkCxLastDate" : "untouched");
        EXPECT_EQ(request.binding.value.asnType, c.found ? ASN_INTEGER : ASN_NULL);
        EXPECT_EQ(request.binding.value.asnValue.number, c.found ? 1161404912 : 0);
    }
}

// The lookup: an entry, else an object type that is a prefix of the name (an entry's OID without
// its instance: a table cell's indexes, the last sub-identifier of any other entry), else
// nothing. Built MIBs keep their types when they are swapped in.
TEST(MibTreeGet, LookupTellsAnObjectFromAMissingInstanceAndAMissingType) {
    TestAgent agent;
    CSnmpMibBuild<TestAgent> build;
    Populate(build);
    build.AddConstTableEntry(Under(".4.1.1.2.0.0").c_str(), "twoIndexes", 1, ASN_INTEGER, 3, 4);
    RequestBinding plain(Under(".6.1.7").c_str());
    build.SetMibEntry(&plain.binding, "plain", 0);
    ASSERT_TRUE(agent.ReplaceMib(build));
    const std::vector<std::pair<DWORD, std::vector<std::string>>> cases = {
        {CX_LOOKUP_INSTANCE, {".2.1.0", ".4.1.1.2.3.4", ".6.1.7"}},
        {CX_LOOKUP_NO_INSTANCE,
         {".2.1", ".2.1.5", ".3.1.1.1.9", ".3.1.1.3.7.7", ".4.1.1.2", ".4.1.1.2.9.9", ".6.1.9"}},
        {CX_LOOKUP_NO_OBJECT_TYPE, {".2.2.0", ".2", ".3.1.1.2.1", ".4.1.1", ".99.0", ".7"}}};
    for (const auto& [holding, suffixes] : cases) {
        for (const std::string& suffix : suffixes) {
            RequestBinding request(Under(suffix).c_str());
            EXPECT_EQ(agent.LookupObject(&request.binding.name), holding) << suffix;
        }
    }
    EXPECT_EQ(agent.LookupObject(nullptr), static_cast<DWORD>(CX_LOOKUP_NO_OBJECT_TYPE));
}

// GETNEXT answers the next greater entry; past the last one it finds nothing, answers
// noSuchName and keeps the binding.
TEST(MibTreeGetNext, AnswersTheNextGreaterEntryOrNoSuchNameAtTheEnd) {
    TestAgent agent;
    Populate(agent);
    struct Case {
        std::string from;
        std::string next;  // empty: the end of the tree
    } cases[] = {
        {"", Under(".1.1.0")},                                  // the empty OID
        {kRoot, Under(".1.1.0")},                               // the region root itself
        {Under(".1.1.0"), Under(".2.1.0")},                     // an entry: the one after it
        {Under(".1.1.0.5"), Under(".2.1.0")},                   // below an entry
        {Under(".2.2.0"), Under(".2.3.0")},                     // a missing scalar
        {Under(".2.3.0"), Under(".3.1.1.1.1")},                 // into the table
        {Under(".3.1.1.1.2"), Under(".3.1.1.3.1")},             // column to column
        {Under(".3.1.1.3.1.4294967295"), Under(".3.1.1.3.2")},  // large sub-identifiers
        {Under(".3.1.1.3.2"), ""},
        {Under(".4"), ""},
        {"1.3.6.1.4.1.7391.2.10.2.11", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        RequestBinding request(c.from.c_str());
        if (c.from.find("4294967295") != std::string::npos)
            request.binding.name.ids[request.binding.name.idLength - 1] = 4294967295u;
        AsnInteger32 status = -1;
        EXPECT_EQ(agent.MibGetVarbind(&request.binding, SNMP_PDU_GETNEXT, &status, nullptr),
                  !c.next.empty());
        EXPECT_EQ(status, c.next.empty() ? SNMP_ERRORSTATUS_NOSUCHNAME : SNMP_ERRORSTATUS_NOERROR);
        EXPECT_EQ(request.Oid(), c.next.empty() ? c.from : c.next);
    }
    RequestBinding broken("");  // a length without an array counts as the empty OID
    broken.binding.name.idLength = 200;
    EXPECT_TRUE(Step(agent, broken));
    EXPECT_EQ(broken.Oid(), Under(".1.1.0"));
}

// A walk goes on correctly when the tree changes between its steps, and another manager's
// request in between does not disturb it.
TEST(MibTreeGetNext, WalkSeesChangesMadeOnTheWay) {
    TestAgent agent;
    Populate(agent);
    RequestBinding request(Under(".1").c_str());
    ASSERT_TRUE(Step(agent, request));
    agent.AddConstMibEntry(Under(".1.2.0").c_str(), "inserted", 1, ASN_INTEGER, 0);
    ASSERT_TRUE(Step(agent, request));
    EXPECT_EQ(request.Oid(), Under(".1.2.0"));

    agent.DeleteMib();
    EXPECT_EQ(agent.MibEntryCount(), 0u);
    agent.AddConstMibEntry(Under(".2.3.0").c_str(), "only", 1, ASN_INTEGER, 0);
    ASSERT_TRUE(Step(agent, request));
    EXPECT_EQ(request.Oid(), Under(".2.3.0"));
    EXPECT_FALSE(Step(agent, request));

    agent.DeleteMib();
    Populate(agent);
    EXPECT_EQ(agent.MibEntryCount(), 7u);
    RequestBinding walk(Under(".2.1.0").c_str());
    RequestBinding other(Under(".3").c_str());
    ASSERT_TRUE(Step(agent, walk));
    ASSERT_TRUE(Step(agent, other));
    ASSERT_TRUE(Step(agent, walk));
    EXPECT_EQ(walk.Oid(), Under(".3.1.1.1.1"));
    EXPECT_EQ(other.Oid(), Under(".3.1.1.1.1"));
}

// The same OID again updates in place (a NULL name keeps the earlier one); table entries take
// their indexes; bad OID text and a bad type still register.
TEST(MibTreeRegistration, UpdatesIndexesAndBadInput) {
    TestAgent agent;
    agent.AddConstMibEntry(Under(".2.2.0").c_str(), "avkCxLastScan", 1, ASN_INTEGER, 0);
    SnmpVarBind later = MakeConstBinding(Under(".2.2.0").c_str());
    SetVarBindValueText(&later, "text now", ASN_OCTETSTRING);
    agent.SetMibEntry(&later, nullptr, 0);
    SnmpUtilVarBindFree(&later);
    agent.AddConstTableEntry(Under(".5.1.1.6.0").c_str(), "avkCxInfoProductName", "CXSERVER",
                             ASN_OCTETSTRING, 12);
    agent.AddConstTableEntry(Under(".3.1.2.0.0").c_str(), "twoIndexes", 9, ASN_INTEGER, 5, 7);
    agent.AddConstMibEntry("not an oid", "broken", 5, ASN_INTEGER, 0);  // the empty OID's key
    agent.AddConstMibEntry(Under(".9.0").c_str(), "badType", 5, ASN_OBJECTIDENTIFIER, 0);
    EXPECT_EQ(agent.MibEntryCount(), 5u);

    struct Case {
        std::string oid, name, octets;
        BYTE type;
    } cases[] = {
        {Under(".2.2.0"), "avkCxLastScan", "text now", ASN_OCTETSTRING},
        {Under(".5.1.1.6.12"), "avkCxInfoProductName", "CXSERVER", ASN_OCTETSTRING},
        {Under(".3.1.2.5.7"), "twoIndexes", "", ASN_INTEGER},
        {"", "broken", "", ASN_INTEGER},
        {Under(".9.0"), "badType", "", ASN_NULL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.oid);
        RequestBinding request(c.oid.c_str());
        std::string name;
        ASSERT_TRUE(agent.MibGetVarbind(&request.binding, SNMP_PDU_GET, nullptr, &name));
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(request.binding.value.asnType, c.type);
        if (c.type == ASN_OCTETSTRING) {
            EXPECT_EQ(OctetsOf(request.binding.value), c.octets);
        }
    }
    agent.AddConstMibEntry(Under(".2.2.0").c_str(), "renamed", 3, ASN_INTEGER, 0);
    RequestBinding renamed(Under(".2.2.0").c_str());
    std::string name;
    ASSERT_TRUE(agent.MibGetVarbind(&renamed.binding, SNMP_PDU_GET, nullptr, &name));
    EXPECT_EQ(name, "renamed");
}

// SET: a read-only entry refuses both phases, an unknown OID is noSuchName, a read-write
// entry takes a value of any type in the second phase only.
TEST(MibTreeSet, BothPhasesByAccess) {
    struct Case {
        const char* suffix;
        bool found;
        AsnInteger32 status;
        BYTE stored_type;  // after both phases
    } cases[] = {
        {".2.1.0", true, SNMP_ERRORSTATUS_READONLY, ASN_INTEGER},
        {".2.9.0", false, SNMP_ERRORSTATUS_NOSUCHNAME, ASN_NULL},
        {".2.3.0", true, SNMP_ERRORSTATUS_NOERROR, ASN_OCTETSTRING},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suffix);
        TestAgent agent;
        Populate(agent);
        RequestBinding request(Under(c.suffix).c_str());
        SetVarBindValueText(&request.binding, "now a string", ASN_OCTETSTRING);
        AsnInteger32 status = -1;
        EXPECT_EQ(agent.MibCheckSetVarbind(&request.binding, &status, nullptr), c.found);
        EXPECT_EQ(status, c.status);
        RequestBinding before(Under(c.suffix).c_str());
        agent.MibGetVarbind(&before.binding, SNMP_PDU_GET, nullptr, nullptr);
        EXPECT_NE(before.binding.value.asnType, ASN_OCTETSTRING);  // the check stores nothing
        EXPECT_EQ(agent.MibSetVarbind(&request.binding, &status), c.found);
        EXPECT_EQ(status, c.status);
        RequestBinding after(Under(c.suffix).c_str());
        agent.MibGetVarbind(&after.binding, SNMP_PDU_GET, nullptr, nullptr);
        EXPECT_EQ(after.binding.value.asnType, c.stored_type);
        if (c.stored_type == ASN_OCTETSTRING) {
            EXPECT_EQ(OctetsOf(after.binding.value), "now a string");
        }
        EXPECT_EQ(agent.MibEntryCount(), 7u);
    }
}

// A build registers as the tree does and is served whole: the old entries go with the build,
// and a walk under way goes on from its OID in the new tree.
TEST(MibTreeReplace, ABuildIsServedWholeAndTakesTheOldEntriesWithIt) {
    TestAgent agent;
    Populate(agent);
    agent.AddConstMibEntry(Under(".9.9.0").c_str(), "gone", 1, ASN_INTEGER, 0);
    RequestBinding walk(Under(".1.1.0").c_str());
    ASSERT_TRUE(Step(agent, walk));
    ASSERT_EQ(walk.Oid(), Under(".2.1.0"));

    CSnmpMibBuild<TestAgent> build;
    Populate(build);
    agent.AddConstMibEntry(Under(".2.2.0").c_str(), "avkCxLastScan", 1, ASN_INTEGER, 0);
    build.AddConstMibEntry(Under(".2.2.0").c_str(), "avkCxLastScan", "text now", ASN_OCTETSTRING,
                           0);
    EXPECT_EQ(build.MibEntryCount(), 8u);

    EXPECT_TRUE(agent.ReplaceMib(build));
    EXPECT_EQ(agent.MibEntryCount(), 8u);
    EXPECT_EQ(build.MibEntryCount(), 9u);  // the old ones, to be freed by the caller
    build.Clear();
    EXPECT_EQ(build.MibEntryCount(), 0u);

    std::string name;
    ASSERT_TRUE(Step(agent, walk, &name));
    EXPECT_EQ(walk.Oid(), Under(".2.2.0"));
    EXPECT_EQ(name, "avkCxLastScan");
    EXPECT_EQ(OctetsOf(walk.binding.value), "text now");
    RequestBinding gone(Under(".9.9.0").c_str());
    EXPECT_FALSE(agent.MibGetVarbind(&gone.binding, SNMP_PDU_GET, nullptr, nullptr));
}

// A build takes its entries in any order: served, they are in OID order, and of an OID
// registered twice the later value counts with the last name given.
TEST(MibTreeReplace, EntriesOutOfOrderAreServedInOrderAndTheLastRegistrationCounts) {
    CSnmpMibBuild<TestAgent> build;
    for (LONG row = 3; row >= 1; --row)
        build.AddConstTableEntry(Under(".5.1.1.2.0").c_str(), "column", row * 10, ASN_INTEGER, row);
    build.AddConstMibEntry(Under(".1.1.0").c_str(), "first", "old", ASN_OCTETSTRING, 0);
    build.AddConstTableEntry(Under(".5.1.1.2.0").c_str(), "again", "two", ASN_OCTETSTRING, 2);
    SnmpVarBind unnamed = MakeConstBinding(Under(".1.1.0").c_str());
    SetVarBindValue(&unnamed, 5, ASN_GAUGE32);
    build.SetMibEntry(&unnamed, nullptr, kMibAccessReadWrite);
    SnmpUtilVarBindFree(&unnamed);

    TestAgent agent;
    ASSERT_TRUE(agent.ReplaceMib(build));
    std::vector<std::string> walked;
    RequestBinding walk(kRoot);
    std::string name;
    while (Step(agent, walk, &name)) {
        const AsnAny& value = walk.binding.value;
        walked.push_back(walk.Oid().substr(std::strlen(kRoot)) + " " + name + " " +
                         (value.asnType == ASN_OCTETSTRING
                              ? OctetsOf(value)
                              : std::to_string(value.asnValue.number)));
    }
    EXPECT_EQ(walked, (std::vector<std::string>{".1.1.0 first 5", ".5.1.1.2.1 column 10",
                                                ".5.1.1.2.2 again two", ".5.1.1.2.3 column 30"}));
    AsnInteger32 status = 0;
    RequestBinding set(Under(".1.1.0").c_str());
    EXPECT_TRUE(agent.MibCheckSetVarbind(&set.binding, &status, nullptr));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);  // the access of the later registration
}

// Values replaced again and again in a served MIB, long and short, by registration and by SET:
// every entry keeps its own value throughout.
TEST(MibTreeSet, ValuesReplacedManyTimesStayTheirEntries) {
    TestAgent agent;
    Populate(agent);
    agent.AddConstMibEntry(Under(".1.2.0").c_str(), "text", "", ASN_OCTETSTRING, 2);
    for (int round = 0; round < 300; ++round) {
        const std::string text(static_cast<std::size_t>(round % 7 == 0 ? 0 : 20 + round), 'a');
        agent.AddConstMibEntry(Under(".1.2.0").c_str(), nullptr, text.c_str(), ASN_OCTETSTRING, 2);
        RequestBinding set(Under(".1.2.0").c_str());
        SetVarBindValueText(&set.binding, (text + "!").c_str(), ASN_OCTETSTRING);
        AsnInteger32 status = 0;
        ASSERT_TRUE(agent.MibSetVarbind(&set.binding, &status));
        RequestBinding get(Under(".1.2.0").c_str());
        ASSERT_TRUE(agent.MibGetVarbind(&get.binding, SNMP_PDU_GET, &status, nullptr));
        ASSERT_EQ(OctetsOf(get.binding.value), text + "!");
    }
    RequestBinding agent_id(Under(".1.1.0").c_str());
    ASSERT_TRUE(agent.MibGetVarbind(&agent_id.binding, SNMP_PDU_GET, nullptr, nullptr));
    EXPECT_EQ(OctetsOf(agent_id.binding.value), "agent");
    RequestBinding name(Under(".3.1.1.3.2").c_str());
    ASSERT_TRUE(agent.MibGetVarbind(&name.binding, SNMP_PDU_GET, nullptr, nullptr));
    EXPECT_EQ(OctetsOf(name.binding.value), "Board");
}

// The MIB tree's callbacks: modes and order, failures, exceptions, and callbacks that change
// the tree under the dispatch.
constexpr const char* kScalar = "1.3.6.1.4.1.7391.2.10.2.10.7.1.0";
constexpr const char* kAfter = "1.3.6.1.4.1.7391.2.10.2.10.7.2.0";

// An agent whose callbacks are its own member functions and record how they were called.
class CallbackAgent : public CSnmpMibTree<CallbackAgent> {
  public:
    AsnInteger32 PreGet(SnmpVarBind* binding, UINT mode) { return Record("pre", binding, mode); }
    AsnInteger32 Get(SnmpVarBind* binding, UINT mode) {
        SetVarBindValue(binding, 42, ASN_GAUGE32);
        return Record("get", binding, mode);
    }
    AsnInteger32 CheckSet(SnmpVarBind* binding, UINT mode) {
        return Record("check", binding, mode);
    }
    AsnInteger32 Set(SnmpVarBind* binding, UINT mode) { return Record("set", binding, mode); }
    AsnInteger32 Throw(SnmpVarBind*, UINT) { throw std::runtime_error("callback failed"); }

    void Register(BYTE access) {
        SnmpVarBind binding = MakeConstBinding(kScalar);
        SetVarBindValue(&binding, 7, ASN_INTEGER);
        SetMibEntry(&binding, "scalar", access, &CallbackAgent::Get, &CallbackAgent::Set,
                    &CallbackAgent::CheckSet, &CallbackAgent::PreGet);
        SnmpUtilVarBindFree(&binding);
        AddConstMibEntry(kAfter, "after", 8, ASN_INTEGER, 0);
    }

    std::vector<std::string> calls;
    AsnInteger32 answer = SNMP_ERRORSTATUS_NOERROR;

  private:
    AsnInteger32 Record(const char* what, const SnmpVarBind* binding, UINT mode) {
        calls.push_back(std::string(what) + ":" + std::to_string(mode) + ":" +
                        OidToString(&binding->name, 0));
        return answer;
    }
};

std::string At(const char* what, UINT mode) {
    return std::string(what) + ":" + std::to_string(mode) + ":" + kScalar;
}

TEST(MibCallbacks, GetRunsPreGetThenGetOnACopyUnlessPreGetFails) {
    CallbackAgent agent;
    agent.Register(0);
    for (BYTE type : {BYTE{SNMP_PDU_GET}, BYTE{SNMP_PDU_GETNEXT}}) {
        agent.calls.clear();
        RequestBinding request(type == SNMP_PDU_GET ? kScalar : "1.3.6.1.4.1.7391.2.10.2.10.7");
        AsnInteger32 status = -1;
        ASSERT_TRUE(agent.MibGetVarbind(&request.binding, type, &status, nullptr));
        EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
        EXPECT_EQ(agent.calls, (std::vector<std::string>{At("pre", 3), At("get", 0)}));
        EXPECT_EQ(request.binding.value.asnType, ASN_GAUGE32);
        EXPECT_EQ(request.binding.value.asnValue.unsigned32, 42u);
    }
    // A failed PreGetCallback skips GetCallback and still answers the entry.
    agent.calls.clear();
    agent.answer = SNMP_ERRORSTATUS_GENERR;
    RequestBinding request("1.3.6.1.4.1.7391.2.10.2.10.7");
    AsnInteger32 status = -1;
    ASSERT_TRUE(agent.MibGetVarbind(&request.binding, SNMP_PDU_GETNEXT, &status, nullptr));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);
    EXPECT_EQ(agent.calls, (std::vector<std::string>{At("pre", 3)}));
    // The binding holds the failed entry, so that a retried GETNEXT goes on after it.
    EXPECT_EQ(request.Oid(), kScalar);
    ASSERT_TRUE(agent.MibGetVarbind(&request.binding, SNMP_PDU_GETNEXT, &status, nullptr));
    EXPECT_EQ(request.Oid(), kAfter);
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
}

// Both SET phases call their callbacks with the request; only a SetCallback that answers 0
// lets the request's value become the stored one.
TEST(MibCallbacks, SetPhasesCallTheirCallbacksAndASuccessfulSetStores) {
    CallbackAgent agent;
    SnmpVarBind binding = MakeConstBinding(kScalar);
    SetVarBindValue(&binding, 7, ASN_INTEGER);
    agent.SetMibEntry(&binding, "scalar", kMibAccessReadWrite, {}, &CallbackAgent::Set,
                      &CallbackAgent::CheckSet);
    SnmpUtilVarBindFree(&binding);
    RequestBinding request(kScalar);
    RequestBinding get(kScalar);
    AsnInteger32 status = -1;
    for (AsnInteger32 answer : {SNMP_ERRORSTATUS_NOERROR, SNMP_ERRORSTATUS_BADVALUE}) {
        agent.calls.clear();
        agent.answer = answer;
        SetVarBindValue(&request.binding, 11 + answer, ASN_INTEGER);
        EXPECT_TRUE(agent.MibCheckSetVarbind(&request.binding, &status, nullptr));
        EXPECT_EQ(status, answer);
        EXPECT_TRUE(agent.MibSetVarbind(&request.binding, &status));
        EXPECT_EQ(status, answer);
        EXPECT_EQ(agent.calls, (std::vector<std::string>{At("check", 2), At("set", 1)}));
        ASSERT_TRUE(agent.MibGetVarbind(&get.binding, SNMP_PDU_GET, nullptr, nullptr));
        EXPECT_EQ(get.binding.value.asnValue.number, 11);  // a refused SET keeps the old value
    }
}

TEST(MibCallbacks, ThrowingCallbackGivesGenericErrorAndOneThatEmptiesTheTreeIsSafe) {
    CallbackAgent agent;
    SnmpVarBind binding = MakeConstBinding(kScalar);
    agent.SetMibEntry(&binding, "thrower", kMibAccessReadWrite, &CallbackAgent::Throw,
                      &CallbackAgent::Throw, &CallbackAgent::Throw);
    SnmpUtilVarBindFree(&binding);
    RequestBinding request(kScalar);
    AsnInteger32 status = -1;
    EXPECT_TRUE(agent.MibGetVarbind(&request.binding, SNMP_PDU_GET, &status, nullptr));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);
    EXPECT_TRUE(agent.MibCheckSetVarbind(&request.binding, &status, nullptr));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);
    EXPECT_TRUE(agent.MibSetVarbind(&request.binding, &status));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);

    // A callback that empties the tree under the dispatch is safe.
    auto wipe = [](CallbackAgent& self, SnmpVarBind*, UINT) -> AsnInteger32 {
        self.DeleteMib();
        return SNMP_ERRORSTATUS_NOERROR;
    };
    binding = MakeConstBinding(kScalar);
    SetVarBindValue(&binding, 7, ASN_INTEGER);
    agent.SetMibEntry(&binding, "wiper", kMibAccessReadWrite, wipe, wipe, wipe, wipe);
    EXPECT_TRUE(agent.MibGetVarbind(&request.binding, SNMP_PDU_GET, &status, nullptr));
    EXPECT_EQ(request.binding.value.asnValue.number, 7);

    agent.SetMibEntry(&binding, "wiper", kMibAccessReadWrite, wipe, wipe, wipe, wipe);
    EXPECT_TRUE(agent.MibSetVarbind(&request.binding, &status));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
    EXPECT_EQ(agent.MibEntryCount(), 0u);
    SnmpUtilVarBindFree(&binding);
}

// Binding values from numbers and text, and table indexes.
// Number types take the number (the old value freed); any other type leaves NULL.
TEST(SetVarBindValue, StoresNumberTypesOnly) {
    struct Case {
        BYTE type;
        LONG number;
        bool stored;
    } cases[] = {
        {ASN_INTEGER, -5, true},     {ASN_COUNTER32, -1, true}, {ASN_UNSIGNED32, 9, true},
        {ASN_OCTETSTRING, 1, false}, {ASN_COUNTER64, 1, false}, {0xFF, 1, false},
    };
    for (const auto& c : cases) {
        RequestBinding binding("");
        SetVarBindValueText(&binding.binding, "replaced", ASN_OCTETSTRING);
        EXPECT_EQ(SetVarBindValue(&binding.binding, c.number, c.type), c.stored) << int(c.type);
        EXPECT_EQ(binding.binding.value.asnType, c.stored ? c.type : ASN_NULL);
        if (c.stored) {
            EXPECT_EQ(binding.binding.value.asnValue.number, c.number);
        }
    }
    EXPECT_FALSE(SetVarBindValue(nullptr, 1, ASN_INTEGER));
    RequestBinding address("");  // an IpAddress takes the number in memory order
    LONG number = 0;
    std::memcpy(&number, "\xC0\xA8\x01\x14", 4);
    ASSERT_TRUE(SetVarBindValue(&address.binding, number, ASN_IPADDRESS));
    EXPECT_EQ(OctetsOf(address.binding.value), std::string("\xC0\xA8\x01\x14", 4));
}

// Numbers are read as atol reads them, within the type's range; refused text leaves NULL.
TEST(SetVarBindValueText, NumbersAsAtolReadsThemAndRefusalsLeaveNull) {
    struct Case {
        const char* text;
        BYTE type;
        bool stored;
        LONG number;
    } cases[] = {
        {"42", ASN_INTEGER, true, 42},
        {"  -17xyz", ASN_INTEGER, true, -17},
        {"", ASN_INTEGER, true, 0},
        {nullptr, ASN_INTEGER, true, 0},
        {"99999999999", ASN_INTEGER, true, 2147483647},
        {"-99999999999", ASN_INTEGER, true, static_cast<LONG>(0x80000000u)},
        {"4294967295", ASN_COUNTER32, true, -1},  // the whole unsigned range
        {"99999999999", ASN_UNSIGNED32, true, -1},
        {"10.1.2", ASN_IPADDRESS, false, 0},
        {"x.y", ASN_OBJECTIDENTIFIER, false, 0},
        {"1", ASN_NULL, false, 0},
        {"1", ASN_COUNTER64, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text != nullptr ? c.text : "(null)");
        RequestBinding binding("");
        SetVarBindValue(&binding.binding, 1, ASN_INTEGER);
        EXPECT_EQ(SetVarBindValueText(&binding.binding, c.text, c.type), c.stored);
        EXPECT_EQ(binding.binding.value.asnType, c.stored ? c.type : ASN_NULL);
        if (c.stored) {
            EXPECT_EQ(binding.binding.value.asnValue.number, c.number);
        }
    }
}

TEST(SetVarBindValueText, StringsOidsAndAddresses) {
    RequestBinding text("");
    ASSERT_TRUE(SetVarBindValueText(&text.binding, "Catalix CX2200", ASN_OCTETSTRING));
    EXPECT_EQ(OctetsOf(text.binding.value), "Catalix CX2200");  // no terminating NUL

    RequestBinding empty("");
    ASSERT_TRUE(SetVarBindValueText(&empty.binding, nullptr, ASN_OCTETSTRING));
    EXPECT_EQ(empty.binding.value.asnValue.string.length, 0u);
    EXPECT_NE(empty.binding.value.asnValue.string.stream, nullptr);

    RequestBinding oid("");
    ASSERT_TRUE(SetVarBindValueText(&oid.binding, ".1.3.6.1.4.1.7391", ASN_OBJECTIDENTIFIER));
    EXPECT_STREQ(OidToString(&oid.binding.value.asnValue.object, 0), "1.3.6.1.4.1.7391");

    RequestBinding address("");
    ASSERT_TRUE(SetVarBindValueText(&address.binding, "10.1.258.4.9", ASN_IPADDRESS));
    EXPECT_EQ(OctetsOf(address.binding.value), std::string("\x0A\x01\x02\x04", 4));
}

TEST(AppendTableIndex, IndexesReplaceTheTrailingPlaceholders) {
    struct Case {
        const char* oid;
        LONG indexes[5];
        const char* expected;
    } cases[] = {
        {"1.3.6.1.4.1.7391.2.10.2.10.3.1.2.0.0",
         {5, 7, -1, -1, -1},
         "1.3.6.1.4.1.7391.2.10.2.10.3.1.2.5.7"},
        {"1.3.0.0.0", {-1, 4, -1, 6, -1}, "1.3.0.4.6"},  // absent ones close up
        {"1.3.0.0.0", {-1, -1, -1, -1, -1}, "1.3.0.0.0"},
        {"1.0", {1, 2, 3, 4, 5}, "4.5"},  // positions before the start are not written
        {"1.3.0", {-2, -1, -1, -1, -1}, "1.3.-2"},
    };
    for (const auto& c : cases) {
        AsnObjectIdentifier oid{};
        ASSERT_TRUE(StringToOid(c.oid, &oid));
        AppendTableIndex(&oid, c.indexes[0], c.indexes[1], c.indexes[2], c.indexes[3],
                         c.indexes[4]);
        EXPECT_STREQ(OidToString(&oid, 0), c.expected) << c.oid;
        SnmpUtilOidFree(&oid);
    }
    AsnObjectIdentifier empty{};
    AppendTableIndex(&empty, 1, 2, 3, 4, 5);
    EXPECT_EQ(empty.idLength, 0u);
    AppendTableIndex(nullptr, 1, -1, -1, -1, -1);
}

// Trace renderings of values and bindings, byte for byte.
AsnAny Number(BYTE type, LONG number) {
    AsnAny value{};
    value.asnType = type;
    value.asnValue.number = number;
    return value;
}

AsnAny Octets(BYTE type, const void* bytes, UINT length) {
    AsnAny value{};
    value.asnType = type;
    value.asnValue.string = {static_cast<BYTE*>(const_cast<void*>(bytes)), length, FALSE};
    return value;
}

TEST(VarBindValueText, RendersEachType) {
    const char text[] = "CXSERVER";
    const char zero_inside[] = "ab\0cd";
    const char terminated[] = "done";  // with its terminating NUL as the last byte
    const BYTE address[] = {127, 0, 0, 1};
    const BYTE unprintable[] = {0x01, 0xAB, 0x41};
    const BYTE last_unchecked[] = {'o', 'k', 0x07};
    struct Case {
        AsnAny value;
        std::string expected;
    } cases[] = {
        {Number(ASN_INTEGER, -2), "INTEGER: -2 (0xFFFFFFFE)"},
        {Number(ASN_COUNTER32, 255), "COUNTER: 255 (0xFF)"},
        {Number(ASN_GAUGE32, 16), "GAUGE: 16 (0x10)"},
        {Number(ASN_TIMETICKS, 100), "TIMETICKS: 100 (0x64)"},
        {Number(ASN_NULL, 0), "NULL"},
        {Number(ASN_OBJECTIDENTIFIER, 0), "OID"},
        {Number(ASN_UNSIGNED32, 5), "UNKNOWN TYPE"},
        {Octets(ASN_OCTETSTRING, text, 8), "STRING: \"CXSERVER\""},
        {Octets(ASN_OCTETSTRING, nullptr, 5), "STRING: NULL"},
        {Octets(ASN_OCTETSTRING, terminated, 5), "STRING: \"done\""},
        // Not printable (the NUL is not the last byte): hexadecimal.
        {Octets(ASN_OCTETSTRING, zero_inside, 5), "61 62 00 63 64 "},
        {Octets(ASN_OPAQUE, text, 3), "OPAQUE: \"CXS\""},
        {Octets(ASN_OCTETSTRING, unprintable, 3), "01 AB 41 "},
        {Octets(ASN_OCTETSTRING, last_unchecked, 3), "STRING: \"ok\x07\""},
        {Octets(ASN_IPADDRESS, address, 4), "IP ADDRESS: 127.0.0.1"},
        {Octets(ASN_IPADDRESS, address, 3), "IP ADDRESS: 7F 00 00 "},
        {Octets(ASN_IPADDRESS, nullptr, 4), "IP ADDRESS: NULL"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VarBindValueText(&c.value), c.expected);
    }
    EXPECT_STREQ(VarBindValueText(nullptr), "NULL");
}

TEST(VarBindValueText, LongValuesAreCutToTheBuffer) {
    std::vector<BYTE> binary(400, 0x80);
    AsnAny value = Octets(ASN_OCTETSTRING, binary.data(), 400);
    std::string text = VarBindValueText(&value);
    EXPECT_EQ(text.size(), 341u * 3);  // 341 bytes as hexadecimal pairs
    EXPECT_EQ(text.substr(0, 6), "80 80 ");

    std::string printable(2000, 'x');
    value = Octets(ASN_OCTETSTRING, printable.data(), 2000);
    text = VarBindValueText(&value);
    EXPECT_EQ(text.size(), 1023u);
    EXPECT_EQ(text.substr(0, 10), "STRING: \"x");
    EXPECT_EQ(text.back(), 'x');  // the whole is cut, closing quote included
}

TEST(VarBindText, JoinsOidAndValue) {
    SnmpVarBind binding = MakeConstBinding("1.3.6.1.4.1.7391.2.10.2.10.2.3.0");
    SetVarBindValue(&binding, 3, ASN_INTEGER);
    EXPECT_STREQ(VarBindText(&binding),
                 "Oid=1.3.6.1.4.1.7391.2.10.2.10.2.3.0, Value=INTEGER: 3 (0x3)");
    SnmpUtilVarBindFree(&binding);
    SnmpVarBind empty = MakeConstBinding("bad");
    EXPECT_STREQ(VarBindText(&empty), "Oid=, Value=NULL");
}

}  // namespace
