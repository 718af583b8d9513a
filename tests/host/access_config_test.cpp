// The net-snmp lines that carry communities, permitted managers and trap destinations.
#include "access_config.h"

#include <gtest/gtest.h>

namespace cx::host {
namespace {

TEST(AccessConfig, CommunityRightsAsOnWindows) {
    HostConfig config;
    config.communities = {{"none", kRightsNone},         {"notify", kRightsNotify},
                          {"public", kRightsReadOnly},   {"private", kRightsReadWrite},
                          {"create", kRightsReadCreate}, {"odd", 3}};
    std::vector<std::string> rejected;
    EXPECT_EQ(AccessConfigLines(config, &rejected),
              (std::vector<std::string>{"rocommunity public default", "rwcommunity private default",
                                        "rwcommunity create default"}));
    EXPECT_TRUE(rejected.empty());
}

TEST(AccessConfig, PermittedManagersRestrictEveryCommunity) {
    HostConfig config;
    config.communities = {{"public", kRightsReadOnly}, {"private", kRightsReadWrite}};
    config.permitted_managers = {"10.0.0.1", "mgmt.example"};
    std::vector<std::string> rejected;
    EXPECT_EQ(AccessConfigLines(config, &rejected),
              (std::vector<std::string>{
                  "rocommunity public 10.0.0.1", "rocommunity public mgmt.example",
                  "rwcommunity private 10.0.0.1", "rwcommunity private mgmt.example"}));
}

TEST(AccessConfig, NamesTheParserCannotCarryAreRejectedNeverPassedOn) {
    HostConfig config;
    config.communities = {{"with blank", kRightsReadOnly},          {"quote\"", kRightsReadOnly},
                          {"new\nline", kRightsReadOnly},           {"", kRightsReadOnly},
                          {std::string(300, 'a'), kRightsReadOnly}, {"ok", kRightsReadOnly}};
    std::vector<std::string> rejected;
    EXPECT_EQ(AccessConfigLines(config, &rejected),
              (std::vector<std::string>{"rocommunity ok default"}));
    EXPECT_EQ(rejected.size(), 5u);
}

TEST(AccessConfig, UnusableManagerListAnswersNobodyRatherThanEverybody) {
    HostConfig config;
    config.communities = {{"public", kRightsReadOnly}};
    config.permitted_managers = {"bad manager"};
    std::vector<std::string> rejected;
    EXPECT_TRUE(AccessConfigLines(config, &rejected).empty());
    EXPECT_EQ(rejected, (std::vector<std::string>{"permitted manager \"bad manager\""}));
}

TEST(AccessConfig, TrapDestinationsInTheirVersionWithOptionalPort) {
    HostConfig config;
    config.trap_destinations = {{"public", "10.0.0.9", false},
                                {"public", "127.0.0.1:16200", true},
                                {"traps", "bad host:1", false},
                                {"bad community", "10.0.0.9", false}};
    std::vector<std::string> rejected;
    EXPECT_EQ(
        AccessConfigLines(config, &rejected),
        (std::vector<std::string>{"trapsink 10.0.0.9 public", "trap2sink 127.0.0.1:16200 public"}));
    EXPECT_EQ(rejected.size(), 2u);
}

}  // namespace
}  // namespace cx::host
