// The MIB tree's callbacks: modes and order, failures, exceptions, and callbacks that change
// the tree under the dispatch.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "test_agent.h"

namespace {

using cx::test::RequestBinding;

constexpr const char* kScalar = "1.3.6.1.4.1.7391.2.10.2.10.7.1.0";
constexpr const char* kAfter = "1.3.6.1.4.1.7391.2.10.2.10.7.2.0";

// An agent whose callbacks are its own member functions and record how they were called.
class CallbackAgent : public CSnmpMibTree<CallbackAgent> {
  public:
    AsnInteger32 PreGet(SnmpVarBind* binding, UINT mode) { return Record("pre", binding, mode); }
    AsnInteger32 Get(SnmpVarBind* binding, UINT mode) {
        SetVarBindValue(binding, 42, ASN_GAUGE32);
        return Record("get", binding, mode);
    }
    AsnInteger32 CheckSet(SnmpVarBind* binding, UINT mode) {
        return Record("check", binding, mode);
    }
    AsnInteger32 Set(SnmpVarBind* binding, UINT mode) { return Record("set", binding, mode); }
    AsnInteger32 Throw(SnmpVarBind*, UINT) { throw std::runtime_error("callback failed"); }

    void Register(BYTE access) {
        SnmpVarBind binding = MakeConstBinding(kScalar);
        SetVarBindValue(&binding, 7, ASN_INTEGER);
        SetMibEntry(&binding, "scalar", access, &CallbackAgent::Get, &CallbackAgent::Set,
                    &CallbackAgent::CheckSet, &CallbackAgent::PreGet);
        SnmpUtilVarBindFree(&binding);
        AddConstMibEntry(kAfter, "after", 8, ASN_INTEGER, 0);
    }

    std::vector<std::string> calls;
    AsnInteger32 answer = SNMP_ERRORSTATUS_NOERROR;

  private:
    AsnInteger32 Record(const char* what, const SnmpVarBind* binding, UINT mode) {
        calls.push_back(std::string(what) + ":" + std::to_string(mode) + ":" +
                        OidToString(&binding->name, 0));
        return answer;
    }
};

std::string At(const char* what, UINT mode) {
    return std::string(what) + ":" + std::to_string(mode) + ":" + kScalar;
}

TEST(MibCallbacks, GetRunsPreGetThenGetOnACopyUnlessPreGetFails) {
    CallbackAgent agent;
    agent.Register(0);
    for (BYTE type : {BYTE{SNMP_PDU_GET}, BYTE{SNMP_PDU_GETNEXT}}) {
        agent.calls.clear();
        RequestBinding request(type == SNMP_PDU_GET ? kScalar : "1.3.6.1.4.1.7391.2.10.2.10.7");
        AsnInteger32 status = -1;
        ASSERT_TRUE(agent.MibGetVarbind(&request.binding, type, &status, nullptr));
        EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
        EXPECT_EQ(agent.calls, (std::vector<std::string>{At("pre", 3), At("get", 0)}));
        EXPECT_EQ(request.binding.value.asnType, ASN_GAUGE32);
        EXPECT_EQ(request.binding.value.asnValue.unsigned32, 42u);
    }
    // A failed PreGetCallback skips GetCallback and still answers the entry.
    agent.calls.clear();
    agent.answer = SNMP_ERRORSTATUS_GENERR;
    RequestBinding request("1.3.6.1.4.1.7391.2.10.2.10.7");
    AsnInteger32 status = -1;
    ASSERT_TRUE(agent.MibGetVarbind(&request.binding, SNMP_PDU_GETNEXT, &status, nullptr));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);
    EXPECT_EQ(agent.calls, (std::vector<std::string>{At("pre", 3)}));
    // The binding holds the failed entry, so that a retried GETNEXT goes on after it.
    EXPECT_EQ(request.Oid(), kScalar);
    ASSERT_TRUE(agent.MibGetVarbind(&request.binding, SNMP_PDU_GETNEXT, &status, nullptr));
    EXPECT_EQ(request.Oid(), kAfter);
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
}

// Both SET phases call their callbacks with the request; only a SetCallback that answers 0
// lets the request's value become the stored one.
TEST(MibCallbacks, SetPhasesCallTheirCallbacksAndASuccessfulSetStores) {
    CallbackAgent agent;
    SnmpVarBind binding = MakeConstBinding(kScalar);
    SetVarBindValue(&binding, 7, ASN_INTEGER);
    agent.SetMibEntry(&binding, "scalar", kMibAccessReadWrite, {}, &CallbackAgent::Set,
                      &CallbackAgent::CheckSet);
    SnmpUtilVarBindFree(&binding);
    RequestBinding request(kScalar);
    RequestBinding get(kScalar);
    AsnInteger32 status = -1;
    for (AsnInteger32 answer : {SNMP_ERRORSTATUS_NOERROR, SNMP_ERRORSTATUS_BADVALUE}) {
        agent.calls.clear();
        agent.answer = answer;
        SetVarBindValue(&request.binding, 11 + answer, ASN_INTEGER);
        EXPECT_TRUE(agent.MibCheckSetVarbind(&request.binding, &status, nullptr));
        EXPECT_EQ(status, answer);
        EXPECT_TRUE(agent.MibSetVarbind(&request.binding, &status));
        EXPECT_EQ(status, answer);
        EXPECT_EQ(agent.calls, (std::vector<std::string>{At("check", 2), At("set", 1)}));
        ASSERT_TRUE(agent.MibGetVarbind(&get.binding, SNMP_PDU_GET, nullptr, nullptr));
        EXPECT_EQ(get.binding.value.asnValue.number, 11);  // a refused SET keeps the old value
    }
}

TEST(MibCallbacks, ThrowingCallbackGivesGenericErrorAndOneThatEmptiesTheTreeIsSafe) {
    CallbackAgent agent;
    SnmpVarBind binding = MakeConstBinding(kScalar);
    agent.SetMibEntry(&binding, "thrower", kMibAccessReadWrite, &CallbackAgent::Throw,
                      &CallbackAgent::Throw, &CallbackAgent::Throw);
    SnmpUtilVarBindFree(&binding);
    RequestBinding request(kScalar);
    AsnInteger32 status = -1;
    EXPECT_TRUE(agent.MibGetVarbind(&request.binding, SNMP_PDU_GET, &status, nullptr));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);
    EXPECT_TRUE(agent.MibCheckSetVarbind(&request.binding, &status, nullptr));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);
    EXPECT_TRUE(agent.MibSetVarbind(&request.binding, &status));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);

    // A callback that empties the tree under the dispatch is safe.
    auto wipe = [](CallbackAgent& self, SnmpVarBind*, UINT) -> AsnInteger32 {
        self.DeleteMib();
        return SNMP_ERRORSTATUS_NOERROR;
    };
    binding = MakeConstBinding(kScalar);
    SetVarBindValue(&binding, 7, ASN_INTEGER);
    agent.SetMibEntry(&binding, "wiper", kMibAccessReadWrite, wipe, wipe, wipe, wipe);
    EXPECT_TRUE(agent.MibGetVarbind(&request.binding, SNMP_PDU_GET, &status, nullptr));
    EXPECT_EQ(request.binding.value.asnValue.number, 7);

    agent.SetMibEntry(&binding, "wiper", kMibAccessReadWrite, wipe, wipe, wipe, wipe);
    EXPECT_TRUE(agent.MibSetVarbind(&request.binding, &status));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
    EXPECT_EQ(agent.MibEntryCount(), 0u);
    SnmpUtilVarBindFree(&binding);
}

}  // namespace
