// The BMC simulator and the UPS server for tests.
#include "peer_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "ipmi_builder.h"

namespace cx::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kIpmiSim = "/usr/bin/ipmi_sim";
constexpr const char* kIpmiTool = "/usr/bin/ipmitool";
constexpr const char* kUpsd = "/lib/nut/upsd";
constexpr const char* kDummyUps = "/lib/nut/dummy-ups";
constexpr const char* kUpsc = "/usr/bin/upsc";
constexpr const char* kUpsrw = "/usr/bin/upsrw";

std::string MissingProgram(std::initializer_list<std::pair<const char*, const char*>> programs) {
    for (const auto& [path, package] : programs) {
        if (access(path, X_OK) != 0)
            return std::string(path) + " (Debian " + package + ") is not installed";
    }
    return {};
}

std::string UserName() {
    const passwd* user = getpwuid(getuid());
    return user != nullptr ? user->pw_name : "root";
}

// Reads from `fd` until `text` has come (bounded); what came.
std::string ReadUntil(int fd, const std::string& end) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (got.find(end) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char chunk[512];
        const ssize_t n = read(fd, chunk, sizeof(chunk));
        if (n <= 0) break;
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

}  // namespace

std::string SimulatorBytes(const std::string& bytes) {
    std::string text;
    char byte[8];
    for (unsigned char c : bytes) {
        std::snprintf(byte, sizeof(byte), " 0x%02x", c);
        text += byte;
    }
    return text.substr(text.empty() ? 0 : 1);
}

std::string SensorScanning(const std::string& sensor, bool on) {
    const std::string none(15, '0');
    return "sensor_set_event_support 0x20 0 " + sensor +
           (on ? " enable scanning" : " enable no-scanning") + " per-state " + none + " " + none +
           " " + none + " " + none + "\n";
}

std::string InventedServer() {
    std::string commands =
        "mc_add 0x20 0 no-device-sdrs 0x23 0x01 0x42 0x9f 0x0f423f 0x1234\n"
        "sel_enable 0x20 1000 0x0a\n";
    for (const auto& [device, image] : {std::pair{0, InventedSystemFru()},
                                        {3, InventedSupplyFru(1)},
                                        {4, InventedSupplyFru(2)}}) {
        const std::string bytes = image.Bytes();
        commands += "mc_add_fru_data 0x20 " + std::to_string(device) + " " +
                    std::to_string(bytes.size()) + " data " + SimulatorBytes(bytes) + "\n";
    }
    for (const std::string& record : InventedSdrs())
        commands += "main_sdr_add 0x20 " + SimulatorBytes(record) + "\n";
    // Sensors read only with scanning on, which the simulator leaves off; both supplies are
    // present.
    for (const char* sensor : {"0x30 0x04 0x01", "0x31 0x04 0x01", "0x32 0x04 0x01",
                               "0x40 0x08 0x6f", "0x41 0x08 0x6f"}) {
        commands += std::string("sensor_add 0x20 0 ") + sensor + "\n" +
                    SensorScanning(std::string(sensor, 4), true);
    }
    return commands + "sensor_set_bit 0x20 0 0x40 0 1 0\nsensor_set_bit 0x20 0 0x41 0 1 0\n";
}

std::string BmcSimulator::Missing() {
    return MissingProgram({{kIpmiSim, "openipmi"}, {kIpmiTool, "ipmitool"}});
}

