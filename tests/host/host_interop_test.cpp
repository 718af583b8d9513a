// extagentd with real net-snmp managers: GET, GETNEXT and SET. (Whole walks with snmpwalk and
// snmpbulkwalk are ConcurrentWalksDuringRebuildsSeeWholeTrees'.)
#include <gtest/gtest.h>

#include "host_fixture.h"

namespace cx::test {
namespace {

constexpr const char* kRootA = ".1.3.6.1.4.1.99999.1";
constexpr const char* kRootB = ".1.3.6.1.4.1.99999.2";

std::string Oid(const char* root, const std::string& tail) { return std::string(root) + tail; }

class HostInteropTest : public HostFixture {
  protected:
    void SetUp() override {
        HostFixture::SetUp();
        AddCommunity("public", 4);
        AddCommunity("private", 8);
        AddTestAgent("agent_a", "root 1.3.6.1.4.1.99999.1\nobjects 2\n");
        AddTestAgent("agent_b", "root 1.3.6.1.4.1.99999.2\nobjects 3\n");
        ASSERT_TRUE(StartHost()) << HostLog();
    }
};

// GET in both versions; an unknown object is noSuchInstance in v2c and fails the v1 request;
// a community the host does not know gets no answer at all; GETNEXT crosses views.
TEST_F(HostInteropTest, GetAnswersKnownObjectsAndRefusesTheRestAsEachVersionDoes) {
    for (const char* version : {"1", "2c"}) {
        const ToolResult result = Snmp("snmpget", {"-v", version, "-c", "public", "%a",
                                                   Oid(kRootA, ".1.1"), Oid(kRootB, ".1.3")});
        EXPECT_EQ(result.exit_code, 0) << result.err;
        EXPECT_EQ(result.out, Oid(kRootA, ".1.1") + " = INTEGER: 1\n" + Oid(kRootB, ".1.3") +
                                  " = INTEGER: 1\n");
    }
    const ToolResult v2 = Snmp("snmpget", {"-v", "2c", "-c", "public", "%a", Oid(kRootA, ".1.1"),
                                           Oid(kRootA, ".1.999"), Oid(kRootA, ".1.2")});
    EXPECT_EQ(v2.out, Oid(kRootA, ".1.1") + " = INTEGER: 1\n" + Oid(kRootA, ".1.999") +
                          " = No Such Instance currently exists at this OID\n" +
                          Oid(kRootA, ".1.2") + " = INTEGER: 1\n");

    const ToolResult v1 = Snmp("snmpget", {"-v", "1", "-c", "public", "-Cf", "%a",
                                           Oid(kRootA, ".1.1"), Oid(kRootA, ".1.999")});
    EXPECT_NE(v1.exit_code, 0);
    EXPECT_NE(v1.err.find("There is no such variable name in this MIB."), std::string::npos)
        << v1.err;
    EXPECT_NE(v1.err.find("Failed object: " + Oid(kRootA, ".1.999")), std::string::npos);

    const ToolResult wrong = Snmp(
        "snmpget", {"-v", "2c", "-c", "wrong", "-t", "0.3", "-r", "0", "%a", Oid(kRootA, ".1.1")});
    EXPECT_NE(wrong.exit_code, 0);
    EXPECT_NE(wrong.err.find("Timeout"), std::string::npos) << wrong.err;

    // GETNEXT past the last view ends the MIB in each version's way.
    const ToolResult end_v2 =
        Snmp("snmpgetnext", {"-v", "2c", "-c", "public", "%a", Oid(kRootB, ".9.1")});
    EXPECT_NE(end_v2.out.find("No more variables left in this MIB View"), std::string::npos)
        << end_v2.out << end_v2.err;
    const ToolResult end_v1 =
        Snmp("snmpgetnext", {"-v", "1", "-c", "public", "%a", Oid(kRootB, ".9.1")});
    EXPECT_NE(end_v1.err.find("There is no such variable name in this MIB."), std::string::npos)
        << end_v1.err;
    // From the last object of the first view the next view answers.
    const ToolResult across =
        Snmp("snmpgetnext", {"-v", "2c", "-c", "public", "%a", Oid(kRootA, ".9.1")});
    EXPECT_EQ(across.out, Oid(kRootB, ".1.1") + " = INTEGER: 1\n");
}

// Refused SETs change nothing; an allowed one reaches the agent once (command 2 rebuilds the
// tree once: the generation the values carry goes from 1 to 2).
TEST_F(HostInteropTest, SetIsRefusedWhereNotAllowedAndOtherwiseReachesTheAgentOnce) {
    const ToolResult read_only =
        Snmp("snmpset", {"-v", "2c", "-c", "public", "%a", Oid(kRootA, ".9.1"), "i", "2"});
    EXPECT_NE(read_only.exit_code, 0);

    const ToolResult v2 =
        Snmp("snmpset", {"-v", "2c", "-c", "private", "%a", Oid(kRootA, ".1.1"), "i", "7"});
    EXPECT_NE(v2.err.find("Reason: notWritable"), std::string::npos) << v2.err;
    const ToolResult v1 =
        Snmp("snmpset", {"-v", "1", "-c", "private", "%a", Oid(kRootA, ".1.1"), "i", "7"});
    EXPECT_NE(v1.err.find("Reason: (readOnly)"), std::string::npos) << v1.err;

    const std::vector<std::string> get = {"-v", "2c", "-c", "public", "%a", Oid(kRootA, ".1.1")};
    EXPECT_EQ(Snmp("snmpget", get).out, Oid(kRootA, ".1.1") + " = INTEGER: 1\n");
    const ToolResult set =
        Snmp("snmpset", {"-v", "2c", "-c", "private", "%a", Oid(kRootA, ".9.1"), "i", "2"});
    EXPECT_EQ(set.exit_code, 0) << set.err;
    EXPECT_EQ(Snmp("snmpget", get).out, Oid(kRootA, ".1.1") + " = INTEGER: 2\n");
}

}  // namespace
}  // namespace cx::test
