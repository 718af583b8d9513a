// The first scan on this machine, with SC_MIB serving its bus and disk tables and cx-switchd
// reading the configuration headers from sysfs: every PCI function of domain 0 becomes a
// component whose CompId carries the numbers that sysfs (where lspci -n reads them) gives, and
// every disk a storage device under its controller.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "catalix_host.h"
#include "platform/profile.h"

namespace cx::test {
namespace {

unsigned SysfsNumber(const std::filesystem::path& function, const char* name) {
    std::string text;
    std::ifstream(function / name) >> text;
    return static_cast<unsigned>(std::stoul(text, nullptr, 16));
}

TEST_F(CatalixHostTest, FirstScanRecordsEveryPciFunctionOfThisMachine) {
    std::error_code error;
    if (std::filesystem::is_empty("/sys/bus/pci/devices", error) || error)
        GTEST_SKIP() << "no PCI functions in /sys/bus/pci/devices";
    std::multiset<std::string> expected, recorded;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/pci/devices")) {
        if (!entry.path().filename().string().starts_with("0000:")) continue;  // domain 0 only
        // The subsystem comes from a type 0 header only: bridges keep other registers at 0x2C.
        char header_type = 0;
        std::ifstream(entry.path() / "config", std::ios::binary).seekg(14).read(&header_type, 1);
        const bool type0 = (header_type & 0x7F) == 0;
        char id[64];
        std::snprintf(id, sizeof(id), "PCI\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X",
                      SysfsNumber(entry, "vendor"), SysfsNumber(entry, "device"),
                      type0 ? SysfsNumber(entry, "subsystem_device") : 0,
                      type0 ? SysfsNumber(entry, "subsystem_vendor") : 0,
                      SysfsNumber(entry, "revision"));
        expected.insert(id);
    }
    // SC_MIB in place of the fixture's replayed bus table; it reports itself ready.
    const std::string agents =
        "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents";
    SetString(agents, "2", "SOFTWARE\\Arvenmark\\SC_MIB\\CurrentVersion");
    SetString("SOFTWARE\\Arvenmark\\SC_MIB\\CurrentVersion", "Pathname", CX_SC_AGENT_PATH);
    SetReady(false);
    switchd_ = std::make_unique<SwitchdProcess>(temp_);
    switchd_->RegisterClass();
    ASSERT_TRUE(switchd_->Start(kRightsScenario, {"--linux"}));
    ASSERT_TRUE(StartHost()) << HostErrors();
    ASSERT_TRUE(WaitForTrace("\n\n  Rescan done", 1, std::chrono::seconds(240))) << Trace();

    const std::string saved = DataPath("Catalix.sav");
    const UINT count = GetPrivateProfileIntA("Component Table", "NrComponents", 0, saved.c_str());
    for (UINT n = 1; n <= count; ++n) {
        char id[256] = {};
        GetPrivateProfileStringA("Component Table", ("CompId." + std::to_string(n)).c_str(), "", id,
                                 sizeof(id), saved.c_str());
        if (std::string(id).starts_with("PCI\\")) recorded.insert(id);
    }
    EXPECT_EQ(recorded, expected) << DataFile("Catalix.sav");

    // Every disk of the machine (what lsblk lists as one, less loop, ram and zram devices) is a
    // storage device in the SCSIDevice container of its controller's SCSISystem.
    std::size_t disks = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/block", error)) {
        const std::string name = entry.path().filename();
        if (!name.starts_with("loop") && !name.starts_with("ram") && !name.starts_with("zram") &&
            std::filesystem::exists(entry.path() / "device"))
            ++disks;
    }
    auto value = [&saved](const char* section, const std::string& key) {
        char text[256] = {};
        GetPrivateProfileStringA(section, key.c_str(), "", text, sizeof(text), saved.c_str());
        return std::string(text);
    };
    std::size_t stored = 0;
    for (UINT n = 1; n <= count; ++n) {
        if (value("Component Table", "CompType." + std::to_string(n)) != "25") continue;
        const std::string container = value("Component Table", "FuncCont." + std::to_string(n));
        const std::string parent = value("Functional Container", "Parent." + container);
        if (value("Functional Container", "Name." + container) == "SCSIDevice" &&
            value("Functional Container", "Name." + parent) == "SCSISystem")
            ++stored;
    }
    EXPECT_EQ(stored, disks) << DataFile("Catalix.sav");
}

// The value after "key :" of the first line of `path` that starts with `key`, blanks trimmed.
std::string ProcValue(const std::string& text, const std::string& key) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with(key) || line.find(':') == std::string::npos) continue;
        std::string value = line.substr(line.find(':') + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t") + 1);
        return value;
    }
    return {};
}

