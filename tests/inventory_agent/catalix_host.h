// The Catalix agent in a private extagentd: its own temp dir, registry file, UDP port, data
// root and trace, cx-switchd with a scenario, and the table file of the project (or one the
// test writes).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/windef.h"
#include "switchd_process.h"
#include "temp_dir.h"

namespace cx::test {

inline constexpr const char* kCatalixRoot = "1.3.6.1.4.1.7391.2.10.2.10";
inline constexpr const char* kAgentParameters = "SOFTWARE\\Arvenmark\\CX_MIB\\Parameters";
inline constexpr const char* kReadinessKey =
    "SOFTWARE\\Arvenmark\\SC_MIB\\Subsystems\\Environment\\Parameters\\VolatileParameters";

// The three rights requests the framework asks at start.
inline constexpr const char* kRightsScenario =
    "reply 0xE001 0x3811 * * : byte 1\n"
    "reply 0xE001 0x3810 * * : byte 0\n"
    "reply 0xE001 0x3812 * * : byte 1\n";

class CatalixHostTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Registry helpers (HKEY_LOCAL_MACHINE of the test's registry file).
    void SetString(const std::string& key, const char* name, const std::string& text);
    void SetDword(const std::string& key, const char* name, DWORD value);
    void DeleteValue(const std::string& key, const char* name);
    // The server-control agent reports itself ready (or not).
    void SetReady(bool ready);

    // Starts cx-switchd with `scenario` (rights answers are added).
    void StartSwitch(const std::string& scenario = "");
    // Starts extagentd with CX_MIB.so; `prefix` runs it through another program (unshare ...);
    // waits until the agent reports "started" (bounded). CX_TIME_SCALE is `time_scale`.
    bool StartHost(const std::string& time_scale = "1", std::vector<std::string> prefix = {});
    // SIGTERM and the exit status (-1: not ended within `bound`).
    int StopHost(std::chrono::milliseconds bound = std::chrono::seconds(60));
    void KillHost();

    // snmpwalk -On of the Catalix subtree: (OID, "TYPE: value") pairs.
    std::vector<std::pair<std::string, std::string>> Walk();
    std::map<std::string, std::string> WalkMap();

    // The trace with its line ends as "\n" (the file has CR LF), so messages match as written.
    std::string Trace() const;
    std::size_t TraceCount(const std::string& text) const;
    // Waits (bounded) until `text` occurs `count` times in the trace.
    bool WaitForTrace(const std::string& text, std::size_t count = 1,
                      std::chrono::milliseconds bound = std::chrono::seconds(60)) const;
    std::string HostErrors() const { return ReadFile(temp_.File("host.err")); }

    std::string DataFile(const std::string& name) const { return ReadFile(DataPath(name)); }
    std::string DataPath(const std::string& name) const { return data_dir_ + "/" + name; }
    bool DataFileExists(const std::string& name) const;

    TempDir temp_;
    std::string data_dir_;
    std::unique_ptr<SwitchdProcess> switchd_;
    std::unique_ptr<ChildProcess> host_;
    int port_ = 0;
};

}  // namespace cx::test
