// The host's logic as units: request mapping, access configuration and the command line.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "access_config.h"
#include "dispatch.h"
#include "options.h"

namespace cx::host {
namespace {

// The mapping of SNMP request batches onto SnmpExtensionQuery calls and back.
using namespace cx::snmp;  // the BER tags

const Oid kView = {1, 3, 6, 1, 4, 1, 99999, 1};

Oid In(std::initializer_list<std::uint32_t> tail) {
    Oid oid = kView;
    oid.insert(oid.end(), tail);
    return oid;
}

// Unknown names of a GET, refused SETs in each version and a plain walk are the host's
// interop tests'; these are the agent's odd answers.

// An agent whose answer is the test's script; it records the names of every call.
class ScriptedAgent : public QueryTarget {
  public:
    std::vector<std::vector<Oid>> calls;
    std::function<QueryOutcome(int, std::vector<Binding>&)> answer;
    std::function<Holding(const Oid&)> lookup = [](const Oid&) { return Holding::kUnknown; };

    QueryOutcome Query(int type, std::vector<Binding>& bindings) override {
        calls.emplace_back();
        for (const Binding& b : bindings)
            calls.back().push_back(b.name);
        return answer(type, bindings);
    }
    Holding Lookup(const Oid& name) override { return lookup(name); }
};

std::vector<AnswerKind> Kinds(const std::vector<Answer>& answers) {
    std::vector<AnswerKind> kinds;
    for (const Answer& a : answers)
        kinds.push_back(a.kind);
    return kinds;
}

TEST(DispatchGet, AgentFailureIsGenErrOrTheAgentsStatusAtTheBlamedBinding) {
    struct Case {
        QueryOutcome outcome;
        std::size_t blamed;
        long status;
    };
    for (const Case& c : {Case{{false, SNMP_ERRORSTATUS_NOERROR, 0}, 0, SNMP_ERRORSTATUS_GENERR},
                          Case{{false, SNMP_ERRORSTATUS_GENERR, 2}, 1, SNMP_ERRORSTATUS_GENERR},
                          Case{{true, SNMP_ERRORSTATUS_BADVALUE, 2}, 1, SNMP_ERRORSTATUS_BADVALUE},
                          Case{{true, SNMP_ERRORSTATUS_GENERR, 77}, 0, SNMP_ERRORSTATUS_GENERR}}) {
        ScriptedAgent agent;
        agent.answer = [&](int, std::vector<Binding>&) { return c.outcome; };
        const std::vector<Answer> answers = DispatchGet(agent, {In({1, 1}), In({1, 2})});
        EXPECT_EQ(answers[c.blamed].kind, AnswerKind::kError);
        EXPECT_EQ(answers[c.blamed].error_status, c.status);
        EXPECT_EQ(answers[1 - c.blamed].kind, AnswerKind::kUnanswered);
    }
}

// The framework's GET: values up to the first name it does not know, which fails the call (FALSE
// when it is the first). Names ending in an odd number are unknown, and those below In({9}) have
// no object type. An agent with a lookup is never handed an unknown name; one without it at most
// three bindings per name, whatever the mix.
TEST(DispatchGet, EveryMixOfUnknownNamesCostsAtMostThreeBindingsPerName) {
    struct Case {
        std::uint32_t count;
        std::uint32_t unknown_every;  // 0: none
        bool lookup;
    };
    for (const Case& c : {Case{2800, 0, true}, Case{2800, 1, true}, Case{2800, 1, false},
                          Case{1000, 2, false}, Case{1000, 10, true}}) {
        SCOPED_TRACE(std::to_string(c.count) + " names, unknown every " +
                     std::to_string(c.unknown_every) + (c.lookup ? ", lookup" : ""));
        std::vector<Oid> names;
        for (std::uint32_t i = 1; i <= c.count; ++i)
            names.push_back(In({i % 3 == 0 ? 9u : 1u,
                                2 * i + (c.unknown_every != 0 && i % c.unknown_every == 0)}));
        const auto unknown = [](const Oid& name) { return name.back() % 2 != 0; };
        const auto no_type = [](const Oid& name) { return name[kView.size()] == 9; };
        ScriptedAgent agent;
        agent.answer = [&](int, std::vector<Binding>& bindings) {
            for (std::size_t i = 0; i < bindings.size(); ++i) {
                if (!unknown(bindings[i].name)) continue;
                EXPECT_FALSE(c.lookup) << "an unknown name reached the agent";
                return QueryOutcome{i > 0, SNMP_ERRORSTATUS_NOSUCHNAME, static_cast<long>(i + 1)};
            }
            return QueryOutcome{true, SNMP_ERRORSTATUS_NOERROR, 0};
        };
        if (c.lookup) {
            agent.lookup = [&](const Oid& name) {
                if (!unknown(name)) return Holding::kInstance;
                return no_type(name) ? Holding::kNoObjectType : Holding::kNoInstance;
            };
        }
        const std::vector<Answer> answers = DispatchGet(agent, names);
        std::size_t handed = 0;
        for (const auto& call : agent.calls)
            handed += call.size();
        EXPECT_LE(handed, 3 * names.size());
        EXPECT_TRUE(agent.calls.size() <= 1 || (c.unknown_every != 0 && !c.lookup));
        for (std::size_t i = 0; i < names.size(); ++i) {
            AnswerKind expected = AnswerKind::kValue;
            if (unknown(names[i]))
                expected = c.lookup && no_type(names[i]) ? AnswerKind::kNoSuchObject
                                                         : AnswerKind::kNoSuchInstance;
            ASSERT_EQ(answers[i].kind, expected) << "name " << i;
        }
    }
}

TEST(DispatchGetNext, AnswersThatDoNotFollowTheRequestAreGenErr) {
    struct Case {
        const char* what;
        Oid answer;
        std::uint8_t type;
        AnswerKind kind;
    };
    const std::vector<Case> cases = {
        {"same name", In({1, 2}), kTagInteger, AnswerKind::kError},
        {"earlier name", In({1, 1}), kTagInteger, AnswerKind::kError},
        {"end of view exception", In({3}), kTagEndOfMibView, AnswerKind::kNextView},
        {"shorter than the view", {1, 3, 6}, kTagInteger, AnswerKind::kNextView},
    };
    for (const Case& c : cases) {
        ScriptedAgent agent;
        agent.answer = [&](int, std::vector<Binding>& bindings) {
            bindings[0].name = c.answer;
            bindings[0].type = c.type;
            return QueryOutcome{true, SNMP_ERRORSTATUS_NOERROR, 0};
        };
        const std::vector<Answer> answers = DispatchGetNext(agent, kView, {In({1, 2})});
        EXPECT_EQ(answers[0].kind, c.kind) << c.what;
        if (c.kind == AnswerKind::kError) {
            EXPECT_EQ(answers[0].error_status, SNMP_ERRORSTATUS_GENERR) << c.what;
        }
    }
}

TEST(DispatchGetNext, NoSuchNameSkipsThatBindingAndAsksForTheRest) {
    ScriptedAgent agent;
    int call = 0;
    agent.answer = [&](int, std::vector<Binding>& bindings) {
        if (call++ == 0) {
            bindings[0].name = In({1, 1});
            bindings[0].type = kTagInteger;
            return QueryOutcome{true, SNMP_ERRORSTATUS_NOSUCHNAME, 2};
        }
        bindings[0].name = In({2, 1});
        bindings[0].type = kTagInteger;
        return QueryOutcome{true, SNMP_ERRORSTATUS_NOERROR, 0};
    };
    const std::vector<Answer> answers = DispatchGetNext(agent, kView, {kView, In({1, 5}), In({2})});
    EXPECT_EQ(Kinds(answers), (std::vector<AnswerKind>{AnswerKind::kValue, AnswerKind::kNextView,
                                                       AnswerKind::kValue}));
    ASSERT_EQ(agent.calls.size(), 2u);
    EXPECT_EQ(agent.calls[1], (std::vector<Oid>{In({2})}));
}

TEST(DispatchSet, StatusesAreMappedForV2ManagersAndBlameTheRightBinding) {
    struct Case {
        QueryOutcome outcome;
        bool v2;
        long status;
        std::size_t failed;
    };
    const std::vector<Case> cases = {
        {{true, SNMP_ERRORSTATUS_READONLY, 2}, true, SNMP_ERRORSTATUS_NOTWRITABLE, 1},
        {{false, SNMP_ERRORSTATUS_NOSUCHNAME, 1}, true, SNMP_ERRORSTATUS_NOTWRITABLE, 0},
        {{true, SNMP_ERRORSTATUS_BADVALUE, 1}, true, SNMP_ERRORSTATUS_WRONGVALUE, 0},
        {{false, SNMP_ERRORSTATUS_NOERROR, 0}, true, SNMP_ERRORSTATUS_GENERR, 0},
        {{true, 12, 2}, true, 12, 1},  // a v2 status passes as it is
    };
    for (const Case& c : cases) {
        ScriptedAgent agent;
        agent.answer = [&](int type, std::vector<Binding>&) {
            EXPECT_EQ(type, SNMP_PDU_SET);
            return c.outcome;
        };
        std::vector<Binding> bindings(2);
        std::size_t failed = 99;
        EXPECT_EQ(DispatchSet(agent, bindings, c.v2, &failed), c.status);
        EXPECT_EQ(failed, c.failed);
        EXPECT_EQ(agent.calls.size(), 1u);
    }
}

// The net-snmp lines that carry communities, permitted managers and trap destinations.
TEST(AccessConfig, CommunityRightsAsOnWindowsForEveryPermittedManager) {
    HostConfig config;
    config.communities = {{"none", kRightsNone},         {"notify", kRightsNotify},
                          {"public", kRightsReadOnly},   {"private", kRightsReadWrite},
                          {"create", kRightsReadCreate}, {"odd", 3}};
    std::vector<std::string> rejected;
    EXPECT_EQ(
        AccessConfigLines(config, &rejected),
        (std::vector<std::string>{"rocommunity public default", "rocommunity6 public default",
                                  "rwcommunity private default", "rwcommunity6 private default",
                                  "rwcommunity create default", "rwcommunity6 create default"}));
    EXPECT_TRUE(rejected.empty());
    // Permitted managers restrict every community; an IPv6 one has the IPv6 directive.
    config.communities = {{"public", kRightsReadOnly}, {"private", kRightsReadWrite}};
    config.permitted_managers = {"10.0.0.1", "mgmt.example", "fd00::7"};
    EXPECT_EQ(AccessConfigLines(config, &rejected),
              (std::vector<std::string>{
                  "rocommunity public 10.0.0.1", "rocommunity public mgmt.example",
                  "rocommunity6 public fd00::7", "rwcommunity private 10.0.0.1",
                  "rwcommunity private mgmt.example", "rwcommunity6 private fd00::7"}));
}

TEST(AccessConfig, WhatTheParserCannotCarryIsRejectedNeverPassedOn) {
    HostConfig config;
    config.communities = {{"with blank", kRightsReadOnly},          {"quote\"", kRightsReadOnly},
                          {"new\nline", kRightsReadOnly},           {"", kRightsReadOnly},
                          {std::string(300, 'a'), kRightsReadOnly}, {"ok", kRightsReadOnly}};
    std::vector<std::string> rejected;
    EXPECT_EQ(AccessConfigLines(config, &rejected),
              (std::vector<std::string>{"rocommunity ok default", "rocommunity6 ok default"}));
    EXPECT_EQ(rejected.size(), 5u);
    // An unusable manager list answers nobody rather than everybody.
    config.communities = {{"public", kRightsReadOnly}};
    config.permitted_managers = {"bad manager"};
    rejected.clear();
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

// The command line of extagentd.
bool Parse(std::vector<const char*> args, HostOptions* options, std::string* error) {
    args.insert(args.begin(), "extagentd");
    return ParseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(Options, RefusedCommandLinesSayWhy) {
    struct Case {
        std::vector<const char*> args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"--listen", "127.0.0.1"}, "--listen needs ADDR:PORT"},
        {{"--listen", "127.0.0.1:0"}, "--listen needs ADDR:PORT"},
        {{"--listen", "127.0.0.1:70000"}, "--listen needs ADDR:PORT"},
        {{"--listen", ":161"}, "--listen needs ADDR:PORT"},
        {{"--listen"}, "--listen needs ADDR:PORT"},
        {{"--registry"}, "--registry needs a value"},
        {{"--bogus"}, "unknown argument: --bogus"},
        {{"--agentx", "--listen", "127.0.0.1:161"}, "--listen and --agentx exclude each other"},
    };
    for (const Case& c : cases) {
        HostOptions options;
        std::string error;
        EXPECT_FALSE(Parse(c.args, &options, &error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    // (Accepted command lines are those the host's integration tests start extagentd with.)
    HostOptions agentx;
    std::string error;
    ASSERT_TRUE(Parse({"--agentx", "--foreground"}, &agentx, &error));  // an option is no socket
    EXPECT_TRUE(agentx.agentx && agentx.foreground && agentx.agentx_socket.empty());
}

}  // namespace
}  // namespace cx::host
