// The delivered table file, read as the agent reads it: every section and key the agent asks
// for is there, every type number the collectors use has a name, and the SWITCH item codes
// are unique, so that a scenario can answer each field of each section.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "inventory/profile_file.h"

namespace {

const char* const kRequestSections[] = {
    "Info.Cabinets",    "Info.Chassis",        "Info.PowerBackplane",
    "Info.RSBBoard",    "Info.RSBBoardFW",     "Info.Environment",
    "Info.MicroCtrl",   "Info.MicroCtrlFW",    "Info.ManagementCtrl",
    "Info.MgmtCtrlFW",  "Info.SDRVersion",     "Info.Fans",
    "Info.FrontPanel",  "Info.SCSIBackplane",  "Info.SCSITerminator",
    "Info.LVDExtender", "Info.FibreBackplane", "Info.FibreLinkAdapt",
    "Info.UPS",         "Info.UPS1",           "Info.UPS2",
    "Info.UPS3",        "Info.BaseBoard",      "Info.BaseBoard2",
    "Info.BIOS",        "Info.MemorySw",       "Info.MemoryExpand",
    "Info.PowerSupply"};

const char* const kFields[] = {"Info.Vendor",       "Info.ProdName", "Info.ProdNumber",
                               "Info.ProdDescript", "Info.Version",  "Info.ManuDate",
                               "Info.SerialNo",     "Info.Language", "Info.CompId"};

class TableFile : public ::testing::Test {
  protected:
    void SetUp() override {
        table_.SetPath(CX_TABLE_FILE);
        ASSERT_TRUE(table_.Open(TRUE));
    }
    ProfileFile table_;
};

TEST_F(TableFile, NamesEveryTypeNumberTheCollectorsUse) {
    std::set<unsigned> numbers;
    for (const char* key = table_.FirstKey("Component Type"); *key; key = table_.NextKey()) {
        std::string hexadecimal = table_.ReadString("Component Type", key, "");
        numbers.insert(static_cast<unsigned>(std::strtoul(hexadecimal.c_str(), nullptr, 16)));
    }
    const unsigned used[] = {0,  5,  10, 11,  12,  13,  16,  21,  25,  26,
                             27, 28, 31, 160, 161, 162, 163, 164, 167, 169};
    for (unsigned number : used) {
        EXPECT_TRUE(numbers.count(number)) << number;
    }
    for (const char* section : kRequestSections) {
        UINT type = table_.ReadInt(section, "Class", -1);
        EXPECT_TRUE(numbers.count(type)) << section << " has a class without a name: " << type;
    }
}

TEST_F(TableFile, HasEveryContainerTypeTheCollectorsName) {
    for (const char* name : {"PhysKorvan", "ServerCabinet", "StorageExtension"}) {
        EXPECT_GT(table_.ReadInt("Physical Tree", name, 0), 0u) << name;
    }
    for (const char* name :
         {"FuncKorvan", "FuncChassis", "SubsystemContainer", "BaseBoard", "GraphicSystem",
          "LANSystem", "SCSISystem", "SCSIDevice", "Software", "BladeSystem"}) {
        EXPECT_GT(table_.ReadInt("Functional Tree", name, 0), 0u) << name;
    }
    EXPECT_STREQ(table_.ReadString("Language Code", "0409", ""), "English (United States)");
    EXPECT_STREQ(table_.ReadString("Language Code", "0C07", ""), "German (Austria)");
    EXPECT_STRNE(table_.ReadString("GamController", "0001", ""), "");
}

TEST_F(TableFile, RequestSectionsAnswerEveryField) {
    std::map<std::string, std::string> owners;  // item code -> section
    for (const char* section : kRequestSections) {
        std::string method = table_.ReadString(section, "Method", "");
        ASSERT_TRUE(method == "SWITCH" || method == "SNMP") << section;
        if (method == "SNMP") {
            EXPECT_STRNE(table_.ReadString(section, "Info.ProdName", ""), "") << section;
            continue;
        }
        EXPECT_EQ(table_.ReadInt(section, "OpCode", 0), 0x0C00u) << section;
        for (const char* field : kFields) {
            std::string code = table_.ReadString(section, field, "");
            ASSERT_EQ(code.rfind("0x", 0), 0u) << section << " " << field;
            auto [owner, inserted] = owners.emplace(code, section);
            EXPECT_TRUE(inserted) << code << " used by " << owner->second << " and " << section;
        }
    }
}

}  // namespace
