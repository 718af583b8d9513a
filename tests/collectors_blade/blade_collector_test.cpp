// ChkBlade: the blades of the chassis as the management blade lists them, the SWITCH answers that
// keep it from asking, management blades that cannot be walked, and shutdown or abort on the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "blade_fixture.h"
#include "fake_agent.h"
#include "framework/agent_globals.h"

namespace cx::test {
namespace {

constexpr const char* kComponents = "Component Table";
constexpr const char* kContainers = "Functional Container";
constexpr const char* kFirmware = "Firmware Update";

// The rights check of the management blade's own host, so that it builds its MIB.
constexpr const char* kRights =
    "reply 0xE001 0x3811 0 * : byte 1\n"
    "reply 0xE001 0x3810 0 * : byte 0\n"
    "reply 0xE001 0x3812 0 * : byte 0\n";

// The shipped scenario with one of its texts replaced.
std::string BladeScenarioWith(const std::string& text, const std::string& replacement) {
    std::string scenario = ReadFile(CX_BLADE_SCENARIO);
    const std::size_t at = scenario.find(text);
    EXPECT_NE(at, std::string::npos) << text;
    return at == std::string::npos ? scenario : scenario.replace(at, text.size(), replacement);
}
// ... its management blade address answer.
std::string BladeScenarioWith(const std::string& address_line) {
    return BladeScenarioWith("reply 0xE222 0 0 1 : hex 7F 00 00 02", address_line);
}

// The shipped walk: two management blades, then one switch blade, each followed by its firmware.
// Row: CompType, FuncCont, ProdDescript, Version, ManuDate, ProdNumber, SerialNo, ProdName.
const char* const kShippedRows[] = {
    "31|3|ManagementBlade|GS02|2007-03-14|CX-MMB-4001|MB7A010234|BX40 Management Blade",
    "161|3|ManagementBlade FW|4.21A||||BX40 Management Blade",
    "31|4|ManagementBlade|GS03|2007-04-02|CX-MMB-4001|MB7A010297|BX40 Management Blade",
    "161|4|ManagementBlade FW|4.20||||BX40 Management Blade",
    "13|5|SwitchBlade|GS01|2007-05-02|CX-SWB-1010|SW7B004411|BX40 GbE Switch Blade",
    "161|5|SwitchBlade FW|3.1.0.12||||BX40 GbE Switch Blade",
};

TEST_F(BladeTest, ShippedChassisGivesThreeBladesWithFirmware) {
    StartSwitch(ReadFile(CX_BLADE_SCENARIO), true);
    StartManagementBlade(ReadFile(CX_BLADE_WALK));
    RunChkBlade();

    // One container per blade, all in the server chassis.
    EXPECT_EQ(Actual(kContainers, "NrContainer"), "5");
    for (DWORD row = 3; row <= 5; ++row)
        EXPECT_EQ(Actual(kContainers, "Name", row) + " " + Actual(kContainers, "Parent", row) +
                      " " + Actual(kContainers, "Type", row),
                  "BladeSystem 2 10");

    EXPECT_EQ(Actual(kComponents, "NrComponents"), "7");
    for (DWORD row = 2; row <= 7; ++row) {
        EXPECT_EQ(Fields(row, {"CompType", "FuncCont", "ProdDescript", "Version", "ManuDate",
                               "ProdNumber", "SerialNo", "ProdName", "PhysCont", "Vendor"}),
                  kShippedRows[row - 2] + std::string("|2|Catalix"));
    }

    // Firmware objects are numbered within each table and belong to the blade before them.
    const std::vector<std::string> objects = {"BladeSystem:ManagementBlade.0.IP127.0.0.2",
                                              "BladeSystem:ManagementBlade.1.IP127.0.0.2",
                                              "BladeSystem:SwitchBlade.0.IP192.168.40.21"};
    EXPECT_EQ(Objects(), objects);
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_EQ(ObjectComponent(objects[i]), 2 + 2 * i) << objects[i];

    EXPECT_EQ(TraceCount("\n  Management Blade IP-Address 127.0.0.2"), 1u);
    EXPECT_EQ(TraceCount("\n  Switch Blade IP-Address 192.168.40.21"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     : REQUEST 1"), 2u);
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     : REQUEST 2"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     : NO MORE REQUESTS"), 2u);
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     :--> SNMP DISCONNECT"), 1u);
    EXPECT_EQ(TraceCount("ABORTED"), 0u);
    EXPECT_GT(RequestsAtManagementBlade(), 0u);
}

// Only an answer of exactly four bytes with a success status is an address; anything else ends
// the collector before any session, quietly.
class NoManagementBladeAddress : public BladeTest,
                                 public ::testing::WithParamInterface<const char*> {};

TEST_P(NoManagementBladeAddress, NothingAskedAndNothingWritten) {
    StartSwitch(BladeScenarioWith(GetParam()), true);
    StartManagementBlade(ReadFile(CX_BLADE_WALK));
    RunChkBlade();
    EXPECT_EQ(Actual(kComponents, "NrComponents"), std::to_string(kComponentsBefore));
    EXPECT_EQ(Actual(kContainers, "NrContainer"), "2");
    EXPECT_EQ(Actual(kFirmware, "NrUpdObjects"), "");
    EXPECT_EQ(TraceCount("CX_MIB ChkBlade"), 0u);
    EXPECT_EQ(TraceCount("OpenSession"), 0u);
    EXPECT_EQ(RequestsAtManagementBlade(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Answers, NoManagementBladeAddress,
                         ::testing::Values("# no answer", "reply 0xE222 0 0 1 : hex 7F 00 00",
                                           "reply 0xE222 0 0 1 : hex 7F 00 00 02 00",
                                           "reply 0xE222 0 0 1 : status 3 hex 7F 00 00 02"));

// A management blade that lists no blade, or that cannot be reached at all: both tables end at
// once, the session is closed, the inventory has no blade.
// Param: the address answer, and the walk (nullptr: no host at the address).
class NoBladeListed : public BladeTest,
                      public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(NoBladeListed, BothTablesEndAtOnce) {
    StartSwitch(BladeScenarioWith(GetParam().first), true);
    if (GetParam().second != nullptr) StartManagementBlade(GetParam().second);
    RunChkBlade();
    EXPECT_EQ(Actual(kComponents, "NrComponents"), std::to_string(kComponentsBefore));
    EXPECT_EQ(Actual(kContainers, "NrContainer"), "2");
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     : NO !!! REQUESTS"), 2u);
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     :--> SNMP DISCONNECT"), 1u);
    EXPECT_EQ(TraceCount("ABORTED"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    ManagementBlades, NoBladeListed,
    ::testing::Values(std::pair{"reply 0xE222 0 0 1 : hex 7F 00 00 02",
                                ".1.3.6.1.4.1.8265.1.1.1.9.1.0 = INTEGER: 1\n"},
                      // No datagram can be sent there, so every request fails at once.
                      std::pair{"reply 0xE222 0 0 1 : hex FF FF FF FF", nullptr}));

// The address column of a switch blade: four octets or more give the address, anything else
// gives 0.0.0.0; the blade is recorded either way.
TEST_F(BladeTest, SwitchBladeAddressColumnForms) {
    // The column as walk text, the address.
    const std::pair<const char*, const char*> forms[] = {
        {"IpAddress: 10.0.0.31", "10.0.0.31"}, {"Hex-STRING: 0A 01 02 03 04 05", "10.1.2.3"},
        {"Hex-STRING: 0A 00 07", "0.0.0.0"},   {"\"\"", "0.0.0.0"},
        {"INTEGER: 167772161", "0.0.0.0"},
    };
    const std::string switch_table = ".1.3.6.1.4.1.8265.1.1.1.5.1.1.";
    std::string walk = ".1.3.6.1.4.1.8265.1.1.1.2.1.1.3.1 = STRING: \"Catalix\"\n";
    for (std::size_t i = 0; i < std::size(forms); ++i)
        walk += switch_table + "3." + std::to_string(i + 1) + " = STRING: \"Catalix\"\n";
    for (std::size_t i = 0; i < std::size(forms); ++i)
        walk += switch_table + "10." + std::to_string(i + 1) + " = " + forms[i].first + "\n";

    StartSwitch(std::string(kRights) + "reply 0xE222 0 0 1 : hex 7F 00 00 02\n" +
                    "reply 0x0C00 0x0D06 * 1 : text \"2.0\"\n",
                true);
    StartManagementBlade(walk);
    RunChkBlade();

    ASSERT_EQ(Actual(kFirmware, "NrUpdObjects"), std::to_string(1 + std::size(forms)));
    for (std::size_t i = 0; i < std::size(forms); ++i) {
        SCOPED_TRACE(forms[i].first);
        EXPECT_EQ(Actual(kFirmware, "ObjectName", static_cast<DWORD>(i + 2)),
                  "BladeSystem:SwitchBlade." + std::to_string(i) + ".IP" + forms[i].second);
    }
}

// A signal that is already set lets the first management blade in and ends the collector there,
// with the session closed.
// Param: AgentShutdown, else the agent's m_bAbortRequest.
class SignalBeforeWalk : public BladeTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SignalBeforeWalk, OneManagementBladeThenAborted) {
    StartSwitch(ReadFile(CX_BLADE_SCENARIO), true);
    StartManagementBlade(ReadFile(CX_BLADE_WALK));
    (GetParam() ? AgentShutdown : agent_->m_bAbortRequest) = 1;
    RunChkBlade();
    EXPECT_EQ(Actual(kComponents, "NrComponents"), std::to_string(kComponentsBefore + 2));
    EXPECT_EQ(Actual(kComponents, "CompType", 3), "161");
    EXPECT_EQ(TraceCount(GetParam() ? "\nCX_MIB ChkBlade     : ABORTED (AgentShutdown)"
                                    : "\nCX_MIB ChkBlade     : ABORTED (m_bAbortRequest)"),
              1u);
    EXPECT_EQ(TraceCount("ABORTED"), 1u);
    EXPECT_EQ(TraceCount("REQUESTS"), 0u);
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     :--> SNMP DISCONNECT"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalBeforeWalk, ::testing::Bool());

// The agent stops while SWITCH is still thinking about a switch blade's firmware: the stop
// cancels the request, the firmware row is written without a version, and the collector ends.
TEST_F(BladeTest, ShutdownDuringSwitchBladeFirmwareRequest) {
    StartSwitch(BladeScenarioWith(": text \"3.1.0.12\"", ": delay 60000 text \"3.1.0.12\""), true);
    StartManagementBlade(ReadFile(CX_BLADE_WALK));

    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        const bool asked = WaitUntil(
            [&] {
                for (const std::string& line : switchd_->JournalLines())
                    if (line.find("ext=0x0D06") != std::string::npos) return true;
                return false;
            },
            std::chrono::seconds(30));
        AgentShutdown = 1;
        agent_->m_SwitchClient.CancelRequest(0);
        stopped = asked;
    });
    RunChkBlade();
    stopper.join();

    ASSERT_TRUE(stopped);
    EXPECT_EQ(Actual(kComponents, "NrComponents"), "7");
    EXPECT_EQ(Actual(kComponents, "ProdDescript", 7), "SwitchBlade FW");
    EXPECT_EQ(Actual(kComponents, "Version", 7), "N/A");
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     : ABORTED (AgentShutdown)"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     : NO MORE REQUESTS"), 1u);
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     :--> SNMP DISCONNECT"), 1u);
}

// A management blade that answers every step of a walk with the row it was asked from would
// keep the collector writing the same blade for ever; each table ends after its first row.
TEST_F(BladeTest, RowThatDoesNotAdvanceEndsTheTable) {
    FakeAgent blade;
    blade.SetHandler([](const SnmpRequest& request) {
        std::vector<AnswerBinding> bindings;
        for (const BerOid& name : request.names) {
            // 1.3.6.1.4.1.8265.1.1.1.T.1.1.C: the column; every answer is its row 1.
            BerOid row(name.begin(), name.begin() + std::min<std::size_t>(name.size(), 14));
            row.push_back(1);
            const bool address = row.size() == 15 && row[10] == 5 && row[13] == 10;
            bindings.push_back({row, address ? BerOctets(0x40, std::string("\x0A\0\0\x05", 4))
                                             : BerOctets(0x04, "Catalix")});
        }
        return std::vector<std::string>{EncodeResponse(request, 0, 0, bindings)};
    });
    ManagerPort(blade.Port());
    StartSwitch(std::string(kRights) + "reply 0xE222 0 0 1 : hex 7F 00 00 01\n", true);
    RunChkBlade();

    EXPECT_EQ(Actual(kComponents, "NrComponents"), std::to_string(kComponentsBefore + 4));
    EXPECT_EQ(Actual(kFirmware, "ObjectName", 2), "BladeSystem:SwitchBlade.0.IP10.0.0.5");
    EXPECT_EQ(TraceCount("does not follow the row before"), 2u);
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     : NO MORE REQUESTS"), 2u);
}

}  // namespace
}  // namespace cx::test
