// What the host hands net-snmp, as units: listen addresses, request limits and the
// administrator's --config file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "config_file.h"
#include "listen_endpoints.h"
#include "request_limits.h"
#include "temp_dir.h"

namespace cx::host {
namespace {

using Texts = std::vector<std::string>;

// Listen addresses of the registry and the command line; only a community answered beyond this
// machine to every manager is warned about, and the warning does not carry the community.
TEST(Listen, AddressesEndpointsAndExposure) {
    Texts rejected;
    EXPECT_EQ(
        SplitListenAddresses(" 10.0.0.1 , [fe80::1]\th.example,, bad/address [::1", &rejected),
        (Texts{"10.0.0.1", "fe80::1", "h.example"}));
    EXPECT_EQ(rejected, (Texts{"bad/address", "[::1"}));
    for (const auto& [text, transport] :
         std::vector<std::pair<const char*, const char*>>{{"127.0.0.1:161", "udp:127.0.0.1:161"},
                                                          {"[::1]:1161", "udp6:[::1]:1161"},
                                                          {"::1:1161", "udp6:[::1]:1161"},
                                                          {"localhost:5", "udp:localhost:5"},
                                                          {"127.0.0.1", ""},
                                                          {"[::1]", ""},
                                                          {"a b:161", ""},
                                                          {"127.0.0.1:0", ""}}) {
        const auto endpoint = ParseEndpoint(text);
        EXPECT_EQ(endpoint ? TransportText(*endpoint) : "", transport) << text;
    }
    HostConfig config;
    config.communities = {{"secret", kRightsReadOnly}};
    const std::vector<Endpoint> open = {{"127.0.0.1", 161}, {"0.0.0.0", 161}};
    EXPECT_EQ(ExposureWarning(config, {{"127.9.8.7", 161}, {"::1", 161}, {"localhost", 1}}), "");
    const std::string warning = ExposureWarning(config, open);
    EXPECT_NE(warning.find("udp:0.0.0.0:161 from any manager"), std::string::npos) << warning;
    EXPECT_EQ(warning.find("secret"), std::string::npos) << warning;
    config.permitted_managers = {"192.0.2.10"};
    EXPECT_EQ(ExposureWarning(config, open), "");
}

// The GETBULK shapes the host's tests cannot send with net-snmp's tools; every answer holds 50
// bindings at most.
TEST(RequestLimits, GetBulkAnswersStayWithinTheBounds) {
    struct Case {
        long non_repeaters, max_repetitions;
        std::size_t bindings;
        BulkShape shape;
    };
    for (const Case& c : std::vector<Case>{{-5, -1, 2, {0, 0, 2}},       // negative: 0
                                           {70, 10, 60, {50, 0, 50}},    // more than there are
                                           {1, 10, 100, {1, 1, 50}}}) {  // not one row fits
        const BulkShape shape = BoundBulk(c.non_repeaters, c.max_repetitions, c.bindings, {});
        EXPECT_EQ(shape.non_repeaters, c.shape.non_repeaters) << c.bindings;
        EXPECT_EQ(shape.max_repetitions, c.shape.max_repetitions) << c.bindings;
        EXPECT_EQ(shape.keep, c.shape.keep) << c.bindings;
    }
}

// A --config file every user may read must not hold pass phrases.
TEST(ConfigFile, WorldReadablePassPhrasesAreRefused) {
    struct Case {
        const char* text;
        mode_t mode;
        bool refused;
    };
    cx::test::TempDir dir;
    const std::string path = dir.File("snmp.conf");
    for (const Case& c : std::vector<Case>{{"  [snmp] CREATEUSER a SHA \"a b\"\n", 0604, true},
                                           {"createUser a SHA \"a b\"\n", 0640, false},
                                           {"rouser a priv\n# createUser later\n", 0644, false}}) {
        cx::test::WriteFile(path, c.text);
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        EXPECT_EQ(ConfigFileProblem(path).find("chmod o-rwx") != std::string::npos, c.refused)
            << c.text;
    }
    EXPECT_EQ(ConfigFileProblem(dir.File("missing")),
              "cannot read the configuration file " + dir.File("missing"));
}

}  // namespace
}  // namespace cx::host
