// REPLAY_MIB in the real host: a walk it is given comes back the same from snmpwalk -On, snmprec
// lines come back as snmpwalk prints them, and a malformed line is traced and skipped.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "host_start.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "platform/winsvc.h"
#include "registry_values.h"
#include "switchd_process.h"
#include "temp_dir.h"

namespace cx::test {
namespace {

constexpr const char* kSnmpParameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
constexpr const char* kAgentParameters = "SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters";
// The rights requests the agent asks before it builds its MIB.
constexpr const char* kRightsScenario =
    "reply 0xE001 0x3811 * * : byte 1\n"
    "reply 0xE001 0x3810 * * : byte 0\n"
    "reply 0xE001 0x3812 * * : byte 1\n";

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

class ReplayHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (with_switch_) {
            switchd_ = std::make_unique<SwitchdProcess>(temp_);
            switchd_->RegisterClass();  // points this process at the test's registry file
            ASSERT_TRUE(switchd_->Start(kRightsScenario));
        } else {
            CxRegistrySetPath(temp_.File("registry.db").c_str());
        }
        port_ = FreeUdpPort();
        ASSERT_NE(port_, 0);
        SetRegDword(kSnmpParameters, "UdpPort", static_cast<DWORD>(port_));
        SetRegString(kSnmpParameters, "ListenAddress", "127.0.0.1");
        SetRegDword(std::string(kSnmpParameters) + "\\ValidCommunities", "public", 4);
        SetRegString("SOFTWARE\\Debug\\REPLAY_MIB", "TraceFile", temp_.File("trace.txt"));
        SetRegDword("SOFTWARE\\Debug\\REPLAY_MIB", "FileDebugLevel", 2);
    }
    void TearDown() override {
        if (host_ != nullptr) {
            host_->Signal(SIGTERM);
            host_->Wait(std::chrono::seconds(60));
            // Under the sanitizers the host reports any fault of the agent on its errors.
            const std::string errors = ReadFile(temp_.File("host.err"));
            EXPECT_EQ(errors.find("ERROR: AddressSanitizer"), std::string::npos) << errors;
            EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
            EXPECT_EQ(errors.find("ERROR: LeakSanitizer"), std::string::npos) << errors;
        }
        switchd_.reset();
        CxRegistrySetPath(nullptr);
    }

    void AddReplayAgent(const std::string& walk, const char* region) {
        WriteFile(temp_.File("agent.walk"), walk);
        SetRegString("SOFTWARE\\Test\\Replay", "Pathname", CX_REPLAY_AGENT_PATH);
        SetRegString(std::string(kSnmpParameters) + "\\ExtensionAgents", "1",
                     "SOFTWARE\\Test\\Replay");
        SetRegMultiString(kAgentParameters, "WalkFiles", temp_.File("agent.walk"));
        SetRegMultiString(kAgentParameters, "Regions", region);
    }

    // Starts the host and waits (bounded) until the agent has built its MIB.
    bool StartHost() { return StartHostServing(host_, CX_EXTAGENTD_PATH, temp_, "REPLAY_MIB"); }

    ToolResult Walk(const char* region) {
        return RunTool({"/usr/bin/snmpwalk", "-m", "", "-v2c", "-c", "public", "-On", "-t", "2",
                        "-r", "1", "127.0.0.1:" + std::to_string(port_), region},
                       temp_.Path());
    }

    bool with_switch_ = true;
    TempDir temp_;
    std::unique_ptr<SwitchdProcess> switchd_;
    std::unique_ptr<ChildProcess> host_;
    int port_ = 0;
};

class ReplayRoundTrip : public ReplayHostTest,
                        public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(ReplayRoundTrip, SnmpwalkPrintsTheWalkBack) {
    const RoundTripCase& c = GetParam();
    AddReplayAgent(c.walk, c.region);
    ASSERT_TRUE(StartHost()) << ReadFile(temp_.File("host.err"));
    const ToolResult walked = Walk(c.region);
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
    AddReplayAgent(walk, "1.3.6.1.4.1.7391.2.10.2.2");
    ASSERT_TRUE(StartHost()) << ReadFile(temp_.File("host.err"));
    const ToolResult walked = Walk("1.3.6.1.4.1.7391.2.10.2.2");
    EXPECT_EQ(walked.exit_code, 0) << walked.err;
    EXPECT_EQ(WithoutEndOfView(walked.out), WithoutEndOfView(walk));
    EXPECT_NE(ReadFile(temp_.File("trace.txt")).find("SWITCH attach FAILED"), std::string::npos);
}

// The trace names the file and line of what was skipped.
TEST_F(ReplayHostTest, MalformedLineReportedWithFileAndLine) {
    AddReplayAgent(".1.3.6.1.4.1.99999.7.1.1 = INTEGER: 1\nnot a walk line\n",
                   "1.3.6.1.4.1.99999.7");
    ASSERT_TRUE(StartHost()) << ReadFile(temp_.File("host.err"));
    const std::string where = temp_.File("agent.walk") + ":2:";
    EXPECT_TRUE(WaitUntil([&] {
        return ReadFile(temp_.File("trace.txt")).find(where) != std::string::npos;
    })) << ReadFile(temp_.File("trace.txt"));
}

}  // namespace
}  // namespace cx::test
