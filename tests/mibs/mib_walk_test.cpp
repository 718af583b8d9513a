// snmpwalk with the MIB module loaded names every object that a running host serves in the
// Catalix subtree and shows its value by the module's syntax. REPLAY_MIB serves a walk that
// holds each published object, so the agent's own tree is not needed.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "host_start.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "platform/winsvc.h"
#include "published_objects.h"
#include "registry_values.h"
#include "switchd_process.h"
#include "temp_dir.h"

namespace cx::test {
namespace {

constexpr const char* kSnmpParameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
constexpr const char* kAgentKey = "SOFTWARE\\Test\\Replay";
constexpr const char* kAgentParameters = "SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters";
// The rights requests the agent asks before it builds its MIB.
constexpr const char* kRightsScenario =
    "reply 0xE001 0x3811 * * : byte 1\n"
    "reply 0xE001 0x3810 * * : byte 0\n"
    "reply 0xE001 0x3812 * * : byte 1\n";
constexpr int kRows = 2;

// One served instance: the line of the walk the host is given, and the line snmpwalk prints
// for it with the module loaded.
struct Instance {
    std::string served;
    std::string shown;
};

Instance MakeInstance(const PublishedObject& object, int row, int serial) {
    const std::string descriptor = Descriptor(object);
    std::string value;
    std::string shown;
    if (object.type == ValueType::kText) {
        value = descriptor + " of row " + std::to_string(row);
        // DisplayString's hint shows the text as it is, without quotes.
        shown = "STRING: " + value;
        value = "STRING: \"" + value + "\"";
    } else if (descriptor == "avkCxScanState") {
        value = "INTEGER: 3";
        shown = "INTEGER: done(3)";
    } else {
        value = "INTEGER: " + std::to_string(1161404912 + serial);
        shown = value;
        if (descriptor == "avkCxLastDate" || descriptor == "avkCxLastScan") shown += " seconds";
    }
    return {InstanceOid(object, row) + " = " + value + "\n",
            InstanceName(object, row) + " = " + shown};
}

std::vector<Instance> EveryInstance() {
    std::vector<Instance> instances;
    int serial = 0;
    for (const PublishedObject& object : kPublishedObjects)
        for (int row = 1; row <= (object.column ? kRows : 1); ++row)
            instances.push_back(MakeInstance(object, row, serial++));
    return instances;
}

class MibWalkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        switchd_ = std::make_unique<SwitchdProcess>(temp_);
        switchd_->RegisterClass();  // points this process at the test's registry file
        ASSERT_TRUE(switchd_->Start(kRightsScenario));
        port_ = FreeUdpPort();
        ASSERT_NE(port_, 0);
        SetRegDword(kSnmpParameters, "UdpPort", static_cast<DWORD>(port_));
        SetRegString(kSnmpParameters, "ListenAddress", "127.0.0.1");
        SetRegDword(std::string(kSnmpParameters) + "\\ValidCommunities", "public", 4);
    }
    void TearDown() override {
        if (host_ != nullptr) {
            host_->Signal(SIGTERM);
            host_->Wait(std::chrono::seconds(60));
        }
        switchd_.reset();
        CxRegistrySetPath(nullptr);
    }

    // Starts the host with REPLAY_MIB serving `walk` in the Catalix subtree and waits (bounded)
    // until the agent has built its MIB.
    bool StartHost(const std::string& walk) {
        WriteFile(temp_.File("catalix.walk"), walk);
        SetRegString(kAgentKey, "Pathname", CX_REPLAY_AGENT_PATH);
        SetRegString(std::string(kSnmpParameters) + "\\ExtensionAgents", "1", kAgentKey);
        SetRegMultiString(kAgentParameters, "WalkFiles", temp_.File("catalix.walk"));
        SetRegMultiString(kAgentParameters, "Regions", std::string(kCatalixRoot).substr(1));
        return StartHostServing(host_, CX_EXTAGENTD_PATH, temp_, "REPLAY_MIB");
    }

    // Walks the subtree as a user would, but with only the module's own directory on the MIB
    // path, so that an installed copy of the module cannot stand in for the one under test.
    ToolResult Walk() {
        return RunTool(
            {"/usr/bin/snmpwalk", "-m", kModuleName, "-M", CX_MIB_SOURCE_DIR, "-v2c", "-c",
             "public", "-t", "2", "-r", "1", "127.0.0.1:" + std::to_string(port_), kCatalixRoot},
            temp_.Path());
    }

    TempDir temp_;
    std::unique_ptr<SwitchdProcess> switchd_;
    std::unique_ptr<ChildProcess> host_;
    int port_ = 0;
};

std::vector<std::string> WalkedObjects(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        if (line.find("No more variables left in this MIB View") == std::string::npos)
            lines.push_back(line);
    return lines;
}

TEST_F(MibWalkTest, EveryServedObjectIsNamedAndShownByItsSyntax) {
    std::string walk;
    std::vector<std::string> expected;
    for (const Instance& instance : EveryInstance()) {
        walk += instance.served;
        expected.push_back(instance.shown);
    }
    ASSERT_TRUE(StartHost(walk)) << ReadFile(temp_.File("host.err"));

    const ToolResult walked = Walk();
    ASSERT_EQ(walked.exit_code, 0) << walked.err;
    EXPECT_EQ(walked.err, "");
    // snmpwalk prints in OID order, the rows of a column together.
    std::vector<std::string> lines = WalkedObjects(walked.out);
    std::sort(lines.begin(), lines.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace cx::test
