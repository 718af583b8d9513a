// The MIB tree without callbacks: registration, GET and GETNEXT order, SET on stored values.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "test_agent.h"

namespace {

using cx::test::OctetsOf;
using cx::test::RequestBinding;
using cx::test::TestAgent;

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

// A build that ran out of memory half-way is refused and the served tree stays as it was.
TEST(MibTreeReplace, AFailedBuildIsNotServed) {
    TestAgent agent;
    agent.AddConstMibEntry(Under(".9.9.0").c_str(), "kept", 1, ASN_INTEGER, 0);
    CSnmpMibBuild<TestAgent> build;
    g_MibBuildFailAfter = 3;
    Populate(build);
    g_MibBuildFailAfter = 0;
    EXPECT_TRUE(build.Failed());
    EXPECT_EQ(build.MibEntryCount(), 3u);
    EXPECT_FALSE(agent.ReplaceMib(build));
    EXPECT_EQ(agent.MibEntryCount(), 1u);
    RequestBinding kept(Under(".9.9.0").c_str());
    EXPECT_TRUE(agent.MibGetVarbind(&kept.binding, SNMP_PDU_GET, nullptr, nullptr));
}

// Deleting and registering anew lets a walk see part of a tree; a swap never does.
TEST(MibTreeConcurrency, RebuildsAndWalksOverlap) {
    TestAgent agent;
    Populate(agent);
    std::thread builder([&agent] {
        for (int round = 0; round < 50; ++round) {
            CSnmpMibBuild<TestAgent> build;
            Populate(build);
            agent.ReplaceMib(build);
        }
    });
    for (int round = 0; round < 200; ++round) {
        RequestBinding request("1.3");
        int steps = 0;
        while (Step(agent, request))
            ASSERT_LE(++steps, 7);
        ASSERT_EQ(steps, 7);
    }
    builder.join();
    EXPECT_EQ(agent.MibEntryCount(), 7u);
}

}  // namespace