// The rows of the saved component table with CompType `type`: their ProdName and Version.
std::vector<std::pair<std::string, std::string>> Components(const std::string& saved, int type) {
    std::vector<std::pair<std::string, std::string>> rows;
    const UINT count = GetPrivateProfileIntA("Component Table", "NrComponents", 0, saved.c_str());
    for (UINT n = 1; n <= count; ++n) {
        auto text = [&](const char* name) {
            char value[256] = {};
            GetPrivateProfileStringA("Component Table", (name + ("." + std::to_string(n))).c_str(),
                                     "", value, sizeof(value), saved.c_str());
            return std::string(value);
        };
        if (text("CompType") == std::to_string(type))
            rows.emplace_back(text("ProdName"), text("Version"));
    }
    return rows;
}

bool FirmwareTableReadable() { return std::ifstream("/sys/firmware/dmi/tables/DMI").good(); }

// The first scan with cx-switchd --linux alone, without a scenario.
class LinuxSwitchScanTest : public CatalixHostTest {
  protected:
    // The saved inventory file once the first scan is done.
    std::string Scan() {
        SetReady(true);
        switchd_ = std::make_unique<SwitchdProcess>(temp_);
        switchd_->RegisterClass();
        EXPECT_TRUE(switchd_->Start("", {"--linux"}));
        EXPECT_TRUE(StartHost()) << HostErrors();
        EXPECT_TRUE(WaitForTrace("\n\n  Rescan done", 1, std::chrono::seconds(240))) << Trace();
        return DataPath("Catalix.sav");
    }
};

// This machine's processors (one per socket of /proc/cpuinfo, named by its model name) and,
// without a readable firmware table, its memory size.
TEST_F(LinuxSwitchScanTest, FirstScanShowsThisMachinesProcessorsAndMemory) {
    std::ifstream cpuinfo_file("/proc/cpuinfo");
    const std::string cpuinfo((std::istreambuf_iterator<char>(cpuinfo_file)), {});
    std::set<std::string> sockets;
    std::istringstream lines(cpuinfo);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("physical id")) sockets.insert(line);
    }
    const std::string model = ProcValue(cpuinfo, "model name");
    const bool table = FirmwareTableReadable();
    const std::string saved = Scan();
    ASSERT_FALSE(HasFailure());

    const auto processors = Components(saved, 10);
    EXPECT_FALSE(processors.empty()) << DataFile("Catalix.sav");
    if (table) {
        for (const auto& processor : processors)
            EXPECT_NE(processor.first.find(" MHz"), std::string::npos) << processor.first;
        return;  // the firmware table's processors and memory devices: see the dmidecode test
    }
    ASSERT_EQ(processors.size(), sockets.empty() ? 1 : sockets.size()) << DataFile("Catalix.sav");
    for (const auto& processor : processors) {
        EXPECT_TRUE(processor.first.starts_with(model + " ")) << processor.first;
        EXPECT_NE(processor.first.find(" MHz"), std::string::npos) << processor.first;
    }
    std::ifstream meminfo_file("/proc/meminfo");
    const std::string meminfo((std::istreambuf_iterator<char>(meminfo_file)), {});
    const std::string megabytes =
        std::to_string(std::stoull(ProcValue(meminfo, "MemTotal")) / 1024) + " MByte";
    const auto memory = Components(saved, 22);
    ASSERT_EQ(memory.size(), 1u) << DataFile("Catalix.sav");
    EXPECT_NE(memory[0].first.find(megabytes), std::string::npos) << memory[0].first;
}

// Where the firmware table can be read (a physical machine, as root): the BIOS version that
// dmidecode reads from it.
TEST_F(LinuxSwitchScanTest, FirstScanShowsTheBiosVersionDmidecodeReads) {
    if (!FirmwareTableReadable()) GTEST_SKIP() << "the firmware table cannot be read here";
    FILE* dmidecode = popen("dmidecode -s bios-version 2>/dev/null", "r");
    char version[256] = {};
    const bool read = dmidecode != nullptr && std::fgets(version, sizeof(version), dmidecode);
    if (dmidecode != nullptr) pclose(dmidecode);
    if (!read) GTEST_SKIP() << "dmidecode is not installed";
    std::string expected(version);
    expected.erase(expected.find_last_not_of(" \n") + 1);
    const std::string saved = Scan();
    ASSERT_FALSE(HasFailure());
    const auto bios = Components(saved, 160);
    ASSERT_EQ(bios.size(), 1u) << DataFile("Catalix.sav");
    if (!expected.empty() && expected != "Not Specified") {
        EXPECT_EQ(bios[0].second, expected);
    }
}

}  // namespace
}  // namespace cx::test
