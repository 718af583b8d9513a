// SC_MIB in the real host, without a SWITCH server: a recorded tree is served and the agent
// reports itself ready where the scan looks; on this machine the bus table lists every
// function that lspci lists.
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
constexpr const char* kAgentKey = "SOFTWARE\\Arvenmark\\SC_MIB";
constexpr const char* kReadiness =
    "SOFTWARE\\Arvenmark\\SC_MIB\\Subsystems\\Environment\\Parameters\\VolatileParameters";
constexpr const char* kBusTypeColumn = ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.1";

class ScHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CxRegistrySetPath(temp_.File("registry.db").c_str());
        port_ = FreeUdpPort();
        ASSERT_NE(port_, 0);
        SetRegDword(kSnmpParameters, "UdpPort", static_cast<DWORD>(port_));
        SetRegString(kSnmpParameters, "ListenAddress", "127.0.0.1");
        SetRegDword(std::string(kSnmpParameters) + "\\ValidCommunities", "public", 4);
        SetRegString(std::string(kAgentKey) + "\\CurrentVersion", "Pathname", CX_SC_AGENT_PATH);
        SetRegString(std::string(kSnmpParameters) + "\\ExtensionAgents", "1",
                     std::string(kAgentKey) + "\\CurrentVersion");
        SetRegString("SOFTWARE\\Debug\\SC_MIB", "TraceFile", temp_.File("trace.txt"));
        SetRegDword("SOFTWARE\\Debug\\SC_MIB", "FileDebugLevel", 3);
    }
    void TearDown() override {
        if (host_ != nullptr) {
            host_->Signal(SIGTERM);
            EXPECT_EQ(host_->Wait(std::chrono::seconds(60)), 0);
            const std::string errors = ReadFile(temp_.File("host.err"));
            EXPECT_EQ(errors.find("ERROR: AddressSanitizer"), std::string::npos) << errors;
            EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
        }
        CxRegistrySetPath(nullptr);
    }

    ToolResult Walk(const char* oid) {
        return RunTool({"/usr/bin/snmpwalk", "-m", "", "-v2c", "-c", "public", "-On", "-t", "2",
                        "-r", "1", "127.0.0.1:" + std::to_string(port_), oid},
                       temp_.Path());
    }

    DWORD Readiness() {
        HKEY key = nullptr;
        DWORD value = 0, type = 0, size = sizeof(value);
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kReadiness, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return 0;
        if (RegQueryValueExA(key, "AgentStatus", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                             &size) != ERROR_SUCCESS ||
            type != REG_DWORD)
            value = 0;
        RegCloseKey(key);
        return value;
    }

    TempDir temp_;
    std::unique_ptr<ChildProcess> host_;
    int port_ = 0;
};

TEST_F(ScHostTest, ServesARecordedTreeAndReportsReady) {
    const std::string root = temp_.File("root");
    WriteFile(temp_.File("pci.ids"), kTestPciIds);
    WritePciFunction(root, {.address = "0000:00:03.0", .irq = "11\n", .mac = "02:00:5e:10:00:01"});
    WritePciFunction(root,
                     {.address = "0000:04:00.1", .device = "0x0a02", .class_code = "0x010700"});
    SetRegString(std::string(kAgentKey) + "\\Parameters", "SysRoot", root);
    SetRegString(std::string(kAgentKey) + "\\Parameters", "PciIds", temp_.File("pci.ids"));
    ASSERT_TRUE(StartHostServing(host_, CX_EXTAGENTD_PATH, temp_, "SC_MIB"))
        << ReadFile(temp_.File("host.err"));
    EXPECT_EQ(Readiness(), 1u);

    const ToolResult walked = Walk(".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1");
    EXPECT_EQ(walked.exit_code, 0) << walked.err;
    for (const char* line : {
             ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.1.5.1.3.1 = INTEGER: 5\n",
             ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.1.5.5.0.2 = INTEGER: 5\n",
             ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.7.5.1.3.1 = STRING: \"Q47120-N1 Network "
             "Adapter\"\n",
             ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.8.5.5.0.2 = STRING: \"Catalix\"\n",
             ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.10.5.1.3.1 = Hex-STRING: 02 00 5E 10 00 01 \n",
         })
        EXPECT_NE(walked.out.find(line), std::string::npos) << line << walked.out;
    EXPECT_EQ(Walk(".1.3.6.1.4.1.7391.2.10.2.2.4.3.1.1.12")
                  .out.find(".1.3.6.1.4.1.7391.2.10.2.2.4.3.1.1.12.1.3.1 = INTEGER: 11"),
              0u);
}

// lspci -D -n: "0000:00:03.0 0200: 7391:0a01 (rev 01)".
std::set<std::string> LspciFunctionsOfDomainZero(const std::string& scratch) {
    const ToolResult listed = RunTool({"/usr/bin/lspci", "-D", "-n"}, scratch);
    std::set<std::string> rows;
    std::istringstream lines(listed.out);
    std::string line;
    while (std::getline(lines, line)) {
        unsigned domain, bus, device, function;
        if (std::sscanf(line.c_str(), "%x:%x:%x.%x", &domain, &bus, &device, &function) != 4 ||
            domain != 0)
            continue;
        rows.insert(std::string(kBusTypeColumn) + ".5." + std::to_string(bus + 1) + "." +
                    std::to_string(device) + "." + std::to_string(function + 1));
    }
    return rows;
}

TEST_F(ScHostTest, BusTableListsEveryFunctionLspciListsOnThisMachine) {
    std::error_code error;
    if (std::filesystem::is_empty("/sys/bus/pci/devices", error) || error ||
        !std::filesystem::exists("/usr/bin/lspci"))
        GTEST_SKIP() << "no PCI functions in /sys/bus/pci/devices, or no lspci";
    const std::set<std::string> expected = LspciFunctionsOfDomainZero(temp_.Path());
    ASSERT_FALSE(expected.empty());
    ASSERT_TRUE(StartHostServing(host_, CX_EXTAGENTD_PATH, temp_, "SC_MIB"))
        << ReadFile(temp_.File("host.err"));

    const ToolResult walked = Walk(kBusTypeColumn);
    EXPECT_EQ(walked.exit_code, 0) << walked.err;
    std::set<std::string> served;
    std::istringstream lines(walked.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(kBusTypeColumn, 0) == 0) served.insert(line.substr(0, line.find(' ')));
    }
    EXPECT_EQ(served, expected) << walked.out;
}

}  // namespace
}  // namespace cx::test
