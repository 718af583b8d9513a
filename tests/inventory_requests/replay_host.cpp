// extagentd with REPLAY_MIB for the SNMP request tests.
#include "replay_host.h"

#include <signal.h>

#include "platform/winreg.h"
#include "platform/winsvc.h"

namespace cx::test {
namespace {

constexpr const char* kSnmpParameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
constexpr const char* kReplayParameters = "SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters";
// REPLAY_MIB builds its MIB after it has asked SWITCH for the three rights.
constexpr const char* kRightsScenario =
    "reply 0xE001 0x3811 * * : byte 1\n"
    "reply 0xE001 0x3810 * * : byte 0\n"
    "reply 0xE001 0x3812 * * : byte 1\n";

void SetValue(const std::string& key_path, const char* name, DWORD type, const void* data,
              DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void SetString(const std::string& key_path, const char* name, const std::string& text) {
    SetValue(key_path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void SetMultiString(const std::string& key_path, const char* name, const std::string& text) {
    const std::string multi = text + '\0' + '\0';
    SetValue(key_path, name, REG_MULTI_SZ, multi.data(), static_cast<DWORD>(multi.size()));
}

void SetDword(const std::string& key_path, const char* name, DWORD value) {
    SetValue(key_path, name, REG_DWORD, &value, sizeof(value));
}

std::string AgentStatus() {
    char text[64] = {};
    DWORD size = sizeof(text) - 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Arvenmark\\#Status", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return "";
    }
    RegQueryValueExA(key, "REPLAY_MIB", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return text;
}

// The host publishes "running" once it answers requests.
bool HostRunning() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceA(manager, "SNMP", SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    const bool running =
        QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return running;
}

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
    SetDword(kSnmpParameters, "UdpPort", static_cast<DWORD>(port));
    SetString(kSnmpParameters, "ListenAddress", "127.0.0.1");
    SetDword(std::string(kSnmpParameters) + "\\ValidCommunities", "public", 4);
    WriteFile(dir_.File("replay.walk"), walk);
    SetString("SOFTWARE\\Test\\Replay", "Pathname", CX_REPLAY_AGENT_PATH);
    SetString(std::string(kSnmpParameters) + "\\ExtensionAgents", "1", "SOFTWARE\\Test\\Replay");
    SetMultiString(kReplayParameters, "WalkFiles", dir_.File("replay.walk"));
    SetMultiString(kReplayParameters, "Regions", region);
    host_ = std::make_unique<ChildProcess>();
    if (!host_->Start({CX_EXTAGENTD_PATH, "--foreground", "--registry", dir_.File("registry.db"),
                       "--state-dir", dir_.File("state")},
                      dir_.File("host.out"), dir_.File("host.err"))) {
        return false;
    }
    return WaitUntil(
               [this] {
                   return (HostRunning() && AgentStatus() == "started") || !host_->Running();
               },
               std::chrono::seconds(30)) &&
           host_->Running();
}

}  // namespace cx::test
