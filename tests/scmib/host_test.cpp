// SC_MIB in the real host and without a SWITCH server: it serves a recorded tree (SysRoot,
// PciIds), named by its MIB module, and reports itself ready where the scan looks, and no
// longer once stopped. (What it
// serves on this machine, the first scan's test in tests/inventory_agent reads.)
#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>

#include "child_process.h"
#include "host_start.h"
#include "platform/registry_store.h"
#include "registry_values.h"
#include "snmp_listen.h"
#include "sysfs_tree.h"
#include "temp_dir.h"

namespace cx::test {
namespace {

constexpr const char* kParameters = "SOFTWARE\\Arvenmark\\SC_MIB\\Parameters";

class ScHost : public ::testing::Test {
  protected:
    void SetUp() override {
        CxRegistrySetPath(temp_.File("registry.db").c_str());
        ListenOnLoopback(port_);
        SetRegString("SOFTWARE\\Arvenmark\\SC_MIB\\CurrentVersion", "Pathname", CX_SC_AGENT_PATH);
        SetRegString(std::string(kSnmpParameters) + "\\ExtensionAgents", "1",
                     "SOFTWARE\\Arvenmark\\SC_MIB\\CurrentVersion");
    }
    void TearDown() override {
        if (host_ != nullptr) {
            host_->Signal(SIGTERM);
            EXPECT_EQ(host_->Wait(std::chrono::seconds(60)), 0);
        }
        CxRegistrySetPath(nullptr);
    }
    TempDir temp_;
    std::unique_ptr<ChildProcess> host_;
    int port_ = FreeUdpPort();
};

TEST_F(ScHost, ServesARecordedTreeAndReportsReady) {
    WriteFile(temp_.File("pci.ids"), kTestPciIds);
    WritePciFunction(temp_.File("root"), {.address = "0000:04:00.1", .mac = "02:00:5e:10:00:01"});
    WritePciFunction(temp_.File("root"),
                     {.address = "0000:04:00.0", .device = "0x0a02", .class_code = "0x010000"});
    WriteBlockDisk(temp_.File("root"), "0000:04:00.0", "virtio1", "vda");
    SetRegString(kParameters, "SysRoot", temp_.File("root"));
    SetRegString(kParameters, "PciIds", temp_.File("pci.ids"));
    ASSERT_TRUE(StartHostServing(host_, CX_EXTAGENTD_PATH, temp_, "SC_MIB"))
        << ReadFile(temp_.File("host.err"));
    const char* kVolatile =
        "SOFTWARE\\Arvenmark\\SC_MIB\\Subsystems\\Environment\\Parameters\\VolatileParameters";
    EXPECT_EQ(ReadRegDword(kVolatile, "AgentStatus"), 1u);
    // Named by our module alone: every object served has its name there.
    const ToolResult walk = RunTool(
        {"/usr/bin/snmpwalk", "-M", CX_MIB_SOURCE_DIR, "-m", "CATALIX-SERVER-CONTROL-MIB", "-v2c",
         "-c", "public", "127.0.0.1:" + std::to_string(port_), ".1.3.6.1.4.1.7391.2.10.2.2"},
        temp_.Path());
    const std::string& walked = walk.out;
    EXPECT_EQ(walk.err, "");
    for (const char* line :
         {"avkScBusType.5.5.0.2 = INTEGER: 5\n",
          "avkScBusDeviceName.5.5.0.2 = STRING: Q47120-N1 Network Adapter\n",
          "avkScBusMacAddress.5.5.0.2 = Hex-STRING: 02 00 5E 10 00 01 \n",
          "avkScHdAdapterName.5.5.1 = STRING: Q47120-S2 Storage Controller\n",
          "avkScHdDevInquiry.5.5.1.0.0.0 = STRING: Catalix Q47120-S2 Storag    \n"})
        EXPECT_NE(walked.find(std::string("CATALIX-SERVER-CONTROL-MIB::") + line),
                  std::string::npos)
            << line << walked << walk.err;
    std::istringstream lines(walked);
    for (std::string line; std::getline(lines, line);)
        EXPECT_EQ(line.rfind("CATALIX-SERVER-CONTROL-MIB::", 0), 0u) << line;
    host_->Signal(SIGTERM);
    EXPECT_EQ(host_->Wait(std::chrono::seconds(60)), 0);
    host_.reset();
    EXPECT_EQ(ReadRegDword(kVolatile, "AgentStatus"), 0u);  // stopped, no longer ready
}

}  // namespace
}  // namespace cx::test
