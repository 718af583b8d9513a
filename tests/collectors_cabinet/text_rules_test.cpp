// The collector's text rules: names built from part numbers, clocks, steppings and sizes, the
// UPS units SWITCH should not report, and the firmware objects each kind of component gets.
#include <string>
#include <vector>

#include "cabinet_fixture.h"

namespace cx::test {
namespace {

struct FieldIs {
    const char* component;  // ProdName of the row
    const char* field;
    const char* value;
};

struct TypeCount {
    unsigned type;
    unsigned count;
};

struct TextCase {
    const char* name;
    std::string scenario;  // added to kOneCabinet
    std::vector<FieldIs> fields = {};
    std::vector<const char*> objects = {};         // firmware objects, each of the row named next
    std::vector<const char*> object_owners = {};   // ProdName of each object's component
    std::vector<const char*> absent_objects = {};  // firmware objects that must not be there
    std::vector<const char*> absent = {};          // ProdNames that must not be there
    std::vector<TypeCount> type_counts = {};
    std::vector<const char*> traces = {};
    const char* mgmt_component = nullptr;  // ProdName whose row MgmtCompNr names
    const char* rsb_component = nullptr;   // ProdName whose row RsbCompNr names
};

void PrintTo(const TextCase& c, std::ostream* out) { *out << c.name; }

const std::string kTwoCabinets = "reply 0x0220 0 0 1 : word 2\n" +
                                 TextLine(0x2002, 0, 2, "Arden SX40 Storage") +
                                 TextLine(0x2102, 0, 2, "Arden SX40 Chassis");

const TextCase kTextCases[] = {
    {.name = "BaseBoardNamedBySwitch",
     .scenario = "reply 0x0C21 20 0 1 : byte 1\n" + TextLine(0x3402, 0, 1, "K0815") +
                 TextLine(0x3403, 0, 1, "Q47120-K0815-A10"),
     .fields = {{"K0815", "ProdNumber", "Q47120-K0815-A10"}, {"K0815", "CompType", "20"}},
     .objects = {"BaseBoard"},
     .object_owners = {"K0815"}},
    {.name = "BaseBoardNamedByPartNumber",
     .scenario = "reply 0x0C21 20 0 1 : byte 2\n" + TextLine(0x3403, 0, 1, "Q47120-D1234-A10") +
                 TextLine(0x3403, 1, 1, "ABC"),
     .fields = {{"D1234-A10", "ProdNumber", "Q47120-D1234-A10"}, {"N/A", "ProdNumber", "ABC"}},
     .objects = {"BaseBoard", "BaseBoard:1"},
     .object_owners = {"D1234-A10", "N/A"},
     .traces = {"  Substitute ProdName by ProdNr"}},
    {.name = "BaseBoardFromSecondSource",
     .scenario = "reply 0x0C21 20 0 1 : byte 1\n" + TextLine(0x3403, 0, 1, "Q47120-D1234-A10") +
                 TextLine(0x3502, 0, 1, "D2000"),
     .fields = {{"D2000", "CompType", "20"}},
     .objects = {"BaseBoard"},
     .object_owners = {"D2000"},
     .absent = {"D1234-A10"}},
    {.name = "BaseBoardWithPrefixOnlyIsLeftOut",
     .scenario = "reply 0x0C21 20 0 1 : byte 1\n" + TextLine(0x3403, 0, 1, "Q47120-"),
     .absent_objects = {"BaseBoard"},
     .type_counts = {{20, 0}},
     .traces = {"   !!! NO BASE BOARD INFO"}},
    {.name = "BiosNamedAndDated",
     .scenario = TextLine(0x3601, 0, 1, "Catalix") + TextLine(0x3605, 0, 1, "1.04") +
                 TextLine(0x3606, 0, 1, "10/16/08"),
     .fields = {{"BIOS", "ManuDate", "2008-10-16 00:00:00"},
                {"BIOS", "Version", "1.04"},
                {"BIOS", "CompType", "160"}}},
    {.name = "ProcessorFromClockAndStepping",
     .scenario = "reply 0x0600 0 0 1 : byte 2\nreply 0x0601 0 0 1 : byte 1\n"
                 "reply 0x0601 0 1 1 : byte 0\nreply 0x0605 0 0 1 : text \"Cx64\"\n"
                 "reply 0x0604 0 0 1 : text \"CatalixChips\"\n"
                 "reply 0x0603 0 0 1 : word 0 word 2800 byte 0 byte 7\n",
     .fields = {{"Cx64 2800 MHz", "ProdDescript", "CPU 2800 MHz"},
                {"Cx64 2800 MHz", "Version", "Step 7"},
                {"Cx64 2800 MHz", "Vendor", "CatalixChips"},
                {"Cx64 2800 MHz", "CompType", "10"}},
     .type_counts = {{10, 1}},
     .traces = {"  CPU 1 Status 0"}},
    {.name = "ProcessorWithoutData",
     .scenario = "reply 0x0600 0 0 1 : byte 1\nreply 0x0601 0 0 1 : byte 3\n"
                 "reply 0x0605 0 0 1 : text \"Cx64\"\n"
                 "reply 0x0604 0 0 1 : text \"CatalixChips\"\n",
     .fields = {{"Cx64", "ProdDescript", "CPU"},
                {"Cx64", "Version", "N/A"},
                {"Cx64", "Vendor", "N/A"}},
     .type_counts = {{10, 1}}},
    {.name = "ProcessorWithoutNameIsLeftOut",
     .scenario = "reply 0x0600 0 0 1 : byte 1\nreply 0x0601 0 0 1 : byte 1\n"
                 "reply 0x0603 0 0 1 : word 0 word 2800 byte 0 byte 7\n",
     .type_counts = {{10, 0}}},
    {.name = "MemoryModuleFromSwitchTexts",
     .scenario = "reply 0x0700 0 0 1 : byte 1\nreply 0x0701 0 0 1 : byte 1\n" +
                 TextLine(0x3702, 0, 1, "DDR2 FB-DIMM 2 GB") + TextLine(0x3703, 0, 1, "0815") +
                 TextLine(0x3705, 0, 1, "0A") + "reply 0x0702 0 0 1 : text \"not asked\"\n",
     .fields = {{"DDR2 FB-DIMM 2 GB", "ProdNumber", ""},
                {"DDR2 FB-DIMM 2 GB", "Version", "N/A"},
                {"DDR2 FB-DIMM 2 GB", "CompType", "22"}},
     .absent = {"not asked"}},
    {.name = "MemoryModuleWithSize",
     .scenario = "reply 0x0700 0 0 1 : byte 2\nreply 0x0701 0 * 1 : byte 1\n" +
                 TextLine(0x3702, 0, 1, "0000") + TextLine(0x3705, 0, 1, "B1") +
                 "reply 0x0702 0 0 1 : text \"DDR2-667\"\n"
                 "reply 0x0703 0 0 1 : dword 0 dword 512\n"
                 "reply 0x0702 0 1 1 : text \"DDR3-1333\"\n"
                 "reply 0x0703 0 1 1 : dword 0 dword 0xFFFFFFFF\n",
     .fields = {{"DDR2-667 512 MByte", "ProdDescript", "Memory Module 512 MByte"},
                {"DDR2-667 512 MByte", "Version", "B1"},
                {"DDR3-1333", "ProdDescript", "unknown size"}}},
    {.name = "MemoryExpansionBoard",
     .scenario = "reply 0x0C21 23 0 1 : byte 1\n" + TextLine(0x3802, 0, 1, "Memory Riser MR-4"),
     .fields = {{"Memory Riser MR-4", "CompType", "23"}}},
    {.name = "UpsFromSwitch",
     .scenario = "reply 0xE001 0x0100 0 1 : byte 1\n" + TextLine(0x3302, 0, 1, "Ivora UPS 1500"),
     .fields = {{"Ivora UPS 1500", "CompType", "19"}},
     .traces = {"  Number of UPS 1", "  !!! CANNOT DETERMINE NONE"}},
    {.name = "UpsOfApcLeftToSnmp",
     .scenario =
         "reply 0xE001 0x0100 0 1 : byte 1\n" + TextLine(0x3302, 0, 1, "APC Smart-UPS 1500"),
     .absent = {"APC Smart-UPS 1500"},
     .type_counts = {{19, 0}}},
    {.name = "UpsPrefixIsCaseExact",
     .scenario = "reply 0xE001 0x0100 0 1 : byte 1\n" + TextLine(0x3302, 0, 1, "Apc-like UPS"),
     .fields = {{"Apc-like UPS", "CompType", "19"}}},
    {.name = "UpsCountZeroAsksNothing",
     .scenario = TextLine(0x3302, 0, 1, "Ivora UPS 1500"),
     .absent = {"Ivora UPS 1500"}},
    {.name = "ManagementControllers",
     .scenario = "reply 0x0C21 5 0 1 : byte 4\n" + TextLine(0x2902, 0, 1, "Vimo 2") +
                 TextLine(0x2902, 1, 1, "Pelrix BMC") + TextLine(0x2902, 2, 1, "Other BMC") +
                 TextLine(0x2904, 2, 1, "Board Controller") + TextLine(0x2902, 3, 1, "Plain BMC") +
                 TextLine(0x2A02, 1, 1, "Pelrix Firmware"),
     .fields = {{"Vimo 2", "ProdDescript", "Management Controller"},
                {"Vimo 2", "CompType", "5"},
                {"Pelrix BMC", "ProdDescript", "Management Controller"},
                {"Other BMC", "ProdDescript", "Board Controller"},
                {"Plain BMC", "ProdDescript", "Management Controller"},
                {"Pelrix Firmware", "CompType", "161"}},
     .objects = {"ManagementController:1", "ManagementController:2"},
     .object_owners = {"Pelrix BMC", "Other BMC"},
     .absent_objects = {"ManagementController:0", "ManagementController:3"},
     .mgmt_component = "Vimo 2"},
    {.name = "NumberedObjectsOverCabinets",
     .scenario = kTwoCabinets + "reply 0x0C21 28 0 * : byte 2\nreply 0x0C21 169 0 2 : byte 1\n" +
                 TextLine(0x2702, 0, 1, "MC 1.0") + TextLine(0x2702, 1, 1, "MC 1.1") +
                 TextLine(0x2702, 0, 2, "MC 2.0") + TextLine(0x2702, 1, 2, "MC 2.1") +
                 TextLine(0x2802, 1, 2, "MC 2.1 Firmware") + TextLine(0x2B02, 0, 2, "SDR 2"),
     .fields = {{"MC 2.1", "PhysCont", "3"},
                {"MC 2.1", "FuncCont", "3"},
                {"MC 2.1 Firmware", "CompType", "161"}},
     .objects = {"Microcontroller:0", "Microcontroller:1", "Microcontroller:2", "Microcontroller:3",
                 "SDRVersion:1"},
     .object_owners = {"MC 1.0", "MC 1.1", "MC 2.0", "MC 2.1", "SDR 2"},
     .absent_objects = {"SDRVersion:0"}},
    {.name = "ServiceBoardsWithAddresses",
     .scenario = kTwoCabinets + TextLine(0x2402, 0, 1, "Velm T4 Q Board") +
                 "reply 0xE001 0x14B0 0 1 : hex C0 A8 01 0A\n" + TextLine(0x2402, 0, 2, "vex 200") +
                 "reply 0xE001 0x14A0 0 2 : hex C0 A8 01 0B\n" +
                 TextLine(0x2502, 0, 2, "Vex Firmware"),
     .fields = {{"Velm T4 Q Board", "CompType", "27"},
                {"Velm T4 Q Board", "PhysCont", "2"},
                {"vex 200", "PhysCont", "3"},
                {"vex 200", "FuncCont", "3"},
                {"Vex Firmware", "PhysCont", "3"}},
     .objects = {"RemoteServiceBoard:IP192.168.1.10", "RemoteServiceBoard:CABINET2.IP192.168.1.11"},
     .object_owners = {"Velm T4 Q Board", "vex 200"},
     .traces = {"   (RSB in Cabinet 2)"},
     .rsb_component = "Velm T4 Q Board"},
    {.name = "ServiceBoardsOfOtherNames",
     .scenario = kTwoCabinets + TextLine(0x2402, 0, 1, "Other RSB") +
                 "reply 0xE001 * 0 1 : hex 0A 00 00 01\n" + TextLine(0x2402, 0, 2, "Other SE RSB") +
                 "reply 0xE001 0x1200 0 2 : hex 0A 00 00 02\n",
     .objects = {"RemoteServiceBoard:CABINET2.IP10.0.0.2"},
     .object_owners = {"Other SE RSB"},
     .absent_objects = {"RemoteServiceBoard:IP10.0.0.1"},
     .rsb_component = "Other RSB"},
    {.name = "PowerBackplaneAndSupplies",
     .scenario = "reply 0x0C21 3 0 1 : byte 1\n" + TextLine(0x2202, 0, 1, "Power Backplane PB-2") +
                 "reply 0x0500 0 0 1 : byte 3\nreply 0x0501 0 * 1 : byte 1\n"
                 "reply 0x0501 0 1 1 : byte 0\n" +
                 TextLine(0x2302, 0, 1, "PSU A") + TextLine(0x2302, 1, 1, "PSU B") +
                 TextLine(0x2302, 2, 1, "PSU C"),
     .fields = {{"Power Backplane PB-2", "PhysCont", "2"},
                {"PSU A", "PhysCont", "2"},
                {"PSU C", "FuncCont", "2"},
                {"PSU C", "CompType", "4"}},
     .absent = {"PSU B"},
     .traces = {"  Module 1 Status 0"}},
};

class TextRulesTest : public CabinetTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(TextRulesTest, Components) {
    const TextCase& c = GetParam();
    Start(kOneCabinet + c.scenario);
    RunCollector();
    for (const FieldIs& f : c.fields) {
        const unsigned row = Row(f.component);
        ASSERT_NE(row, 0u) << f.component;
        EXPECT_EQ(Field(row, f.field), f.value) << f.component << " " << f.field;
    }
    for (std::size_t i = 0; i < c.objects.size(); ++i) {
        const unsigned owner = ObjectComponent(c.objects[i]);
        EXPECT_NE(owner, 0u) << c.objects[i];
        if (i < c.object_owners.size()) {
            EXPECT_EQ(owner, Row(c.object_owners[i])) << c.objects[i];
        }
    }
    for (const char* object : c.absent_objects)
        EXPECT_EQ(ObjectComponent(object), 0u) << object;
    for (const char* name : c.absent)
        EXPECT_EQ(Row(name), 0u) << name;
    for (const TypeCount& t : c.type_counts)
        EXPECT_EQ(CountOfType(t.type), t.count) << "type " << t.type;
    for (const char* trace : c.traces)
        EXPECT_EQ(TraceCount(trace) > 0, true) << trace;
    if (c.mgmt_component != nullptr) {
        EXPECT_NE(agent_->MgmtCompNr, 0u);
        EXPECT_EQ(agent_->MgmtCompNr, Row(c.mgmt_component));
    }
    if (c.rsb_component != nullptr) {
        EXPECT_NE(agent_->RsbCompNr, 0u);
        EXPECT_EQ(agent_->RsbCompNr, Row(c.rsb_component));
    }
}

INSTANTIATE_TEST_SUITE_P(Rules, TextRulesTest, ::testing::ValuesIn(kTextCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace cx::test
