// A private extagentd for one test: its own temp dir, registry file, port and test agents.
#include "host_fixture.h"

#include <signal.h>

#include <filesystem>
#include <sstream>

#include "platform/registry_store.h"
#include "platform/winsvc.h"
#include "registry_values.h"
#include "snmp_listen.h"

namespace cx::test {
void HostFixture::SetUp() {
    CxRegistrySetPath(temp_.File("registry.db").c_str());
    port_ = FreeUdpPort();
    ASSERT_NE(port_, 0);
}

void HostFixture::TearDown() {
    if (host_ != nullptr) StopHost();
    CxRegistrySetPath(nullptr);
}

std::string HostFixture::AddTestAgent(const std::string& name, const std::string& settings) {
    const std::string library = temp_.File(name + ".so");
    std::filesystem::copy_file(CX_TEST_AGENT_PATH, library,
                               std::filesystem::copy_options::overwrite_existing);
    WriteFile(library + ".conf", settings);
    AddAgentLibrary(name, library);
    return library;
}

void HostFixture::AddAgentLibrary(const std::string& name, const std::string& library_path) {
    const std::string agent_key = "SOFTWARE\\Test\\" + name + "\\CurrentVersion";
    SetRegString(agent_key, "Pathname", library_path);
    const std::string agents = std::string(kSnmpParameters) + "\\ExtensionAgents";
    SetRegString(agents, std::to_string(++entries_[agents]).c_str(), agent_key);
}

void HostFixture::AddCommunity(const std::string& name, unsigned rights) {
    SetRegDword(std::string(kSnmpParameters) + "\\ValidCommunities", name.c_str(), rights);
}

void HostFixture::AddPermittedManager(const std::string& address) {
    const std::string managers = std::string(kSnmpParameters) + "\\PermittedManagers";
    SetRegString(managers, std::to_string(++entries_[managers]).c_str(), address);
}

void HostFixture::AddTrapDestination(const std::string& community, const std::string& address) {
    const std::string key = std::string(kSnmpParameters) + "\\TrapConfiguration\\" + community;
    SetRegString(key, std::to_string(++entries_[key]).c_str(), address);
}

bool HostFixture::StartHost(std::vector<std::string> extra, bool until_running) {
    if (extra.empty()) extra = {"--listen", Address()};
    std::vector<std::string> argv = {CX_EXTAGENTD_PATH, "--foreground",
                                     "--registry",      temp_.File("registry.db"),
                                     "--state-dir",     temp_.File("state")};
    argv.insert(argv.end(), extra.begin(), extra.end());
    host_ = std::make_unique<ChildProcess>();
    if (!host_->Start(argv, temp_.File("host.out"), temp_.File("host.err"))) return false;
    if (!until_running) return true;
    return WaitUntil([this] { return SnmpServiceState() == SERVICE_RUNNING || !host_->Running(); },
                     std::chrono::seconds(30)) &&
           host_->Running();
}

int HostFixture::StopHost() {
    host_->Signal(SIGTERM);
    const int code = host_->Wait(std::chrono::seconds(30));
    host_.reset();
    return code;
}

std::string HostFixture::HostLog() const { return ReadFile(temp_.File("host.err")); }

std::string HostFixture::Address() const { return "127.0.0.1:" + std::to_string(port_); }

int HostFixture::StartTrapReceiver(ChildProcess& trapd, const std::string& log) {
    const int port = FreeUdpPort();
    WriteFile(temp_.File("snmptrapd.conf"), "disableAuthorization yes\n");
    const bool started = trapd.Start(
        {"/usr/sbin/snmptrapd", "-f", "-C", "-c", temp_.File("snmptrapd.conf"), "-n", "-On", "-Lf",
         log, "-M", "", "-m", "", "udp:127.0.0.1:" + std::to_string(port)},
        temp_.File("trapd.out"), temp_.File("trapd.err"),
        {{"SNMP_PERSISTENT_DIR", temp_.File("trapd-state")}});
    const bool listening =
        started &&
        WaitUntil([&] { return ReadFile(log).find("NET-SNMP version") != std::string::npos; },
                  std::chrono::seconds(20));
    EXPECT_TRUE(listening) << ReadFile(temp_.File("trapd.err"));
    return listening ? port : 0;
}

ToolResult HostFixture::Snmp(const std::string& tool, std::vector<std::string> args) {
    std::vector<std::string> argv = {"/usr/bin/" + tool, "-m", "", "-On", "-t", "2", "-r", "1"};
    for (std::string& arg : args) {
        if (arg == "%a") arg = Address();
        argv.push_back(arg);
    }
    ChildOptions options;
    options.environment = {{"MIBS", ""}};
    return RunTool(argv, temp_.Path(), std::chrono::seconds(30), options);
}

std::vector<std::pair<std::string, std::string>> ParseWalk(const std::string& output) {
    std::vector<std::pair<std::string, std::string>> lines;
    std::istringstream stream(output);
    std::string line;
    while (std::getline(stream, line)) {
        const auto equals = line.find(" = ");
        if (equals == std::string::npos) continue;
        // The v2c end-of-MIB marker repeats the last name; it is not an object.
        if (line.find("No more variables left in this MIB View", equals) != std::string::npos)
            continue;
        lines.emplace_back(line.substr(0, equals), line.substr(equals + 3));
    }
    return lines;
}

}  // namespace cx::test
