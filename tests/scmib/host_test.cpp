// SC_MIB in the real host and without a SWITCH server: it serves a recorded tree (SysRoot,
// PciIds) and reports itself ready where the scan looks; on this machine its bus table lists
// every function that lspci lists.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "child_process.h"
#include "host_start.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "registry_values.h"
#include "sysfs_tree.h"
#include "temp_dir.h"

namespace cx::test {
namespace {

constexpr const char* kSnmpParameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
constexpr const char* kParameters = "SOFTWARE\\Arvenmark\\SC_MIB\\Parameters";
constexpr const char* kBusType = ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.1";

class ScHost : public ::testing::Test {
  protected:
    void SetUp() override {
        CxRegistrySetPath(temp_.File("registry.db").c_str());
        SetRegDword(kSnmpParameters, "UdpPort", static_cast<DWORD>(port_));
        SetRegString(kSnmpParameters, "ListenAddress", "127.0.0.1");
        SetRegDword(std::string(kSnmpParameters) + "\\ValidCommunities", "public", 4);
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
    void StartHost() {
        ASSERT_TRUE(StartHostServing(host_, CX_EXTAGENTD_PATH, temp_, "SC_MIB"))
            << ReadFile(temp_.File("host.err"));
    }
    std::string Walk(const char* oid) {
        const ToolResult walked = RunTool({"/usr/bin/snmpwalk", "-m", "", "-v2c", "-c", "public",
                                           "-On", "127.0.0.1:" + std::to_string(port_), oid},
                                          temp_.Path());
        EXPECT_EQ(walked.exit_code, 0) << walked.err;
        return walked.out;
    }

    TempDir temp_;
    std::unique_ptr<ChildProcess> host_;
    int port_ = FreeUdpPort();
};

TEST_F(ScHost, ServesARecordedTreeAndReportsReady) {
    WriteFile(temp_.File("pci.ids"), kTestPciIds);
    WritePciFunction(temp_.File("root"), {.address = "0000:04:00.1", .mac = "02:00:5e:10:00:01"});
    SetRegString(kParameters, "SysRoot", temp_.File("root"));
    SetRegString(kParameters, "PciIds", temp_.File("pci.ids"));
    StartHost();
    auto readiness = [] {
        HKEY key = nullptr;
        DWORD ready = 99, size = sizeof(ready);
        RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "SOFTWARE\\Arvenmark\\SC_MIB\\Subsystems\\Environment\\Parameters\\"
                      "VolatileParameters",
                      0, KEY_READ, &key);
        RegQueryValueExA(key, "AgentStatus", nullptr, nullptr, reinterpret_cast<BYTE*>(&ready),
                         &size);
        RegCloseKey(key);
        return ready;
    };
    EXPECT_EQ(readiness(), 1u);
    const std::string walked = Walk(".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1");
    for (const char* line : {
             ".4.1.4.1.1.5.5.0.2 = INTEGER: 5\n",
             ".4.1.4.1.7.5.5.0.2 = STRING: \"Q47120-N1 Network Adapter\"\n",
             ".4.1.4.1.10.5.5.0.2 = Hex-STRING: 02 00 5E 10 00 01 \n",
         })
        EXPECT_NE(walked.find(line), std::string::npos) << line << walked;
    host_->Signal(SIGTERM);
    EXPECT_EQ(host_->Wait(std::chrono::seconds(60)), 0);
    host_.reset();
    EXPECT_EQ(readiness(), 0u);  // stopped, no longer ready
}

TEST_F(ScHost, BusTableListsEveryFunctionLspciListsOnThisMachine) {
    std::error_code error;
    if (std::filesystem::is_empty("/sys/bus/pci/devices", error) || error ||
        !std::filesystem::exists("/usr/bin/lspci"))
        GTEST_SKIP() << "no PCI functions in /sys/bus/pci/devices, or no lspci";
    // lspci -D -n: "0000:00:03.0 0200: 7391:0a01 (rev 01)"; domain 0 only, as the table.
    std::set<std::string> expected, served;
    std::istringstream listed(RunTool({"/usr/bin/lspci", "-D", "-n"}, temp_.Path()).out);
    for (std::string line; std::getline(listed, line);) {
        unsigned domain, bus, device, function;
        if (std::sscanf(line.c_str(), "%x:%x:%x.%x", &domain, &bus, &device, &function) == 4 &&
            domain == 0)
            expected.insert(std::string(kBusType) + ".5." + std::to_string(bus + 1) + "." +
                            std::to_string(device) + "." + std::to_string(function + 1));
    }
    ASSERT_FALSE(expected.empty());
    StartHost();
    std::istringstream walked(Walk(kBusType));
    for (std::string line; std::getline(walked, line);)
        if (line.rfind(kBusType, 0) == 0) served.insert(line.substr(0, line.find(' ')));
    EXPECT_EQ(served, expected);
}

}  // namespace
}  // namespace cx::test
