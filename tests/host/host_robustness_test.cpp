// extagentd under hostile packets, concurrent managers during MIB rebuilds, and managers it is
// told not to answer.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

#include "fake_agent.h"
#include "host_fixture.h"

namespace cx::test {
namespace {

constexpr const char* kRootA = ".1.3.6.1.4.1.99999.1";

std::string Oid(const char* root, const std::string& tail) { return std::string(root) + tail; }

// A well-formed SNMPv2c request of `pdu_tag` for ROOT.1.1, the seed of the mutations.
std::string Request(std::uint8_t pdu_tag) {
    const std::string bindings =
        BerTlv(0x30, BerTlv(0x30, BerObjectId({1, 3, 6, 1, 4, 1, 99999, 1, 1, 1}) + BerNull()));
    const std::string pdu = BerTlv(
        pdu_tag, BerInteger(0x02, 42) + BerInteger(0x02, 0) + BerInteger(0x02, 0) + bindings);
    return BerTlv(0x30, BerInteger(0x02, 1) + BerOctets(0x04, "public") + pdu);
}

std::string Mutate(const std::string& seed, std::mt19937& random) {
    std::string packet = seed;
    switch (random() % 6) {
        case 0:  // flipped bytes
            for (int i = 0, n = 1 + random() % 4; i < n; ++i)
                packet[random() % packet.size()] = static_cast<char>(random());
            break;
        case 1: packet.resize(random() % packet.size()); break;  // truncated
        case 2: packet += std::string(random() % 64, static_cast<char>(random())); break;
        case 3: packet[random() % 3] = static_cast<char>(0x80 | random()); break;  // lengths
        case 4:                                                                    // noise
            packet.assign(1 + random() % 512, '\0');
            for (char& c : packet)
                c = static_cast<char>(random());
            break;
        default: packet.assign(60000, static_cast<char>(0x30)); break;  // oversized
    }
    return packet;
}

int Integer(const std::string& value) {
    const auto colon = value.find(": ");
    return colon == std::string::npos ? -1 : std::stoi(value.substr(colon + 2));
}

using HostRobustnessTest = HostFixture;

TEST_F(HostRobustnessTest, SurvivesThousandsOfMalformedAndMutatedPackets) {
    AddCommunity("public", 4);
    AddCommunity("private", 8);
    AddTestAgent("agent", "root 1.3.6.1.4.1.99999.1\nobjects 5\n");
    ASSERT_TRUE(StartHost()) << HostLog();

    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in host{};
    host.sin_family = AF_INET;
    host.sin_port = htons(static_cast<uint16_t>(port_));
    host.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::mt19937 random(8);
    const std::vector<std::string> seeds = {Request(0xA0), Request(0xA1), Request(0xA3),
                                            Request(0xA5), Request(0xA2), Request(0xA8)};
    for (int i = 0; i < 3000; ++i) {
        const std::string packet = Mutate(seeds[i % seeds.size()], random);
        sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&host),
               sizeof(host));
        if (i % 200 == 0) {
            ASSERT_TRUE(host_->Running()) << "after packet " << i << HostLog();
        }
    }
    close(fd);

    ASSERT_TRUE(host_->Running()) << HostLog();
    const ToolResult after =
        Snmp("snmpget", {"-v", "2c", "-c", "public", "%a", Oid(kRootA, ".1.5")});
    EXPECT_EQ(after.out, Oid(kRootA, ".1.5") + " = INTEGER: 1\n") << after.err;
    EXPECT_EQ(StopHost(), 0);
}

TEST_F(HostRobustnessTest, ConcurrentWalksDuringRebuildsSeeWholeTrees) {
    constexpr int kObjects = 300;
    AddCommunity("public", 4);
    AddTestAgent("agent", "root 1.3.6.1.4.1.99999.1\nobjects 300\nrebuild_ms 1\n");
    ASSERT_TRUE(StartHost()) << HostLog();

    std::vector<std::unique_ptr<ChildProcess>> walkers;
    for (int i = 0; i < 8; ++i) {
        walkers.push_back(std::make_unique<ChildProcess>());
        const std::string stem = temp_.File("walk" + std::to_string(i));
        const std::string tool = i % 2 == 0 ? "/usr/bin/snmpbulkwalk" : "/usr/bin/snmpwalk";
        ASSERT_TRUE(walkers.back()->Start({tool, "-m", "", "-On", "-t", "5", "-r", "1", "-v", "2c",
                                           "-c", "public", Address(), kRootA},
                                          stem + ".out", stem + ".err", {{"MIBS", ""}}));
    }
    // One GET of many objects is one query of the agent: its values are of one generation.
    std::vector<std::string> get = {"-v", "2c", "-c", "public", "%a"};
    for (int i = 1; i <= 20; ++i)
        get.push_back(Oid(kRootA, ".1." + std::to_string(i * 7)));
    for (int round = 0; round < 20; ++round) {
        const auto values = ParseWalk(Snmp("snmpget", get).out);
        ASSERT_EQ(values.size(), 20u);
        for (const auto& [name, value] : values)
            EXPECT_EQ(value, values[0].second) << name;
    }
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(walkers[i]->Wait(std::chrono::seconds(120)), 0) << "walker " << i;
        const auto walk = ParseWalk(ReadFile(temp_.File("walk" + std::to_string(i) + ".out")));
        ASSERT_EQ(walk.size(), static_cast<std::size_t>(kObjects + 1)) << "walker " << i;
        int generation = 0;
        for (int n = 0; n < kObjects; ++n) {
            EXPECT_EQ(walk[n].first, Oid(kRootA, ".1." + std::to_string(n + 1)));
            // Generations only grow: a walk never goes back to an older tree.
            EXPECT_GE(Integer(walk[n].second), generation) << walk[n].first;
            generation = Integer(walk[n].second);
        }
    }
    EXPECT_EQ(StopHost(), 0);
}

// With a list of permitted managers only those listed are answered.
TEST_F(HostRobustnessTest, OnlyPermittedManagersAreAnswered) {
    AddCommunity("public", 4);
    AddTestAgent("agent", "root 1.3.6.1.4.1.99999.1\nobjects 1\n");
    for (const char* manager : {"127.0.0.2", "127.0.0.1"}) {
        SCOPED_TRACE(manager);
        AddPermittedManager(manager);  // the list grows: the second round lists us
        ASSERT_TRUE(StartHost()) << HostLog();
        const ToolResult result = Snmp("snmpget", {"-v", "2c", "-c", "public", "-t", "0.5", "-r",
                                                   "0", "%a", Oid(kRootA, ".1.1")});
        EXPECT_EQ(result.exit_code == 0, std::string(manager) == "127.0.0.1") << result.err;
        EXPECT_EQ(StopHost(), 0);
    }
}

}  // namespace
}  // namespace cx::test
