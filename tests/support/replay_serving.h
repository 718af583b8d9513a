// extagentd serving REPLAY_MIB for one test: cx-switchd answering the rights requests the agent
// asks first, the SNMP port, community and agent settings in the test's registry, snmpwalk
// against it, and the host stopped and its errors checked afterwards. The test executable
// defines CX_EXTAGENTD_PATH, CX_REPLAY_AGENT_PATH and CX_SWITCHD_PATH.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "host_start.h"
#include "platform/registry_store.h"
#include "registry_values.h"
#include "snmp_listen.h"
#include "switchd_process.h"
#include "temp_dir.h"

namespace cx::test {

class ReplayServingTest : public ::testing::Test {
  protected:
    static constexpr const char* kAgentParameters = "SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters";

    void SetUp() override {
        if (with_switch_) {
            switchd_ = std::make_unique<SwitchdProcess>(temp_);
            switchd_->RegisterClass();  // points this process at the test's registry file
            ASSERT_TRUE(
                switchd_->Start("reply 0xE001 0x3811 * * : byte 1\n"
                                "reply 0xE001 0x3810 * * : byte 0\n"
                                "reply 0xE001 0x3812 * * : byte 1\n"));
        } else {
            CxRegistrySetPath(temp_.File("registry.db").c_str());
        }
        port_ = FreeUdpPort();
        ASSERT_NE(port_, 0);
        ListenOnLoopback(port_);
    }

    void TearDown() override {
        if (host_ != nullptr) {
            host_->Signal(SIGTERM);
            host_->Wait(std::chrono::seconds(60));
            // Under the sanitizers the host reports any fault of the agent on its errors.
            const std::string errors = ReadFile(temp_.File("host.err"));
            for (const char* fault :
                 {"ERROR: AddressSanitizer", "runtime error", "ERROR: LeakSanitizer"})
                EXPECT_EQ(errors.find(fault), std::string::npos) << errors;
        }
        switchd_.reset();
        CxRegistrySetPath(nullptr);
    }

    // REPLAY_MIB serving `walk` in `region` (dotted, no leading dot); true once the host runs
    // and the agent has built its MIB (bounded).
    bool StartServing(const std::string& walk, const std::string& region) {
        WriteFile(temp_.File("agent.walk"), walk);
        SetRegString("SOFTWARE\\Test\\Replay", "Pathname", CX_REPLAY_AGENT_PATH);
        SetRegString(std::string(kSnmpParameters) + "\\ExtensionAgents", "1",
                     "SOFTWARE\\Test\\Replay");
        SetRegMultiString(kAgentParameters, "WalkFiles", temp_.File("agent.walk"));
        SetRegMultiString(kAgentParameters, "Regions", region);
        return StartHostServing(host_, CX_EXTAGENTD_PATH, temp_, "REPLAY_MIB");
    }

    // snmpwalk v2c of `root` with `mib_options` (which MIB modules it loads, how it prints).
    ToolResult Walk(const std::vector<std::string>& mib_options, const std::string& root) {
        std::vector<std::string> argv = {"/usr/bin/snmpwalk"};
        argv.insert(argv.end(), mib_options.begin(), mib_options.end());
        argv.insert(argv.end(), {"-v2c", "-c", "public", "-t", "2", "-r", "1",
                                 "127.0.0.1:" + std::to_string(port_), root});
        return RunTool(argv, temp_.Path());
    }

    bool with_switch_ = true;  // false: no SWITCH server is registered at all
    TempDir temp_;
    std::unique_ptr<SwitchdProcess> switchd_;
    std::unique_ptr<ChildProcess> host_;
    int port_ = 0;
};

}  // namespace cx::test
