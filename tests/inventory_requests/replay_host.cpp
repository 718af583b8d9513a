// extagentd with REPLAY_MIB for the SNMP request tests.
#include "replay_host.h"

#include <signal.h>

#include "host_start.h"
#include "platform/winreg.h"
#include "platform/winsvc.h"
#include "registry_values.h"

namespace cx::test {
namespace {

constexpr const char* kSnmpParameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
constexpr const char* kReplayParameters = "SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters";
// REPLAY_MIB builds its MIB after it has asked SWITCH for the three rights.
constexpr const char* kRightsScenario =
    "reply 0xE001 0x3811 * * : byte 1\n"
    "reply 0xE001 0x3810 * * : byte 0\n"
    "reply 0xE001 0x3812 * * : byte 1\n";

// The host publishes "running" once it answers requests.
}  // namespace

ReplayHost::~ReplayHost() { Stop(); }

void ReplayHost::Stop() {
    if (host_ == nullptr) return;
    host_->Signal(SIGTERM);
    host_->Wait(std::chrono::seconds(60));
    host_.reset();
}

bool ReplayHost::Start(const std::string& walk, const std::string& region) {
    switchd_ = std::make_unique<SwitchdProcess>(dir_);
    switchd_->RegisterClass();
    if (!switchd_->Start(kRightsScenario)) return false;
    const int port = FreeUdpPort();
    if (port == 0) return false;
    SetRegDword(kSnmpParameters, "UdpPort", static_cast<DWORD>(port));
    SetRegString(kSnmpParameters, "ListenAddress", "127.0.0.1");
    SetRegDword(std::string(kSnmpParameters) + "\\ValidCommunities", "public", 4);
    WriteFile(dir_.File("replay.walk"), walk);
    SetRegString("SOFTWARE\\Test\\Replay", "Pathname", CX_REPLAY_AGENT_PATH);
    SetRegString(std::string(kSnmpParameters) + "\\ExtensionAgents", "1", "SOFTWARE\\Test\\Replay");
    SetRegMultiString(kReplayParameters, "WalkFiles", dir_.File("replay.walk"));
    SetRegMultiString(kReplayParameters, "Regions", region);
    return StartHostServing(host_, CX_EXTAGENTD_PATH, dir_, "REPLAY_MIB");
}

}  // namespace cx::test
