// Requests through SnmpExtensionQuery: GET, GETNEXT with its answer past the end of the tree,
// SET in two phases, error indexes of multi-binding requests and refused request types.
#include "agent_fixture.h"

namespace cx::test {
namespace {

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

}  // namespace
}  // namespace cx::test
