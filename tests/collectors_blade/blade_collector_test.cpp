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

// The shipped scenario with its management blade address answer replaced.
std::string BladeScenarioWith(const std::string& address_line) {
    std::string scenario = ShippedBladeScenario();
    const std::string line = "reply 0xE222 0 0 1 : hex 7F 00 00 02";
    const std::size_t at = scenario.find(line);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos) scenario.replace(at, line.size(), address_line);
    return scenario;
}

struct ComponentRow {
    DWORD number;
    const char* comp_type;
    const char* func_cont;
    const char* prod_descript;
    const char* version;
    const char* manu_date;
    const char* prod_number;
    const char* serial_no;
    const char* prod_name;
};

// The shipped walk: two management blades, then one switch blade, each followed by its firmware.
const ComponentRow kShippedRows[] = {
    {2, "31", "3", "ManagementBlade", "GS02", "2007-03-14", "CX-MMB-4001", "MB7A010234",
     "BX40 Management Blade"},
    {3, "161", "3", "ManagementBlade FW", "4.21A", "", "", "", "BX40 Management Blade"},
    {4, "31", "4", "ManagementBlade", "GS03", "2007-04-02", "CX-MMB-4001", "MB7A010297",
     "BX40 Management Blade"},
    {5, "161", "4", "ManagementBlade FW", "4.20", "", "", "", "BX40 Management Blade"},
    {6, "13", "5", "SwitchBlade", "GS01", "2007-05-02", "CX-SWB-1010", "SW7B004411",
     "BX40 GbE Switch Blade"},
    {7, "161", "5", "SwitchBlade FW", "3.1.0.12", "", "", "", "BX40 GbE Switch Blade"},
};

