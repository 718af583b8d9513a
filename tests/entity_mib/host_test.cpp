// ENTITY_MIB in the real host: net-snmp's snmptable prints the table of a saved inventory with
// our module, a changed inventory moves entLastChangeTime and sends one entConfigChange to a
// real snmptrapd, and the indexes survive a restart without the inventory.
#include <gtest/gtest.h>

#include <filesystem>

#include "host_fixture.h"
#include "registry_values.h"
#include "scoped_env.h"
#include "test_data.h"
#include "trace_capture.h"

namespace cx::test {
namespace {

// A server cabinet in a computer, with a processor and a power supply.
const std::string kSaved = TestData("server.sav");

constexpr char kChangeTime[] = ".1.3.6.1.2.1.47.1.4.1.0";

using EntityHost = HostFixture;

TEST_F(EntityHost, ServesTheInventoryFollowsItsChangesAndKeepsIndexes) {
    const std::string data = temp_.File("data");
    std::filesystem::create_directories(data);
    WriteFile(data + "/Catalix.sav", kSaved);
    SetRegString("SOFTWARE\\Arvenmark\\#Setup", "DataRoot", data);
    SetRegDword("SOFTWARE\\Arvenmark\\ENTITY_MIB\\Parameters", "ConfigChangeTraps", 1);

    const std::string trap_log = temp_.File("traps.log");
    ChildProcess trapd;
    const int trap_port = StartTrapReceiver(trapd, trap_log);
    ASSERT_NE(trap_port, 0);

    AddCommunity("public", 4);
    AddTrapDestination("public", "v2c:127.0.0.1:" + std::to_string(trap_port));
    AddAgentLibrary("ENTITY_MIB", CX_ENTITY_AGENT_PATH);
    ScopedEnv fast("CX_TIME_SCALE", "20");  // the agent looks at the file every 100 ms
    ASSERT_TRUE(StartHost()) << HostLog();

    auto get = [this](const std::string& oid) {
        return Snmp("snmpget", {"-v", "2c", "-c", "public", "-On", "%a", oid}).out;
    };
    const std::string first_name = ".1.3.6.1.2.1.47.1.1.1.1.7.1";
    ASSERT_TRUE(WaitUntil([&] { return get(first_name).find("CXSERVER") != std::string::npos; },
                          std::chrono::seconds(20)))
        << HostLog();
    // As an administrator types it: names from our module, no numeric output (0.0, the
    // vendor type, reads "ccitt.0").
    const ToolResult table =
        RunTool({"/usr/bin/snmptable", "-v", "2c", "-c", "public", "-M", CX_MIB_SOURCE_DIR, "-m",
                 "ENTITY-MIB", "-Cf", "|", "-Cb", Address(), "ENTITY-MIB::entPhysicalTable"},
                temp_.Path());
    ASSERT_EQ(table.exit_code, 0) << table.err;
    for (const char* row : {"CXSERVER|ccitt.0|0|container|-1|CXSERVER|", "Catalix CX2200|",
                            "CPU 1|ccitt.0|2|cpu|1|Cx64 Processor|Stepping 4|||CX1001|Arvenmark|",
                            "PSU 1|ccitt.0|2|powerSupply|1|Power Supply 800W|"})
        EXPECT_NE(table.out.find(row), std::string::npos) << row << "\n" << table.out;
    EXPECT_EQ(table.err, "");
    const std::string changed_before = get(kChangeTime);

    // A new power supply: a new index, the old one gone, the time of change moved, one trap.
    std::string replaced = kSaved;
    replaced.replace(replaced.find("CX2001"), 6, "CX2002");
    WriteFile(data + "/Catalix.sav", replaced);
    ASSERT_TRUE(
        WaitUntil([&] { return get(kChangeTime) != changed_before; }, std::chrono::seconds(20)));
    EXPECT_NE(get(".1.3.6.1.2.1.47.1.1.1.1.11.5").find("CX2002"), std::string::npos);
    EXPECT_NE(get(".1.3.6.1.2.1.47.1.1.1.1.11.4").find("No Such Instance"), std::string::npos);
    EXPECT_TRUE(WaitUntil(
        [&] { return ReadFile(trap_log).find(".1.3.6.1.2.1.47.2.0.1") != std::string::npos; },
        std::chrono::seconds(20)))
        << ReadFile(trap_log);

    // A restart without the inventory (as a first scan after an update sees it), then the
    // inventory again: every entity keeps its index.
    auto names = [this] {
        return Snmp("snmpwalk",
                    {"-v", "2c", "-c", "public", "-On", "%a", ".1.3.6.1.2.1.47.1.1.1.1.7"})
            .out;
    };
    const std::string before = names();
    ASSERT_EQ(StopHost(), 0);
    std::filesystem::rename(data + "/Catalix.sav", data + "/Catalix.old");
    ASSERT_TRUE(StartHost()) << HostLog();
    ASSERT_TRUE(WaitUntil([&] { return get(kChangeTime).find("Timeticks") != std::string::npos; },
                          std::chrono::seconds(20)));
    EXPECT_NE(get(first_name).find("No Such"), std::string::npos);
    std::filesystem::rename(data + "/Catalix.old", data + "/Catalix.sav");
    ASSERT_TRUE(WaitUntil([&] { return get(first_name).find("CXSERVER") != std::string::npos; },
                          std::chrono::seconds(20)));
    EXPECT_EQ(names(), before);
    const std::string trap = ".1.3.6.1.2.1.47.2.0.1";  // the table is back: a change
    ASSERT_TRUE(WaitUntil([&] { return Occurrences(ReadFile(trap_log), trap) >= 2; },
                          std::chrono::seconds(20)));

    // With the switch off a change sends nothing: after one change off and one on, the log
    // holds the earlier traps and the last one only.
    auto change = [&](const char* serial) {
        const std::string time_before = get(kChangeTime);
        replaced.replace(replaced.find("SerialNo.1=") + 11, 6, serial);
        WriteFile(data + "/Catalix.sav", replaced);
        return WaitUntil([&] { return get(kChangeTime) != time_before; }, std::chrono::seconds(20));
    };
    SetRegDword("SOFTWARE\\Arvenmark\\ENTITY_MIB\\Parameters", "ConfigChangeTraps", 0);
    ASSERT_TRUE(change("CX1002"));
    SetRegDword("SOFTWARE\\Arvenmark\\ENTITY_MIB\\Parameters", "ConfigChangeTraps", 1);
    ASSERT_TRUE(change("CX1003"));
    ASSERT_TRUE(WaitUntil([&] { return Occurrences(ReadFile(trap_log), trap) >= 3; },
                          std::chrono::seconds(20)));
    EXPECT_EQ(Occurrences(ReadFile(trap_log), trap), 3u) << ReadFile(trap_log);
    EXPECT_EQ(StopHost(), 0);  // snmptrapd is killed with its ChildProcess
}

}  // namespace
}  // namespace cx::test
