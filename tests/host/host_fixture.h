// A private extagentd for one test: its own temp dir, registry file, port and test agents.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "temp_dir.h"

namespace cx::test {

// The test agents' views.
constexpr const char* kRootA = ".1.3.6.1.4.1.99999.1";
constexpr const char* kRootB = ".1.3.6.1.4.1.99999.2";
inline std::string Oid(const char* root, const std::string& tail) {
    return std::string(root) + tail;
}

class HostFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Copies the test agent to "<name>.so" in the temp dir with `settings` as its
    // configuration and lists it in ExtensionAgents. Returns the library path.
    std::string AddTestAgent(const std::string& name, const std::string& settings);
    // Lists `library_path` in ExtensionAgents as is.
    void AddAgentLibrary(const std::string& name, const std::string& library_path);
    void AddCommunity(const std::string& name, unsigned rights);
    void AddPermittedManager(const std::string& address);
    void AddTrapDestination(const std::string& community, const std::string& address);

    // Starts extagentd with `extra` arguments (default: standalone on the test's port) and,
    // unless told not to, waits until it reports the service running or ends.
    bool StartHost(std::vector<std::string> extra = {}, bool until_running = true);
    // SIGTERM, then the exit code (-1: not ended within the bound).
    int StopHost();
    std::string HostLog() const;

    // An SNMP tool with the given arguments against the host ("%a" stands for ADDR:PORT).
    ToolResult Snmp(const std::string& tool, std::vector<std::string> args);
    std::string Address() const;
    // snmptrapd on a free loopback port, logging every trap numerically to `log`; waits until it
    // listens. Returns its port, 0 when it did not start (the test has failed then).
    int StartTrapReceiver(ChildProcess& trapd, const std::string& log);

    TempDir temp_;
    int port_ = 0;
    std::unique_ptr<ChildProcess> host_;
    std::map<std::string, int> entries_;  // values listed so far under each numbered key
};

// The objects of "OID = TYPE: VALUE" lines printed with -On, in order, as (OID, "TYPE: VALUE").
std::vector<std::pair<std::string, std::string>> ParseWalk(const std::string& output);

}  // namespace cx::test
