// A large saved inventory for benchmarks (SavedFile()): 2,000 components in 60 physical and 200
// functional containers, with 300 firmware-update objects, in the saved file's own format.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>

namespace cx::test::large_inventory {

inline constexpr int kComponents = 2000;
inline constexpr int kPhysicalContainers = 60;
inline constexpr int kFunctionalContainers = 200;
inline constexpr int kFirmwareObjects = 300;
inline constexpr int kComponentTypes = 40;
inline constexpr int kNodeTypes = 30;

// "Key.row=value" lines of one row.
inline std::string Row(int row, std::initializer_list<std::pair<const char*, std::string>> keys) {
    std::string text;
    for (const auto& [key, value] : keys)
        text += std::string(key) + "." + std::to_string(row) + "=" + value + "\r\n";
    return text;
}

inline std::string SavedFile() {
    std::string text =
        "[Last Date]\r\nLastCollectionDate=2026-12-06 10:00:00\r\nLastScanDate=2026-12-06 "
        "10:00:00\r\nLastDate=6956F3F5\r\nLastScan=6956F3F5\r\nScanState=DONE\r\n"
        "[Agent Info]\r\nAgentId=Catalix Inventory Agent\r\nAgentCompany=Arvenmark\r\n"
        "AgentVersion=4.10.0\r\nAgentBuild=Build: Oct 20 2006, 08:57:39\r\n"
        "[Component Definition]\r\n";
    for (int type = 1; type <= kComponentTypes; ++type) {
        char line[64];
        std::snprintf(line, sizeof(line), "%02X=Component type %d\r\n", type, type);
        text += line;
    }
    for (const char* section : {"[Physical Definition]\r\n", "[Functional Definition]\r\n"}) {
        text += section;
        for (int row = 1; row <= kNodeTypes; ++row)
            text += Row(
                row, {{"Type", std::to_string(row)}, {"Name", "Node type " + std::to_string(row)}});
    }
    for (const auto& [section, count] : {std::pair{"Physical", kPhysicalContainers},
                                         std::pair{"Functional", kFunctionalContainers}}) {
        text += "[" + std::string(section) + " Container]\r\nNrContainer=" + std::to_string(count) +
                "\r\n";
        for (int row = 1; row <= count; ++row) {
            text += Row(row, {{"Type", std::to_string(row % kNodeTypes + 1)},
                              {"Parent", std::to_string(row / 2)},
                              {"Name", "Container " + std::to_string(row)}});
        }
    }
    text += "[Component Table]\r\nNrComponents=" + std::to_string(kComponents) + "\r\n";
    for (int row = 1; row <= kComponents; ++row) {
        text += Row(row, {{"PhysCont", std::to_string(row % kPhysicalContainers + 1)},
                          {"FuncCont", std::to_string(row % kFunctionalContainers + 1)},
                          {"CompType", std::to_string(row % 170)},
                          {"Vendor", "Arvenmark Systems"},
                          {"ProdName", "Catalix CX2200 S4 system board A1234"},
                          {"ProdNumber", "Q47120-A1234-A10"},
                          {"ProdDescript", "System board of the server, revision GS 3"},
                          {"ManuDate", "2006-10-18 00:00:00"},
                          {"Version", "6.00 R1.12.1234//6.00//a1234//NT"},
                          {"SerialNo", "LBXX" + std::to_string(100000 + row)},
                          {"Language", "English (United States)"},
                          {"CompId", "COMP-" + std::to_string(row)}});
    }
    text += "[Firmware Update]\r\nNrUpdObjects=" + std::to_string(kFirmwareObjects) + "\r\n";
    for (int row = 1; row <= kFirmwareObjects; ++row) {
        text += Row(row, {{"ObjectName", "Firmware object " + std::to_string(row)},
                          {"ObjectParent", "Board"},
                          {"ObjectPath", "/lib/firmware/object" + std::to_string(row) + ".bin"},
                          {"UpdateState", "0"},
                          {"CompIndex", std::to_string(row)}});
    }
    return text;
}

}  // namespace cx::test::large_inventory