TEST_F(BladeTest, ShippedChassisGivesThreeBladesWithFirmware) {
    StartSwitch(ShippedBladeScenario());
    StartManagementBlade(ShippedBladeWalk());
    RunChkBlade();

    // One container per blade, all in the server chassis.
    EXPECT_EQ(Actual(kContainers, "NrContainer"), "5");
    for (DWORD row = 3; row <= 5; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(Actual(kContainers, "Name", row), "BladeSystem");
        EXPECT_EQ(Actual(kContainers, "Parent", row), "2");
        EXPECT_EQ(Actual(kContainers, "Type", row), "10");
    }

    EXPECT_EQ(Actual(kComponents, "NrComponents"), "7");
    for (const ComponentRow& row : kShippedRows) {
        SCOPED_TRACE(row.number);
        EXPECT_EQ(Actual(kComponents, "PhysCont", row.number), "2");
        EXPECT_EQ(Actual(kComponents, "FuncCont", row.number), row.func_cont);
        EXPECT_EQ(Actual(kComponents, "CompType", row.number), row.comp_type);
        EXPECT_EQ(Actual(kComponents, "Vendor", row.number), "Catalix");
        EXPECT_EQ(Actual(kComponents, "ProdName", row.number), row.prod_name);
        EXPECT_EQ(Actual(kComponents, "ProdNumber", row.number), row.prod_number);
        EXPECT_EQ(Actual(kComponents, "ProdDescript", row.number), row.prod_descript);
        EXPECT_EQ(Actual(kComponents, "ManuDate", row.number), row.manu_date);
        EXPECT_EQ(Actual(kComponents, "Version", row.number), row.version);
        EXPECT_EQ(Actual(kComponents, "SerialNo", row.number), row.serial_no);
    }

    // Firmware objects are numbered within each table and belong to the blade before them.
    EXPECT_EQ(Actual(kFirmware, "NrUpdObjects"), "3");
    EXPECT_EQ(Actual(kFirmware, "ObjectName", 1), "BladeSystem:ManagementBlade.0.IP127.0.0.2");
    EXPECT_EQ(Actual(kFirmware, "CompIndex", 1), "2");
    EXPECT_EQ(Actual(kFirmware, "ObjectName", 2), "BladeSystem:ManagementBlade.1.IP127.0.0.2");
    EXPECT_EQ(Actual(kFirmware, "CompIndex", 2), "4");
    EXPECT_EQ(Actual(kFirmware, "ObjectName", 3), "BladeSystem:SwitchBlade.0.IP192.168.40.21");
    EXPECT_EQ(Actual(kFirmware, "CompIndex", 3), "6");

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
struct AddressAnswerCase {
    const char* name;
    const char* answer_line;
};
void PrintTo(const AddressAnswerCase& c, std::ostream* out) { *out << c.name; }

class NoManagementBladeAddress : public BladeTest,
                                 public ::testing::WithParamInterface<AddressAnswerCase> {};

TEST_P(NoManagementBladeAddress, NothingAskedAndNothingWritten) {
    StartSwitch(BladeScenarioWith(GetParam().answer_line));
    StartManagementBlade(ShippedBladeWalk());
    RunChkBlade();
    EXPECT_EQ(Actual(kComponents, "NrComponents"), std::to_string(kComponentsBefore));
    EXPECT_EQ(Actual(kContainers, "NrContainer"), "2");
    EXPECT_EQ(Actual(kFirmware, "NrUpdObjects"), "");
    EXPECT_EQ(TraceCount("CX_MIB ChkBlade"), 0u);
    EXPECT_EQ(TraceCount("OpenSession"), 0u);
    EXPECT_EQ(RequestsAtManagementBlade(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, NoManagementBladeAddress,
    ::testing::Values(AddressAnswerCase{"NoAnswer", "# no answer"},
                      AddressAnswerCase{"ThreeBytes", "reply 0xE222 0 0 1 : hex 7F 00 00"},
                      AddressAnswerCase{"FiveBytes", "reply 0xE222 0 0 1 : hex 7F 00 00 02 00"},
                      AddressAnswerCase{"FailureStatus",
                                        "reply 0xE222 0 0 1 : status 3 hex 7F 00 00 02"}),
    [](const auto& info) { return std::string(info.param.name); });

// A management blade that lists no blade, or that cannot be reached at all: both tables end at
// once, the session is closed, the inventory has no blade.
struct EmptyBladeCase {
    const char* name;
    const char* answer_line;
    const char* walk;  // nullptr: no host at the address
};
void PrintTo(const EmptyBladeCase& c, std::ostream* out) { *out << c.name; }

class NoBladeListed : public BladeTest, public ::testing::WithParamInterface<EmptyBladeCase> {};

TEST_P(NoBladeListed, BothTablesEndAtOnce) {
    StartSwitch(BladeScenarioWith(GetParam().answer_line));
    if (GetParam().walk != nullptr) StartManagementBlade(GetParam().walk);
    RunChkBlade();
    EXPECT_EQ(Actual(kComponents, "NrComponents"), std::to_string(kComponentsBefore));
    EXPECT_EQ(Actual(kContainers, "NrContainer"), "2");
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     : NO !!! REQUESTS"), 2u);
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     :--> SNMP DISCONNECT"), 1u);
    EXPECT_EQ(TraceCount("ABORTED"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    ManagementBlades, NoBladeListed,
    ::testing::Values(EmptyBladeCase{"TablesAbsent", "reply 0xE222 0 0 1 : hex 7F 00 00 02",
                                     ".1.3.6.1.4.1.8265.1.1.1.9.1.0 = INTEGER: 1\n"},
                      // No datagram can be sent there, so every request fails at once.
                      EmptyBladeCase{"Unreachable", "reply 0xE222 0 0 1 : hex FF FF FF FF",
                                     nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// The address column of a switch blade: four octets or more give the address, anything else
// gives 0.0.0.0; the blade is recorded either way.
TEST_F(BladeTest, SwitchBladeAddressColumnForms) {
    struct AddressForm {
        const char* column;
        const char* address;
    };
    const AddressForm forms[] = {
        {"IpAddress: 10.0.0.31", "10.0.0.31"}, {"Hex-STRING: 0A 01 02 03 04 05", "10.1.2.3"},
        {"Hex-STRING: 0A 00 07", "0.0.0.0"},   {"\"\"", "0.0.0.0"},
        {"INTEGER: 167772161", "0.0.0.0"},
    };
    const std::string switch_table = ".1.3.6.1.4.1.8265.1.1.1.5.1.1.";
    std::string walk = ".1.3.6.1.4.1.8265.1.1.1.2.1.1.3.1 = STRING: \"Catalix\"\n";
    for (std::size_t i = 0; i < std::size(forms); ++i)
        walk += switch_table + "3." + std::to_string(i + 1) + " = STRING: \"Catalix\"\n";
    for (std::size_t i = 0; i < std::size(forms); ++i)
        walk += switch_table + "10." + std::to_string(i + 1) + " = " + forms[i].column + "\n";

    StartSwitch(std::string(kRights) + "reply 0xE222 0 0 1 : hex 7F 00 00 02\n" +
                "reply 0x0C00 0x0D06 * 1 : text \"2.0\"\n");
    StartManagementBlade(walk);
    RunChkBlade();

    ASSERT_EQ(Actual(kFirmware, "NrUpdObjects"), std::to_string(1 + std::size(forms)));
    for (std::size_t i = 0; i < std::size(forms); ++i) {
        SCOPED_TRACE(forms[i].column);
        EXPECT_EQ(Actual(kFirmware, "ObjectName", static_cast<DWORD>(i + 2)),
                  "BladeSystem:SwitchBlade." + std::to_string(i) + ".IP" + forms[i].address);
    }
}

// A signal that is already set lets the first management blade in and ends the collector there,
// with the session closed.
struct PresetSignalCase {
    const char* name;
    bool shutdown;
    const char* trace;
};
void PrintTo(const PresetSignalCase& c, std::ostream* out) { *out << c.name; }

class SignalBeforeWalk : public BladeTest,
                         public ::testing::WithParamInterface<PresetSignalCase> {};

TEST_P(SignalBeforeWalk, OneManagementBladeThenAborted) {
    StartSwitch(ShippedBladeScenario());
    StartManagementBlade(ShippedBladeWalk());
    if (GetParam().shutdown) {
        AgentShutdown = 1;
    } else {
        agent_->m_bAbortRequest = 1;
    }
    RunChkBlade();
    EXPECT_EQ(Actual(kComponents, "NrComponents"), std::to_string(kComponentsBefore + 2));
    EXPECT_EQ(Actual(kComponents, "CompType", 3), "161");
    EXPECT_EQ(TraceCount(GetParam().trace), 1u);
    EXPECT_EQ(TraceCount("ABORTED"), 1u);
    EXPECT_EQ(TraceCount("REQUESTS"), 0u);
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     :--> SNMP DISCONNECT"), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, SignalBeforeWalk,
    ::testing::Values(PresetSignalCase{"Shutdown", true,
                                       "\nCX_MIB ChkBlade     : ABORTED (AgentShutdown)"},
                      PresetSignalCase{"AbortRequest", false,
                                       "\nCX_MIB ChkBlade     : ABORTED (m_bAbortRequest)"}),
    [](const auto& info) { return std::string(info.param.name); });

// The agent stops while SWITCH is still thinking about a switch blade's firmware: the stop
// cancels the request, the firmware row is written without a version, and the collector ends.
TEST_F(BladeTest, ShutdownDuringSwitchBladeFirmwareRequest) {
    std::string scenario = ShippedBladeScenario();
    const std::string answer = ": text \"3.1.0.12\"";
    const std::size_t at = scenario.find(answer);
    ASSERT_NE(at, std::string::npos);
    scenario.replace(at, answer.size(), ": delay 60000 text \"3.1.0.12\"");
    StartSwitch(scenario);
    StartManagementBlade(ShippedBladeWalk());

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
    SetManagerPort(blade.Port());
    StartSwitch(std::string(kRights) + "reply 0xE222 0 0 1 : hex 7F 00 00 01\n");
    RunChkBlade();

    EXPECT_EQ(Actual(kComponents, "NrComponents"), std::to_string(kComponentsBefore + 4));
    EXPECT_EQ(Actual(kFirmware, "ObjectName", 2), "BladeSystem:SwitchBlade.0.IP10.0.0.5");
    EXPECT_EQ(TraceCount("does not follow the row before"), 2u);
    EXPECT_EQ(TraceCount("\nCX_MIB ChkBlade     : NO MORE REQUESTS"), 2u);
}

}  // namespace
}  // namespace cx::test
