// The Catalix agent in a private extagentd.
#include "catalix_host.h"

#include <signal.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "registry_values.h"
#include "trace_reader.h"

namespace cx::test {

namespace {

constexpr const char* kSnmpParameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";

}  // namespace

void CatalixHostTest::SetUp() {
    data_dir_ = temp_.File("data");
    CreateDirectoryA(data_dir_.c_str(), nullptr);
    CxRegistrySetPath(temp_.File("registry.db").c_str());
    port_ = FreeUdpPort();
    ASSERT_NE(port_, 0);
    SetDword(kSnmpParameters, "UdpPort", static_cast<DWORD>(port_));
    SetString(kSnmpParameters, "ListenAddress", "127.0.0.1");
    SetDword(std::string(kSnmpParameters) + "\\ValidCommunities", "public", 4);
    SetString("SOFTWARE\\Arvenmark\\CX_MIB\\CurrentVersion", "Pathname", CX_MIB_AGENT_PATH);
    SetString(std::string(kSnmpParameters) + "\\ExtensionAgents", "1",
              "SOFTWARE\\Arvenmark\\CX_MIB\\CurrentVersion");
    // The bus collector waits for the server management agent's bus table, the storage
    // collectors for its hard-disk adapter table: empty ones.
    std::ofstream(temp_.File("bus.walk"))
        << ".1.3.6.1.4.1.7391.2.10.2.2.4.1.4.1.10.5.1.0.1 = \"\"\n"
        << ".1.3.6.1.4.1.7391.2.10.2.2.3.1.1.13.5.1.0 = \"\"\n";
    SetString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\CurrentVersion", "Pathname", CX_REPLAY_AGENT_PATH);
    SetString(std::string(kSnmpParameters) + "\\ExtensionAgents", "2",
              "SOFTWARE\\Arvenmark\\REPLAY_MIB\\CurrentVersion");
    SetRegMultiString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters", "WalkFiles",
                      temp_.File("bus.walk"));
    SetRegMultiString("SOFTWARE\\Arvenmark\\REPLAY_MIB\\Parameters", "Regions",
                      ".1.3.6.1.4.1.7391.2.10.2.2");
    SetString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", data_dir_);
    SetString("SOFTWARE\\Arvenmark\\#Setup", "FileRoot", CX_PROJECT_DATA);
    SetString("SOFTWARE\\Debug\\CX_MIB", "TraceFile", temp_.File("trace.txt"));
    SetDword("SOFTWARE\\Debug\\CX_MIB", "FileDebugLevel", 5);
    SetDword("SOFTWARE\\Debug\\CX_MIB", "TraceFileLimit", 1024);
    SetReady(true);
}

void CatalixHostTest::TearDown() {
    if (host_ != nullptr && host_->Running()) StopHost();
    if (host_ != nullptr) {
        // Under the sanitizers the host reports any fault of the agent on its errors.
        const std::string errors = HostErrors();
        EXPECT_EQ(errors.find("ERROR: AddressSanitizer"), std::string::npos) << errors;
        EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
        EXPECT_EQ(errors.find("ThreadSanitizer"), std::string::npos) << errors;
        EXPECT_EQ(errors.find("ERROR: LeakSanitizer"), std::string::npos) << errors;
    }
    host_.reset();
    switchd_.reset();
    CxRegistrySetPath(nullptr);
}

void CatalixHostTest::SetString(const std::string& key, const char* name, const std::string& text) {
    SetRegString(key, name, text);
}

void CatalixHostTest::SetDword(const std::string& key, const char* name, DWORD value) {
    SetRegDword(key, name, value);
}

void CatalixHostTest::DeleteValue(const std::string& key, const char* name) {
    DeleteRegValue(key, name);
}

void CatalixHostTest::SetReady(bool ready) {
    if (ready) {
        SetDword(kReadinessKey, "AgentStatus", 1);
    } else {
        DeleteValue(kReadinessKey, "AgentStatus");
    }
}

void CatalixHostTest::StartSwitch(const std::string& scenario) {
    switchd_ = std::make_unique<SwitchdProcess>(temp_);
    switchd_->RegisterClass();
    ASSERT_TRUE(switchd_->Start(std::string(kRightsScenario) + scenario));
}

bool CatalixHostTest::StartHost(const std::string& time_scale, std::vector<std::string> prefix) {
    // A killed host leaves its last run state behind; "started" must be this host's.
    DeleteValue("SOFTWARE\\Arvenmark\\#Status", "CX_MIB");
    std::vector<std::string> argv = std::move(prefix);
    for (const char* arg : {CX_EXTAGENTD_PATH, "--foreground", "--registry"})
        argv.push_back(arg);
    argv.push_back(temp_.File("registry.db"));
    argv.push_back("--state-dir");
    argv.push_back(temp_.File("state"));
    host_ = std::make_unique<ChildProcess>();
    if (!host_->Start(
            argv, temp_.File("host.out"), temp_.File("host.err"),
            {{"CX_TIME_SCALE", time_scale}, {"CX_REGISTRY", temp_.File("registry.db")}})) {
        return false;
    }
    return WaitUntil([this] { return AgentRunState("CX_MIB") == "started" || !host_->Running(); },
                     std::chrono::seconds(60)) &&
           host_->Running();
}

int CatalixHostTest::StopHost(std::chrono::milliseconds bound) {
    if (host_ == nullptr) return -1;
    host_->Signal(SIGTERM);
    return host_->Wait(bound);
}

void CatalixHostTest::KillHost() {
    if (host_ == nullptr) return;
    host_->Kill();
    host_->Wait(std::chrono::seconds(10));
}

std::vector<std::pair<std::string, std::string>> CatalixHostTest::Walk() {
    const ToolResult walked =
        RunTool({"/usr/bin/snmpwalk", "-m", "", "-v2c", "-c", "public", "-On", "-t", "5", "-r", "1",
                 "127.0.0.1:" + std::to_string(port_), kCatalixRoot},
                temp_.Path(), std::chrono::seconds(60));
    std::vector<std::pair<std::string, std::string>> lines;
    std::istringstream stream(walked.out);
    std::string line;
    while (std::getline(stream, line)) {
        const auto equals = line.find(" = ");
        if (equals == std::string::npos) continue;
        if (line.find("No more variables left in this MIB View", equals) != std::string::npos ||
            line.find("No Such Object", equals) != std::string::npos) {
            continue;
        }
        std::string oid = line.substr(0, equals);
        const std::string root = std::string(".") + kCatalixRoot;
        if (oid.rfind(root, 0) == 0) oid = oid.substr(root.size());
        lines.emplace_back(oid, line.substr(equals + 3));
    }
    return lines;
}

std::map<std::string, std::string> CatalixHostTest::WalkMap() {
    std::map<std::string, std::string> objects;
    for (auto& [oid, value] : Walk())
        objects[oid] = value;
    return objects;
}

std::string CatalixHostTest::Trace() const {
    std::string text = ReadFile(temp_.File("trace.txt"));
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::size_t CatalixHostTest::TraceCount(const std::string& text) const {
    return CountOf(Trace(), text);
}

bool CatalixHostTest::WaitForTrace(const std::string& text, std::size_t count,
                                   std::chrono::milliseconds bound) const {
    return WaitUntil([&] { return TraceCount(text) >= count; }, bound);
}

bool CatalixHostTest::DataFileExists(const std::string& name) const {
    return GetFileAttributesA(DataPath(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace cx::test
