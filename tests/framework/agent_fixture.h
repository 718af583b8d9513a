// The tests through the entry points: an in-process stand-in for the SNMP service, which loads
// an agent library, calls its entry points in the order and manner the service does and owns
// what the calls hand back; and the fixture: a registry file, a data root and a trace file of
// the test's own, the service with the test agent library, and readers for what the agent
// leaves in the registry and the trace.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/snmp.h"
#include "registry_values.h"
#include "switchd_process.h"
#include "temp_dir.h"
#include "test_agent_control.h"

namespace cx::test {

struct Trap {
    std::string enterprise;
    AsnInteger32 generic_trap = 0;
    AsnInteger32 specific_trap = 0;
};

class SnmpService {
  public:
    SnmpService() = default;
    ~SnmpService() { Unload(); }
    SnmpService(const SnmpService&) = delete;
    SnmpService& operator=(const SnmpService&) = delete;

    // dlopen and the entry points; false with the reason in error().
    bool Load(const std::string& library_path);
    // SnmpExtensionInit, then SnmpExtensionInitEx until it declines; the views land in views().
    BOOL Init(DWORD time_zero = 0);
    BOOL Query(BYTE request_type, SnmpVarBindList* list, AsnInteger32* error_status,
               AsnInteger32* error_index) {
        return Symbol<QueryFn>("SnmpExtensionQuery")(request_type, list, error_status, error_index);
    }
    // One SnmpExtensionTrap call; the outputs are kept in *trap when it returns TRUE.
    BOOL CallTrap(Trap* trap);
    // As the service: when the trap event is set, SnmpExtensionTrap until it returns FALSE.
    std::vector<Trap> PollTraps();
    void Close();
    void Unload();

    template <class Fn>
    Fn Symbol(const char* name) const {
        return reinterpret_cast<Fn>(library_ != nullptr ? dlsym(library_, name) : nullptr);
    }

    HANDLE trap_event() const { return trap_event_; }
    const std::vector<std::string>& views() const { return views_; }
    const std::string& error() const { return error_; }

  private:
    using QueryFn = BOOL (*)(BYTE, SnmpVarBindList*, AsnInteger32*, AsnInteger32*);

    void* library_ = nullptr;
    bool closed_ = false;
    HANDLE trap_event_ = nullptr;
    std::vector<std::string> views_;
    std::string error_;
};

// Dotted text of an OID, without a leading dot.
std::string OidText(const AsnObjectIdentifier& oid);
// A list of bindings with the OIDs of `oids` and NULL values (SnmpUtilMem memory).
SnmpVarBindList MakeBindings(const std::vector<std::string>& oids);

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

    std::string ReadString(const char* key, const char* value) const;
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

    // One request of one or more OIDs, each binding with the value `type`/`number` (NULL by
    // default); the answers stay in `list` until the next call.
    BOOL Request(BYTE type, const std::vector<std::string>& oids, BYTE value_type = ASN_NULL,
                 LONG number = 0);
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
