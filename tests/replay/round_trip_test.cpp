// REPLAY_MIB in the real host: a walk it is given comes back the same from snmpwalk -On, snmprec
// lines come back as snmpwalk prints them, and a malformed line is traced and skipped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "replay_serving.h"
#include "trace_capture.h"

namespace cx::test {
namespace {

// Every value form of snmpwalk's default output, as a capture from another agent holds them.
const char* const kEveryType =
    ".1.3.6.1.4.1.99999.7.1.1 = INTEGER: -7\n"
    ".1.3.6.1.4.1.99999.7.1.2 = INTEGER: 2147483647\n"
    ".1.3.6.1.4.1.99999.7.1.3 = STRING: \"two\nlines\"\n"
    ".1.3.6.1.4.1.99999.7.1.4 = STRING: \"quote \\\"q\\\" here\"\n"
    ".1.3.6.1.4.1.99999.7.1.5 = \"\"\n"
    ".1.3.6.1.4.1.99999.7.1.6 = Hex-STRING: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \n"
    "10 FF \n"
    ".1.3.6.1.4.1.99999.7.1.7 = OID: .1.3.6.1.4.1.8072.3.2.10\n"
    ".1.3.6.1.4.1.99999.7.1.8 = IpAddress: 192.168.10.1\n"
    ".1.3.6.1.4.1.99999.7.1.9 = Counter32: 4294967295\n"
    ".1.3.6.1.4.1.99999.7.1.10 = Gauge32: 5\n"
    ".1.3.6.1.4.1.99999.7.1.11 = Timeticks: (8640000) 1 day, 0:00:00.00\n"
    ".1.3.6.1.4.1.99999.7.1.12 = Counter64: 18446744073709551615\n"
    ".1.3.6.1.4.1.99999.7.1.13 = Opaque: Float: 1.500000\n";

struct RoundTripCase {
    const char* name;
    std::string walk;      // what the agent is given
    const char* region;    // the view it registers and snmpwalk walks
    std::string expected;  // what snmpwalk prints
};

// The replayed view is the last of the host, so snmpwalk ends with the end-of-view line; the
// agent skips that line in what it is given, so it plays no part in the comparison.
std::string WithoutEndOfView(const std::string& walk) {
    std::string kept;
    std::size_t start = 0;
    while (start < walk.size()) {
        std::size_t end = walk.find('\n', start);
        end = end == std::string::npos ? walk.size() : end + 1;
        const std::string line = walk.substr(start, end - start);
        if (line.find(" = No more variables left in this MIB View") == std::string::npos)
            kept += line;
        start = end;
    }
    return kept;
}

void PrintTo(const RoundTripCase& c, std::ostream* out) { *out << c.name; }

std::string DemoWalk(const char* file) { return ReadFile(std::string(CX_DEMO_WALKS) + "/" + file); }

std::vector<RoundTripCase> Cases() {
    return {
        {"DemoBus", DemoWalk("demo-bus.walk"), "1.3.6.1.4.1.7391.2.10.2.2",
         DemoWalk("demo-bus.walk")},
        {"DemoHardDisks", DemoWalk("demo-hd.walk"), "1.3.6.1.4.1.7391.2.10.2.2",
         DemoWalk("demo-hd.walk")},
        {"EveryType", kEveryType, "1.3.6.1.4.1.99999.7", kEveryType},
        // Objects outside the region are not served.
        {"OutsideRegionsLeftOut",
         ".1.3.6.1.4.1.99999.7.1.1 = INTEGER: 1\n"
         ".1.3.6.1.4.1.99998.1.0 = INTEGER: 2\n",
         "1.3.6.1.4.1.99999.7", ".1.3.6.1.4.1.99999.7.1.1 = INTEGER: 1\n"},
        {"Snmprec",
         "1.3.6.1.4.1.99999.7.1.1|2|-5\n"
         "1.3.6.1.4.1.99999.7.1.2|4|hello\n"
         "1.3.6.1.4.1.99999.7.1.3|4x|00ff10\n"
         "1.3.6.1.4.1.99999.7.1.4|6|1.3.6.1.4.1\n"
         "1.3.6.1.4.1.99999.7.1.5|64|10.0.0.1\n"
         "1.3.6.1.4.1.99999.7.1.6|65|7\n"
         "1.3.6.1.4.1.99999.7.1.7|66|8\n"
         "1.3.6.1.4.1.99999.7.1.8|67|100\n"
         "1.3.6.1.4.1.99999.7.1.9|70|123\n",
         "1.3.6.1.4.1.99999.7",
         ".1.3.6.1.4.1.99999.7.1.1 = INTEGER: -5\n"
         ".1.3.6.1.4.1.99999.7.1.2 = STRING: \"hello\"\n"
         ".1.3.6.1.4.1.99999.7.1.3 = Hex-STRING: 00 FF 10 \n"
         ".1.3.6.1.4.1.99999.7.1.4 = OID: .1.3.6.1.4.1\n"
         ".1.3.6.1.4.1.99999.7.1.5 = IpAddress: 10.0.0.1\n"
         ".1.3.6.1.4.1.99999.7.1.6 = Counter32: 7\n"
         ".1.3.6.1.4.1.99999.7.1.7 = Gauge32: 8\n"
         ".1.3.6.1.4.1.99999.7.1.8 = Timeticks: (100) 0:00:01.00\n"
         ".1.3.6.1.4.1.99999.7.1.9 = Counter64: 123\n"},
        // The malformed line is dropped; the objects around it are served.
        {"MalformedLineSkipped",
         ".1.3.6.1.4.1.99999.7.1.1 = INTEGER: 1\n"
         ".1.3.6.1.4.1.99999.7.1.2 = INTEGER: twelve\n"
         ".1.3.6.1.4.1.99999.7.1.3 = INTEGER: 3\n",
         "1.3.6.1.4.1.99999.7",
         ".1.3.6.1.4.1.99999.7.1.1 = INTEGER: 1\n"
         ".1.3.6.1.4.1.99999.7.1.3 = INTEGER: 3\n"},
    };
}

class ReplayHostTest : public ReplayServingTest {
  protected:
    void SetUp() override {
        ReplayServingTest::SetUp();
        TraceToFile("REPLAY_MIB", temp_.File("trace.txt"), 2);
    }
};

class ReplayRoundTrip : public ReplayHostTest,
                        public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(ReplayRoundTrip, SnmpwalkPrintsTheWalkBack) {
    const RoundTripCase& c = GetParam();
    ASSERT_TRUE(StartServing(c.walk, c.region)) << ReadFile(temp_.File("host.err"));
    const ToolResult walked = Walk({"-m", "", "-On"}, c.region);
    EXPECT_EQ(walked.exit_code, 0) << walked.err;
    EXPECT_EQ(WithoutEndOfView(walked.out), WithoutEndOfView(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Walks, ReplayRoundTrip, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A capture needs no SWITCH server: with none registered the walk still comes back whole.
class ReplayWithoutSwitchTest : public ReplayHostTest {
  protected:
    ReplayWithoutSwitchTest() { with_switch_ = false; }
};

TEST_F(ReplayWithoutSwitchTest, ServesTheWalk) {
    const std::string walk = DemoWalk("demo-bus.walk");
    ASSERT_TRUE(StartServing(walk, "1.3.6.1.4.1.7391.2.10.2.2"))
        << ReadFile(temp_.File("host.err"));
    const ToolResult walked = Walk({"-m", "", "-On"}, "1.3.6.1.4.1.7391.2.10.2.2");
    EXPECT_EQ(walked.exit_code, 0) << walked.err;
    EXPECT_EQ(WithoutEndOfView(walked.out), WithoutEndOfView(walk));
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
