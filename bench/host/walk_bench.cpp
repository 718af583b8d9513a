// Walk throughput of extagentd against snmpd's own agent, in one run on one machine: snmpwalk
// (GETNEXT) and snmpbulkwalk (GETBULK) of a 30,000-object test MIB through extagentd and of
// snmpd's full tree. Each iteration is one complete walk by the real net-snmp tool; the
// counter "objects/s" is the figure to compare.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "child_process.h"
#include "platform/registry_store.h"
#include "registry_values.h"
#include "temp_dir.h"

namespace {

using cx::test::ChildProcess;

constexpr int kTestObjects = 30000;

// extagentd with the test agent and snmpd, each on its own loopback port, for the whole run.
class Peers {
  public:
    Peers() {
        host_port_ = cx::test::FreeUdpPort();
        snmpd_port_ = cx::test::FreeUdpPort();
        CxRegistrySetPath((dir_ + "/registry.db").c_str());
        const std::string parameters = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters";
        cx::test::SetRegDword(parameters + "\\ValidCommunities", "public", 4);
        const std::string agent = dir_ + "/agent.so";
        std::filesystem::copy_file(CX_TEST_AGENT_PATH, agent);
        cx::test::WriteFile(agent + ".conf", "root 1.3.6.1.4.1.99999.1\nobjects " +
                                                 std::to_string(kTestObjects) + "\n");
        cx::test::SetRegString("SOFTWARE\\Bench\\Agent", "Pathname", agent);
        cx::test::SetRegString(parameters + "\\ExtensionAgents", "1", "SOFTWARE\\Bench\\Agent");

        host_.Start(
            {CX_EXTAGENTD_PATH, "--foreground", "--registry", dir_ + "/registry.db", "--state-dir",
             dir_ + "/state", "--listen", "127.0.0.1:" + std::to_string(host_port_)},
            dir_ + "/host.out", dir_ + "/host.err");
        cx::test::WaitUntil(cx::test::SnmpServiceRunning, std::chrono::seconds(30));

        cx::test::WriteFile(dir_ + "/snmpd.conf", "rocommunity public 127.0.0.1\n");
        snmpd_.Start(
            {"/usr/sbin/snmpd", "-f", "-C", "-c", dir_ + "/snmpd.conf", "-Lf", dir_ + "/snmpd.log",
             "-M", "", "-m", "", "udp:127.0.0.1:" + std::to_string(snmpd_port_)},
            dir_ + "/snmpd.out", dir_ + "/snmpd.err",
            {{"SNMP_PERSISTENT_DIR", dir_ + "/snmpd-state"}});
        cx::test::WaitUntil(
            [this] { return Walk("snmpget", snmpd_port_, ".1.3.6.1.2.1.1.3.0") > 0; },
            std::chrono::seconds(30));
    }
    ~Peers() {
        host_.Signal(SIGTERM);
        snmpd_.Signal(SIGTERM);
        host_.Wait(std::chrono::seconds(30));
        snmpd_.Wait(std::chrono::seconds(30));
    }

    // Runs the tool to its end and returns the number of objects it printed.
    int Walk(const std::string& tool, int port, const std::string& root) {
        const cx::test::ToolResult result =
            cx::test::RunTool({"/usr/bin/" + tool, "-m", "", "-On", "-v", "2c", "-c", "public",
                               "-t", "5", "127.0.0.1:" + std::to_string(port), root},
                              dir_, std::chrono::minutes(5));
        std::istringstream lines(result.out);
        std::string line;
        int objects = 0;
        while (std::getline(lines, line)) {
            if (line.find(" = ") != std::string::npos &&
                line.find("No more variables left") == std::string::npos)
                ++objects;
        }
        return result.exit_code == 0 ? objects : 0;
    }

    int host_port_ = 0;
    int snmpd_port_ = 0;

  private:
    cx::test::TempDir temp_;
    const std::string dir_ = temp_.Path();
    ChildProcess host_;
    ChildProcess snmpd_;
};

Peers& SharedPeers() {
    static Peers peers;
    return peers;
}

void RunWalks(benchmark::State& state, const std::string& tool, bool through_host) {
    Peers& peers = SharedPeers();
    const int port = through_host ? peers.host_port_ : peers.snmpd_port_;
    const std::string root = through_host ? ".1.3.6.1.4.1.99999.1" : ".1";
    std::int64_t objects = 0;
    for (auto _ : state) {
        const int walked = peers.Walk(tool, port, root);
        if (walked == 0) {
            state.SkipWithError("the walk failed");
            return;
        }
        objects += walked;
    }
    state.counters["objects"] = static_cast<double>(objects) / state.iterations();
    state.counters["objects/s"] =
        benchmark::Counter(static_cast<double>(objects), benchmark::Counter::kIsRate);
}

void BM_ExtagentdGetNextWalk(benchmark::State& state) { RunWalks(state, "snmpwalk", true); }
void BM_ExtagentdBulkWalk(benchmark::State& state) { RunWalks(state, "snmpbulkwalk", true); }
void BM_SnmpdGetNextWalk(benchmark::State& state) { RunWalks(state, "snmpwalk", false); }
void BM_SnmpdBulkWalk(benchmark::State& state) { RunWalks(state, "snmpbulkwalk", false); }

BENCHMARK(BM_ExtagentdGetNextWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SnmpdGetNextWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ExtagentdBulkWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SnmpdBulkWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
