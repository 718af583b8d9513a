// The first scan on this machine, with SC_MIB serving its bus table and cx-switchd reading the
// configuration headers from sysfs: every PCI function of domain 0 becomes a component whose
// CompId carries the numbers that sysfs (where lspci -n reads them) gives.
#include <filesystem>
#include <fstream>
#include <set>

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
}

}  // namespace
}  // namespace cx::test
