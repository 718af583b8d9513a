// The fixture of the tests through the entry points: a registry file, a data root and a trace
// file of the test's own, the in-process service with the test agent library, and readers for
// what the agent leaves in the registry and the trace.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "child_process.h"
#include "registry_values.h"
#include "snmp_service.h"
#include "switchd_process.h"
#include "temp_dir.h"
#include "test_agent_control.h"

namespace cx::test {

constexpr const char* kAgentName = "CX_FWTEST";
constexpr const char* kCommonRoot = "SOFTWARE\\Arvenmark";
constexpr const char* kAgentRoot = "SOFTWARE\\Arvenmark\\CX_FWTEST";
constexpr const char* kVolatileKey =
    "SOFTWARE\\Arvenmark\\CX_FWTEST\\Parameters\\VolatileParameters";
// The three rights requests answered with 1, 0 and 1.
constexpr const char* kRightsScenario =
    "reply 0xE001 0x3811 * * : byte 1\n"
    "reply 0xE001 0x3810 * * : byte 0\n"
    "reply 0xE001 0x3812 * * : byte 1\n";

class AgentTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts cx-switchd with `scenario` and registers it, so that the agent's attach succeeds.
    void StartSwitch(const std::string& scenario = kRightsScenario);
    // Load and SnmpExtensionInit; with `wait_started`, until "#Status" reads "started".
    void LoadAndInit(bool wait_started = true);

    std::optional<std::string> ReadString(const char* key, const char* value) const;
    std::optional<DWORD> ReadDword(const char* key, const char* value) const;
    bool KeyExists(const char* key) const;
    std::string RunState() const;
    std::string TraceText() const;
    std::size_t TraceCount(const std::string& text) const;
    bool WaitForRunState(const std::string& state) {
        return WaitUntil([&] { return RunState() == state; });
    }
    bool WaitForTrace(const std::string& text) {
        return WaitUntil([&] { return TraceCount(text) > 0; });
    }

    // One request of one or more OIDs; the answers stay in `list` until the next call.
    BOOL Request(BYTE type, const std::vector<std::string>& oids);
    std::string AnswerOid(UINT i) const { return OidText(list_.list[i].name); }
    const AsnAny& AnswerValue(UINT i) const { return list_.list[i].value; }

    TempDir dir_;
    std::unique_ptr<SwitchdProcess> switchd_;
    SnmpService service_;
    SnmpVarBindList list_{};
    AsnInteger32 status_ = -1;
    AsnInteger32 index_ = -1;
};

}  // namespace cx::test
