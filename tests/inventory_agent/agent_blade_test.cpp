// A scan of the blade server of data/scenarios/blade.scn: the cabinet collector finds a blade
// system and the blade collector reads the management blade, a second host on 127.0.0.2 that
// serves data/walks/blade-mgmt.walk.
#include <gtest/gtest.h>
#include <signal.h>

#include "catalix_host.h"
#include "clients/switch_protocol.h"
#include "platform/registry_store.h"
#include "registry_values.h"

namespace cx::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kSnmpParameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";

class BladeServerTest : public CatalixHostTest {
  protected:
    void TearDown() override {
        if (blade_host_ != nullptr) {
            blade_host_->Signal(SIGTERM);
            blade_host_->Wait(60s);
        }
        CatalixHostTest::TearDown();
    }

    // The management blade: its own registry file, REPLAY_MIB with the blade walk, listening
    // on 127.0.0.2 at the port the agent's sessions use.
    bool StartManagementBlade() {
        const std::string main_registry = temp_.File("registry.db");
        const std::string blade_registry = temp_.File("blade-registry.db");
        const std::string switch_server = ReadRegString(kSwitchServerClassKey, "LocalServer");
        CxRegistrySetPath(blade_registry.c_str());
        SetRegString(kSwitchServerClassKey, "LocalServer", switch_server);
        SetRegDword(std::string(kSnmpParameters) + "\\ValidCommunities", "public", 4);
        SetRegString("SOFTWARE\\Test\\Replay", "Pathname", CX_REPLAY_AGENT_PATH);
        SetRegString(std::string(kSnmpParameters) + "\\ExtensionAgents", "1",
                     "SOFTWARE\\Test\\Replay");
        SetRegMultiString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters", "WalkFiles",
                          std::string(CX_PROJECT_DATA) + "/walks/blade-mgmt.walk");
        SetRegMultiString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters", "Regions",
                          ".1.3.6.1.4.1.8265");
        blade_host_ = std::make_unique<ChildProcess>();
        const bool started = blade_host_->Start(
            {CX_EXTAGENTD_PATH, "--foreground", "--registry", blade_registry, "--listen",
             "127.0.0.2:" + std::to_string(port_), "--state-dir", temp_.File("blade-state")},
            temp_.File("blade.out"), temp_.File("blade.err"));
        const bool serving =
            started &&
            WaitUntil(
                [&] { return AgentRunState("REPLAY_MIB") == "started" || !blade_host_->Running(); },
                60s);
        CxRegistrySetPath(main_registry.c_str());
        return serving && blade_host_->Running();
    }

    std::unique_ptr<ChildProcess> blade_host_;
};

TEST_F(BladeServerTest, TheManagementBladeAddsTheChassisBlades) {
    StartSwitch(ReadFile(std::string(CX_PROJECT_DATA) + "/scenarios/blade.scn"));
    ASSERT_TRUE(StartManagementBlade()) << ReadFile(temp_.File("blade.err"));
    ASSERT_TRUE(StartHost("10")) << HostErrors();
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done")) << Trace();

    std::size_t blade_systems = 0;
    std::size_t management_blades = 0;
    std::size_t switch_blades = 0;
    std::size_t firmware_objects = 0;
    for (const auto& [oid, value] : Walk()) {
        if (oid.rfind(".4.2.1.4.", 0) == 0) blade_systems += value == "STRING: \"BladeSystem\"";
        if (oid.rfind(".5.1.1.4.", 0) == 0) management_blades += value == "INTEGER: 31";
        if (oid.rfind(".5.1.1.8.", 0) == 0) switch_blades += value == "STRING: \"SwitchBlade\"";
        if (oid.rfind(".6.1.1.2.", 0) == 0) {
            firmware_objects += value.find("Blade.") != std::string::npos;
        }
    }
    EXPECT_EQ(blade_systems, 3u) << Trace();
    EXPECT_EQ(management_blades, 2u);
    EXPECT_EQ(switch_blades, 1u);
    EXPECT_EQ(firmware_objects, 3u);
}

}  // namespace
}  // namespace cx::test
