// Third-party servers that cx-switchd --linux reads, for tests and benchmarks: OpenIPMI's BMC
// simulator (ipmi_sim, Debian openipmi) and NUT's upsd with its dummy-ups driver (nut-server),
// each in a directory of its own on loopback ports chosen at run time, ready once it answers
// (asked with ipmitool and upsc), stopped by its PID.
#pragma once

#include <memory>
#include <string>

#include "child_process.h"

namespace cx::test {

class BmcSimulator {
  public:
    static constexpr const char* kUser = "cxadmin";
    static constexpr const char* kPassword = "cxsecret";

    // Why the simulator cannot run here (its package is not installed); empty when it can.
    static std::string Missing();

    // Starts the simulator in `dir` with `commands` (its own command lines: the controller,
    // sensors, SDRs, FRU data; the controller is enabled after them) and waits until it
    // answers Get Device ID. false with the reason in *error.
    bool Start(const std::string& dir, const std::string& commands, std::string* error);
    // One line on the simulator's console; its answer up to the next prompt.
    std::string Console(const std::string& line);
    void Kill() { process_.reset(); }

    std::string lan() const { return "127.0.0.1:" + std::to_string(port_); }
    // A file holding the password, for --ipmi-password-file.
    const std::string& password_file() const { return password_file_; }

  private:
    std::unique_ptr<ChildProcess> process_;
    int port_ = 0;
    int console_port_ = 0;
    std::string password_file_;
};

// "0x01 0x02 ...": bytes as the simulator's commands take them.
std::string SimulatorBytes(const std::string& bytes);
// The command line that turns a sensor's scanning on or off (off: its reading is unavailable).
std::string SensorScanning(const std::string& sensor, bool on);
// The commands of an invented server: a controller of manufacturer 999999 (held by no
// organisation), product 0x1234, firmware 1.42, IPMI 2.0, with an event log; three fans, two
// power supplies with their FRUs (serials PSU0041, PSU0042), the system's FRU (board
// "Arden Board R2", product "Arden R20", a rack mount chassis); seven SDRs.
std::string InventedServer();

class UpsServer {
  public:
    static std::string Missing();

    // Starts dummy-ups for the UPS `name` described by `variables` ("name: value" lines of a
    // .dev file) and upsd; waits until the server lists its maker.
    bool Start(const std::string& dir, const std::string& name, const std::string& variables,
               std::string* error);
    // Changes a variable with upsrw and waits for the server to tell the new value.
    bool Set(const std::string& variable, const std::string& value);

    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    std::string Get(const std::string& variable);

    std::string dir_;
    std::string name_;
    std::unique_ptr<ChildProcess> driver_;
    std::unique_ptr<ChildProcess> server_;
    int port_ = 0;
};

}  // namespace cx::test
