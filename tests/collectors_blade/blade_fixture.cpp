// The blade collector's test bench.
#include "blade_fixture.h"

#include <signal.h>

#include <chrono>
#include <cstring>

#include "platform/objbase.h"
#include "platform/profile.h"
#include "platform/winreg.h"
#include "platform/winsvc.h"
#include "registry_values.h"
#include "trace_reader.h"

namespace cx::test {
namespace {

constexpr const char* kSnmpParameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
constexpr const char* kReplayParameters = "SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters";
constexpr const char* kReplayKey = "SOFTWARE\\Test\\Replay";
constexpr const char* kStatusKey = "SOFTWARE\\Arvenmark\\#Status";
constexpr const char* kManagementBladeAddress = "127.0.0.2";

// The container types the blades' containers and their parents take.
constexpr const char* kTableFile =
    "[Physical Tree]\r\n"
    "PhysKorvan=1\r\n"
    "ServerCabinet=2\r\n"
    "[Functional Tree]\r\n"
    "FuncKorvan=1\r\n"
    "FuncChassis=2\r\n"
    "BladeSystem=10\r\n";

}  // namespace

std::string ShippedBladeScenario() { return ReadFile(CX_BLADE_SCENARIO); }
std::string ShippedBladeWalk() { return ReadFile(CX_BLADE_WALK); }

void BladeTest::SetUp() {
    InventoryTest::SetUp();
    WriteTableFile(kTableFile);
    agent_->InsertPhysicalContainer("blade01", 0, "PhysKorvan", -1);
    agent_->InsertPhysicalContainer("Arden B20 Server Blade", 1, "ServerCabinet", -1);
    agent_->InsertFunctionalContainer("blade01", 0, "FuncKorvan", -1);
    agent_->InsertFunctionalContainer("Arden BX40 Blade Chassis", 1, "FuncChassis", -1);
    ComponentEntry chassis(2);
    std::strcpy(chassis.ProdName, "Arden BX40 Blade Chassis");
    agent_->InsertComponent(&chassis);
    server_.PhysCont = agent_->CurPhysContainer;
    server_.FuncCont = agent_->CurFuncContainer;
    server_.CabinetNr = kServerCabinetNr;
    std::strcpy(server_.Name, "Arden B20 Server Blade");
    agent_->ServerCabinetNr = kServerCabinetNr;
    SetRegDword((std::string(kSnmpParameters) + "\\ValidCommunities").c_str(), "public", 4);
}

void BladeTest::TearDown() {
    if (host_ != nullptr) {
        host_->Signal(SIGTERM);
        host_->Wait(std::chrono::seconds(60));
        const std::string errors = ReadFile(DataPath("host.err"));
        EXPECT_EQ(errors.find("ERROR: AddressSanitizer"), std::string::npos) << errors;
        EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
    }
    if (switchd_ != nullptr) {
        agent_->m_SwitchClient.EnableCancelRequest(FALSE);
        agent_->m_SwitchClient.Detach();
    }
    InventoryTest::TearDown();
    switchd_.reset();
    if (com_initialised_) CoUninitialize();
}

void BladeTest::StartSwitch(const std::string& scenario) {
    switchd_ = std::make_unique<SwitchdProcess>(dir_);
    switchd_->RegisterClass();
    ASSERT_TRUE(switchd_->Start(scenario));
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    com_initialised_ = init == S_OK || init == S_FALSE;
    ASSERT_TRUE(agent_->m_SwitchClient.Attach(nullptr));
    agent_->m_SwitchClient.EnableCancelRequest(TRUE);
}

void BladeTest::SetManagerPort(int port) const {
    SetRegDword(kSnmpParameters, "UdpPort", static_cast<DWORD>(port));
}

void BladeTest::StartManagementBlade(const std::string& walk) {
    const int port = FreeUdpPort();
    ASSERT_NE(port, 0);
    SetManagerPort(port);
    SetRegString(kSnmpParameters, "ListenAddress", kManagementBladeAddress);
    WriteDataFile("blade.walk", walk);
    SetRegString(kReplayKey, "Pathname", CX_REPLAY_AGENT_PATH);
    SetRegString((std::string(kSnmpParameters) + "\\ExtensionAgents").c_str(), "1", kReplayKey);
    SetRegMultiString(kReplayParameters, "WalkFiles", DataPath("blade.walk"));
    SetRegMultiString(kReplayParameters, "Regions", "1.3.6.1.4.1.8265");
    SetRegString("SOFTWARE\\Debug\\REPLAY_MIB", "TraceFile", DataPath("blade-trace.txt"));
    SetRegDword("SOFTWARE\\Debug\\REPLAY_MIB", "FileDebugLevel", 2);

    host_ = std::make_unique<ChildProcess>();
    ASSERT_TRUE(host_->Start({CX_EXTAGENTD_PATH, "--foreground", "--registry",
                              DataPath("registry.db"), "--state-dir", DataPath("state")},
                             DataPath("host.out"), DataPath("host.err")));
    ASSERT_TRUE(WaitUntil([this] { return HostServing() || !host_->Running(); },
                          std::chrono::seconds(30)) &&
                host_->Running())
        << ReadFile(DataPath("host.err"));
}

bool BladeTest::HostServing() const {
    return SnmpServiceRunning() && ReadRegString(kStatusKey, "REPLAY_MIB") == "started";
}

void BladeTest::RunChkBlade() { agent_->ChkBlade(&server_, 1); }

std::string BladeTest::Actual(const char* section, const std::string& key) const {
    const std::string path = DataPath("Catalix.act");
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    char value[256] = {};
    GetPrivateProfileStringA(section, key.c_str(), "", value, sizeof(value), path.c_str());
    return value;
}

std::size_t BladeTest::RequestsAtManagementBlade() const {
    return CountOf(ReadFile(DataPath("blade-trace.txt")), "SNMP query:");
}

}  // namespace cx::test
