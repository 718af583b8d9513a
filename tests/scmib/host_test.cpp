// SC_MIB in the real host and without a SWITCH server: it serves a recorded tree (SysRoot,
// PciIds) and reports itself ready where the scan looks; on this machine its bus table lists
// every function that lspci lists, and its disk tables every disk that lsblk lists, each on an
// adapter that the bus collector's controller lookup finds.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <map>
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
    WritePciFunction(temp_.File("root"),
                     {.address = "0000:04:00.0", .device = "0x0a02", .class_code = "0x010000"});
    WriteBlockDisk(temp_.File("root"), "0000:04:00.0", "virtio1", "vda");
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
    const std::string disks = Walk(".1.3.6.1.4.1.7391.2.10.2.2.3");
    for (const char* line : {
             ".3.1.1.7.5.5.1 = STRING: \"Q47120-S2 Storage Controller\"\n",
             ".3.2.1.5.5.5.1.0.0.0 = STRING: \"Catalix Q47120-S2 Storag    \"\n",
         })
        EXPECT_NE(disks.find(line), std::string::npos) << line << disks;
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

// Every lsblk disk but the memory-backed ones is a direct-access row of the device table, and
// every adapter finds its controller as the bus collector looks it up: a storage function of
// the bus table with the adapter's bus and slot, and the port as its first I/O port or, with
// any of the upper 16 bits set, its first memory address.
TEST_F(ScHost, DiskTablesListEveryDiskLsblkListsOnThisMachine) {
    if (!std::filesystem::exists("/usr/bin/lsblk")) GTEST_SKIP() << "no lsblk";
    std::size_t disks = 0;
    std::istringstream listed(
        RunTool({"/usr/bin/lsblk", "-d", "-n", "-o", "NAME,TYPE"}, temp_.Path()).out);
    for (std::string name, type; listed >> name >> type;) {
        if (type == "disk" && name.rfind("loop", 0) != 0 && name.rfind("zram", 0) != 0 &&
            name.rfind("ram", 0) != 0)
            ++disks;
    }
    if (disks == 0) GTEST_SKIP() << "no disks of a controller in /sys/block";
    StartHost();
    // ".1.3.6.1.4.1.7391.2.10.2.2.3.1.1.10.5.1.1 = Gauge32: 524288", below ...2.2.
    std::map<std::string, std::uint32_t> numbers;
    std::istringstream walked(Walk(".1.3.6.1.4.1.7391.2.10.2.2"));
    const std::string root = ".1.3.6.1.4.1.7391.2.10.2.2.";
    for (std::string line; std::getline(walked, line);) {
        const std::size_t colon = line.find(": ");
        if (line.rfind(root, 0) != 0 || colon == std::string::npos ||
            line.find("STRING") != std::string::npos)
            continue;
        numbers[line.substr(root.size(), line.find(' ') - root.size())] =
            static_cast<std::uint32_t>(std::stoll(line.substr(colon + 2)));
    }
    std::size_t direct_access = 0;
    for (const auto& [oid, value] : numbers)
        if (oid.rfind("3.2.1.8.", 0) == 0 && value == 2) ++direct_access;
    EXPECT_EQ(direct_access, disks);

    auto number = [&](const std::string& oid) {
        const auto found = numbers.find(oid);
        return found == numbers.end() ? 0u : found->second;  // as the collector's 0 if unknown
    };
    std::size_t adapters = 0;
    for (const auto& [oid, port] : numbers) {
        if (oid.rfind("3.1.1.10.", 0) != 0) continue;
        ++adapters;
        const std::string index = oid.substr(9);  // bus type.bus.adapter
        const std::string bus = index.substr(0, index.rfind('.'));
        const std::uint32_t slot = number("3.1.1.9." + index);
        bool found = false;
        for (const auto& [bus_oid, device_class] : numbers) {
            // 4.1.4.1.5.<bus type>.<bus>.<device>.<function>: the device class.
            if (bus_oid.rfind("4.1.4.1.5." + bus + ".", 0) != 0 || device_class < 1 ||
                device_class > 4)
                continue;
            const std::string function = bus_oid.substr(10);
            if (number("4.1.4.1.9." + function) != slot) continue;
            const std::uint32_t io = number("4.4.4.1.6." + function + ".1");
            const std::uint32_t memory = number("4.4.1.1.7." + function + ".1");
            found = found || ((port & 0xFFFF0000u) != 0 ? memory == port : io == port);
        }
        EXPECT_TRUE(found) << "adapter " << index << " port " << port;
    }
    EXPECT_GT(adapters, 0u);
}

}  // namespace
}  // namespace cx::test
