// REPLAY_MIB in the real host: a walk it is given comes back the same from snmpwalk -On, snmprec
// lines come back as snmpwalk prints them, and a malformed line is traced and skipped.
#include <gtest/gtest.h>

#include <string>

#include "replay_serving.h"
#include "trace_capture.h"

namespace cx::test {
namespace {

// The replayed view is the last of the host, so snmpwalk ends with the end-of-view line; the
// agent skips that line in what it is given, so it plays no part in the comparison.
std::string WithoutEndOfView(const std::string& walk) {
    const auto end = walk.find(" = No more variables left in this MIB View");
    return end == std::string::npos ? walk : walk.substr(0, walk.rfind('\n', end) + 1);
}

std::string Data(const std::string& file) { return ReadFile(std::string(CX_TEST_DATA) + file); }

class ReplayHostTest : public ReplayServingTest {
  protected:
    void SetUp() override {
        ReplayServingTest::SetUp();
        TraceToFile("REPLAY_MIB", temp_.File("trace.txt"), 2);
    }
    void ExpectRoundTrip(const std::string& walk, const char* region, const std::string& expected) {
        ASSERT_TRUE(StartServing(walk, region)) << ReadFile(temp_.File("host.err"));
        const ToolResult walked = Walk({"-m", "", "-On"}, region);
        EXPECT_EQ(walked.exit_code, 0) << walked.err;
        EXPECT_EQ(WithoutEndOfView(walked.out), WithoutEndOfView(expected));
    }
};

struct RoundTripCase {
    const char* name;
    std::string walk;      // what the agent is given
    const char* region;    // the view it registers and snmpwalk walks
    std::string expected;  // what snmpwalk prints
};

void PrintTo(const RoundTripCase& c, std::ostream* out) { *out << c.name; }

class ReplayRoundTrip : public ReplayHostTest,
                        public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(ReplayRoundTrip, SnmpwalkPrintsTheWalkBack) {
    ExpectRoundTrip(GetParam().walk, GetParam().region, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Walks, ReplayRoundTrip,
    ::testing::Values(
        RoundTripCase{"DemoBus", ReadFile(CX_DEMO_WALKS "/demo-bus.walk"),
                      "1.3.6.1.4.1.7391.2.10.2.2", ReadFile(CX_DEMO_WALKS "/demo-bus.walk")},
        RoundTripCase{"DemoHardDisks", ReadFile(CX_DEMO_WALKS "/demo-hd.walk"),
                      "1.3.6.1.4.1.7391.2.10.2.2", ReadFile(CX_DEMO_WALKS "/demo-hd.walk")},
        // Every value form of snmpwalk's default output, as a capture from another agent holds.
        RoundTripCase{"EveryType", Data("/replay/every_type.walk"), "1.3.6.1.4.1.99999.7",
                      Data("/replay/every_type.walk")},
        RoundTripCase{"Snmprec", Data("/replay/snmprec.rec"), "1.3.6.1.4.1.99999.7",
                      Data("/replay/snmprec.walk")},
        // Objects outside the region are not served; a malformed line is dropped and the
        // objects around it are served.
        RoundTripCase{"OutsideRegionAndMalformedLineLeftOut",
                      ".1.3.6.1.4.1.99999.7.1.1 = INTEGER: 1\n"
                      ".1.3.6.1.4.1.99999.7.1.2 = INTEGER: twelve\n"
                      ".1.3.6.1.4.1.99998.1.0 = INTEGER: 2\n"
                      ".1.3.6.1.4.1.99999.7.1.3 = INTEGER: 3\n",
                      "1.3.6.1.4.1.99999.7",
                      ".1.3.6.1.4.1.99999.7.1.1 = INTEGER: 1\n"
                      ".1.3.6.1.4.1.99999.7.1.3 = INTEGER: 3\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// A capture needs no SWITCH server: with none registered the walk still comes back whole.
class ReplayWithoutSwitchTest : public ReplayHostTest {
  protected:
    ReplayWithoutSwitchTest() { with_switch_ = false; }
};

TEST_F(ReplayWithoutSwitchTest, ServesTheWalk) {
    const std::string walk = ReadFile(CX_DEMO_WALKS "/demo-bus.walk");
    ExpectRoundTrip(walk, "1.3.6.1.4.1.7391.2.10.2.2", walk);
    EXPECT_NE(ReadFile(temp_.File("trace.txt")).find("SWITCH attach FAILED"), std::string::npos);
}

// The trace names the file and line of what was skipped.
TEST_F(ReplayHostTest, MalformedLineReportedWithFileAndLine) {
    ASSERT_TRUE(StartServing(".1.3.6.1.4.1.99999.7.1.1 = INTEGER: 1\nnot a walk line\n",
                             "1.3.6.1.4.1.99999.7"))
        << ReadFile(temp_.File("host.err"));
    const std::string where = temp_.File("agent.walk") + ":2:";
    EXPECT_TRUE(WaitUntil([&] {
        return ReadFile(temp_.File("trace.txt")).find(where) != std::string::npos;
    })) << ReadFile(temp_.File("trace.txt"));
}

}  // namespace
}  // namespace cx::test