bool BmcSimulator::Start(const std::string& dir, const std::string& commands, std::string* error) {
    port_ = FreeUdpPort();
    console_port_ = FreeTcpPort();
    // Every start gets a fresh state directory: a kept one would add the SDRs again.
    const std::string state = dir + "/state";
    std::filesystem::remove_all(state);
    std::filesystem::create_directories(state);
    WriteFile(dir + "/lan.conf",
              "name \"cxtest\"\nset_working_mc 0x20\n  startlan 1\n    addr 127.0.0.1 " +
                  std::to_string(port_) +
                  "\n    priv_limit admin\n    allowed_auths_callback none md2 md5 straight\n"
                  "    allowed_auths_user none md2 md5 straight\n"
                  "    allowed_auths_operator none md2 md5 straight\n"
                  "    allowed_auths_admin none md2 md5 straight\n"
                  "    guid a123456789abcdefa123456789abcdef\n  endlan\n"
                  "  console 127.0.0.1 " +
                  std::to_string(console_port_) + "\n  user 2 true \"" + kUser + "\" \"" +
                  kPassword + "\" admin 10 none md2 md5 straight\n");
    // The LAN socket opens with mc_enable, which comes last.
    WriteFile(dir + "/commands", "mc_setbmc 0x20\n" + commands + "mc_enable 0x20\n");
    password_file_ = dir + "/password";
    WriteFile(password_file_, std::string(kPassword) + "\n");
    chmod(password_file_.c_str(), 0600);
    process_ = std::make_unique<ChildProcess>();
    if (!process_->Start(
            {kIpmiSim, "-c", dir + "/lan.conf", "-f", dir + "/commands", "-s", state, "-n"},
            dir + "/ipmi_sim.out", dir + "/ipmi_sim.err")) {
        *error = "ipmi_sim cannot be started";
        return false;
    }
    const auto answers = [&] {
        return RunTool({kIpmiTool, "-I", "lanplus", "-C", "3", "-H", "127.0.0.1", "-p",
                        std::to_string(port_), "-U", kUser, "-P", kPassword, "raw", "0x06", "0x01"},
                       dir, 10s)
                   .exit_code == 0;
    };
    if (!WaitUntil([&] { return !process_->Running() || answers(); }, 20s) ||
        !process_->Running()) {
        *error = "ipmi_sim does not answer: " + ReadFile(dir + "/ipmi_sim.err");
        return false;
    }
    return true;
}

std::string BmcSimulator::Console(const std::string& line) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(console_port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        ReadUntil(fd, "> ");
        std::string text = line;
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        text += "\n";
        if (write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()))
            answer = ReadUntil(fd, "\n\r> ");
    }
    close(fd);
    return answer;
}

std::string UpsServer::Missing() {
    return MissingProgram({{kUpsd, "nut-server"},
                           {kDummyUps, "nut-server"},
                           {kUpsc, "nut-client"},
                           {kUpsrw, "nut-client"}});
}

bool UpsServer::Start(const std::string& dir, const std::string& name, const std::string& variables,
                      std::string* error) {
    dir_ = dir;
    name_ = name;
    port_ = FreeTcpPort();
    std::filesystem::create_directories(dir + "/state");
    chmod((dir + "/state").c_str(), 0700);
    WriteFile(dir + "/ups.conf", "[" + name + "]\n  driver = dummy-ups\n  port = " + name +
                                     ".dev\n  desc = \"Rack UPS\"\n");
    WriteFile(dir + "/" + name + ".dev", variables);
    WriteFile(dir + "/upsd.conf", "LISTEN 127.0.0.1 " + std::to_string(port_) + "\n");
    WriteFile(dir + "/upsd.users", "[cxadmin]\n  password = cxsecret\n  actions = SET\n");
    chmod((dir + "/upsd.users").c_str(), 0600);
    // Both read their files from the private directory, not /etc/nut; the /sbin/upsd wrapper
    // would do nothing under the default configuration.
    ChildOptions options(ChildOutput::kFiles);
    options.environment = {{"NUT_CONFPATH", dir}, {"NUT_STATEPATH", dir + "/state"}};
    options.out_file = dir + "/driver.out";
    options.err_file = dir + "/driver.err";
    driver_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{kDummyUps, "-a", name, "-u", UserName(), "-F"}, options);
    options.out_file = dir + "/upsd.out";
    options.err_file = dir + "/upsd.err";
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{kUpsd, "-u", UserName(), "-F"}, options);
    if (!driver_->Started() || !server_->Started()) {
        *error = "dummy-ups or upsd cannot be started";
        return false;
    }
    // The driver commits its variables a moment after it connected.
    if (!WaitUntil([&] { return !Get("device.mfr").empty() || !server_->Running(); }, 20s) ||
        !server_->Running()) {
        *error =
            "upsd does not answer: " + ReadFile(dir + "/upsd.err") + ReadFile(dir + "/driver.err");
        return false;
    }
    return true;
}

std::string UpsServer::Get(const std::string& variable) {
    const ToolResult result = RunTool({kUpsc, name_ + "@" + address(), variable}, dir_, 10s);
    if (result.exit_code != 0) return {};
    return result.out.substr(0, result.out.find('\n'));
}

bool UpsServer::Set(const std::string& variable, const std::string& value) {
    const ToolResult result = RunTool({kUpsrw, "-s", variable + "=" + value, "-u", "cxadmin", "-p",
                                       "cxsecret", "-w", name_ + "@" + address()},
                                      dir_, 20s);
    return result.exit_code == 0 && WaitUntil([&] { return Get(variable) == value; });
}

}  // namespace cx::test
